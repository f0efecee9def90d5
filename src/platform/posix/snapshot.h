// A directory's listing as the Linux layer reads it, and the descriptors the listings
// keep. Private to src/platform/posix: listing.cpp serves FindFirstFileW and directory
// handles from it.
//
// Order: "." and ".." first, then by upper-case name (exact order on ties). The names are
// read whole at the listing's first request, since the order (and so which of two equal
// files comes first) needs them all. Only what sorting needs is held: one pool of bytes
// with each name and the type the listing gave (and its inode, where the directory's
// identity is to be told from its entries), and one array of offsets. What an entry
// shows as is read when the listing comes to it, a batch of BATCH stat'ed entries at a
// time, through the open directory: a walk keeps a listing open for every level it is
// below, and a large directory then costs its names while the levels below it are
// walked, not a record per entry. The first batch is read at the first request, so that
// a directory whose names may be read but not looked up is denied there; an entry past
// it shows as it is when its batch is read (gone since: left out). Once every entry has
// been delivered, the listing holds nothing of them.
//
// A listing asked for no record of its subdirectories stats no entry whose type the
// listing gives as a directory: a walk that offers no directory reads nothing of their
// records but the directory bit and the hidden one, which the type and the name tell,
// and learns their identities from their own listings (listed_identity.cpp). The type a
// listing gives is what the entry is: a link shows as one, and is stat'ed.
#ifndef VESK_POSIX_SNAPSHOT_H
#define VESK_POSIX_SNAPSHOT_H

#include "posix_layer.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace vesk_posix {

struct Snapshot {
    char *Pool;         // the entries' byte names, each NUL-terminated after its prefix
    size_t PoolUsed, PoolSize;
    size_t Prefix;      // bytes before each name: its length (255 for 255 or more) and
                        // the type, after the inode with Inodes
    bool Inodes;
    uint32_t *Order;    // offsets into Pool, in listing order from index First
    size_t OrderSize;   // bytes of Order's block
    size_t First, Count;
    int Fd;             // the directory while it may still be needed; else -1
    bool Taken;         // the names have been read
    bool Held;          // counted among the descriptors kept (descriptors.cpp)
    bool Opener;        // kept to open subdirectories through, not only to read statuses
    bool Pinned;        // never the one to let its descriptor go (an open through it runs)
    bool Waive;         // entries the listing types as directories are not stat'ed
    size_t WholeIndex;  // an entry of a waived type stat'ed all the same, or NO_INDEX
    EntryInfo *Info;    // the stat'ed entries of the batch, in listing order
    size_t InfoSize, InfoUsed, InfoNext;
    size_t Next;        // index (from First) of the entry to deliver next
    size_t BatchEnd;    // index past the entries whose status Info holds
    // The directory's own identity, once known: kept when its descriptor goes, so that
    // one opened again is known to be the same directory.
    bool HasIdentity;
    uint64_t Inode, Device;
};

/// Takes the listing of s->Fd into s: its names that pattern matches (null: all), "."
/// and ".." only withDots, their order, and the first batch of statuses, with what the
/// batch tells of the directory's identity in evidence (inodes: the names keep their
/// inodes for it); waive: entries the listing types as directories are not stat'ed.
/// 0, or the error (s is then empty).
DWORD TakeSnapshot(Snapshot *s, const wchar_t *pattern, bool withDots, bool waive, bool inodes,
                   ListedEvidence *evidence);

/// The entry to deliver next, read (a batch at a time) but not yet passed; null at the
/// end. Asked again before Advance, it gives the same entry. A waived entry lives until
/// the next call, of any listing.
const EntryInfo *CurrentEntry(Snapshot *s);

/// Passes the entry CurrentEntry gave.
void Advance(Snapshot *s);

/// The name of an entry CurrentEntry gave.
inline const char *EntryName(const Snapshot *s, const EntryInfo *e) { return s->Pool + e->Name; }

/// The length in bytes of the name of an entry CurrentEntry gave.
inline size_t EntryNameLength(const Snapshot *s, const EntryInfo *e)
{
    size_t len = (unsigned char)s->Pool[e->Name - 2];
    return len < 255 ? len : strlen(s->Pool + e->Name);
}

/// True when every entry has been delivered.
inline bool Delivered(const Snapshot *s) { return s->Taken && s->Next >= s->Count; }

/// Frees what s read, leaving its descriptor as it is.
void FreeNames(Snapshot *s);

/// Reads every entry of s not read yet, after those of the batch not yet delivered, so
/// that its descriptor may go. False when out of memory (the descriptor is still needed).
bool ReadRest(Snapshot *s);

// The descriptors the listings keep (descriptors.cpp). A listing with entries still to
// read keeps its directory's descriptor, and so does a directory kept open to open its
// subdirectories through. At most an eighth of the descriptors the process may hold (and
// no more than 32) are kept: a descriptor per level of a deep walk would run out under
// the usual soft limit long before the deepest path the plug-in accepts. When one more is
// needed, the listing that has held one longest reads its remaining entries and lets its
// descriptor go, keeping the directory's identity; a walk comes back to the directories
// it left last, and directory handles get theirs back then (listing.cpp). A directory is
// never reopened by its path to resume a listing: the path may name another directory
// by then.

/// Counts s's descriptor among those kept; when all places are taken, the listing held
/// longest gives up its own. False when none can (s's descriptor then stays, uncounted).
bool Hold(Snapshot *s);

/// Closes s's descriptor, which it no longer needs.
void LetDescriptorGo(Snapshot *s);

/// Lets go of every kept descriptor that may go (each reads its remaining entries
/// first), for an open that found none free. True when one was let go.
bool ReleaseKeptDescriptors(void);

/// After the batch that s has just read: its descriptor stays while it has entries left
/// to read or while it is an opener; otherwise it goes.
void SettleDescriptor(Snapshot *s);

}  // namespace vesk_posix

#endif
