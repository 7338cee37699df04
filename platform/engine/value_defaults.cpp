// Column default texts ("0", "12.50", "TRUE", "2024-01-31"...) parsed
// into the values a new record starts with.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "engine/drm_values.h"
#include "platform/engine/engine_core.h"
#include "platform/engine/value_rules.h"

namespace drmengine {

namespace {

// A whole number, optionally signed.
bool ParseInt(std::string_view t, int64_t& v) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  return ParseNumber(t, v);
}

// Decimal text "-12.345" to an integer scaled by 10^scale, rounded.
bool ParseDecimal(const std::string& t, int scale, int64_t& v) {
  size_t dot = t.find('.');
  std::string ip = t.substr(0, dot), fp = dot == std::string::npos ? "" : t.substr(dot + 1);
  bool neg = !ip.empty() && ip[0] == '-';
  if (neg || (!ip.empty() && ip[0] == '+')) ip.erase(0, 1);
  if (ip.empty() && fp.empty()) return false;
  for (char ch : ip + fp)
    if (ch < '0' || ch > '9') return false;
  std::string digits = ip + fp;
  int exp = -static_cast<int>(fp.size());
  if (digits.size() > 18) return false;
  int64_t mant = 0;
  if (!digits.empty() && !ParseNumber(digits, mant)) return false;
  if (neg) mant = -mant;
  if (!IntPower10(mant, exp + scale)) return false;
  v = mant;
  return true;
}

// Numbers of at most the given digits each, separated by `sep` ("2024-2-29"
// with widths 4, 2, 2), read from `pos` on.
bool ReadFields(std::string_view t, size_t& pos, char sep, std::initializer_list<size_t> widths, unsigned* out) {
  bool first = true;
  for (size_t width : widths) {
    if (!first && (pos >= t.size() || t[pos++] != sep)) return false;
    first = false;
    size_t start = pos;
    while (pos < t.size() && pos - start < width && t[pos] >= '0' && t[pos] <= '9') ++pos;
    if (!ParseNumber(t.substr(start, pos - start), *out++)) return false;
  }
  return true;
}

bool ReadDate(std::string_view t, size_t& pos, unsigned& y, unsigned& m, unsigned& d) {
  unsigned f[3];
  if (!ReadFields(t, pos, '-', {4, 2, 2}, f) || !ValidDate(f[0], f[1], f[2])) return false;
  y = f[0], m = f[1], d = f[2];
  return true;
}

bool ReadTime(std::string_view t, size_t& pos, unsigned& hh, unsigned& mi, unsigned& ss) {
  unsigned f[3];
  if (!ReadFields(t, pos, ':', {2, 2, 2}, f) || f[0] > 23 || f[1] > 59 || f[2] > 59) return false;
  hh = f[0], mi = f[1], ss = f[2];
  return true;
}

// ".fffffff": up to 9 digits, counted in units of 10^-7 s (further digits
// are dropped).
bool ReadFraction(std::string_view t, size_t& pos, int64_t& frac) {
  frac = 0;
  if (pos == t.size()) return true;
  if (t[pos++] != '.') return false;
  std::string digits(t.substr(pos));
  pos = t.size();
  if (digits.empty() || digits.size() > 9) return false;
  for (char ch : digits)
    if (ch < '0' || ch > '9') return false;
  digits.resize(7, '0');
  return ParseNumber(digits, frac);
}

}  // namespace

