#include <stdint.h>

#include "commands/criteria.h"
#include "commands/scan_setup.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "plugin/shell_line.h"
#include "plugin/shell_syntax.h"
#include "plugin/tokenizer.h"
#include "ranges/local_time.h"
#include "search/attributes.h"
#include "search/result_list.h"
#include "search/search.h"
#include "state/plugin_state.h"
#include "text/case_fold.h"

namespace {

/// Flags of @VESK beyond the walk's own three bits.
enum { FLAG_WALK_BITS = 0x7, FLAG_LEAVE_OUT_DESCRIPTION_FILE = 0x80, FLAG_TRACE = 0x100 };

/// How a call of @VESK ends, named for what happened; f_vesk turns it into the number
/// the shell is given.
enum FunctionOutcome {
    ANSWER_GIVEN,           ///< the best file's full name, or the empty text: none matched
    ANSWER_NO_BUFFER,       ///< the shell gave no buffer
    ANSWER_BAD_ARGUMENT,    ///< an argument refused, or none given, after its message
    ANSWER_SCAN_LOST_FILES, ///< the scan reported what it could not see: no name is given,
                            ///< since the best of the rest could be the wrong one
    ANSWER_OUT_OF_MEMORY,   ///< reported
    /// The name cannot be handed back exactly (too long for the buffer once its "%" are
    /// doubled, or holding "%" where the shell did not show how it reads a result).
    ANSWER_NAME_NOT_RETURNED,
};

/// The number the shell is given for outcome; it takes -1 as an error of the line.
int FunctionResult(FunctionOutcome outcome)
{
    return outcome == ANSWER_GIVEN ? VARIABLE_RESULT_DONE : VARIABLE_RESULT_FAILED;
}

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? (wchar_t)(c - L'a' + L'A') : c; }

/// Argument i of the current call, or null when it is omitted or empty.
wchar_t *Argument(int i)
{
    if (i >= HostArgs.ArgCount || HostArgs.ArgLengths[i] == 0) return nullptr;
    return HostArgs.Args[i];
}

/// Reports a bad argument, shown in upper case. Returns ANSWER_BAD_ARGUMENT.
FunctionOutcome BadArgument(const wchar_t *format, wchar_t *argument)
{
    UpperCaseText(argument);
    ReportError(format, argument);
    return ANSWER_BAD_ARGUMENT;
}

/// Reads the criterion, attributes, flags and stamp (arguments 2 to 5, each optional) into
/// *mode, options and *flags. ANSWER_GIVEN, or ANSWER_BAD_ARGUMENT after the message
/// naming the first bad one.
FunctionOutcome ReadArguments(int *mode, SearchOptions *options, uint32_t *flags)
{
    if (wchar_t *criterion = Argument(1)) {
        *mode = CriterionOfLetter(UpperAscii(criterion[0]));
        if (*mode == NO_CRITERION) return BadArgument(L"Bad criterion \"%s\"\r\n", criterion);
    }
    if (wchar_t *attributes = Argument(2)) {
        if (ParseAttributes(attributes, &options->AttrMask, &options->AttrValues) != RESULT_OK)
            return BadArgument(L"Bad attributes \"%s\"\r\n", attributes);
    }
    if (wchar_t *flagText = Argument(3)) {
        if (ParseNumber(flagText, flags) != 0) return BadArgument(L"Bad flags \"%s\"\r\n", flagText);
    }
    if (wchar_t *stamp = Argument(4)) {
        options->WhichStamp = StampOfLetter(UpperAscii(stamp[0]));
        if (options->WhichStamp == NO_STAMP)
            return BadArgument(L"Unknown file stamp \"%s\"\r\n", stamp);
    }
    return ANSWER_GIVEN;
}

