// A test double of the listing's system calls (listing_calls.h), built into every build
// so that the Windows builds are tested under Wine as the Linux ones are. It wraps the
// system's calls from outside: ChooseListingCalls puts it in their place, once at load,
// only while one of its test switches is set, and the listing never knows.
//
// The switches, environment variables named as test switches:
//   VESK_TEST_LISTING_FAULTS      rules separated by ";", each "NAME:ACTION", where NAME
//                                 is the last component of a directory's path (or an
//                                 entry's name, for id=) and ACTION one of:
//     open=E        opening the directory to list it fails with Windows error E, also
//                   through a link to it (by the name the opened handle resolves to)
//     read=K:E      after K entries the next request fails with error E
//     entry=K:E     entry number K (from 0) comes as unreadable, with error E
//     id=V:F        the directory's handle tells volume V ("-": what the system says) and
//                   file id F, and every listing gives the entry of that name file id F
//     list=A,B/,C=5 the directory lists these entries (B a directory, C of 5 bytes, the
//                   others of 1) instead of what is there; it need not exist
//     ids=64        the directory refuses the 128-bit records (as FAT and Windows
//                   before 8 do) and gives the 64-bit ones
//                   Several rules may name one directory. Numbers are decimal. A rule
//                   that does not read as one of these fails loudly: it is named on
//                   standard error and every directory's open then fails.
//   VESK_TEST_NO_RESOLVED_PATHS   no handle tells its resolved path, as a system without
//                                 /proc, or a file system that cannot tell it, does
//   VESK_TEST_REFUSE_HANDLE_LISTING  no handle lists its directory's records, as file
//                                 systems that only the classic listing serves do
//   VESK_TEST_ZERO_FILE_IDS       every file id reads 0, as some network file systems
//                                 report them
#ifndef VESK_LISTING_FAULTS_H
#define VESK_LISTING_FAULTS_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

/// The rules of one name. Points into the parsed variable: valid until the rules are
/// read again.
struct ListingFault {
    const wchar_t *Name;
    DWORD OpenError;      ///< not 0: the open fails with it
    DWORD ReadError;      ///< not 0: the request after FailAt entries fails with it
    uint32_t FailAt;
    DWORD EntryError;     ///< not 0: entry number UnreadableAt is unreadable
    uint32_t UnreadableAt;
    bool HasId;
    bool SystemVolume;    ///< the volume is the system's, only the file id is chosen
    uint64_t Volume;
    uint64_t FileId;
    const wchar_t *Entries;  ///< list=: comma-separated entries; null for the real ones
    bool Only64BitRecords;   ///< ids=64
};

/// Reads VESK_TEST_LISTING_FAULTS again (the rules found before are then gone). 1 when
/// it is set and every rule reads, 0 when it is not set, -1 when a rule is malformed
/// (named on standard error).
int LoadListingFaults(void);

/// The rules for directory (a path; trailing separators ignored) or for a bare entry
/// name, as last loaded, or null when there are none.
const ListingFault *FindListingFault(const wchar_t *directory);

#endif
