// The texts of the rows a VESK command stored in the shell's array, held until the /V
// table has printed them: read back through the shell, a stored name can come out
// changed (nested expansion) or even run a function.
#ifndef VESK_STORED_ROWS_H
#define VESK_STORED_ROWS_H

#include <stdint.h>
#include <wchar.h>

/// One stored row: the very texts of its three cells, before any escaping. The three
/// share one block that starts at Name.
struct StoredRow {
    wchar_t *Name;
    wchar_t *Size;
    wchar_t *Stamp;
    int32_t Rank;  ///< the row's place in the ranked result list, for messages
};

/// The stored rows of one command, in array order. Rows is Capacity entries from the C
/// runtime's allocator; every row's block is its own allocation.
struct StoredRows {
    StoredRow *Rows;
    int32_t Count;
    int32_t Capacity;
};

/// Makes rows empty with room for capacity rows. RESULT_OK, or RESULT_FAILED when memory
/// is exhausted (rows is then empty with no room) or rows is null.
int InitStoredRows(StoredRows *rows, int32_t capacity);

/// Appends copies of the three texts (null counts as empty). RESULT_OK; RESULT_FAILED when
/// the rows are full or memory is exhausted (nothing is appended then).
int AddStoredRow(StoredRows *rows, const wchar_t *name, const wchar_t *size,
                 const wchar_t *stamp);

/// Releases every copy and the table itself; rows is left empty with no room.
void FreeStoredRows(StoredRows *rows);

#endif
