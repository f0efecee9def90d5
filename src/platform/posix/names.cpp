// Names as Windows file systems compare and match them, and the letter classes of
// the Windows C runtime.
#include "posix_layer.h"

#include "text/case_fold.h"

// Names are compared by their upper-case forms as Windows file systems compare them:
// the fold is the shared simple mapping of the Basic Multilingual Plane, never the
// user's locale (under "C" glibc folds ASCII only).
namespace {

inline uint32_t FoldChar(uint32_t c) { return UpperCaseOf(c); }

// Decodes the character at s (a NUL-terminated byte name) as NativeToWide does: a
// byte that does not start valid UTF-8 stands for itself as U+DC00 + byte. Returns the
// code point and moves s past it.
inline uint32_t DecodeNameChar(const unsigned char *&s)
{
    unsigned char b = s[0];
    if (b < 0x80) {
        ++s;
        return b;
    }
    size_t n;
    uint32_t v, min;
    if ((b & 0xE0) == 0xC0) n = 2, v = b & 0x1F, min = 0x80;
    else if ((b & 0xF0) == 0xE0) n = 3, v = b & 0x0F, min = 0x800;
    else if ((b & 0xF8) == 0xF0) n = 4, v = b & 0x07, min = 0x10000;
    else n = 0, v = 0, min = 0;
    bool ok = n != 0;
    for (size_t i = 1; ok && i < n; ++i) {
        // The terminator is no continuation byte, so this never reads past the name.
        if ((s[i] & 0xC0) != 0x80) ok = false;
        else v = (v << 6) | (s[i] & 0x3F);
    }
    if (ok && (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))) ok = false;
    if (!ok) {
        ++s;
        return 0xDC00u + b;
    }
    s += n;
    return v;
}

}  // namespace

namespace vesk_posix {

// Order of two byte names: by their upper-case forms, and for names equal but for case
// by the first character in which they differ, so that the order is total.
int CompareNames(const char *a, const char *b)
{
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    int tie = 0;
    for (;;) {
        uint32_t ca, cb;
        if (*p < 0x80 && *q < 0x80) {
            ca = *p++;
            cb = *q++;
        } else {
            ca = DecodeNameChar(p);
            cb = DecodeNameChar(q);
        }
        if (ca != cb) {
            // Most names differ first in an ASCII character: folded here, without a call.
            uint32_t ua = ca < 0x80 ? ca - ((ca - 'a' < 26u) << 5) : FoldChar(ca);
            uint32_t ub = cb < 0x80 ? cb - ((cb - 'a' < 26u) << 5) : FoldChar(cb);
            if (ua != ub) return ua < ub ? -1 : 1;
            if (!tie) tie = ca < cb ? -1 : 1;
        } else if (ca == 0) {
            return tie;
        }
    }
}

// Windows wildcard match of a wide name against a pattern of '*' and '?', ignoring
// case. Iterative with one back-track point, so no pattern can make it slow.
bool MatchWild(const wchar_t *pattern, const wchar_t *name)
{
    const wchar_t *starP = nullptr, *starN = nullptr;
    while (*name) {
        if (*pattern == L'*') {
            starP = ++pattern;
            starN = name;
        } else if (*pattern == L'?' ||
                   (*pattern && FoldChar((uint32_t)*pattern) == FoldChar((uint32_t)*name))) {
            ++pattern;
            ++name;
        } else if (starP != nullptr) {
            pattern = starP;
            name = ++starN;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == 0;
}

}  // namespace vesk_posix
