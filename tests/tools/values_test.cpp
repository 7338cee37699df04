#include <gtest/gtest.h>

#include <cstring>

#include "engine/drm.h"
#include "engine/drm_values.h"
#include "tools/drmcli/values.h"

using namespace drmcli;

namespace {

ColumnInfo Col(uint32_t colTyp, uint32_t cbMax = 0) {
  return ColumnInfo{.Name = "C", .ColTyp = colTyp, .CbMax = cbMax};
}

std::string RoundTrip(const ColumnInfo& c, const std::string& text) {
  return ValueToText(c, TextToValue(c, text));
}

}  // namespace

TEST(Values, IntegersRoundTripAtTheirLimitsAndRejectBeyond) {
  ColumnInfo i8 = Col(DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1);
  ColumnInfo u8 = Col(DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1);
  ColumnInfo i16 = Col(DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2);
  ColumnInfo u16 = Col(DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2);
  ColumnInfo i32 = Col(DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4);
  EXPECT_EQ(RoundTrip(i8, "-128"), "-128");
  EXPECT_EQ(RoundTrip(u8, "255"), "255");
  EXPECT_EQ(RoundTrip(i16, "-32768"), "-32768");
  EXPECT_EQ(RoundTrip(u16, "65535"), "65535");
  EXPECT_EQ(RoundTrip(i32, "2147483647"), "2147483647");
  EXPECT_EQ(RoundTrip(i32, "+5"), "5");
  EXPECT_EQ(TextToValue(i16, "-2").size(), 2u);
  EXPECT_THROW(TextToValue(i8, "128"), ValueError);
  EXPECT_THROW(TextToValue(u8, "-1"), ValueError);
  EXPECT_THROW(TextToValue(u16, "65536"), ValueError);
  EXPECT_THROW(TextToValue(i32, "2147483648"), ValueError);
  EXPECT_THROW(TextToValue(i32, "12abc"), ValueError);
  EXPECT_THROW(TextToValue(i32, ""), ValueError);
  EXPECT_THROW(TextToValue(i32, "99999999999999999999999"), ValueError);
  // A 16-bit auto-increment value comes back in 4 bytes.
  ColumnInfo auto16 = Col(DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16), 4);
  EXPECT_EQ(RoundTrip(auto16, "70000"), "70000");
}

TEST(Values, DecimalsKeepSignScaleAndRejectJunk) {
  ColumnInfo d = Col(DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 38);
  std::string bytes = TextToValue(d, "-12.50");
  ASSERT_EQ(bytes.size(), 38u);
  int16_t exponent;
  int64_t integer;
  std::memcpy(&exponent, bytes.data() + 2, 2);
  std::memcpy(&integer, bytes.data() + 6, 8);
  EXPECT_EQ(exponent, -2);
  EXPECT_EQ(integer, -1250);
  EXPECT_EQ(ValueToText(d, bytes), "-12.50");
  EXPECT_EQ(RoundTrip(d, "0.05"), "0.05");
  EXPECT_EQ(RoundTrip(d, "-0.5"), "-0.5");
  EXPECT_EQ(RoundTrip(d, "123456789012345678"), "123456789012345678");
  EXPECT_EQ(RoundTrip(d, "-9223372036854775808"), "-9223372036854775808");
  EXPECT_THROW(TextToValue(d, "9223372036854775808"), ValueError);
  EXPECT_THROW(TextToValue(d, "12345678901234567890"), ValueError);
  EXPECT_THROW(TextToValue(d, "1.2.3"), ValueError);
  EXPECT_THROW(TextToValue(d, "-"), ValueError);
  // Engine values with a positive exponent print as whole numbers.
  uint16_t words[19] = {};
  words[1] = 3;
  words[2] = 4;
  int64_t seven = 7;
  std::memcpy(&words[3], &seven, 8);
  EXPECT_EQ(ValueToText(d, std::string(reinterpret_cast<char*>(words), 38)), "7000");
  // Currency (the 64-bit form) keeps four decimals.
  ColumnInfo cur = Col(DRM_COLTYP(0, DRM_TYPE_CURRENCY), 8);
  EXPECT_EQ(RoundTrip(cur, "-922337203685477.5808"), "-922337203685477.5808");
  EXPECT_EQ(RoundTrip(cur, "1.5"), "1.5000");
  EXPECT_THROW(TextToValue(cur, "1.23456"), ValueError);
}

