// The shell's own output: its messages and what its built-in commands print. All of it
// goes through the same path as the output services, so the streams interleave in
// the order things were written.
#ifndef VSHELL_MESSAGES_H
#define VSHELL_MESSAGES_H

#include <stddef.h>
#include <string>
#include <wchar.h>

namespace vsh {

/// Writes "vshell: " and the formatted message on standard error. Returns 1, the result
/// of a failed built-in, so callers can `return ShellError(...)`.
int ShellError(const wchar_t *format, ...);

/// Writes text on standard output (1) or standard error (2).
void WriteStream(int stream, const wchar_t *text, size_t len);
inline void WriteStream(int stream, const std::wstring &text)
{
    WriteStream(stream, text.data(), text.size());
}

/// Test hook: while set, text written to standard output and standard error (by the
/// services and the shell) is appended to these instead. Either may be null.
void CaptureOutput(std::wstring *out, std::wstring *err);

}  // namespace vsh

#endif