/// Writes name into buffer (HOST_RESULT_LEN characters) so that the shell's expansion of
/// the function gives it exactly. ANSWER_GIVEN; ANSWER_NAME_NOT_RETURNED after the
/// message, the buffer left empty.
FunctionOutcome HandBackName(const wchar_t *name, wchar_t *buffer)
{
    // Whether the shell reads the result again for "%" forms (and so whether a "%" must
    // come doubled) is asked of the shell itself, and only when it matters.
    const int reading = wcschr(name, L'%') == nullptr ? FUNCTION_RESULT_AS_IS
                                                      : ReadFunctionResultReading(&CallSyntax);
    if (reading == FUNCTION_RESULT_UNKNOWN) {
        ReportError(L"Name not returned, \"%s\": it holds \"%%\", and the shell did not "
                    L"show whether it reads a function's result again\r\n",
                    name);
        return ANSWER_NAME_NOT_RETURNED;
    }
    if (reading == FUNCTION_RESULT_READ_AGAIN ? DoublePercents(name, buffer, HOST_RESULT_LEN) != 0
                                              : wcslen(name) >= (size_t)HOST_RESULT_LEN) {
        buffer[0] = L'\0';
        ReportError(L"Name too long for the result \"%s\"\r\n", name);
        return ANSWER_NAME_NOT_RETURNED;
    }
    if (reading == FUNCTION_RESULT_AS_IS) wcscpy(buffer, name);
    return ANSWER_GIVEN;
}

/// @VESK, from its arguments in buffer to the best file's name in buffer.
FunctionOutcome AnswerVesk(wchar_t *buffer)
{
    if (buffer == nullptr) return ANSWER_NO_BUFFER;
    CallSyntax = ReadShellSyntax();
    // A text too long for the vector reports its overflow and leaves no arguments, so
    // the missing file specification is reported after it.
    TokenizeArgs(buffer, SplitOnCommas);
    const wchar_t *fileSpec = Argument(0);
    if (fileSpec == nullptr) {
        ReportError(L"Missing filespec\r\n");
        return ANSWER_BAD_ARGUMENT;
    }
    SearchOptions options;
    ResetSearchOptions(&options);
    options.FullPaths = 1;
    int mode = MODE_LARGEST;
    uint32_t flags = 0;
    if (ReadArguments(&mode, &options, &flags) != ANSWER_GIVEN) return ANSWER_BAD_ARGUMENT;
    TestDirectoriesForSize(mode, &options);
    // The description file to leave out of the candidates; empty: none is.
    wchar_t leftOutFile[HOST_BUFFER_LEN];
    leftOutFile[0] = L'\0';
    if (flags & FLAG_LEAVE_OUT_DESCRIPTION_FILE) ReadDescriptionFileName(leftOutFile);
    options.DescriptionFile = leftOutFile;
    options.WalkFlags = flags & FLAG_WALK_BITS;
    options.Debug = (flags & FLAG_TRACE) ? 1 : 0;
    FailureReport report = {};
    options.Failures = SinkOf(&report);

    ResultList results = {};
    const int scanned = ScanFileSpecs(&fileSpec, 1, &options, 1, mode, &results);
    if (scanned == RESULT_FAILED) return ANSWER_OUT_OF_MEMORY;
    buffer[0] = L'\0';
    ReportDeniedFolders(&report.Denied, false);
    FreeDeniedFolders(&report.Denied);
    // The scan said what it lost: a best file of what remained could be the wrong one,
    // and the empty text would read as "nothing matched". The shell takes the failed
    // function as an error of the line, which a batch file can test.
    FunctionOutcome outcome = scanned == RESULT_OK ? ANSWER_GIVEN : ANSWER_SCAN_LOST_FILES;
    const FoundFile *best = results.Head;
    // A time the stamps show as "(invalid time)" ranks after every other, so the best
    // file holds one only when no file has a time: there is then no oldest or newest.
    const bool timeless = best != nullptr && (mode == MODE_OLDEST || mode == MODE_NEWEST) &&
                          !IsShownTimeValid(best->Time, best->OnNtfs);
    if (outcome == ANSWER_GIVEN && best != nullptr && !timeless)
        outcome = HandBackName(best->Name, buffer);
    ClearResults(&results);
    return outcome;
}

}  // namespace

extern "C" {

PLUGIN_EXPORT int HOST_CALL f_vesk(wchar_t *buffer) { return FunctionResult(AnswerVesk(buffer)); }

PLUGIN_EXPORT int HOST_CALL _vesk(wchar_t *buffer)
{
    if (buffer == nullptr) return VARIABLE_RESULT_FAILED;
    Sprintf(buffer, L"%d", (int)LastCount);
    return VARIABLE_RESULT_DONE;
}

}  // extern "C"
