// Shell variables, the shell's internal variables and array variables.
#ifndef VSHELL_VARIABLES_H
#define VSHELL_VARIABLES_H

#include "state.h"

#include <string>
#include <vector>

namespace vsh {

/// Results of LookupVariable.
enum { LOOKUP_FOUND = 0, LOOKUP_UNDEFINED = 1, LOOKUP_FAILED = -1 };

/// The value of a variable: a shell variable (the environment is copied into those at
/// start), a plug-in's variable, or an internal one such as _4ver or _cwds. Returns
/// LOOKUP_FOUND, LOOKUP_UNDEFINED (value empty) or LOOKUP_FAILED (a plug-in variable
/// reported failure).
int LookupVariable(const std::wstring &name, std::wstring *value);

/// Sets a shell variable; an empty value removes it.
void SetVariable(const std::wstring &name, const std::wstring &value);

/// The internal variable's value, or false when name is not one of them.
bool InternalVariable(const std::wstring &name, std::wstring *value);

/// The array of that name (ignoring case), or null.
ArrayVariable *FindArray(const std::wstring &name);

/// Declares an array from "NAME[d1,d2,...]". Returns 0, or 1 with a message in error.
int DefineArray(const std::wstring &declaration, std::wstring *error);

/// Removes an array. Returns 0, or 1 when there is none of that name.
int RemoveArray(const std::wstring &name);

/// Index of the cell named by the index text (between the brackets: "i,j", blanks
/// around numbers allowed) in array. Returns 0, or 1 with a message in error.
int ArrayCellIndex(const ArrayVariable &array, const std::wstring &indexText, size_t *cell,
                   std::wstring *error);

}  // namespace vsh

#endif
