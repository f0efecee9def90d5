#include "command_line.h"

#include "batch.h"
#include "builtins.h"
#include "messages.h"
#include "os.h"
#include "plugins.h"
#include "settings.h"
#include "state.h"

#include <wctype.h>

namespace vsh {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// A command that could not even start: reported, result 1.
int Refuse(const std::wstring &message) { return ShellError(L"%s\r\n", message.c_str()); }

int Dispatch(const ParsedCommand &command)
{
    const PluginName *entry = FindPluginName(command.Name, NAME_COMMAND);
    if (entry) return CallPluginCommand(*entry, command.Arguments);
    // A batch file runs its lines through this command line; the other built-ins need
    // none of it.
    if (NameKey(command.Name) == L"CALL") return RunCall(command.Arguments, RunLine);
    int result = 0;
    if (RunBuiltin(command.Name, command.Arguments, &result)) return result;
    if (LooksLikeBatchFile(command.Name))
        return CallBatchFile(command.Name, command.Arguments, RunLine);
    return ShellError(L"unknown command \"%s\"\r\n", command.Name.c_str());
}

// Splits an expanded command where what an expansion gave acts as syntax (the reading
// in which expansion comes before parsing): at the separator and the conditionals that
// are neither literal nor quoted. Typed ones were split before expansion, so only those
// an expansion gave are left. Returns 0, or 1 with message for a pipe.
int SplitExpanded(const MarkedText &text, std::vector<MarkedText> *parts,
                  std::vector<int> *connectors, std::wstring *message)
{
    parts->assign(1, MarkedText());
    connectors->assign(1, AFTER_ANY);
    if (!FeatureOn(FEATURE_SEPARATOR)) {
        (*parts)[0] = text;
        return 0;
    }
    bool quoting = FeatureOn(FEATURE_QUOTING);
    bool quoted = false;
    for (size_t i = 0; i < text.Text.size(); ++i) {
        wchar_t c = text.Text[i];
        bool op = text.Literal[i] == TYPED;
        bool nextOp = i + 1 < text.Text.size() && text.Literal[i + 1] == TYPED;
        wchar_t next = nextOp ? text.Text[i + 1] : 0;
        if (op && quoting && c == L'"') quoted = !quoted;
        int connector = -1;
        if (op && !quoted) {
            if (c == L'&' && next == L'&') connector = AFTER_SUCCESS;
            else if (c == L'|' && next == L'|') connector = AFTER_FAILURE;
            else if (c == Shell.Separator) connector = AFTER_ANY;
            else if (c == L'|') {
                *message = next == L'&' ? L"pipes (\"|&\") are not supported"
                                        : L"pipes (\"|\") are not supported";
                return 1;
            }
        }
        if (connector < 0) {
            parts->back().Text.push_back(c);
            parts->back().Literal.push_back(text.Literal[i]);
            continue;
        }
        if (connector != AFTER_ANY) ++i;
        parts->push_back(MarkedText());
        connectors->push_back(connector);
    }
    return 0;
}

// Runs one expanded command; *ran stays false for a command that is only blanks.
int RunExpanded(const MarkedText &expanded, bool *ran)
{
    *ran = false;
    ParsedCommand command;
    std::wstring message;
    if (ParseCommand(expanded, &command, &message) != 0) {
        *ran = true;
        return Refuse(message);
    }
    if (command.Name.empty()) {
        if (!command.Redirect) return 0;
        *ran = true;
        return Refuse(L"a redirection needs a command");
    }
    *ran = true;
    Redirect saved = {0, 0};
    if (command.Redirect) {
        if (OsBeginRedirect(command.RedirectFile.c_str(), command.Redirect == 2, &saved) != 0)
            return Refuse(L"cannot open \"" + command.RedirectFile + L"\" for output");
    }
    int result = Dispatch(command);
    OsEndRedirect(&saved);
    return result;
}

// Runs one command of a line, and the commands its expansion made of it; *ran stays
// false when none ran.
int RunOne(const std::wstring &raw, bool *ran)
{
    *ran = false;
    size_t start = 0;
    while (start < raw.size() && IsBlank(raw[start])) ++start;
    if (start == raw.size()) return 0;
    *ran = true;
    if (raw.size() > MAX_LINE_LEN) return Refuse(L"command line too long");

    MarkedText expanded;
    std::wstring message;
    int code = ExpandText(raw.c_str(), raw.size(), MAX_LINE_LEN, &expanded, &message);
    if (code != EXPAND_OK) return Refuse(message);
    ParseExpansions(&expanded);

    std::vector<MarkedText> parts;
    std::vector<int> connectors;
    if (SplitExpanded(expanded, &parts, &connectors, &message) != 0) return Refuse(message);
    *ran = false;
    int result = 0;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (Shell.ExitRequested) break;
        if (connectors[k] == AFTER_SUCCESS && Shell.LastResult != 0) continue;
        if (connectors[k] == AFTER_FAILURE && Shell.LastResult == 0) continue;
        bool partRan = false;
        int r = RunExpanded(parts[k], &partRan);
        if (!partRan) continue;
        *ran = true;
        result = r;
        Shell.LastResult = r;
    }
    return result;
}

}  // namespace

