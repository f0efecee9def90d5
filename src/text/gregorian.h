// The rules of the Gregorian calendar, kept once for the plug-in's day numbers and the
// Linux layer's stand-in for the system's own calendar.
#ifndef VESK_GREGORIAN_H
#define VESK_GREGORIAN_H

#include <stdint.h>

/// True for a leap year of the Gregorian calendar.
bool IsLeapYear(uint32_t year);

/// Days of month (1..12) in year; 0 for a month out of range.
uint32_t MonthLength(uint32_t year, uint32_t month);

#endif
