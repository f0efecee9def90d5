// Expansion of variables, array elements, batch arguments and variable functions, and
// the escapes, in the text of a command or of a service call.
#ifndef VSHELL_EXPAND_H
#define VSHELL_EXPAND_H

#include <stddef.h>
#include <string>
#include <vector>
#include <wchar.h>

namespace vsh {

/// Where a character of an expanded text came from (MarkedText::Literal).
enum CharOrigin {
    TYPED = 0,     ///< typed in the line: syntax where the settings make it so
    LITERAL = 1,   ///< escaped, back-quoted, or what "%%", "%=" and "%+" gave: never syntax
    EXPANDED = 2,  ///< what a variable, array cell, function or batch argument gave: syntax
                   ///< or not as the readings say, once ParseExpansions has run
};

/// Text with a CharOrigin per character.
struct MarkedText {
    std::wstring Text;
    std::vector<char> Literal;
};

enum ExpandCode {
    EXPAND_OK = 0,
    EXPAND_OVERFLOW = 1,         // the result would exceed the limit
    EXPAND_MALFORMED = 2,        // "[" without its "]", or nested too deeply
    EXPAND_FUNCTION_FAILED = 3,  // a variable function or plug-in variable said no
    EXPAND_UNKNOWN_FUNCTION = 4,
    EXPAND_BAD_INDEX = 5,  // an array element that does not exist
    EXPAND_TOO_DEEP = 6,   // values read again too many times (a value that names itself)
};

/// What is expanded: a command line (every parsing setting in force) or the text of an
/// ExpandVariables call ("%" forms even while /X-3 is set; no back quotes).
enum ExpandMode { EXPAND_COMMAND_LINE = 0, EXPAND_SERVICE = 1 };

/// Expands len characters of text into out (replacing it) under the shell's parsing
/// settings, failing when the result would have more than limit characters. A value
/// holding "%" is read again for "%" forms only while nested expansion is on (a
/// function's result only under that reading); what values give is marked EXPANDED.
/// Returns an ExpandCode; on failure message says what went wrong (for the command line
/// to report) and out is unspecified.
int ExpandText(const wchar_t *text, size_t len, size_t limit, MarkedText *out,
               std::wstring *message, int mode = EXPAND_COMMAND_LINE);

/// Reads what expansions gave in an expanded command line as the readings say: the
/// escape character (with its letter codes) and back quotes in it act, as typed ones do,
/// and the rest may be syntax like typed text, or is literal. Afterwards no character
/// of text is EXPANDED.
void ParseExpansions(MarkedText *text);

/// Position of the "]" that closes the "[" at open in a command line, skipping nested
/// brackets, quoted parts and escaped characters as the settings say; npos when there
/// is none.
size_t FindClosingBracket(const wchar_t *text, size_t len, size_t open);

}  // namespace vsh

#endif
