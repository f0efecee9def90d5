// The test of one found file against the range list, and the path and description
// services of the text tests.
#include "ranges/range_match.h"

#include <stdlib.h>
#include <string.h>

#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "plugin/shell_line.h"
#include "ranges/calendar.h"
#include "ranges/local_time.h"
#include "ranges/owner_lookup.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"
#include "text/wide_format.h"

int JoinPath(wchar_t *directory, const wchar_t *name)
{
    if (directory == nullptr || name == nullptr) return RESULT_MISSING_ARGUMENT;
    size_t dirLength = wcsnlen(directory, PATH_BUFFER_LEN);
    if (dirLength >= PATH_BUFFER_LEN) return RESULT_FAILED;
    size_t nameLength = wcslen(name);
    bool separator = dirLength > 0 && !IsPathSeparator(directory[dirLength - 1]) &&
                     directory[dirLength - 1] != L':' && !IsPathSeparator(name[0]);
    if (dirLength + (separator ? 1 : 0) + nameLength >= PATH_BUFFER_LEN) return RESULT_FAILED;
    if (separator) directory[dirLength++] = VESK_PATH_SEP;
    wmemcpy(directory + dirLength, name, nameLength + 1);
    return RESULT_OK;
}

int GetDescription(const wchar_t *path, wchar_t *out, wchar_t *why, size_t whyCapacity)
{
    if (path == nullptr || out == nullptr || path == out) return RESULT_MISSING_ARGUMENT;
    wchar_t ignored[1];
    if (why == nullptr || whyCapacity == 0) {
        why = ignored;
        whyCapacity = 1;
    }
    why[0] = L'\0';
    if (!path[0] || !QueryIsFileOrDirectory(path)) return RESULT_FAILED;

    // The path goes into a shell expression as the function's argument, quoted and
    // escaped as the settings allow, so that a "]", "," or "%" in a name neither ends the
    // argument nor expands anything. A path the settings leave no exact way to write is
    // not asked for at all: the shell would look up another file's.
    wchar_t expression[HOST_BUFFER_LEN];
    ShellLine line;
    BeginExpression(&line, &CallSyntax, expression, HOST_BUFFER_LEN);
    AddLineSyntax(&line, L"%%@descript[");
    AddLineArgument(&line, path);
    AddLineSyntax(&line, L"]");

    // A failed expansion leaves the expression itself in the buffer; it must not pass
    // for the description. A shell may fail for a description longer than its line or
    // one holding a NUL, or cut it to the line: a description that fills the whole line
    // cannot be told from a cut one.
    int expanded = ExpandExpression(&line);
    if (expanded == LINE_NOT_RUN) {
        wchar_t problem[512];
        DescribeLineProblem(&line, problem, 512);
        if (line.Problem >= LINE_ESCAPE_COLLIDES)
            FormatText(why, whyCapacity, L"%s", problem);
        else
            FormatText(why, whyCapacity, L"its path %s", problem);
        return DESCRIPTION_NOT_WHOLE;
    }
    if (expanded != 0) {
        FormatText(why, whyCapacity,
                   L"the shell failed to expand it, as it may for a description longer "
                   L"than its line of %d characters or holding a NUL",
                   HOST_BUFFER_LEN - 1);
        return DESCRIPTION_NOT_WHOLE;
    }
    size_t length = wcsnlen(expression, HOST_BUFFER_LEN);
    if (length >= HOST_BUFFER_LEN - 1) {
        FormatText(why, whyCapacity,
                   L"it fills the shell's whole line of %d characters and may have been cut",
                   HOST_BUFFER_LEN - 1);
        return DESCRIPTION_NOT_WHOLE;
    }
    wmemcpy(out, expression, length + 1);
    return RESULT_OK;
}

const FILETIME *ChosenFileTime(const WIN32_FIND_DATAW *data, uint16_t whichTime)
{
    if (whichTime == TIME_LAST_ACCESS) return &data->ftLastAccessTime;
    if (whichTime == TIME_CREATION) return &data->ftCreationTime;
    return &data->ftLastWriteTime;
}

