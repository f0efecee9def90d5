// The parsing settings of the command language (setdos): the escape character, the
// command separator and the features that /X switches off and on.
#ifndef VSHELL_SETTINGS_H
#define VSHELL_SETTINGS_H

#include <string>

namespace vsh {

/// The parsing features that "setdos /X-n" switches off one at a time.
enum ParsingFeature {
    FEATURE_ALIASES = 1,         // kept and reported only: the shell has no aliases
    FEATURE_NESTED_ALIASES = 2,  // likewise
    FEATURE_VARIABLES = 3,       // "%" forms in command lines
    FEATURE_NESTED_VARIABLES = 4,
    FEATURE_SEPARATOR = 5,
    FEATURE_REDIRECTION = 6,
    FEATURE_QUOTING = 7,  // double quotes and back quotes
    FEATURE_ESCAPE = 8,
    FEATURE_INCLUDE_LISTS = 9,  // kept and reported only
};

/// The settings setdos changes; the shell's own live in its state record.
struct ParsingSettings {
    wchar_t EscapeChar;
    wchar_t Separator;
    unsigned FeaturesOff;  // bit n set while feature n is off
};

/// True while the shell's parsing feature (ParsingFeature) is on.
bool FeatureOn(int feature);

/// The digits of the shell's features switched off, ascending; empty while all are on.
std::wstring FeaturesOffText(void);

/// Applies the setdos arguments (blank-separated /Ec, /Cc, /X0, /X-n..., /X+n...) to
/// *settings in order. Returns 0, or 1 with message, *settings then unchanged.
int ParseSetdos(const std::wstring &arguments, ParsingSettings *settings,
                std::wstring *message);

/// The lines "setdos" alone prints for these settings, each ending in "\r\n".
std::wstring DescribeSettings(const ParsingSettings &settings);

/// The setdos command: lists the shell's settings, or changes them all or none.
/// Returns 0, or 1 after a message.
int RunSetdos(const std::wstring &arguments);

}  // namespace vsh

#endif
