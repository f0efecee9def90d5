// ShellMain: the options of vshell, loading the plug-ins, running a line, a batch file
// or standard input, and the orderly end.
#include "shell.h"

#include "batch.h"
#include "command_line.h"
#include "memory.h"
#include "messages.h"
#include "os.h"
#include "plugins.h"
#include "state.h"
#include "variables.h"

#include <string>
#include <vector>

namespace vsh {

namespace {

const wchar_t UsageText[] =
    L"usage: vshell [--plugin FILE]... [--no-plugin] [--set NAME=VALUE]...\r\n"
    L"              [--no-pseudo-variables] [READING]... [-c LINE | BATCHFILE [ARGS]]\r\n"
    L"Without -c or a batch file, command lines are read from standard input.\r\n"
    L"Each READING takes the other reading of a rule the real shell's documentation\r\n"
    L"leaves open (host/README.md):\r\n";

/// A rule's other reading: the option that chooses it and the field it clears.
struct ReadingOption {
    const wchar_t *Name;
    bool Readings::*Field;
    const wchar_t *Help;
};

const ReadingOption ReadingOptions[] = {
    {L"--function-results-as-is", &Readings::RereadFunctionResults,
     L"a function's result is never read again for % forms"},
    {L"--expanded-operators-plain", &Readings::ExpandedOperatorsAct,
     L"separators, conditionals, pipes, redirection and double quotes that an\r\n"
     L"      expansion gave are ordinary characters"},
    {L"--expanded-escapes-plain", &Readings::ExpandedEscapesAct,
     L"the escape character and back quotes that an expansion gave are ordinary"},
    {L"--escape-at-end-stays", &Readings::EscapeContinuesLine,
     L"an escape character at the end of a batch line stays, and does not join\r\n"
     L"      the next line to it"},
    {L"--cut-descriptions", &Readings::DescriptionsWhole,
     L"@descript hands over a description it cannot give whole (longer than a\r\n"
     L"      line, or holding a NUL) cut at the NUL and to a line, instead of failing"},
};

void WriteUsage(int stream)
{
    WriteStream(stream, UsageText);
    for (const ReadingOption &option : ReadingOptions)
        WriteStream(stream, std::wstring(L"  ") + option.Name + L"\r\n      " + option.Help +
                                L"\r\n");
}

struct Options {
    std::vector<std::wstring> Plugins;
    bool NoDefaultPlugin;
    bool NoPseudoVariables;
    Readings Reading;
    std::vector<std::wstring> Sets;
    bool HaveLine;
    std::wstring Line;
    std::vector<std::wstring> Batch;  // file, then its arguments
};

// Returns 0, 1 for --help (done), or 2 after a message.
int ParseOptions(int argc, wchar_t **argv, Options *options)
{
    options->NoDefaultPlugin = false;
    options->NoPseudoVariables = false;
    options->Reading = DefaultReadings();
    options->HaveLine = false;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring arg = argv[i] ? argv[i] : L"";
        bool hasValue = i + 1 < argc && argv[i + 1];
        if (arg == L"--") {
            ++i;
            break;
        }
        if (arg == L"--help" || arg == L"-h") {
            WriteUsage(1);
            return 1;
        }
        if (arg == L"--plugin" || arg == L"--set" || arg == L"-c") {
            if (!hasValue) {
                ShellError(L"option %s needs a value\r\n", arg.c_str());
                return 2;
            }
            std::wstring value = argv[++i];
            if (arg == L"--plugin") {
                options->Plugins.push_back(value);
            } else if (arg == L"--set") {
                if (value.find(L'=') == std::wstring::npos || value[0] == L'=') {
                    ShellError(L"--set needs NAME=VALUE, not \"%s\"\r\n", value.c_str());
                    return 2;
                }
                options->Sets.push_back(value);
            } else {
                options->HaveLine = true;
                options->Line = value;
            }
            continue;
        }
        if (arg == L"--no-plugin") {
            options->NoDefaultPlugin = true;
            continue;
        }
        if (arg == L"--no-pseudo-variables") {
            options->NoPseudoVariables = true;
            continue;
        }
        const ReadingOption *reading = nullptr;
        for (const ReadingOption &option : ReadingOptions)
            if (arg == option.Name) reading = &option;
        if (reading) {
            options->Reading.*(reading->Field) = false;
            continue;
        }
        if (arg.size() > 1 && arg[0] == L'-') {
            ShellError(L"unknown option \"%s\"\r\n", arg.c_str());
            WriteUsage(2);
            return 2;
        }
        break;
    }
    for (; i < argc; ++i) options->Batch.push_back(argv[i] ? argv[i] : L"");
    if (options->HaveLine && !options->Batch.empty()) {
        ShellError(L"-c and a batch file cannot be given together\r\n");
        return 2;
    }
    return 0;
}

void LoadPlugins(const Options &options)
{
    if (!options.Plugins.empty()) {
        for (const std::wstring &file : options.Plugins) LoadPlugin(file, file);
        return;
    }
    if (options.NoDefaultPlugin) return;
    std::wstring name = OsDefaultPluginName();
    LoadPlugin(OsExecutableDirectory() + name, name);
}

void ReadStandardInput(void)
{
    bool interactive = OsStdinIsConsole() != 0;
    std::wstring line;
    while (!Shell.ExitRequested) {
        if (interactive) WriteStream(1, OsCurrentDirectory() + L"> ");
        if (OsReadStdinLine(&line) != 0) break;
        RunLine(line);
    }
    if (interactive && !Shell.ExitRequested) WriteStream(1, L"\r\n", 2);
}

}  // namespace

}  // namespace vsh

extern "C" HOST_SERVICE int HOST_CALL ShellMain(int argc, wchar_t **argv)
{
    using namespace vsh;
    ResetShell(true);
    Options options;
    int parsed = ParseOptions(argc, argv, &options);
    if (parsed != 0) return parsed == 1 ? 0 : 2;
    // Like the real shell started with a command to run, a shell that runs one line or
    // one batch file and exits is transient, so plug-ins keep their load banners quiet.
    Shell.Transient = options.HaveLine || !options.Batch.empty();
    Shell.PseudoVariables = !options.NoPseudoVariables;
    Shell.Reading = options.Reading;

    for (const std::wstring &set : options.Sets) {
        size_t eq = set.find(L'=');
        SetVariable(set.substr(0, eq), set.substr(eq + 1));
    }
    LoadPlugins(options);

    if (options.HaveLine) {
        RunLine(options.Line);
    } else if (!options.Batch.empty()) {
        Shell.LastResult = RunBatchFile(options.Batch[0], options.Batch, RunLine);
    } else {
        ReadStandardInput();
    }
    int status = Shell.ExitRequested ? Shell.ExitStatus : Shell.LastResult;

    ShutdownPlugins(false);
    long live = LiveMemoryBlocks();
    if (live > 0) ShellError(L"%ld blocks of shell memory still allocated\r\n", live);
    return status;
}
