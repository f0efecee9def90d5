// What a VESK command prints after it has filled its array: the /V table, from the texts
// the command stored, and the one-line summary; and the digit grouping through @comma.
#include "commands/summary_table.h"

#include "commands/stored_rows.h"

#include "commands/date_stamp.h"
#include "platform/platform.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "plugin/shell_line.h"
#include "search/result_list.h"
#include "state/plugin_state.h"
#include "text/display_width.h"
#include "text/path_limit.h"
#include "text/wide_format.h"

#include <stdlib.h>

const wchar_t *const CriterionWords[5] = {L"unknown", L"largest", L"smallest", L"oldest",
                                          L"newest"};
const wchar_t *const StampTitles[3] = {L"Last Write", L"Created", L"Last Access"};

namespace {

const wchar_t *const NounSingular[3] = {L"directory", L"file", L"item"};
const wchar_t *const NounPlural[3] = {L"directories", L"files", L"items"};

/// Longest number text AddCommas takes: "%@comma[" and "]" and the terminator must fit
/// around it in the shell's buffer.
const size_t MAX_COMMA_INPUT = HOST_BUFFER_LEN - 10;

/// Indexes into the noun tables.
enum { NOUN_DIRECTORIES = 0, NOUN_FILES = 1, NOUN_ITEMS = 2 };

/// The noun of what the attributes let through: directories only, directories excluded
/// (files), or both (items).
int NounIndex(uint32_t attrMask, uint32_t attrValues)
{
    if ((attrMask & attrValues & FILE_ATTRIBUTE_DIRECTORY) != 0) return NOUN_DIRECTORIES;
    if ((attrMask & FILE_ATTRIBUTE_DIRECTORY) != 0) return NOUN_FILES;
    return NOUN_ITEMS;
}

const wchar_t *CriterionWord(int mode)
{
    return (mode >= 1 && mode <= 4) ? CriterionWords[mode] : CriterionWords[0];
}

const wchar_t *StampTitle(int whichStamp)
{
    return (whichStamp >= 0 && whichStamp <= 2) ? StampTitles[whichStamp] : StampTitles[0];
}

/// Console cells of the widest of one column's texts.
uint32_t WidestText(const StoredRows *rows, wchar_t *StoredRow::*text)
{
    uint32_t widest = 0;
    for (int32_t i = 0; i < rows->Count; ++i) {
        size_t cells = DisplayWidth(rows->Rows[i].*text);
        if (cells > widest) widest = cells > UINT32_MAX ? UINT32_MAX : (uint32_t)cells;
    }
    return widest;
}

/// wchar_t units of the longest of all the texts of the rows.
size_t LongestUnits(const StoredRows *rows)
{
    size_t longest = 0;
    for (int32_t i = 0; i < rows->Count; ++i) {
        const StoredRow &row = rows->Rows[i];
        size_t units[3] = {wcslen(row.Name), wcslen(row.Size), wcslen(row.Stamp)};
        for (size_t u : units)
            if (u > longest) longest = u;
    }
    return longest;
}

}  // namespace

int AddCommas(wchar_t *text)
{
    if (text == nullptr) return COMMAS_NO_TEXT;
    size_t length = wcslen(text);
    if (length > MAX_COMMA_INPUT) return COMMAS_TOO_LONG;
    wchar_t work[HOST_BUFFER_LEN];
    ShellLine line;
    BeginExpression(&line, &CallSyntax, work, HOST_BUFFER_LEN);
    AddLineSyntax(&line, L"%%@comma[");
    AddLineValue(&line, text);
    AddLineSyntax(&line, L"]");
    if (ExpandExpression(&line) != 0) return COMMAS_NOT_EXPANDED;
    size_t grouped = wcslen(work);
    if (grouped >= (size_t)TEXT_BUFFER_LEN) return COMMAS_NO_ROOM;
    wmemcpy(text, work, grouped + 1);
    return COMMAS_ADDED;
}

void PrintRun(int n, wchar_t c)
{
    if (n < 1) return;
    wchar_t run[HOST_BUFFER_LEN];
    if (n > HOST_BUFFER_LEN - 1) n = HOST_BUFFER_LEN - 1;
    wmemset(run, c, (size_t)n);
    run[n] = L'\0';
    QPuts(run);
}

