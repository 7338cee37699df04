#include "platform/rtl/datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"

namespace dac {

namespace {

constexpr int kCumulativeDays[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

// Day number (0001-01-01 = 1) of a valid date.
int32_t DayNumber(int year, int month, int day) {
  const int y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400 + kCumulativeDays[IsLeapYear(year) ? 1 : 0][month - 1] +
         day;
}

// Inverse of DayNumber for day numbers >= 1.
void SplitDayNumber(int32_t n, int& year, int& month, int& day) {
  int32_t d = n - 1;  // days since 0001-01-01
  const int32_t y400 = d / 146097;
  d %= 146097;
  int32_t y100 = d / 36524;
  if (y100 == 4) y100 = 3;  // last day of a 400-year cycle
  d -= y100 * 36524;
  const int32_t y4 = d / 1461;
  d %= 1461;
  int32_t y1 = d / 365;
  if (y1 == 4) y1 = 3;  // last day of a leap year
  d -= y1 * 365;
  year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  const int* cum = kCumulativeDays[IsLeapYear(year) ? 1 : 0];
  month = 1;
  while (month < 12 && d >= cum[month]) ++month;
  day = static_cast<int>(d - cum[month - 1] + 1);
}

// A date part and a time fraction joined so that the fraction always counts
// forward from midnight of that day, also before 1899-12-30.
TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  if (date < 0) return std::trunc(date) - std::fabs(time - std::trunc(time));
  return std::trunc(date) + std::fabs(time - std::trunc(time));
}

[[noreturn]] void InvalidDateTime(TDateTime dt) {
  throw EConvertError(Format("%f is not a valid date/time value.", dt));
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  const int* cum = kCumulativeDays[IsLeapYear(year) ? 1 : 0];
  return cum[month] - cum[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  result = static_cast<TDateTime>(DayNumber(year, month, day) - DateDelta);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 ||
      msec > 999) {
    return false;
  }
  result = static_cast<TDateTime>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
  return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& result) {
  TDateTime d = 0;
  TDateTime t = 0;
  if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, min, sec, msec, t)) return false;
  result = ComposeDateTime(d, t);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r = 0;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument for date encode.");
  return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r = 0;
  if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError("Invalid argument to time encode");
  return r;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  return ComposeDateTime(EncodeDate(year, month, day), EncodeTime(hour, min, sec, msec));
}

void DecodeDate(TDateTime dt, uint16_t& year, uint16_t& month, uint16_t& day) {
  const TTimeStamp ts = DateTimeToTimeStamp(dt);
  if (ts.Date <= 0) {
    // Before 0001-01-01: no calendar date.
    year = month = day = 0;
    return;
  }
  int y = 0, m = 0, d = 0;
  SplitDayNumber(ts.Date, y, m, d);
  year = static_cast<uint16_t>(y);
  month = static_cast<uint16_t>(m);
  day = static_cast<uint16_t>(d);
}

void DecodeTime(TDateTime dt, uint16_t& hour, uint16_t& min, uint16_t& sec, uint16_t& msec) {
  int32_t ms = DateTimeToTimeStamp(dt).Time;
  hour = static_cast<uint16_t>(ms / 3600000);
  ms %= 3600000;
  min = static_cast<uint16_t>(ms / 60000);
  ms %= 60000;
  sec = static_cast<uint16_t>(ms / 1000);
  msec = static_cast<uint16_t>(ms % 1000);
}

void DecodeDateTime(TDateTime dt, uint16_t& year, uint16_t& month, uint16_t& day, uint16_t& hour,
                    uint16_t& min, uint16_t& sec, uint16_t& msec) {
  DecodeDate(dt, year, month, day);
  DecodeTime(dt, hour, min, sec, msec);
}

int DayOfWeek(TDateTime dt) {
  // Day 1 (0001-01-01) was a Monday.
  const int32_t d = DateTimeToTimeStamp(dt).Date;
  int r = static_cast<int>(d % 7);
  if (r < 0) r += 7;
  return r + 1;
}

TDateTime DateOf(TDateTime dt) { return std::trunc(dt); }

TDateTime TimeOf(TDateTime dt) { return std::fabs(dt - std::trunc(dt)); }

TTimeStamp DateTimeToTimeStamp(TDateTime dt) {
  // Beyond this the day number no longer fits 32 bits.
  if (!std::isfinite(dt) || std::fabs(dt) > 2.0e9) InvalidDateTime(dt);
  double d = dt * MSecsPerDay;
  d = d < 0 ? d - 0.5 : d + 0.5;
  const int64_t ms = static_cast<int64_t>(d);
  TTimeStamp ts;
  ts.Time = static_cast<int32_t>((ms < 0 ? -ms : ms) % MSecsPerDay);
  ts.Date = static_cast<int32_t>(DateDelta + ms / MSecsPerDay);
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& ts) {
  if (ts.Time < 0 || ts.Time >= MSecsPerDay || ts.Date <= 0) {
    throw EConvertError(Format("Invalid date/timestamp : \"%d.%d\"", ts.Date, ts.Time));
  }
  return ComposeDateTime(static_cast<TDateTime>(ts.Date - DateDelta),
                         static_cast<TDateTime>(ts.Time) / MSecsPerDay);
}

double TimeStampToMSecs(const TTimeStamp& ts) {
  return static_cast<double>(ts.Date) * MSecsPerDay + ts.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
  if (!std::isfinite(msecs) || std::fabs(msecs / MSecsPerDay) > 2.0e9) {
    throw EConvertError(Format("Invalid date/timestamp : \"%f\"", msecs));
  }
  TTimeStamp ts;
  int64_t date = static_cast<int64_t>(std::trunc(msecs / MSecsPerDay));
  int64_t time = static_cast<int64_t>(std::nearbyint(msecs - static_cast<double>(date) * MSecsPerDay));
  // Rounding may reach the next midnight: carry it into the day.
  if (time >= MSecsPerDay) {
    time -= MSecsPerDay;
    ++date;
  }
  ts.Date = static_cast<int32_t>(date);
  ts.Time = static_cast<int32_t>(time);
  return ts;
}

TDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  return ComposeDateTime(EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                         EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                                    static_cast<int>(ms)));
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() { return TimeOf(Now()); }

}  // namespace dac
