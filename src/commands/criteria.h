// The letters that name a criterion and a file stamp, shared by the command's switches and
// the function's arguments.
#ifndef VESK_CRITERIA_H
#define VESK_CRITERIA_H

#include <wchar.h>

/// What the readers below give for a character that names nothing.
enum { NO_CRITERION = 0, NO_STAMP = -1 };

/// The MODE_ value of a criterion letter already in upper case (L or B largest, S
/// smallest, O oldest, N newest), or NO_CRITERION for any other character.
int CriterionOfLetter(wchar_t upper);

/// The STAMP_ value of a file-stamp letter already in upper case (W last write, C
/// creation, A last access), or NO_STAMP for any other character.
int StampOfLetter(wchar_t upper);

#endif
