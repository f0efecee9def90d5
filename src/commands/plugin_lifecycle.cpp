#include "commands/plugin_lifecycle.h"

#include <stdlib.h>
#include <string.h>

#include "commands/help_texts.h"
#include "platform/listing_calls.h"
#include "platform/platform.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "plugin/plugin.h"
#include "plugin/shared_services.h"
#include "text/wide_format.h"

namespace {

struct {
    PluginInfo Record;
    void *ShellPart[PLUGIN_INFO_SHELL_SLOTS];
} InfoStorage;
PluginInfo &Info = InfoStorage.Record;

/// Replaces buffer (HOST_BUFFER_LEN characters) with the expansion of text. Returns the
/// shell's result: non-zero means the buffer holds nothing usable.
int ExpandInto(wchar_t *buffer, const wchar_t *text)
{
    FormatText(buffer, HOST_BUFFER_LEN, L"%s", text);
    return ExpandVariables(buffer, 1);
}

} // namespace

int CheckHostVersion(void)
{
    // The shell expands in place into a buffer of its own size, whatever the variable
    // holds; a smaller buffer here could be overrun.
    wchar_t buffer[HOST_BUFFER_LEN];
    if (ExpandInto(buffer, L"%_4ver") != 0) return HOST_UNREADABLE;

    wchar_t *end = nullptr;
    long major = wcstol(buffer, &end, 10);
    long minor = -1;
    if (end != nullptr && end[0] != L'\0' && end[1] != L'\0') minor = wcstol(end + 1, nullptr, 10);

    if (ExpandInto(buffer, L"%_build") != 0) return HOST_UNREADABLE;
    long build = wcstol(buffer, nullptr, 10);

    if (major < 7 || major > 99 || minor < 0 || minor > 99 || build < 0 || build > 9999)
        return HOST_UNREADABLE;
    if (major < 10) return HOST_TOO_OLD;

    if (ExpandInto(buffer, L"%_cmdproc") != 0) return HOST_UNREADABLE;
    return _wcsicmp(buffer, L"TCCLE") == 0 ? HOST_LE_EDITION : HOST_SUITABLE;
}

extern "C" {

PLUGIN_EXPORT PluginInfo *HOST_CALL GetPluginInfo(void)
{
    Info.Name = PLUGIN_NAME;
    Info.Author = L"Vesk developers";
    Info.Email = L"vesk@example.org";
    Info.WebPage = L"https://example.org/vesk";
    Info.Description = L"File sorting plugin for TCC";
    Info.Implements = L"vesk,_vesk,@vesk";
    Info.Major = VERSION_MAJOR;
    Info.Minor = VERSION_MINOR;
    Info.Build = VERSION_BUILD;
    return &Info;
}

PLUGIN_EXPORT int HOST_CALL InitializePlugin(void)
{
    if (CheckHostVersion() != HOST_SUITABLE) {
        PrintErrorPrefix();
        Qprintf(StdErrHandle(), L"TCC v10.00 or higher required!\r\n");
        return START_REFUSED;
    }
    ChooseListingCalls();
    wchar_t buffer[HOST_BUFFER_LEN];
    // Transient shells, pipes and anyone who set noloadmsg (to anything) want quiet.
    if (ExpandInto(buffer, L"%[_transient]%[_pipe]%[noloadmsg]") == 0 &&
        wcscmp(buffer, L"00") == 0)
        Printf(L"%s v%d.%d.%d loaded.\r\n", PLUGIN_NAME, (int)VERSION_MAJOR, (int)VERSION_MINOR,
               (int)VERSION_BUILD);
    return START_ACCEPTED;
}

PLUGIN_EXPORT int HOST_CALL ShutdownPlugin(int endProcess)
{
    // Every command and function call releases its results before it returns: there
    // is nothing left to free.
    (void)endProcess;
    return SHUTDOWN_DONE;
}

PLUGIN_EXPORT int HOST_CALL Help(wchar_t *name)
{
    if (name == nullptr) return NAME_NOT_OURS;
    const wchar_t *text = nullptr;
    if (_wcsicmp(name, L"vesk") == 0)
        text = CommandHelp;
    else if (_wcsicmp(name, L"_vesk") == 0)
        text = VariableHelp;
    else if (_wcsicmp(name, L"@vesk") == 0)
        text = FunctionHelp;
    else
        return NAME_NOT_OURS;
    MessageBoxW(GetForegroundWindow(), text, L"Vesk Plugin Help", 0);
    return NAME_HANDLED;
}

PLUGIN_EXPORT int HOST_CALL Usage(wchar_t *name, wchar_t *buffer)
{
    if (name == nullptr || buffer == nullptr || _wcsicmp(name, L"vesk") != 0)
        return NAME_NOT_OURS;
    // The shell prints the command's name itself: skip the title and blank lines.
    const wchar_t *syntax = wcschr(CommandHelp, L'\n');
    while (*syntax == L'\n') ++syntax;
    FormatText(buffer, HOST_USAGE_LEN, L"%s", syntax);
    return NAME_HANDLED;
}

} // extern "C"

#if defined(_WIN32)
// The library's entry point. It must stay empty: it runs under the loader lock, and
// the plug-in keeps no state that needs setting up before InitializePlugin.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
#endif
