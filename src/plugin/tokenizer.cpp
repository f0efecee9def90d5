#include "plugin/tokenizer.h"

#include <string.h>
#include <wctype.h>

#include "plugin/host_api.h"
#include "plugin/shared_services.h"

HostArgsRecord HostArgs;

namespace {

struct TokenizerState {
    int Index;      // argument being filled; may run past MAX_ARGS
    int32_t Length; // characters stored in it
    int Slot;       // next free slot of ArgText
};

/// Closes the current argument. Arguments past MAX_ARGS never had a slot, so they
/// consume none.
void EndArgument(TokenizerState *st)
{
    if (st->Index < MAX_ARGS && st->Slot < MAX_ARG_LEN - 1) st->Slot++;
    st->Index++;
    st->Length = 0;
}

/// Appends c to the current argument. Returns -1 (message printed) when ArgText is full.
int StoreChar(TokenizerState *st, wchar_t c)
{
    if (st->Slot >= MAX_ARG_LEN - 1) {
        PrintErrorPrefix();
        Qprintf(StdErrHandle(), L"Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n", st->Slot,
                (int)MAX_ARG_LEN);
        return -1;
    }
    if (st->Index >= MAX_ARGS) return 0;
    if (st->Length == 0) HostArgs.Args[st->Index] = &HostArgs.ArgText[st->Slot];
    HostArgs.ArgText[st->Slot++] = c;
    HostArgs.ArgText[st->Slot] = L'\0';
    HostArgs.ArgLengths[st->Index] = ++st->Length;
    return 0;
}

void ClearVectors(void)
{
    HostArgs.ArgCount = 0;
    memset(HostArgs.Args, 0, sizeof HostArgs.Args);
    memset(HostArgs.ArgLengths, 0, sizeof HostArgs.ArgLengths);
}

} // namespace

int TokenizeArgs(const wchar_t *text, int mode)
{
    if (text == nullptr) return -1;
    ClearVectors();

    TokenizerState st = {0, 0, 0};
    bool quoted = false;
    for (const wchar_t *p = text;; ++p) {
        wchar_t c = *p;
        bool blank = c != L'\0' && iswspace((wint_t)c);
        if (c == L'"') {
            quoted = !quoted;
        } else if (blank && st.Length == 0) {
            // leading white space of an argument is never kept, quoted or not
        } else if (c == L',' && !quoted && (mode & SplitOnCommas)) {
            EndArgument(&st);
        } else if (c == L'/' && !quoted && (mode & SplitSwitches) && st.Length >= 2 &&
                   HostArgs.Args[st.Index][0] == L'/') {
            EndArgument(&st);
            if (StoreChar(&st, c) != 0) {
                ClearVectors();
                return -1;
            }
        } else if (c == L'\0') {
            if (st.Length > 0) st.Index++;
            break;
        } else if (blank && !quoted && (mode & SplitOnBlanks)) {
            EndArgument(&st);
        } else if (StoreChar(&st, c) != 0) {
            ClearVectors();
            return -1;
        }
    }

    int count = st.Index < MAX_ARGS ? st.Index : MAX_ARGS;
    for (int i = 0; i < count; ++i) {
        wchar_t *arg = HostArgs.Args[i];
        int32_t len = HostArgs.ArgLengths[i];
        while (len > 0 && iswspace((wint_t)arg[len - 1])) arg[--len] = L'\0';
        HostArgs.ArgLengths[i] = len;
    }
    HostArgs.ArgCount = count;
    return count;
}
