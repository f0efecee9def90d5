#include "functions.h"

#include "memory.h"
#include "os.h"
#include "plugins.h"
#include "state.h"
#include "variables.h"
#include "text/case_fold.h"
#include "text/path_separator.h"
#include "plugin/host_api.h"

#include <algorithm>
#include <unordered_map>
#include <wctype.h>

namespace vsh {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring Unquote(const std::wstring &text)
{
    size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a])) ++a;
    while (b > a && IsBlank(text[b - 1])) --b;
    if (b - a >= 2 && text[a] == L'"' && text[b - 1] == L'"') ++a, --b;
    return text.substr(a, b - a);
}

// "first,second" at the first comma outside double quotes; each part unquoted.
void SplitAtComma(const std::wstring &text, std::wstring *first, std::wstring *second)
{
    bool quoted = false;
    size_t comma = text.size();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'"') quoted = !quoted;
        if (text[i] == L',' && !quoted) {
            comma = i;
            break;
        }
    }
    *first = Unquote(text.substr(0, comma));
    *second = comma < text.size() ? Unquote(text.substr(comma + 1)) : std::wstring();
}

}  // namespace

std::wstring GroupDigits(const std::wstring &text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) ++i;
    size_t digitsStart = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    size_t digitsEnd = i;
    if (digitsEnd == digitsStart) return text;
    if (i < text.size()) {
        if (text[i] != L'.') return text;
        ++i;
        if (i == text.size()) return text;
        while (i < text.size() && IsDigit(text[i])) ++i;
        if (i != text.size()) return text;
    }
    std::wstring out = text.substr(0, digitsStart);
    size_t count = digitsEnd - digitsStart;
    for (size_t k = 0; k < count; ++k) {
        if (k > 0 && (count - k) % 3 == 0) out.push_back(L',');
        out.push_back(text[digitsStart + k]);
    }
    out += text.substr(digitsEnd);
    return out;
}

std::wstring CharacterCodes(const std::wstring &text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = (uint32_t)text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + ((uint32_t)text[++i] - 0xDC00);
        if (!out.empty()) out.push_back(L' ');
        out += std::to_wstring(c);
    }
    return out;
}

bool ParseDescriptionLine(const std::wstring &line, std::wstring *name,
                          std::wstring *description)
{
    size_t i = 0;
    if (line.empty()) return false;
    if (line[0] == L'"') {
        size_t close = line.find(L'"', 1);
        if (close == std::wstring::npos || close == 1) return false;
        *name = line.substr(1, close - 1);
        i = close + 1;
        if (i < line.size() && !IsBlank(line[i])) return false;
    } else {
        while (i < line.size() && !IsBlank(line[i])) ++i;
        *name = line.substr(0, i);
    }
    while (i < line.size() && IsBlank(line[i])) ++i;
    *description = line.substr(i);
    return !name->empty();
}

namespace {

/// The next line of a description file from *start on that names a file, with the
/// description it gives. A line ends at CR LF, LF or a CR alone: the file is plain text
/// written by any editor, and a CR is never part of a description. False at the end.
bool NextDescriptionLine(const std::wstring &text, size_t *start, std::wstring *name,
                         std::wstring *description)
{
    while (*start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", *start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(*start, end - *start);
        *start = end + 1;
        if (end + 1 < text.size() && text[end] == L'\r' && text[end + 1] == L'\n') ++*start;
        if (ParseDescriptionLine(line, name, description)) return true;
    }
    return false;
}

/// Folded name to description, of one description file; the first line for a name wins.
using DescriptionTable = std::unordered_map<std::wstring, std::wstring>;

std::wstring FoldName(const std::wstring &name)
{
    std::wstring folded(name);
    for (wchar_t &c : folded) c = FoldCase(c);
    return folded;
}

DescriptionTable ReadDescriptionTable(const std::wstring &fileText)
{
    DescriptionTable table;
    size_t start = 0;
    std::wstring name, description;
    while (NextDescriptionLine(fileText, &start, &name, &description))
        table.emplace(FoldName(name), description);
    return table;
}

std::wstring LookUpDescription(const DescriptionTable &table, const std::wstring &fileName)
{
    auto found = table.find(FoldName(fileName));
    return found == table.end() ? std::wstring() : found->second;
}

/// The description file read last, parsed: a filter over a directory asks for every
/// file's description in turn, and reading the whole file each time makes that
/// quadratic. Kept while the file's size and last-write time stay the same.
struct DescriptionFileCache {
    std::wstring Path;
    unsigned long long Size = 0, Written = 0;
    bool Valid = false;
    DescriptionTable Table;
};

DescriptionFileCache LastDescriptionFile;

std::wstring CachedDescription(const std::wstring &descriptionPath, const std::wstring &name)
{
    DescriptionFileCache &cache = LastDescriptionFile;
    unsigned long long size = 0, written = 0;
    if (OsFileStamp(descriptionPath.c_str(), &size, &written) != 0) {
        cache.Valid = false;
        return std::wstring();
    }
    if (!cache.Valid || cache.Path != descriptionPath || cache.Size != size ||
        cache.Written != written) {
        cache.Valid = false;
        cache.Table.clear();
        std::wstring text;
        if (OsReadTextFile(descriptionPath.c_str(), &text) != 0) return std::wstring();
        cache.Table = ReadDescriptionTable(text);
        cache.Path = descriptionPath;
        cache.Size = size;
        cache.Written = written;
        cache.Valid = true;
    }
    return LookUpDescription(cache.Table, name);
}

}  // namespace

