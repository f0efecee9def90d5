// The VESK command: reads its arguments, scans every file specification into the ranked
// list, publishes the list as the shell array NAME[n,3] and prints the table and summary.
#include <wctype.h>

#include "commands/array_publish.h"
#include "commands/command_outcome.h"
#include "commands/criteria.h"
#include "commands/date_stamp.h"
#include "commands/help_texts.h"
#include "commands/scan_setup.h"
#include "commands/stored_rows.h"
#include "commands/summary_table.h"
#include "platform/platform.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "plugin/plugin.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "plugin/shell_syntax.h"
#include "plugin/tokenizer.h"
#include "ranges/range_list.h"
#include "ranges/range_option.h"
#include "ranges/text_range.h"
#include "search/attributes.h"
#include "search/result_list.h"
#include "search/search.h"
#include "state/plugin_state.h"
#include "text/case_fold.h"
#include "text/name_chars.h"
#include "text/wide_format.h"

namespace {

enum { MAX_ITEMS = 4096, DEFAULT_ITEMS = 10, MIN_WIDTH = 80, MAX_WIDTH = 1024 };
enum { MIN_CONSOLE_WIDTH = 40, MAX_CONSOLE_WIDTH = 1024 };
/// Characters of TimeSeparator, terminator included.
enum { SEPARATOR_LEN = TEXT_BUFFER_LEN };

/// What one argument does to the command.
enum ArgumentVerdict {
    ARGUMENT_TAKEN,       ///< read into the settings: the next one follows
    ARGUMENT_ASKS_HELP,   ///< the help was shown: the command ends
    ARGUMENT_REFUSED,     ///< reported: the command ends
};

/// What MeasureConsole gives when standard output is no console of a usable width.
enum { NO_CONSOLE_WIDTH = 0 };

/// The settings of one command, reset at every call.
struct CommandSettings {
    wchar_t *ArrayName;  ///< into HostArgs; null until given
    uint32_t n;
    int32_t Mode;
    /// The scan's own settings, read straight into the options every scan is given; its
    /// DescriptionFile is DescriptionFile below, and the command frees its Ranges.
    SearchOptions Scan;
    int32_t Verbose;
    uint32_t VerboseWidth;
    int32_t IsoDates;
    int32_t UtcStamps;
    int32_t DumbLocalize;
    int32_t CommaGrouping;
    wchar_t TimeSeparator[SEPARATOR_LEN];
    /// The description file to leave out of the candidates (/NI); empty: none is.
    wchar_t DescriptionFile[HOST_BUFFER_LEN];
    const wchar_t *FileSpecs[MAX_ARGS];  ///< into HostArgs, in the order given
    int32_t FileSpecCount;
};

void ResetSettings(CommandSettings *s)
{
    s->ArrayName = nullptr;
    s->n = 0;
    s->Mode = 0;
    ResetSearchOptions(&s->Scan);
    // Directories are left out unless /A asks for them.
    s->Scan.AttrMask = FILE_ATTRIBUTE_DIRECTORY;
    s->Scan.DescriptionFile = s->DescriptionFile;
    s->Verbose = 0;
    s->VerboseWidth = 0;
    s->IsoDates = 0;
    s->UtcStamps = 0;
    s->DumbLocalize = 0;
    s->CommaGrouping = 1;
    s->TimeSeparator[0] = L' ';
    s->TimeSeparator[1] = L'\0';
    s->DescriptionFile[0] = L'\0';
    s->FileSpecCount = 0;
}

bool Is(const wchar_t *arg, const wchar_t *word) { return _wcsicmp(arg, word) == 0; }

bool StartsWith(const wchar_t *arg, const wchar_t *prefix)
{
    return _wcsnicmp(arg, prefix, wcslen(prefix)) == 0;
}

/// The value after a switch of switchLength characters: right after it, or one
/// character later when that is ':' or '='.
wchar_t *OptionValue(wchar_t *arg, size_t switchLength)
{
    wchar_t *value = arg + switchLength;
    if (IsValueSeparator(*value)) ++value;
    return value;
}

/// Upper-cases arg in place and reports format, which quotes it. Returns ARGUMENT_REFUSED.
ArgumentVerdict RejectArgument(wchar_t *arg, const wchar_t *format)
{
    UpperCaseText(arg);
    ReportError(format, arg);
    return ARGUMENT_REFUSED;
}

ArgumentVerdict ShowHelp(bool withVersion)
{
    QPuts(CommandHelp);
    if (withVersion)
        Printf(L"\r\n\t\t\t\t%s  %s (%s)\r\n", PLUGIN_NAME, VESK_VERSION_SHOWN,
               VESK_PLATFORM_WORD);
    return ARGUMENT_ASKS_HELP;
}

/// Mode of a criterion switch ("/" and a criterion letter), or NO_CRITERION for any
/// other text.
int SwitchCriterion(const wchar_t *arg)
{
    if (arg[0] != L'/' || arg[1] == L'\0' || arg[2] != L'\0') return NO_CRITERION;
    // Compared as the shell compares words, so a switch matches exactly what it did when
    // each was spelled out.
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        int mode = CriterionOfLetter(letter);
        const wchar_t spelled[3] = {L'/', letter, L'\0'};
        if (mode != NO_CRITERION && Is(arg, spelled)) return mode;
    }
    return NO_CRITERION;
}

