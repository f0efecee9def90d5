#include "settings.h"

#include "messages.h"
#include "state.h"
#include "text/name_chars.h"

#include <wctype.h>

namespace vsh {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The character as a message shows it: itself, or its code when it cannot be seen.
std::wstring Shown(wchar_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || iswspace((wint_t)c)) {
        const wchar_t *hex = L"0123456789ABCDEF";
        std::wstring code = L"U+";
        for (int shift = 12; shift >= 0; shift -= 4) code.push_back(hex[((unsigned)c >> shift) & 15]);
        return code;
    }
    return std::wstring(1, c);
}

// Why c cannot be the escape character or the separator; null when it can.
const wchar_t *Unfit(wchar_t c)
{
    unsigned u = (unsigned)c;
    if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) return L"a control character";
    if (iswspace((wint_t)c) || u == 0xA0) return L"a blank";
    if (u >= 0xD800 && u <= 0xDFFF) return L"half of a character";
    if (u < 0x80 ? iswalnum((wint_t)c) != 0 : (IsNameCharacter((uint32_t)c) || iswalnum((wint_t)c)))
        return L"a letter or digit";
    if (c == L'%' || c == L'"' || c == L'`') return L"taken by the command language";
    return nullptr;
}

// Why c cannot be the command separator beyond Unfit: the characters the real shell's
// documentation forbids for it.
const wchar_t *UnfitSeparator(wchar_t c)
{
    if (c == L'|' || c == L'<' || c == L'>') return L"a pipe or redirection character";
    if (c == L',' || c == L'=') return L"a character that separates arguments";
    return nullptr;
}

int SetCharacter(const std::wstring &word, const wchar_t *what, wchar_t *mine, wchar_t other,
                 const wchar_t *otherWhat, bool separator, std::wstring *message)
{
    if (word.size() != 3) {
        *message = L"setdos: \"" + word + L"\" needs exactly one character after " +
                   word.substr(0, 2);
        return 1;
    }
    wchar_t c = word[2];
    const wchar_t *why = Unfit(c);
    if (why == nullptr && separator) why = UnfitSeparator(c);
    if (why) {
        *message = L"setdos: \"" + Shown(c) + L"\" cannot be the " + what + L": it is " + why;
        return 1;
    }
    if (c == other) {
        *message = L"setdos: \"" + Shown(c) + L"\" is already the " + otherWhat;
        return 1;
    }
    *mine = c;
    return 0;
}

int SetFeatures(const std::wstring &word, unsigned *off, std::wstring *message)
{
    std::wstring value = word.substr(2);
    if (value == L"0") {
        *off = 0;
        return 0;
    }
    bool valid = value.size() >= 2 && (value[0] == L'-' || value[0] == L'+');
    for (size_t i = 1; valid && i < value.size(); ++i) valid = value[i] >= L'1' && value[i] <= L'9';
    if (!valid) {
        *message = L"setdos: bad \"" + word +
                   L"\": use /X0, or /X- or /X+ and digits from 1 to 9";
        return 1;
    }
    for (size_t i = 1; i < value.size(); ++i) {
        unsigned bit = 1u << (value[i] - L'0');
        if (value[0] == L'-') *off |= bit;
        else *off &= ~bit;
    }
    return 0;
}

}  // namespace

bool FeatureOn(int feature) { return (Shell.FeaturesOff & (1u << feature)) == 0; }

std::wstring FeaturesOffText(void)
{
    std::wstring digits;
    for (int n = 1; n <= 9; ++n)
        if (!FeatureOn(n)) digits.push_back((wchar_t)(L'0' + n));
    return digits;
}

int ParseSetdos(const std::wstring &arguments, ParsingSettings *settings,
                std::wstring *message)
{
    ParsingSettings next = *settings;
    size_t i = 0;
    while (i < arguments.size()) {
        if (IsBlank(arguments[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < arguments.size() && !IsBlank(arguments[end])) ++end;
        std::wstring word = arguments.substr(i, end - i);
        i = end;
        wchar_t option = word.size() >= 2 && word[0] == L'/' ? (wchar_t)(word[1] | 0x20) : 0;
        int result = 0;
        if (option == L'e')
            result = SetCharacter(word, L"escape character", &next.EscapeChar, next.Separator,
                                  L"command separator", false, message);
        else if (option == L'c')
            result = SetCharacter(word, L"command separator", &next.Separator, next.EscapeChar,
                                  L"escape character", true, message);
        else if (option == L'x')
            result = SetFeatures(word, &next.FeaturesOff, message);
        else {
            *message = L"setdos: unknown option \"" + word + L"\" (the shell knows /E, /C and /X)";
            result = 1;
        }
        if (result != 0) return result;
    }
    *settings = next;
    return 0;
}

std::wstring DescribeSettings(const ParsingSettings &settings)
{
    std::wstring off;
    for (int n = 1; n <= 9; ++n)
        if (settings.FeaturesOff & (1u << n)) off.push_back((wchar_t)(L'0' + n));
    return L"ESCAPE=" + Shown(settings.EscapeChar) + L"\r\nSEPARATOR=" + Shown(settings.Separator) +
           L"\r\nEXPANSION=" + (off.empty() ? std::wstring(L"0") : L"-" + off) + L"\r\n";
}

int RunSetdos(const std::wstring &arguments)
{
    ParsingSettings settings = {Shell.EscapeChar, Shell.Separator, Shell.FeaturesOff};
    size_t first = 0;
    while (first < arguments.size() && IsBlank(arguments[first])) ++first;
    if (first == arguments.size()) {
        WriteStream(1, DescribeSettings(settings));
        return 0;
    }
    std::wstring message;
    if (ParseSetdos(arguments, &settings, &message) != 0)
        return ShellError(L"%s\r\n", message.c_str());
    Shell.EscapeChar = settings.EscapeChar;
    Shell.Separator = settings.Separator;
    Shell.FeaturesOff = settings.FeaturesOff;
    return 0;
}

}  // namespace vsh
