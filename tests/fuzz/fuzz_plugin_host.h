// The plug-in linked into the fuzz program, registered with the stand-in shell as the
// shell's loader would, and the checks every whole-command target makes after a call.
#ifndef VESK_FUZZ_PLUGIN_HOST_H
#define VESK_FUZZ_PLUGIN_HOST_H

#include <stdint.h>

/// A fresh shell (no variables, arrays or batch files) with the plug-in registered, the
/// fixed tree as the current directory and its output captured.
void FreshShellWithPlugin(void);

/// Puts the shell's parsing settings in a combination, through the setdos command's own
/// parser: escape and separator are tried as /E and /C (one that setdos refuses leaves
/// the setting as it was), and bit n of features (1 to 8) switches /X feature n off.
void ChooseFuzzSettings(wchar_t escape, wchar_t separator, unsigned features);

/// Aborts unless the parsing settings are ones setdos could have made: an escape
/// character and a separator that differ and are neither letters, digits, blanks,
/// control characters, "%", '"' nor "`", a separator that is none of "|<>,="; only
/// features 1 to 9 switched off.
void CheckSettingsSound(void);

/// Aborts unless the call left nothing behind: no live shell memory blocks, an empty
/// result list, no nesting of commands in progress.
void CheckNothingLeft(void);

#endif
