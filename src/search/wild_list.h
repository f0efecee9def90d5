// Matching a name against a semicolon-separated list of wildcard patterns.
#ifndef VESK_WILD_LIST_H
#define VESK_WILD_LIST_H

#include <wchar.h>

/// 0 when name matches one of the semicolon-separated patterns, 1 when none, -1 when
/// either is null or empty.
int MatchesWildList(const wchar_t *patterns, const wchar_t *name);

#endif
