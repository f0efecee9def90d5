// The shell's built-in commands.
#ifndef VSHELL_BUILTINS_H
#define VSHELL_BUILTINS_H

#include <string>

namespace vsh {

/// Runs the built-in command name (ignoring case) with its argument text. Returns
/// false when there is no such built-in; otherwise *result is its result.
bool RunBuiltin(const std::wstring &name, const std::wstring &arguments, int *result);

}  // namespace vsh

#endif