bool IsCriterionSwitch(const wchar_t *arg) { return SwitchCriterion(arg) != NO_CRITERION; }

/// Mode a criterion word or switch stands for, or NO_CRITERION.
int CriterionMode(const wchar_t *arg)
{
    int mode = SwitchCriterion(arg);
    if (mode != NO_CRITERION) return mode;
    if (Is(arg, L"LARGEST") || Is(arg, L"BIGGEST")) return MODE_LARGEST;
    if (Is(arg, L"SMALLEST")) return MODE_SMALLEST;
    if (Is(arg, L"OLDEST")) return MODE_OLDEST;
    if (Is(arg, L"NEWEST")) return MODE_NEWEST;
    return NO_CRITERION;
}

ArgumentVerdict ParseStampOption(wchar_t *arg, CommandSettings *s)
{
    int stamp = StampOfLetter((wchar_t)towupper((wint_t)*OptionValue(arg, 2)));
    if (stamp == NO_STAMP) return RejectArgument(arg, L"Unknown file stamp \"%s\"\r\n");
    s->Scan.WhichStamp = stamp;
    return ARGUMENT_TAKEN;
}

ArgumentVerdict ParseWidthOption(wchar_t *arg, CommandSettings *s)
{
    s->Verbose = 1;
    s->VerboseWidth = 0;
    if (arg[2] == L'\0') return ARGUMENT_TAKEN;
    uint32_t width = 0;
    if (ParseNumber(OptionValue(arg, 2), &width) != 0)
        return RejectArgument(arg, L"Bad width \"%s\"\r\n");
    if (width != 0 && (width < MIN_WIDTH || width > MAX_WIDTH)) {
        UpperCaseText(arg);
        ReportError(L"Width must be 0 or %u - %u\r\n", (unsigned)MIN_WIDTH, (unsigned)MAX_WIDTH);
        return ARGUMENT_REFUSED;
    }
    s->VerboseWidth = width;
    return ARGUMENT_TAKEN;
}

ArgumentVerdict ParseNoOption(wchar_t *arg, CommandSettings *s)
{
    for (const wchar_t *p = OptionValue(arg, 2); *p != L'\0'; ++p) {
        switch (towupper((wint_t)*p)) {
        case L'C': s->CommaGrouping = 0; break;
        case L'D': s->Scan.WalkFlags |= WALK_NO_HIDDEN_DIRS; break;
        case L'I': ReadDescriptionFileName(s->DescriptionFile); break;
        case L'J': s->Scan.WalkFlags |= WALK_NO_JUNCTIONS; break;
        default: return RejectArgument(arg, L"Unknown option \"%s\"\r\n");
        }
    }
    return ARGUMENT_TAKEN;
}

