#include "batch.h"

#include "memory.h"
#include "messages.h"
#include "os.h"
#include "settings.h"
#include "state.h"

#include <wctype.h>

namespace vsh {

std::vector<std::wstring> SplitBatchArguments(const std::wstring &text)
{
    std::vector<std::wstring> args;
    std::wstring current;
    bool quoted = false, any = false;
    for (wchar_t c : text) {
        if (c == L'"') quoted = !quoted;
        if (!quoted && (c == L' ' || c == L'\t')) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
            continue;
        }
        current.push_back(c);
        any = true;
    }
    if (any) args.push_back(current);
    return args;
}

bool LooksLikeBatchFile(const std::wstring &name)
{
    if (name.size() < 5) return false;
    std::wstring ext = NameKey(name.substr(name.size() - 4));
    return ext == L".BTM" || ext == L".BAT" || ext == L".CMD";
}

int CallBatchFile(const std::wstring &file, const std::wstring &arguments, LineRunner runLine)
{
    std::vector<std::wstring> args = SplitBatchArguments(arguments);
    args.insert(args.begin(), file);
    return RunBatchFile(file, args, runLine);
}

int RunCall(const std::wstring &arguments, LineRunner runLine)
{
    std::vector<std::wstring> words = SplitBatchArguments(arguments);
    if (words.empty()) return ShellError(L"call needs a batch file\r\n");
    std::wstring file = words[0];
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"')
        file = file.substr(1, file.size() - 2);
    size_t rest = arguments.find(words[0]) + words[0].size();
    return CallBatchFile(file, arguments.substr(rest), runLine);
}

namespace {

/// The line of text that begins at *start, without its line end; *start moves past it.
std::wstring NextPhysicalLine(const std::wstring &text, size_t *start)
{
    size_t end = text.find(L'\n', *start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(*start, end - *start);
    *start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return line;
}

/// True when the line ends in an escape character that escapes nothing (an odd run of
/// them), which continues the line onto the next while the escape works and that is the
/// reading in force.
bool EndsInContinuation(const std::wstring &line)
{
    if (!Shell.Reading.EscapeContinuesLine || !FeatureOn(FEATURE_ESCAPE)) return false;
    size_t run = 0;
    while (run < line.size() && line[line.size() - 1 - run] == Shell.EscapeChar) ++run;
    return run % 2 == 1;
}

}  // namespace

int RunBatchFile(const std::wstring &file, const std::vector<std::wstring> &args,
                 LineRunner runLine)
{
    if (Shell.Batches.size() >= MAX_NESTING)
        return ShellError(L"batch files nested too deeply\r\n");
    std::wstring text;
    if (OsReadTextFile(file.c_str(), &text) != 0)
        return ShellError(L"cannot read batch file \"%s\"\r\n", file.c_str());

    BatchFrame frame;
    std::unique_ptr<wchar_t[]> full = ZeroedText(HOST_RESULT_LEN);
    frame.FullName = OsFullPath(file.c_str(), full.get(), HOST_RESULT_LEN) == 0 ? full.get() : file;
    frame.Args = args;
    frame.Line = 0;
    Shell.Batches.push_back(frame);

    int result = 0;
    size_t start = 0;
    long number = 0;
    while (start < text.size() && !Shell.ExitRequested) {
        std::wstring line = NextPhysicalLine(text, &start);
        ++number;
        // The line's number is that of its first part.
        long firstLine = number;
        while (EndsInContinuation(line) && start < text.size()) {
            line.pop_back();
            line += NextPhysicalLine(text, &start);
            ++number;
        }
        if (EndsInContinuation(line)) line.pop_back();  // the file ended: nothing to join
        // A frame may have been pushed by a nested call meanwhile; ours is this depth.
        Shell.Batches.back().Line = firstLine;
        size_t first = 0;
        while (first < line.size() && (line[first] == L' ' || line[first] == L'\t')) ++first;
        if (first == line.size() || line[first] == L':') continue;  // blank, label
        result = runLine(line);
    }
    Shell.Batches.pop_back();
    return result;
}

}  // namespace vsh
