// The command language: splitting a line into commands, expanding each just before it
// runs, redirection, and dispatch to the built-ins and the plug-ins' commands.
#ifndef VSHELL_COMMAND_LINE_H
#define VSHELL_COMMAND_LINE_H

#include "expand.h"

#include <string>
#include <vector>

namespace vsh {

/// Splits a line at each command separator ("&", or what setdos /C chose) that is
/// neither quoted, back-quoted nor escaped, as the parsing settings say; one piece while
/// the separator is off. The pieces keep their text as typed (escapes, quotes and blanks
/// included); empty pieces are kept.
std::vector<std::wstring> SplitCommands(const std::wstring &line);

/// One command after expansion.
struct ParsedCommand {
    std::wstring Name;       // without a leading "*" or "@"
    std::wstring Arguments;  // after the name and its blanks; trailing blanks that were
                             // typed unescaped are gone
    std::wstring RedirectFile;
    int Redirect;  // 0 none, 1 ">", 2 ">>"
};

/// Takes the redirections out of an expanded command (while redirection is on) and
/// splits the rest into name and arguments. Returns 0, or 1 with message (a refused "|"
/// or "<", a ">" without a file).
int ParseCommand(const MarkedText &command, ParsedCommand *parsed, std::wstring *message);

/// Runs a line: each command in turn, expanded just before it runs. Returns the result
/// of the last command run (0 for a line with none). Stops early after "exit".
int RunLine(const std::wstring &line);

}  // namespace vsh

#endif
