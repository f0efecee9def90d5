// The stand-in shell's command line (Command) on any text: a fresh shell per input,
// with cd, redirection and file reads fenced into the fixed tree (fuzz_confine.cpp).
// An input whose first byte is a control character (1 to 31) takes the three bytes
// after it as a choice of parsing settings: the escape character and the separator, each
// any printable ASCII character (what setdos refuses leaves the default), and the /X
// features 1 to 8 switched off (bits 1-7 and bit 0 for 8). Any other input runs as typed
// under the defaults, so plain seeds stay plain.
#include "fuzz_plugin_host.h"
#include "fuzz_support.h"
#include "plugin/host_api.h"
#include "state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FreshShellWithPlugin();
    if (size >= 4 && data[0] >= 1 && data[0] < 0x20) {
        const unsigned printable = 0x7F - 0x20;
        unsigned features = (data[3] & 0xFEu) | ((data[3] & 1u) << 8);
        ChooseFuzzSettings((wchar_t)(0x20 + data[1] % printable),
                           (wchar_t)(0x20 + data[2] % printable), features);
        data += 4;
        size -= 4;
    }
    CheckSettingsSound();
    std::wstring text = DecodeFuzzText(data, size, HOST_BUFFER_LEN + 64);
    Command(text.c_str(), 0);
    // The line may have run setdos itself: whatever it chose is still sound.
    CheckSettingsSound();
    CheckNothingLeft();
    return 0;
}
