// Splits the argument text the shell hands to a command or a variable function into
// the plug-in-wide argument vector HostArgs.
#ifndef VESK_TOKENIZER_H
#define VESK_TOKENIZER_H

#include <stdint.h>
#include <wchar.h>

enum { MAX_ARGS = 1024, MAX_ARG_LEN = 8192 };

/// Mode bits of TokenizeArgs.
enum {
    SplitOnBlanks = 1,  ///< white space outside quotes ends an argument
    SplitOnCommas = 2,  ///< a comma outside quotes ends an argument, even an empty one
    SplitSwitches = 4,  ///< "/" outside quotes starts a new switch after one of 2+ chars
};

struct HostArgsRecord {
    int32_t ArgCount;
    wchar_t *Args[MAX_ARGS];       ///< into ArgText; null for an argument with no character
    int32_t ArgLengths[MAX_ARGS];  ///< 0 for an empty argument
    wchar_t ArgText[MAX_ARG_LEN];
};

/// The arguments of the current call; valid until the next TokenizeArgs.
extern HostArgsRecord HostArgs;

/// Fills HostArgs from text. Returns the number of arguments, or -1 when text is null
/// (HostArgs untouched) or the characters overflow ArgText (message printed, ArgCount 0).
int TokenizeArgs(const wchar_t *text, int mode);

#endif
