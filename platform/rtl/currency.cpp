#include "platform/rtl/currency.h"

#include <cmath>
#include <cstdlib>

#include "platform/rtl/decimal_text.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/int128.h"

namespace dac {

namespace {

[[noreturn]] void Overflow() { throw EIntOverflow("Arithmetic overflow"); }

int64_t Checked(Int128 v) {
  if (v > INT64_MAX || v < INT64_MIN) Overflow();
  return static_cast<int64_t>(v);
}

// num / den rounded to the nearest integer, halves to even.
Int128 DivRoundEven(Int128 num, Int128 den) {
  if (den < 0) {
    num = -num;
    den = -den;
  }
  Int128 q = num / den;
  Int128 r = num % den;
  if (r < 0) r = -r;
  const Int128 twice = 2 * r;
  if (twice > den || (twice == den && (q % 2 != 0))) q += (num < 0) ? -1 : 1;
  return q;
}

}  // namespace

Currency Currency::FromInt(int64_t whole) { return FromRaw(Checked(static_cast<Int128>(whole) * Scale)); }

Currency Currency::FromDouble(double value) { return FloatToCurr(value); }

int64_t Currency::Round() const { return static_cast<int64_t>(DivRoundEven(Value, Scale)); }

Currency Currency::operator-() const {
  if (Value == INT64_MIN) Overflow();
  return FromRaw(-Value);
}

Currency& Currency::operator+=(Currency other) {
  if (__builtin_add_overflow(Value, other.Value, &Value)) Overflow();
  return *this;
}

Currency& Currency::operator-=(Currency other) {
  if (__builtin_sub_overflow(Value, other.Value, &Value)) Overflow();
  return *this;
}

Currency& Currency::operator*=(Currency other) {
  Value = Checked(DivRoundEven(static_cast<Int128>(Value) * other.Value, Scale));
  return *this;
}

Currency& Currency::operator/=(Currency other) {
  if (other.Value == 0) throw EZeroDivide("Division by zero");
  Value = Checked(DivRoundEven(static_cast<Int128>(Value) * Scale, other.Value));
  return *this;
}

Currency operator+(Currency a, Currency b) { return a += b; }
Currency operator-(Currency a, Currency b) { return a -= b; }
Currency operator*(Currency a, Currency b) { return a *= b; }
Currency operator/(Currency a, Currency b) { return a /= b; }

Currency operator*(Currency a, double b) {
  const long double r = static_cast<long double>(a.Value) * b;
  if (!std::isfinite(r) || std::fabs(r) >= 9.2233720368547758e18L) Overflow();
  return Currency::FromRaw(static_cast<int64_t>(std::nearbyintl(r)));
}

Currency operator/(Currency a, double b) {
  if (b == 0) throw EZeroDivide("Division by zero");
  const long double r = static_cast<long double>(a.Value) / b;
  if (!std::isfinite(r) || std::fabs(r) >= 9.2233720368547758e18L) Overflow();
  return Currency::FromRaw(static_cast<int64_t>(std::nearbyintl(r)));
}

bool TryFloatToCurr(double value, Currency& result) {
  if (!std::isfinite(value)) return false;
  // Extended precision keeps the scaled value (nearly) exact, so that 0.1235
  // becomes 1235 units and not 1234.
  const long double scaled = static_cast<long double>(value) * Currency::Scale;
  if (std::fabs(scaled) >= 9.2233720368547758e18L) return false;
  result = Currency::FromRaw(static_cast<int64_t>(std::nearbyintl(scaled)));
  return true;
}

Currency FloatToCurr(double value) {
  Currency c;
  if (!TryFloatToCurr(value, c)) {
    throw EConvertError(Format("Floating point value %g out of currency range", value));
  }
  return c;
}

std::string CurrToStr(Currency value) { return CurrToStr(value, DefaultFormatSettings()); }

std::string CurrToStr(Currency value, const TFormatSettings& fs) {
  const bool neg = value.Value < 0;
  uint64_t mag = neg ? 0 - static_cast<uint64_t>(value.Value) : static_cast<uint64_t>(value.Value);
  const uint64_t whole = mag / Currency::Scale;
  uint64_t frac = mag % Currency::Scale;
  std::string s = neg ? "-" : "";
  s += std::to_string(whole);
  if (frac != 0) {
    std::string f = std::to_string(frac);
    f.insert(0, 4 - f.size(), '0');
    while (!f.empty() && f.back() == '0') f.pop_back();
    s += fs.DecimalSeparator;
    s += f;
  }
  return s;
}

bool TryStrToCurr(std::string_view text, Currency& result, const TFormatSettings& fs) {
  detail::DecimalText d;
  if (!detail::ParseDecimalText(text, fs.DecimalSeparator, d)) return false;
  int64_t raw = 0;
  if (!detail::ScaleDecimalText(d, 4, raw)) return false;
  result = Currency::FromRaw(raw);
  return true;
}

bool TryStrToCurr(std::string_view text, Currency& result) {
  return TryStrToCurr(text, result, DefaultFormatSettings());
}

Currency StrToCurr(std::string_view text, const TFormatSettings& fs) {
  Currency c;
  if (!TryStrToCurr(text, c, fs)) {
    throw EConvertError(Format("\"%s\" is not a valid currency value", std::string(text)));
  }
  return c;
}

Currency StrToCurr(std::string_view text) { return StrToCurr(text, DefaultFormatSettings()); }

Currency StrToCurrDef(std::string_view text, Currency def) {
  Currency c;
  return TryStrToCurr(text, c) ? c : def;
}

}  // namespace dac
