// Publishing a VESK command's result as the shell array NAME[n,3], whole rows or none.
#ifndef VESK_ARRAY_PUBLISH_H
#define VESK_ARRAY_PUBLISH_H

#include <stdint.h>
#include <wchar.h>

#include "commands/stored_rows.h"
#include "plugin/shell_syntax.h"
#include "search/result_list.h"

/// The command's settings that shape a row's size and stamp texts.
struct RowFormat {
    int32_t CommaGrouping;
    int32_t WhichStamp;
    int32_t DumbLocalize;
    int32_t UtcStamps;
    int32_t IsoDates;
    const wchar_t *TimeSeparator;
};

/// Escapes the array name for syntax and keeps it for PrepareRows and PublishArray, which
/// the same command calls next. 0, or 1 after the message (a name that cannot be written
/// exactly under the settings, or too long).
int PrepareArrayName(const wchar_t *arrayName, const ShellSyntax *syntax);

/// Builds the three texts of every entry of results (ordered, and still the caller's)
/// and keeps in stored (which the caller frees with FreeStoredRows) the rows that can be
/// stored exactly, in order. RESULT_OK; RESULT_SCAN_FAILED when a row was left out (each
/// with its message naming the file); RESULT_MISSING_ARGUMENT when results is null.
int PrepareRows(const ResultList *results, const RowFormat *format, const ShellSyntax *syntax,
                StoredRows *stored);

/// Replaces the shell's array by the stored rows, numbered from 0. 0, or 2 when the shell
/// refused a line (it says why); the rows of a refused declaration are dropped from
/// stored, since the array then holds none of them.
int PublishArray(const ShellSyntax *syntax, StoredRows *stored);

#endif
