// The stand-in shell's command line (Command) on any text: a fresh shell per input,
// with cd, redirection and file reads fenced into the fixed tree (fuzz_confine.cpp).
// An input whose first byte is a control character (1 to 31) takes it and the byte
// after it as a choice of parsing settings: first byte - 1 the separator (bits 0-3),
// second byte the escape character (bits 6-7) and the /X features 3 to 8 switched off
// (bits 0-5). Any other input runs as typed under the defaults, so plain seeds stay
// plain.
#include "fuzz_plugin_host.h"
#include "fuzz_support.h"
#include "plugin/host_api.h"
#include "state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FreshShellWithPlugin();
    if (size >= 2 && data[0] >= 1 && data[0] < 0x20) {
        ChooseFuzzSettings(data[1] >> 6, data[0] - 1u, data[1] & 0x3F);
        data += 2;
        size -= 2;
    }
    CheckSettingsSound();
    std::wstring text = DecodeFuzzText(data, size, HOST_BUFFER_LEN + 64);
    Command(text.c_str(), 0);
    // The line may have run setdos itself: whatever it chose is still sound.
    CheckSettingsSound();
    CheckNothingLeft();
    return 0;
}
