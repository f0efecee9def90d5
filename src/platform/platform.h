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

/// Identity of a directory or file (device and inode on Linux; volume serial and file
/// index on Windows), after links. Returns false when it cannot be opened.
struct DirectoryId {
    uint64_t Volume;
    uint64_t Index;
};
bool GetDirectoryId(const wchar_t *directory, DirectoryId *id);

/// Identity of the directory a listing from FindFirstFileLong reads; directory is the
/// path it was opened with (ending in a separator, or a bare drive). The Linux layer
/// knows it from the listing itself; Windows asks the path. False when it cannot be had.
bool GetListingId(HANDLE find, const wchar_t *directory, DirectoryId *id);

/// The first file time of the year 30828. Windows converts file times up to
/// 0x7FFFFFFFFFFFFFFF, but nothing else in the system takes a year past 30827, and
/// the Linux layer maps times it cannot hold (before 1601, or past 64 bits of ticks)
/// to values at or above it; so a time is only ever shown or compared below it.
const uint64_t FIRST_INVALID_FILE_TIME = 0x7FFF35F4F06C8000ULL;

/// True when fileTime is a date from 1601 to 30827.
inline bool IsValidFileTime(uint64_t fileTime) { return fileTime < FIRST_INVALID_FILE_TIME; }

/// True when path is absolute in a form without a drive or server (a Linux path that
/// begins with "/"). Such a path names its own volume: GetVolumeInformationW is asked
/// about the path itself. Always false on Windows.
bool IsRootlessAbsolutePath(const wchar_t *path);

/// Writes one character straight to the console device (not to standard output);
/// does nothing when there is no console.
void PutConsoleChar(wchar_t c);

#endif
