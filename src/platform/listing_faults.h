// A test double at the listing seam, built into every build so that the Windows builds
// are tested under Wine as the Linux ones are. It acts only while the environment
// variable VESK_TEST_LISTING_FAULTS is set (a test switch, named as one); without it
// nothing is asked of it but one getenv per directory opened.
//
// The variable holds rules separated by ";", each "NAME:ACTION", where NAME is the last
// component of a directory's path (or an entry's name, for id=) and ACTION one of:
//   open=E        opening the directory fails with Windows error E, also through a
//                 link to it (where the system tells where a handle leads)
//   read=K:E      after K entries the next read fails with error E
//   entry=K:E     entry number K (from 0) comes as unreadable, with error E
//   id=V:F        the directory's handle tells volume V ("-": what the system says) and
//                 file id F, and its parent's listing gives its record file id F
//   list=A,B/,C=5 the directory lists these entries (B a directory, C of 5 bytes, the
//                 others of 1) instead of what is there; it need not exist
//   ids=64        listed through its handle, the directory refuses the 128-bit records
//                 (as FAT and Windows before 8 do) and gives the 64-bit ones
// Several rules may name one directory. Numbers are decimal.
#ifndef VESK_LISTING_FAULTS_H
#define VESK_LISTING_FAULTS_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"

/// The rules of one name. Points into the parsed variable: valid until the variable
/// changes.
struct ListingFault {
    const wchar_t *Name;
    DWORD OpenError;      ///< not 0: the open fails with it
    DWORD ReadError;      ///< not 0: the read after FailAt entries fails with it
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

/// Reads the switch again when it changed (the rules found before are then gone).
/// True when it is set.
bool LoadListingFaults(void);

/// The rules for directory (a path; trailing separators ignored) or for a bare entry
/// name, as last loaded, or null when there are none.
const ListingFault *FindListingFault(const wchar_t *directory);

/// Fills data with entry number index of fault's list (times 2020-01-01 00:00 UTC).
/// True for an entry, false past the last.
bool ReadFakeEntry(const ListingFault *fault, uint32_t index, WIN32_FIND_DATAW *data);

#endif
