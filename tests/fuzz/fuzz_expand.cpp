// The stand-in shell's ExpandVariables on any text, with variables, an array and the
// plug-in's names there to be expanded.
#include <vector>

#include "command_line.h"
#include "fuzz_plugin_host.h"
#include "fuzz_support.h"
#include "plugin/host_api.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    FreshShellWithPlugin();
    vsh::RunLine(L"set a=1 & set b=two words & setarray arr[2,3] & set arr[1,2]=x y");
    std::wstring text = DecodeFuzzText(data + 1, size - 1, HOST_BUFFER_LEN - 1);
    // Exactly the buffer the shell promises, so a write past it is caught.
    std::vector<wchar_t> buffer(HOST_BUFFER_LEN, L'\x7F');
    wmemcpy(buffer.data(), text.c_str(), text.size() + 1);
    int result = ExpandVariables(buffer.data(), data[0] & 1);
    FUZZ_CHECK(wmemchr(buffer.data(), L'\0', HOST_BUFFER_LEN) != nullptr);
    if (result != 0) FUZZ_CHECK(text == buffer.data());  // untouched on failure
    CheckNothingLeft();
    return 0;
}
