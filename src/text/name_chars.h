// The characters of a shell variable or array name: one rule for the plug-in's check of
// an array name and for the stand-in shell's parsing of names, from the shared Unicode
// tables, so that no name passes one and fails the other.
#ifndef VESK_TEXT_NAME_CHARS_H
#define VESK_TEXT_NAME_CHARS_H

#include <stdint.h>

/// True for a letter of any script (Unicode L*, Basic Multilingual Plane): what an array
/// name must begin with.
bool IsNameLetter(uint32_t c);

/// True for a character a name may hold: a letter, a decimal digit (Unicode Nd) of the
/// Basic Multilingual Plane, "_" or "$".
bool IsNameCharacter(uint32_t c);

#endif
