// Path separators, the same for the plug-in and the stand-in shell.
#ifndef VESK_PATH_SEPARATOR_H
#define VESK_PATH_SEPARATOR_H

#include <wchar.h>

/// The separator the system writes between path components: '\' on Windows, '/' on
/// Linux. Both are accepted everywhere a path is read.
#if defined(_WIN32)
#  define VESK_PATH_SEP L'\\'
#else
#  define VESK_PATH_SEP L'/'
#endif

/// True for '\' and '/'.
inline bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

#endif
