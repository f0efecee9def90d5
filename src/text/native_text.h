// Conversions between the wide text of the plug-in and the shell and the byte strings
// of Linux file names and streams. Names are UTF-8 by convention but may be any bytes;
// a byte that is not part of valid UTF-8 becomes U+DC00 + byte (U+DC80 to U+DCFF) on
// the way in and the same byte again on the way out, so every name survives the round
// trip unchanged.
#ifndef VESK_NATIVE_TEXT_H
#define VESK_NATIVE_TEXT_H

#include <stddef.h>
#include <wchar.h>

/// Decodes len bytes of in into out (capacity characters, terminator included).
/// Returns the number of characters the whole text needs, terminator excluded;
/// when that is capacity or more, out holds a cut, terminated prefix.
size_t NativeToWide(const char *in, size_t len, wchar_t *out, size_t capacity);

/// Encodes in into out (capacity bytes, terminator included). Returns the number of
/// bytes the whole text needs, terminator excluded; when that is capacity or more, out
/// holds a cut, terminated prefix (never a cut sequence).
size_t WideToNative(const wchar_t *in, char *out, size_t capacity);

#endif
