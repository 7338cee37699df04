#pragma once
// Dates and times. A TDateTime is a double counting days since 1899-12-30;
// its fraction is the time of day. Before 1899-12-30 the whole part is
// negative while the fraction still counts forward from midnight, so
// -1.25 is 1899-12-29 06:00 (the sign applies to the day only).

#include <cstdint>

namespace dac {

using TDateTime = double;

// Day number form: Date counts days with 0001-01-01 as day 1; Time counts
// milliseconds since midnight.
struct TTimeStamp {
  int32_t Time = 0;
  int32_t Date = 0;
};

// Days from 0001-01-01 (day 1) to 1899-12-30 (TDateTime 0).
inline constexpr int32_t DateDelta = 693594;
inline constexpr int32_t HoursPerDay = 24;
inline constexpr int32_t MinsPerDay = 24 * 60;
inline constexpr int32_t SecsPerDay = MinsPerDay * 60;
inline constexpr int32_t MSecsPerSec = 1000;
inline constexpr int32_t MSecsPerDay = SecsPerDay * MSecsPerSec;
// The earliest and latest dates that encode: 0001-01-01 and 9999-12-31.
inline constexpr TDateTime MinDateTime = -693593.0;
inline constexpr TDateTime MaxDateTime = 2958465.99999999;

bool IsLeapYear(int year);
// 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// Invalid parts raise EConvertError.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
// Invalid parts (year outside 1..9999, day not in the month, hour above 23,
// ...) give false and leave the result unchanged.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& result);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);

// Decoding rounds to the nearest millisecond first, so 0.99999999999 decodes
// as the next midnight rather than 23:59:59.1000.
void DecodeDate(TDateTime dt, uint16_t& year, uint16_t& month, uint16_t& day);
void DecodeTime(TDateTime dt, uint16_t& hour, uint16_t& min, uint16_t& sec, uint16_t& msec);
void DecodeDateTime(TDateTime dt, uint16_t& year, uint16_t& month, uint16_t& day, uint16_t& hour,
                    uint16_t& min, uint16_t& sec, uint16_t& msec);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime dt);

// The date part (whole days) and the time part (fraction), sign-aware.
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt);

TTimeStamp DateTimeToTimeStamp(TDateTime dt);
// A time stamp with Time outside 0..MSecsPerDay-1 or Date below 1 raises
// EConvertError.
TDateTime TimeStampToDateTime(const TTimeStamp& ts);
// Date * MSecsPerDay + Time, as a double (exact: whole numbers well below 2^53).
double TimeStampToMSecs(const TTimeStamp& ts);
// Whole days by truncation, the rest rounded to milliseconds (halves to
// even); a rest that rounds to a full day carries into the date.
TTimeStamp MSecsToTimeStamp(double msecs);

TDateTime Now();
TDateTime Date();
TDateTime Time();

}  // namespace dac