ArgumentVerdict ParseSeparatorOption(wchar_t *arg, CommandSettings *s)
{
    const wchar_t *value = OptionValue(arg, 2);
    size_t length = wcslen(value);
    // Cutting the separator would change every stamp without a word; refuse instead.
    if (length > (size_t)SEPARATOR_LEN - 1) {
        UpperCaseText(arg);
        ReportError(L"Time separator too long (0 - %u)\r\n", (unsigned)(SEPARATOR_LEN - 1));
        return ARGUMENT_REFUSED;
    }
    wmemcpy(s->TimeSeparator, value, length + 1);
    return ARGUMENT_TAKEN;
}

/// Classifies argument index by the grammar.
ArgumentVerdict ClassifyArgument(int index, CommandSettings *s)
{
    wchar_t *arg = HostArgs.Args[index];

    if (wcscmp(arg, L"/?") == 0) return ShowHelp(false);
    if (wcscmp(arg, L"/??") == 0) return ShowHelp(true);
    if (s->Mode == NO_CRITERION) {
        int mode = CriterionMode(arg);
        if (mode != NO_CRITERION) {
            s->Mode = mode;
            return ARGUMENT_TAKEN;
        }
    } else if (IsCriterionSwitch(arg)) {
        return RejectArgument(arg, L"Too many criteria \"%s\"\r\n");
    }
    if (Is(arg, L"/R")) {
        s->Scan.WalkFlags |= WALK_RECURSE;
        s->Scan.FullPaths = 1;
        return ARGUMENT_TAKEN;
    }
    if (StartsWith(arg, L"/T") || StartsWith(arg, L"/D")) return ParseStampOption(arg, s);
    if (StartsWith(arg, L"/A")) {
        if (ParseAttributes(OptionValue(arg, 2), &s->Scan.AttrMask, &s->Scan.AttrValues) != 0)
            return RejectArgument(arg, L"Bad attributes \"%s\"\r\n");
        return ARGUMENT_TAKEN;
    }
    if (Is(arg, L"/F")) {
        s->Scan.FullPaths = 1;
        return ARGUMENT_TAKEN;
    }
    if (Is(arg, L"/I")) {
        s->IsoDates = 1;
        return ARGUMENT_TAKEN;
    }
    if (Is(arg, L"/U")) {
        s->UtcStamps = 1;
        return ARGUMENT_TAKEN;
    }
    if (StartsWith(arg, L"/V")) return ParseWidthOption(arg, s);
    if (Is(arg, L"/Z")) {
        s->DumbLocalize = 1;
        return ARGUMENT_TAKEN;
    }
    if (StartsWith(arg, L"/N")) return ParseNoOption(arg, s);
    if (StartsWith(arg, L"/C")) return ParseSeparatorOption(arg, s);
    if (wcscmp(arg, L"/$") == 0) {
        s->Scan.Debug = 1;
        return ARGUMENT_TAKEN;
    }
    // Range options are case exact: their kind letter is upper-cased by the dispatch.
    if (wcsncmp(arg, L"/[", 2) == 0 || wcsncmp(arg, L"/![", 3) == 0)
        return ParseRangeOption(arg, &s->Scan.Ranges) == RESULT_OK ? ARGUMENT_TAKEN : ARGUMENT_REFUSED;
    if (StartsWith(arg, L"/I"))
        return ParseDescriptionRange(arg + 2, &s->Scan.Ranges, 0, 1) == RESULT_OK ? ARGUMENT_TAKEN
                                                                            : ARGUMENT_REFUSED;
    if (StartsWith(arg, L"/!I"))
        return ParseDescriptionRange(arg + 3, &s->Scan.Ranges, 1, 1) == RESULT_OK ? ARGUMENT_TAKEN
                                                                            : ARGUMENT_REFUSED;
    if (arg[0] == L'/') return RejectArgument(arg, L"Unknown option \"%s\"\r\n");

    uint32_t number = 0;
    if (s->n == 0 && ParseNumber(arg, &number) == 0) {
        s->n = number;
        return ARGUMENT_TAKEN;
    }
    if (s->ArrayName == nullptr) {
        s->ArrayName = (arg[0] == L'%' && arg[1] != L'\0') ? arg + 1 : arg;
        return ARGUMENT_TAKEN;
    }
    s->FileSpecs[s->FileSpecCount++] = arg;
    return ARGUMENT_TAKEN;
}