namespace {

// The values an integer column holds, as its engine form reads them.
void IntegerRange(const ColumnMeta& c, int64_t& lo, int64_t& hi) {
  const bool isUnsigned = c.Rm() == RM_TYPE_UNSIGNED;
  switch (c.Drm()) {
    case DRM_TYPE_INT8:
      lo = isUnsigned ? 0 : std::numeric_limits<int8_t>::min();
      hi = isUnsigned ? std::numeric_limits<uint8_t>::max() : std::numeric_limits<int8_t>::max();
      return;
    case DRM_TYPE_INT16:
      if (c.Rm() == RM_TYPE_AUTOINC) break;  // four bytes
      lo = isUnsigned ? 0 : std::numeric_limits<int16_t>::min();
      hi = isUnsigned ? std::numeric_limits<uint16_t>::max() : std::numeric_limits<int16_t>::max();
      return;
    default:
      if (isUnsigned && c.Drm() == DRM_TYPE_INT32) {
        lo = 0;
        hi = std::numeric_limits<uint32_t>::max();
        return;
      }
      break;
  }
  lo = std::numeric_limits<int32_t>::min();
  hi = std::numeric_limits<int32_t>::max();
}

// The bytes a text or byte column keeps at most (0: no limit).
size_t ByteLimit(const ColumnMeta& c) {
  switch (c.Drm()) {
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING:
    case DRM_TYPE_BINARY:
    case DRM_TYPE_VARBINARY: return c.cbMax;
    default: return c.Rm() == RM_TYPE_NOTE ? c.ReportedCbMax() : 0;
  }
}

// The stored value of a default text, or false with the reason.
bool ParseDefault(const ColumnMeta& c, const std::string& text, Val& out, std::string& why) {
  int64_t iv = 0;
  unsigned y = 0, m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN:
      if (text == "1" || strcasecmp(text.c_str(), "TRUE") == 0) {
        out = Val::MakeInt(1);
        return true;
      }
      if (text == "0" || strcasecmp(text.c_str(), "FALSE") == 0) {
        out = Val::MakeInt(0);
        return true;
      }
      why = "is not 0, 1, TRUE or FALSE";
      return false;
    case DRM_TYPE_INT8:
    case DRM_TYPE_INT16:
    case DRM_TYPE_INT32: {
      if (!ParseInt(text, iv)) {
        why = "is not a whole number";
        return false;
      }
      int64_t lo = 0, hi = 0;
      IntegerRange(c, lo, hi);
      if (iv < lo || iv > hi) {
        why = "is outside " + std::to_string(lo) + " to " + std::to_string(hi);
        return false;
      }
      out = Val::MakeInt(iv);
      return true;
    }
    case DRM_TYPE_CURRENCY:
      if (!ParseDecimal(text, 4, iv)) {
        why = "is not a decimal number that fits 8 bytes with 4 decimals";
        return false;
      }
      out = Val::MakeInt(iv);
      return true;
    case DRM_TYPE_DECIMAL:
      if (!ParseDecimal(text, DecimalScale(c), iv)) {
        why = "is not a decimal number of at most 18 digits";
        return false;
      }
      // The same bound that writes of the column meet.
      if (c.Rm() == RM_TYPE_NUMERIC && c.precision > 0 && c.precision < 19 &&
          (iv >= kPow10[c.precision] || iv <= -kPow10[c.precision])) {
        why = "has more than " + std::to_string(c.precision) + " digits at scale " + std::to_string(c.scale);
        return false;
      }
      out = Val::MakeInt(iv);
      return true;
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: {
      std::string_view t = text;
      if (!t.empty() && t[0] == '+') t.remove_prefix(1);
      double dv = 0;
      // from_chars also reads "inf" and "nan", which are no default texts.
      if (!ParseNumber(t, dv) || !std::isfinite(dv)) {
        why = "is not a finite number";
        return false;
      }
      if (c.Drm() == DRM_TYPE_FLOAT && std::fabs(dv) > double{std::numeric_limits<float>::max()}) {
        why = "is beyond the range of a 4-byte float";
        return false;
      }
      out = Val::MakeReal(dv);
      return true;
    }
    case DRM_TYPE_DATE: {
      size_t pos = 0;
      if (!ReadDate(text, pos, y, m, d) || pos != text.size()) {
        why = "is not a date YYYY-MM-DD";
        return false;
      }
      out = Val::MakeInt(y * 10000LL + m * 100 + d);
      return true;
    }
    case DRM_TYPE_TIME: {
      size_t pos = 0;
      if (!ReadTime(text, pos, hh, mi, ss) || pos != text.size()) {
        why = "is not a time HH:MM:SS";
        return false;
      }
      out = Val::MakeInt(hh * 10000LL + mi * 100 + ss);
      return true;
    }
    case DRM_TYPE_TIMESTAMP: {
      size_t pos = 0;
      int64_t frac = 0;
      if (!ReadDate(text, pos, y, m, d) || pos == text.size() || text[pos++] != ' ' ||
          !ReadTime(text, pos, hh, mi, ss) || !ReadFraction(text, pos, frac)) {
        why = "is not a timestamp YYYY-MM-DD HH:MM:SS[.fffffff]";
        return false;
      }
      out = Val::MakeInt((DaysFromCivil(y, m, d) * 86400 + hh * 3600 + mi * 60 + ss) * DRM_FRACTION_PER_SECOND + frac);
      return true;
    }
    default: break;
  }
  // Text and bytes: as given, within the column's length.
  if (size_t limit = ByteLimit(c); limit && text.size() > limit) {
    why = "is " + std::to_string(text.size()) + " bytes long, more than the column's " + std::to_string(limit);
    return false;
  }
  switch (c.Drm()) {
    case DRM_TYPE_TEXT: out = Val::MakeText(RTrimBlanks(text)); return true;
    case DRM_TYPE_ZSTRING: out = Val::MakeText(text); return true;
    case DRM_TYPE_BINARY: {
      std::string s = text;
      s.resize(c.cbMax, '\0');
      out = Val::MakeBlob(std::move(s));
      return true;
    }
    default: out = Val::MakeBlob(text); return true;
  }
}

}  // namespace

bool DefaultToVal(const ColumnMeta& c, const std::string& text, Val& out, std::string* why) {
  std::string reason;
  Val v;
  if (!ParseDefault(c, text, v, reason)) {
    if (why) *why = std::move(reason);
    return false;
  }
  out = std::move(v);
  return true;
}

}  // namespace drmengine
