#pragma once
// Internal helper shared by the currency, BCD and float conversions: exact
// parsing of decimal text into digits and a power of ten.

#include <cstdint>
#include <string>
#include <string_view>

namespace dac::detail {

struct DecimalText {
  bool Negative = false;
  // Significant digits as written, without leading zeros (empty for zero);
  // trailing zeros are kept.
  std::string Digits;
  // The value is Digits * 10^Exponent.
  int Exponent = 0;
};

// Accepts surrounding blanks (and control characters), an optional sign,
// digits with at most one decimal separator (at least one digit in all) and
// an optional exponent "E[+|-]digits". Nothing else.
bool ParseDecimalText(std::string_view text, char decimalSeparator, DecimalText& out);

// Digits * 10^(Exponent + places) rounded to an integer (halves to even);
// false when it does not fit 64 bits.
bool ScaleDecimalText(const DecimalText& d, int places, int64_t& out);

}  // namespace dac::detail
