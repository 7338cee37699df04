#include "tools/drmcli/values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

#include "engine/drm.h"
#include "engine/drm_values.h"

namespace drmcli {
namespace {

template <typename T>
T Load(const std::string& b, size_t at = 0) {
  T v{};
  if (b.size() >= at + sizeof(T)) std::memcpy(&v, b.data() + at, sizeof(T));
  return v;
}

template <typename T>
void Store(std::string& b, T v) {
  char raw[sizeof(T)];
  std::memcpy(raw, &v, sizeof(T));
  b.append(raw, sizeof(T));
}

std::string Hex(const std::string& b) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(b.size() * 2);
  for (char ch : b) {
    const auto c = static_cast<unsigned char>(ch);
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string UpToNul(const std::string& b) { return b.substr(0, std::min(b.find('\0'), b.size())); }

std::string Pad(unsigned v, size_t width) {
  std::string s = std::to_string(v);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

// integer × 10^exponent in plain notation.
std::string ScaledText(int64_t integer, int exponent) {
  bool negative = integer < 0;
  // Work in unsigned so that the most negative value prints too.
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(integer) : static_cast<uint64_t>(integer);
  std::string digits = std::to_string(mag);
  if (exponent > 0) {
    if (mag != 0) digits.append(static_cast<size_t>(exponent), '0');
  } else if (exponent < 0) {
    size_t frac = static_cast<size_t>(-exponent);
    if (digits.size() <= frac) digits.insert(0, frac - digits.size() + 1, '0');
    digits.insert(digits.size() - frac, 1, '.');
  }
  if (negative && mag != 0) digits.insert(digits.begin(), '-');
  return digits;
}

std::string FloatText(double v, bool single) {
  char buf[64];
  auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                  : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

[[noreturn]] void Bad(const ColumnInfo& c, const std::string& text, const std::string& why) {
  throw ValueError("column " + c.Name + ": \"" + text + "\" " + why);
}

int64_t ParseInt(const ColumnInfo& c, const std::string& text, int64_t lo, int64_t hi) {
  int64_t v = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  auto r = std::from_chars(first, last, v);
  if (r.ec == std::errc::result_out_of_range) Bad(c, text, "is out of range");
  if (r.ec != std::errc() || r.ptr != last || first == last) Bad(c, text, "is not a whole number");
  if (v < lo || v > hi)
    Bad(c, text, "is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  return v;
}

// "[-]digits[.digits]" to an integer and the count of decimals; the
// integer must fit 64 bits.
void ParseDecimal(const ColumnInfo& c, const std::string& text, int64_t& integer, int& decimals) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t mag = 0;
  decimals = 0;
  bool point = false, any = false;
  for (; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '.' && !point) {
      point = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(ch))) Bad(c, text, "is not a decimal number");
    any = true;
    uint64_t digit = static_cast<uint64_t>(ch - '0');
    if (mag > (limit - digit) / 10) Bad(c, text, "is out of range");
    mag = mag * 10 + digit;
    if (point) ++decimals;
  }
  if (!any) Bad(c, text, "is not a decimal number");
  integer = negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
}

bool LeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// Reads `count` unsigned numbers separated by `sep`, starting at `pos`.
bool ReadParts(const std::string& t, size_t& pos, char sep, int count, unsigned* out) {
  for (int k = 0; k < count; ++k) {
    if (k && (pos >= t.size() || t[pos++] != sep)) return false;
    size_t start = pos;
    while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos]))) ++pos;
    if (pos == start || pos - start > 4) return false;
    if (std::from_chars(t.data() + start, t.data() + pos, out[k]).ec != std::errc()) return false;
  }
  return true;
}

void CheckDate(const ColumnInfo& c, const std::string& text, const unsigned* ymd) {
  if (ymd[0] < 1 || ymd[0] > 9999 || ymd[1] < 1 || ymd[1] > 12 || ymd[2] < 1 ||
      ymd[2] > DaysInMonth(ymd[0], ymd[1]))
    Bad(c, text, "is not a valid date (YYYY-MM-DD)");
}

DRM_Date MakeDate(const unsigned* ymd) {
  DRM_Date d;
  d.Year = static_cast<uint16_t>(ymd[0]);
  d.Month = static_cast<uint16_t>(ymd[1]);
  d.Day = static_cast<uint16_t>(ymd[2]);
  return d;
}

void CheckTime(const ColumnInfo& c, const std::string& text, const unsigned* hms) {
  if (hms[0] > 23 || hms[1] > 59 || hms[2] > 59) Bad(c, text, "is not a valid time (HH:MM:SS)");
}

std::string FromHex(const ColumnInfo& c, const std::string& text) {
  std::string t = text;
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
  if (t.size() % 2) Bad(c, text, "is not hex digits in pairs");
  std::string out;
  for (size_t i = 0; i < t.size(); i += 2) {
    uint8_t byte = 0;
    const char* first = t.data() + i;
    auto r = std::from_chars(first, first + 2, byte, 16);
    if (r.ec != std::errc() || r.ptr != first + 2) Bad(c, text, "is not hex digits in pairs");
    out += static_cast<char>(byte);
  }
  return out;
}

}  // namespace

