#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/rtl/datetime.h"
#include "platform/rtl/exceptions.h"

namespace dac {
namespace {

struct Ymd {
  uint16_t y, m, d;
};

Ymd Decoded(TDateTime dt) {
  Ymd r{};
  DecodeDate(dt, r.y, r.m, r.d);
  return r;
}

TEST(DateTime, EncodeKnownDays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586);
  EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
}

TEST(DateTime, LeapYearsAndInvalidParts) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2001, 4), 30);
  EXPECT_EQ(DaysInMonth(2001, 13), 0);

  TDateTime dt = 123;
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, dt));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, dt));
  EXPECT_FALSE(TryEncodeDate(2001, 0, 1, dt));
  EXPECT_FALSE(TryEncodeDate(2001, 1, 0, dt));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, dt));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, dt));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, dt));
  EXPECT_FALSE(TryEncodeTime(23, 60, 0, 0, dt));
  EXPECT_FALSE(TryEncodeTime(23, 59, 60, 0, dt));
  EXPECT_FALSE(TryEncodeTime(23, 59, 59, 1000, dt));
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, dt));
  EXPECT_EQ(dt, EncodeDate(2000, 2, 29));  // failures leave the result alone
  EXPECT_TRUE(TryEncodeTime(0, 0, 0, 0, dt));
  EXPECT_EQ(dt, 0);
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(25, 0, 0, 0), EConvertError);
}

TEST(DateTime, DecodeRoundTripsEveryMonthEnd) {
  for (int y : {1, 4, 100, 400, 1600, 1899, 1900, 1999, 2000, 2024, 9999}) {
    for (int m = 1; m <= 12; ++m) {
      for (int d : {1, DaysInMonth(y, m)}) {
        const Ymd r = Decoded(EncodeDate(y, m, d));
        EXPECT_EQ(r.y, y);
        EXPECT_EQ(r.m, m);
        EXPECT_EQ(r.d, d) << y << "-" << m;
      }
    }
  }
  // Before 1899-12-30 the time still counts forward from midnight.
  uint16_t y, mo, d, h, mi, s, ms;
  DecodeDateTime(-1.25, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(y, 1899);
  EXPECT_EQ(mo, 12);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 6);
  // Decoding rounds to the millisecond: one below midnight is midnight.
  const TDateTime almost = EncodeDate(2020, 12, 31) + 0.99999999999;
  DecodeDateTime(almost, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(y, 2021);
  EXPECT_EQ(mo, 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(h, 0);
  DecodeTime(EncodeTime(23, 59, 59, 999), h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 235959999);
  EXPECT_EQ(DayOfWeek(0), 7);  // 1899-12-30 was a Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(2015, 1, 1)), 5);
  EXPECT_EQ(DayOfWeek(-1), 6);
}

TEST(DateTime, TimeStampsAndMilliseconds) {
  TTimeStamp ts = DateTimeToTimeStamp(EncodeDateTime(2001, 1, 1, 12, 0, 0, 500));
  EXPECT_EQ(ts.Time, 12 * 3600000 + 500);
  EXPECT_EQ(ts.Date, 730486);  // 2001-01-01
  EXPECT_EQ(TimeStampToDateTime(ts), EncodeDateTime(2001, 1, 1, 12, 0, 0, 500));

  ts = DateTimeToTimeStamp(EncodeDate(1, 1, 1));
  EXPECT_EQ(ts.Date, 1);
  EXPECT_EQ(ts.Time, 0);

  ts = DateTimeToTimeStamp(-1.25);
  EXPECT_EQ(ts.Date, DateDelta - 1);
  EXPECT_EQ(ts.Time, MSecsPerDay / 4);
  EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), -1.25);

  const double ms = TimeStampToMSecs(TTimeStamp{1000, 730486});
  EXPECT_EQ(ms, 730486.0 * 86400000.0 + 1000);
  const TTimeStamp back = MSecsToTimeStamp(ms);
  EXPECT_EQ(back.Date, 730486);
  EXPECT_EQ(back.Time, 1000);
  // A fraction that rounds up to the next midnight carries into the day.
  const TTimeStamp carried = MSecsToTimeStamp(730486.0 * 86400000.0 + 86399999.6);
  EXPECT_EQ(carried.Date, 730487);
  EXPECT_EQ(carried.Time, 0);
  EXPECT_EQ(MSecsToTimeStamp(86400000.0 + 2.5).Time, 2);  // halves to even
  EXPECT_EQ(MSecsToTimeStamp(86400000.0 + 3.5).Time, 4);

  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{-1, 5}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{MSecsPerDay, 5}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
  EXPECT_THROW(DateTimeToTimeStamp(1e300), EConvertError);
  EXPECT_THROW(MSecsToTimeStamp(std::numeric_limits<double>::infinity()), EConvertError);
}

TEST(DateTime, NowIsTodayPlusTime) {
  const TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_EQ(Date(), std::floor(Date()));
  EXPECT_NEAR(Date(), std::floor(now), 1.0);  // tolerate passing midnight
  EXPECT_GE(Time(), 0);
  EXPECT_LT(Time(), 1);
}

}  // namespace
}  // namespace dac
