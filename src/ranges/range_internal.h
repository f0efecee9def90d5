// Readers shared by the range parsers; the seams their tests turn are range_hooks.h.
#ifndef VESK_RANGE_INTERNAL_H
#define VESK_RANGE_INTERNAL_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"
#include "ranges/range_hooks.h"
#include "text/path_limit.h"

/// Characters of a pattern, description or owner buffer, terminator included.
enum { RANGE_TEXT_LEN = 8192 };

/// Only ASCII digits count: the C runtime's wide test also accepts other scripts' digits.
inline bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

/// Reads the decimal digits at *cursor as an unsigned 32-bit number, advancing past all
/// of them; a value too large for 32 bits reads as 4294967295.
uint32_t ReadNumber32(const wchar_t **cursor);

/// The local date and time every relative or default bound of one parse is fixed to.
void ReadNow(SYSTEMTIME *now);

/// True for "+n" or "-n" at *cursor; reads n, leaves *sign at '+' or '-' and advances.
bool ReadRelative(const wchar_t **cursor, wchar_t *sign, uint32_t *n);

/// True when p is the closing "]" and nothing after it.
bool IsClosing(const wchar_t *p);

/// The file-time letter (W, A or C in either case) at *cursor as a TIME_ value,
/// advancing past it; TIME_LAST_WRITE without advancing when there is none.
uint16_t ReadTimeLetter(const wchar_t **cursor);

/// ReadTimeLetter, then the optional ':' or '=' after the letter.
uint16_t ReadWhichTime(const wchar_t **cursor);

#endif
