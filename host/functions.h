// The shell's own variable functions and the dispatch of a "%@name[...]" call to them
// or to a plug-in. The shell's own: @comma[n], @descript[file], @wild[text,pattern]
// (1 when the text matches the file-name pattern, else 0), @truename[path], and
// @upper[text] and @lower[text] (the text in upper or lower case).
#ifndef VSHELL_FUNCTIONS_H
#define VSHELL_FUNCTIONS_H

#include <string>

namespace vsh {

enum { FUNCTION_OK = 0, FUNCTION_FAILED = 1, FUNCTION_UNKNOWN = 2 };

/// Calls the function name (with its "@") with the expanded argument text: a plug-in's
/// function first, then the shell's own. Returns FUNCTION_OK with the result, or
/// FUNCTION_FAILED / FUNCTION_UNKNOWN.
int CallVariableFunction(const std::wstring &name, const std::wstring &arguments,
                         std::wstring *result);

/// @comma: the number with its integer digits grouped in threes with ","; a text that
/// is not a number (optional sign, digits, optional "." and digits) comes back as is.
std::wstring GroupDigits(const std::wstring &text);

/// @ascii: the code point of each character of text in decimal, separated by one blank
/// (a UTF-16 surrogate pair is one character); empty for the empty text.
std::wstring CharacterCodes(const std::wstring &text);

/// One line of a description file: the name (in double quotes when it holds blanks)
/// then blanks and the description. Returns false for a line that names no file.
bool ParseDescriptionLine(const std::wstring &line, std::wstring *name,
                          std::wstring *description);

/// The description of fileName in the text of a description file; empty when none.
std::wstring FindDescription(const std::wstring &fileText, const std::wstring &fileName);

/// @descript: the description of the file (a quoted argument is accepted) from the
/// description file of its directory; empty when there is none. As the file holds it:
/// possibly longer than a line, or holding a NUL.
std::wstring DescriptionOf(const std::wstring &file);

/// What @descript hands back of description into *result: FUNCTION_OK with the text
/// when it is whole (no NUL, at most MAX_LINE_LEN characters); else, as
/// Shell.Reading.DescriptionsWhole says, FUNCTION_FAILED, or FUNCTION_OK with the text up to the
/// NUL and at most MAX_LINE_LEN characters.
int HandOverDescription(const std::wstring &description, std::wstring *result);

}  // namespace vsh

#endif
