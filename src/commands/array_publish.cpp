// Publishing a VESK command's result as the shell array NAME[n,3]: every row's three
// "set" lines are built and checked under the shell's current settings before anything is
// written, every line's result is checked, and the array holds whole rows or none of a row.
#include "commands/array_publish.h"

#include "commands/date_stamp.h"
#include "commands/summary_table.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "plugin/shell_line.h"
#include "search/result_list.h"
#include "search/search.h"
#include "text/wide_format.h"

#include <stdlib.h>

namespace {

// Static rather than on the stack: only one command runs at a time, and some hosts keep
// their threads' stacks small.
wchar_t LineBuffer[HOST_BUFFER_LEN];

const wchar_t *const ColumnWords[3] = {L"name", L"size", L"stamp"};

/// Builds "set NAME[row,column]=text" into LineBuffer.
void BuildSetLine(ShellLine *line, const ShellSyntax *syntax, const wchar_t *arrayName,
                  int row, int column, const wchar_t *text)
{
    BeginCommandLine(line, syntax, L"set", LineBuffer, HOST_BUFFER_LEN);
    AddLineSyntax(line, L" ");
    AddLineValue(line, arrayName);
    AddLineSyntax(line, L"[%d,%d]=", row, column);
    AddLineValue(line, text);
}

void BuildUnsetLine(ShellLine *line, const ShellSyntax *syntax, const wchar_t *arrayName)
{
    BeginCommandLine(line, syntax, L"unsetarray", LineBuffer, HOST_BUFFER_LEN);
    AddLineSyntax(line, L" /Q ");
    AddLineValue(line, arrayName);
}

void BuildDeclareLine(ShellLine *line, const ShellSyntax *syntax, const wchar_t *arrayName,
                      int rows)
{
    BeginCommandLine(line, syntax, L"setarray", LineBuffer, HOST_BUFFER_LEN);
    AddLineSyntax(line, L" ");
    AddLineValue(line, arrayName);
    AddLineSyntax(line, L"[%d,3]", rows);
}

/// Checks that the three cells of a row can be stored exactly as array row row. True,
/// or false after the message that names the file (rank is its place in the result list).
bool CheckRow(const ShellSyntax *syntax, const wchar_t *arrayName, int rank, int row,
             const wchar_t *const texts[3])
{
    for (int column = 0; column < 3; ++column) {
        ShellLine line;
        BuildSetLine(&line, syntax, arrayName, row, column, texts[column]);
        if (line.Problem == 0) continue;
        wchar_t why[512];
        ReportError(L"Result row %d not stored, \"%s\": its %s %s\r\n", rank, texts[0],
                    ColumnWords[column], DescribeLineProblem(&line, why, 512));
        return false;
    }
    return true;
}

/// Runs one built line; true when the shell ran it without complaint.
bool Ran(const ShellLine *line) { return RunCommandLine(line) == 0; }

/// What WriteArray returns when the shell refused to declare the array (it said why).
enum { ARRAY_NOT_DECLARED = -1 };

/// Removes the array and declares it with the stored rows, then writes them. Returns the
/// number of rows whose lines the shell refused (each marked in refused), or
/// ARRAY_NOT_DECLARED.
int WriteArray(const wchar_t *arrayName, const ShellSyntax *syntax, const StoredRows *stored,
               bool *refused)
{
    ShellLine line;
    BuildUnsetLine(&line, syntax, arrayName);
    // Removal where there is nothing to remove may end in an error code though /Q keeps
    // it quiet; the shell's documentation does not say. Whether the old array is gone
    // shows in what matters: the declaration that follows succeeds or fails.
    RunCommandLine(&line);
    if (stored->Count == 0) return 0;
    BuildDeclareLine(&line, syntax, arrayName, stored->Count);
    if (!Ran(&line)) return ARRAY_NOT_DECLARED;
    int failed = 0;
    for (int row = 0; row < stored->Count; ++row) {
        const StoredRow *held = &stored->Rows[row];
        const wchar_t *const texts[3] = {held->Name, held->Size, held->Stamp};
        refused[row] = false;
        for (int column = 0; column < 3; ++column) {
            // Checked before; built again rather than held, since three whole lines per
            // row would cost far more memory than the texts.
            BuildSetLine(&line, syntax, arrayName, row, column, texts[column]);
            if (!Ran(&line)) refused[row] = true;
        }
        if (refused[row]) ++failed;
    }
    return failed;
}

/// Drops the rows marked in refused from stored, keeping the order.
void DropRows(StoredRows *stored, const bool *refused)
{
    int kept = 0;
    for (int row = 0; row < stored->Count; ++row) {
        if (refused[row]) {
            free(stored->Rows[row].Name);
            continue;
        }
        stored->Rows[kept++] = stored->Rows[row];
    }
    stored->Count = kept;
}

}  // namespace

