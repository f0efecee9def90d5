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

/// Checks, before anything is written, that every kind of line the command will hand the
/// shell for arrayName can be written under syntax. 0; 1 after "Bad array name" (the name
/// itself cannot be written exactly); 2 after a message naming the setting that collides
/// with the lines' own syntax (nothing may be written then, not even the old array removed).
int CheckArrayLines(const wchar_t *arrayName, const ShellSyntax *syntax);

/// Builds the three texts of every entry of results (ordered, and still the caller's)
/// and keeps in stored (which the caller frees with FreeStoredRows) the rows that can be
/// stored exactly as rows of arrayName, in order. RESULT_OK; RESULT_SCAN_FAILED when a row
/// was left out (each with its message naming the file); RESULT_MISSING_ARGUMENT when
/// results is null.
int PrepareRows(const ResultList *results, const RowFormat *format, const ShellSyntax *syntax,
                const wchar_t *arrayName, StoredRows *stored);

/// Replaces the shell's array arrayName by the stored rows, numbered from 0, checking
/// every line's result. On return stored holds exactly the rows the array holds: a row
/// the shell refused is dropped (with its message) and the array is built again without
/// it; when the array cannot be made, stored is emptied. RESULT_OK, or RESULT_SCAN_FAILED
/// after a message.
int PublishArray(const wchar_t *arrayName, const ShellSyntax *syntax, StoredRows *stored);

#endif
