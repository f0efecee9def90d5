#include "host_test_util.h"

#include <string>

#include "platform/platform.h"
#include "plugins.h"
#include "text/native_text.h"

namespace {

using HostCommandTest = ShellTest;

// ---- a plug-in linked into the test ---------------------------------------------------

int TestInitResult = 0;
int ShutdownCalls = 0;
std::wstring LastArguments;

PluginInfo TestInfo = {L"Probe", L"", L"", L"", L"", L"probe,_probe,@probe,@missing", 1, 0, 0};

PluginInfo *HOST_CALL ProbeInfo(void) { return &TestInfo; }
int HOST_CALL ProbeInit(void) { return TestInitResult; }
int HOST_CALL ProbeShutdown(int) { return ++ShutdownCalls, 0; }
int HOST_CALL ProbeHelp(wchar_t *name)
{
    if (_wcsicmp(name, L"probe") != 0) return 0;
    Printf(L"helped\n");
    return 1;
}
int HOST_CALL ProbeUsage(wchar_t *name, wchar_t *buffer)
{
    if (_wcsicmp(name, L"probe") != 0) return 0;
    wcscpy(buffer, L"PROBE [x]\n");
    return 1;
}

// The command runs a nested line through the shell, as the real plug-in publishes its
// array, and reports the nested result.
int HOST_CALL ProbeCommand(wchar_t *arguments)
{
    LastArguments = arguments;
    return Command(L"*set INNER=%_batch", 0) + 40;
}
int HOST_CALL ProbeVariable(wchar_t *buffer)
{
    wcscpy(buffer, L"var");
    return 0;
}
// Fails for "bad"; otherwise returns the argument reversed, filling the whole buffer
// for "fill" without a terminator.
int HOST_CALL ProbeFunction(wchar_t *buffer)
{
    std::wstring text = buffer;
    if (text == L"bad") return 1;
    if (text == L"fill") {
        for (int i = 0; i < HOST_RESULT_LEN; ++i) buffer[i] = L'f';
        return 0;
    }
    std::wstring reversed(text.rbegin(), text.rend());
    wcscpy(buffer, reversed.c_str());
    return 0;
}

void *FindProbeExport(void *, const char *name)
{
    std::string n = name;
    if (n == "probe") return (void *)ProbeCommand;
    if (n == "_probe") return (void *)ProbeVariable;
    if (n == "f_probe") return (void *)ProbeFunction;
    return nullptr;
}

vsh::PluginExports ProbeExports()
{
    vsh::PluginExports e;
    e.GetPluginInfo = ProbeInfo;
    e.InitializePlugin = ProbeInit;
    e.ShutdownPlugin = ProbeShutdown;
    e.Help = ProbeHelp;
    e.Usage = ProbeUsage;
    e.FindExport = FindProbeExport;
    return e;
}

TEST_F(HostCommandTest, PluginNamesAreRegisteredAndCalled)
{
    TestInitResult = 0;
    ASSERT_EQ(0, vsh::RegisterPlugin(L"probe.so", nullptr, ProbeExports()));
    EXPECT_EQ(L"vshell: plug-in probe.so does not export \"f_missing\" for \"@missing\"\r\n", err);
    err.clear();

    EXPECT_EQ(40, Command(L"PROBE  a ^& \"b & c\"  ", 0));
    EXPECT_EQ(L"a & \"b & c\"", LastArguments);
    EXPECT_EQ(L"0", Expand(L"%INNER"));
    EXPECT_EQ(L"var|cba|", Expand(L"%_probe|%@probe[abc]|%@Probe[]"));
    EXPECT_EQ(L"<failed>", Expand(L"%@probe[bad]"));
    // A result that fills the buffer is cut to what the buffer holds; here that is too
    // long for the line.
    EXPECT_EQ(L"<failed>", Expand(L"%@probe[fill]"));

    EXPECT_NE(0, Command(L"echo %@probe[bad]", 0));
    EXPECT_EQ(L"vshell: function \"@probe\" failed\r\n", err);

    EXPECT_EQ(0, Command(L"help probe", 0));
    EXPECT_EQ(0, Command(L"usage PROBE", 0));
    EXPECT_EQ(L"helped\nPROBE [x]\n", out.substr(out.size() - 17));
    EXPECT_NE(0, Command(L"usage other", 0));

    ShutdownCalls = 0;
    vsh::ShutdownPlugins(true);
    EXPECT_EQ(1, ShutdownCalls);
    EXPECT_NE(0, Command(L"probe", 0));
}

TEST_F(HostCommandTest, RefusedPluginIsForgotten)
{
    TestInitResult = -1;
    EXPECT_EQ(1, vsh::RegisterPlugin(L"probe.so", nullptr, ProbeExports()));
    EXPECT_NE(std::wstring::npos,
              err.find(L"vshell: plug-in probe.so failed to initialise and was unloaded\r\n"));
    EXPECT_TRUE(vsh::Shell.Plugins.empty());
    TestInitResult = 0;
}

}  // namespace
