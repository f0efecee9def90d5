// The stand-in shell's ExpandVariables on any text, with variables, an array and the
// plug-in's names there to be expanded, under parsing settings that byte 0 chooses
// (bits 1-2 the escape character, bits 3-7 switch off /X features 3, 4, 6, 7, 8).
#include <stdlib.h>
#include <wchar.h>

#include "command_line.h"
#include "fuzz_plugin_host.h"
#include "fuzz_support.h"
#include "plugin/host_api.h"
#include "state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    FreshShellWithPlugin();
    vsh::RunLine(L"set a=1 & set b=two words & setarray arr[2,3] & set arr[1,2]=x y");
    vsh::RunLine(L"set n=%%a%% & set self=%%self%% & set arr[0,0]=%%arr[1,2]%%");
    unsigned off = data[0] >> 3;
    // Features 3, 4, then 6, 7, 8: the separator (5) plays no part in the service.
    ChooseFuzzSettings(L"^~!#"[(data[0] >> 1) & 3], L'&', ((off & 3) << 3) | ((off & 0x1C) << 4));
    std::wstring text = DecodeFuzzText(data + 1, size - 1, HOST_BUFFER_LEN - 1);
    // Exactly the buffer the shell promises, so a write past it is caught (filled by
    // libc, not by an instrumented loop that would slow every input).
    static wchar_t *buffer = (wchar_t *)malloc(HOST_BUFFER_LEN * sizeof(wchar_t));
    wmemset(buffer, L'\x7F', HOST_BUFFER_LEN);
    wmemcpy(buffer, text.c_str(), text.size() + 1);
    int result = ExpandVariables(buffer, data[0] & 1);
    FUZZ_CHECK(wmemchr(buffer, L'\0', HOST_BUFFER_LEN) != nullptr);
    if (result != 0) FUZZ_CHECK(text == buffer);  // untouched on failure
    // A text without "%" or the escape character comes back as it went in.
    if (text.find(L'%') == std::wstring::npos && text.find(vsh::Shell.EscapeChar) == std::wstring::npos)
        FUZZ_CHECK(result == 0 && text == buffer);
    CheckNothingLeft();
    return 0;
}
