// The operating-system calls the plug-in makes. On Windows they are the real Win32
// calls; on Linux, win32_posix.h declares our stand-ins with the same names, types and
// behaviour. A few helpers of our own (below) cover what differs in spirit between the
// two systems, so that the plug-in's logic stays one code path.
#ifndef VESK_PLATFORM_H
#define VESK_PLATFORM_H

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else
#  include "win32_posix.h"
#endif

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "text/path_limit.h"
#include "text/path_separator.h"

/// The word the version line shows for the platform the plug-in was built for.
#if defined(_WIN32)
#  define VESK_PLATFORM_WORD L"x86"
#  if defined(_WIN64)
#    undef VESK_PLATFORM_WORD
#    define VESK_PLATFORM_WORD L"x64"
#  endif
#else
#  define VESK_PLATFORM_WORD L"x64"
#endif

/// FindFirstFileW for a search path of any length below PATH_BUFFER_LEN characters. On Windows a
/// path too long for the classic limit is opened in the "\\?\" form; the names in the
/// find data never carry that prefix. Windows lists through FindFirstFileExW without the
/// short 8.3 name (left empty), or FindFirstFileW where the system refuses that. "." and
/// ".." may or may not be listed (the Linux layer leaves them out, as Windows does at a
/// drive root): callers skip them.
HANDLE FindFirstFileLong(const wchar_t *searchPath, WIN32_FIND_DATAW *data);

/// Identity of a file or directory: the volume and the file id, 128 bits where the
/// system gives them (FileLow alone where it gives 64). A file id of zero is unknown.
struct FileId {
    uint64_t Volume;
    uint64_t FileLow;
    uint64_t FileHigh;
};

/// True when id names a file: its file id is not zero.
inline bool IsKnownFileId(const FileId *id) { return id->FileLow != 0 || id->FileHigh != 0; }

/// True when id names one file or directory only: a known file id on a volume the system
/// tells apart from the others. A Volume of 0 is a file system the system cannot tell
/// from others (Wine gives 0 for every Linux file system it has no drive for, and their
/// ids repeat): such an id, like an unknown one, may name two files.
inline bool IsTrustedFileId(const FileId *id) { return id->Volume != 0 && IsKnownFileId(id); }

/// True when a and b are the same known file on the same volume.
inline bool IsSameFile(const FileId *a, const FileId *b)
{
    return IsKnownFileId(a) && a->Volume == b->Volume && a->FileLow == b->FileLow &&
           a->FileHigh == b->FileHigh;
}

/// True when a and b, known identities, lie on different file systems: a directory
/// reached from its parent across such a boundary (a mount point) may be reached again
/// through another. The Linux layer gives every file system one volume serial and keeps
/// the device in the file id's high half.
inline bool OnOtherFileSystem(const FileId *a, const FileId *b)
{
#if defined(_WIN32)
    return a->Volume != b->Volume;
#else
    return a->Volume != b->Volume || a->FileHigh != b->FileHigh;
#endif
}

/// A directory opened once and listed through that handle (directory_listing.cpp).
struct DirectoryListing;

/// Opens directory (ending in a separator, or a bare drive) for listing with one open.
/// Returns the listing (CloseDirectoryListing releases it), or null with the reason in
/// GetLastError.
DirectoryListing *OpenDirectoryListing(const wchar_t *directory);

/// OpenDirectoryListing of the subdirectory called name of the directory parent lists,
/// whose path is directory: opened below parent's handle where it has one (the system
/// looks up one name, not the path again), else by the path. sameVolume: it was reached
/// without crossing a link, junction or mount point, so it lists as parent does
/// (ListLike) and its path is not kept.
DirectoryListing *OpenDirectoryListingBelow(DirectoryListing *parent, const wchar_t *name,
                                            const wchar_t *directory, bool sameVolume);

/// True when directory can be opened for listing as OpenDirectoryListing opens it (under
/// the test switch, by its rules): a walk would not be refused at its open. One open and
/// one close; nothing is read.
bool CanOpenForListing(const wchar_t *directory);