namespace {

/// The local times of one file, each converted once however many nodes test it: the
/// conversion by the rules of the file's date is a call into the system that costs more
/// than all the rest of a node's test.
struct ShownTimes {
    const WIN32_FIND_DATAW *Data;
    int OnNtfs;
    bool Converted[3];  ///< by the TIME_ value that names the time
    bool Valid[3];
    SYSTEMTIME Local[3];
};

/// The local date and time of one of the file's times, as the default stamp of the file
/// shows it; false for a time that stamp shows as "(invalid time)".
bool LocalTimeOf(ShownTimes *times, uint16_t whichTime, SYSTEMTIME *local)
{
    int which = whichTime == TIME_LAST_ACCESS ? 1 : whichTime == TIME_CREATION ? 2 : 0;
    if (!times->Converted[which]) {
        const FILETIME *chosen = ChosenFileTime(times->Data, whichTime);
        uint64_t utc = ((uint64_t)chosen->dwHighDateTime << 32) | chosen->dwLowDateTime;
        times->Valid[which] = ShownLocalTime(utc, times->OnNtfs, &times->Local[which]);
        times->Converted[which] = true;
    }
    *local = times->Local[which];
    return times->Valid[which];
}

uint32_t SecondOfDay(const SYSTEMTIME &t)
{
    return (uint32_t)t.wHour * 3600u + (uint32_t)t.wMinute * 60u + t.wSecond;
}

// The text tests keep their two large buffers in a frame of their own, so that every
// other test, run for each entry of the walk, does not pay for them. RESULT_OK when the
// node lets the file through, RESULT_FAILED when not, RESULT_SCAN_FAILED after the
// message that its description could not be read whole.
__attribute__((noinline)) int TextNodeVerdict(const TextRange *node,
                                              const WIN32_FIND_DATAW *data,
                                              const wchar_t *directory)
{
    wchar_t path[PATH_BUFFER_LEN];
    wchar_t text[RANGE_TEXT_LEN];
    text[0] = L'\0';
    size_t dirLength = wcsnlen(directory, PATH_BUFFER_LEN);
    // A path that cannot be built is a file whose text cannot be fetched: the empty text.
    // (The walk never offers a file whose path passes the limit.)
    if (dirLength < PATH_BUFFER_LEN) {
        wmemcpy(path, directory, dirLength + 1);
        if (JoinPath(path, data->cFileName) == RESULT_OK) {
            if (node->Head.Kind == L'I') {
                // A description that could not be read whole is neither inside nor outside
                // the pattern, negated or not: the file is left out, by name, rather
                // than judged on a part or on the empty text.
                wchar_t why[512];
                if (GetDescription(path, text, why, 512) == DESCRIPTION_NOT_WHOLE) {
                    ReportError(L"Description of \"%s\" not read, the file is left out: %s\r\n",
                                path, why);
                    return RESULT_SCAN_FAILED;
                }
            } else {
                GetOwner(path, text);
            }
        }
    }
    bool matches = WildcardComparison(node->Pattern, text, 0, 1) == 0;
    return (node->Negate ? !matches : matches) ? RESULT_OK : RESULT_FAILED;
}

/// Whether one node other than a text node ('I', 'O': TextNodeVerdict) lets the file
/// through.
bool NodePasses(const RangeFilter *node, const WIN32_FIND_DATAW *data, ShownTimes *times)
{
    SYSTEMTIME local;
    switch (node->Kind) {
    case L'S': {
        const SizeRange *size = (const SizeRange *)node;
        uint64_t bytes = ((uint64_t)data->nFileSizeHigh << 32) + data->nFileSizeLow;
        bool inside = bytes >= size->MinSize && bytes <= size->MaxSize;
        return size->Negate ? !inside : inside;
    }
    case L'!':
        return WildcardComparison(((const ExclusionRange *)node)->Pattern, data->cFileName, 1,
                                  1) != 0;
    // A time the stamp shows as "(invalid time)" has no local date: the node rejects the
    // file, negated or not, since neither "inside" nor "outside" can be said of it.
    case L'D': {
        const DateRange *date = (const DateRange *)node;
        if (!LocalTimeOf(times, date->WhichTime, &local)) return false;
        uint32_t day = DayNumber(local.wYear, local.wMonth, local.wDay);
        uint32_t second = SecondOfDay(local);
        bool starts = day > date->FirstDay || (day == date->FirstDay && second >= date->FirstSecond);
        bool ends = day < date->LastDay || (day == date->LastDay && second <= date->LastSecond);
        bool inside = starts && ends;
        return date->Negate ? !inside : inside;
    }
    case L'T': {
        const TimeRange *time = (const TimeRange *)node;
        if (!LocalTimeOf(times, time->WhichTime, &local)) return false;
        uint32_t second = SecondOfDay(local);
        bool inside = second >= time->FirstSecond && second <= time->LastSecond;
        return time->Negate ? !inside : inside;
    }
    case L'W': {
        const WeekdayRange *week = (const WeekdayRange *)node;
        if (!LocalTimeOf(times, week->WhichTime, &local)) return false;
        uint32_t day = DayNumber(local.wYear, local.wMonth, local.wDay);
        return (week->DayMask >> (day % 7)) & 1;
    }
    default:
        // The parsers make no other kind; a stray node must not let files through.
        return false;
    }
}

}  // namespace

int MatchRanges(const WIN32_FIND_DATAW *data, const RangeFilter *list, const wchar_t *directory,
                int onNtfs)
{
    if (data == nullptr || directory == nullptr) return RESULT_MISSING_ARGUMENT;
    ShownTimes times;
    times.Data = data;
    times.OnNtfs = onNtfs;
    for (bool &converted : times.Converted) converted = false;
    for (const RangeFilter *node = list; node != nullptr; node = node->Next) {
        if (node->Kind == L'I' || node->Kind == L'O') {
            int verdict = TextNodeVerdict((const TextRange *)node, data, directory);
            if (verdict != RESULT_OK) return verdict;
        } else if (!NodePasses(node, data, &times)) {
            return RESULT_FAILED;
        }
    }
    return RESULT_OK;
}
