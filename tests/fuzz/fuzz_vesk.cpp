// The VESK command and @VESK on the fixed tree, with any argument text.
#include <sys/stat.h>

#include <string>
#include <stdlib.h>
#include <wchar.h>

#include "fuzz_plugin_host.h"
#include "fuzz_support.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "state/plugin_state.h"
#include "text/native_text.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    FreshShellWithPlugin();
    const bool function = data[0] & 1;
    std::wstring text = DecodeFuzzText(data + 1, size - 1, HOST_BUFFER_LEN - 1);
    if (!function) {
        // Exactly as long as the text, so a write past it is caught. The buffers are
        // filled by libc, not by instrumented loops that would slow every input.
        size_t length = text.size() + 1;
        wchar_t *arguments = (wchar_t *)malloc(length * sizeof(wchar_t));
        wmemcpy(arguments, text.c_str(), length);
        LastCount = -7;
        int result = vesk(arguments);
        FUZZ_CHECK(result >= 0 && result <= 2);
        FUZZ_CHECK(arguments[length - 1] == L'\0');
        free(arguments);
        // A completed run records what it found, at most the 4096 rows asked for; help
        // and failures leave the count alone.
        if (result == 1) FUZZ_CHECK(LastCount == -7);
        if (result == 2) FUZZ_CHECK(LastCount >= 0 && LastCount <= 4096);
        if (result == 0) FUZZ_CHECK(LastCount == -7 || (LastCount >= 0 && LastCount <= 4096));
    } else {
        static wchar_t *buffer = (wchar_t *)malloc(HOST_RESULT_LEN * sizeof(wchar_t));
        wmemset(buffer, L'\x7F', HOST_RESULT_LEN);
        wmemcpy(buffer, text.c_str(), text.size() + 1);
        int result = f_vesk(buffer);
        FUZZ_CHECK(result == 0 || result == -1);
        FUZZ_CHECK(wmemchr(buffer, L'\0', HOST_RESULT_LEN) != nullptr);
        // A refused argument leaves the text as given; once the scan has begun the buffer
        // holds the empty text, also when the scan then fails or the name is not returned.
        if (result == -1) FUZZ_CHECK(text == buffer || buffer[0] == L'\0');
        if (result == 0 && buffer[0] != L'\0') {
            // The best file is a full name inside the tree, or the tree's own name.
            std::wstring name = buffer;
            const std::wstring &tree = FuzzTree();
            if (name.compare(0, tree.size(), tree) != 0) fprintf(stderr, "best: %ls\n", name.c_str());
            FUZZ_CHECK(name.compare(0, tree.size(), tree) == 0);
            std::string native(4 * name.size() + 8, '\0');
            native.resize(WideToNative(name.c_str(), &native[0], native.size()));
            struct stat st;
            FUZZ_CHECK(stat(native.c_str(), &st) == 0);
        }
    }
    CheckNothingLeft();
    return 0;
}
