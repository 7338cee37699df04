// Integers, Booleans and small string helpers. Floating point, dates and
// times, and locale-aware text are in sysutils_float.cpp,
// sysutils_datetime.cpp and sysutils_text.cpp.

#include "platform/rtl/sysutils.h"

#include <cstdint>
#include <limits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/int128.h"
#include "platform/rtl/sysutils_detail.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {

using detail::IsDigit;
using detail::TrimView;

// ---- integers ----

bool ParseInt(std::string_view text, int64_t lo, int64_t hi, int64_t& result) {
  std::string_view s = TrimView(text);
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    neg = s[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  UInt128 v = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int dig = -1;
    if (IsDigit(c)) {
      dig = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      dig = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      dig = c - 'A' + 10;
    }
    if (dig < 0 || dig >= base) return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(dig);
    if (v > (static_cast<UInt128>(1) << 64)) return false;
  }
  Int128 sv = neg ? -static_cast<Int128>(v) : static_cast<Int128>(v);
  // Hexadecimal text may spell a negative number in two's complement
  // ("$FFFFFFFF" is -1 for a 32-bit result), as the classic parser allows.
  if (base == 16 && !neg) {
    if (hi == INT32_MAX && v > static_cast<UInt128>(INT32_MAX) && v <= 0xFFFFFFFFu) {
      sv = static_cast<int32_t>(static_cast<uint32_t>(v));
    } else if (hi == INT64_MAX && v > static_cast<UInt128>(INT64_MAX) &&
               v <= std::numeric_limits<uint64_t>::max()) {
      sv = static_cast<int64_t>(static_cast<uint64_t>(v));
    }
  }
  if (sv < lo || sv > hi) return false;
  result = static_cast<int64_t>(sv);
  return true;
}

[[noreturn]] void InvalidInteger(std::string_view text) {
  throw EConvertError(Format("\"%s\" is an invalid integer", std::string(text)));
}

}  // namespace

// ---- integers ----

bool TryStrToInt(std::string_view text, int32_t& result) {
  int64_t v = 0;
  if (!ParseInt(text, INT32_MIN, INT32_MAX, v)) return false;
  result = static_cast<int32_t>(v);
  return true;
}

bool TryStrToInt64(std::string_view text, int64_t& result) {
  return ParseInt(text, INT64_MIN, INT64_MAX, result);
}

int32_t StrToInt(std::string_view text) {
  int32_t r = 0;
  if (!TryStrToInt(text, r)) InvalidInteger(text);
  return r;
}

int64_t StrToInt64(std::string_view text) {
  int64_t r = 0;
  if (!TryStrToInt64(text, r)) InvalidInteger(text);
  return r;
}

int32_t StrToIntDef(std::string_view text, int32_t def) {
  int32_t r = 0;
  return TryStrToInt(text, r) ? r : def;
}

int64_t StrToInt64Def(std::string_view text, int64_t def) {
  int64_t r = 0;
  return TryStrToInt64(text, r) ? r : def;
}

std::string IntToHex(uint64_t value, int digits) {
  static const char* hex = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), hex[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (s.size() < static_cast<size_t>(digits)) s.insert(0, static_cast<size_t>(digits) - s.size(), '0');
  return s;
}

// ---- Booleans ----

std::string BoolToStr(bool value, bool useBoolStrs) {
  if (useBoolStrs) return value ? "True" : "False";
  return value ? "-1" : "0";
}

bool TryStrToBool(std::string_view text, bool& result) {
  const std::string_view s = TrimView(text);
  double d = 0;
  if (TryStrToFloat(s, d)) {
    result = d != 0;
    return true;
  }
  if (SameText(s, "True")) {
    result = true;
    return true;
  }
  if (SameText(s, "False")) {
    result = false;
    return true;
  }
  return false;
}

bool StrToBool(std::string_view text) {
  bool r = false;
  if (!TryStrToBool(text, r)) {
    throw EConvertError(Format("\"%s\" is not a valid boolean.", std::string(text)));
  }
  return r;
}

bool StrToBoolDef(std::string_view text, bool def) {
  bool r = false;
  return TryStrToBool(text, r) ? r : def;
}

// ---- small string helpers ----

std::string ExtractFieldName(std::string_view fields, int& pos) {
  const int len = static_cast<int>(fields.size());
  if (pos < 1) pos = 1;
  int i = pos;
  while (i <= len && fields[static_cast<size_t>(i - 1)] != ';') ++i;
  std::string result;
  if (pos <= len) result = Trim(fields.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(i - pos)));
  if (i <= len && fields[static_cast<size_t>(i - 1)] == ';') ++i;
  pos = i;
  return result;
}

std::string QuotedStr(std::string_view s) {
  std::string r = "'";
  for (char c : s) {
    r += c;
    if (c == '\'') r += '\'';
  }
  r += '\'';
  return r;
}

std::string AnsiDequotedStr(std::string_view s, char quote) {
  if (s.empty() || s[0] != quote) return std::string(s);
  std::string r;
  size_t i = 1;
  while (i < s.size()) {
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {
        r += quote;
        i += 2;
        continue;
      }
      return r;  // closing quote
    }
    r += s[i++];
  }
  return r;
}

}  // namespace dac
