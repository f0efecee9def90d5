// The help texts are part of the plug-in's interface: "VESK /?" prints them, Help shows
// them and Usage cuts the syntax part out of the command's. Change them byte for byte
// with care; only the syntax line ends in "\r\n".
#include "commands/help_texts.h"

const wchar_t CommandHelp[] =
    L"Find the n largest (smallest, etc.) files and sort them into an array.\n"
    L"\n"
    L"VESK /A: /C:sep /I /R /T: /U /V /Z n criterion array filespec...\r\n"
    L"\n"
    L"\t/A:  attributes mask\n"
    L"\t/C:  time separator character\n"
    L"\t/I   date stamps in ISO 8601 format, YYYY-MM-DD\n"
    L"\t/R   recurse into subdirectories\n"
    L"\t/T:  date stamp to use; default is W\n"
    L"\t/U   date stamps as UTC, not localized\n"
    L"\t/V   dump array to stdout\n"
    L"\t/Z   localize date stamps dumbly, like DIR\n"
    L"\n"
    L"\tn    number of files to return; defaults to 10\n"
    L"\tcriterion is LARGEST, SMALLEST, OLDEST, NEWEST; or /L /S /O /N  \n"
    L"\n"
    L"An n-by-3 array will be created to hold the resulting list of files.\n";

const wchar_t VariableHelp[] =
    L"_VESK\n"
    L"\n"
    L"Returns the number of rows stored by the last VESK command.  \n";

const wchar_t FunctionHelp[] =
    L"@VESK[filespec,criterion,attribs,flags,stamp]\n"
    L"\n"
    L"criterion is L, S, O, or N for Largest, Smallest, Oldest, Newest\n"
    L"flags is bitmapped:  1 recurse, 2 no junctions, 4 no hidden dirs  \n"
    L"stamp is A, C, or W for last Access, Creation, or last Write\n"
    L"\n"
    L"Returns the full name of the single largest (smallest, etc.)\n"
    L"matching file.\n";
