#include "plugin/shell_syntax.h"

#include <wctype.h>

#include "plugin/host_api.h"
#include "text/wide_format.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

/// Letters that, after the escape character, stand for another character (^q a quote,
/// ^n a line feed, ...): such a letter can never be escaped to itself.
bool IsLetterCode(wchar_t c)
{
    switch (towlower((wint_t)c)) {
    case L'q': case L's': case L'c': case L'k': case L'r': case L'n': case L't':
    case L'e': case L'b': case L'f': case L'g':
        return true;
    default:
        return false;
    }
}

/// The single character a pseudo-variable gives, or 0 when the shell leaves it
/// unexpanded, gives nothing, or gives something that cannot be a setting.
wchar_t ReadSettingCharacter(const wchar_t *reference)
{
    wchar_t buffer[HOST_BUFFER_LEN];
    FormatText(buffer, HOST_BUFFER_LEN, L"%s", reference);
    if (ExpandVariables(buffer, 1) != 0) return 0;
    if (buffer[0] == L'\0' || buffer[1] != L'\0') return 0;
    wchar_t c = buffer[0];
    if (c == L'%' || iswspace((wint_t)c) || iswalnum((wint_t)c) || c < 0x20) return 0;
    return c;
}

/// The features "%_expansion" says are off: "" and "0" both mean all on (the older
/// documentation gives "0"), else the digits 1 to 9 of the features off. -1 for any
/// other text.
int64_t ParseExpansionState(const wchar_t *text)
{
    if (text[0] == L'\0' || (text[0] == L'0' && text[1] == L'\0')) return 0;
    uint32_t off = 0;
    for (const wchar_t *p = text; *p != L'\0'; ++p) {
        if (*p < L'1' || *p > L'9') return -1;
        off |= 1u << (*p - L'0');
    }
    return off;
}

/// With the escape character off, the problem that makes text[i] of a value syntax at
/// target under the features in force (the settings are known here); ESCAPE_FINE when
/// it is plain text there. The one rule of what a switched-off escape leaves, for the
/// rows' command lines and the descriptions' expressions alike. edge: text[i] is a blank
/// at either end of the value.
int SyntaxWithoutEscape(const ShellSyntax *syntax, int target, const wchar_t *text, size_t i,
                        bool edge)
{
    wchar_t c = text[i];
    if (target == FOR_QUOTED_ARGUMENT) {
        // Between double quotes the separator, pipes, redirection, brackets, commas and
        // blanks at the ends are the argument's own; a double quote would end them, and a
        // back quote is refused as in a row, the documentation not saying whether quotes
        // hold it.
        if ((c == L'"' || c == L'`') && FeatureMayBeOn(syntax, FEATURE_QUOTING))
            return ESCAPE_QUOTING_SYNTAX;
        return ESCAPE_FINE;
    }
    if (edge) return ESCAPE_EDGE_BLANK;
    // "&" alone is plain unless it is the separator: only "&&" is a conditional.
    if (FeatureMayBeOn(syntax, FEATURE_SEPARATOR)) {
        if (c == syntax->Separator || c == L'|') return ESCAPE_SEPARATOR_SYNTAX;
        if (c == L'&' && (text[i + 1] == L'&' || (i > 0 && text[i - 1] == L'&')))
            return ESCAPE_SEPARATOR_SYNTAX;
    }
    if ((c == L'<' || c == L'>') && FeatureMayBeOn(syntax, FEATURE_REDIRECTION))
        return ESCAPE_REDIRECTION_SYNTAX;
    if ((c == L'"' || c == L'`') && FeatureMayBeOn(syntax, FEATURE_QUOTING))
        return ESCAPE_QUOTING_SYNTAX;
    if (target == FOR_FUNCTION_ARGUMENT && (c == L'[' || c == L']' || c == L','))
        return ESCAPE_ARGUMENT_SYNTAX;
    return ESCAPE_FINE;
}

}  // namespace

ShellSyntax CallSyntax = {L'^', L'&', 0, 0};

ShellSyntax DefaultShellSyntax(void)
{
    ShellSyntax syntax = {L'^', L'&', 0, 0};
    return syntax;
}