LinesCheck CheckArrayLines(const wchar_t *arrayName, const ShellSyntax *syntax)
{
    ShellLine lines[4];
    BuildUnsetLine(&lines[0], syntax, arrayName);
    BuildDeclareLine(&lines[1], syntax, arrayName, 1);
    BuildSetLine(&lines[2], syntax, arrayName, 0, 0, L"");
    // The digit grouping of sizes and of the summary's count.
    BeginExpression(&lines[3], syntax, LineBuffer, HOST_BUFFER_LEN);
    AddLineSyntax(&lines[3], L"%%@comma[1]");
    wchar_t why[512];
    for (const ShellLine &line : lines) {
        if (line.Problem >= LINE_ESCAPE_COLLIDES) {
            ReportError(L"Nothing stored in %s: %s\r\n", arrayName,
                        DescribeLineProblem(&line, why, 512));
            return LINES_SETTINGS_COLLIDE;
        }
    }
    for (const ShellLine &line : lines) {
        if (line.Problem != 0) {
            ReportError(L"Bad array name \"%s\": %s\r\n", arrayName,
                        DescribeLineProblem(&line, why, 512));
            return LINES_BAD_NAME;
        }
    }
    // The longest line around the name is "*setarray NAME[4096,3]" or "*set NAME[4095,2]="
    // and a value: leave the values most of the line.
    // The four lines share one buffer: the declaration's length is its record's.
    if (lines[1].Length > (size_t)HOST_BUFFER_LEN / 2) {
        ReportError(L"Array name too long \"%s\"\r\n", arrayName);
        return LINES_BAD_NAME;
    }
    return LINES_WRITABLE;
}

CommandOutcome PrepareRows(const ResultList *results, const RowFormat *format,
                           const ShellSyntax *syntax, const wchar_t *arrayName,
                           StoredRows *stored)
{
    if (results == nullptr || results->Count <= 0) return OUTCOME_STORED;
    if (InitStoredRows(stored, results->Count) != RESULT_OK) {
        ReportError(L"Nothing stored in %s: not enough memory\r\n", arrayName);
        return OUTCOME_OUT_OF_MEMORY;
    }
    CommandOutcome outcome = OUTCOME_STORED;
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
        if (!CheckRow(syntax, arrayName, rank, stored->Count, texts)) {
            NoteLoss(&outcome, OUTCOME_ROWS_LEFT_OUT);
            continue;
        }
        if (AddStoredRow(stored, entry->Name, size, stamp) != RESULT_OK) {
            ReportError(L"Result row %d not stored, \"%s\": out of memory\r\n", rank,
                        entry->Name);
            NoteLoss(&outcome, OUTCOME_OUT_OF_MEMORY);
            continue;
        }
        stored->Rows[stored->Count - 1].Rank = rank;
    }
    return outcome;
}

CommandOutcome PublishArray(const wchar_t *arrayName, const ShellSyntax *syntax,
                            StoredRows *stored)
{
    bool *refused = stored->Count > 0 ? (bool *)calloc((size_t)stored->Count, sizeof(bool))
                                      : nullptr;
    if (stored->Count > 0 && refused == nullptr) {
        ReportError(L"Nothing stored in %s: not enough memory\r\n", arrayName);
        FreeStoredRows(stored);
        return OUTCOME_OUT_OF_MEMORY;
    }
    CommandOutcome outcome = OUTCOME_STORED;
    // A second pass writes the array again without the rows the shell refused, so that
    // it holds whole rows numbered without gaps; if that fails too, nothing is left.
    for (int pass = 0; pass < 2; ++pass) {
        int failed = WriteArray(arrayName, syntax, stored, refused);
        if (failed == 0) break;
        if (failed == ARRAY_NOT_DECLARED || pass == 1) {
            outcome = OUTCOME_ARRAY_NOT_MADE;
            ReportError(L"Nothing stored in %s: the shell refused to %s the array\r\n", arrayName,
                        failed == ARRAY_NOT_DECLARED ? L"replace" : L"fill");
            ShellLine line;
            BuildUnsetLine(&line, syntax, arrayName);
            RunCommandLine(&line);
            FreeStoredRows(stored);
            break;
        }
        for (int row = 0; row < stored->Count; ++row)
            if (refused[row])
                ReportError(L"Result row %d not stored, \"%s\": the shell refused its line\r\n",
                            (int)stored->Rows[row].Rank, stored->Rows[row].Name);
        outcome = OUTCOME_ROWS_LEFT_OUT;
        DropRows(stored, refused);
    }
    free(refused);
    return outcome;
}
