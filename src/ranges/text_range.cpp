// Description ranges (/[I...], /I, /!I) and owner ranges (/[O...]).
#include "ranges/text_range.h"

#include <stddef.h>

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/range_internal.h"
#include "ranges/range_list.h"

namespace {

/// Pushes a text node of kind with the pattern taken from text; bracketed drops the
/// option's closing "]". 0, or 1 after the allocation message.
int AddTextRange(const wchar_t *text, RangeList *list, int negate, bool bracketed,
                        wchar_t kind)
{
    if (text[0] == L']' && text[1] == L'\0') return RESULT_OK;
    if (IsValueSeparator(*text)) ++text;
    size_t length = wcslen(text);
    if (bracketed && length > 0 && text[length - 1] == L']') --length;
    // Patterns pass through a buffer of 8192 characters: the rest is cut.
    if (length > RANGE_TEXT_LEN - 1) length = RANGE_TEXT_LEN - 1;

    TextRange *node =
        (TextRange *)NewRangeNode(offsetof(TextRange, Pattern), length + 1, kind);
    if (node == nullptr)
        return ReportError(kind == L'I' ? L"Can't allocate description range structure\r\n"
                                        : L"Can't allocate owner range structure\r\n");
    node->Negate = negate ? 1 : 0;
    wmemcpy(node->Pattern, text, length);
    node->Pattern[length] = L'\0';
    PushRange(list, &node->Head);
    return RESULT_OK;
}

}  // namespace

int ParseDescriptionRange(wchar_t *text, RangeList *list, int negate, int plainMode)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    if (text[0] == L'\0') return RESULT_OK;
    return AddTextRange(text, list, negate, !plainMode, L'I');
}

int ParseOwnerRange(wchar_t *text, RangeList *list, int negate)
{
    if (text == nullptr || list == nullptr) return RESULT_MISSING_ARGUMENT;
    return AddTextRange(text, list, negate, true, L'O');
}