bool ColumnInfo::IsLong() const { return Drm() == DRM_TYPE_LONGBINARY || Drm() == DRM_TYPE_LONGTEXT; }

bool ColumnInfo::IsBinary() const {
  return Drm() == DRM_TYPE_BINARY || Drm() == DRM_TYPE_VARBINARY || Drm() == DRM_TYPE_LONGBINARY;
}

uint32_t ColumnInfo::ReadSize() const { return std::max<uint32_t>(CbMax + 2, 64); }

std::string ValueToText(const ColumnInfo& c, const std::string& b) {
  bool isUnsigned = c.Rm() == RM_TYPE_UNSIGNED;
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN:
      return Load<uint8_t>(b) ? "true" : "false";
    case DRM_TYPE_INT8:
      return isUnsigned ? std::to_string(Load<uint8_t>(b)) : std::to_string(Load<int8_t>(b));
    case DRM_TYPE_INT16:
      if (b.size() >= 4) return std::to_string(Load<int32_t>(b));
      return isUnsigned ? std::to_string(Load<uint16_t>(b)) : std::to_string(Load<int16_t>(b));
    case DRM_TYPE_INT32:
      return std::to_string(Load<int32_t>(b));
    case DRM_TYPE_CURRENCY:
      return ScaledText(Load<int64_t>(b), -4);
    case DRM_TYPE_FLOAT:
      return b.size() >= 8 ? FloatText(Load<double>(b), false) : FloatText(Load<float>(b), true);
    case DRM_TYPE_DOUBLE:
      return FloatText(Load<double>(b), false);
    case DRM_TYPE_DATE: {
      const auto d = Load<DRM_Date>(b);
      return Pad(d.Year, 4) + "-" + Pad(d.Month, 2) + "-" + Pad(d.Day, 2);
    }
    case DRM_TYPE_TIME: {
      const auto t = Load<DRM_Time>(b);
      return Pad(t.Hour, 2) + ":" + Pad(t.Minute, 2) + ":" + Pad(t.Second, 2);
    }
    case DRM_TYPE_TIMESTAMP: {
      const auto ts = Load<DRM_TimeStamp>(b);
      std::string s = Pad(ts.Year, 4) + "-" + Pad(ts.Month, 2) + "-" + Pad(ts.Day, 2) + " " + Pad(ts.Hour, 2) + ":" +
                      Pad(ts.Minute, 2) + ":" + Pad(ts.Second, 2);
      if (ts.Fraction) {
        std::string f = Pad(ts.Fraction, 7);
        while (!f.empty() && f.back() == '0') f.pop_back();
        s += "." + f;
      }
      return s;
    }
    case DRM_TYPE_DECIMAL: {
      // drmcli reads whole decimals: the engine always sends n = 4.
      const auto num = Load<DRM_Numeric>(b);
      int64_t integer = 0;
      std::memcpy(&integer, &num.Words[DRM_NUMERIC_INTEGER], sizeof integer);
      return ScaledText(integer, static_cast<int16_t>(num.Words[DRM_NUMERIC_EXPONENT]));
    }
    case DRM_TYPE_TEXT: {
      std::string s = UpToNul(b);
      while (!s.empty() && s.back() == ' ') s.pop_back();
      return s;
    }
    case DRM_TYPE_ZSTRING:
    case DRM_TYPE_LONGTEXT:
      return UpToNul(b);
    default:
      return Hex(b);
  }
}

