// The letters that name a criterion and a file stamp, shared by the command's switches and
// the function's arguments.
#ifndef VESK_CRITERIA_H
#define VESK_CRITERIA_H

#include <wchar.h>

/// The MODE_ value of a criterion letter already in upper case (L or B largest, S
/// smallest, O oldest, N newest), or 0 for any other character.
int CriterionOfLetter(wchar_t upper);

/// The STAMP_ value of a file-stamp letter already in upper case (W last write, C
/// creation, A last access), or -1 for any other character.
int StampOfLetter(wchar_t upper);

#endif
