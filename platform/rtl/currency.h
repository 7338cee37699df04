#pragma once
// Currency: a fixed-point number with four decimals, held as a 64-bit count
// of 1/10000 units. Arithmetic is exact for + and -; * and / round to the
// nearest unit (halves to even). Results that leave the 64-bit range raise
// EIntOverflow.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace dac {

struct TFormatSettings;

struct Currency {
  // Units per 1.0.
  static constexpr int64_t Scale = 10000;

  // Count of 1/10000 units.
  int64_t Value = 0;

  constexpr Currency() = default;

  // From a count of 1/10000 units: FromRaw(12345) is 1.2345.
  static constexpr Currency FromRaw(int64_t raw) {
    Currency c;
    c.Value = raw;
    return c;
  }
  // From a whole number: FromInt(5) is 5.0000. Out of range raises EIntOverflow.
  static Currency FromInt(int64_t whole);
  // From a double, rounded to four decimals (halves to even). NaN, infinity
  // and values outside the currency range raise EConvertError.
  static Currency FromDouble(double value);

  constexpr int64_t Raw() const { return Value; }
  double ToDouble() const { return static_cast<double>(Value) / static_cast<double>(Scale); }
  // Whole part, truncated towards zero.
  constexpr int64_t Trunc() const { return Value / Scale; }
  // Rounded to a whole number, halves to even.
  int64_t Round() const;

  Currency operator-() const;
  Currency& operator+=(Currency other);
  Currency& operator-=(Currency other);
  Currency& operator*=(Currency other);
  // Division by zero raises EZeroDivide.
  Currency& operator/=(Currency other);

  friend constexpr bool operator==(Currency a, Currency b) = default;
  friend constexpr auto operator<=>(Currency a, Currency b) = default;
};

Currency operator+(Currency a, Currency b);
Currency operator-(Currency a, Currency b);
Currency operator*(Currency a, Currency b);
Currency operator/(Currency a, Currency b);
// Scaling by a double rounds the product to four decimals.
Currency operator*(Currency a, double b);
Currency operator/(Currency a, double b);

inline constexpr Currency MinCurrency = Currency::FromRaw(INT64_MIN);
inline constexpr Currency MaxCurrency = Currency::FromRaw(INT64_MAX);

// Rounds to four decimals; raises EConvertError when out of range.
Currency FloatToCurr(double value);
bool TryFloatToCurr(double value, Currency& result);

// Exact decimal text without trailing zeros: "12.5", "-0.0001", "3".
std::string CurrToStr(Currency value);
std::string CurrToStr(Currency value, const TFormatSettings& fs);
// Parses a decimal number (optional sign, locale decimal separator, optional
// exponent); more than four decimals are rounded (halves to even). Leading
// and trailing blanks are ignored. Bad text raises EConvertError.
Currency StrToCurr(std::string_view text);
Currency StrToCurr(std::string_view text, const TFormatSettings& fs);
bool TryStrToCurr(std::string_view text, Currency& result);
bool TryStrToCurr(std::string_view text, Currency& result, const TFormatSettings& fs);
Currency StrToCurrDef(std::string_view text, Currency def);

}  // namespace dac
