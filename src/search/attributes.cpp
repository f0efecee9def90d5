#include "search/attributes.h"

#include "plugin/result_codes.h"

namespace {

/// The attribute bit a letter (already upper case) stands for, or 0 for none.
uint32_t AttributeBit(wchar_t letter)
{
    switch (letter) {
    case L'R': return 0x0001;
    case L'H': return 0x0002;
    case L'S': return 0x0004;
    case L'D': return 0x0010;
    case L'A': return 0x0020;
    case L'C': return 0x0800;
    case L'O': return 0x1000;
    case L'I': return 0x2000;
    case L'E': return 0x4000;
    default: return 0;
    }
}

}  // namespace

int ParseAttributes(const wchar_t *text, uint32_t *mask, uint32_t *values)
{
    if (text == nullptr || mask == nullptr || values == nullptr) return RESULT_MISSING_ARGUMENT;
    if (text[0] == L'\0') {
        *mask = 0;
        *values = 0;
        return RESULT_OK;
    }
    bool plus = true;
    for (const wchar_t *p = text; *p != L'\0'; ++p) {
        // Only ASCII folds: a locale's towupper would also turn letters such as the
        // dotless i or the long s into attribute letters.
        wchar_t c = (*p >= L'a' && *p <= L'z') ? (wchar_t)(*p - L'a' + L'A') : *p;
        if (c == L'+' || c == L'-') {
            plus = (c == L'+');
            // A sign must be followed by the letters it governs.
            if (p[1] == L'\0') return RESULT_FAILED;
            continue;
        }
        uint32_t bit = AttributeBit(c);
        if (bit == 0) return RESULT_FAILED;
        *mask |= bit;
        if (plus)
            *values |= bit;
        else
            *values &= ~bit;
    }
    return RESULT_OK;
}
