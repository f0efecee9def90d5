// The stand-in shell's ExpandVariables on any text, with variables, an array and the
// plug-in's names there to be expanded.
#include <stdlib.h>
#include <wchar.h>

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
    // Exactly the buffer the shell promises, so a write past it is caught (filled by
    // libc, not by an instrumented loop that would slow every input).
    static wchar_t *buffer = (wchar_t *)malloc(HOST_BUFFER_LEN * sizeof(wchar_t));
    wmemset(buffer, L'\x7F', HOST_BUFFER_LEN);
    wmemcpy(buffer, text.c_str(), text.size() + 1);
    int result = ExpandVariables(buffer, data[0] & 1);
    FUZZ_CHECK(wmemchr(buffer, L'\0', HOST_BUFFER_LEN) != nullptr);
    if (result != 0) FUZZ_CHECK(text == buffer);  // untouched on failure
    CheckNothingLeft();
    return 0;
}
