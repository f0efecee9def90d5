// The plug-in linked into the fuzz program, registered with the stand-in shell as the
// shell's loader would, and the checks every whole-command target makes after a call.
#ifndef VESK_FUZZ_PLUGIN_HOST_H
#define VESK_FUZZ_PLUGIN_HOST_H

/// A fresh shell (no variables, arrays or batch files) with the plug-in registered, the
/// fixed tree as the current directory and its output captured.
void FreshShellWithPlugin(void);

/// Aborts unless the call left nothing behind: no live shell memory blocks, an empty
/// result list, no nesting of commands in progress.
void CheckNothingLeft(void);

#endif
