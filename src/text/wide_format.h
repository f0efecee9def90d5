// The formatter behind the shell's Printf family and the plug-in's bounded FormatText.
// It follows the Windows conventions for wide formats, which the plug-in's format texts
// assume: %s takes wide text and %c a wide character (%hs / %hc narrow ones), %I64d and
// %I64u take 64-bit values, %ld / %lu take 32-bit ones; flags (- + 0 blank #), width,
// precision and * work. The Linux C library reads %s in a wide format as narrow text,
// hence our own.
#ifndef VESK_WIDE_FORMAT_H
#define VESK_WIDE_FORMAT_H

#include <stdarg.h>
#include <stddef.h>
#include <wchar.h>

/// Formats into dest, writing at most capacity characters including the terminator
/// (output that does not fit is cut and terminated; nothing is written when capacity
/// is 0). Returns the length the whole output has, which may exceed capacity - 1.
int FormatWideV(wchar_t *dest, size_t capacity, const wchar_t *format, va_list args);
int FormatWide(wchar_t *dest, size_t capacity, const wchar_t *format, ...);

/// Bounded formatted print for the plug-in: FormatWide, and a null format gives the empty
/// text. At most capacity characters, terminator included; output that does not fit is
/// cut and terminated. Returns the length of the whole output.
int FormatText(wchar_t *dest, size_t capacity, const wchar_t *format, ...);

#endif
