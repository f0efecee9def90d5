#include "expand.h"

#include "functions.h"
#include "plugin/host_api.h"
#include "settings.h"
#include "state.h"
#include "text/name_chars.h"
#include "variables.h"

#include <string.h>
#include <wchar.h>

namespace vsh {

namespace {

enum {
    MAX_FUNCTION_NESTING = 64,
    // Characters of values read again in one expansion: a few values that each name
    // several others would otherwise multiply into years of work without growing the
    // result at all (empty values).
    MAX_REREAD_WORK = 1 << 22,
};

struct Expander {
    MarkedText *Out;
    size_t Limit;
    std::wstring *Message;
    int Depth;         // brackets of functions, "%[...]" and array indexes
    int Rounds;        // values being read again, one inside the other
    size_t *Work;      // characters read again so far, shared by the whole expansion
    wchar_t Escape;    // the escape character, or 0 while nothing escapes
    bool Percents;     // "%" forms expand
    bool BackQuotes;   // back quotes take their text literally
    bool Quotes;       // double quotes group
    bool Nested;       // values holding "%" are read again
    bool ReRead;       // reading a value again: everything it gives is literal
    bool InDouble;     // inside double quotes, where a back quote is an ordinary character
};

/// origin is a CharOrigin; a character read again from a value counts as EXPANDED
/// unless something made it literal.
bool Push(Expander *e, wchar_t c, char origin)
{
    if (e->Out->Text.size() >= e->Limit) return false;
    e->Out->Text.push_back(c);
    e->Out->Literal.push_back(origin != TYPED ? origin : e->ReRead ? (char)EXPANDED : (char)TYPED);
    return true;
}

bool PushAll(Expander *e, const wchar_t *text, size_t len, char origin)
{
    if (len > e->Limit - e->Out->Text.size()) return false;
    e->Out->Text.append(text, len);
    e->Out->Literal.insert(e->Out->Literal.end(), len, origin);
    return true;
}

bool PushLiteral(Expander *e, const wchar_t *text, size_t len)
{
    return PushAll(e, text, len, LITERAL);
}

bool PushLiteral(Expander *e, const std::wstring &text)
{
    return PushAll(e, text.data(), text.size(), LITERAL);
}

/// What a value gave, as it is: syntax or not is for ParseExpansions to say.
bool PushExpanded(Expander *e, const std::wstring &text)
{
    return PushAll(e, text.data(), text.size(), EXPANDED);
}

int Overflow(Expander *e)
{
    *e->Message = L"command line too long after expansion";
    return EXPAND_OVERFLOW;
}

// The character that escape + c stands for: a letter code, or c itself.
wchar_t EscapedChar(wchar_t c)
{
    switch (c | 0x20) {
    case L'q': return L'"';
    case L's': return L' ';
    case L'c': return L',';
    case L'k': return L'`';
    case L'r': return L'\r';
    case L'n': return L'\n';
    case L't': return L'\t';
    case L'e': return L'\x1B';
    case L'b': return L'\b';
    case L'f': return L'\f';
    case L'g': return L'\a';
    default: return c;
    }
}

size_t FindBracketClose(const wchar_t *text, size_t len, size_t open, wchar_t escape,
                        bool quotes, bool backQuotes)
{
    int depth = 0;
    for (size_t j = open; j < len; ++j) {
        wchar_t c = text[j];
        if (escape && c == escape) {
            ++j;
        } else if (quotes && c == L'"') {
            // The escape works inside quotes too, so an escaped quote does not end them.
            size_t q = j + 1;
            while (q < len && text[q] != L'"') q += (escape && text[q] == escape && q + 1 < len) ? 2 : 1;
            if (q >= len) return std::wstring::npos;
            j = q;
        } else if (backQuotes && c == L'`') {
            const wchar_t *close = wmemchr(text + j + 1, L'`', len - j - 1);
            if (close) j = (size_t)(close - text);
        } else if (c == L'[') {
            ++depth;
        } else if (c == L']') {
            if (--depth == 0) return j;
        }
    }
    return std::wstring::npos;
}

size_t FindClosingBracketOf(const Expander *e, const wchar_t *text, size_t len, size_t open)
{
    return FindBracketClose(text, len, open, e->Escape, e->Quotes, e->BackQuotes);
}

int Expand(Expander *e, const wchar_t *text, size_t len);

// Expands a bracketed argument text on its own (same limit) into plain text.
int ExpandInner(Expander *e, const wchar_t *text, size_t len, std::wstring *plain)
{
    if (e->Depth >= MAX_FUNCTION_NESTING) {
        *e->Message = L"functions nested too deeply";
        return EXPAND_MALFORMED;
    }
    MarkedText inner;
    Expander sub = *e;
    sub.Out = &inner;
    sub.Depth = e->Depth + 1;
    sub.InDouble = false;
    int code = Expand(&sub, text, len);
    if (code == EXPAND_OK) *plain = inner.Text;
    return code;
}

// What a variable, array cell or function gave: read again for "%" forms while nested
// expansion is on (a function's result only under that reading), and as it is
// otherwise. reference names it in a message.
int PushValue(Expander *e, const std::wstring &value, const std::wstring &reference,
              bool functionResult = false)
{
    bool reread = e->Nested && (!functionResult || Shell.Reading.RereadFunctionResults);
    if (!reread || value.find(L'%') == std::wstring::npos)
        return PushExpanded(e, value) ? EXPAND_OK : Overflow(e);
    if (e->Rounds >= MAX_EXPANSION_ROUNDS) {
        *e->Message = L"\"%" + reference + L"\" expands into itself, or nests more than " +
                      std::to_wstring((int)MAX_EXPANSION_ROUNDS) + L" deep";
        return EXPAND_TOO_DEEP;
    }
    *e->Work += value.size();
    if (*e->Work > MAX_REREAD_WORK) {
        *e->Message = L"\"%" + reference + L"\" expands into too much work";
        return EXPAND_TOO_DEEP;
    }
    Expander sub = *e;
    ++sub.Rounds;
    sub.Escape = 0;
    sub.Percents = true;
    sub.BackQuotes = false;
    sub.ReRead = true;
    sub.InDouble = false;
    return Expand(&sub, value.data(), value.size());
}

std::wstring BatchArgument(int index)
{
    if (Shell.Batches.empty()) return std::wstring();
    const std::vector<std::wstring> &args = Shell.Batches.back().Args;
    if (index >= 0) return (size_t)index < args.size() ? args[(size_t)index] : std::wstring();
    std::wstring all;
    for (size_t i = 1; i < args.size(); ++i) {
        if (i > 1) all.push_back(L' ');
        all += args[i];
    }
    return all;
}

/// A "%" that starts no form: the "%" itself, and the text goes on at *next.
int PushPlainPercent(Expander *e, size_t at, size_t *next)
{
    *next = at;
    return Push(e, L'%', TYPED) ? EXPAND_OK : Overflow(e);
}

/// The bracketed text that begins at text[open] ("["), expanded into *inner; *close is
/// its "]". opening names the form in the message when the "]" is missing.
int ExpandBracketed(Expander *e, const wchar_t *text, size_t len, size_t open,
                    const std::wstring &opening, std::wstring *inner, size_t *close)
{
    *close = FindClosingBracketOf(e, text, len, open);
    if (*close == std::wstring::npos) {
        *e->Message = L"missing \"]\" after \"" + opening + L"\"";
        return EXPAND_MALFORMED;
    }
    return ExpandInner(e, text + open + 1, *close - open - 1, inner);
}

/// "%[NAME]": text[at] is the "[".
int ExpandBracketVariable(Expander *e, const wchar_t *text, size_t len, size_t at, size_t *next)
{
    std::wstring name;
    size_t close = 0;
    int code = ExpandBracketed(e, text, len, at, L"%[", &name, &close);
    if (code != EXPAND_OK) return code;
    std::wstring value;
    if (LookupVariable(name, &value) == LOOKUP_FAILED) {
        *e->Message = L"variable \"" + name + L"\" failed";
        return EXPAND_FUNCTION_FAILED;
    }
    *next = close + 1;
    return PushValue(e, value, L"[" + name + L"]");
}

/// "%@name[args]": text[at] is the "@".
int ExpandFunction(Expander *e, const wchar_t *text, size_t len, size_t at, size_t *next)
{
    size_t end = at + 1;
    while (end < len && IsNameCharacter((uint32_t)text[end])) ++end;
    if (end == at + 1 || end >= len || text[end] != L'[') return PushPlainPercent(e, at, next);
    std::wstring name(text + at, end - at);
    std::wstring args;
    size_t close = 0;
    int code = ExpandBracketed(e, text, len, end, L"%" + name + L"[", &args, &close);
    if (code != EXPAND_OK) return code;
    std::wstring result;
    code = CallVariableFunction(name, args, &result);
    if (code == FUNCTION_UNKNOWN) {
        *e->Message = L"unknown function \"" + name + L"\"";
        return EXPAND_UNKNOWN_FUNCTION;
    }
    if (code != FUNCTION_OK) {
        *e->Message = L"function \"" + name + L"\" failed";
        return EXPAND_FUNCTION_FAILED;
    }
    *next = close + 1;
    return PushValue(e, result, name + L"[...]", true);
}

/// "%NAME[i,j]" of an existing array: text[end] is the "[" after the name. Returns
/// EXPAND_OK with *next set, an error, or -1 when the name is no array (a variable then).
int ExpandArrayCell(Expander *e, const wchar_t *text, size_t len, const std::wstring &name,
                    size_t end, size_t *next)
{
    if (end >= len || text[end] != L'[' || !FindArray(name)) return -1;
    std::wstring index;
    size_t close = 0;
    int code = ExpandBracketed(e, text, len, end, L"%" + name + L"[", &index, &close);
    if (code != EXPAND_OK) return code;
    // The expansion may have run a plug-in that changed the arrays.
    ArrayVariable *array = FindArray(name);
    size_t cell = 0;
    if (!array) {
        *e->Message = L"array \"" + name + L"\" does not exist";
        return EXPAND_BAD_INDEX;
    }
    if (ArrayCellIndex(*array, index, &cell, e->Message) != 0) return EXPAND_BAD_INDEX;
    *next = close + 1;
    // A copy: reading the cell again may run a plug-in that changes the arrays.
    std::wstring value = array->Cells[cell];
    return PushValue(e, value, name + L"[" + index + L"]");
}

/// "%NAME", "%NAME%" or an array cell: text[at] is the name's first character.
int ExpandNamed(Expander *e, const wchar_t *text, size_t len, size_t at, size_t *next)
{
    size_t end = at;
    while (end < len && IsNameCharacter((uint32_t)text[end])) ++end;
    std::wstring name(text + at, end - at);
    int code = ExpandArrayCell(e, text, len, name, end, next);
    if (code >= 0) return code;
    if (end < len && text[end] == L'%') ++end;
    std::wstring value;
    if (LookupVariable(name, &value) == LOOKUP_FAILED) {
        *e->Message = L"variable \"" + name + L"\" failed";
        return EXPAND_FUNCTION_FAILED;
    }
    *next = end;
    return PushValue(e, value, name);
}

// text[i] is the "%". Handles one form and sets *next past it.
int ExpandPercent(Expander *e, const wchar_t *text, size_t len, size_t i, size_t *next)
{
    size_t at = i + 1;
    if (at >= len) return PushPlainPercent(e, at, next);
    wchar_t c = text[at];
    *next = at + 1;
    if (c == L'%') return Push(e, L'%', LITERAL) ? EXPAND_OK : Overflow(e);
    if ((c == L'=' || c == L'+') && Shell.PseudoVariables)
        return Push(e, c == L'=' ? Shell.EscapeChar : Shell.Separator, LITERAL) ? EXPAND_OK
                                                                              : Overflow(e);
    // Batch arguments are never read again for "%" forms, but are values all the same.
    if (c >= L'0' && c <= L'9')
        return PushExpanded(e, BatchArgument(c - L'0')) ? EXPAND_OK : Overflow(e);
    if (c == L'*') return PushExpanded(e, BatchArgument(-1)) ? EXPAND_OK : Overflow(e);
    if (c == L'_' && at + 1 < len && text[at + 1] == L'?') {
        // "%_?": the result of the command before this one.
        *next = at + 2;
        return PushLiteral(e, std::to_wstring(Shell.LastResult)) ? EXPAND_OK : Overflow(e);
    }
    if (c == L'[') return ExpandBracketVariable(e, text, len, at, next);
    if (c == L'@') return ExpandFunction(e, text, len, at, next);
    if (!IsNameCharacter((uint32_t)c)) return PushPlainPercent(e, at, next);
    return ExpandNamed(e, text, len, at, next);
}

int Expand(Expander *e, const wchar_t *text, size_t len)
{
    size_t i = 0;
    while (i < len) {
        wchar_t c = text[i];
        if (e->Escape && c == e->Escape) {
            // A lone escape character at the end has nothing to escape and stays.
            if (i + 1 >= len) {
                if (!Push(e, c, LITERAL)) return Overflow(e);
                ++i;
                continue;
            }
            if (!Push(e, EscapedChar(text[i + 1]), LITERAL)) return Overflow(e);
            i += 2;
            continue;
        }
        if (c == L'%' && e->Percents) {
            size_t next = i + 1;
            int code = ExpandPercent(e, text, len, i, &next);
            if (code != EXPAND_OK) return code;
            i = next;
            continue;
        }
        if (c == L'"' && e->Quotes && !e->ReRead) e->InDouble = !e->InDouble;
        if (c == L'`' && e->BackQuotes && !e->InDouble) {
            // Without its closing back quote a back quote is an ordinary character.
            const wchar_t *close = wmemchr(text + i + 1, L'`', len - i - 1);
            if (close) {
                size_t inside = (size_t)(close - text) - i - 1;
                if (!PushLiteral(e, text + i + 1, inside)) return Overflow(e);
                i += inside + 2;
                continue;
            }
        }
        if (!Push(e, c, TYPED)) return Overflow(e);
        ++i;
    }
    return EXPAND_OK;
}

}  // namespace

void ParseExpansions(MarkedText *text)
{
    const Readings &reading = Shell.Reading;
    const wchar_t escape =
        reading.ExpandedEscapesAct && FeatureOn(FEATURE_ESCAPE) ? Shell.EscapeChar : 0;
    const bool quoting = FeatureOn(FEATURE_QUOTING);
    const bool backQuotes = reading.ExpandedEscapesAct && quoting;
    const char rest = reading.ExpandedOperatorsAct ? (char)TYPED : (char)LITERAL;
    const std::wstring &in = text->Text;
    const std::vector<char> &origin = text->Literal;
    MarkedText out;
    out.Text.reserve(in.size());
    out.Literal.reserve(in.size());
    bool inDouble = false;
    for (size_t i = 0; i < in.size(); ++i) {
        wchar_t c = in[i];
        char from = origin[i];
        if (from != EXPANDED) {
            if (from == TYPED && quoting && c == L'"') inDouble = !inDouble;
            out.Text.push_back(c);
            out.Literal.push_back(from);
            continue;
        }
        // Spliced into the line, an escape at the end of a value escapes what follows it.
        if (escape && c == escape && i + 1 < in.size()) {
            out.Text.push_back(EscapedChar(in[++i]));
            out.Literal.push_back(LITERAL);
            continue;
        }
        if (backQuotes && c == L'`' && !inDouble) {
            size_t close = i + 1;
            while (close < in.size() && !(in[close] == L'`' && origin[close] != LITERAL)) ++close;
            if (close < in.size()) {
                out.Text.append(in, i + 1, close - i - 1);
                out.Literal.insert(out.Literal.end(), close - i - 1, LITERAL);
                i = close;
                continue;
            }
        }
        if (rest == TYPED && quoting && c == L'"') inDouble = !inDouble;
        out.Text.push_back(c);
        out.Literal.push_back(rest);
    }
    *text = out;
}

size_t FindClosingBracket(const wchar_t *text, size_t len, size_t open)
{
    bool quoting = FeatureOn(FEATURE_QUOTING);
    return FindBracketClose(text, len, open, FeatureOn(FEATURE_ESCAPE) ? Shell.EscapeChar : 0,
                            quoting, quoting);
}

int ExpandText(const wchar_t *text, size_t len, size_t limit, MarkedText *out,
               std::wstring *message, int mode)
{
    out->Text.clear();
    out->Literal.clear();
    std::wstring ignored;
    size_t work = 0;
    bool line = mode == EXPAND_COMMAND_LINE;
    Expander e;
    e.Out = out;
    e.Limit = limit;
    e.Message = message ? message : &ignored;
    e.Depth = 0;
    e.Rounds = 0;
    e.Work = &work;
    e.Escape = FeatureOn(FEATURE_ESCAPE) ? Shell.EscapeChar : 0;
    // The service expands on request even while /X-3 keeps "%" out of command lines.
    e.Percents = !line || FeatureOn(FEATURE_VARIABLES);
    e.Quotes = FeatureOn(FEATURE_QUOTING);
    e.BackQuotes = line && e.Quotes;
    e.Nested = FeatureOn(FEATURE_NESTED_VARIABLES);
    e.ReRead = false;
    e.InDouble = false;
    return Expand(&e, text, len);
}

}  // namespace vsh

extern "C" HOST_SERVICE int HOST_CALL ExpandVariables(wchar_t *buffer, int)
{
    if (!buffer) return 1;
    size_t len = 0;
    while (len < HOST_BUFFER_LEN && buffer[len]) ++len;
    if (len >= HOST_BUFFER_LEN) return 1;
    vsh::MarkedText out;
    if (vsh::ExpandText(buffer, len, HOST_BUFFER_LEN - 1, &out, nullptr, vsh::EXPAND_SERVICE) !=
        vsh::EXPAND_OK)
        return 1;
    memcpy(buffer, out.Text.c_str(), (out.Text.size() + 1) * sizeof(wchar_t));
    return 0;
}
