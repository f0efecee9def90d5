// Loading plug-ins, the names they implement, and calls into them.
#ifndef VSHELL_PLUGINS_H
#define VSHELL_PLUGINS_H

#include "state.h"

#include <string>

namespace vsh {

/// The exports of a plug-in, resolved by the loader (or given directly by a program
/// that links a plug-in in).
struct PluginExports {
    GetPluginInfoFn GetPluginInfo;
    InitializePluginFn InitializePlugin;
    ShutdownPluginFn ShutdownPlugin;
    HelpFn Help;
    UsageFn Usage;
    void *(*FindExport)(void *library, const char *name);  // for the implemented names
};

/// Loads the library at path and registers it; shown is the name used in messages.
/// Returns 0, or 1 after a message on standard error (not loadable, not a plug-in, or
/// it refused to start and was unloaded).
int LoadPlugin(const std::wstring &path, const std::wstring &shown);

/// Registers a plug-in from its exports: reads its identity, registers its names, then
/// initialises it. library may be null. Returns 0, or 1 after a message when the
/// plug-in refused to start (it is then forgotten, and its library, if any, freed).
int RegisterPlugin(const std::wstring &shown, void *library, const PluginExports &exports);

/// Calls every plug-in's ShutdownPlugin(0) and forgets them; unloads the libraries when
/// unload is true. At the end of the process they stay mapped: what a plug-in keeps for
/// its whole life (cached locale data, say) then still counts as reachable, and leak
/// reports can still name its code.
void ShutdownPlugins(bool unload);

/// The plug-in name of that kind ("vesk" for a command; "_vesk" for a variable; "@vesk"
/// for a function), ignoring case; null when none.
const PluginName *FindPluginName(const std::wstring &name, NameKind kind);

/// Calls a plug-in variable or function with the argument text in a buffer of
/// HOST_RESULT_LEN characters. Returns the plug-in's result (0 success; 1 when the
/// arguments do not fit); result holds the text it left.
int CallPluginFunction(const PluginName &entry, const std::wstring &arguments,
                       std::wstring *result);

/// Calls a plug-in command with its argument text; returns the plug-in's result.
int CallPluginCommand(const PluginName &entry, const std::wstring &arguments);

}  // namespace vsh

#endif
