#include <gtest/gtest.h>

#include <cstring>

#include "platform/rtl/bcd.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format_settings.h"

namespace dac {
namespace {

TEST(Bcd, PackedLayout) {
  const TBcd b = StrToBCD("-12.50");
  EXPECT_EQ(b.Precision, 4);
  EXPECT_EQ(b.SignSpecialPlaces, 0x80 | 2);
  EXPECT_EQ(b.Fraction[0], 0x12);
  EXPECT_EQ(b.Fraction[1], 0x50);
  for (int i = 2; i < 32; ++i) EXPECT_EQ(b.Fraction[i], 0) << i;
  EXPECT_EQ(BcdPrecision(b), 4);
  EXPECT_EQ(BcdScale(b), 2);
  EXPECT_TRUE(IsBcdNegative(b));

  const TBcd small = StrToBCD("0.05");
  EXPECT_EQ(small.Precision, 2);
  EXPECT_EQ(small.Fraction[0], 0x05);
  EXPECT_EQ(BcdScale(small), 2);
}

TEST(Bcd, TextRoundTripKeepsScaleAndSign) {
  for (const char* text : {"0", "12.5", "-12.50", "0.5", "-0.0001", "123456789012345678901234567890",
                           "0.000", "99999999999999999999999999999999.99"}) {
    EXPECT_EQ(BCDToStr(StrToBCD(text)), text) << text;
  }
  EXPECT_EQ(BCDToStr(StrToBCD("007.10")), "7.10");
  EXPECT_EQ(BCDToStr(StrToBCD("-0")), "0");  // no negative zero
  EXPECT_EQ(BCDToStr(StrToBCD("1.5E3")), "1500");
  EXPECT_EQ(BCDToStr(StrToBCD("125E-3")), "0.125");
  EXPECT_EQ(BCDToStr(StrToBCD(".5")), "0.5");
  // 64 digits fit, 65 do not.
  const std::string d64 = std::string(63, '9') + "8";
  EXPECT_EQ(BCDToStr(StrToBCD(d64)), d64);
  TBcd b;
  EXPECT_FALSE(TryStrToBCD(d64 + "9", b));
  // 64 nines would pack into the "not convertible" marker: refused.
  EXPECT_FALSE(TryStrToBCD(std::string(64, '9'), b));
  EXPECT_TRUE(TryStrToBCD("-" + std::string(64, '9'), b));
  EXPECT_FALSE(TryStrToBCD("", b));
  EXPECT_FALSE(TryStrToBCD("1,5", b));
  EXPECT_FALSE(TryStrToBCD("--1", b));
  EXPECT_THROW(StrToBCD("abc"), EConvertError);

  TFormatSettings fs;
  fs.DecimalSeparator = ',';
  EXPECT_EQ(BCDToStr(StrToBCD("3,25", fs), fs), "3,25");
}

TEST(Bcd, NotConvertibleMarker) {
  const TBcd m = NotConvertibleBcd();
  EXPECT_EQ(m.Precision, 64);
  EXPECT_EQ(m.SignSpecialPlaces, 0);
  for (uint8_t byte : m.Fraction) EXPECT_EQ(byte, 0x99);
  EXPECT_TRUE(IsBcdNotConvertible(m));
  EXPECT_THROW(BCDToStr(m), EConvertError);
  EXPECT_THROW(BCDToCurr(m), EConvertError);
  EXPECT_THROW(BCDToDouble(m), EConvertError);
  Currency c = Currency::FromRaw(5);
  EXPECT_FALSE(BCDToCurr(m, c));
  EXPECT_EQ(c.Raw(), 5);
  // The same digits with a sign or places are an ordinary (huge) number.
  TBcd nines = m;
  nines.SignSpecialPlaces = 0x80;
  EXPECT_FALSE(IsBcdNotConvertible(nines));
  EXPECT_EQ(BCDToStr(nines), "-" + std::string(64, '9'));
  EXPECT_FALSE(IsBcdNotConvertible(StrToBCD("0")));
}

TEST(Bcd, CurrencyConversions) {
  TBcd b;
  ASSERT_TRUE(CurrToBCD(StrToCurr("-1234.5678"), b));
  EXPECT_EQ(BCDToStr(b), "-1234.5678");
  ASSERT_TRUE(CurrToBCD(StrToCurr("1234.5678"), b, 32, 2));
  EXPECT_EQ(BCDToStr(b), "1234.57");
  ASSERT_TRUE(CurrToBCD(StrToCurr("-0.005"), b, 32, 2));
  EXPECT_EQ(BCDToStr(b), "-0.01");
  // Values with fewer digits than the places cut off.
  ASSERT_TRUE(CurrToBCD(StrToCurr("0"), b, 11, 2));
  EXPECT_EQ(BCDToCurr(b).Raw(), 0);
  ASSERT_TRUE(CurrToBCD(Currency::FromRaw(5), b, 11, 0));
  EXPECT_EQ(BCDToCurr(b).Raw(), 0);
  ASSERT_TRUE(CurrToBCD(Currency::FromRaw(-50), b, 11, 2));
  EXPECT_EQ(BCDToStr(b), "-0.01");
  EXPECT_FALSE(CurrToBCD(StrToCurr("123456"), b, 5, 0));
  EXPECT_TRUE(CurrToBCD(StrToCurr("12345"), b, 5, 0));
  EXPECT_EQ(BCDToStr(CurrToBCD(MinCurrency)), "-922337203685477.5808");

  EXPECT_EQ(BCDToCurr(StrToBCD("12.34567")).Raw(), 123457);  // rounded
  EXPECT_EQ(BCDToCurr(StrToBCD("-0.00005")).Raw(), -1);      // halves away from zero
  EXPECT_EQ(BCDToCurr(StrToBCD("922337203685477.5807")), MaxCurrency);
  Currency c;
  EXPECT_FALSE(BCDToCurr(StrToBCD("922337203685477.5808"), c));
  EXPECT_THROW(BCDToCurr(StrToBCD("1E20")), EConvertError);
}

TEST(Bcd, DoubleIntegerAndCompare) {
  EXPECT_DOUBLE_EQ(BCDToDouble(StrToBCD("-12.5")), -12.5);
  EXPECT_EQ(BCDToStr(DoubleToBCD(0.1)), "0.1");
  EXPECT_EQ(BCDToStr(DoubleToBCD(-1e20)), "-100000000000000000000");
  EXPECT_THROW(DoubleToBCD(std::numeric_limits<double>::infinity()), EConvertError);
  EXPECT_EQ(BCDToStr(IntegerToBCD(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(BCDToInt64(StrToBCD("-42.9")), -42);
  EXPECT_THROW(BCDToInt64(StrToBCD("9223372036854775808")), EConvertError);

  EXPECT_EQ(BcdCompare(StrToBCD("1.50"), StrToBCD("1.5")), 0);
  EXPECT_FALSE(StrToBCD("1.50") == StrToBCD("1.5"));  // same value, other bytes
  EXPECT_EQ(BcdCompare(StrToBCD("-2"), StrToBCD("1")), -1);
  EXPECT_EQ(BcdCompare(StrToBCD("-2"), StrToBCD("-10")), 1);
  EXPECT_EQ(BcdCompare(StrToBCD("10"), StrToBCD("9.99")), 1);
  EXPECT_EQ(BcdCompare(StrToBCD("0.00"), StrToBCD("-0")), 0);
  EXPECT_THROW(BcdCompare(NotConvertibleBcd(), StrToBCD("1")), EConvertError);

  TBcd n;
  ASSERT_TRUE(NormalizeBcd(StrToBCD("9.995"), n, 10, 2));
  EXPECT_EQ(BCDToStr(n), "10.00");
  EXPECT_FALSE(NormalizeBcd(StrToBCD("123.4"), n, 3, 1));
}

TEST(Bcd, MalformedDigitsRaise) {
  TBcd b = StrToBCD("12");
  b.Fraction[0] = 0x1A;  // nibble above 9
  EXPECT_THROW(BCDToStr(b), EConvertError);
  b = TBcd{};
  b.Precision = 65;
  EXPECT_THROW(BCDToStr(b), EConvertError);
  // More places than digits: the missing digits are leading zeros.
  b = TBcd{};
  b.Precision = 1;
  b.SignSpecialPlaces = 3;
  b.Fraction[0] = 0x50;
  EXPECT_EQ(BCDToStr(b), "0.005");
}

}  // namespace
}  // namespace dac