/// The identity of the directory at path, asked of a handle that may only read its
/// attributes: a directory whose listing is denied is known all the same. False when the
/// system cannot give it. As GetListingIdentity, a Volume of 0 may name two directories.
bool GetDirectoryIdentity(const wchar_t *directory, FileId *id);

/// Writes into out (capacity characters) the path the system gives for what path (a file
/// or a directory, without a separator at its end) names, every link on the way resolved,
/// as GetListingPath does for a listing: two paths that resolve alike name one file.
/// Where the system cannot open the entry itself (the Linux layer opens only
/// directories), its directory is resolved and its name put after it. One open and one
/// close, or two, through the listing's calls (listing_calls.h). False when neither can
/// be told or it does not fit.
bool GetResolvedPath(const wchar_t *path, wchar_t *out, size_t capacity);

/// The identity of the opened directory, its volume included, asked of its handle (one
/// query, no open). False when the system cannot give it. A Volume of 0 is a file system
/// the system cannot tell from others (Wine gives 0 for every Linux file system it has
/// no drive for, and their ids repeat): such ids may name two directories.
bool GetListingIdentity(DirectoryListing *listing, FileId *id);

/// Writes into out (capacity characters) the path the system gives for the opened
/// directory with every link, junction and drive mapping on the way resolved (on Windows
/// in the "\\?\" form): each of its parts is a directory itself, not a way to one, so a
/// walk can tell from it whether a link leads into a tree it walks. Asked before the
/// listing's first read: the Linux layer gives the directory's descriptor back then.
/// False when the system cannot tell it or it does not fit.
bool GetListingPath(DirectoryListing *listing, wchar_t *out, size_t capacity);

/// What ReadListingEntry delivered.
enum {
    LISTING_FAILED = -1,  ///< the listing cannot go on; GetLastError says why
    LISTING_END = 0,
    LISTING_ENTRY = 1,
    /// An entry the system named but could not tell more of (its status failed): only
    /// data->cFileName is filled (every other field and id are zero), GetLastError says
    /// why, and the listing goes on.
    LISTING_UNREADABLE_ENTRY = 2,
    /// Only after WaiveDirectoryRecords: a subdirectory whose record was not read. Its
    /// name and FILE_ATTRIBUTE_DIRECTORY are filled, with FILE_ATTRIBUTE_HIDDEN where its
    /// name hides it; it is no link (a link comes whole). Its times, size, other
    /// attributes and id are zero and mean nothing: its identity is asked of its own
    /// listing (GetListedIdentity).
    LISTING_DIRECTORY_NAME = 3,
};

/// Asks listing, before its first read, for no record of the subdirectories it lists
/// where reading one costs a call of its own: for a reader that offers no directory and
/// needs of a subdirectory no more than its name and whether it is hidden or a link. On
/// Linux such an entry then comes as LISTING_DIRECTORY_NAME; a Windows listing brings
/// every record with its requests whatever is asked, and every entry goes on coming
/// whole.
void WaiveDirectoryRecords(DirectoryListing *listing);

/// Asks listing, before its first read, for the records sameVolume settled on: a
/// directory reached from its parent without crossing a link, junction or mount point
/// lies on its parent's volume, which refuses what it refused, so the refusal is not
/// asked again of every directory below it. Null, or a listing that has read, does
/// nothing.
void ListLike(DirectoryListing *listing, const DirectoryListing *sameVolume);

/// The identity of the opened directory, for one reached through a LISTING_DIRECTORY_NAME
/// entry: the listing's first request is made first (a failure of it is then what the
/// next ReadListingEntry reports), so that on Linux the listing tells the identity
/// without a status call of its own where it can. Otherwise as GetListingIdentity.
bool GetListedIdentity(DirectoryListing *listing, FileId *id);

/// Delivers the next entry, never "." or "..". id gets the entry's file id as the listing
/// reports it (zero when the listing gives none; Volume is left 0: the caller knows the
/// volume of the directory it listed). Returns one of the LISTING_ values.
int ReadListingEntry(DirectoryListing *listing, WIN32_FIND_DATAW *data, FileId *id);

/// Closes the handle and frees the listing; null does nothing.
void CloseDirectoryListing(DirectoryListing *listing);

