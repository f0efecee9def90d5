// WildcardComparison: called for every directory entry of a scan, so it allocates
// nothing and the pattern "*" returns at once.
#include "plugin/host_api.h"

#include "text/case_fold.h"

namespace {

inline wchar_t Fold(wchar_t c, int ignoreCase)
{
    return ignoreCase ? (wchar_t)UpperCaseOf((uint32_t)c) : c;
}

// The set that starts at p (just after "["): does c belong to it? *end receives the
// position after its "]". Returns -1 when the set is not closed (the "[" is then an
// ordinary character).
int MatchSet(const wchar_t *p, wchar_t c, int ignoreCase, const wchar_t **end)
{
    bool negate = false;
    if (*p == L'!' || *p == L'^') {
        negate = true;
        ++p;
    }
    bool hit = false;
    bool first = true;
    wchar_t up = Fold(c, 1), low = (wchar_t)LowerCaseOf((uint32_t)c);
    for (; *p && (first || *p != L']'); first = false) {
        wchar_t lo = *p++, hi = lo;
        if (*p == L'-' && p[1] && p[1] != L']') {
            hi = p[1];
            p += 2;
        }
        if (ignoreCase) {
            if ((up >= Fold(lo, 1) && up <= Fold(hi, 1)) || (low >= lo && low <= hi) ||
                (c >= lo && c <= hi))
                hit = true;
        } else if (c >= lo && c <= hi) {
            hit = true;
        }
    }
    if (*p != L']') return -1;
    *end = p + 1;
    return hit != negate ? 1 : 0;
}

// Classic matcher with one backtracking point: every token but "*" takes exactly one
// character, so retrying from the last star is enough.
int Match(const wchar_t *pattern, const wchar_t *text, int ignoreCase)
{
    const wchar_t *p = pattern, *t = text;
    const wchar_t *starP = nullptr, *starT = nullptr;
    while (*t) {
        if (*p == L'*') {
            while (*p == L'*') ++p;
            if (!*p) return 1;
            starP = p;
            starT = t;
            continue;
        }
        bool ok = false;
        const wchar_t *next = p + 1;
        if (*p == L'?') {
            ok = true;
        } else if (*p == L'[') {
            const wchar_t *after = nullptr;
            int r = MatchSet(p + 1, *t, ignoreCase, &after);
            if (r < 0) {
                ok = *t == L'[';
            } else {
                ok = r == 1;
                next = after;
            }
        } else if (*p) {
            ok = Fold(*p, ignoreCase) == Fold(*t, ignoreCase);
        }
        if (ok) {
            p = next;
            ++t;
            continue;
        }
        if (!starP) return 0;
        p = starP;
        t = ++starT;
    }
    while (*p == L'*') ++p;
    return *p == L'\0';
}

}  // namespace

extern "C" HOST_SERVICE int HOST_CALL WildcardComparison(const wchar_t *pattern,
                                                         const wchar_t *text, int fileNames,
                                                         int ignoreCase)
{
    if (!pattern || !text) return 1;
    if (pattern[0] == L'*' && pattern[1] == L'\0') return 0;
    if (Match(pattern, text, ignoreCase)) return 0;
    if (!fileNames) return 1;

    // The file-name conventions: a final ".*" may also match "no extension at all"
    // ("*.*" matches every name, "READ.*" matches READ), and a final "." matches a name
    // that has no dot.
    size_t len = 0;
    while (pattern[len]) ++len;
    bool hasDot = false;
    for (const wchar_t *t = text; *t; ++t)
        if (*t == L'.') hasDot = true;
    if (len >= 2 && pattern[len - 2] == L'.' && pattern[len - 1] == L'*') {
        if (len == 3 && pattern[0] == L'*') return 0;
        wchar_t shorter[512];
        if (len - 2 < sizeof shorter / sizeof shorter[0]) {
            for (size_t i = 0; i < len - 2; ++i) shorter[i] = pattern[i];
            shorter[len - 2] = L'\0';
            if (Match(shorter, text, ignoreCase)) return 0;
        }
    } else if (len >= 2 && pattern[len - 1] == L'.' && pattern[len - 2] != L'.' && !hasDot) {
        wchar_t shorter[512];
        if (len - 1 < sizeof shorter / sizeof shorter[0]) {
            for (size_t i = 0; i < len - 1; ++i) shorter[i] = pattern[i];
            shorter[len - 1] = L'\0';
            if (Match(shorter, text, ignoreCase)) return 0;
        }
    }
    return 1;
}
