#include <gtest/gtest.h>

#include "platform/rtl/currency.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format_settings.h"

namespace dac {
namespace {

TEST(Currency, FloatToCurrRoundsToFourDecimalsHalvesToEven) {
  EXPECT_EQ(FloatToCurr(1.5).Raw(), 15000);
  EXPECT_EQ(FloatToCurr(0.1235).Raw(), 1235);  // not 1234 through a binary error
  // Exact binary ties go to even: 1.03125 * 10000 = 10312.5.
  EXPECT_EQ(FloatToCurr(1.03125).Raw(), 10312);
  EXPECT_EQ(FloatToCurr(1.09375).Raw(), 10938);
  // 0.00015 is stored a little below the tie.
  EXPECT_EQ(FloatToCurr(0.00015).Raw(), 1);
  EXPECT_EQ(FloatToCurr(-2.71828).Raw(), -27183);
  EXPECT_EQ(FloatToCurr(922337203685477.0).Raw(), 9223372036854770000);
  EXPECT_THROW(FloatToCurr(1e15), EConvertError);
  EXPECT_THROW(FloatToCurr(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  Currency c = Currency::FromRaw(7);
  EXPECT_FALSE(TryFloatToCurr(-1e300, c));
  EXPECT_EQ(c.Raw(), 7);  // unchanged on failure
}

TEST(Currency, ArithmeticIsExactAndOverflowRaises) {
  const Currency a = StrToCurr("10.25");
  const Currency b = StrToCurr("0.0003");
  EXPECT_EQ((a + b).Raw(), 102503);
  EXPECT_EQ((b - a).Raw(), -102497);
  EXPECT_EQ((a * StrToCurr("2")).Raw(), 205000);
  EXPECT_EQ((StrToCurr("0.0001") * StrToCurr("0.5")).Raw(), 0);      // 0.00005 -> even
  EXPECT_EQ((StrToCurr("0.0003") * StrToCurr("0.5")).Raw(), 2);      // 0.00015 -> even
  EXPECT_EQ((StrToCurr("1") / StrToCurr("3")).Raw(), 3333);
  EXPECT_EQ((StrToCurr("2") / StrToCurr("3")).Raw(), 6667);
  EXPECT_THROW(a / Currency(), EZeroDivide);
  EXPECT_THROW(MaxCurrency + Currency::FromRaw(1), EIntOverflow);
  EXPECT_THROW(-MinCurrency, EIntOverflow);
  EXPECT_THROW(MaxCurrency * StrToCurr("2"), EIntOverflow);
  EXPECT_LT(b, a);
  EXPECT_EQ(Currency::FromInt(3), StrToCurr("3.0000"));
  EXPECT_EQ(StrToCurr("2.5").Round(), 2);
  EXPECT_EQ(StrToCurr("3.5").Round(), 4);
  EXPECT_EQ(StrToCurr("-3.99").Trunc(), -3);
}

TEST(Currency, TextRoundTrip) {
  EXPECT_EQ(CurrToStr(StrToCurr("12.50")), "12.5");
  EXPECT_EQ(CurrToStr(StrToCurr("-0.0001")), "-0.0001");
  EXPECT_EQ(CurrToStr(StrToCurr("+3")), "3");
  EXPECT_EQ(CurrToStr(StrToCurr(" 1.5E2 ")), "150");
  EXPECT_EQ(CurrToStr(StrToCurr("0.00005")), "0");
  EXPECT_EQ(CurrToStr(StrToCurr("0.00015")), "0.0002");
  EXPECT_EQ(CurrToStr(StrToCurr("9.99995")), "10");     // the carry runs through
  EXPECT_EQ(CurrToStr(StrToCurr("-0.00005")), "0");     // no negative zero
  EXPECT_EQ(CurrToStr(StrToCurr("0.000049999")), "0");  // digits far below the unit
  EXPECT_EQ(StrToCurr("1234567.891").Raw(), 12345678910);
  EXPECT_EQ(CurrToStr(MinCurrency), "-922337203685477.5808");
  EXPECT_EQ(CurrToStr(MaxCurrency), "922337203685477.5807");
  EXPECT_EQ(StrToCurr("922337203685477.5807"), MaxCurrency);
  Currency c;
  EXPECT_FALSE(TryStrToCurr("922337203685477.5808", c));
  EXPECT_FALSE(TryStrToCurr("", c));
  EXPECT_FALSE(TryStrToCurr("1.2.3", c));
  EXPECT_FALSE(TryStrToCurr("12abc", c));
  EXPECT_FALSE(TryStrToCurr("-", c));
  EXPECT_THROW(StrToCurr("x"), EConvertError);
  EXPECT_EQ(StrToCurrDef("bad", Currency::FromInt(9)), Currency::FromInt(9));

  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  EXPECT_EQ(CurrToStr(StrToCurr("1,25", fs), fs), "1,25");
  EXPECT_FALSE(TryStrToCurr("1.25", c, fs));
}

}  // namespace
}  // namespace dac
