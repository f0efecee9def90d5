// Bookkeeping of the shell memory handed out by AllocMem.
#ifndef VSHELL_MEMORY_H
#define VSHELL_MEMORY_H

/// Number of AllocMem blocks not yet given back with FreeMem (tests read it too).
long LiveMemoryBlocks(void);

#endif
