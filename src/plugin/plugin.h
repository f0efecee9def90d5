// Identity, version and help texts of the plug-in, and plug-in-wide state that more
// than one subsystem reads.
#ifndef VESK_PLUGIN_H
#define VESK_PLUGIN_H

#include <stdint.h>
#include <wchar.h>

#define PLUGIN_NAME L"Vesk"
enum { VERSION_MAJOR = 0, VERSION_MINOR = 71, VERSION_BUILD = 2, VERSION_REVISION = 2 };

/// The three help texts, shown by Help and printed by "VESK /?".
extern const wchar_t CommandHelp[];
extern const wchar_t VariableHelp[];
extern const wchar_t FunctionHelp[];

/// 0 suitable host, 1 major version below 10, 2 the TCCLE edition, -1 unreadable or out
/// of range.
int CheckHostVersion(void);

/// Console width measured by the last VESK command that passed validation, else 0.
extern int32_t ScreenWidth;
/// Files found by the last completed VESK command; -1 until one completes.
extern int32_t LastCount;

#endif
