// The one builder of every line the plug-in hands the shell: command lines for the
// Command service ("*setarray A[2,3]", "*set A[0,1]=text") and expressions for the
// ExpandVariables service ("%@comma[1234]"). A line is made of its own syntax, written
// as the shell must read it, and of values, escaped so that the shell reads them back
// exactly; the builder checks both against the live escape character and separator.
#ifndef VESK_SHELL_LINE_H
#define VESK_SHELL_LINE_H

#include <stddef.h>
#include <wchar.h>

#include "plugin/shell_syntax.h"

/// Why a line cannot be built (ShellLine::Problem): an EscapeProblem of a value, or one
/// of these for the line's own syntax.
enum {
    LINE_ESCAPE_COLLIDES = 100,   ///< the escape character is a character of the line's syntax
    LINE_SEPARATOR_COLLIDES,      ///< the separator is one, and the escape cannot help
    LINE_SETTINGS_UNKNOWN,        ///< the escape character or separator could not be read
};

/// What RunCommandLine and ExpandExpression return for a line they did not hand to the
/// shell: apart from every result the shell itself gives.
enum { LINE_NOT_RUN = -2 };

/// A line being built into a buffer the caller owns. Plain record; nothing to free.
struct ShellLine {
    const ShellSyntax *Syntax;
    int Target;       ///< FOR_COMMAND_LINE or FOR_FUNCTION_ARGUMENT
    wchar_t *Text;    ///< the caller's buffer
    size_t Capacity;  ///< of Text, terminator included
    size_t Length;
    int Problem;      ///< 0, or the first problem met; the line is then never used
    wchar_t Culprit;  ///< the character at fault, 0 when none
};

/// Starts a command line: the word, after the "*" that keeps aliases out while aliases
/// are on (or unknown). buffer holds capacity characters.
void BeginCommandLine(ShellLine *line, const ShellSyntax *syntax, const wchar_t *word,
                      wchar_t *buffer, size_t capacity);

/// Starts an expression for ExpandVariables in buffer (capacity characters).
void BeginExpression(ShellLine *line, const ShellSyntax *syntax, wchar_t *buffer,
                     size_t capacity);

/// Appends the line's own syntax, formatted (numbers, brackets, "=", "/Q"): a character
/// that is the separator is escaped; one that is the escape character, or the separator
/// while nothing escapes, is a problem no escaping survives.
void AddLineSyntax(ShellLine *line, const wchar_t *format, ...);

/// Appends a value escaped for the settings (EscapeForShell).
void AddLineValue(ShellLine *line, const wchar_t *value);

/// Appends a function's argument to an expression: between double quotes while quoting
/// is surely on, so that blanks at its ends, "]" and "," stay its own, and escaped for
/// the settings.
void AddLineArgument(ShellLine *line, const wchar_t *value);

/// Runs a finished command line through the Command service. Returns the shell's
/// result, or LINE_NOT_RUN without running anything when the line has a problem.
int RunCommandLine(const ShellLine *line);

/// Expands a finished expression in place (its buffer must hold HOST_BUFFER_LEN
/// characters). Returns the service's result, or LINE_NOT_RUN without calling it when the
/// line has a problem.
int ExpandExpression(ShellLine *line);

/// How the shell puts a function's result into the line (ReadFunctionResultReading).
enum {
    FUNCTION_RESULT_READ_AGAIN = 0,   ///< read again for "%" forms: a "%" must come doubled
    FUNCTION_RESULT_AS_IS = 1,        ///< taken as it is
    FUNCTION_RESULT_UNKNOWN = 2,      ///< the shell's answer showed neither
};

/// Asks the shell, with one expansion of "%@upper[%%%%]" (a result holding "%%"),
/// whether it reads a function's result again for "%" forms under the settings of the
/// moment: "%" back says it does, "%%" that it does not. An expression the settings
/// leave no way to write, a failed expansion or any other answer is
/// FUNCTION_RESULT_UNKNOWN.
int ReadFunctionResultReading(const ShellSyntax *syntax);

/// Words for a message about Problem, after the thing's own name, into buffer (capacity
/// characters). Returns buffer.
const wchar_t *DescribeLineProblem(const ShellLine *line, wchar_t *buffer, size_t capacity);

#endif
