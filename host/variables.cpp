#include "variables.h"

#include "os.h"
#include "plugins.h"
#include "settings.h"
#include "text/path_separator.h"
#include "text/case_fold.h"
#include "text/name_chars.h"

#include <wctype.h>

namespace vsh {

ShellState Shell;

wchar_t FoldCase(wchar_t c) { return (wchar_t)UpperCaseOf((uint32_t)c); }

std::wstring TrimBlanks(const std::wstring &text)
{
    size_t a = 0, b = text.size();
    while (a < b && iswspace((wint_t)text[a])) ++a;
    while (b > a && iswspace((wint_t)text[b - 1])) --b;
    return text.substr(a, b - a);
}

std::wstring NameKey(const std::wstring &name)
{
    std::wstring key(name);
    for (wchar_t &c : key) c = FoldCase(c);
    return key;
}

Readings DefaultReadings(void)
{
    Readings readings = {true, true, true, true, true};
    return readings;
}

void ResetShell(bool withEnvironment)
{
    Shell.Variables.clear();
    Shell.Arrays.clear();
    Shell.Batches.clear();
    Shell.Plugins.clear();
    Shell.LastResult = 0;
    Shell.ExitRequested = false;
    Shell.ExitStatus = 0;
    Shell.CommandDepth = 0;
    Shell.Transient = false;
    Shell.EscapeChar = L'^';
    Shell.Separator = L'&';
    Shell.FeaturesOff = 0;
    Shell.PseudoVariables = true;
    Shell.Reading = DefaultReadings();
    if (!withEnvironment) return;
    for (const std::wstring &entry : OsEnvironment()) {
        size_t eq = entry.find(L'=');
        if (eq == std::wstring::npos || eq == 0) continue;
        std::wstring name = entry.substr(0, eq);
        // The first of two names that differ only in case wins, as on Windows.
        if (Shell.Variables.count(NameKey(name))) continue;
        SetVariable(name, entry.substr(eq + 1));
    }
}

bool InternalVariable(const std::wstring &name, std::wstring *value)
{
    std::wstring key = NameKey(name);
    const BatchFrame *batch = Shell.Batches.empty() ? nullptr : &Shell.Batches.back();
    if (key == L"_?") *value = std::to_wstring(Shell.LastResult);
    else if (key == L"_4VER") *value = L"33.00";
    else if (key == L"_BUILD") *value = L"61";
    else if (key == L"_CMDPROC") *value = L"TCC";
    else if (key == L"_BATCH") *value = std::to_wstring(Shell.Batches.size());
    else if (key == L"_BATCHNAME") *value = batch ? batch->FullName : std::wstring();
    else if (key == L"_BATCHLINE") *value = batch ? std::to_wstring(batch->Line) : L"-1";
    else if (key == L"_EXPANSION") *value = FeaturesOffText();
    else if (key == L"_DNAME") *value = L"DESCRIPT.ION";
    else if (key == L"_TRANSIENT") *value = Shell.Transient ? L"1" : L"0";
    else if (key == L"_PIPE") *value = L"0";
    else if (key == L"_CWDS") {
        *value = OsCurrentDirectory();
        if (value->empty() || !IsPathSeparator(value->back())) value->push_back(VESK_PATH_SEP);
    } else if (key == L"_CWD") {
        *value = OsCurrentDirectory();
    } else {
        return false;
    }
    return true;
}

int LookupVariable(const std::wstring &name, std::wstring *value)
{
    value->clear();
    auto found = Shell.Variables.find(NameKey(name));
    if (found != Shell.Variables.end()) {
        *value = found->second.Value;
        return LOOKUP_FOUND;
    }
    const PluginName *entry = FindPluginName(name, NAME_VARIABLE);
    if (entry) return CallPluginFunction(*entry, std::wstring(), value) == 0 ? LOOKUP_FOUND
                                                                             : LOOKUP_FAILED;
    return InternalVariable(name, value) ? LOOKUP_FOUND : LOOKUP_UNDEFINED;
}

void SetVariable(const std::wstring &name, const std::wstring &value)
{
    std::wstring key = NameKey(name);
    if (value.empty()) {
        Shell.Variables.erase(key);
        return;
    }
    Variable &v = Shell.Variables[key];
    v.Name = name;
    v.Value = value;
}

ArrayVariable *FindArray(const std::wstring &name)
{
    auto found = Shell.Arrays.find(NameKey(name));
    return found == Shell.Arrays.end() ? nullptr : &found->second;
}

namespace {

// Decimal numbers separated by commas, at most MAX_ARRAY_DIMS of them.
int ParseNumbers(const std::wstring &text, std::vector<size_t> *numbers)
{
    numbers->clear();
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(L',', start);
        std::wstring piece =
            TrimBlanks(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (piece.empty() || piece.size() > 9) return 1;
        size_t value = 0;
        for (wchar_t c : piece) {
            if (c < L'0' || c > L'9') return 1;
            value = value * 10 + (size_t)(c - L'0');
        }
        numbers->push_back(value);
        if (numbers->size() > MAX_ARRAY_DIMS) return 1;
        if (comma == std::wstring::npos) return 0;
        start = comma + 1;
    }
}

}  // namespace

int DefineArray(const std::wstring &declaration, std::wstring *error)
{
    std::wstring text = TrimBlanks(declaration);
    size_t open = text.find(L'[');
    if (open == std::wstring::npos || text.back() != L']' || open == 0) {
        *error = L"bad array declaration \"" + text + L"\"";
        return 1;
    }
    std::wstring name = TrimBlanks(text.substr(0, open));
    for (wchar_t c : name) {
        if (!IsNameCharacter((uint32_t)c)) {
            *error = L"bad array name \"" + name + L"\"";
            return 1;
        }
    }
    if (name.empty()) {
        *error = L"bad array declaration \"" + text + L"\"";
        return 1;
    }
    std::vector<size_t> dims;
    if (ParseNumbers(text.substr(open + 1, text.size() - open - 2), &dims) != 0) {
        *error = L"bad array dimensions \"" + text + L"\"";
        return 1;
    }
    size_t cells = 1;
    for (size_t d : dims) {
        if (d == 0 || d > MAX_ARRAY_CELLS / cells) {
            *error = L"bad array dimensions \"" + text + L"\"";
            return 1;
        }
        cells *= d;
    }
    std::wstring key = NameKey(name);
    if (Shell.Arrays.count(key)) {
        *error = L"array \"" + name + L"\" already exists";
        return 1;
    }
    ArrayVariable &array = Shell.Arrays[key];
    array.Name = name;
    array.Dims = dims;
    array.Cells.assign(cells, std::wstring());
    return 0;
}

int RemoveArray(const std::wstring &name) { return Shell.Arrays.erase(NameKey(name)) ? 0 : 1; }

int ArrayCellIndex(const ArrayVariable &array, const std::wstring &indexText, size_t *cell,
                   std::wstring *error)
{
    std::vector<size_t> index;
    if (ParseNumbers(indexText, &index) != 0 || index.size() != array.Dims.size()) {
        *error = L"bad array index \"" + array.Name + L"[" + indexText + L"]\"";
        return 1;
    }
    size_t at = 0;
    for (size_t i = 0; i < index.size(); ++i) {
        if (index[i] >= array.Dims[i]) {
            *error = L"array index out of range \"" + array.Name + L"[" + indexText + L"]\"";
            return 1;
        }
        at = at * array.Dims[i] + index[i];
    }
    *cell = at;
    return 0;
}

}  // namespace vsh
