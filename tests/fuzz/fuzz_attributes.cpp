// ParseAttributes against a model of the grammar, from any preset words.
#include <string.h>

#include "fuzz_support.h"
#include "search/attributes.h"

namespace {

const wchar_t Letters[] = L"RHSDACOIE";
const uint32_t Bits[] = {0x1, 0x2, 0x4, 0x10, 0x20, 0x800, 0x1000, 0x2000, 0x4000};
const uint32_t AllBits = 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x800 | 0x1000 | 0x2000 | 0x4000;

int Model(const std::wstring &text, uint32_t *mask, uint32_t *values)
{
    if (text.empty()) {
        *mask = *values = 0;
        return 0;
    }
    bool plus = true;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'a' && c <= L'z') c = (wchar_t)(c - 32);
        if (c == L'+' || c == L'-') {
            plus = c == L'+';
            if (i + 1 == text.size()) return 1;
            continue;
        }
        const wchar_t *hit = c ? wcschr(Letters, c) : nullptr;
        if (!hit) return 1;
        uint32_t bit = Bits[hit - Letters];
        *mask |= bit;
        if (plus) *values |= bit;
        else *values &= ~bit;
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8) return 0;
    uint32_t mask, values;
    memcpy(&mask, data, 4);
    memcpy(&values, data + 4, 4);
    std::wstring text = DecodeFuzzText(data + 8, size - 8, 4096);

    uint32_t gotMask = mask, gotValues = values;
    int result = ParseAttributes(text.c_str(), &gotMask, &gotValues);
    uint32_t wantMask = mask, wantValues = values;
    int want = Model(text, &wantMask, &wantValues);
    FUZZ_CHECK(result == want);
    if (!text.empty()) {
        // Bits outside the nine letters are never touched, even on a fault.
        FUZZ_CHECK((gotMask & ~AllBits) == (mask & ~AllBits));
        FUZZ_CHECK((gotValues & ~AllBits) == (values & ~AllBits));
    }
    if (result == 0) FUZZ_CHECK(gotMask == wantMask && gotValues == wantValues);
    FUZZ_CHECK(ParseAttributes(nullptr, &gotMask, &gotValues) == -1);
    return 0;
}