TEST(Values, DatesTimesAndTimestampsAreCheckedAndRoundTrip) {
  ColumnInfo date = Col(DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 6);
  ColumnInfo time = Col(DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 6);
  ColumnInfo ts = Col(DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 16);
  EXPECT_EQ(RoundTrip(date, "2024-02-29"), "2024-02-29");
  EXPECT_EQ(RoundTrip(date, "0001-01-01"), "0001-01-01");
  EXPECT_EQ(TextToValue(date, "9999-12-31").size(), 6u);
  EXPECT_THROW(TextToValue(date, "2023-02-29"), ValueError);
  EXPECT_THROW(TextToValue(date, "1900-02-29"), ValueError);
  EXPECT_THROW(TextToValue(date, "2023-13-01"), ValueError);
  EXPECT_THROW(TextToValue(date, "2023-01-01x"), ValueError);
  EXPECT_EQ(RoundTrip(time, "23:59:59"), "23:59:59");
  EXPECT_THROW(TextToValue(time, "24:00:00"), ValueError);
  EXPECT_EQ(RoundTrip(ts, "2000-01-01 12:34:56"), "2000-01-01 12:34:56");
  EXPECT_EQ(RoundTrip(ts, "2000-01-01T12:34:56.25"), "2000-01-01 12:34:56.25");
  EXPECT_EQ(RoundTrip(ts, "2000-01-01"), "2000-01-01 00:00:00");
  EXPECT_EQ(RoundTrip(ts, "2000-01-01 00:00:00.0000001"), "2000-01-01 00:00:00.0000001");
  EXPECT_EQ(TextToValue(ts, "2000-01-01").size(), 16u);
  EXPECT_THROW(TextToValue(ts, "2000-01-01 12:34:56.12345678"), ValueError);
  EXPECT_THROW(TextToValue(ts, "2000-01-01 12:34"), ValueError);
}

TEST(Values, TextsBooleansFloatsAndBytes) {
  ColumnInfo fixed = Col(DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 5);
  ColumnInfo z = Col(DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 5);
  EXPECT_EQ(ValueToText(fixed, "ab   "), "ab");  // blank padding is not part of the value
  EXPECT_EQ(ValueToText(z, std::string("ab \0xx", 6)), "ab ");
  EXPECT_EQ(TextToValue(z, "abcde"), "abcde");
  EXPECT_THROW(TextToValue(z, "abcdef"), ValueError);
  EXPECT_THROW(TextToValue(fixed, std::string("a\0b", 3)), ValueError);

  ColumnInfo b = Col(DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1);
  EXPECT_EQ(TextToValue(b, "TRUE"), std::string(1, '\1'));
  EXPECT_EQ(TextToValue(b, "no"), std::string(1, '\0'));
  EXPECT_EQ(ValueToText(b, std::string(1, '\7')), "true");
  EXPECT_THROW(TextToValue(b, "maybe"), ValueError);

  ColumnInfo f = Col(DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4);
  ColumnInfo d = Col(DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8);
  EXPECT_EQ(RoundTrip(f, "0.1"), "0.1");
  EXPECT_EQ(RoundTrip(d, "0.1"), "0.1");
  EXPECT_EQ(RoundTrip(d, "-1e300"), "-1e+300");
  EXPECT_THROW(TextToValue(f, "1e39"), ValueError);
  EXPECT_THROW(TextToValue(d, "1.0x"), ValueError);

  ColumnInfo bytes = Col(DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 3);
  EXPECT_EQ(TextToValue(bytes, "0x00fF10"), std::string("\x00\xff\x10", 3));
  EXPECT_EQ(ValueToText(bytes, std::string("\x00\xff\x10", 3)), "00ff10");
  EXPECT_THROW(TextToValue(bytes, "00ff1"), ValueError);
  EXPECT_THROW(TextToValue(bytes, "zz"), ValueError);
  EXPECT_THROW(TextToValue(bytes, "-1"), ValueError);  // no sign inside a pair
  EXPECT_THROW(TextToValue(bytes, "+f"), ValueError);
  EXPECT_THROW(TextToValue(bytes, "0001020304"), ValueError);
}

// drmcli writes the value forms exactly as engine/drm_values.h lays them out.
TEST(Values, EngineFormsFollowTheSharedLayout) {
  ColumnInfo tsCol = Col(DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 16);
  std::string bytes = TextToValue(tsCol, "2000-01-02 03:04:05.5");
  ASSERT_EQ(bytes.size(), sizeof(DRM_TimeStamp));
  DRM_TimeStamp ts;
  std::memcpy(&ts, bytes.data(), sizeof ts);
  EXPECT_EQ(ts.Year, 2000);
  EXPECT_EQ(ts.Day, 2);
  EXPECT_EQ(ts.Hour, 3);
  EXPECT_EQ(ts.Second, 5);
  EXPECT_EQ(ts.Fraction, DRM_FRACTION_PER_SECOND / 2);

  ColumnInfo timeCol = Col(DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 6);
  DRM_Time tm;
  bytes = TextToValue(timeCol, "07:08:09");
  ASSERT_EQ(bytes.size(), sizeof tm);
  std::memcpy(&tm, bytes.data(), sizeof tm);
  EXPECT_EQ(tm.Hour, 7);
  EXPECT_EQ(tm.Minute, 8);
  EXPECT_EQ(tm.Second, 9);

  ColumnInfo decCol = Col(DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 38);
  DRM_Numeric num;
  bytes = TextToValue(decCol, "-0.5");
  ASSERT_EQ(bytes.size(), sizeof num);
  std::memcpy(&num, bytes.data(), sizeof num);
  EXPECT_EQ(static_cast<int16_t>(num.Words[DRM_NUMERIC_EXPONENT]), -1);
  EXPECT_EQ(num.Words[DRM_NUMERIC_USED], DRM_NUMERIC_MAX_USED);
  int64_t integer = 0;
  std::memcpy(&integer, &num.Words[DRM_NUMERIC_INTEGER], sizeof integer);
  EXPECT_EQ(integer, -5);
  EXPECT_EQ(ValueToText(decCol, bytes), "-0.5");
}
