// The help texts of the command, the variable and the function.
#ifndef VESK_HELP_TEXTS_H
#define VESK_HELP_TEXTS_H

#include <wchar.h>

/// The three help texts, shown by Help and printed by "VESK /?".
extern const wchar_t CommandHelp[];
extern const wchar_t VariableHelp[];
extern const wchar_t FunctionHelp[];

#endif
