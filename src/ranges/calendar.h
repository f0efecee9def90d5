// Day numbers of the Gregorian calendar.
#ifndef VESK_CALENDAR_H
#define VESK_CALENDAR_H

#include <stdint.h>

#include "text/gregorian.h"

/// Day number of a Gregorian date; 1 January 1601 is day 1. month 1..12, year >= 1601.
uint32_t DayNumber(uint32_t year, uint32_t month, uint32_t day);

#endif
