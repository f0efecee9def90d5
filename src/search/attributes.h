#ifndef VESK_ATTRIBUTES_H
#define VESK_ATTRIBUTES_H

#include <stdint.h>
#include <wchar.h>

/// Adds the letters of an attribute mask text (signs + and -, letters RHSDACOIE in
/// either case) to mask and values. An empty text clears both. Returns 0, 1 for a
/// malformed text (the words may hold the letters before the fault), -1 for null.
int ParseAttributes(const wchar_t *text, uint32_t *mask, uint32_t *values);

#endif
