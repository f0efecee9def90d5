// The stand-in shell's command line (Command) on any text: a fresh shell per input,
// with cd, redirection and file reads fenced into the fixed tree (fuzz_confine.cpp).
#include "fuzz_plugin_host.h"
#include "fuzz_support.h"
#include "plugin/host_api.h"
#include "state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FreshShellWithPlugin();
    std::wstring text = DecodeFuzzText(data, size, HOST_BUFFER_LEN + 64);
    Command(text.c_str(), 0);
    CheckNothingLeft();
    return 0;
}
