#include "commands/criteria.h"

#include "search/result_list.h"
#include "search/search.h"

int CriterionOfLetter(wchar_t upper)
{
    switch (upper) {
    case L'B':
    case L'L': return MODE_LARGEST;
    case L'S': return MODE_SMALLEST;
    case L'O': return MODE_OLDEST;
    case L'N': return MODE_NEWEST;
    default: return NO_CRITERION;
    }
}

int StampOfLetter(wchar_t upper)
{
    switch (upper) {
    case L'W': return STAMP_LAST_WRITE;
    case L'C': return STAMP_CREATION;
    case L'A': return STAMP_LAST_ACCESS;
    default: return NO_STAMP;
    }
}
