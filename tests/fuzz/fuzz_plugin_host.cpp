#include "fuzz_plugin_host.h"

#include <string.h>

#include "commands/vesk_function.h"
#include "fuzz_support.h"
#include "memory.h"
#include "plugins.h"
#include "search/result_list.h"
#include "state.h"

extern "C" int HOST_CALL vesk(wchar_t *arguments);

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
    FUZZ_CHECK(ResultList.Head == nullptr && ResultList.Tail == nullptr);
    FUZZ_CHECK(vsh::Shell.CommandDepth == 0);
}
