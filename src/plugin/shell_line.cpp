#include "plugin/shell_line.h"

#include <stdarg.h>

#include "plugin/host_api.h"
#include "text/wide_format.h"

namespace {

void Fail(ShellLine *line, int problem, wchar_t culprit)
{
    if (line->Problem != 0) return;
    line->Problem = problem;
    line->Culprit = culprit;
    if (line->Capacity > 0) line->Text[0] = L'\0';
    line->Length = 0;
}

void Append(ShellLine *line, wchar_t c)
{
    if (line->Problem != 0) return;
    if (line->Length + 1 >= line->Capacity) {
        Fail(line, ESCAPE_NO_ROOM, 0);
        return;
    }
    line->Text[line->Length++] = c;
    line->Text[line->Length] = L'\0';
}

/// A character of the line's own syntax, written so that the shell reads it as such.
void AppendSyntax(ShellLine *line, wchar_t c)
{
    const ShellSyntax *syntax = line->Syntax;
    if ((syntax->Unknown & (UNKNOWN_ESCAPE | UNKNOWN_SEPARATOR)) != 0 && c != L' ' &&
        !(c >= L'0' && c <= L'9') && !(c >= L'A' && c <= L'Z') && !(c >= L'a' && c <= L'z')) {
        // Any of these could be the setting we were not told.
        Fail(line, LINE_SETTINGS_UNKNOWN, c);
        return;
    }
    if (FeatureMayBeOn(syntax, FEATURE_ESCAPE) && c == syntax->Escape) {
        Fail(line, LINE_ESCAPE_COLLIDES, c);
        return;
    }
    if (line->Target == FOR_COMMAND_LINE && FeatureMayBeOn(syntax, FEATURE_SEPARATOR) &&
        c == syntax->Separator) {
        // Escaped, the separator is the plain character the command reads.
        if (!EscapeWorks(syntax)) {
            Fail(line, LINE_SEPARATOR_COLLIDES, c);
            return;
        }
        Append(line, syntax->Escape);
    }
    Append(line, c);
}

void AddEscaped(ShellLine *line, int target, const wchar_t *value)
{
    if (line->Problem != 0) return;
    wchar_t culprit = 0;
    int problem = EscapeForShell(line->Syntax, target, value, line->Text + line->Length,
                                 line->Capacity - line->Length, &culprit);
    if (problem != ESCAPE_FINE) {
        Fail(line, problem, culprit);
        return;
    }
    line->Length += wcslen(line->Text + line->Length);
}

void Begin(ShellLine *line, const ShellSyntax *syntax, int target, wchar_t *buffer,
           size_t capacity)
{
    line->Syntax = syntax;
    line->Target = target;
    line->Text = buffer;
    line->Capacity = buffer != nullptr ? capacity : 0;
    line->Length = 0;
    line->Problem = 0;
    line->Culprit = 0;
    if (line->Capacity == 0)
        Fail(line, ESCAPE_NO_ROOM, 0);
    else
        buffer[0] = L'\0';
}

}  // namespace

void BeginCommandLine(ShellLine *line, const ShellSyntax *syntax, const wchar_t *word,
                      wchar_t *buffer, size_t capacity)
{
    Begin(line, syntax, FOR_COMMAND_LINE, buffer, capacity);
    // The "*" keeps an alias of the same name out; it is needed while aliases may be on.
    // Escaped it would be no mark, so it may be neither setting.
    if (FeatureMayBeOn(syntax, FEATURE_ALIASES)) {
        if (syntax->Separator == L'*' && (syntax->Unknown & UNKNOWN_SEPARATOR) == 0 &&
            FeatureMayBeOn(syntax, FEATURE_SEPARATOR))
            Fail(line, LINE_SEPARATOR_COLLIDES, L'*');
        AppendSyntax(line, L'*');
    }
    for (const wchar_t *p = word; p != nullptr && *p != L'\0'; ++p) AppendSyntax(line, *p);
}

void BeginExpression(ShellLine *line, const ShellSyntax *syntax, wchar_t *buffer,
                     size_t capacity)
{
    Begin(line, syntax, FOR_FUNCTION_ARGUMENT, buffer, capacity);
}

void AddLineSyntax(ShellLine *line, const wchar_t *format, ...)
{
    wchar_t piece[64];
    va_list args;
    va_start(args, format);
    int length = FormatWideV(piece, 64, format, args);
    va_end(args);
    if (length < 0 || length >= 64) {
        Fail(line, ESCAPE_NO_ROOM, 0);
        return;
    }
    for (int i = 0; i < length; ++i) AppendSyntax(line, piece[i]);
}

void AddLineValue(ShellLine *line, const wchar_t *value)
{
    AddEscaped(line, line->Target, value);
}

void AddLineArgument(ShellLine *line, const wchar_t *value)
{
    const bool quoted = line->Target == FOR_FUNCTION_ARGUMENT &&
                        FeatureSurelyOn(line->Syntax, FEATURE_QUOTING);
    if (quoted) AppendSyntax(line, L'"');
    AddEscaped(line, quoted ? FOR_QUOTED_ARGUMENT : line->Target, value);
    if (quoted) AppendSyntax(line, L'"');
}

int RunCommandLine(const ShellLine *line)
{
    if (line->Problem != 0 || line->Target != FOR_COMMAND_LINE) return LINE_NOT_RUN;
    return Command(line->Text, 0);
}

int ExpandExpression(ShellLine *line)
{
    if (line->Problem != 0 || line->Target != FOR_FUNCTION_ARGUMENT ||
        line->Capacity < (size_t)HOST_BUFFER_LEN)
        return LINE_NOT_RUN;
    return ExpandVariables(line->Text, 1);
}

int ReadFunctionResultReading(const ShellSyntax *syntax)
{
    wchar_t expression[HOST_BUFFER_LEN];
    ShellLine line;
    BeginExpression(&line, syntax, expression, HOST_BUFFER_LEN);
    // A function the shell documents that gives back its argument's text; its argument
    // "%%%%" is "%%" by the time it is called.
    AddLineSyntax(&line, L"%%@upper[%%%%%%%%]");
    if (ExpandExpression(&line) != 0) return FUNCTION_RESULT_UNKNOWN;
    if (wcscmp(expression, L"%") == 0) return FUNCTION_RESULT_READ_AGAIN;
    if (wcscmp(expression, L"%%") == 0) return FUNCTION_RESULT_AS_IS;
    return FUNCTION_RESULT_UNKNOWN;
}

const wchar_t *DescribeLineProblem(const ShellLine *line, wchar_t *buffer, size_t capacity)
{
    if (buffer == nullptr || capacity == 0) return L"";
    switch (line->Problem) {
    case LINE_ESCAPE_COLLIDES:
        FormatText(buffer, capacity,
                   L"the shell's escape character \"%c\" is a character of the plug-in's own "
                   L"lines; choose another with SETDOS /E",
                   line->Culprit);
        return buffer;
    case LINE_SEPARATOR_COLLIDES:
        FormatText(buffer, capacity,
                   L"the shell's command separator \"%c\" is a character of the plug-in's own "
                   L"lines that no escape character can keep; choose another with SETDOS /C",
                   line->Culprit);
        return buffer;
    case LINE_SETTINGS_UNKNOWN:
        FormatText(buffer, capacity,
                   L"the shell did not tell its escape character or command separator (%%= "
                   L"and %%+), so the plug-in's own lines cannot be written safely");
        return buffer;
    default:
        return DescribeEscapeProblem(line->Problem, line->Culprit, buffer, capacity);
    }
}
