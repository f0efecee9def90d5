// What a directory's own listing tells of its identity, read from what the listing
// stat'ed anyway.
//
// The walk needs the identity of every directory it lists, to know one it has entered
// already or is below, and asks no status of a subdirectory whose record nothing reads. Its inode is the one
// its "." entry gives (the number its parent's listing gives for a mount point is that
// of the directory it covers). Its device is the one its files show: a file that is not
// a mount point lies on its directory's file system, where a subdirectory may not (a
// mount point, a btrfs subvolume). Where either is in doubt, the directory's own status
// tells both, and so it does for a listing larger than its first batch of statuses:
// when the identity is asked only that batch has been read, and a part does not speak
// for the whole.
#include "posix_layer.h"

namespace vesk_posix {

void AddListedEvidence(ListedEvidence *evidence, uint64_t listedInode, const EntrySelf *self)
{
    if (!self->Known || !self->SameDevice) return;
    // A listing that numbers its entries otherwise than their status does may number
    // its "." otherwise too; entries on several devices leave the directory's unknown.
    if (listedInode != self->Inode || (evidence->HasDevice && evidence->Device != self->Device)) {
        evidence->Conflict = true;
        return;
    }
    evidence->Device = self->Device;
    evidence->HasDevice = true;
}

bool ListedIdentity(const ListedEvidence *evidence, uint64_t *inode, uint64_t *device)
{
    if (evidence->Conflict || !evidence->HasDevice || evidence->DotInode == 0) return false;
    *inode = evidence->DotInode;
    *device = evidence->Device;
    return true;
}

}  // namespace vesk_posix
