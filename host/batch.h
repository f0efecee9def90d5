// Batch files. They sit below the command line that runs their lines, which hands its
// line runner in (RunLine, command_line.h).
#ifndef VSHELL_BATCH_H
#define VSHELL_BATCH_H

#include <string>
#include <vector>

namespace vsh {

/// Runs one line of a batch file and returns the result of its last command.
typedef int (*LineRunner)(const std::wstring &line);

/// Runs the batch file, each line through runLine: args[0] is the name as given (%0),
/// the rest %1 and on. Returns the result of its last command, or 1 after a message when
/// it cannot be read.
int RunBatchFile(const std::wstring &file, const std::vector<std::wstring> &args,
                 LineRunner runLine);

/// Splits the argument text of a batch call at blanks outside double quotes (the
/// quotes are kept, as the batch file sees them in %1 ...).
std::vector<std::wstring> SplitBatchArguments(const std::wstring &text);

/// True when name ends in .btm, .bat or .cmd (any case).
bool LooksLikeBatchFile(const std::wstring &name);

/// Runs file as a batch file with the argument text.
int CallBatchFile(const std::wstring &file, const std::wstring &arguments, LineRunner runLine);

/// The call command: the first word of its argument text (without its quotes) names the
/// batch file, the rest are its arguments. Returns its result, or 1 after a message when
/// no file is named.
int RunCall(const std::wstring &arguments, LineRunner runLine);

}  // namespace vsh

#endif
