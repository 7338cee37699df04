#pragma once
// TBcd: a packed decimal of up to 64 digits, as the dataset framework's BCD
// fields store it (34 bytes, no padding).
//
// Precision is the number of digits held, SignSpecialPlaces carries the sign
// (0x80), the "blank" flag (0x40) and, in its low 6 bits, the number of those
// digits that follow the decimal point. Fraction holds the digits as nibbles,
// most significant first (Fraction[0] >> 4 is the first digit); nibbles past
// Precision are zero.
//
// One bit pattern is reserved: precision 64, sign/places 0 and every digit
// byte 0x99 marks a decimal that could not be converted from the engine's
// form. It is recognised by IsBcdNotConvertible and never read as a number:
// every conversion of it raises EConvertError. The positive integer of 64
// nines has the same bytes, so it cannot be held: conversions that would
// produce it fail instead.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/currency.h"

namespace dac {

struct TFormatSettings;

inline constexpr int MaxFMTBcdFractionSize = 64;

struct TBcd {
  uint8_t Precision = 0;
  uint8_t SignSpecialPlaces = 0;
  uint8_t Fraction[32] = {};
};
static_assert(sizeof(TBcd) == 34, "TBcd must stay 34 bytes: record slots hold it as is");

// Byte-wise equality (the representation, not the value: see BcdCompare).
bool operator==(const TBcd& a, const TBcd& b);

// The "not convertible" marker and its test.
TBcd NotConvertibleBcd();
bool IsBcdNotConvertible(const TBcd& bcd);

// Zero with precision 1 and scale 0.
TBcd NullBcd();
bool IsBcdNegative(const TBcd& bcd);
bool IsBcdZero(const TBcd& bcd);
// Number of digits held and digits after the point.
int BcdPrecision(const TBcd& bcd);
int BcdScale(const TBcd& bcd);

// Decimal text: "-12.50" keeps the stored scale ("12.50" for scale 2), no
// exponent; leading zeros of the integer part dropped ("0.5"). Uses the
// decimal separator of the settings (default settings when not given).
// The not-convertible marker and malformed digits raise EConvertError.
std::string BCDToStr(const TBcd& bcd);
std::string BCDToStr(const TBcd& bcd, const TFormatSettings& fs);

// Parses optional blanks, sign, digits, decimal separator, digits and an
// optional exponent ("1.5E3"). Leading zeros of the integer part are
// dropped; the scale is the number of digits written after the point
// (adjusted by the exponent). More than 64 significant digits or more than
// 63 decimals: the text is rejected. Bad text raises EConvertError.
TBcd StrToBCD(std::string_view text);
TBcd StrToBCD(std::string_view text, const TFormatSettings& fs);
bool TryStrToBCD(std::string_view text, TBcd& result);
bool TryStrToBCD(std::string_view text, TBcd& result, const TFormatSettings& fs);

// Currency to BCD with the given precision (1..64) and decimals (0..4; the
// value is rounded, halves away from zero, when fewer than 4). False when the
// digits do not fit the precision.
bool CurrToBCD(Currency curr, TBcd& bcd, int precision = 32, int decimals = 4);
TBcd CurrToBCD(Currency curr);
// BCD to currency, rounding beyond four decimals (halves away from zero).
// False (result unchanged) when out of the currency range or not convertible.
bool BCDToCurr(const TBcd& bcd, Currency& curr);
// As above, raising EConvertError instead of returning false.
Currency BCDToCurr(const TBcd& bcd);

double BCDToDouble(const TBcd& bcd);
// Through the value's 15-significant-digit text. NaN and infinity raise
// EConvertError.
TBcd DoubleToBCD(double value);
TBcd IntegerToBCD(int64_t value);
// Truncates the fraction; raises EConvertError when out of range.
int64_t BCDToInt64(const TBcd& bcd);

// Compares values: -1, 0 or 1 (1.50 equals 1.5). The marker raises EConvertError.
int BcdCompare(const TBcd& a, const TBcd& b);

// Re-packs the value with the given precision and places (rounding halves
// away from zero when places shrink). False when it does not fit.
bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places);

}  // namespace dac
