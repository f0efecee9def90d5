// Publishing a VESK command's result as the shell array NAME[n,3]: every row's three
// "set" lines are built and checked under the shell's current settings before anything is
// written, so the array holds whole rows or none of a row.
#include "commands/array_publish.h"

#include "commands/date_stamp.h"
#include "commands/summary_table.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "search/result_list.h"
#include "search/search.h"

namespace {

/// Room for a cell's text once escaped: every character may take two, and a name may
/// hold up to PATH_BUFFER_LEN - 1 characters. Such a line is never run; it is built whole
/// so that it can be refused for its length rather than run cut.
enum { ESCAPED_LEN = 2 * PATH_BUFFER_LEN + 2, TAIL_LEN = ESCAPED_LEN + 2 * HOST_BUFFER_LEN };

// Static rather than on the stack: together they are larger than some hosts' threads
// allow, and only one command runs at a time.
wchar_t EscapedName[2 * HOST_BUFFER_LEN];
wchar_t EscapedCell[ESCAPED_LEN];
wchar_t CommandTail[TAIL_LEN];
wchar_t CheckedLine[HOST_BUFFER_LEN];

const wchar_t *const ColumnWords[3] = {L"name", L"size", L"stamp"};

/// Builds into CommandTail the tail "A[row,column]=text" with A and text escaped for
/// syntax, and checks that the whole "set" line fits the shell's line. ESCAPE_FINE, or
/// the problem (*culprit the character at fault).
int BuildSetTail(const ShellSyntax *syntax, int row, int column, const wchar_t *text,
                 wchar_t *culprit)
{
    int problem = EscapeForShell(syntax, FOR_COMMAND_LINE, text, EscapedCell, ESCAPED_LEN,
                                 culprit);
    if (problem != ESCAPE_FINE) return problem;
    int length = FormatText(CommandTail, TAIL_LEN, L"%s[%u,%d]=%s", EscapedName,
                            (unsigned)row, column, EscapedCell);
    if (length < 0 || length >= TAIL_LEN) return ESCAPE_NO_ROOM;
    if (BuildShellLine(syntax, L"set", CommandTail, CheckedLine, HOST_BUFFER_LEN) != 0)
        return ESCAPE_NO_ROOM;
    return ESCAPE_FINE;
}

/// Checks that the three cells of a row can be stored exactly as array row row. 0, or
/// 2 after the message that names the file (rank is its place in the result list).
int CheckRow(const ShellSyntax *syntax, int rank, int row, const wchar_t *const texts[3])
{
    for (int column = 0; column < 3; ++column) {
        wchar_t culprit = 0;
        int problem = BuildSetTail(syntax, row, column, texts[column], &culprit);
        if (problem == ESCAPE_FINE) continue;
        wchar_t why[256];
        ReportError(L"Result row %d not stored, \"%s\": its %s %s\r\n", rank, texts[0],
                    ColumnWords[column], DescribeEscapeProblem(problem, culprit, why, 256));
        return 2;
    }
    return 0;
}

}  // namespace

int PrepareRows(const ResultList *results, const RowFormat *format, const ShellSyntax *syntax,
                StoredRows *stored)
{
    if (results == nullptr) return RESULT_MISSING_ARGUMENT;
    if (results->Count <= 0) return RESULT_OK;
    if (InitStoredRows(stored, results->Count) != 0) {
        ReportError(L"Can't allocate table rows\r\n");
        return RESULT_SCAN_FAILED;
    }
    int result = RESULT_OK;
    wchar_t size[TEXT_BUFFER_LEN];
    wchar_t stamp[TEXT_BUFFER_LEN];
    int rank = 0;
    for (const FoundFile *entry = results->Head; entry != nullptr && rank < results->Count;
         entry = entry->Next, ++rank) {
        FormatText(size, TEXT_BUFFER_LEN, L"%I64u", (unsigned long long)entry->Size);
        if (format->CommaGrouping) AddCommas(size);
        int dateOnly = (entry->OnFat == 1 && format->WhichStamp == STAMP_CREATION) ? 1 : 0;
        int trueLocal = (entry->OnNtfs == 1 && format->DumbLocalize == 0) ? 1 : 0;
        FormatDateStamp(stamp, format->TimeSeparator, dateOnly, entry->Time, trueLocal,
                        format->UtcStamps, format->IsoDates);

        const wchar_t *const texts[3] = {entry->Name, size, stamp};
        if (CheckRow(syntax, rank, stored->Count, texts) != 0) {
            result = RESULT_SCAN_FAILED;
            continue;
        }
        if (AddStoredRow(stored, entry->Name, size, stamp) != 0) {
            ReportError(L"Result row %d not stored, \"%s\": out of memory\r\n", rank,
                        entry->Name);
            result = RESULT_SCAN_FAILED;
        }
    }
    return result;
}

int PublishArray(const ShellSyntax *syntax, StoredRows *stored)
{
    FormatText(CommandTail, TAIL_LEN, L" /Q %s", EscapedName);
    RunShellLine(syntax, L"unsetarray", CommandTail);
    if (stored->Count == 0) return 0;

    FormatText(CommandTail, TAIL_LEN, L" %s[%d,3]", EscapedName, (int)stored->Count);
    if (RunShellLine(syntax, L"setarray", CommandTail) != 0) {
        FreeStoredRows(stored);
        return 2;
    }
    int result = 0;
    for (int row = 0; row < stored->Count; ++row) {
        const StoredRow *held = &stored->Rows[row];
        const wchar_t *const texts[3] = {held->Name, held->Size, held->Stamp};
        for (int column = 0; column < 3; ++column) {
            wchar_t culprit = 0;
            // Checked before; built again rather than held, since three whole lines per
            // row would cost far more memory than the texts.
            if (BuildSetTail(syntax, row, column, texts[column], &culprit) != ESCAPE_FINE ||
                RunShellLine(syntax, L"set", CommandTail) != 0)
                result = 2;
        }
    }
    return result;
}

int PrepareArrayName(const wchar_t *arrayName, const ShellSyntax *syntax)
{
    wchar_t culprit = 0;
    int problem = EscapeForShell(syntax, FOR_COMMAND_LINE, arrayName, EscapedName,
                                 2 * HOST_BUFFER_LEN, &culprit);
    // The longest line around the name is "*setarray NAME[4096,3]" or "*set NAME[4095,2]="
    // and a value: leave the values most of the line.
    if (problem == ESCAPE_FINE && wcslen(EscapedName) > (size_t)HOST_BUFFER_LEN / 2) {
        ReportError(L"Array name too long \"%s\"\r\n", arrayName);
        return 1;
    }
    if (problem != ESCAPE_FINE) {
        wchar_t why[256];
        ReportError(L"Bad array name \"%s\": %s\r\n", arrayName,
                    DescribeEscapeProblem(problem, culprit, why, 256));
        return 1;
    }
    return 0;
}
