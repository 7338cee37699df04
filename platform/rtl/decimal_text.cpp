#include "platform/rtl/decimal_text.h"

#include "platform/rtl/int128.h"

namespace dac::detail {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseDecimalText(std::string_view text, char decimalSeparator, DecimalText& out) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  std::string_view s = text.substr(b, e - b);
  size_t i = 0;
  DecimalText d;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    d.Negative = s[i] == '-';
    ++i;
  }
  bool anyDigit = false;
  bool seenSep = false;
  int fracDigits = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (IsDigit(c)) {
      anyDigit = true;
      if (!(d.Digits.empty() && c == '0')) d.Digits += c;
      if (seenSep) ++fracDigits;
    } else if (c == decimalSeparator && !seenSep) {
      seenSep = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  long exp = 0;
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') return false;
    ++i;
    bool negExp = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      negExp = s[i] == '-';
      ++i;
    }
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i) {
      if (!IsDigit(s[i])) return false;
      exp = exp * 10 + (s[i] - '0');
      if (exp > 100000) return false;
    }
    if (negExp) exp = -exp;
  }
  // Zeros after the separator that preceded the first significant digit
  // were skipped above but still count as decimals.
  d.Exponent = static_cast<int>(exp) - fracDigits;
  if (d.Digits.empty()) d.Negative = false;
  out = std::move(d);
  return true;
}

bool ScaleDecimalText(const DecimalText& d, int places, int64_t& out) {
  if (d.Digits.empty()) {
    out = 0;
    return true;
  }
  const long shift = static_cast<long>(d.Exponent) + places;
  const long n = static_cast<long>(d.Digits.size());
  // Digits kept as the integer part, and the first dropped one.
  const long keep = n + (shift < 0 ? shift : 0);
  if (keep + (shift > 0 ? shift : 0) > 19) return false;
  UInt128 v = 0;
  for (long k = 0; k < keep; ++k) v = v * 10 + static_cast<unsigned>(d.Digits[static_cast<size_t>(k)] - '0');
  for (long k = 0; k < shift; ++k) v *= 10;
  if (shift < 0 && keep >= 0 && keep < n) {
    // Round on the dropped digits, halves to even. With keep < 0 every digit
    // lies two or more places below the unit and the value rounds to 0.
    const int dig = d.Digits[static_cast<size_t>(keep)] - '0';
    bool rest = false;
    for (long k = keep + 1; k < n; ++k) rest = rest || d.Digits[static_cast<size_t>(k)] != '0';
    if (dig > 5 || (dig == 5 && (rest || (v % 2) == 1))) v += 1;
  }
  const UInt128 limit = d.Negative ? static_cast<UInt128>(INT64_MAX) + 1 : static_cast<UInt128>(INT64_MAX);
  if (v > limit) return false;
  out = d.Negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(v)) : static_cast<int64_t>(v);
  return true;
}

}  // namespace dac::detail
