#include "plugins.h"

#include "memory.h"
#include "messages.h"
#include "os.h"
#include "plugin/exports.h"

#include <string.h>
#include <wctype.h>

namespace vsh {

namespace {

// Export names are plain ASCII; anything else cannot name an export.
bool ToExportName(const std::wstring &wide, std::string *narrow)
{
    narrow->clear();
    for (wchar_t c : wide) {
        if (c <= 0x20 || c >= 0x7F) return false;
        narrow->push_back((char)c);
    }
    return !narrow->empty();
}

void *FindLoadedExport(void *library, const char *name) { return OsFindExport(library, name); }

}  // namespace

int RegisterPlugin(const std::wstring &shown, void *library, const PluginExports &exports)
{
    Plugin plugin;
    plugin.File = shown;
    plugin.Library = library;
    plugin.Info = exports.GetPluginInfo ? exports.GetPluginInfo() : nullptr;
    plugin.Help = exports.Help;
    plugin.Usage = exports.Usage;
    plugin.Shutdown = exports.ShutdownPlugin;
    if (!plugin.Info) {
        ShellError(L"plug-in %s gave no identity; not loaded\r\n", shown.c_str());
        if (library) OsFreeLibrary(library);
        return 1;
    }

    std::wstring implements = plugin.Info->Implements ? plugin.Info->Implements : L"";
    size_t start = 0;
    while (start <= implements.size()) {
        size_t comma = implements.find(L',', start);
        if (comma == std::wstring::npos) comma = implements.size();
        std::wstring name = TrimBlanks(implements.substr(start, comma - start));
        start = comma + 1;
        if (name.empty()) continue;
        PluginName entry;
        entry.Name = name;
        std::wstring exportName;
        if (name[0] == L'_') {
            entry.Kind = NAME_VARIABLE;
            exportName = name;
        } else if (name[0] == L'@') {
            entry.Kind = NAME_FUNCTION;
            exportName = L"f_" + name.substr(1);
        } else {
            entry.Kind = NAME_COMMAND;
            exportName = name;
        }
        std::string narrow;
        entry.Entry = ToExportName(exportName, &narrow) && exports.FindExport
                          ? exports.FindExport(library, narrow.c_str())
                          : nullptr;
        if (!entry.Entry) {
            ShellError(L"plug-in %s does not export \"%s\" for \"%s\"\r\n", shown.c_str(),
                       exportName.c_str(), name.c_str());
            continue;
        }
        plugin.Names.push_back(entry);
    }

    Shell.Plugins.push_back(plugin);
    if (exports.InitializePlugin && exports.InitializePlugin() == -1) {
        Shell.Plugins.pop_back();
        ShellError(L"plug-in %s failed to initialise and was unloaded\r\n", shown.c_str());
        if (library) OsFreeLibrary(library);
        return 1;
    }
    return 0;
}

int LoadPlugin(const std::wstring &path, const std::wstring &shown)
{
    std::wstring why;
    void *library = OsLoadLibrary(path.c_str(), &why);
    if (!library) {
        ShellError(L"cannot load plug-in %s: %s\r\n", shown.c_str(), why.c_str());
        return 1;
    }
    PluginExports exports;
    exports.GetPluginInfo = (GetPluginInfoFn)OsFindExport(library, "GetPluginInfo");
    exports.InitializePlugin = (InitializePluginFn)OsFindExport(library, "InitializePlugin");
    exports.ShutdownPlugin = (ShutdownPluginFn)OsFindExport(library, "ShutdownPlugin");
    exports.Help = (HelpFn)OsFindExport(library, "Help");
    exports.Usage = (UsageFn)OsFindExport(library, "Usage");
    exports.FindExport = FindLoadedExport;
    if (!exports.GetPluginInfo) {
        ShellError(L"%s is not a plug-in (no GetPluginInfo)\r\n", shown.c_str());
        OsFreeLibrary(library);
        return 1;
    }
    return RegisterPlugin(shown, library, exports);
}

void ShutdownPlugins(bool unload)
{
    // Last loaded, first shut down; a plug-in may still call services meanwhile, so
    // each one is forgotten only after its own shutdown.
    while (!Shell.Plugins.empty()) {
        Plugin plugin = Shell.Plugins.back();
        if (plugin.Shutdown) plugin.Shutdown(0);
        Shell.Plugins.pop_back();
        if (unload && plugin.Library) OsFreeLibrary(plugin.Library);
    }
}

const PluginName *FindPluginName(const std::wstring &name, NameKind kind)
{
    for (const Plugin &plugin : Shell.Plugins)
        for (const PluginName &entry : plugin.Names)
            if (entry.Kind == kind && NameKey(entry.Name) == NameKey(name)) return &entry;
    return nullptr;
}

int CallPluginFunction(const PluginName &entry, const std::wstring &arguments,
                       std::wstring *result)
{
    result->clear();
    if (arguments.size() >= HOST_RESULT_LEN) return 1;
    std::unique_ptr<wchar_t[]> buffer = ZeroedText(HOST_RESULT_LEN);
    memcpy(buffer.get(), arguments.c_str(), (arguments.size() + 1) * sizeof(wchar_t));
    int code = ((VariableFn)entry.Entry)(buffer.get());
    // The plug-in owns the buffer during the call; never trust it to be terminated.
    buffer[HOST_RESULT_LEN - 1] = L'\0';
    *result = buffer.get();
    return code;
}

int CallPluginCommand(const PluginName &entry, const std::wstring &arguments)
{
    // The plug-in may work on its argument text in place: give it a copy with room.
    size_t room = arguments.size() + 1 > (size_t)HOST_BUFFER_LEN ? arguments.size() + 1
                                                                  : (size_t)HOST_BUFFER_LEN;
    std::unique_ptr<wchar_t[]> buffer = ZeroedText(room);
    memcpy(buffer.get(), arguments.c_str(), (arguments.size() + 1) * sizeof(wchar_t));
    return ((CommandFn)entry.Entry)(buffer.get());
}

}  // namespace vsh
