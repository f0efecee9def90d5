// The plug-in linked into the fuzz program, registered with the stand-in shell as the
// shell's loader would, and the checks every whole-command target makes after a call.
#ifndef VESK_FUZZ_PLUGIN_HOST_H
#define VESK_FUZZ_PLUGIN_HOST_H

#include <stdint.h>

/// A fresh shell (no variables, arrays or batch files) with the plug-in registered, the
/// fixed tree as the current directory and its output captured.
void FreshShellWithPlugin(void);

/// Puts the shell's parsing settings in a combination, through the setdos command's own
/// parser: escape (bits 0-1) picks the escape character (^ ~ ! #), separator (bits 0-3)
/// one of sixteen separators (one that clashes is refused and "&" stays), features
/// bits 0-5 switch off features 3 to 8 of /X.
void ChooseFuzzSettings(unsigned escape, unsigned separator, unsigned features);

/// Aborts unless the parsing settings are ones setdos could have made: an escape
/// character and a separator that differ and are neither letters, digits, blanks,
/// control characters, "%", '"' nor "`"; only features 1 to 9 switched off.
void CheckSettingsSound(void);

/// Aborts unless the call left nothing behind: no live shell memory blocks, an empty
/// result list, no nesting of commands in progress.
void CheckNothingLeft(void);

#endif
