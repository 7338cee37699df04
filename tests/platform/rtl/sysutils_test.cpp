#include <gtest/gtest.h>

#include <limits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace dac {
namespace {

TEST(SysUtils, IntegerText) {
  EXPECT_EQ(StrToInt(" -42"), -42);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  int32_t i = 5;
  EXPECT_FALSE(TryStrToInt("2147483648", i));
  EXPECT_FALSE(TryStrToInt("", i));
  EXPECT_FALSE(TryStrToInt("1.5", i));
  EXPECT_FALSE(TryStrToInt("12a", i));
  EXPECT_FALSE(TryStrToInt("-", i));
  EXPECT_EQ(i, 5);
  int64_t l = 0;
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", l));
  EXPECT_EQ(StrToIntDef("x", -1), -1);
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "\"abc\" is an invalid integer");
  }
  EXPECT_EQ(IntToHex(255, 4), "00FF");
}

TEST(SysUtils, FloatToStrUsesFifteenDigits) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(12.5), "12.5");
  EXPECT_EQ(FloatToStr(-3), "-3");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(-1.5e-7), "-1.5E-7");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "Nan");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), "-Inf");
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(2.25, fs), "2,25");
}

TEST(SysUtils, StrToFloat) {
  EXPECT_DOUBLE_EQ(StrToFloat(" 12.5 "), 12.5);
  EXPECT_DOUBLE_EQ(StrToFloat("-1.5E-7"), -1.5e-7);
  EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("5."), 5);
  for (double v : {0.1, 1.0 / 3, 123456.789, -2.5e-300}) {
    EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(v)), std::stod(FloatToStr(v))) << v;
  }
  double d = 7;
  EXPECT_FALSE(TryStrToFloat("1e400", d));
  EXPECT_FALSE(TryStrToFloat("abc", d));
  EXPECT_FALSE(TryStrToFloat("1,5", d));
  EXPECT_FALSE(TryStrToFloat("1e", d));
  EXPECT_EQ(d, 7);
  EXPECT_THROW(StrToFloat("x"), EConvertError);
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  EXPECT_DOUBLE_EQ(StrToFloat("1,5", fs), 1.5);
}

TEST(SysUtils, FormatFloatPictures) {
  EXPECT_EQ(FormatFloat("0.000", 1.5), "1.500");
  EXPECT_EQ(FormatFloat("0.000", -0.0005), "-0.001");  // halves away from zero
  EXPECT_EQ(FormatFloat("0.000", -0.0004), "0.000");   // no minus on a zero
  EXPECT_EQ(FormatFloat("0.00", 1.005), "1.01");
  EXPECT_EQ(FormatFloat("0", 2.5), "3");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("#.##", 3), "3");
  EXPECT_EQ(FormatFloat("000", 7), "007");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), "1,234,567.89");
  EXPECT_EQ(FormatFloat("#,##0", 999.6), "1,000");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.0E-0", 0.00012), "1.2E-4");
  EXPECT_EQ(FormatFloat("0.0e+0", 5), "5.0e+0");
  EXPECT_EQ(FormatFloat("'$'0.00", 3.1), "$3.10");
  EXPECT_EQ(FormatFloat("0.0 \"kg\"", 3), "3.0 kg");
  EXPECT_EQ(FormatFloat("0.0;(0.0);zero", -2), "(2.0)");
  EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 0), "zero");
  EXPECT_EQ(FormatFloat("", 0.25), "0.25");
  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  EXPECT_EQ(FormatFloat("#,##0.000", 1234.5, fs), "1.234,500");
}

