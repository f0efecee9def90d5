// The shell's state: variables, arrays, the batch files being run and the plug-ins.
// One instance for the process; every service and command reads and changes it on the
// one thread that runs commands.
#ifndef VSHELL_STATE_H
#define VSHELL_STATE_H

#include "plugin/exports.h"

#include <map>
#include <string>
#include <vector>

namespace vsh {

/// A variable of the shell. The table is keyed by the upper-cased name (names ignore
/// case); the name keeps the case it was set with.
struct Variable {
    std::wstring Name;
    std::wstring Value;
};

/// An array variable: its dimensions and its cells, row-major.
struct ArrayVariable {
    std::wstring Name;
    std::vector<size_t> Dims;
    std::vector<std::wstring> Cells;
};

/// One batch file being run; the innermost is last.
struct BatchFrame {
    std::wstring FullName;           // _batchname
    std::vector<std::wstring> Args;  // %0 .. %n
    long Line;                       // _batchline, 1-based
};

/// One name a plug-in implements.
enum NameKind { NAME_COMMAND = 0, NAME_VARIABLE = 1, NAME_FUNCTION = 2 };
struct PluginName {
    std::wstring Name;  // as listed, e.g. "vesk", "_vesk", "@vesk"
    NameKind Kind;
    void *Entry;  // CommandFn for a command, VariableFn for the others
};

struct Plugin {
    std::wstring File;     // as shown in messages
    void *Library;         // null for a plug-in linked into the program
    PluginInfo *Info;
    HelpFn Help;
    UsageFn Usage;
    ShutdownPluginFn Shutdown;
    std::vector<PluginName> Names;
};

/// The readings of rules that the real shell's documentation leaves open (host/README.md
/// names each and what the documentation says); vshell's options choose the other
/// reading of each. Plain values.
struct Readings {
    bool RereadFunctionResults;  // a function's result is read again for "%" forms
    bool ExpandedOperatorsAct;   // separators, conditionals, pipes, redirection and double
                                 // quotes that an expansion gave are syntax of the line
    bool ExpandedEscapesAct;     // likewise the escape character and back quotes
    bool EscapeContinuesLine;    // an escape character ending a batch line joins the next
    bool DescriptionsWhole;      // @descript fails for a description it cannot hand over
                                 // whole (longer than a line, or holding a NUL); the other
                                 // reading cuts it at the NUL and to a line
};

/// The readings the documentation leans to: all true.
Readings DefaultReadings(void);

struct ShellState {
    std::map<std::wstring, Variable> Variables;
    std::map<std::wstring, ArrayVariable> Arrays;
    std::vector<BatchFrame> Batches;
    std::vector<Plugin> Plugins;
    int LastResult;
    bool ExitRequested;
    int ExitStatus;
    int CommandDepth;  // nesting of Command calls, against runaway recursion
    bool Transient;    // started for one command line or one batch file, then exits
    // The parsing settings of setdos: they live as long as the process, as in the real
    // shell, and a new shell starts with the defaults.
    wchar_t EscapeChar = L'^';
    wchar_t Separator = L'&';
    unsigned FeaturesOff = 0;  // bit n set while feature n of "setdos /X" is off (1..9)
    // "%=" and "%+" give the escape character and the separator; the real shell has an
    // option that turns them off, and then they stay as typed (vshell --no-pseudo-variables).
    bool PseudoVariables = true;
    Readings Reading = DefaultReadings();
};


extern ShellState Shell;

/// Limits of the command language.
enum {
    MAX_LINE_LEN = HOST_BUFFER_LEN - 1,  // characters of a command line after expansion
    MAX_NESTING = 64,                    // nested batch files / Command calls
    MAX_ARRAY_CELLS = 1 << 20,
    MAX_ARRAY_DIMS = 4,
    MAX_EXPANSION_ROUNDS = 16,  // times a variable's value is read again for "%" forms
};

/// Upper case of c for names, the same in every locale and on every build: the simple
/// mapping of the Basic Multilingual Plane (UpperCaseOf).
wchar_t FoldCase(wchar_t c);

/// text without the white space at either end.
std::wstring TrimBlanks(const std::wstring &text);

/// Upper-cased copy of name (FoldCase): the key of the variable and array tables.
std::wstring NameKey(const std::wstring &name);

/// Puts the shell in its starting state (no variables, arrays, batch files or plug-ins,
/// the default parsing settings; the plug-ins are not unloaded). Then fills the variables from the environment when
/// withEnvironment is true.
void ResetShell(bool withEnvironment);

}  // namespace vsh

#endif
