// Reading a directory's names, sorting them, and the statuses of its entries a batch at
// a time (snapshot.h).
#include "snapshot.h"

#include "text/native_text.h"

#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace vesk_posix {

namespace {

/// The entries a batch stats at most (entries left unread by waiving cost nothing).
const size_t BATCH = 64;

/// Not an index: no entry is stat'ed in spite of its waived type.
const size_t NO_INDEX = SIZE_MAX;

/// The waived entry being delivered, of whichever listing: it is read as soon as it is
/// made, and a deep walk then holds no such record per level.
EntryInfo WaivedEntry;

/// A block a listing freed, kept for the next listing of a walk, which lists one folder
/// after another: most folders then cost no allocation of their names, order or
/// statuses. One block of each kind, and none past SPARE_MOST bytes, so that what is
/// kept does not grow with the folders met.
struct SpareBlock {
    void *Block;
    size_t Size;
};

const size_t SPARE_MOST = 65536;

SpareBlock SparePool, SpareOrder, SpareInfo;

/// The spare block when it holds at least need bytes (*size then says how many), else
/// null.
void *TakeSpare(SpareBlock *spare, size_t need, size_t *size)
{
    if (spare->Block == nullptr || spare->Size < need) return nullptr;
    void *block = spare->Block;
    *size = spare->Size;
    spare->Block = nullptr;
    return block;
}

/// Keeps block (size bytes) as the spare when it is the larger one and not too large;
/// frees whichever is not kept. Null does nothing.
void KeepSpare(SpareBlock *spare, void *block, size_t size)
{
    if (block == nullptr) return;
    if (size > SPARE_MOST || (spare->Block != nullptr && spare->Size >= size)) {
        free(block);
        return;
    }
    free(spare->Block);
    spare->Block = block;
    spare->Size = size;
}


/// The type (DT_) the listing gave for the name at offset.
unsigned char ListedType(const Snapshot *s, uint32_t offset)
{
    return (unsigned char)s->Pool[offset - 1];
}

/// The inode the listing gave for the name at offset (only with s->Inodes).
uint64_t ListedInode(const Snapshot *s, uint32_t offset)
{
    uint64_t inode;
    memcpy(&inode, s->Pool + offset - s->Prefix, sizeof inode);
    return inode;
}

uint32_t OffsetAt(const Snapshot *s, size_t i) { return s->Order[s->First + i]; }

/// True when entry i is stat'ed: not waived for its type.
bool IsStated(const Snapshot *s, size_t i)
{
    return !s->Waive || i == s->WholeIndex || ListedType(s, OffsetAt(s, i)) != DT_DIR;
}

/// Reads what entry i of s shows as into the next free slot of Info, and adds what it
/// is to evidence (null: none wanted). False when s's names cannot be looked up and
/// first says that denies the listing.
bool ReadOneEntry(Snapshot *s, size_t i, bool first, ListedEvidence *evidence)
{
    uint32_t offset = OffsetAt(s, i);
    EntryInfo *e = &s->Info[s->InfoUsed++];
    EntrySelf self;
    int got = ReadEntry(s->Fd, s->Pool + offset, e, &self);
    if (got == ENTRY_DIRECTORY_DENIED) {
        if (first) return false;
        // The directory's permissions changed since its first batch was read: the
        // listing goes on, and this entry is told as one whose status failed.
        e->Error = ERROR_ACCESS_DENIED;
    }
    e->Name = got == ENTRY_LEFT_OUT ? LEFT_OUT : offset;
    if (evidence != nullptr && s->Inodes)
        AddListedEvidence(evidence, ListedInode(s, offset), &self);
    return true;
}

/// Reads the next batch: the entries from BatchEnd on, up to limit stat'ed ones (Info has
/// room for them). first: the listing's first batch, where a denied lookup denies the
/// listing and the entries tell evidence. 0, or ERROR_ACCESS_DENIED.
DWORD ReadBatch(Snapshot *s, size_t limit, bool first, ListedEvidence *evidence)
{
    s->InfoUsed = s->InfoNext = 0;
    size_t i = s->BatchEnd, firstWaived = NO_INDEX;
    for (; i < s->Count && s->InfoUsed < limit; ++i) {
        if (!IsStated(s, i)) {
            if (firstWaived == NO_INDEX) firstWaived = i;
            continue;
        }
        if (!ReadOneEntry(s, i, first, evidence)) return ERROR_ACCESS_DENIED;
    }
    s->BatchEnd = i;
    // Names that may be read but not looked up make a denied listing, which only a
    // status shows: a listing that stat'ed nothing reads its first subdirectory in full.
    if (first && s->InfoUsed == 0 && firstWaived != NO_INDEX) {
        s->WholeIndex = firstWaived;
        if (!ReadOneEntry(s, firstWaived, true, evidence)) return ERROR_ACCESS_DENIED;
    }
    return 0;
}

/// A name's first eight bytes as CompareNames orders them, and its offset in the pool.
/// ASCII letters are folded and the bytes past the name's end are 0, packed so that the
/// larger number sorts later; a byte of a longer character stands as it is and ends the
/// number, so that where two numbers first differ in such a byte, only CompareNames
/// knows the order. Twelve bytes: a listing holds one per name while it sorts.
struct __attribute__((packed, aligned(4))) SortKey {
    uint64_t Prefix;
    uint32_t Offset;
};
static_assert(sizeof(SortKey) == 12, "a sort key takes twelve bytes");

uint64_t SortPrefix(const unsigned char *name)
{
    uint64_t prefix = 0;
    for (unsigned i = 0; i < 8; ++i) {
        uint32_t c = name[i];
        if (c >= 0x80) return ((prefix << 8) | c) << 8 * (7 - i);
        prefix = (prefix << 8) | (c - ((c - 'a' < 26u) << 5));
        if (c == 0) return prefix << 8 * (7 - i);
    }
    return prefix;
}

/// The names read so far: where "." and ".." went in the pool (-1: not listed), the
/// others' keys, and the inode "." was listed with (0 when it was not), listed or left
/// out.
struct NameCount {
    int64_t Dot, DotDot;
    SortKey *Keys;
    size_t Used, Size;
    uint64_t DotInode;
};

// Appends a name with the type (and, with s->Inodes, the inode) the listing gave to the
// pool; returns the name's offset, or -1 when out of memory.
int64_t AddName(Snapshot *s, const char *name, size_t len, uint64_t inode, unsigned char type)
{
    size_t need = s->Prefix + len + 1;
    if (s->PoolUsed + need > s->PoolSize) {
        size_t size = s->PoolSize ? s->PoolSize * 2 : 1024;
        while (size < s->PoolUsed + need) size *= 2;
        // Offsets are 32-bit (the largest is kept for "left out"): a listing of more
        // than 4 GB of names is refused.
        if (size > LEFT_OUT) {
            if (s->PoolUsed + need > LEFT_OUT) return -1;
            size = LEFT_OUT;
        }
        size_t spareSize = 0;
        char *p = s->Pool == nullptr ? (char *)TakeSpare(&SparePool, size, &spareSize) : nullptr;
        if (p != nullptr) {
            size = spareSize;
        } else {
            p = (char *)realloc(s->Pool, size);
            if (p == nullptr) return -1;
        }
        s->Pool = p;
        s->PoolSize = size;
    }
    char *at = s->Pool + s->PoolUsed;
    if (s->Inodes) memcpy(at, &inode, sizeof inode);
    at[s->Prefix - 1] = (char)type;
    at[s->Prefix - 2] = (char)(len < 255 ? len : 255);
    memcpy(at + s->Prefix, name, len + 1);
    s->PoolUsed += need;
    return (int64_t)(at + s->Prefix - s->Pool);
}

/// Reads every name of s->Fd that pattern (null: all) matches into s and names. 0, or
/// the error.
DWORD ReadNames(Snapshot *s, const wchar_t *pattern, bool withDots, NameCount *names)
{
    names->Dot = names->DotDot = -1;
    names->Used = 0;
    names->Size = 16;
    names->DotInode = 0;
    size_t spareSize = 0;
    names->Keys = (SortKey *)TakeSpare(&SpareOrder, names->Size * sizeof(SortKey), &spareSize);
    if (names->Keys != nullptr)
        names->Size = spareSize / sizeof(SortKey);
    else
        names->Keys = (SortKey *)malloc(names->Size * sizeof(SortKey));
    if (names->Keys == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t wide[MAX_PATH];
    alignas(struct dirent64) char block[16384];
    ssize_t filled = 0, at = 0;
    for (;;) {
        if (at >= filled) {
            filled = getdents64(s->Fd, block, sizeof block);
            at = 0;
            if (filled < 0) return ErrorFromErrno(errno);
            if (filled == 0) return 0;
        }
        const struct dirent64 *e = (const struct dirent64 *)(block + at);
        at += e->d_reclen;
        const char *name = e->d_name;
        bool isDot = name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
        if (isDot && !name[1]) names->DotInode = (uint64_t)e->d_ino;
        if (isDot && !withDots) continue;
        size_t len = strlen(name);
        // A name too long for cFileName cannot be delivered whole, so it is left out.
        // (Linux names hold at most 255 bytes, so this needs no decoding in practice.)
        if (len >= MAX_PATH && NativeToWide(name, len, nullptr, 0) >= MAX_PATH) continue;
        if (pattern != nullptr) {
            NativeToWide(name, len, wide, MAX_PATH);
            if (!MatchWild(pattern, wide)) continue;
        }
        int64_t offset = AddName(s, name, len, (uint64_t)e->d_ino, e->d_type);
        if (offset < 0) return ERROR_NOT_ENOUGH_MEMORY;
        if (isDot && !name[1]) {
            names->Dot = offset;
        } else if (isDot) {
            names->DotDot = offset;
        } else {
            if (names->Used == names->Size) {
                SortKey *p = (SortKey *)realloc(names->Keys, 2 * names->Size * sizeof(SortKey));
                if (p == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
                names->Keys = p;
                names->Size *= 2;
            }
            names->Keys[names->Used].Prefix = SortPrefix((const unsigned char *)name);
            names->Keys[names->Used].Offset = (uint32_t)offset;
            ++names->Used;
        }
    }
}

/// Puts the names in listing order in s->Order, "." and ".." first and the rest sorted,
/// in the memory of the keys (names->Keys is s's from here on). Most names differ in an
/// ASCII byte of their first eight: those are compared as one number, the rest by
/// CompareNames.
void SortNames(Snapshot *s, NameCount *names)
{
    const char *pool = s->Pool;
    SortKey *keys = names->Keys;
    std::sort(keys, keys + names->Used, [pool](const SortKey &a, const SortKey &b) {
        uint64_t differ = a.Prefix ^ b.Prefix;
        if (differ != 0) {
            unsigned shift = 56 - ((unsigned)__builtin_clzll(differ) & ~7u);
            if ((((a.Prefix | b.Prefix) >> shift) & 0x80) == 0) return a.Prefix < b.Prefix;
        }
        return CompareNames(pool + a.Offset, pool + b.Offset) < 0;
    });
    // The offsets move down into the keys' own memory, two places kept ahead of them
    // for the dots: the offset of key i goes to bytes 8 + 4i, which no key after it
    // reaches, so each key is read before anything is written over it.
    char *bytes = (char *)keys;
    for (size_t i = 0; i < names->Used; ++i) {
        uint32_t offset = keys[i].Offset;
        memcpy(bytes + 8 + 4 * i, &offset, sizeof offset);
    }
    // A small block stays whole, to be what the next listing sorts in; a large one gives
    // back what the order does not need while the walk is below it.
    size_t slots = names->Used + 2;
    s->Order = (uint32_t *)keys;
    s->OrderSize = names->Size * sizeof(SortKey);
    if (s->OrderSize > SPARE_MOST) {
        uint32_t *order = (uint32_t *)realloc(keys, slots * sizeof(uint32_t));
        if (order != nullptr) {
            s->Order = order;
            s->OrderSize = slots * sizeof(uint32_t);
        }
    }
    names->Keys = nullptr;
    s->First = 2;
    if (names->DotDot >= 0) s->Order[--s->First] = (uint32_t)names->DotDot;
    if (names->Dot >= 0) s->Order[--s->First] = (uint32_t)names->Dot;
    s->Count = slots - s->First;
}

/// A waived entry i of s (a subdirectory, unread) as it is delivered, in out.
void WaiveEntry(const Snapshot *s, size_t i, EntryInfo *out)
{
    uint32_t offset = OffsetAt(s, i);
    memset(out, 0, sizeof *out);
    out->Name = offset;
    out->Waived = true;
    out->Attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (IsHiddenName(s->Pool + offset)) out->Attributes |= FILE_ATTRIBUTE_HIDDEN;
}

}  // namespace

bool ReadRest(Snapshot *s)
{
    if (!s->Taken || s->BatchEnd >= s->Count) return true;
    size_t rest = 0;
    for (size_t i = s->BatchEnd; i < s->Count; ++i) rest += IsStated(s, i);
    size_t pending = s->InfoUsed - s->InfoNext;
    if (pending + rest > s->InfoSize) {
        EntryInfo *info = (EntryInfo *)malloc((pending + rest) * sizeof(EntryInfo));
        if (info == nullptr) return false;
        memcpy(info, s->Info + s->InfoNext, pending * sizeof(EntryInfo));
        free(s->Info);
        s->Info = info;
        s->InfoSize = pending + rest;
    } else {
        memmove(s->Info, s->Info + s->InfoNext, pending * sizeof(EntryInfo));
    }
    s->InfoUsed = pending;
    s->InfoNext = 0;
    for (size_t i = s->BatchEnd; i < s->Count; ++i)
        if (IsStated(s, i)) ReadOneEntry(s, i, false, nullptr);
    s->BatchEnd = s->Count;
    return true;
}

void FreeNames(Snapshot *s)
{
    KeepSpare(&SparePool, s->Pool, s->PoolSize);
    KeepSpare(&SpareOrder, s->Order, s->OrderSize);
    KeepSpare(&SpareInfo, s->Info, s->InfoSize * sizeof(EntryInfo));
    s->Pool = nullptr;
    s->Order = nullptr;
    s->Info = nullptr;
    s->PoolUsed = s->PoolSize = s->OrderSize = s->First = s->Count = 0;
    s->InfoSize = s->InfoUsed = s->InfoNext = s->Next = s->BatchEnd = 0;
}

DWORD TakeSnapshot(Snapshot *s, const wchar_t *pattern, bool withDots, bool waive, bool inodes,
                   ListedEvidence *evidence)
{
    memset(evidence, 0, sizeof *evidence);
    s->Taken = true;
    s->Waive = waive;
    s->Inodes = inodes;
    s->Prefix = (inodes ? sizeof(uint64_t) : 0) + 2;
    s->WholeIndex = NO_INDEX;
    NameCount names;
    DWORD error = ReadNames(s, pattern, withDots, &names);
    if (error == 0) {
        evidence->DotInode = names.DotInode;
        SortNames(s, &names);
        s->InfoSize = std::min(std::max(s->Count, (size_t)1), BATCH);
        size_t spareSize = 0;
        s->Info = (EntryInfo *)TakeSpare(&SpareInfo, s->InfoSize * sizeof(EntryInfo), &spareSize);
        if (s->Info != nullptr)
            s->InfoSize = std::min(spareSize / sizeof(EntryInfo), BATCH);
        else
            s->Info = (EntryInfo *)malloc(s->InfoSize * sizeof(EntryInfo));
        error = s->Info == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ReadBatch(s, BATCH, true, evidence);
    }
    free(names.Keys);
    if (error != 0) FreeNames(s);
    return error;
}

const EntryInfo *CurrentEntry(Snapshot *s)
{
    for (;;) {
        if (s->Next >= s->Count) return nullptr;
        if (s->Next >= s->BatchEnd) {
            // Only the first batch can deny the listing: this one always reads.
            ReadBatch(s, s->InfoSize, false, nullptr);
            SettleDescriptor(s);
        }
        if (!IsStated(s, s->Next)) {
            WaiveEntry(s, s->Next, &WaivedEntry);
            return &WaivedEntry;
        }
        const EntryInfo *e = &s->Info[s->InfoNext];
        if (e->Name != LEFT_OUT) return e;
        ++s->InfoNext;
        ++s->Next;
    }
}

void Advance(Snapshot *s)
{
    if (IsStated(s, s->Next)) ++s->InfoNext;
    ++s->Next;
}

}  // namespace vesk_posix
