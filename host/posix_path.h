// The lexical absolute form of a Linux path, for the Linux side of the shell's system
// layer (os_posix.cpp); it looks at no disk.
#ifndef VSHELL_POSIX_PATH_H
#define VSHELL_POSIX_PATH_H

#include <stddef.h>
#include <wchar.h>

namespace vsh {

/// Lexical absolute form of a Linux path: relative paths are taken from cwd (itself
/// absolute); '\' is a separator as well as '/'; "." and ".." are resolved without
/// looking at the disk (".." stops at the root); doubled separators fold; a trailing
/// separator is kept; the result uses '/'. Returns 0, or -1 when path is empty or the
/// result does not fit in capacity characters (out is then the empty text).
int NormalizePosixPath(const wchar_t *cwd, const wchar_t *path, wchar_t *out, size_t capacity);

}  // namespace vsh

#endif
