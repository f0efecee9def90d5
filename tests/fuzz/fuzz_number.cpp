// ParseNumber against a model: plain decimal digits or "0x" and hexadecimal digits,
// no more than 32 bits.
#include "fuzz_support.h"
#include "plugin/shared_services.h"

namespace {

int Digit(wchar_t c, int base)
{
    int v = -1;
    if (c >= L'0' && c <= L'9') v = c - L'0';
    else if (c >= L'a' && c <= L'f') v = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') v = c - L'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

int Model(const std::wstring &text, uint32_t *result)
{
    size_t start = 0;
    int base = 10;
    if (text.size() >= 3 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') &&
        Digit(text[2], 16) >= 0) {
        base = 16;
        start = 2;
    }
    if (start == text.size()) return -1;
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        int d = Digit(text[i], base);
        if (d < 0) return -1;
        value = value * (uint64_t)base + (uint64_t)d;
        if (value > 0xFFFFFFFFull) return -1;
    }
    *result = (uint32_t)value;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::wstring text = DecodeFuzzText(data, size, 4096);
    uint32_t got = 0xDEADBEEF, want = 0xDEADBEEF;
    int result = ParseNumber(text.c_str(), &got);
    FUZZ_CHECK(result == Model(text, &want));
    FUZZ_CHECK(got == want);  // untouched on -1
    return 0;
}
