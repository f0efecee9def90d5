// TokenizeArgs in the two modes the plug-in uses, on any text up to past the size of
// ArgText.
#include <wctype.h>

#include "fuzz_support.h"
#include "plugin/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    SilenceShell();
    const int mode = (data[0] & 1) ? (SplitOnBlanks | SplitSwitches) : SplitOnCommas;
    std::wstring text = DecodeFuzzText(data + 1, size - 1, 3 * MAX_ARG_LEN);

    int count = TokenizeArgs(text.c_str(), mode);
    FUZZ_CHECK(count >= -1 && count <= MAX_ARGS);
    FUZZ_CHECK(HostArgs.ArgCount >= 0 && HostArgs.ArgCount <= MAX_ARGS);
    if (count == -1) {
        FUZZ_CHECK(HostArgs.ArgCount == 0);
        return 0;
    }
    FUZZ_CHECK(count == HostArgs.ArgCount);
    const wchar_t *begin = HostArgs.ArgText;
    const wchar_t *end = HostArgs.ArgText + MAX_ARG_LEN;
    const wchar_t *previousEnd = begin;
    for (int i = 0; i < count; ++i) {
        int length = HostArgs.ArgLengths[i];
        const wchar_t *arg = HostArgs.Args[i];
        FUZZ_CHECK(length >= 0 && length < MAX_ARG_LEN);
        if (length == 0) continue;
        FUZZ_CHECK(arg != nullptr);
        // Each argument lies inside ArgText, after the one before it, terminator included.
        FUZZ_CHECK(arg >= previousEnd && arg + length < end);
        FUZZ_CHECK(arg[length] == L'\0');
        previousEnd = arg + length + 1;
        FUZZ_CHECK(!iswspace(arg[0]) && !iswspace(arg[length - 1]));
        for (int k = 0; k < length; ++k) FUZZ_CHECK(arg[k] != L'\0' && arg[k] != L'"');
    }
    for (int i = count; i < MAX_ARGS; ++i)
        FUZZ_CHECK(HostArgs.Args[i] == nullptr && HostArgs.ArgLengths[i] == 0);
    return 0;
}
