// Publishing a VESK command's result as the shell array NAME[n,3], whole rows or none.
#ifndef VESK_ARRAY_PUBLISH_H
#define VESK_ARRAY_PUBLISH_H

#include <stdint.h>
#include <wchar.h>

#include "commands/command_outcome.h"
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

/// What CheckArrayLines found.
enum LinesCheck {
    LINES_WRITABLE = 0,
    LINES_BAD_NAME,         ///< reported: the name cannot be written exactly, or is too long
    LINES_SETTINGS_COLLIDE, ///< reported, naming the setting: nothing may be written, not
                            ///< even the old array removed
};

/// Checks, before anything is written, that every kind of line the command will hand the
/// shell for arrayName can be written under syntax. One of the LINES_ values.
LinesCheck CheckArrayLines(const wchar_t *arrayName, const ShellSyntax *syntax);

/// Builds the three texts of every entry of results (ordered, and still the caller's)
/// and keeps in stored (which the caller frees with FreeStoredRows) the rows that can be
/// stored exactly as rows of arrayName, in order. OUTCOME_STORED when every entry is kept
/// (a null results has none); OUTCOME_ROWS_LEFT_OUT or OUTCOME_OUT_OF_MEMORY, whichever
/// came first, when one was left out (each with its message naming the file, or the array
/// when no row could be kept).
CommandOutcome PrepareRows(const ResultList *results, const RowFormat *format, const ShellSyntax *syntax,
                const wchar_t *arrayName, StoredRows *stored);

/// Replaces the shell's array arrayName by the stored rows, numbered from 0, checking
/// every line's result. On return stored holds exactly the rows the array holds: a row
/// the shell refused is dropped (with its message) and the array is built again without
/// it; when the array cannot be made, stored is emptied. OUTCOME_STORED; else, after the
/// messages, OUTCOME_ROWS_LEFT_OUT (the shell refused rows), OUTCOME_ARRAY_NOT_MADE (it
/// refused to replace or fill the array) or OUTCOME_OUT_OF_MEMORY.
CommandOutcome PublishArray(const wchar_t *arrayName, const ShellSyntax *syntax, StoredRows *stored);

#endif
