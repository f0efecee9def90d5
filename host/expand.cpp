#include "expand.h"

#include "functions.h"
#include "plugin/host_api.h"
#include "state.h"
#include "variables.h"

#include <string.h>

namespace vsh {

namespace {

enum { MAX_FUNCTION_NESTING = 64 };

struct Expander {
    MarkedText *Out;
    size_t Limit;
    std::wstring *Message;
    int Depth;
};

bool Push(Expander *e, wchar_t c, char literal)
{
    if (e->Out->Text.size() >= e->Limit) return false;
    e->Out->Text.push_back(c);
    e->Out->Literal.push_back(literal);
    return true;
}

bool PushLiteral(Expander *e, const std::wstring &text)
{
    if (text.size() > e->Limit - e->Out->Text.size()) return false;
    e->Out->Text.append(text);
    e->Out->Literal.insert(e->Out->Literal.end(), text.size(), 1);
    return true;
}

int Overflow(Expander *e)
{
    *e->Message = L"command line too long after expansion";
    return EXPAND_OVERFLOW;
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
    Expander sub = {&inner, e->Limit, e->Message, e->Depth + 1};
    int code = Expand(&sub, text, len);
    if (code == EXPAND_OK) *plain = inner.Text;
    return code;
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

// text[i] is the "%". Handles one form and sets *next past it.
int ExpandPercent(Expander *e, const wchar_t *text, size_t len, size_t i, size_t *next)
{
    size_t at = i + 1;
    if (at >= len) {
        *next = at;
        return Push(e, L'%', 0) ? EXPAND_OK : Overflow(e);
    }
    wchar_t c = text[at];
    if (c == L'%') {
        *next = at + 1;
        return Push(e, L'%', 1) ? EXPAND_OK : Overflow(e);
    }
    if (c >= L'0' && c <= L'9') {
        *next = at + 1;
        return PushLiteral(e, BatchArgument(c - L'0')) ? EXPAND_OK : Overflow(e);
    }
    if (c == L'*') {
        *next = at + 1;
        return PushLiteral(e, BatchArgument(-1)) ? EXPAND_OK : Overflow(e);
    }
    if (c == L'[') {
        size_t close = FindClosingBracket(text, len, at);
        if (close == std::wstring::npos) {
            *e->Message = L"missing \"]\" in \"%[\"";
            return EXPAND_MALFORMED;
        }
        std::wstring name;
        int code = ExpandInner(e, text + at + 1, close - at - 1, &name);
        if (code != EXPAND_OK) return code;
        std::wstring value;
        if (LookupVariable(name, &value) == LOOKUP_FAILED) {
            *e->Message = L"variable \"" + name + L"\" failed";
            return EXPAND_FUNCTION_FAILED;
        }
        *next = close + 1;
        return PushLiteral(e, value) ? EXPAND_OK : Overflow(e);
    }
    if (c == L'@') {
        size_t end = at + 1;
        while (end < len && IsNameChar(text[end])) ++end;
        if (end == at + 1 || end >= len || text[end] != L'[') {
            *next = at;
            return Push(e, L'%', 0) ? EXPAND_OK : Overflow(e);
        }
        size_t close = FindClosingBracket(text, len, end);
        std::wstring name(text + at, end - at);
        if (close == std::wstring::npos) {
            *e->Message = L"missing \"]\" after \"%" + name + L"[\"";
            return EXPAND_MALFORMED;
        }
        std::wstring args;
        int code = ExpandInner(e, text + end + 1, close - end - 1, &args);
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
        return PushLiteral(e, result) ? EXPAND_OK : Overflow(e);
    }
    if (!IsNameChar(c)) {
        *next = at;
        return Push(e, L'%', 0) ? EXPAND_OK : Overflow(e);
    }

    size_t end = at;
    while (end < len && IsNameChar(text[end])) ++end;
    std::wstring name(text + at, end - at);
    if (end < len && text[end] == L'[') {
        ArrayVariable *array = FindArray(name);
        if (array) {
            size_t close = FindClosingBracket(text, len, end);
            if (close == std::wstring::npos) {
                *e->Message = L"missing \"]\" after \"%" + name + L"[\"";
                return EXPAND_MALFORMED;
            }
            std::wstring index;
            int code = ExpandInner(e, text + end + 1, close - end - 1, &index);
            if (code != EXPAND_OK) return code;
            // The expansion may have run a plug-in that changed the arrays.
            array = FindArray(name);
            size_t cell = 0;
            if (!array) {
                *e->Message = L"array \"" + name + L"\" does not exist";
                return EXPAND_BAD_INDEX;
            }
            if (ArrayCellIndex(*array, index, &cell, e->Message) != 0) return EXPAND_BAD_INDEX;
            *next = close + 1;
            return PushLiteral(e, array->Cells[cell]) ? EXPAND_OK : Overflow(e);
        }
    }
    if (end < len && text[end] == L'%') ++end;
    std::wstring value;
    if (LookupVariable(name, &value) == LOOKUP_FAILED) {
        *e->Message = L"variable \"" + name + L"\" failed";
        return EXPAND_FUNCTION_FAILED;
    }
    *next = end;
    return PushLiteral(e, value) ? EXPAND_OK : Overflow(e);
}

int Expand(Expander *e, const wchar_t *text, size_t len)
{
    size_t i = 0;
    while (i < len) {
        wchar_t c = text[i];
        if (c == L'^') {
            // A lone caret at the end has nothing to escape and stays as it is.
            if (i + 1 >= len) {
                if (!Push(e, L'^', 1)) return Overflow(e);
                ++i;
                continue;
            }
            if (!Push(e, text[i + 1], 1)) return Overflow(e);
            i += 2;
            continue;
        }
        if (c == L'%') {
            size_t next = i + 1;
            int code = ExpandPercent(e, text, len, i, &next);
            if (code != EXPAND_OK) return code;
            i = next;
            continue;
        }
        if (!Push(e, c, 0)) return Overflow(e);
        ++i;
    }
    return EXPAND_OK;
}

}  // namespace

size_t FindClosingBracket(const wchar_t *text, size_t len, size_t open)
{
    int depth = 0;
    for (size_t j = open; j < len; ++j) {
        wchar_t c = text[j];
        if (c == L'^') {
            ++j;
        } else if (c == L'"') {
            // "^" escapes inside quotes too, so an escaped quote does not end them.
            size_t q = j + 1;
            while (q < len && text[q] != L'"') q += (text[q] == L'^' && q + 1 < len) ? 2 : 1;
            if (q >= len) return std::wstring::npos;
            j = q;
        } else if (c == L'[') {
            ++depth;
        } else if (c == L']') {
            if (--depth == 0) return j;
        }
    }
    return std::wstring::npos;
}

int ExpandText(const wchar_t *text, size_t len, size_t limit, MarkedText *out,
               std::wstring *message)
{
    out->Text.clear();
    out->Literal.clear();
    std::wstring ignored;
    Expander e = {out, limit, message ? message : &ignored, 0};
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
    if (vsh::ExpandText(buffer, len, HOST_BUFFER_LEN - 1, &out, nullptr) != vsh::EXPAND_OK) return 1;
    memcpy(buffer, out.Text.c_str(), (out.Text.size() + 1) * sizeof(wchar_t));
    return 0;
}