std::wstring FindDescription(const std::wstring &fileText, const std::wstring &fileName)
{
    return LookUpDescription(ReadDescriptionTable(fileText), fileName);
}

std::wstring DescriptionOf(const std::wstring &file)
{
    std::wstring path = Unquote(file);
    if (path.empty()) return std::wstring();

    std::unique_ptr<wchar_t[]> full = ZeroedText(HOST_RESULT_LEN);
    if (OsFullPath(path.c_str(), full.get(), HOST_RESULT_LEN) != 0) return std::wstring();
    std::wstring whole = full.get();
    size_t cut = whole.size();
    while (cut > 0 && !IsPathSeparator(whole[cut - 1]) && whole[cut - 1] != L':') --cut;
    std::wstring directory = whole.substr(0, cut);
    std::wstring name = whole.substr(cut);
    if (name.empty()) return std::wstring();

    std::wstring descriptionFile;
    LookupVariable(L"_dname", &descriptionFile);
    if (descriptionFile.empty()) return std::wstring();
    return CachedDescription(directory + descriptionFile, name);
}

int HandOverDescription(const std::wstring &description, std::wstring *result)
{
    size_t nul = description.find(L'\0');
    if (nul == std::wstring::npos && description.size() <= (size_t)MAX_LINE_LEN) {
        *result = description;
        return FUNCTION_OK;
    }
    if (Shell.Reading.DescriptionsWhole) return FUNCTION_FAILED;
    *result = description.substr(0, std::min(nul, (size_t)MAX_LINE_LEN));
    return FUNCTION_OK;
}

int CallVariableFunction(const std::wstring &name, const std::wstring &arguments,
                         std::wstring *result)
{
    result->clear();
    const PluginName *entry = FindPluginName(name, NAME_FUNCTION);
    if (entry) return CallPluginFunction(*entry, arguments, result) == 0 ? FUNCTION_OK
                                                                         : FUNCTION_FAILED;
    std::wstring key = NameKey(name);
    if (key == L"@UPPER" || key == L"@LOWER") {
        *result = arguments;
        for (wchar_t &c : *result)
            c = (wchar_t)(key == L"@UPPER" ? UpperCaseOf((uint32_t)c) : LowerCaseOf((uint32_t)c));
        return FUNCTION_OK;
    }
    if (key == L"@ASCII") {
        *result = CharacterCodes(arguments);
        return FUNCTION_OK;
    }
    if (key == L"@COMMA") {
        *result = GroupDigits(arguments);
        return FUNCTION_OK;
    }
    if (key == L"@DESCRIPT") return HandOverDescription(DescriptionOf(arguments), result);
    if (key == L"@WILD") {
        std::wstring text, pattern;
        SplitAtComma(arguments, &text, &pattern);
        *result = WildcardComparison(pattern.c_str(), text.c_str(), 1, 1) == 0 ? L"1" : L"0";
        return FUNCTION_OK;
    }
    if (key == L"@TRUENAME") {
        std::unique_ptr<wchar_t[]> full = ZeroedText(HOST_RESULT_LEN);
        std::wstring path = Unquote(arguments);
        if (QueryTrueName(path.c_str(), full.get()) != 0) return FUNCTION_FAILED;
        *result = full.get();
        return FUNCTION_OK;
    }
    return FUNCTION_UNKNOWN;
}

}  // namespace vsh
