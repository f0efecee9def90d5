// The descriptors the listings keep, within a budget (snapshot.h).
#include "snapshot.h"

#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vesk_posix {

namespace {

const size_t KEPT_MOST = 32;

// The listings whose descriptors are counted, in the order they came to hold them. A
// walk opens a directory's subdirectories while that directory is listed, so the
// directories it still needs soonest are among those that came last, and the first is
// the one it comes back to last.
Snapshot *Kept[KEPT_MOST];
size_t KeptCount = 0;

/// How many listings may hold a descriptor, worked out once.
size_t KeptLimit()
{
    static size_t limit = KEPT_MOST + 1;
    if (limit > KEPT_MOST) {
        struct rlimit nofile;
        limit = KEPT_MOST;
        if (getrlimit(RLIMIT_NOFILE, &nofile) == 0 && nofile.rlim_cur != RLIM_INFINITY &&
            nofile.rlim_cur / 8 < limit)
            limit = (size_t)(nofile.rlim_cur / 8);
    }
    return limit;
}

/// Takes s out of Kept.
void Unhold(Snapshot *s)
{
    if (!s->Held) return;
    s->Held = false;
    for (size_t i = KeptCount; i-- > 0;)
        if (Kept[i] == s) {
            memmove(&Kept[i], &Kept[i + 1], (KeptCount - i - 1) * sizeof Kept[0]);
            --KeptCount;
            return;
        }
}

/// Lets the descriptor of the kept listing at index i go, once it has read its remaining
/// entries, keeping what the directory is. False when it cannot: it is pinned, its names
/// are not read yet, or no memory.
bool LetKeptGo(size_t i)
{
    Snapshot *s = Kept[i];
    if (s->Pinned || !s->Taken || !ReadRest(s)) return false;
    if (s->Opener && !s->HasIdentity && s->Fd >= 0) {
        struct stat st;
        CountStatusCall();
        if (fstat(s->Fd, &st) == 0) {
            s->Inode = (uint64_t)st.st_ino;
            s->Device = ((uint64_t)major(st.st_dev) << 32) | minor(st.st_dev);
            s->HasIdentity = true;
        }
    }
    LetDescriptorGo(s);
    return true;
}

}  // namespace

bool Hold(Snapshot *s)
{
    if (s->Held) return true;
    if (KeptCount >= KeptLimit()) {
        size_t i = 0;
        while (i < KeptCount && !LetKeptGo(i)) ++i;
        if (i == KeptCount) return false;
    }
    Kept[KeptCount++] = s;
    s->Held = true;
    return true;
}

void LetDescriptorGo(Snapshot *s)
{
    Unhold(s);
    if (s->Fd >= 0) close(s->Fd);
    s->Fd = -1;
}

bool ReleaseKeptDescriptors(void)
{
    bool released = false;
    for (size_t i = 0; i < KeptCount;) {
        if (LetKeptGo(i))
            released = true;
        else
            ++i;
    }
    return released;
}

void SettleDescriptor(Snapshot *s)
{
    bool needed = s->Opener || s->BatchEnd < s->Count;
    // Out of memory for the rest: the descriptor stays, uncounted, until the last batch.
    if (needed && !Hold(s) && !s->Opener && !ReadRest(s)) return;
    if (!s->Opener && s->BatchEnd >= s->Count) LetDescriptorGo(s);
}

}  // namespace vesk_posix
