// The trees one walk lists plainly, known by where they really are, so that a link
// leading into one of them is not followed: the walk lists that directory where the
// tree holds it, once, and remembers nothing of the directories it lists plainly.
#ifndef VESK_COVERED_TREES_H
#define VESK_COVERED_TREES_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

struct CoveredTree {
    wchar_t *Top;    ///< the top's resolved path (GetListingPath), malloc'd
    size_t TopLen;
    size_t WalkLen;  ///< the length of the path the walk lists the top by, separator included
    uint64_t Hash;   ///< of Top, for Slots
};

/// Zero-initialise; release with FreeCoveredTrees. A walk that follows many links out
/// (a tree of links into a package store) enters as many trees, and each link met is
/// asked of them: the tops are found by hash, so a link costs a lookup per level of its
/// target's path, however many trees there are.
struct CoveredTrees {
    CoveredTree *Trees;
    size_t Count;
    size_t Capacity;
    size_t *Slots;     ///< open addressing by Hash: a tree's index plus one, 0 when free
    size_t SlotCount;  ///< a power of two, at least twice Count; 0 before the first tree
    /// The deepest directory between a top and a link's target last found open to
    /// listing, malloc'd (null before), and the length of that top: the directories
    /// between are not opened again for the next link, which mostly leads nearby.
    wchar_t *Openable;
    size_t OpenableLen;
    size_t OpenableTopLen;
};

/// Adds the tree whose top has the resolved path top and is listed by a walk path of
/// walkLen characters. False when memory is exhausted (the trees are then unchanged).
bool AddCoveredTree(CoveredTrees *trees, const wchar_t *top, size_t walkLen);

/// Asks whether the directory whose resolved path is path lies in one of the trees where
/// the walk lists it itself: at the top, or below it through directories the walk
/// descends into under walkFlags (WalkDescendsInto, none a link, junction or mount point,
/// none it would be refused at) and within the path limit. It asks each directory between
/// its attributes and whether it opens for listing, and remembers the deepest one found to
/// open, so that the next link leading nearby opens nothing again; scratch holds
/// PATH_BUFFER_LEN characters. False whenever any of that cannot be told: the caller then
/// lists the directory through its link, so that what lies below a folder the walk cannot
/// read is still found where a link leads to it.
bool ProbeCoveredPlainly(CoveredTrees *trees, const wchar_t *path, uint32_t walkFlags,
                         wchar_t *scratch);

/// Releases the trees; empty again afterwards.
void FreeCoveredTrees(CoveredTrees *trees);

#endif