int ComputeTableWidths(int count, int whichStamp, uint32_t requestedWidth, int screenWidth,
                       uint32_t longestName, uint32_t longestSize, uint32_t longestStamp,
                       TableWidths *widths)
{
    if (widths == nullptr) return RESULT_MISSING_ARGUMENT;
    // Clamp the inputs to what a buffer can hold, so the arithmetic stays in int.
    if (requestedWidth > (uint32_t)HOST_BUFFER_LEN) requestedWidth = HOST_BUFFER_LEN;
    if (longestName > (uint32_t)PATH_BUFFER_LEN) longestName = PATH_BUFFER_LEN;
    if (longestSize > (uint32_t)TEXT_BUFFER_LEN) longestSize = TEXT_BUFFER_LEN;
    if (longestStamp > (uint32_t)TEXT_BUFFER_LEN) longestStamp = TEXT_BUFFER_LEN;

    int w = requestedWidth > 0 ? (int)requestedWidth : (screenWidth != 0 ? screenWidth : 100);
    int r = count > 1000 ? 4 : count > 100 ? 3 : count > 10 ? 2 : 1;
    int s = (int)longestSize < 4 ? 4 : (int)longestSize;
    int titleLength = (int)wcslen(StampTitle(whichStamp));
    int t = (int)longestStamp < titleLength ? titleLength : (int)longestStamp;
    int n = w - t - s - r - 7;
    if (n < 30) n = 30;
    if (n > (int)longestName) {
        n = (int)longestName;
        if (n < 10) n = 10;
    }
    widths->W = w;
    widths->R = r;
    widths->N = n;
    widths->S = s;
    widths->T = t;
    return RESULT_OK;
}

int PrintResultTable(int whichStamp, uint32_t requestedWidth, const StoredRows *rows)
{
    if (rows == nullptr || rows->Count <= 0) return TABLE_EMPTY;
    const int count = rows->Count;

    TableWidths widths;
    ComputeTableWidths(count, whichStamp, requestedWidth, ScreenWidth,
                       WidestText(rows, &StoredRow::Name), WidestText(rows, &StoredRow::Size),
                       WidestText(rows, &StoredRow::Stamp), &widths);
    const int r = widths.R, n = widths.N, s = widths.S, t = widths.T;

    // One cell buffer for the whole table: the longest text plus the widest padding (a
    // cell is padded to at most its column's width), so no cell is cut by its buffer.
    int widest = n > s ? n : s;
    if (t > widest) widest = t;
    size_t capacity = LongestUnits(rows) + (size_t)widest + 8;
    wchar_t *cell = (wchar_t *)malloc(capacity * sizeof(wchar_t));
    if (cell == nullptr) return TABLE_NO_MEMORY;

    Printf(L" \r\n%*s  %-*s  %*s  %*s\r\n", r, L"", n, L"Filename", s, L"Size", t,
           StampTitle(whichStamp));
    PrintRun(r, L' ');
    QPuts(L"  ");
    PrintRun(n, L'-');
    QPuts(L"  ");
    PrintRun(s, L'-');
    QPuts(L"  ");
    PrintRun(t, L'-');
    CrLf();

    for (int i = 0; i < count; ++i) {
        const StoredRow *row = &rows->Rows[i];
        Printf(L"%*u  ", r, (unsigned)i);
        // Padded and cut by console cells, so wide names, marks and pairs keep the
        // columns straight, and no control character of a name reaches the terminal.
        FormatCell(cell, capacity, row->Name, n, CELL_CUT_LEFT);
        Printf(L"%s  ", cell);
        FormatCell(cell, capacity, row->Size, s, CELL_RIGHT);
        Printf(L"%s  ", cell);
        FormatCell(cell, capacity, row->Stamp, t, CELL_RIGHT);
        Printf(L"%s\r\n", cell);
    }
    free(cell);
    CrLf();
    return TABLE_PRINTED;
}

int PrintSummary(uint32_t attrMask, uint32_t attrValues, int mode, const wchar_t *arrayName,
                 int found, int count)
{
    int noun = NounIndex(attrMask, attrValues);
    const wchar_t *word = count == 1 ? NounSingular[noun] : NounPlural[noun];
    if (count == 0 && found == 0) {
        Printf(L"No matching %s found.\n", word);
        return RESULT_OK;
    }
    if (count == 0) {
        // Found but refused: saying "no matching files" would hide that the files exist.
        Printf(L"%d matching %s found, none stored.\n", found,
               found == 1 ? NounSingular[noun] : NounPlural[noun]);
        return RESULT_OK;
    }
    wchar_t countText[TEXT_BUFFER_LEN];
    wsprintfW(countText, L"%d", count);
    AddCommas(countText);
    Printf(L"%s %s %s vesked into %s[%d,3].\n", countText, CriterionWord(mode), word,
           arrayName != nullptr ? arrayName : L"", count);
    return RESULT_OK;
}