std::string TextToValue(const ColumnInfo& c, const std::string& text) {
  std::string out;
  bool isUnsigned = c.Rm() == RM_TYPE_UNSIGNED;
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN: {
      std::string t = text;
      for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (t == "1" || t == "true" || t == "t" || t == "yes" || t == "y")
        out += '\1';
      else if (t == "0" || t == "false" || t == "f" || t == "no" || t == "n")
        out += '\0';
      else
        Bad(c, text, "is not a boolean (true/false, 1/0, yes/no)");
      return out;
    }
    case DRM_TYPE_INT8:
      Store<uint8_t>(out, static_cast<uint8_t>(isUnsigned ? ParseInt(c, text, 0, 255)
                                                          : ParseInt(c, text, -128, 127)));
      return out;
    case DRM_TYPE_INT16:
      if (c.Rm() == RM_TYPE_AUTOINC || c.CbMax >= 4) {
        Store<int32_t>(out, static_cast<int32_t>(ParseInt(c, text, INT32_MIN, INT32_MAX)));
      } else {
        Store<uint16_t>(out, static_cast<uint16_t>(isUnsigned ? ParseInt(c, text, 0, 65535)
                                                              : ParseInt(c, text, -32768, 32767)));
      }
      return out;
    case DRM_TYPE_INT32:
      Store<int32_t>(out, static_cast<int32_t>(ParseInt(c, text, INT32_MIN, INT32_MAX)));
      return out;
    case DRM_TYPE_CURRENCY: {
      int64_t integer;
      int decimals;
      ParseDecimal(c, text, integer, decimals);
      if (decimals > 4) Bad(c, text, "has more than 4 decimals");
      for (; decimals < 4; ++decimals) {
        if (integer > INT64_MAX / 10 || integer < INT64_MIN / 10) Bad(c, text, "is out of range");
        integer *= 10;
      }
      Store<int64_t>(out, integer);
      return out;
    }
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: {
      double v = 0;
      const char* first = text.data();
      const char* last = first + text.size();
      if (first != last && *first == '+') ++first;
      auto r = std::from_chars(first, last, v);
      if (r.ec != std::errc() || r.ptr != last || first == last) Bad(c, text, "is not a number");
      if (c.Drm() == DRM_TYPE_FLOAT) {
        if (std::abs(v) > std::numeric_limits<float>::max()) Bad(c, text, "is out of range");
        Store<float>(out, static_cast<float>(v));
      } else {
        Store<double>(out, v);
      }
      return out;
    }
    case DRM_TYPE_DATE: {
      unsigned p[3];
      size_t pos = 0;
      if (!ReadParts(text, pos, '-', 3, p) || pos != text.size())
        Bad(c, text, "is not a valid date (YYYY-MM-DD)");
      CheckDate(c, text, p);
      Store(out, MakeDate(p));
      return out;
    }
    case DRM_TYPE_TIME: {
      unsigned p[3];
      size_t pos = 0;
      if (!ReadParts(text, pos, ':', 3, p) || pos != text.size())
        Bad(c, text, "is not a valid time (HH:MM:SS)");
      CheckTime(c, text, p);
      DRM_Time tm;
      tm.Hour = static_cast<uint16_t>(p[0]);
      tm.Minute = static_cast<uint16_t>(p[1]);
      tm.Second = static_cast<uint16_t>(p[2]);
      Store(out, tm);
      return out;
    }
    case DRM_TYPE_TIMESTAMP: {
      unsigned d[3], t[3] = {0, 0, 0};
      uint32_t fraction = 0;
      size_t pos = 0;
      bool ok = ReadParts(text, pos, '-', 3, d);
      if (ok && pos < text.size()) {
        ok = (text[pos] == ' ' || text[pos] == 'T') && ReadParts(text, ++pos, ':', 3, t);
        if (ok && pos < text.size()) {
          ok = text[pos++] == '.';
          std::string f = text.substr(pos);
          ok = ok && !f.empty() && f.size() <= 7 &&
               std::all_of(f.begin(), f.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); });
          if (ok) {
            f.append(7 - f.size(), '0');
            ok = std::from_chars(f.data(), f.data() + f.size(), fraction).ec == std::errc();
          }
          pos = text.size();
        }
      }
      if (!ok || pos != text.size()) Bad(c, text, "is not a valid timestamp (YYYY-MM-DD HH:MM:SS)");
      CheckDate(c, text, d);
      CheckTime(c, text, t);
      const DRM_Date date = MakeDate(d);
      DRM_TimeStamp ts;
      ts.Year = date.Year;
      ts.Month = date.Month;
      ts.Day = date.Day;
      ts.Hour = static_cast<uint16_t>(t[0]);
      ts.Minute = static_cast<uint16_t>(t[1]);
      ts.Second = static_cast<uint16_t>(t[2]);
      ts.Fraction = fraction;
      Store(out, ts);
      return out;
    }
    case DRM_TYPE_DECIMAL: {
      int64_t integer;
      int decimals;
      ParseDecimal(c, text, integer, decimals);
      DRM_Numeric num;
      num.Words[DRM_NUMERIC_EXPONENT] = static_cast<uint16_t>(static_cast<int16_t>(-decimals));
      num.Words[DRM_NUMERIC_USED] = DRM_NUMERIC_MAX_USED;
      std::memcpy(&num.Words[DRM_NUMERIC_INTEGER], &integer, sizeof integer);
      Store(out, num);
      return out;
    }
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING:
      if (text.find('\0') != std::string::npos) Bad(c, "(text)", "contains a NUL character");
      if (text.size() > c.CbMax)
        Bad(c, text, "is longer than the column's " + std::to_string(c.CbMax) + " characters");
      return text;
    case DRM_TYPE_LONGTEXT:
      return text;
    case DRM_TYPE_BINARY:
    case DRM_TYPE_VARBINARY: {
      std::string bytes = FromHex(c, text);
      if (bytes.size() > c.CbMax)
        Bad(c, text, "is longer than the column's " + std::to_string(c.CbMax) + " bytes");
      return bytes;
    }
    case DRM_TYPE_LONGBINARY:
      return FromHex(c, text);
    default:
      throw ValueError("column " + c.Name + ": type " + std::to_string(c.Drm()) +
                       " cannot be written by drmcli");
  }
}

}  // namespace drmcli
