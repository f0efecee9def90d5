#include "text/name_chars.h"

#include "text/case_fold.h"

bool IsNameLetter(uint32_t c) { return IsUnicodeLetter(c); }

bool IsNameCharacter(uint32_t c)
{
    return c == L'_' || c == L'$' || IsUnicodeLetter(c) || IsUnicodeDigit(c);
}
