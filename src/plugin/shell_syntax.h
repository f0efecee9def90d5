// The shell's parsing settings as they stand for one command (escape character,
// command separator, the features SETDOS /X switched off), and the escaping that makes
// the shell take a text exactly as it is under them.
#ifndef VESK_SHELL_SYNTAX_H
#define VESK_SHELL_SYNTAX_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/// The parsing features SETDOS /X numbers, as far as the plug-in's texts meet them.
enum {
    FEATURE_ALIASES = 1,
    FEATURE_VARIABLES = 3,
    FEATURE_NESTED_VARIABLES = 4,
    FEATURE_SEPARATOR = 5,  ///< the separator, pipes and conditional commands
    FEATURE_REDIRECTION = 6,
    FEATURE_QUOTING = 7,  ///< double quotes and back quotes
    FEATURE_ESCAPE = 8,
};

/// Which of the settings the shell would not tell (ShellSyntax::Unknown).
enum {
    UNKNOWN_ESCAPE = 1,     ///< "%=" unexpanded, empty or not one possible character
    UNKNOWN_SEPARATOR = 2,  ///< likewise "%+"
    UNKNOWN_FEATURES = 4,   ///< "%_expansion" not in a documented form
};

/// The settings of the moment. Plain values; nothing to free.
struct ShellSyntax {
    wchar_t Escape;     ///< the escape character ("%=")
    wchar_t Separator;  ///< the command separator ("%+")
    uint32_t Off;       ///< bit n set while feature n (1 to 9) is switched off
    uint32_t Unknown;   ///< UNKNOWN_* bits: a setting read no answer, never a default
};

/// The settings read at the start of the current command or function call. Plug-in-wide;
/// the exports set it at entry.
extern ShellSyntax CallSyntax;

/// The shell's defaults: '^', '&', every feature on, all known.
ShellSyntax DefaultShellSyntax(void);

/// Asks the shell for its settings: one expansion each of "%=", "%+" and "%_expansion".
/// What comes back in no documented form is marked unknown, not assumed.
ShellSyntax ReadShellSyntax(void);

/// True while feature (1 to 9) is switched off. Says nothing about unknown features:
/// ask FeatureMayBeOn or FeatureSurelyOn instead.
bool IsFeatureOff(const ShellSyntax *syntax, int feature);

/// True unless feature (1 to 9) is known to be switched off: on, or the features were not
/// told. What a line must be guarded against.
bool FeatureMayBeOn(const ShellSyntax *syntax, int feature);

/// True when the features were told and feature (1 to 9) is on. What a line may rely on.
bool FeatureSurelyOn(const ShellSyntax *syntax, int feature);

/// True when every setting is known and the escape character is on: escaping surely works.
bool EscapeWorks(const ShellSyntax *syntax);

/// Where an escaped text is going.
enum EscapeTarget {
    /// A value in a command line handed to the Command service ("set A[0,0]=text").
    FOR_COMMAND_LINE = 0,
    /// An argument of a variable function in a text handed to ExpandVariables, as it
    /// stands ("%@comma[1234]").
    FOR_FUNCTION_ARGUMENT = 1,
    /// The same between double quotes the caller writes around it, which it does only
    /// while quoting is surely on ("%@descript["C:\a,b"]").
    FOR_QUOTED_ARGUMENT = 2,
};

/// What EscapeForShell found when it could not escape a text.
enum EscapeProblem {
    ESCAPE_FINE = 0,
    ESCAPE_NO_ROOM,          ///< out is too small
    ESCAPE_NEEDS_ESCAPE,     ///< a character must be escaped while the escape is off
    ESCAPE_EDGE_BLANK,       ///< blanks at an end must be escaped while the escape is off
    ESCAPE_LETTER_CODE,      ///< a character to escape is a letter the escape turns into another
    ESCAPE_UNKNOWN,          ///< a character needs escaping and the settings are unknown
    /// With the escape off, a character that the feature in force makes syntax of a
    /// command line: the separator, "&&", "|" (FEATURE_SEPARATOR); "<", ">"
    /// (FEATURE_REDIRECTION); double and back quotes (FEATURE_QUOTING).
    ESCAPE_SEPARATOR_SYNTAX,
    ESCAPE_REDIRECTION_SYNTAX,
    ESCAPE_QUOTING_SYNTAX,
    /// With the escape off, "[", "]" or "," in a function's argument that no quotes hold.
    ESCAPE_ARGUMENT_SYNTAX,
};

/// True for a character that some setting or feature the shell documents makes special
/// in a line: the separator, "&" (conditionals), "|", "<", ">", the escape character,
/// back quotes and double quotes. Escaping it costs nothing in any other reading.
bool IsShellSpecial(const ShellSyntax *syntax, wchar_t c);

/// Writes into out (capacity characters, terminator included) the text that the shell,
/// under syntax, reads back as exactly text at target. While the escape works every
/// character some setting could make special is escaped; while it is off, every target
/// keeps every character that the features in force leave plain (the escape character
/// itself among them) and refuses only one they make syntax there, by one rule for the
/// rows and the descriptions alike. Returns
/// ESCAPE_FINE, or the problem; out is then the empty text and *culprit (when not null)
/// the character at fault (0 for no room).
int EscapeForShell(const ShellSyntax *syntax, int target, const wchar_t *text, wchar_t *out,
                   size_t capacity, wchar_t *culprit);

/// The words that explain an EscapeProblem in a message, after the text's own name
/// ("holds ...", "begins or ends ...", "would make ..."), filled into
/// buffer (capacity characters). Returns buffer.
const wchar_t *DescribeEscapeProblem(int problem, wchar_t culprit, wchar_t *buffer,
                                     size_t capacity);

/// Copies text into out (capacity characters) with every "%" doubled, so that the
/// shell's nested expansion of a function's result gives text back unchanged. 0, or -1
/// when out is too small (out is then the empty text).
int DoublePercents(const wchar_t *text, wchar_t *out, size_t capacity);

#endif
