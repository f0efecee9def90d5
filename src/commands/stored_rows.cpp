#include "commands/stored_rows.h"

#include <stdlib.h>

#include "plugin/result_codes.h"

int InitStoredRows(StoredRows *rows, int32_t capacity)
{
    if (rows == nullptr) return RESULT_FAILED;
    rows->Rows = nullptr;
    rows->Count = 0;
    rows->Capacity = 0;
    if (capacity <= 0) return RESULT_OK;
    rows->Rows = (StoredRow *)calloc((size_t)capacity, sizeof(StoredRow));
    if (rows->Rows == nullptr) return RESULT_FAILED;
    rows->Capacity = capacity;
    return RESULT_OK;
}

int AddStoredRow(StoredRows *rows, const wchar_t *name, const wchar_t *size,
                 const wchar_t *stamp)
{
    if (rows == nullptr || rows->Count >= rows->Capacity) return RESULT_FAILED;
    if (name == nullptr) name = L"";
    if (size == nullptr) size = L"";
    if (stamp == nullptr) stamp = L"";
    size_t nameLength = wcslen(name), sizeLength = wcslen(size), stampLength = wcslen(stamp);
    wchar_t *block =
        (wchar_t *)malloc((nameLength + sizeLength + stampLength + 3) * sizeof(wchar_t));
    if (block == nullptr) return RESULT_FAILED;

    StoredRow *row = &rows->Rows[rows->Count];
    row->Name = block;
    wmemcpy(row->Name, name, nameLength + 1);
    row->Size = row->Name + nameLength + 1;
    wmemcpy(row->Size, size, sizeLength + 1);
    row->Stamp = row->Size + sizeLength + 1;
    wmemcpy(row->Stamp, stamp, stampLength + 1);
    row->Rank = rows->Count;
    ++rows->Count;
    return RESULT_OK;
}

void FreeStoredRows(StoredRows *rows)
{
    if (rows == nullptr) return;
    for (int32_t i = 0; i < rows->Count; ++i) free(rows->Rows[i].Name);
    free(rows->Rows);
    rows->Rows = nullptr;
    rows->Count = 0;
    rows->Capacity = 0;
}
