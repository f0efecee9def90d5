// Identity, version and help texts of the plug-in, and plug-in-wide state that more
// than one subsystem reads.
#ifndef VESK_PLUGIN_H
#define VESK_PLUGIN_H

#include <stdint.h>
#include <wchar.h>

#include "plugin/host_api.h"
#include "vesk_version.h"

/// Marks a function the shell looks up in the library. Windows builds export through
/// the .def file (undecorated names); Linux builds through the version script.
#if defined(_WIN32)
#  define PLUGIN_EXPORT
#else
#  define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#define PLUGIN_NAME L"Vesk"
enum {
    VERSION_MAJOR = VESK_VERSION_MAJOR,
    VERSION_MINOR = VESK_VERSION_MINOR,
    VERSION_BUILD = VESK_VERSION_BUILD,
    VERSION_REVISION = VESK_VERSION_REVISION
};

/// The three help texts, shown by Help and printed by "VESK /?".
extern const wchar_t CommandHelp[];
extern const wchar_t VariableHelp[];
extern const wchar_t FunctionHelp[];

/// 0 suitable host, 1 major version below 10, 2 the TCCLE edition, -1 unreadable or out
/// of range.
int CheckHostVersion(void);

extern "C" {
/// The identity record, filled on every call; the library owns it.
PLUGIN_EXPORT PluginInfo *HOST_CALL GetPluginInfo(void);
/// 0 when the host is suitable (the load message may be printed), else -1 after a message.
PLUGIN_EXPORT int HOST_CALL InitializePlugin(void);
/// Releases the result list. Returns 0.
PLUGIN_EXPORT int HOST_CALL ShutdownPlugin(int endProcess);
/// Shows the help of one of the plug-in's names in a message box: 1, else 0.
PLUGIN_EXPORT int HOST_CALL Help(wchar_t *name);
/// Copies the command's syntax and options into buffer (HOST_USAGE_LEN characters): 1
/// for the command's name, else 0 with buffer untouched.
PLUGIN_EXPORT int HOST_CALL Usage(wchar_t *name, wchar_t *buffer);
}

/// Console width measured by the last VESK command that passed validation, else 0.
extern int32_t ScreenWidth;
/// Files found by the last completed VESK command; -1 until one completes.
extern int32_t LastCount;

#endif