/// For directory_listing.cpp: what a directory handle (CreateFileLong with backup
/// semantics) is asked to do when its listing is taken, before its first request.
/// HANDLE_LISTING_NO_DIRECTORY_RECORDS: read no record of a subdirectory the listing
/// types as one, and mark its record with WAIVED_RECORD_TIME in its times;
/// HANDLE_LISTING_KEEPS_IDENTITY: keep the directory's identity for FileIdInfo, asked
/// after the listing is taken. Windows reads its records whole and answers FileIdInfo at
/// any time: there this does nothing.
enum { HANDLE_LISTING_NO_DIRECTORY_RECORDS = 1, HANDLE_LISTING_KEEPS_IDENTITY = 2 };
void SetHandleListingNeeds(HANDLE directory, unsigned needs);

/// How a record, or the find data of the classic listing, tells an entry the system
/// named but could not read (on Linux, its status failed; the test double makes such
/// entries on every build): attributes no entry has, and the error where nothing else is
/// kept then, in a directory record's EaSize and in the find data's dwReserved1.
/// directory_listing.cpp delivers such an entry as LISTING_UNREADABLE_ENTRY.
const DWORD UNREADABLE_ENTRY_ATTRIBUTES = INVALID_FILE_ATTRIBUTES;

/// Marks the directory record at record (both classes share the fields) as an entry that
/// could not be read, with error.
inline void MarkRecordUnreadable(void *record, DWORD error)
{
    FILE_ID_BOTH_DIR_INFO *both = (FILE_ID_BOTH_DIR_INFO *)record;
    both->FileAttributes = UNREADABLE_ENTRY_ATTRIBUTES;
    both->EaSize = error;
}

/// The time in all three times of a record the Linux layer did not read
/// (HANDLE_LISTING_NO_DIRECTORY_RECORDS). No file time has it (it is past
/// LAST_VALID_FILE_TIME), so that it never passes for one; directory_listing.cpp
/// delivers such a record as LISTING_DIRECTORY_NAME.
const uint64_t WAIVED_RECORD_TIME = 0xFFFFFFFFFFFFFFFFULL;

/// Writes the system's own text for a Windows error code into out (capacity characters,
/// at least 32), without the full stop and line end Windows puts after it: the text
/// FormatMessageW gives on Windows, the C library's text for the errno the Linux layer
/// mapped to that code, or "error N" where there is none.
void DescribeSystemError(DWORD error, wchar_t *out, size_t capacity);

/// CreateFileW of a path of any length below 16384 characters: on Windows a long path is
/// opened in the "\\?\" form. Same arguments and result as CreateFileW.
HANDLE CreateFileLong(const wchar_t *path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags);

/// Opens the directory called name (one name, no separator) inside the directory opened
/// as directory (a handle from CreateFileLong or CreateFileBelow with backup semantics),
/// with backup semantics and the access asked: the system looks up that one name, not
/// the path again, so a walk opens each directory in time that does not grow with its
/// depth. Same result as CreateFileLong; ERROR_INVALID_HANDLE when directory cannot open
/// names below it just now (the caller then opens the path).
HANDLE CreateFileBelow(HANDLE directory, const wchar_t *name, DWORD access);

/// The largest file time: Windows converts every time up to it (30828-09-14 02:48:05
/// UTC) and refuses every larger one. The Linux layer maps times it cannot hold (before
/// 1601, or past 64 bits of ticks) above it, as Wine does.
const uint64_t LAST_VALID_FILE_TIME = 0x7FFFFFFFFFFFFFFFULL;

/// True when FileTimeToSystemTime converts fileTime.
inline bool IsValidFileTime(uint64_t fileTime) { return fileTime <= LAST_VALID_FILE_TIME; }

/// True when path is absolute in a form without a drive or server (a Linux path that
/// begins with "/"). Such a path names its own volume: GetVolumeInformationW is asked
/// about the path itself. Always false on Windows.
bool IsRootlessAbsolutePath(const wchar_t *path);

/// Writes one character straight to the console device (not to standard output);
/// does nothing when there is no console.
void PutConsoleChar(wchar_t c);

#endif
