// Matching a name against a semicolon-separated list of wildcard patterns.
#ifndef VESK_WILD_LIST_H
#define VESK_WILD_LIST_H

#include <wchar.h>

/// Matches name against the semicolon-separated patterns, as MatchRanges matches a file
/// against the ranges: RESULT_OK when one matches, RESULT_FAILED when none does,
/// RESULT_MISSING_ARGUMENT when either is null or empty.
int MatchWildList(const wchar_t *patterns, const wchar_t *name);

/// True when patterns match every name without asking: a lone "*", which the shell's
/// file-name matching takes for any sequence of characters.
bool MatchesEveryName(const wchar_t *patterns);

#endif
