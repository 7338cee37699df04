#include "platform/rtl/bcd.h"

#include <cmath>
#include <charconv>
#include <cstring>

#include "platform/rtl/decimal_text.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/int128.h"

namespace dac {

namespace {

constexpr uint8_t kNegBit = 0x80;
constexpr uint8_t kBlankBit = 0x40;
constexpr uint8_t kPlacesMask = 0x3F;

// A TBcd spelled out: every held digit as a character, the last Places of
// them after the point.
struct Unpacked {
  bool Negative = false;
  std::string Digits;
  int Places = 0;
};

[[noreturn]] void NotConvertible() {
  throw EConvertError("The decimal value could not be converted from its stored form");
}

[[noreturn]] void InvalidBcd() { throw EConvertError("Invalid BCD value"); }

Unpacked Unpack(const TBcd& bcd) {
  if (IsBcdNotConvertible(bcd)) NotConvertible();
  Unpacked u;
  const int prec = bcd.Precision;
  if (prec > MaxFMTBcdFractionSize) InvalidBcd();
  u.Places = bcd.SignSpecialPlaces & kPlacesMask;
  u.Negative = (bcd.SignSpecialPlaces & kNegBit) != 0;
  if (prec == 0) {
    // No digits: zero with the stated scale.
    u.Digits.assign(static_cast<size_t>(u.Places), '0');
    return u;
  }
  // More places than digits: the missing digits are leading zeros.
  if (u.Places > prec) u.Digits.assign(static_cast<size_t>(u.Places - prec), '0');
  for (int i = 0; i < prec; ++i) {
    const uint8_t byte = bcd.Fraction[i / 2];
    const int nib = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    if (nib > 9) InvalidBcd();
    u.Digits += static_cast<char>('0' + nib);
  }
  return u;
}

// Packs digits (leading zeros of the integer part dropped) with the given
// number of places; false when more than 64 digits or 63 places remain.
bool Pack(bool negative, std::string digits, int places, TBcd& out) {
  if (places < 0) return false;
  if (digits.size() < static_cast<size_t>(places)) {
    digits.insert(0, static_cast<size_t>(places) - digits.size(), '0');
  }
  size_t lead = 0;
  while (lead + static_cast<size_t>(places) < digits.size() && digits[lead] == '0') ++lead;
  digits.erase(0, lead);
  if (digits.empty()) digits = "0";
  if (places > kPlacesMask || digits.size() > static_cast<size_t>(MaxFMTBcdFractionSize)) return false;
  TBcd r;
  r.Precision = static_cast<uint8_t>(digits.size());
  bool zero = digits.find_first_not_of('0') == std::string::npos;
  r.SignSpecialPlaces = static_cast<uint8_t>(((negative && !zero) ? kNegBit : 0) | places);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t nib = static_cast<uint8_t>(digits[i] - '0');
    r.Fraction[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(nib << 4) : nib;
  }
  // 64 nines without sign or places share their bytes with the "not
  // convertible" marker; that value cannot be held.
  if (IsBcdNotConvertible(r)) return false;
  out = r;
  return true;
}

// Rounds a digit string with `places` decimals to `newPlaces` decimals,
// halves away from zero.
void RoundDigits(std::string& digits, int& places, int newPlaces) {
  if (newPlaces >= places) {
    digits.append(static_cast<size_t>(newPlaces - places), '0');
    places = newPlaces;
    return;
  }
  // Leading zeros so that the digits cut off never reach past the first
  // (a currency of 0 is the single digit "0" with four places).
  if (digits.size() <= static_cast<size_t>(places)) digits.insert(0, static_cast<size_t>(places) + 1 - digits.size(), '0');
  const size_t cut = digits.size() - static_cast<size_t>(places - newPlaces);
  const bool up = digits[cut] >= '5';
  digits.erase(cut);
  places = newPlaces;
  if (up) {
    // Carry from the last digit; one past the first means a new leading 1.
    size_t i = digits.size();
    for (; i > 0; --i) {
      char& d = digits[i - 1];
      if (d == '9') {
        d = '0';
      } else {
        ++d;
        break;
      }
    }
    if (i == 0) digits.insert(0, "1");
  }
}

bool IsZeroDigits(const std::string& digits) {
  return digits.find_first_not_of('0') == std::string::npos;
}

}  // namespace

bool operator==(const TBcd& a, const TBcd& b) { return std::memcmp(&a, &b, sizeof(TBcd)) == 0; }

TBcd NotConvertibleBcd() {
  TBcd r;
  r.Precision = 64;
  r.SignSpecialPlaces = 0;
  std::memset(r.Fraction, 0x99, sizeof r.Fraction);
  return r;
}

bool IsBcdNotConvertible(const TBcd& bcd) {
  if (bcd.Precision != 64 || bcd.SignSpecialPlaces != 0) return false;
  for (uint8_t b : bcd.Fraction) {
    if (b != 0x99) return false;
  }
  return true;
}

TBcd NullBcd() {
  TBcd r;
  r.Precision = 1;
  return r;
}

bool IsBcdNegative(const TBcd& bcd) {
  return !IsBcdNotConvertible(bcd) && (bcd.SignSpecialPlaces & kNegBit) != 0 && !IsBcdZero(bcd);
}

bool IsBcdZero(const TBcd& bcd) {
  if (IsBcdNotConvertible(bcd)) return false;
  const int prec = bcd.Precision > 64 ? 64 : bcd.Precision;
  for (int i = 0; i < prec; ++i) {
    const uint8_t byte = bcd.Fraction[i / 2];
    if (((i % 2 == 0) ? (byte >> 4) : (byte & 0x0F)) != 0) return false;
  }
  return true;
}

int BcdPrecision(const TBcd& bcd) { return bcd.Precision; }

int BcdScale(const TBcd& bcd) { return bcd.SignSpecialPlaces & kPlacesMask; }

std::string BCDToStr(const TBcd& bcd) { return BCDToStr(bcd, DefaultFormatSettings()); }

std::string BCDToStr(const TBcd& bcd, const TFormatSettings& fs) {
  const Unpacked u = Unpack(bcd);
  const size_t intLen = u.Digits.size() - static_cast<size_t>(u.Places);
  std::string intPart = u.Digits.substr(0, intLen);
  const size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  std::string s;
  if (u.Negative && !IsZeroDigits(u.Digits)) s += '-';
  s += intPart;
  if (u.Places > 0) {
    s += fs.DecimalSeparator;
    s += u.Digits.substr(intLen);
  }
  return s;
}

bool TryStrToBCD(std::string_view text, TBcd& result, const TFormatSettings& fs) {
  detail::DecimalText d;
  if (!detail::ParseDecimalText(text, fs.DecimalSeparator, d)) return false;
  std::string digits = d.Digits;
  int places = 0;
  if (d.Exponent >= 0) {
    if (!digits.empty()) digits.append(static_cast<size_t>(d.Exponent), '0');
  } else {
    places = -d.Exponent;
  }
  if (digits.size() > static_cast<size_t>(MaxFMTBcdFractionSize) + static_cast<size_t>(places)) {
    return false;
  }
  return Pack(d.Negative, std::move(digits), places, result);
}

bool TryStrToBCD(std::string_view text, TBcd& result) {
  return TryStrToBCD(text, result, DefaultFormatSettings());
}

TBcd StrToBCD(std::string_view text, const TFormatSettings& fs) {
  TBcd r;
  if (!TryStrToBCD(text, r, fs)) {
    throw EConvertError(Format("\"%s\" is not a valid BCD value", std::string(text)));
  }
  return r;
}

TBcd StrToBCD(std::string_view text) { return StrToBCD(text, DefaultFormatSettings()); }

bool CurrToBCD(Currency curr, TBcd& bcd, int precision, int decimals) {
  if (precision < 1 || precision > MaxFMTBcdFractionSize || decimals < 0 || decimals > 4 ||
      decimals > precision) {
    return false;
  }
  const bool neg = curr.Value < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(curr.Value) : static_cast<uint64_t>(curr.Value);
  std::string digits = std::to_string(mag);
  int places = 4;
  RoundDigits(digits, places, decimals);
  TBcd r;
  if (!Pack(neg, digits, places, r) || r.Precision > precision) return false;
  bcd = r;
  return true;
}

TBcd CurrToBCD(Currency curr) {
  TBcd r;
  CurrToBCD(curr, r);  // always fits 32 digits
  return r;
}

bool BCDToCurr(const TBcd& bcd, Currency& curr) {
  if (IsBcdNotConvertible(bcd)) return false;
  Unpacked u;
  try {
    u = Unpack(bcd);
  } catch (const EConvertError&) {
    return false;
  }
  std::string digits = u.Digits;
  int places = u.Places;
  RoundDigits(digits, places, 4);
  const size_t nz = digits.find_first_not_of('0');
  digits = nz == std::string::npos ? "0" : digits.substr(nz);
  if (digits.size() > 19) return false;
  const UInt128 v = std::stoull(digits);
  const UInt128 limit = u.Negative ? static_cast<UInt128>(INT64_MAX) + 1 : static_cast<UInt128>(INT64_MAX);
  if (v > limit) return false;
  const uint64_t v64 = static_cast<uint64_t>(v);
  curr = Currency::FromRaw(u.Negative ? static_cast<int64_t>(0 - v64) : static_cast<int64_t>(v64));
  return true;
}

Currency BCDToCurr(const TBcd& bcd) {
  if (IsBcdNotConvertible(bcd)) NotConvertible();
  Currency c;
  if (!BCDToCurr(bcd, c)) throw EConvertError("BCD value out of currency range");
  return c;
}

double BCDToDouble(const TBcd& bcd) {
  const Unpacked u = Unpack(bcd);
  std::string s = u.Negative ? "-" : "";
  s += u.Digits.empty() ? "0" : u.Digits;
  s += "e-" + std::to_string(u.Places);
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);  // locale-independent
  return v;
}

