// The /V table, the summary line and digit grouping.
#ifndef VESK_SUMMARY_TABLE_H
#define VESK_SUMMARY_TABLE_H

#include <stdint.h>
#include <wchar.h>


/// What AddCommas did; text is unchanged unless COMMAS_ADDED.
enum {
    COMMAS_ADDED = 0,
    COMMAS_NO_TEXT = -1,       ///< text is null
    COMMAS_TOO_LONG = 1,       ///< text would not fit the shell's expression
    COMMAS_NOT_EXPANDED = 2,   ///< the shell could not be asked, or failed
    COMMAS_NO_ROOM = 3,        ///< the grouped text would not fit text's buffer
};

/// Groups the digits of text (a buffer of TEXT_BUFFER_LEN) in place through the shell's
/// @comma. One of the COMMAS_ values.
int AddCommas(wchar_t *text);

/// Prints the one-line summary of a command that found found files and stored count rows
/// (what the array holds). Returns RESULT_OK.
int PrintSummary(uint32_t attrMask, uint32_t attrValues, int mode, const wchar_t *arrayName,
                 int found, int count);

struct StoredRows;

/// What PrintResultTable did.
enum { TABLE_PRINTED = 0, TABLE_EMPTY = -1, TABLE_NO_MEMORY = 1 };

/// Prints the stored rows as the /V table, sized to their widest texts. TABLE_PRINTED;
/// TABLE_EMPTY without printing when rows is null or empty; TABLE_NO_MEMORY without
/// printing when no memory is left for a cell. rows stays the caller's.
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
/// too) and the longest texts written, measured in console cells. RESULT_OK, or
/// RESULT_MISSING_ARGUMENT when widths is null.
int ComputeTableWidths(int count, int whichStamp, uint32_t requestedWidth, int screenWidth,
                       uint32_t longestName, uint32_t longestSize, uint32_t longestStamp,
                       TableWidths *widths);

/// Prints n copies of c (nothing when n < 1; n below 8192).
void PrintRun(int n, wchar_t c);

/// Words shared by the summary, the table and the settings listing.
extern const wchar_t *const CriterionWords[5];
extern const wchar_t *const StampTitles[3];

#endif
