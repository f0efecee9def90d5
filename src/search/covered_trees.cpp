#include "search/covered_trees.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "search/search.h"

namespace {

/// The length of the part of path below top (its separator excluded), or -1 when path
/// is not top or below it. Resolved paths come from one system call in one form, so they
/// compare exactly: a case that differs counts as another directory, which at worst
/// lists one twice.
long long BelowTop(const CoveredTree *tree, const wchar_t *path, size_t pathLen)
{
    size_t topLen = tree->TopLen;
    if (pathLen < topLen || wmemcmp(path, tree->Top, topLen) != 0) return -1;
    if (pathLen == topLen) return 0;
    // A top that is a drive's root ends in its separator; any other is followed by one.
    if (topLen > 0 && tree->Top[topLen - 1] == VESK_PATH_SEP) return (long long)(pathLen - topLen);
    if (path[topLen] != VESK_PATH_SEP) return -1;
    return (long long)(pathLen - topLen - 1);
}

/// True when every directory from tree's top down to path (below it by belowLen
/// characters) is one the walk descends into, and the walk's path to path is within the
/// limit.
bool WalkedPlainly(const CoveredTree *tree, const wchar_t *path, size_t pathLen, size_t belowLen,
                   uint32_t walkFlags, wchar_t *scratch)
{
    if (belowLen == 0) return true;
    if (!(walkFlags & WALK_RECURSE)) return false;
    // The walk lists path as its top's walk path, the part below and a separator.
    if (tree->WalkLen + belowLen + 2 > PATH_BUFFER_LEN || pathLen + 1 > PATH_BUFFER_LEN)
        return false;
    DWORD refused = FILE_ATTRIBUTE_REPARSE_POINT;
    if (walkFlags & WALK_NO_HIDDEN_DIRS) refused |= FILE_ATTRIBUTE_HIDDEN;
    wmemcpy(scratch, path, pathLen);
    size_t nameStart = pathLen - belowLen;
    for (size_t end = nameStart; end <= pathLen; ++end) {
        if (end < pathLen && path[end] != VESK_PATH_SEP) continue;
        // A name the listing cannot deliver whole is not walked.
        if (end - nameStart >= MAX_PATH || end == nameStart) return false;
        scratch[end] = L'\0';
        DWORD attributes = GetFileAttributesW(scratch);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & refused))
            return false;
        scratch[end] = VESK_PATH_SEP;
        nameStart = end + 1;
    }
    return true;
}

}  // namespace

bool AddCoveredTree(CoveredTrees *trees, const wchar_t *top, size_t walkLen)
{
    if (trees->Count == trees->Capacity) {
        size_t capacity = trees->Capacity == 0 ? 4 : trees->Capacity * 2;
        CoveredTree *grown = (CoveredTree *)realloc(trees->Trees, capacity * sizeof(CoveredTree));
        if (grown == nullptr) return false;
        trees->Trees = grown;
        trees->Capacity = capacity;
    }
    size_t len = wcslen(top);
    wchar_t *copy = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    if (copy == nullptr) return false;
    wmemcpy(copy, top, len + 1);
    trees->Trees[trees->Count++] = {copy, len, walkLen};
    return true;
}

bool IsCoveredPlainly(const CoveredTrees *trees, const wchar_t *path, uint32_t walkFlags,
                      wchar_t *scratch)
{
    size_t pathLen = wcsnlen(path, PATH_BUFFER_LEN);
    for (size_t i = 0; i < trees->Count; ++i) {
        long long below = BelowTop(&trees->Trees[i], path, pathLen);
        if (below >= 0 &&
            WalkedPlainly(&trees->Trees[i], path, pathLen, (size_t)below, walkFlags, scratch))
            return true;
    }
    return false;
}

void FreeCoveredTrees(CoveredTrees *trees)
{
    for (size_t i = 0; i < trees->Count; ++i) free(trees->Trees[i].Top);
    free(trees->Trees);
    trees->Trees = nullptr;
    trees->Count = trees->Capacity = 0;
}
