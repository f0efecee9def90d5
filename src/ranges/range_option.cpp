// The range options "/[" and "/![": the syntax they share, and the hand-over to the
// parser of each kind.
#include "ranges/range_option.h"

#include <wctype.h>

#include "plugin/result_codes.h"
#include "plugin/shared_services.h"
#include "ranges/date_range.h"
#include "ranges/range_list.h"
#include "ranges/size_range.h"
#include "ranges/text_range.h"
#include "ranges/time_range.h"
#include "ranges/weekday_range.h"
#include "text/case_fold.h"

int ParseRangeOption(wchar_t *option, RangeList *list)
{
    if (option == nullptr || list == nullptr || option[0] == L'\0') return RESULT_MISSING_ARGUMENT;
    size_t at = 0;
    if (option[at++] != L'/') return RESULT_FAILED;
    int negate = 0;
    if (option[at] == L'!') {
        negate = 1;
        ++at;
    }
    if (option[at++] != L'[') return RESULT_FAILED;
    if (option[wcslen(option) - 1] != L']')
        return ReportError(L"Range option must end with ']': \"%s\"\r\n", UpperCaseText(option));

    // Here the option is at least "/[" and a final "]", so the letter is in the text.
    wchar_t *text = option + at + 1;
    switch (towupper((wint_t)option[at])) {
    case L'S': return ParseSizeRange(text, negate, list);
    case L'!': return ParseExclusionRange(text, list);
    case L'D': return ParseDateRange(text, negate, list);
    case L'T': return ParseTimeRange(text, negate, list);
    case L'W': return ParseWeekdayRange(text, negate, list);
    case L'I': return ParseDescriptionRange(text, list, negate, 0);
    case L'O': return ParseOwnerRange(text, list, negate);
    default: return ReportError(L"Unknown range type: \"%s\"\r\n", UpperCaseText(option));
    }
}