bool IsValidArrayName(const wchar_t *name)
{
    if (!IsNameLetter((uint32_t)name[0])) return false;
    for (const wchar_t *p = name; *p != L'\0'; ++p)
        if (!IsNameCharacter((uint32_t)*p)) return false;
    return true;
}

/// Width of the console that standard output writes to, NO_CONSOLE_WIDTH when it is none
/// or the width lies outside 40 to 1024.
int MeasureConsole(void)
{
    if (!QueryIsConsole(GetStdHandle(STD_OUTPUT_HANDLE))) return NO_CONSOLE_WIDTH;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (console == INVALID_HANDLE_VALUE) return NO_CONSOLE_WIDTH;
    CONSOLE_SCREEN_BUFFER_INFO info;
    BOOL ok = GetConsoleScreenBufferInfo(console, &info);
    CloseHandle(console);
    if (!ok) return NO_CONSOLE_WIDTH;
    int width = info.dwSize.X;
    return (width >= MIN_CONSOLE_WIDTH && width <= MAX_CONSOLE_WIDTH) ? width : NO_CONSOLE_WIDTH;
}

const wchar_t *YesNo(bool value) { return value ? L"Yes" : L"No"; }

void PrintSettings(const CommandSettings *s)
{
    Printf(L"ArrayName  : %s\r\n", s->ArrayName);
    Printf(L"n          : %u\r\n", (unsigned)s->n);
    Printf(L"Mode       : %s\r\n", CriterionWords[s->Mode]);
    Printf(L"WhichStamp : %s\r\n", StampTitles[s->Scan.WhichStamp]);
    Printf(L"Recurse    : %s\r\n", YesNo((s->Scan.WalkFlags & WALK_RECURSE) != 0));
    Printf(L"FullPaths  : %s\r\n", YesNo(s->Scan.FullPaths != 0));
    Printf(L"ScreenWidth: %d\r\n", (int)ScreenWidth);
    Printf(L"Verbose    : %s\r\n", YesNo(s->Verbose != 0));
}

/// Scans every file specification, or "*" when none was given, into results, and orders
/// them; what the scans could not see is handed to report. OUTCOME_STORED (nothing lost
/// yet); OUTCOME_SCAN_LOST_FILES when a scan reported a failure; OUTCOME_OUT_OF_MEMORY when
/// the list could not be started (reported).
CommandOutcome ScanAll(CommandSettings *s, ResultList *results, FailureReport *report)
{
    static const wchar_t *const everything[1] = {L"*"};
    s->Scan.Failures = SinkOf(report);
    const bool given = s->FileSpecCount > 0;
    switch (ScanFileSpecs(given ? s->FileSpecs : everything, given ? s->FileSpecCount : 1,
                          &s->Scan, (int)s->n, s->Mode, results)) {
    case RESULT_OK: return OUTCOME_STORED;
    case RESULT_SCAN_FAILED: return OUTCOME_SCAN_LOST_FILES;
    default: return OUTCOME_OUT_OF_MEMORY;
    }
}

// The settings are large; kept out of the host thread's stack, whose size some hosts
// keep small, and only one command runs at a time.
CommandSettings Settings;

/// The number the shell is given for outcome; batch files test it.
int VeskResult(CommandOutcome outcome)
{
    switch (outcome) {
    case OUTCOME_NO_TEXT: return VESK_RESULT_NO_TEXT;
    case OUTCOME_STORED:
    case OUTCOME_HELP_SHOWN: return VESK_RESULT_DONE;
    case OUTCOME_USAGE_ERROR: return VESK_RESULT_USAGE_ERROR;
    case OUTCOME_SETTINGS_COLLIDE:
    case OUTCOME_SCAN_LOST_FILES:
    case OUTCOME_ROWS_LEFT_OUT:
    case OUTCOME_ARRAY_NOT_MADE:
    case OUTCOME_OUT_OF_MEMORY: return VESK_RESULT_INCOMPLETE;
    }
    return VESK_RESULT_INCOMPLETE;
}

