// Bookkeeping of the shell memory handed out by AllocMem.
#ifndef VSHELL_MEMORY_H
#define VSHELL_MEMORY_H

#include <stddef.h>

#include <memory>

/// Number of AllocMem blocks not yet given back with FreeMem (tests read it too).
long LiveMemoryBlocks(void);

/// A heap buffer of exactly count characters, all zero; the caller owns it. No slack
/// past the end, so a plug-in that writes beyond what it was given is caught by the
/// sanitizer build.
std::unique_ptr<wchar_t[]> ZeroedText(size_t count);

#endif
