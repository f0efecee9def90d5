// TokenizeArgs in the two modes the plug-in uses, on any text up to past the size of
// ArgText.
#include <wctype.h>

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "plugin/tokenizer.h"

namespace {

/// The arguments as the rules of the tokenizer give them, written plainly over strings;
/// Characters counts the slots they need (each argument and its terminator), so the
/// comparison can stay clear of the overflow limit, where the rules leave the exact
/// slot count open.
struct ModelArgs {
    std::vector<std::wstring> Args;  // one per index, empty for an empty argument
    size_t Characters = 0;
};

ModelArgs Model(const std::wstring &text, int mode)
{
    ModelArgs m;
    std::wstring current;
    bool quoted = false;
    auto end = [&] {
        m.Args.push_back(current);
        m.Characters += current.size() + 1;
        current.clear();
    };
    for (size_t i = 0; i <= text.size(); ++i) {
        wchar_t c = i < text.size() ? text[i] : L'\0';
        bool blank = c != L'\0' && iswspace((wint_t)c);
        if (c == L'"') quoted = !quoted;
        else if (blank && current.empty()) continue;
        else if (c == L',' && !quoted && (mode & SplitOnCommas)) end();
        else if (c == L'/' && !quoted && (mode & SplitSwitches) && current.size() >= 2 &&
                 current[0] == L'/') {
            end();
            current.push_back(c);
        } else if (c == L'\0') {
            if (!current.empty()) end();
        } else if (blank && !quoted && (mode & SplitOnBlanks)) end();
        else current.push_back(c);
    }
    for (std::wstring &arg : m.Args)
        while (!arg.empty() && iswspace((wint_t)arg.back())) arg.pop_back();
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    SilenceShell();
    const int mode = (data[0] & 1) ? (SplitOnBlanks | SplitSwitches) : SplitOnCommas;
    std::wstring text = DecodeFuzzText(data + 1, size - 1, 3 * MAX_ARG_LEN);

    int count = TokenizeArgs(text.c_str(), mode);
    FUZZ_CHECK(count >= -1 && count <= MAX_ARGS);
    FUZZ_CHECK(HostArgs.ArgCount >= 0 && HostArgs.ArgCount <= MAX_ARGS);
    // Characters counts untrimmed arguments, even those past MAX_ARGS: never fewer slots
    // than the tokenizer uses.
    ModelArgs model = Model(text, mode);
    const bool roomy = model.Characters < MAX_ARG_LEN - 64;
    if (count == -1) {
        FUZZ_CHECK(!roomy);
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
    // Away from the overflow limit, the arguments are exactly those of the rules; past
    // MAX_ARGS the rest are dropped.
    if (roomy) {
        size_t want = model.Args.size() < (size_t)MAX_ARGS ? model.Args.size() : MAX_ARGS;
        FUZZ_CHECK((size_t)count == want);
        for (int i = 0; i < count; ++i) {
            const std::wstring &arg = model.Args[i];
            FUZZ_CHECK((size_t)HostArgs.ArgLengths[i] == arg.size());
            FUZZ_CHECK(arg.empty() ? HostArgs.Args[i] == nullptr
                                   : arg.compare(0, arg.size(), HostArgs.Args[i], arg.size()) == 0);
        }
    }
    for (int i = count; i < MAX_ARGS; ++i)
        FUZZ_CHECK(HostArgs.Args[i] == nullptr && HostArgs.ArgLengths[i] == 0);
    return 0;
}
