#include "search/wild_list.h"

#include "plugin/host_api.h"
#include "plugin/result_codes.h"

namespace {

enum { PIECE_LEN = 8192 };

/// MatchWildList for a list with separators, piece by piece. Kept out of line: its
/// piece buffer would make every call pay for a stack probe on Windows.
__attribute__((noinline)) int MatchPieces(const wchar_t *patterns, const wchar_t *name)
{
    wchar_t piece[PIECE_LEN];
    const wchar_t *p = patterns;
    while (*p != L'\0') {
        size_t len = 0;
        for (; *p != L'\0' && *p != L';'; ++p)
            if (len < PIECE_LEN - 1) piece[len++] = *p;
        if (*p == L';') ++p;
        if (len == 0) continue;
        piece[len] = L'\0';
        if (WildcardComparison(piece, name, 1, 1) == 0) return RESULT_OK;
    }
    return RESULT_FAILED;
}

}  // namespace

int MatchWildList(const wchar_t *patterns, const wchar_t *name)
{
    if (patterns == nullptr || patterns[0] == L'\0' || name == nullptr || name[0] == L'\0')
        return RESULT_MISSING_ARGUMENT;
    // The common single pattern goes to the shell as it stands.
    if (wcschr(patterns, L';') == nullptr && wcsnlen(patterns, PIECE_LEN) < PIECE_LEN)
        return WildcardComparison(patterns, name, 1, 1) == 0 ? RESULT_OK : RESULT_FAILED;
    return MatchPieces(patterns, name);
}

bool MatchesEveryName(const wchar_t *patterns)
{
    return patterns != nullptr && patterns[0] == L'*' && patterns[1] == L'\0';
}
