// The /V table, the summary line and digit grouping.
#ifndef VESK_SUMMARY_TABLE_H
#define VESK_SUMMARY_TABLE_H

#include <stdint.h>
#include <wchar.h>


/// Groups the digits of text (a buffer of TEXT_BUFFER_LEN) in place through the shell's
/// @comma. 0 when replaced; -1 null; 1 too long; 2 expansion failed; 3 would not fit.
int AddCommas(wchar_t *text);

/// Prints the one-line summary of a command that found found files and stored count rows
/// (what the array holds). Returns 0.
int PrintSummary(uint32_t attrMask, uint32_t attrValues, int mode, const wchar_t *arrayName,
                 int found, int count);

struct StoredRows;

/// Prints the stored rows as the /V table, sized to their widest texts. 0; -1 without
/// printing when rows is null or empty; 1 without printing when no memory is left for
/// a cell. rows stays the caller's.
int PrintResultTable(int whichStamp, uint32_t requestedWidth, const StoredRows *rows);

/// Column widths of the /V table, in console cells (a wide character takes two, a mark
/// none): the line W, the row number R, the name N, the size S and the stamp T.
struct TableWidths {
    int W;
    int R;
    int N;
    int S;
    int T;
};

/// Fits the table of count rows to requestedWidth (0: screenWidth, or 100 when that is 0
/// too) and the longest texts written, measured in console cells. 0, or -1 when widths is
/// null.
int ComputeTableWidths(int count, int whichStamp, uint32_t requestedWidth, int screenWidth,
                       uint32_t longestName, uint32_t longestSize, uint32_t longestStamp,
                       TableWidths *widths);

/// Prints n copies of c (nothing when n < 1; n below 8192).
void PrintRun(int n, wchar_t c);

/// Words shared by the summary, the table and the settings listing.
extern const wchar_t *const CriterionWords[5];
extern const wchar_t *const StampTitles[3];

#endif