ShellSyntax ReadShellSyntax(void)
{
    ShellSyntax syntax = DefaultShellSyntax();
    syntax.Escape = ReadSettingCharacter(L"%=");
    syntax.Separator = ReadSettingCharacter(L"%+");
    if (syntax.Escape == 0) syntax.Unknown |= UNKNOWN_ESCAPE;
    if (syntax.Separator == 0) syntax.Unknown |= UNKNOWN_SEPARATOR;
    // One character cannot be both; an answer like that is no answer.
    if (syntax.Escape != 0 && syntax.Escape == syntax.Separator)
        syntax.Unknown |= UNKNOWN_ESCAPE | UNKNOWN_SEPARATOR;

    wchar_t expansion[HOST_BUFFER_LEN] = L"%_expansion";
    int64_t off = ExpandVariables(expansion, 1) == 0 ? ParseExpansionState(expansion) : -1;
    if (off < 0)
        syntax.Unknown |= UNKNOWN_FEATURES;
    else
        syntax.Off = (uint32_t)off;
    return syntax;
}

bool IsFeatureOff(const ShellSyntax *syntax, int feature)
{
    if (syntax == nullptr || feature < 1 || feature > 9) return false;
    return (syntax->Off & (1u << feature)) != 0;
}

bool FeatureMayBeOn(const ShellSyntax *syntax, int feature)
{
    return syntax == nullptr || (syntax->Unknown & UNKNOWN_FEATURES) != 0 ||
           !IsFeatureOff(syntax, feature);
}

bool FeatureSurelyOn(const ShellSyntax *syntax, int feature)
{
    return syntax != nullptr && (syntax->Unknown & UNKNOWN_FEATURES) == 0 &&
           !IsFeatureOff(syntax, feature);
}

bool EscapeWorks(const ShellSyntax *syntax)
{
    return syntax != nullptr && syntax->Unknown == 0 && FeatureSurelyOn(syntax, FEATURE_ESCAPE);
}

bool IsShellSpecial(const ShellSyntax *syntax, wchar_t c)
{
    switch (c) {
    case L'&': case L'|': case L'<': case L'>': case L'`': case L'"':
        return true;
    default:
        return syntax != nullptr && c != 0 && (c == syntax->Separator || c == syntax->Escape);
    }
}

int EscapeForShell(const ShellSyntax *syntax, int target, const wchar_t *text, wchar_t *out,
                   size_t capacity, wchar_t *culprit)
{
    if (culprit != nullptr) *culprit = 0;
    if (out == nullptr || capacity == 0) return ESCAPE_NO_ROOM;
    out[0] = L'\0';
    if (text == nullptr) text = L"";
    ShellSyntax defaults = DefaultShellSyntax();
    if (syntax == nullptr) syntax = &defaults;

    const bool known = syntax->Unknown == 0;
    const bool escapeWorks = EscapeWorks(syntax);
    // The Command service leaves "%" alone while variable expansion is off; the
    // ExpandVariables service expands whatever the settings say.
    const bool doublePercent =
        target != FOR_COMMAND_LINE || FeatureMayBeOn(syntax, FEATURE_VARIABLES);
    const int refused = known ? ESCAPE_NEEDS_ESCAPE : ESCAPE_UNKNOWN;

    size_t length = wcslen(text);
    size_t lead = 0;
    while (lead < length && IsBlank(text[lead])) ++lead;
    size_t trail = length;
    while (trail > lead && IsBlank(text[trail - 1])) --trail;

    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        wchar_t first = 0;  // what goes before c, if anything
        wchar_t second = c;
        int problem = ESCAPE_FINE;
        const bool edge = IsBlank(c) && (i < lead || i >= trail);
        // What would end a function's argument.
        const bool ends = target != FOR_COMMAND_LINE && (c == L'[' || c == L']' || c == L',');
        if (c == L'%') {
            // Whether "%" must be doubled depends on a feature we may not know.
            if (!known) problem = ESCAPE_UNKNOWN;
            else if (doublePercent) first = L'%';
        } else if (target == FOR_COMMAND_LINE && (c == L'\r' || c == L'\n')) {
            // A line end would end the command; only the escape's letter code gives one.
            if (!escapeWorks) problem = refused;
            else {
                first = syntax->Escape;
                second = c == L'\r' ? L'r' : L'n';
            }
        } else if (edge || IsShellSpecial(syntax, c) || ends) {
            // Switched off, the escape character is an ordinary one, unless the features
            // in force make it syntax as another.
            if (!escapeWorks)
                problem = !known ? ESCAPE_UNKNOWN : SyntaxWithoutEscape(syntax, target, text, i, edge);
            else if (IsLetterCode(c))
                problem = ESCAPE_LETTER_CODE;
            else
                first = syntax->Escape;
        } else if ((c == L'[' || c == L']' || c == L',' || c == L'(' || c == L')') && escapeWorks) {
            // Plain text in a value of "set"; escaped while that is possible, as always.
            first = syntax->Escape;
        }
        if (problem != ESCAPE_FINE) {
            if (culprit != nullptr) *culprit = c;
            out[0] = L'\0';
            return problem;
        }
        size_t need = first ? 2 : 1;
        if (n + need >= capacity) {
            out[0] = L'\0';
            return ESCAPE_NO_ROOM;
        }
        if (first) out[n++] = first;
        out[n++] = second;
    }
    out[n] = L'\0';
    return ESCAPE_FINE;
}

