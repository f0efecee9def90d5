// Linux stand-ins for the few Win32 types, constants and calls the plug-in uses.
// Names, layouts and behaviour follow Windows (as Wine presents a Linux tree), so the
// plug-in's code reads the same on both systems. Implemented in src/platform/posix/,
// one file per subsystem.
#ifndef VESK_WIN32_POSIX_H
#define VESK_WIN32_POSIX_H

#include <stdint.h>
#include <wchar.h>
#include <wctype.h>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int16_t SHORT;
typedef DWORD *LPDWORD;
typedef BOOL *LPBOOL;
typedef wchar_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef void *HANDLE;
typedef void *HWND;
typedef DWORD LCID;
typedef void *PSECURITY_DESCRIPTOR;
typedef void *PSID;
typedef DWORD SECURITY_INFORMATION;
typedef int SID_NAME_USE;

#define TRUE 1
#define FALSE 0
#define WINAPI
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

/// A standard handle on Linux is the file descriptor plus one, so that no handle is null.
#define VESK_FD_HANDLE(fd) ((HANDLE)(intptr_t)((fd) + 1))
inline int VeskHandleFd(HANDLE h) { return (int)((intptr_t)h - 1); }

#define FILE_ATTRIBUTE_READONLY 0x0001
#define FILE_ATTRIBUTE_HIDDEN 0x0002
#define FILE_ATTRIBUTE_SYSTEM 0x0004
#define FILE_ATTRIBUTE_DIRECTORY 0x0010
#define FILE_ATTRIBUTE_ARCHIVE 0x0020
#define FILE_ATTRIBUTE_NORMAL 0x0080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x0400
#define FILE_ATTRIBUTE_COMPRESSED 0x0800
#define FILE_ATTRIBUTE_OFFLINE 0x1000
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x2000
#define FILE_ATTRIBUTE_ENCRYPTED 0x4000
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4
#define FILE_LIST_DIRECTORY 0x1
#define FILE_READ_ATTRIBUTES 0x80
#define OPEN_EXISTING 3
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu

#define LOCALE_USER_DEFAULT 0x0400
#define DATE_LONGDATE 0x2
#define LOCALE_IDATE 0x21
#define OWNER_SECURITY_INFORMATION 0x1
#define MB_OK 0x0

#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_INVALID_DRIVE 15
#define ERROR_NOT_SAME_DEVICE 17
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_PROTECT 19
#define ERROR_NOT_READY 21
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_BAD_NETPATH 53
#define ERROR_DEV_NOT_EXIST 55
#define ERROR_UNEXP_NET_ERR 59
#define ERROR_NETNAME_DELETED 64
#define ERROR_BAD_NET_NAME 67
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BAD_ARGUMENTS 160
#define ERROR_DISK_FULL 112
#define ERROR_SEM_TIMEOUT 121
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_BAD_PATHNAME 161
#define ERROR_BUSY 170
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_MORE_DATA 234
#define ERROR_DIRECTORY 267
#define ERROR_ARITHMETIC_OVERFLOW 534
#define ERROR_OPERATION_ABORTED 995
#define ERROR_INVALID_FLAGS 1004
#define ERROR_FILE_INVALID 1006
#define ERROR_IO_DEVICE 1117
#define ERROR_NONE_MAPPED 1332
#define ERROR_FILE_CORRUPT 1392
#define ERROR_CANT_ACCESS_FILE 1920
#define ERROR_CANT_RESOLVE_FILENAME 1921
#define ERROR_ENCRYPTION_FAILED 6000

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

typedef struct _TIME_ZONE_INFORMATION TIME_ZONE_INFORMATION;

typedef union _LARGE_INTEGER {
    int64_t QuadPart;
} LARGE_INTEGER;

typedef struct _FILE_ID_128 {
    BYTE Identifier[16];
} FILE_ID_128;

typedef enum _FILE_INFO_BY_HANDLE_CLASS {
    FileIdBothDirectoryInfo = 10,
    FileIdBothDirectoryRestartInfo = 11,
    FileIdInfo = 18,
    FileIdExtdDirectoryInfo = 19,
} FILE_INFO_BY_HANDLE_CLASS;

// Records of a directory read through its handle (GetFileInformationByHandleEx). The
// Linux layer's file id is 128 bits: the inode in the low 8 bytes, the device in the
// high 8; FILE_ID_BOTH_DIR_INFO carries the inode alone. An entry whose status could
// not be read comes with FileAttributes INVALID_FILE_ATTRIBUTES, its name, and the
// error in EaSize (FindFirstFileW and FindNextFileW: in dwReserved1); Windows never
// gives such a record.
typedef struct _FILE_ID_BOTH_DIR_INFO {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;  ///< bytes, no terminator
    DWORD EaSize;          ///< the reparse tag, for a reparse point
    char ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
} FILE_ID_BOTH_DIR_INFO;

