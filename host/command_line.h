// The command language: splitting a line into commands, expanding each just before it
// runs, redirection, and dispatch to the built-ins and the plug-ins' commands.
#ifndef VSHELL_COMMAND_LINE_H
#define VSHELL_COMMAND_LINE_H

#include "expand.h"

#include <string>
#include <vector>

namespace vsh {

/// How a command of a line follows the one before it.
enum Connector {
    AFTER_ANY = 0,      ///< the first command, or after the separator: always runs
    AFTER_SUCCESS = 1,  ///< after "&&": runs when the last result was 0
    AFTER_FAILURE = 2,  ///< after "||": runs when the last result was not 0
};

/// One command of a line, its text as typed (escapes, quotes and blanks included).
struct LinePiece {
    std::wstring Text;
    int Connector;
};

/// Splits a line at each command separator ("&", or what setdos /C chose) and at the
/// conditionals "&&" and "||" (whatever the separator) that are neither quoted,
/// back-quoted nor escaped; empty pieces are kept. While feature 5 is off the line is one
/// piece and "|" is text. Returns 0, or 1 with message for a pipe ("|" or "|&"), which
/// this shell cannot run: then nothing of the line may run.
int SplitCommands(const std::wstring &line, std::vector<LinePiece> *pieces,
                  std::wstring *message);

/// One command after expansion.
struct ParsedCommand {
    std::wstring Name;       // without a leading "*" or "@"
    std::wstring Arguments;  // after the name and its blanks; trailing blanks that were
                             // typed unescaped are gone
    std::wstring RedirectFile;
    int Redirect;  // 0 none, 1 ">", 2 ">>"
};

/// Takes the redirections out of an expanded command (while redirection is on) and
/// splits the rest into name and arguments. Returns 0, or 1 with message (a refused "<",
/// a ">" without a file).
int ParseCommand(const MarkedText &command, ParsedCommand *parsed, std::wstring *message);

/// Runs a line: each command in turn, expanded just before it runs, conditionals obeyed.
/// Returns the result of the last command run (0 for a line with none; 1 for a refused
/// pipe). Stops early after "exit".
int RunLine(const std::wstring &line);

}  // namespace vsh

#endif