const wchar_t *DescribeEscapeProblem(int problem, wchar_t culprit, wchar_t *buffer,
                                     size_t capacity)
{
    if (buffer == nullptr || capacity == 0) return L"";
    wchar_t shown[16];
    if (culprit < 0x20 || culprit == 0x7F || (culprit >= 0x80 && culprit <= 0x9F))
        FormatText(shown, 16, L"U+%04X", (unsigned)culprit);
    else
        FormatText(shown, 16, L"\"%c\"", culprit);
    switch (problem) {
    case ESCAPE_NEEDS_ESCAPE:
        FormatText(buffer, capacity,
                   L"holds %s, which the shell would take as syntax while its escape "
                   L"character is switched off",
                   shown);
        break;
    case ESCAPE_SEPARATOR_SYNTAX:
        FormatText(buffer, capacity,
                   L"holds %s, which the shell would take as syntax while its command "
                   L"separators, conditionals and pipes (SETDOS /X%d) are on and its escape "
                   L"character is off",
                   shown, FEATURE_SEPARATOR);
        break;
    case ESCAPE_REDIRECTION_SYNTAX:
    case ESCAPE_QUOTING_SYNTAX:
        FormatText(buffer, capacity,
                   L"holds %s, which the shell would take as syntax while %s (SETDOS /X%d) is "
                   L"on and its escape character is off",
                   shown, problem == ESCAPE_QUOTING_SYNTAX ? L"quoting" : L"redirection",
                   problem == ESCAPE_QUOTING_SYNTAX ? FEATURE_QUOTING : FEATURE_REDIRECTION);
        break;
    case ESCAPE_ARGUMENT_SYNTAX:
        FormatText(buffer, capacity,
                   L"holds %s, which would end a function's argument while the shell's quoting "
                   L"(SETDOS /X%d) and escape character are off",
                   shown, FEATURE_QUOTING);
        break;
    case ESCAPE_EDGE_BLANK:
        FormatText(buffer, capacity,
                   L"begins or ends with a blank, which the shell drops while its escape "
                   L"character is switched off");
        break;
    case ESCAPE_LETTER_CODE:
        FormatText(buffer, capacity,
                   L"holds %s, which the shell's settings make special but which the "
                   L"escape character turns into another character",
                   shown);
        break;
    case ESCAPE_UNKNOWN:
        FormatText(buffer, capacity,
                   L"holds %s, which needs escaping, and the shell did not tell its "
                   L"settings (%%=, %%+ or %%_expansion)",
                   shown);
        break;
    case ESCAPE_NO_ROOM:
        FormatText(buffer, capacity, L"would make a command line longer than %d characters",
                   HOST_BUFFER_LEN - 1);
        break;
    default:
        buffer[0] = L'\0';
        break;
    }
    return buffer;
}

int DoublePercents(const wchar_t *text, wchar_t *out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return -1;
    out[0] = L'\0';
    if (text == nullptr) return 0;
    size_t n = 0;
    for (const wchar_t *p = text; *p != L'\0'; ++p) {
        size_t need = *p == L'%' ? 2 : 1;
        if (n + need >= capacity) {
            out[0] = L'\0';
            return -1;
        }
        if (*p == L'%') out[n++] = L'%';
        out[n++] = *p;
    }
    out[n] = L'\0';
    return 0;
}
