#include "search/covered_trees.h"

#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "search/path_hash.h"
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

/// True when the directory whose path is the first len characters of path was found
/// open to listing, below the top of the tree it was checked in.
bool KnownOpenable(const CoveredTrees *trees, const wchar_t *path, size_t len)
{
    return trees->Openable != nullptr && len > trees->OpenableTopLen &&
           len <= trees->OpenableLen && wmemcmp(path, trees->Openable, len) == 0 &&
           (len == trees->OpenableLen || trees->Openable[len] == VESK_PATH_SEP);
}

/// Remembers the first len characters of path as the deepest directory found open to
/// listing below a top of topLen characters; out of memory it is only not remembered.
void RememberOpenable(CoveredTrees *trees, const wchar_t *path, size_t len, size_t topLen)
{
    wchar_t *kept = (wchar_t *)realloc(trees->Openable, (len + 1) * sizeof(wchar_t));
    if (kept == nullptr) return;
    wmemcpy(kept, path, len);
    kept[len] = L'\0';
    trees->Openable = kept;
    trees->OpenableLen = len;
    trees->OpenableTopLen = topLen;
}

/// True when every directory from tree's top down to path (below it by belowLen
/// characters) is one the walk descends into, and the walk's path to path is within the
/// limit. The target itself is opened through its link: only those between are asked
/// whether they open, since a folder the walk is refused at hides what lies below it.
bool WalkedPlainly(CoveredTrees *trees, const CoveredTree *tree, const wchar_t *path,
                   size_t pathLen, size_t belowLen, uint32_t walkFlags, wchar_t *scratch)
{
    if (belowLen == 0) return true;
    // The walk lists path as its top's walk path, the part below and a separator.
    if (tree->WalkLen + belowLen + 2 > PATH_BUFFER_LEN || pathLen + 1 > PATH_BUFFER_LEN)
        return false;
    wmemcpy(scratch, path, pathLen);
    size_t nameStart = pathLen - belowLen;
    size_t deepest = 0;  // the end of the deepest directory between opened just now
    for (size_t end = nameStart; end <= pathLen; ++end) {
        if (end < pathLen && path[end] != VESK_PATH_SEP) continue;
        // A name the listing cannot deliver whole is not walked.
        if (end - nameStart >= MAX_PATH || end == nameStart) return false;
        scratch[end] = L'\0';
        // A folder the walk enters, and no link: a way through one is no plain way.
        DWORD attributes = GetFileAttributesW(scratch);
        if (attributes == INVALID_FILE_ATTRIBUTES || !WalkDescendsInto(attributes, walkFlags) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        if (end < pathLen && !KnownOpenable(trees, path, end)) {
            if (!CanOpenForListing(scratch)) return false;
            deepest = end;
        }
        scratch[end] = VESK_PATH_SEP;
        nameStart = end + 1;
    }
    if (deepest != 0) RememberOpenable(trees, path, deepest, tree->TopLen);
    return true;
}

/// Places tree index i in slots (count a power of two).
void PlaceTree(size_t *slots, size_t count, const CoveredTree *trees, size_t i)
{
    size_t at = (size_t)trees[i].Hash & (count - 1);
    while (slots[at] != 0) at = (at + 1) & (count - 1);
    slots[at] = i + 1;
}

/// Makes room in the index for one more tree. False when memory is exhausted.
bool ReserveSlot(CoveredTrees *trees)
{
    if ((trees->Count + 1) * 2 <= trees->SlotCount) return true;
    size_t count = trees->SlotCount == 0 ? 16 : trees->SlotCount * 2;
    size_t *slots = (size_t *)calloc(count, sizeof(size_t));
    if (slots == nullptr) return false;
    for (size_t i = 0; i < trees->Count; ++i) PlaceTree(slots, count, trees->Trees, i);
    free(trees->Slots);
    trees->Slots = slots;
    trees->SlotCount = count;
    return true;
}

/// True when a tree whose top is the first len characters of path (their hash given)
/// holds path plainly.
bool CoveredByTopOfLength(CoveredTrees *trees, const wchar_t *path, size_t pathLen,
                          size_t len, uint64_t hash, uint32_t walkFlags, wchar_t *scratch)
{
    size_t mask = trees->SlotCount - 1;
    for (size_t at = (size_t)hash & mask; trees->Slots[at] != 0; at = (at + 1) & mask) {
        const CoveredTree *tree = &trees->Trees[trees->Slots[at] - 1];
        if (tree->Hash != hash || tree->TopLen != len) continue;
        long long below = BelowTop(tree, path, pathLen);
        if (below >= 0 &&
            WalkedPlainly(trees, tree, path, pathLen, (size_t)below, walkFlags, scratch))
            return true;
    }
    return false;
}

}  // namespace

bool AddCoveredTree(CoveredTrees *trees, const wchar_t *top, size_t walkLen)
{
    if (!ReserveSlot(trees)) return false;
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
    uint64_t hash = PATH_HASH_START;
    for (size_t i = 0; i < len; ++i) hash = PathHashStep(hash, top[i]);
    trees->Trees[trees->Count] = {copy, len, walkLen, hash};
    PlaceTree(trees->Slots, trees->SlotCount, trees->Trees, trees->Count);
    ++trees->Count;
    return true;
}

bool ProbeCoveredPlainly(CoveredTrees *trees, const wchar_t *path, uint32_t walkFlags,
                      wchar_t *scratch)
{
    if (trees->Count == 0) return false;
    size_t pathLen = wcsnlen(path, PATH_BUFFER_LEN);
    // A top is the path itself or ends where a name of it ends: before a separator, or
    // with one (a drive's root).
    uint64_t hash = PATH_HASH_START;
    for (size_t len = 1; len <= pathLen; ++len) {
        hash = PathHashStep(hash, path[len - 1]);
        if ((len == pathLen || path[len] == VESK_PATH_SEP || path[len - 1] == VESK_PATH_SEP) &&
            CoveredByTopOfLength(trees, path, pathLen, len, hash, walkFlags, scratch))
            return true;
    }
    return false;
}

void FreeCoveredTrees(CoveredTrees *trees)
{
    for (size_t i = 0; i < trees->Count; ++i) free(trees->Trees[i].Top);
    free(trees->Trees);
    free(trees->Slots);
    free(trees->Openable);
    *trees = CoveredTrees{};
}
