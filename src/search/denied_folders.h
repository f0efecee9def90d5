// The folders a scan could not read because access was denied at their open: counted
// once each, and the first few named, so that a command can say so in one line at its
// end. Besides the few names, a folder costs one slot of a set of path hashes.
#ifndef VESK_DENIED_FOLDERS_H
#define VESK_DENIED_FOLDERS_H

#include <stdint.h>
#include <wchar.h>

#include "search/directory_set.h"

/// How many names are kept, and how long each may be (longer ones are cut in the middle).
enum { DENIED_NAMES_KEPT = 3, DENIED_NAME_LEN = 260 };

/// Zero-initialise before the first scan; FreeDeniedFolders releases what it holds.
struct DeniedFolders {
    uint32_t Count;                        ///< folders denied, stops at UINT32_MAX
    wchar_t *Names[DENIED_NAMES_KEPT];     ///< the first ones (malloc'd), null past them
    DirectorySet Counted;  ///< the folders counted, by identity or a hash of the path: two
                           ///< file specifications that overlap, or a link, meet one
                           ///< folder twice, and it is one folder
};

/// Counts the folder at path unless it was counted already: by id when one is given (a
/// trusted identity: the folder reached through a link is the same folder), otherwise by
/// its path. Its name is kept while fewer than DENIED_NAMES_KEPT are. A name that finds
/// no memory is only counted.
void NoteDeniedFolder(DeniedFolders *denied, const wchar_t *path, const FileId *id);

/// Prints, when any folder was denied, one message on standard error: "3 folders could
/// not be read: access denied", followed by the names kept when named is true. Returns 0.
int ReportDeniedFolders(const DeniedFolders *denied, bool named);

/// Releases the names; the record is zero again.
void FreeDeniedFolders(DeniedFolders *denied);

#endif
