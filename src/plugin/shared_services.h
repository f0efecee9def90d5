// Small services every command of the plug-in shares.
#ifndef VESK_SHARED_SERVICES_H
#define VESK_SHARED_SERVICES_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/// Writes "Vesk plugin: " on standard error, and inside a batch file its name and line.
int PrintErrorPrefix(void);

/// Prints the error prefix and then the message on standard error. Returns 1, the
/// result of a reported error, so callers can `return ReportError(...)`.
int ReportError(const wchar_t *format, ...);

/// Strict unsigned 32-bit number: decimal digits, or "0x" and hexadecimal digits.
/// Returns 0 and stores the value, or -1 and leaves *result untouched.
int ParseNumber(const wchar_t *text, uint32_t *result);

/// True for ':' and '=', the characters that may stand between an option and its value.
bool IsValueSeparator(wchar_t c);

struct ShellSyntax;

/// Runs word and tail as a shell command line ("*" first unless alias expansion is off),
/// after asking the shell for its settings. Returns the shell's result; -1 when word is
/// null or empty; -2, with a message and nothing run, when the line would not fit in the
/// shell's 8192-character line.
int RunHostCommand(const wchar_t *word, const wchar_t *tail);

/// RunHostCommand under settings the caller has already read.
int RunShellLine(const ShellSyntax *syntax, const wchar_t *word, const wchar_t *tail);

/// The line RunShellLine runs, in line (capacity characters). Returns 0; -1 when word is
/// null or empty, -2 when the line does not fit (line is then the empty text).
int BuildShellLine(const ShellSyntax *syntax, const wchar_t *word, const wchar_t *tail,
                   wchar_t *line, size_t capacity);

/// BuildShellLine after asking the shell for its settings.
int BuildHostCommandLine(const wchar_t *word, const wchar_t *tail, wchar_t *line,
                         size_t capacity);

/// Bounded formatted print: at most capacity characters, terminator included; output
/// that does not fit is cut and terminated. Returns the length of the whole output.
int FormatText(wchar_t *dest, size_t capacity, const wchar_t *format, ...);

/// The standard error handle, where every message goes.
void *StdErrHandle(void);

#endif
