// Upper and lower case of names, letters and digits as Windows sees them, the same on
// every build and in every locale.
#ifndef VESK_TEXT_CASE_FOLD_H
#define VESK_TEXT_CASE_FOLD_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/// Simple upper case of c from the Unicode data, for the Basic Multilingual Plane only
/// (as the Windows file-system upcase table); any other code point is returned as is.
uint32_t UpperCaseOf(uint32_t c);

/// Simple lower case of c, with the same limits as UpperCaseOf.
uint32_t LowerCaseOf(uint32_t c);

/// True when c is a letter (any L category) or a decimal digit of the Basic
/// Multilingual Plane. Outside that plane nothing is a letter: on Windows such a
/// character is two surrogate units, neither of which is one.
bool IsUnicodeLetter(uint32_t c);
bool IsUnicodeDigit(uint32_t c);

/// Upper-cases text in place with UpperCaseOf (its length never changes) and returns
/// text; a null text is returned as is.
wchar_t *UpperCaseText(wchar_t *text);

/// Order of a and b by their upper-case forms (negative, 0 or positive); at most n
/// characters of each for the N form. Neither may be null.
int CompareIgnoringCase(const wchar_t *a, const wchar_t *b);
int CompareIgnoringCaseN(const wchar_t *a, const wchar_t *b, size_t n);

#endif
