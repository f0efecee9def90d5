// What the shell needs from the operating system, one implementation per system
// (os_posix.cpp, os_win32.cpp). Everything else in host/ is one code path.
#ifndef VSHELL_OS_H
#define VSHELL_OS_H

#include <stddef.h>
#include <string>
#include <vector>
#include <wchar.h>

namespace vsh {

/// The process's standard output (1) or standard error (2) as a service handle: on
/// Linux the descriptor plus one, on Windows the real handle (as GetStdHandle gives it
/// now, so a redirection is seen).
void *OsStdHandle(int stream);

/// Writes len characters to a handle of OsStdHandle's kind (or any handle the plug-in
/// got from GetStdHandle). Linux: UTF-8, "\r\n" written as "\n". Windows: a console as
/// wide text, anything else as UTF-8. Returns 0, or -1 when the write failed.
int OsWrite(void *handle, const wchar_t *text, size_t len);

/// Non-zero when handle is a terminal / console.
int OsIsConsole(void *handle);

/// Non-zero when standard input is a terminal / console.
int OsStdinIsConsole(void);

/// Reads one line of standard input without its line end into line. Returns 0, or -1
/// at the end of input.
int OsReadStdinLine(std::wstring *line);

/// Decodes the whole file as UTF-8 (a leading byte-order mark dropped). Returns 0, or
/// -1 when it cannot be read.
int OsReadTextFile(const wchar_t *path, std::wstring *text);

/// Size and last-write time (in the system's own units) of a file that is not a
/// directory. Returns 0, or -1 when there is no such file.
int OsFileStamp(const wchar_t *path, unsigned long long *size, unsigned long long *written);

/// The current directory, without a trailing separator except for a root. Empty on
/// failure.
std::wstring OsCurrentDirectory(void);

/// Changes the current directory. Returns 0, or -1.
int OsChangeDirectory(const wchar_t *path);

/// The absolute, normalised form of path (see QueryTrueName). Returns 0, or -1 when
/// path is empty or the result would not fit in capacity characters.
int OsFullPath(const wchar_t *path, wchar_t *result, size_t capacity);

/// 1 directory, 2 other existing object, 0 nothing there (or not reachable).
int OsPathKind(const wchar_t *path);

/// Non-zero when drive (1 for A) exists and is ready; always 0 on Linux.
int OsDriveReady(int drive);

/// Points standard output at the file (appending when append is non-zero) until
/// OsEndRedirect. saved receives what is needed to restore it. Returns 0, or -1 when
/// the file cannot be opened (nothing changed).
struct Redirect {
    long long Saved;  // the saved descriptor (Linux) or handle (Windows)
    int Active;
};
int OsBeginRedirect(const wchar_t *file, int append, Redirect *saved);
void OsEndRedirect(Redirect *saved);

/// The directory of the running executable, with a trailing separator; empty when
/// unknown.
std::wstring OsExecutableDirectory(void);

/// The plug-in file name the shell loads by default ("vesk.so" / "vesk.dll").
const wchar_t *OsDefaultPluginName(void);

/// Loads a library; null on failure, with the reason in error.
void *OsLoadLibrary(const wchar_t *path, std::wstring *error);
/// An export of a loaded library, or null.
void *OsFindExport(void *library, const char *name);
void OsFreeLibrary(void *library);

/// The process environment as "NAME=value" texts.
std::vector<std::wstring> OsEnvironment(void);

}  // namespace vsh

#endif
