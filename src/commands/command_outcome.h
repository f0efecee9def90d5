// How a VESK command ends, named for what happened. The command's export turns it into
// the number the shell is given (VESK_RESULT_ in plugin/exports.h) and nothing else does.
#ifndef VESK_COMMAND_OUTCOME_H
#define VESK_COMMAND_OUTCOME_H

enum CommandOutcome {
    OUTCOME_STORED = 0,        ///< complete: every file found is in the array (maybe none)
    OUTCOME_HELP_SHOWN,        ///< "/?" or "/??"
    OUTCOME_NO_TEXT,           ///< the shell gave no argument text: nothing done
    OUTCOME_USAGE_ERROR,       ///< an argument or the array name refused after its message
    /// A setting of the shell collides with the lines' own syntax: nothing written, not
    /// even the old array removed, after the message naming the setting.
    OUTCOME_SETTINGS_COLLIDE,
    /// Complete, but a scan reported folders or files it could not see (or a file
    /// specification it could not scan): the array ranks what was seen.
    OUTCOME_SCAN_LOST_FILES,
    /// Complete, but rows were left out, each named: the settings leave no exact way to
    /// write them, or the shell refused their lines.
    OUTCOME_ROWS_LEFT_OUT,
    OUTCOME_ARRAY_NOT_MADE,    ///< the shell refused to replace or fill the array: it is empty
    OUTCOME_OUT_OF_MEMORY,     ///< memory ran out: the list, or rows of it, were not kept
};

/// Records loss in *outcome unless an earlier one is there: the first loss is what the
/// command met first, and every loss gives the shell the same number.
inline void NoteLoss(CommandOutcome *outcome, CommandOutcome loss)
{
    if (*outcome == OUTCOME_STORED) *outcome = loss;
}

#endif