typedef struct _FILE_ID_EXTD_DIR_INFO {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;
    DWORD EaSize;
    DWORD ReparsePointTag;
    FILE_ID_128 FileId;
    WCHAR FileName[1];
} FILE_ID_EXTD_DIR_INFO;

typedef struct _FILE_ID_INFO {
    uint64_t VolumeSerialNumber;
    FILE_ID_128 FileId;
} FILE_ID_INFO;

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW;

typedef struct _COORD {
    SHORT X;
    SHORT Y;
} COORD;

typedef struct _SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
} SMALL_RECT;

typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO;

// Directory listing. Entries come sorted by name ignoring case, "." and ".." first;
// see posix/entry_info.cpp for how Linux entries map to attributes and times.
HANDLE FindFirstFileW(LPCWSTR searchPath, WIN32_FIND_DATAW *data);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW *data);
BOOL FindClose(HANDLE find);

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serial, LPDWORD maxComponent, LPDWORD flags,
                           LPWSTR fileSystemName, DWORD fileSystemNameSize);

// Time. FileTimeToLocalFileTime applies today's offset from UTC to any date;
// SystemTimeToTzSpecificLocalTime (with a null zone: the current one, from TZ) applies
// the rules in force on the date converted.
BOOL FileTimeToLocalFileTime(const FILETIME *utc, FILETIME *local);
BOOL FileTimeToSystemTime(const FILETIME *time, SYSTEMTIME *st);
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *utc,
                                     SYSTEMTIME *local);
void GetLocalTime(SYSTEMTIME *st);

// Locale, from the C library's locale data (LANG, LC_TIME).
int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME *st, LPCWSTR picture,
                   LPWSTR out, int outSize);
int GetTimeFormatW(LCID locale, DWORD flags, const SYSTEMTIME *st, LPCWSTR picture,
                   LPWSTR out, int outSize);
int GetLocaleInfoW(LCID locale, DWORD item, LPWSTR out, int outSize);

// Console. "CONOUT$" is the controlling terminal.
HANDLE GetStdHandle(DWORD which);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void *security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
// A directory opened with FILE_FLAG_BACKUP_SEMANTICS is read through its handle: the
// first directory record request takes the whole listing (sorted as FindFirstFileW
// sorts it, "." and ".." left out) and gives the descriptor back at once.
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void *info,
                                  DWORD size);
// The path of an opened directory with every link on the way resolved, from the open
// descriptor (/proc/self/fd): a native path such as /home/me/docs. The flags are taken
// as FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, the only ones the plug-in asks. Returns the
// characters written without the terminator; the characters needed with it when size is
// too small; 0 with the error set on a failure (a handle whose listing has been taken
// has given its descriptor back: ERROR_INVALID_HANDLE).
#define FILE_NAME_NORMALIZED 0x0
#define VOLUME_NAME_DOS 0x0
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags);
// The attributes a listing would show for the entry at path (a link to a directory: the
// directory and reparse point bits), or INVALID_FILE_ATTRIBUTES with the error set.
DWORD GetFileAttributesW(LPCWSTR path);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info);
BOOL CloseHandle(HANDLE h);

// Owner of a file: the security descriptor carries the owner's uid; the account is the
// user name with the machine's host name as its domain.
BOOL GetFileSecurityW(LPCWSTR path, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR sd,
                      DWORD length, LPDWORD lengthNeeded);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID *owner, LPBOOL defaulted);
BOOL LookupAccountSidW(LPCWSTR system, PSID sid, LPWSTR name, LPDWORD nameSize, LPWSTR domain,
                       LPDWORD domainSize, SID_NAME_USE *use);

// User interface: the message box prints its caption and text on standard output.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, unsigned type);
HWND GetForegroundWindow(void);
/// Bounded to 1024 characters, as on Windows.
int wsprintfW(LPWSTR out, LPCWSTR format, ...);

DWORD GetLastError(void);
void SetLastError(DWORD code);

// The wide C library as the Windows C runtime names it.
inline int _wcsicmp(const wchar_t *a, const wchar_t *b) { return wcscasecmp(a, b); }
inline int _wcsnicmp(const wchar_t *a, const wchar_t *b, size_t n) { return wcsncasecmp(a, b, n); }

#endif
