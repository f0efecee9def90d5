// The longest path the plug-in builds: the walk, the ranges, the result entries and the
// Linux layer all hold their paths to it.
#ifndef VESK_PATH_LIMIT_H
#define VESK_PATH_LIMIT_H

/// Characters of a path buffer, terminator included: a path has at most
/// PATH_BUFFER_LEN - 1 characters. A longer one is never built, only refused or skipped.
enum { PATH_BUFFER_LEN = 16384 };

#endif
