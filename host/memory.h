// Bookkeeping of the shell memory handed out by AllocMem.
#ifndef VSHELL_MEMORY_H
#define VSHELL_MEMORY_H

namespace vsh {

/// Number of AllocMem blocks not yet given back with FreeMem.
long LiveMemoryBlocks(void);

}  // namespace vsh

#endif