TBcd DoubleToBCD(double value) {
  if (!std::isfinite(value)) throw EConvertError(Format("%g is not a valid BCD value", value));
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  TBcd r;
  TFormatSettings fs;
  fs.DecimalSeparator = '.';  // to_chars ignores the C locale
  if (!TryStrToBCD(std::string_view(buf, static_cast<size_t>(res.ptr - buf)), r, fs)) throw EConvertError(Format("%g is not a valid BCD value", value));
  return r;
}

TBcd IntegerToBCD(int64_t value) {
  const bool neg = value < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  TBcd r;
  Pack(neg, std::to_string(mag), 0, r);
  return r;
}

int64_t BCDToInt64(const TBcd& bcd) {
  const Unpacked u = Unpack(bcd);
  std::string intPart = u.Digits.substr(0, u.Digits.size() - static_cast<size_t>(u.Places));
  const size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  const UInt128 limit = u.Negative ? static_cast<UInt128>(INT64_MAX) + 1 : static_cast<UInt128>(INT64_MAX);
  if (intPart.size() > 19 || std::stoull(intPart) > limit) {
    throw EConvertError("BCD value out of integer range");
  }
  const uint64_t v = std::stoull(intPart);
  return u.Negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  const Unpacked ua = Unpack(a);
  const Unpacked ub = Unpack(b);
  const bool za = IsZeroDigits(ua.Digits);
  const bool zb = IsZeroDigits(ub.Digits);
  const int sa = za ? 0 : (ua.Negative ? -1 : 1);
  const int sb = zb ? 0 : (ub.Negative ? -1 : 1);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  // Same sign: align the points and compare magnitudes digit by digit.
  auto align = [](const Unpacked& u, int places) {
    std::string d = u.Digits + std::string(static_cast<size_t>(places - u.Places), '0');
    const size_t nz = d.find_first_not_of('0');
    return d.substr(nz);
  };
  const int places = ua.Places > ub.Places ? ua.Places : ub.Places;
  const std::string da = align(ua, places);
  const std::string db = align(ub, places);
  int mag = 0;
  if (da.size() != db.size()) {
    mag = da.size() < db.size() ? -1 : 1;
  } else {
    const int c = da.compare(db);
    mag = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return sa > 0 ? mag : -mag;
}

bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places) {
  if (precision < 1 || precision > MaxFMTBcdFractionSize || places < 0 || places > precision) {
    return false;
  }
  Unpacked u;
  try {
    u = Unpack(in);
  } catch (const EConvertError&) {
    return false;
  }
  std::string digits = u.Digits;
  int p = u.Places;
  RoundDigits(digits, p, places);
  TBcd r;
  if (!Pack(u.Negative, digits, p, r) || r.Precision > precision) return false;
  out = r;
  return true;
}

}  // namespace dac