/// Releases what the command holds and passes outcome on.
CommandOutcome EndCommand(CommandSettings *s, CommandOutcome outcome)
{
    FreeRanges(&s->Scan.Ranges);
    return outcome;
}

/// The command, from its argument text to its outcome.
CommandOutcome RunVesk(wchar_t *arguments)
{
    if (arguments == nullptr) return OUTCOME_NO_TEXT;
    TokenizeArgs(arguments, SplitOnBlanks | SplitSwitches);

    CommandSettings *s = &Settings;
    ResetSettings(s);

    for (int i = 0; i < HostArgs.ArgCount && i < MAX_ARGS; ++i) {
        if (HostArgs.ArgLengths[i] <= 0 || HostArgs.Args[i] == nullptr) continue;
        ArgumentVerdict verdict = ClassifyArgument(i, s);
        if (verdict == ARGUMENT_ASKS_HELP) return EndCommand(s, OUTCOME_HELP_SHOWN);
        if (verdict == ARGUMENT_REFUSED) return EndCommand(s, OUTCOME_USAGE_ERROR);
    }

    if (s->ArrayName == nullptr) {
        ReportError(L"Missing array name\r\n");
        return EndCommand(s, OUTCOME_USAGE_ERROR);
    }
    if (s->n > MAX_ITEMS) {
        ReportError(L"Too many items (1 - %u)\r\n", (unsigned)MAX_ITEMS);
        return EndCommand(s, OUTCOME_USAGE_ERROR);
    }
    if (s->n == 0) s->n = DEFAULT_ITEMS;
    if (s->Mode == NO_CRITERION) s->Mode = MODE_LARGEST;
    TestDirectoriesForSize(s->Mode, &s->Scan);

    UpperCaseText(s->ArrayName);
    if (!IsValidArrayName(s->ArrayName)) {
        ReportError(L"Bad array name \"%s\"\r\n", s->ArrayName);
        return EndCommand(s, OUTCOME_USAGE_ERROR);
    }
    if (s->FileSpecCount > 1) s->Scan.FullPaths = 1;

    // Once per command: every line and expression below is written for these settings,
    // and checked against them before anything is written.
    CallSyntax = ReadShellSyntax();
    LinesCheck lines = CheckArrayLines(s->ArrayName, &CallSyntax);
    if (lines == LINES_BAD_NAME) return EndCommand(s, OUTCOME_USAGE_ERROR);
    if (lines == LINES_SETTINGS_COLLIDE) return EndCommand(s, OUTCOME_SETTINGS_COLLIDE);

    ScreenWidth = MeasureConsole();
    if (s->Scan.Debug) PrintSettings(s);

    ResultList results = {};
    FailureReport report = {};
    CommandOutcome outcome = ScanAll(s, &results, &report);
    StoredRows stored;
    InitStoredRows(&stored, 0);
    RowFormat format = {s->CommaGrouping, s->Scan.WhichStamp, s->DumbLocalize, s->UtcStamps,
                        s->IsoDates, s->TimeSeparator};
    const int found = results.Count;
    NoteLoss(&outcome, PrepareRows(&results, &format, &CallSyntax, s->ArrayName, &stored));
    ClearResults(&results);
    NoteLoss(&outcome, PublishArray(s->ArrayName, &CallSyntax, &stored));

    // From here on stored holds exactly what the array holds.
    if (s->Verbose) PrintResultTable(s->Scan.WhichStamp, s->VerboseWidth, &stored);
    PrintSummary(s->Scan.AttrMask, s->Scan.AttrValues, s->Mode, s->ArrayName, found, stored.Count);
    // Not a failure of the command, but nothing is left out without a word.
    ReportDeniedFolders(&report.Denied, s->Verbose != 0);
    FreeDeniedFolders(&report.Denied);
    LastCount = stored.Count;
    FreeStoredRows(&stored);
    return EndCommand(s, outcome);
}

}  // namespace

extern "C" PLUGIN_EXPORT int HOST_CALL vesk(wchar_t *arguments)
{
    return VeskResult(RunVesk(arguments));
}
