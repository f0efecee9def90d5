// What the shell needs from the operating system, one implementation per system
// (os_posix.cpp, os_win32.cpp). Everything else in host/ is one code path.
#ifndef VSHELL_OS_H
#define VSHELL_OS_H

#include <stddef.h>
#include <wchar.h>

/// The process's standard output (1) or standard error (2) as a service handle: on
/// Linux the descriptor plus one, on Windows the real handle.
void *OsStdHandle(int stream);

/// Writes len characters to a handle of OsStdHandle's kind (or any handle the plug-in
/// got from GetStdHandle). Linux: UTF-8, "\r\n" written as "\n". Windows: the console
/// as wide text, anything else as UTF-8. Returns 0, or -1 when the write failed.
int OsWrite(void *handle, const wchar_t *text, size_t len);

/// Non-zero when handle is a terminal / console.
int OsIsConsole(void *handle);

#endif
