#include "builtins.h"

#include "batch.h"
#include "memory.h"
#include "messages.h"
#include "os.h"
#include "plugins.h"
#include "settings.h"
#include "state.h"
#include "variables.h"

#include <string.h>
#include <wctype.h>

namespace vsh {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Trim(const std::wstring &text)
{
    size_t a = 0, b = text.size();
    while (a < b && IsBlank(text[a])) ++a;
    while (b > a && IsBlank(text[b - 1])) --b;
    return text.substr(a, b - a);
}

std::wstring Unquote(const std::wstring &text)
{
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

void PrintLine(const std::wstring &text)
{
    WriteStream(1, text);
    WriteStream(1, L"\r\n", 2);
}

// Words separated by blanks (and commas when commas is true), keeping a bracketed part
// together so that "LIST[2, 3]" stays one word.
std::vector<std::wstring> Words(const std::wstring &text, bool commas)
{
    std::vector<std::wstring> words;
    std::wstring current;
    int depth = 0;
    for (wchar_t c : text) {
        if (c == L'[') ++depth;
        if (c == L']' && depth > 0) --depth;
        if (depth == 0 && (IsBlank(c) || (commas && c == L','))) {
            if (!current.empty()) words.push_back(current);
            current.clear();
            continue;
        }
        current.push_back(c);
    }
    if (!current.empty()) words.push_back(current);
    return words;
}

int Echo(const std::wstring &args)
{
    std::wstring key = NameKey(args);
    if (key == L"ON" || key == L"OFF") return 0;  // lines are never echoed anyway
    PrintLine(args);
    return 0;
}

int ListVariables(void)
{
    for (const auto &entry : Shell.Variables) PrintLine(entry.second.Name + L"=" + entry.second.Value);
    return 0;
}

int SetArrayElement(const std::wstring &target, const std::wstring &value)
{
    size_t open = target.find(L'[');
    if (target.back() != L']')
        return ShellError(L"bad array element \"%s\"\r\n", target.c_str());
    std::wstring name = Trim(target.substr(0, open));
    ArrayVariable *array = FindArray(name);
    if (!array) return ShellError(L"array \"%s\" does not exist\r\n", name.c_str());
    size_t cell = 0;
    std::wstring message;
    if (ArrayCellIndex(*array, target.substr(open + 1, target.size() - open - 2), &cell,
                       &message) != 0)
        return ShellError(L"%s\r\n", message.c_str());
    array->Cells[cell] = value;
    return 0;
}

int Set(const std::wstring &args)
{
    if (args.empty()) return ListVariables();
    size_t eq = args.find(L'=');
    if (eq == std::wstring::npos) {
        std::wstring name = Trim(args), value;
        if (FindArray(name) == nullptr && LookupVariable(name, &value) == LOOKUP_UNDEFINED)
            return ShellError(L"variable \"%s\" is not defined\r\n", name.c_str());
        PrintLine(value);
        return 0;
    }
    std::wstring target = Trim(args.substr(0, eq));
    std::wstring value = args.substr(eq + 1);
    if (target.empty()) return ShellError(L"missing variable name in \"set %s\"\r\n", args.c_str());
    if (target.find(L'[') != std::wstring::npos) return SetArrayElement(target, value);
    for (wchar_t c : target) {
        if (IsBlank(c) || c == L'%')
            return ShellError(L"bad variable name \"%s\"\r\n", target.c_str());
    }
    SetVariable(target, value);
    return 0;
}

int SetArray(const std::wstring &args)
{
    std::vector<std::wstring> declarations = Words(args, false);
    if (declarations.empty()) return ShellError(L"missing array declaration\r\n");
    for (const std::wstring &declaration : declarations) {
        std::wstring message;
        if (DefineArray(declaration, &message) != 0) return ShellError(L"%s\r\n", message.c_str());
    }
    return 0;
}

int UnsetArray(const std::wstring &args)
{
    bool quiet = false;
    std::vector<std::wstring> names;
    for (const std::wstring &word : Words(args, true)) {
        if (NameKey(word) == L"/Q") quiet = true;
        else names.push_back(word);
    }
    if (names.empty()) return ShellError(L"missing array name\r\n");
    int result = 0;
    for (const std::wstring &name : names) {
        if (name == L"*") {
            Shell.Arrays.clear();
            continue;
        }
        if (RemoveArray(name) != 0 && !quiet)
            result = ShellError(L"array \"%s\" does not exist\r\n", name.c_str());
    }
    return result;
}

int ChangeDirectory(const std::wstring &args)
{
    std::wstring target = Unquote(Trim(args));
    if (target.empty()) {
        PrintLine(OsCurrentDirectory());
        return 0;
    }
    if (OsChangeDirectory(target.c_str()) != 0)
        return ShellError(L"cannot change to \"%s\"\r\n", target.c_str());
    return 0;
}

int Help(const std::wstring &args)
{
    std::wstring name = Trim(args);
    if (name.empty()) {
        PrintLine(L"Built-in commands: call cd echo exit help rem set setarray setdos type unsetarray usage");
        for (const Plugin &plugin : Shell.Plugins) {
            std::wstring line = plugin.Info && plugin.Info->Name ? plugin.Info->Name : plugin.File;
            line += L":";
            for (const PluginName &entry : plugin.Names) line += L" " + entry.Name;
            PrintLine(line);
        }
        return 0;
    }
    for (const Plugin &plugin : Shell.Plugins) {
        if (!plugin.Help) continue;
        // The plug-in may work on the name in place.
        std::vector<wchar_t> buffer(name.begin(), name.end());
        buffer.push_back(L'\0');
        if (plugin.Help(buffer.data()) == 1) return 0;
    }
    return ShellError(L"no help for \"%s\"\r\n", name.c_str());
}

int Usage(const std::wstring &args)
{
    std::wstring name = Trim(args);
    if (name.empty()) return ShellError(L"usage needs a name\r\n");
    for (const Plugin &plugin : Shell.Plugins) {
        if (!plugin.Usage) continue;
        std::vector<wchar_t> nameBuffer(name.begin(), name.end());
        nameBuffer.push_back(L'\0');
        std::unique_ptr<wchar_t[]> buffer = ZeroedText(HOST_USAGE_LEN);
        if (plugin.Usage(nameBuffer.data(), buffer.get()) == 1) {
            buffer[HOST_USAGE_LEN - 1] = L'\0';
            WriteStream(1, buffer.get(), wcslen(buffer.get()));
            return 0;
        }
    }
    return ShellError(L"no usage for \"%s\"\r\n", name.c_str());
}

int Exit(const std::wstring &args)
{
    std::wstring text = Trim(args);
    int status = Shell.LastResult;
    if (!text.empty()) {
        size_t i = 0;
        bool negative = false;
        if (text[0] == L'-' || text[0] == L'+') {
            negative = text[0] == L'-';
            ++i;
        }
        long value = 0;
        if (i == text.size() || text.size() - i > 9)
            return ShellError(L"bad exit status \"%s\"\r\n", text.c_str());
        for (; i < text.size(); ++i) {
            if (text[i] < L'0' || text[i] > L'9')
                return ShellError(L"bad exit status \"%s\"\r\n", text.c_str());
            value = value * 10 + (text[i] - L'0');
        }
        status = (int)(negative ? -value : value);
    }
    Shell.ExitRequested = true;
    Shell.ExitStatus = status;
    return status;
}

int Remark(const std::wstring &) { return 0; }

int Type(const std::wstring &args)
{
    std::vector<std::wstring> files = SplitBatchArguments(args);
    if (files.empty()) return ShellError(L"type needs a file\r\n");
    int result = 0;
    for (const std::wstring &quoted : files) {
        std::wstring file = Unquote(quoted), text;
        if (OsReadTextFile(file.c_str(), &text) != 0) {
            result = ShellError(L"cannot read \"%s\"\r\n", file.c_str());
            continue;
        }
        WriteStream(1, text);
    }
    return result;
}

struct Builtin {
    const wchar_t *Name;
    int (*Run)(const std::wstring &args);
};

const Builtin Builtins[] = {
    {L"CD", ChangeDirectory},      {L"CHDIR", ChangeDirectory},
    {L"ECHO", Echo},        {L"EXIT", Exit},               {L"HELP", Help},
    {L"REM", Remark},       {L"SET", Set},                 {L"SETARRAY", SetArray},
    {L"SETDOS", RunSetdos},
    {L"TYPE", Type},        {L"UNSETARRAY", UnsetArray},   {L"USAGE", Usage},
};

}  // namespace

bool RunBuiltin(const std::wstring &name, const std::wstring &arguments, int *result)
{
    std::wstring key = NameKey(name);
    for (const Builtin &builtin : Builtins) {
        if (key == builtin.Name) {
            *result = builtin.Run(arguments);
            return true;
        }
    }
    return false;
}

}  // namespace vsh