int SplitCommands(const std::wstring &line, std::vector<LinePiece> *pieces,
                  std::wstring *message)
{
    pieces->clear();
    if (!FeatureOn(FEATURE_SEPARATOR)) {
        pieces->push_back({line, AFTER_ANY});
        return 0;
    }
    wchar_t escape = FeatureOn(FEATURE_ESCAPE) ? Shell.EscapeChar : 0;
    bool quoting = FeatureOn(FEATURE_QUOTING);
    LinePiece current = {std::wstring(), AFTER_ANY};
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        wchar_t c = line[i];
        wchar_t next = i + 1 < line.size() ? line[i + 1] : 0;
        if (escape && c == escape && i + 1 < line.size()) {
            current.Text.push_back(c);
            current.Text.push_back(line[++i]);
            continue;
        }
        if (quoting && c == L'"') quoted = !quoted;
        if (quoting && c == L'`' && !quoted) {
            size_t close = line.find(L'`', i + 1);
            if (close != std::wstring::npos) {
                current.Text.append(line, i, close - i + 1);
                i = close;
                continue;
            }
        }
        if (quoted) {
            current.Text.push_back(c);
            continue;
        }
        // The conditionals keep their characters whatever the separator is.
        int connector = -1;
        if (c == L'&' && next == L'&') connector = AFTER_SUCCESS;
        else if (c == L'|' && next == L'|') connector = AFTER_FAILURE;
        else if (c == Shell.Separator) connector = AFTER_ANY;
        else if (c == L'|') {
            *message = next == L'&' ? L"pipes (\"|&\") are not supported"
                                    : L"pipes (\"|\") are not supported";
            pieces->clear();
            return 1;
        }
        if (connector < 0) {
            current.Text.push_back(c);
            continue;
        }
        if (connector != AFTER_ANY) ++i;
        pieces->push_back(current);
        current.Text.clear();
        current.Connector = connector;
    }
    pieces->push_back(current);
    return 0;
}

int ParseCommand(const MarkedText &command, ParsedCommand *parsed, std::wstring *message)
{
    const std::wstring &text = command.Text;
    const std::vector<char> &literal = command.Literal;
    size_t n = text.size();
    std::wstring body;
    std::vector<char> bodyLiteral;
    parsed->Name.clear();
    parsed->Arguments.clear();
    parsed->RedirectFile.clear();
    parsed->Redirect = 0;

    bool quoting = FeatureOn(FEATURE_QUOTING);
    bool redirection = FeatureOn(FEATURE_REDIRECTION);
    bool quoted = false;
    size_t i = 0;
    while (i < n) {
        wchar_t c = text[i];
        bool op = !literal[i];
        if (op && quoting && c == L'"') quoted = !quoted;
        op = op && redirection;
        if (op && !quoted && c == L'<') {
            *message = L"input redirection (\"<\") is not supported";
            return 1;
        }
        if (op && !quoted && c == L'>') {
            int kind = 1;
            ++i;
            if (i < n && text[i] == L'>' && !literal[i]) {
                kind = 2;
                ++i;
            }
            while (i < n && IsBlank(text[i]) && !literal[i]) ++i;
            std::wstring file;
            bool fileQuoted = false;
            while (i < n) {
                wchar_t f = text[i];
                bool fop = !literal[i];
                if (fop && quoting && f == L'"') {
                    fileQuoted = !fileQuoted;
                    ++i;
                    continue;
                }
                if (fop && !fileQuoted && (IsBlank(f) || f == L'>' || f == L'<')) break;
                file.push_back(f);
                ++i;
            }
            if (file.empty()) {
                *message = L"missing file name after \">\"";
                return 1;
            }
            parsed->Redirect = kind;
            parsed->RedirectFile = file;
            continue;
        }
        body.push_back(c);
        bodyLiteral.push_back(literal[i]);
        ++i;
    }

    // Unescaped blanks at the end go; escaped ones (and those a variable gave) stay.
    size_t end = body.size();
    while (end > 0 && IsBlank(body[end - 1]) && !bodyLiteral[end - 1]) --end;
    size_t start = 0;
    while (start < end && IsBlank(body[start])) ++start;
    while (start < end && !bodyLiteral[start] && (body[start] == L'*' || body[start] == L'@')) {
        ++start;
        while (start < end && IsBlank(body[start])) ++start;
    }
    size_t nameEnd = start;
    while (nameEnd < end && !IsBlank(body[nameEnd])) ++nameEnd;
    parsed->Name = body.substr(start, nameEnd - start);
    size_t argStart = nameEnd;
    while (argStart < end && IsBlank(body[argStart])) ++argStart;
    parsed->Arguments = body.substr(argStart, end - argStart);
    return 0;
}

int RunLine(const std::wstring &line)
{
    std::vector<LinePiece> pieces;
    std::wstring message;
    if (SplitCommands(line, &pieces, &message) != 0) {
        Shell.LastResult = Refuse(message);
        return Shell.LastResult;
    }
    int result = 0;
    for (const LinePiece &piece : pieces) {
        if (Shell.ExitRequested) break;
        if (piece.Connector == AFTER_SUCCESS && Shell.LastResult != 0) continue;
        if (piece.Connector == AFTER_FAILURE && Shell.LastResult == 0) continue;
        bool ran = false;
        int r = RunOne(piece.Text, &ran);
        if (!ran) continue;  // an empty command changes nothing
        result = r;
        Shell.LastResult = r;
    }
    return result;
}

}  // namespace vsh

extern "C" HOST_SERVICE int HOST_CALL Command(const wchar_t *line, int)
{
    if (!line) return 1;
    if (vsh::Shell.CommandDepth >= vsh::MAX_NESTING) {
        return vsh::ShellError(L"commands nested too deeply\r\n");
    }
    ++vsh::Shell.CommandDepth;
    int result = vsh::RunLine(line);
    --vsh::Shell.CommandDepth;
    return result;
}
