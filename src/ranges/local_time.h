// The calendar time of a file time as a date stamp shows it; the date, time-of-day and
// weekday ranges test the time the default stamp of the same file shows, through the
// same conversion, so that a stamp and a range never disagree.
#ifndef VESK_LOCAL_TIME_H
#define VESK_LOCAL_TIME_H

#include <stdint.h>

#include "platform/platform.h"

/// Converts fileTime (a Windows file time, UTC) by the one path the flags choose: UTC when
/// utc is non-zero; else the local time under the rules of that date when trueLocal is
/// non-zero; else the local time with today's offset (the "dumb" localisation of DIR).
/// False, with st undefined, when the time has no calendar form there: it is not one
/// Windows converts (1601 to 30828-09-14 02:48:05 UTC), or the local time falls before
/// 1601 or after that last moment. Such a time is stamped "(invalid time)".
bool ConvertFileTime(uint64_t fileTime, int trueLocal, int utc, SYSTEMTIME *st);

/// The local time of fileTime as the default stamp of a file shows it (no /U, no /Z): the
/// rules of that date on volumes that keep UTC times (onNtfs non-zero), today's offset on
/// the others. False for a time that stamp shows as "(invalid time)".
bool ShownLocalTime(uint64_t fileTime, int onNtfs, SYSTEMTIME *local);

/// True when ShownLocalTime converts fileTime. Asks the system only for times within a
/// few days of either end; every time between is valid in every zone.
bool IsShownTimeValid(uint64_t fileTime, int onNtfs);

#endif
