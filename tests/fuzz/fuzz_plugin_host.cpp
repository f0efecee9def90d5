#include "fuzz_plugin_host.h"

#include <string.h>
#include <wctype.h>

#include "fuzz_support.h"
#include "memory.h"
#include "plugin/exports.h"
#include "plugins.h"
#include "settings.h"
#include "state.h"
#include "text/name_chars.h"
#include "variables.h"


namespace {

void *FindLinkedExport(void *, const char *name)
{
    if (!strcmp(name, "vesk")) return (void *)vesk;
    if (!strcmp(name, "_vesk")) return (void *)_vesk;
    if (!strcmp(name, "f_vesk")) return (void *)f_vesk;
    return nullptr;
}

}  // namespace

void FreshShellWithPlugin(void)
{
    RestoreFuzzTree();
    SilenceShell();
    vsh::ResetShell(false);
    vsh::PluginExports exports;
    exports.GetPluginInfo = GetPluginInfo;
    exports.InitializePlugin = InitializePlugin;
    exports.ShutdownPlugin = ShutdownPlugin;
    exports.Help = Help;
    exports.Usage = Usage;
    exports.FindExport = FindLinkedExport;
    FUZZ_CHECK(vsh::RegisterPlugin(L"vesk", nullptr, exports) == 0);
}

void CheckNothingLeft(void)
{
    FUZZ_CHECK(LiveMemoryBlocks() == 0);
    FUZZ_CHECK(vsh::Shell.CommandDepth == 0);
}

void ChooseFuzzSettings(wchar_t escape, wchar_t separator, unsigned features)
{
    std::wstring e = L"/e", c = L"/c", x = L"/x-";
    e.push_back(escape);
    c.push_back(separator);
    for (int n = 1; n <= 8; ++n)
        if (features & (1u << n)) x.push_back((wchar_t)(L'0' + n));
    // Each on its own, so that a refused one leaves the others in force.
    vsh::RunSetdos(e);
    vsh::RunSetdos(c);
    if (x.size() > 3) vsh::RunSetdos(x);
}

void CheckSettingsSound(void)
{
    wchar_t chars[2] = {vsh::Shell.EscapeChar, vsh::Shell.Separator};
    FUZZ_CHECK(chars[0] != chars[1]);
    for (wchar_t c : chars) {
        FUZZ_CHECK(c > 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0xA0));
        // "$" and "_" belong to names but are ASCII punctuation, which setdos takes.
        FUZZ_CHECK(!iswalnum((wint_t)c) && (c < 0x80 || !IsNameCharacter((uint32_t)c)) &&
                   !iswspace((wint_t)c));
        FUZZ_CHECK(c != L'%' && c != L'"' && c != L'`');
    }
    FUZZ_CHECK(wcschr(L"|<>,=", chars[1]) == nullptr);
    FUZZ_CHECK((vsh::Shell.FeaturesOff & ~0x3FEu) == 0);
}
