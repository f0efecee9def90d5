// Small services every command of the plug-in shares.
#ifndef VESK_SHARED_SERVICES_H
#define VESK_SHARED_SERVICES_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/// Writes "Vesk plugin: " on standard error, and inside a batch file its name and line.
int PrintErrorPrefix(void);

/// Prints the error prefix and then the message on standard error, every control
/// character of what it quotes shown as "?" (a file name must not steer the terminal).
/// Returns 1, the result of a reported error, so callers can `return ReportError(...)`.
int ReportError(const wchar_t *format, ...);

/// Prints a line of the /$ trace on standard output, as Printf does, with every control
/// code shown as "?" (a path on disk may hold any character).
void PrintTrace(const wchar_t *format, ...);

/// Strict unsigned 32-bit number: decimal digits, or "0x" and hexadecimal digits.
/// Returns 0 and stores the value, or -1 and leaves *result untouched.
int ParseNumber(const wchar_t *text, uint32_t *result);

/// True for ':' and '=', the characters that may stand between an option and its value.
bool IsValueSeparator(wchar_t c);

/// The standard error handle, where every message goes.
void *StdErrHandle(void);

#endif