TEST(SysUtils, Booleans) {
  EXPECT_EQ(BoolToStr(true, true), "True");
  EXPECT_EQ(BoolToStr(false, true), "False");
  EXPECT_EQ(BoolToStr(true), "-1");
  bool b = false;
  EXPECT_TRUE(TryStrToBool("tRUE", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(TryStrToBool("FALSE", b));
  EXPECT_FALSE(b);
  EXPECT_TRUE(TryStrToBool("0.5", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(TryStrToBool("0", b));
  EXPECT_FALSE(b);
  EXPECT_FALSE(TryStrToBool("yes", b));
  EXPECT_THROW(StrToBool("maybe"), EConvertError);
}

TEST(SysUtils, DateTimeTextRoundTripsInDefaultLocale) {
  EXPECT_EQ(StrToDate("1/1/2015"), EncodeDate(2015, 1, 1));
  EXPECT_EQ(DateToStr(EncodeDate(2015, 1, 1)), "1/1/2015");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2015, 12, 31)), "12/31/2015");  // no time at midnight
  const TDateTime dt = EncodeDateTime(2015, 3, 4, 13, 5, 9, 0);
  EXPECT_EQ(DateTimeToStr(dt), "3/4/2015 13:05:09");
  EXPECT_EQ(StrToDateTime(DateTimeToStr(dt)), dt);
  EXPECT_EQ(StrToDateTime("3/4/2015 1:05:09 PM"), dt);
  EXPECT_EQ(StrToDateTime("3/4/2015 12:00 AM"), EncodeDate(2015, 3, 4));
  EXPECT_EQ(StrToTime("13:05"), EncodeTime(13, 5, 0, 0));
  EXPECT_EQ(StrToTime("13:05:09.5"), EncodeTime(13, 5, 9, 500));
  EXPECT_EQ(TimeToStr(EncodeTime(7, 8, 9, 0)), "07:08:09");
  // Before 1899-12-30 as well.
  const TDateTime old = EncodeDateTime(1850, 6, 1, 6, 0, 0, 0);
  EXPECT_EQ(StrToDateTime(DateTimeToStr(old)), old);

  TDateTime r = 0;
  EXPECT_FALSE(TryStrToDate("2/30/2015", r));
  EXPECT_FALSE(TryStrToDate("1/1/2015/3", r));
  EXPECT_FALSE(TryStrToDate("abc", r));
  EXPECT_FALSE(TryStrToTime("25:00", r));
  EXPECT_FALSE(TryStrToTime("13:00 PM", r));
  EXPECT_FALSE(TryStrToDateTime("1/1/2015 xx", r));
  EXPECT_THROW(StrToDateTime("31/12/2015"), EConvertError);

  TFormatSettings fs;
  fs.ShortDateFormat = "dd.mm.yyyy";
  fs.DateSeparator = '.';
  EXPECT_EQ(DateToStr(EncodeDate(2015, 12, 31), fs), "31.12.2015");
  EXPECT_EQ(StrToDate("31.12.2015", fs), EncodeDate(2015, 12, 31));
  // A two-digit year lands within 50 years of now.
  const TDateTime twoDigit = StrToDate("1.2.15", fs);
  uint16_t y, m, d;
  DecodeDate(twoDigit, y, m, d);
  EXPECT_EQ(y, 2015);
  EXPECT_EQ(m, 2);
}

TEST(SysUtils, FormatDateTimeSpecifiers) {
  const TDateTime dt = EncodeDateTime(2009, 7, 5, 14, 3, 9, 42);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", dt), "2009-07-05 14:03:09.042");
  EXPECT_EQ(FormatDateTime("yy/m/d", dt), "09/7/5");
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", dt), "Sun Sunday Jul July");
  EXPECT_EQ(FormatDateTime("h:mm", dt), "14:03");  // m after h means minutes
  EXPECT_EQ(FormatDateTime("h:nn am/pm", dt), "2:03 pm");
  EXPECT_EQ(FormatDateTime("hh AMPM", EncodeTime(0, 30, 0, 0)), "12 AM");
  EXPECT_EQ(FormatDateTime("'day' d", dt), "day 5");
  EXPECT_EQ(FormatDateTime("c", dt), "7/5/2009 14:03:09");
  EXPECT_EQ(FormatDateTime("t", dt), "14:03");
}

TEST(SysUtils, AnsiCaseAndComparison) {
  EXPECT_EQ(AnsiUpperCase("straße äöü é"), "STRAßE ÄÖÜ É");
  EXPECT_EQ(AnsiLowerCase("ÀÉÎ ABC"), "àéî abc");
  EXPECT_EQ(AnsiUpperCase(std::string("a\xff" "b")), std::string("A\xff" "B"));  // bad UTF-8 kept
  EXPECT_EQ(AnsiCompareText("émile", "ÉMILE"), 0);
  EXPECT_TRUE(AnsiSameText("Ärger", "äRGER"));
  EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
  EXPECT_GT(AnsiCompareStr("b", "a"), 0);
  EXPECT_NE(AnsiCompareStr("a", "A"), 0);
  EXPECT_LT(AnsiCompareStr("z", "é"), 0);  // code-point order beyond ASCII
  EXPECT_LT(AnsiCompareStr("ab", "abc"), 0);
}

TEST(SysUtils, ExtractFieldNameWalksSemicolonList) {
  const std::string list = " Name ; City;;Zip ";
  int pos = 1;
  EXPECT_EQ(ExtractFieldName(list, pos), "Name");
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(ExtractFieldName(list, pos), "City");
  EXPECT_EQ(ExtractFieldName(list, pos), "");
  EXPECT_EQ(ExtractFieldName(list, pos), "Zip");
  EXPECT_GT(pos, static_cast<int>(list.size()));
  EXPECT_EQ(ExtractFieldName(list, pos), "");
  EXPECT_EQ(QuotedStr("O'Hara"), "'O''Hara'");
  EXPECT_EQ(AnsiDequotedStr("'O''Hara'", '\''), "O'Hara");
}

}  // namespace
}  // namespace dac
