// What a directory's listing may tell of its identity, and when it must not be believed.
#include <gtest/gtest.h>

#include <vector>

#include "platform/posix/posix_layer.h"

namespace {

using vesk_posix::EntrySelf;

/// An entry as its parent's listing numbered it, and as its status showed it.
struct Listed {
    uint64_t ListedInode;
    EntrySelf Self;
};

const uint64_t DEV = 0x800000001ULL, OTHER_DEV = 0x2A;

TEST(ListedIdentity, TheListingTellsOnlyWhatEveryStatusConfirms)
{
    const EntrySelf file = {true, true, 12, DEV};
    const EntrySelf file2 = {true, true, 13, DEV};
    struct {
        const char *What;
        uint64_t DotInode;
        std::vector<Listed> Entries;
        bool Told;  ///< else the directory's own status must tell
    } cases[] = {
        {"files on its device, numbered as their status says", 40, {{12, file}, {13, file2}}, true},
        {"no \".\" listed", 0, {{12, file}}, false},
        {"nothing stat'ed", 40, {}, false},
        {"a link tells the device as a file does", 40, {{77, {true, true, 77, DEV}}}, true},
        {"only subdirectories and mount points: no device of its own",
         40, {{12, {true, false, 12, OTHER_DEV}}, {13, {true, false, 99, DEV}}}, false},
        {"a mount point or subdirectory beside a file changes nothing",
         40, {{12, file}, {50, {true, false, 1, OTHER_DEV}}}, true},
        {"one number for every entry (a FUSE file system without inode numbers)",
         40, {{0xFFFFFFFF, file}, {0xFFFFFFFF, file2}}, false},
        {"one entry numbered otherwise is enough to doubt the rest",
         40, {{12, file}, {14, file2}}, false},
        {"files on two devices (an overlay of two file systems)",
         40, {{12, file}, {13, {true, true, 13, OTHER_DEV}}}, false},
        {"an entry whose status failed tells nothing", 40, {{12, {false, true, 12, DEV}}}, false},
    };
    for (const auto &c : cases) {
        vesk_posix::ListedEvidence evidence = {c.DotInode, 0, false, false};
        for (const Listed &e : c.Entries) AddListedEvidence(&evidence, e.ListedInode, &e.Self);
        uint64_t inode = 0, device = 0;
        EXPECT_EQ(c.Told, ListedIdentity(&evidence, &inode, &device)) << c.What;
        if (c.Told) {
            EXPECT_EQ(c.DotInode, inode) << c.What;
            EXPECT_EQ(DEV, device) << c.What;
        }
    }
}

}  // namespace
