// Date-time values of the scheduled-task room: a TDateTime counts days
// since 30 December 1899 with the time of day as the fraction, in local
// time, 0 meaning "no date"; and the one rule that turns a local wall-clock
// time into an instant across daylight-saving changes. Broken-down times
// are the project's one civil-time type, os/Clock's DateTime.
#pragma once

#include <cstdint>

#include "os/Clock.h"

namespace lorvant {

using TDateTime = double;

// Days since 1970-01-01 of a proleptic Gregorian date (negative before).
int64_t DaysFromCivil(int year, int month, int day);
// The date of a day count since 1970-01-01.
void CivilFromDays(int64_t days, int* year, int* month, int* day);
// 0 Sunday … 6 Saturday.
int DayOfWeek(int year, int month, int day);
int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);

// TDateTime of the fields; the date must be valid and the time in range
// (callers check with IsValidDate first).
TDateTime EncodeDateTime(const DateTime& t);
// The fields of a TDateTime, to the millisecond.
DateTime DecodeDateTime(TDateTime value);
// The date part (midnight) and the time part of a value.
TDateTime DatePart(TDateTime value);
TDateTime TimePart(TDateTime value);

// Seconds since the epoch of a local wall-clock time. A time that the
// clock skips (spring forward) moves forward by the gap; a time the clock
// passes twice (fall back) is the first of the two.
int64_t LocalToEpoch(const DateTime& t);
// Local wall-clock fields of an instant.
DateTime EpochToLocal(int64_t seconds);

// The current time in seconds since the epoch, from Env's wall clock.
int64_t NowSeconds();

// Conversions between instants and local TDateTime values; 0 stays 0.
TDateTime EpochToDateTime(int64_t seconds);
int64_t DateTimeToEpoch(TDateTime value);

}  // namespace lorvant
