#include "platform/rtl/sysutils.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cwctype>
#include <limits>
#include <locale.h>

#include "platform/rtl/decimal_text.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimView(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

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
  unsigned __int128 v = 0;
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
    if (v > (static_cast<unsigned __int128>(1) << 64)) return false;
  }
  __int128 sv = neg ? -static_cast<__int128>(v) : static_cast<__int128>(v);
  // Hexadecimal text may spell a negative number in two's complement
  // ("$FFFFFFFF" is -1 for a 32-bit result), as the classic parser allows.
  if (base == 16 && !neg) {
    if (hi == INT32_MAX && v > static_cast<unsigned __int128>(INT32_MAX) && v <= 0xFFFFFFFFu) {
      sv = static_cast<int32_t>(static_cast<uint32_t>(v));
    } else if (hi == INT64_MAX && v > static_cast<unsigned __int128>(INT64_MAX) &&
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

// ---- floating point ----

// The decimal digits of a finite, non-zero |value| rounded to at most
// `precision` significant digits (0: the shortest text that reads back),
// and the position of the decimal point: value = 0.digits * 10^point.
void FloatDigits(double value, int precision, std::string& digits, int& point) {
  char buf[64];
  std::to_chars_result res{};
  if (precision > 0) {
    res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                        precision - 1);
  } else {
    res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  }
  const std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
  const size_t e = s.find('e');
  digits.clear();
  for (size_t i = 0; i < e; ++i) {
    if (IsDigit(s[i])) digits += s[i];
  }
  int exp = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exp);
  point = exp + 1;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

// Rounds `digits` (value 0.digits * 10^point) so that no digit remains past
// the position `keep` counted from the start (keep may be <= 0), halves away
// from zero. Returns false when the result is zero.
bool RoundDigitsAt(std::string& digits, int& point, int keep) {
  if (keep >= static_cast<int>(digits.size())) return true;
  if (keep < 0) {
    digits.clear();
    return false;
  }
  const bool up = digits[static_cast<size_t>(keep)] >= '5';
  digits.erase(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    for (; i >= 0; --i) {
      if (digits[static_cast<size_t>(i)] == '9') {
        digits[static_cast<size_t>(i)] = '0';
      } else {
        ++digits[static_cast<size_t>(i)];
        break;
      }
    }
    if (i < 0) {
      digits.insert(0, "1");
      ++point;
    }
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  return !digits.empty();
}

std::string NonFiniteText(double value) {
  if (std::isnan(value)) return "Nan";
  return value > 0 ? "+Inf" : "-Inf";
}

// ---- FormatFloat ----

struct PictureSection {
  std::string Prefix;   // literal text before the number
  std::string Suffix;   // literal text after the number (and literals inside it)
  int IntRequired = 0;  // '0' placeholders from the first '0' up to the point
  int IntPlaces = 0;    // all integer placeholders
  int FracRequired = 0;  // decimals up to the last '0'
  int FracPlaces = 0;    // all decimal placeholders
  bool Thousands = false;
  bool HasNumber = false;
  bool Scientific = false;
  std::string ExpLetter = "E";
  bool ExpPlus = false;  // "E+" always shows the sign
  int ExpDigits = 0;
};

std::vector<std::string> SplitSections(std::string_view format) {
  std::vector<std::string> out(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
      out.back() += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out.back() += c;
    } else if (c == ';') {
      if (out.size() == 3) break;
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

PictureSection AnalyseSection(std::string_view f) {
  PictureSection p;
  bool afterPoint = false;
  bool seenZero = false;
  bool inExponent = false;
  int fracSeen = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    std::string& lit = p.HasNumber ? p.Suffix : p.Prefix;
    if (c == '\'' || c == '"') {
      const size_t end = f.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? f.size() : end;
      lit += std::string(f.substr(i + 1, stop - i - 1));
      i = stop;
      continue;
    }
    if (inExponent) {
      if (c == '0' || c == '#') {
        ++p.ExpDigits;
        continue;
      }
      inExponent = false;
    }
    if (c == '0' || c == '#') {
      p.HasNumber = true;
      if (afterPoint) {
        ++fracSeen;
        p.FracPlaces = fracSeen;
        if (c == '0') p.FracRequired = fracSeen;
      } else {
        ++p.IntPlaces;
        if (c == '0') seenZero = true;
        if (seenZero) ++p.IntRequired;
      }
    } else if (c == '.' && !afterPoint && !p.Scientific) {
      p.HasNumber = true;
      afterPoint = true;
    } else if (c == ',' && !afterPoint && !p.Scientific) {
      p.Thousands = true;
    } else if ((c == 'E' || c == 'e') && p.HasNumber && !p.Scientific && i + 1 < f.size() &&
               (f[i + 1] == '+' || f[i + 1] == '-')) {
      p.Scientific = true;
      p.ExpLetter = std::string(1, c);
      p.ExpPlus = f[i + 1] == '+';
      inExponent = true;
      ++i;
    } else {
      lit += c;
    }
  }
  return p;
}

std::string GroupThousands(const std::string& intPart, char sep) {
  if (sep == 0 || intPart.size() <= 3) return intPart;
  std::string r;
  const size_t n = intPart.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) r += sep;
    r += intPart[i];
  }
  return r;
}

// Formats |value| by a section; `isZero` reports whether it rounded to 0.
std::string FormatSection(const PictureSection& p, double value, const TFormatSettings& fs,
                          bool& isZero) {
  std::string digits;
  int point = 0;
  const double mag = std::fabs(value);
  isZero = true;
  std::string intPart;
  std::string fracPart;
  std::string expPart;
  if (mag != 0) FloatDigits(mag, 0, digits, point);
  if (p.Scientific) {
    int intPlaces = p.IntPlaces > 0 ? p.IntPlaces : 1;
    int exponent = 0;
    if (!digits.empty()) {
      RoundDigitsAt(digits, point, intPlaces + p.FracPlaces);
      exponent = point - intPlaces;
      isZero = false;
    }
    std::string all = digits;
    if (all.size() < static_cast<size_t>(intPlaces + p.FracPlaces)) {
      all.append(static_cast<size_t>(intPlaces + p.FracPlaces) - all.size(), '0');
    }
    intPart = all.substr(0, static_cast<size_t>(intPlaces));
    fracPart = all.substr(static_cast<size_t>(intPlaces));
    const std::string e = std::to_string(exponent < 0 ? -exponent : exponent);
    expPart = p.ExpLetter;
    if (exponent < 0) {
      expPart += '-';
    } else if (p.ExpPlus) {
      expPart += '+';
    }
    if (e.size() < static_cast<size_t>(p.ExpDigits)) expPart.append(p.ExpDigits - e.size(), '0');
    expPart += e;
  } else {
    if (!digits.empty() && RoundDigitsAt(digits, point, point + p.FracPlaces)) isZero = false;
    if (!isZero) {
      for (int i = 0; i < point; ++i) {
        intPart += i < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(i)] : '0';
      }
      for (int i = point; i < point + p.FracPlaces; ++i) {
        fracPart += (i >= 0 && i < static_cast<int>(digits.size())) ? digits[static_cast<size_t>(i)] : '0';
      }
    } else {
      fracPart.assign(static_cast<size_t>(p.FracPlaces), '0');
    }
    if (intPart.size() < static_cast<size_t>(p.IntRequired)) {
      intPart.insert(0, static_cast<size_t>(p.IntRequired) - intPart.size(), '0');
    }
    if (p.Thousands) intPart = GroupThousands(intPart, fs.ThousandSeparator);
  }
  while (fracPart.size() > static_cast<size_t>(p.FracRequired) && fracPart.back() == '0') {
    fracPart.pop_back();
  }
  std::string r = intPart;
  if (!fracPart.empty()) {
    r += fs.DecimalSeparator;
    r += fracPart;
  }
  return r + expPart;
}

// ---- dates ----

int CountRun(std::string_view f, size_t i, char lower) {
  int n = 0;
  while (i + n < f.size() && ToLowerAscii(f[i + n]) == lower) ++n;
  return n;
}

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view what) {
  if (i + what.size() > s.size()) return false;
  for (size_t k = 0; k < what.size(); ++k) {
    if (ToLowerAscii(s[i + k]) != ToLowerAscii(what[k])) return false;
  }
  return true;
}

// Does an AM/PM specifier follow position i (which makes "h" a 12-hour clock)?
bool HasAmPmAfter(std::string_view f, size_t i) {
  char quote = 0;
  for (; i < f.size(); ++i) {
    const char c = f[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p") ||
               StartsWithNoCase(f, i, "ampm")) {
      return true;
    }
  }
  return false;
}

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  if (s.size() < static_cast<size_t>(width)) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return s;
}

struct DateParts {
  uint16_t Year = 0, Month = 0, Day = 0, Hour = 0, Min = 0, Sec = 0, MSec = 0;
  int Dow = 1;
  bool HasTime = false;
};

void FormatInto(std::string& out, std::string_view f, const DateParts& dp, const TFormatSettings& fs,
                int depth) {
  if (depth > 3) return;  // a format that names itself through c/ddddd/t
  bool lastWasHour = false;
  bool clock12 = false;
  size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    const char lc = ToLowerAscii(c);
    if (c == '\'' || c == '"') {
      const size_t end = f.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? f.size() : end;
      out += f.substr(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    if (StartsWithNoCase(f, i, "am/pm")) {
      const std::string_view src = f.substr(i, 5);
      const bool pm = dp.Hour >= 12;
      std::string_view word = pm ? src.substr(3, 2) : src.substr(0, 2);
      out += word;
      i += 5;
      continue;
    }
    if (StartsWithNoCase(f, i, "a/p")) {
      const bool pm = dp.Hour >= 12;
      out += pm ? f[i + 2] : f[i];
      i += 3;
      continue;
    }
    if (StartsWithNoCase(f, i, "ampm")) {
      out += dp.Hour >= 12 ? fs.TimePMString : fs.TimeAMString;
      i += 4;
      continue;
    }
    int n = 0;
    switch (lc) {
      case 'c':
        FormatInto(out, fs.ShortDateFormat, dp, fs, depth + 1);
        if (dp.HasTime) {
          out += ' ';
          FormatInto(out, fs.LongTimeFormat, dp, fs, depth + 1);
        }
        ++i;
        lastWasHour = false;
        continue;
      case 'd':
        n = CountRun(f, i, 'd');
        if (n == 1) out += std::to_string(dp.Day);
        else if (n == 2) out += Pad(dp.Day, 2);
        else if (n == 3) out += fs.ShortDayNames[static_cast<size_t>(dp.Dow - 1)];
        else if (n == 4) out += fs.LongDayNames[static_cast<size_t>(dp.Dow - 1)];
        else if (n == 5) FormatInto(out, fs.ShortDateFormat, dp, fs, depth + 1);
        else FormatInto(out, fs.LongDateFormat, dp, fs, depth + 1);
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      case 'm':
        n = CountRun(f, i, 'm');
        if (lastWasHour && n <= 2) {
          out += n == 1 ? std::to_string(dp.Min) : Pad(dp.Min, 2);
        } else if (n == 1) {
          out += std::to_string(dp.Month);
        } else if (n == 2) {
          out += Pad(dp.Month, 2);
        } else if (dp.Month >= 1 && dp.Month <= 12) {
          out += n == 3 ? fs.ShortMonthNames[dp.Month - 1u] : fs.LongMonthNames[dp.Month - 1u];
        }
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      case 'y':
        n = CountRun(f, i, 'y');
        out += n <= 2 ? Pad(dp.Year % 100, 2) : Pad(dp.Year, 4);
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      case 'h': {
        n = CountRun(f, i, 'h');
        if (!clock12) clock12 = HasAmPmAfter(f, i);
        int h = dp.Hour;
        if (clock12) {
          h %= 12;
          if (h == 0) h = 12;
        }
        out += n == 1 ? std::to_string(h) : Pad(h, 2);
        i += static_cast<size_t>(n);
        lastWasHour = true;
        continue;
      }
      case 'n':
        n = CountRun(f, i, 'n');
        out += n == 1 ? std::to_string(dp.Min) : Pad(dp.Min, 2);
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      case 's':
        n = CountRun(f, i, 's');
        out += n == 1 ? std::to_string(dp.Sec) : Pad(dp.Sec, 2);
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      case 'z':
        n = CountRun(f, i, 'z');
        out += n == 1 ? std::to_string(dp.MSec) : Pad(dp.MSec, 3);
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      case 't':
        n = CountRun(f, i, 't');
        FormatInto(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, dp, fs, depth + 1);
        i += static_cast<size_t>(n);
        lastWasHour = false;
        continue;
      default:
        break;
    }
    if (c == '/') {
      out += fs.DateSeparator;
    } else if (c == ':') {
      out += fs.TimeSeparator;
    } else {
      out += c;
    }
    // A separator between h and m keeps "hh:mm" meaning minutes.
    if (!(c == ':' || c == ' ')) lastWasHour = false;
    ++i;
  }
}

DateParts PartsOf(TDateTime dt) {
  DateParts dp;
  DecodeDateTime(dt, dp.Year, dp.Month, dp.Day, dp.Hour, dp.Min, dp.Sec, dp.MSec);
  dp.Dow = DayOfWeek(dt);
  dp.HasTime = DateTimeToTimeStamp(dt).Time != 0;
  return dp;
}

TDateTime Compose(TDateTime date, TDateTime time) { return date < 0 ? date - time : date + time; }

int CurrentYear() {
  uint16_t y = 0, m = 0, d = 0;
  DecodeDate(Date(), y, m, d);
  return y;
}

// Places a year written with one or two digits into the century window.
int ExpandYear(int year, const TFormatSettings& fs) {
  const int current = CurrentYear();
  if (fs.TwoDigitYearCenturyWindow == 0) return (current / 100) * 100 + year;
  const int threshold = current - fs.TwoDigitYearCenturyWindow;
  int y = year + (threshold / 100) * 100;
  if (y < threshold) y += 100;
  return y;
}

bool ParseDate(std::string_view text, const TFormatSettings& fs, TDateTime& result) {
  std::string_view s = TrimView(text);
  int values[3] = {0, 0, 0};
  int widths[3] = {0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (i < s.size()) {
    if (count == 3) return false;
    if (!IsDigit(s[i])) return false;
    int v = 0;
    int w = 0;
    while (i < s.size() && IsDigit(s[i])) {
      if (w >= 5) return false;
      v = v * 10 + (s[i] - '0');
      ++w;
      ++i;
    }
    values[count] = v;
    widths[count] = w;
    ++count;
    if (i < s.size()) {
      const char sep = s[i];
      if (!(sep == fs.DateSeparator || sep == '/' || sep == '-' || sep == '.')) return false;
      ++i;
      if (i >= s.size()) return false;
    }
  }
  if (count < 2) return false;
  // Order of day, month and year as the short date format spells them.
  std::string order;
  for (char c : fs.ShortDateFormat) {
    const char lc = ToLowerAscii(c);
    if ((lc == 'd' || lc == 'm' || lc == 'y') && order.find(lc) == std::string::npos) order += lc;
  }
  if (order.size() != 3) order = "mdy";
  int year = -1, month = 0, day = 0;
  bool twoDigit = false;
  if (count == 3) {
    for (int k = 0; k < 3; ++k) {
      if (order[static_cast<size_t>(k)] == 'y') {
        year = values[k];
        twoDigit = widths[k] <= 2;
      } else if (order[static_cast<size_t>(k)] == 'm') {
        month = values[k];
      } else {
        day = values[k];
      }
    }
  } else {
    // No year written: the current year; day and month in their order.
    const size_t dpos = order.find('d');
    const size_t mpos = order.find('m');
    if (dpos < mpos) {
      day = values[0];
      month = values[1];
    } else {
      month = values[0];
      day = values[1];
    }
    year = CurrentYear();
  }
  if (twoDigit) year = ExpandYear(year, fs);
  return TryEncodeDate(year, month, day, result);
}

bool ParseTime(std::string_view text, const TFormatSettings& fs, TDateTime& result) {
  std::string_view s = TrimView(text);
  // An AM/PM marker at the end (or the start).
  int ampm = 0;  // 0 none, 1 am, 2 pm
  auto stripMarker = [&](std::string_view marker, int kind) {
    if (marker.empty() || ampm != 0) return;
    if (s.size() >= marker.size() && StartsWithNoCase(s, s.size() - marker.size(), marker)) {
      s = TrimView(s.substr(0, s.size() - marker.size()));
      ampm = kind;
    } else if (s.size() >= marker.size() && StartsWithNoCase(s, 0, marker)) {
      s = TrimView(s.substr(marker.size()));
      ampm = kind;
    }
  };
  stripMarker(fs.TimeAMString, 1);
  stripMarker(fs.TimePMString, 2);
  stripMarker("AM", 1);
  stripMarker("PM", 2);
  int parts[4] = {0, 0, 0, 0};
  int count = 0;
  size_t i = 0;
  bool msecPart = false;
  while (i < s.size()) {
    if (!IsDigit(s[i])) return false;
    int v = 0;
    int w = 0;
    while (i < s.size() && IsDigit(s[i])) {
      if (w >= 4) return false;
      v = v * 10 + (s[i] - '0');
      ++w;
      ++i;
    }
    if (msecPart) {
      // Fraction of a second: ".5" is 500 ms.
      while (w < 3) {
        v *= 10;
        ++w;
      }
      if (w > 3) return false;
    }
    parts[count++] = v;
    if (i < s.size()) {
      const char sep = s[i];
      if (count < 3 && (sep == fs.TimeSeparator || sep == ':')) {
        ++i;
      } else if (count == 3 && (sep == fs.DecimalSeparator || sep == '.')) {
        msecPart = true;
        ++i;
      } else {
        return false;
      }
      if (i >= s.size()) return false;
    }
  }
  if (count == 0) return false;
  int hour = parts[0];
  if (ampm != 0) {
    if (hour < 1 || hour > 12) return false;
    if (ampm == 1 && hour == 12) hour = 0;
    if (ampm == 2 && hour != 12) hour += 12;
  }
  return TryEncodeTime(hour, parts[1], parts[2], parts[3], result);
}

// ---- UTF-8 ----

bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp) {
  const unsigned char c0 = static_cast<unsigned char>(s[i]);
  int len = 0;
  if (c0 < 0x80) {
    cp = c0;
    ++i;
    return true;
  }
  if ((c0 & 0xE0) == 0xC0) {
    len = 2;
    cp = c0 & 0x1F;
  } else if ((c0 & 0xF0) == 0xE0) {
    len = 3;
    cp = c0 & 0x0F;
  } else if ((c0 & 0xF8) == 0xF0) {
    len = 4;
    cp = c0 & 0x07;
  } else {
    return false;
  }
  if (i + static_cast<size_t>(len) > s.size()) return false;
  for (int k = 1; k < len; ++k) {
    const unsigned char c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((c & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  // Overlong forms and surrogates are not valid text.
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
      cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return false;
  }
  i += static_cast<size_t>(len);
  return true;
}

void EncodeUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// A UTF-8 C locale for the wide case mapping, independent of the process
// locale; null when the platform lacks it (Latin-1 rules are used then).
locale_t Utf8Locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

char32_t Latin1Upper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  return c;
}

char32_t Latin1Lower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  return c;
}

char32_t UpperCp(char32_t c) {
  if (locale_t loc = Utf8Locale()) return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
  return Latin1Upper(c);
}

char32_t LowerCp(char32_t c) {
  if (locale_t loc = Utf8Locale()) return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
  return Latin1Lower(c);
}

template <typename Map>
std::string MapCase(std::string_view s, Map map) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp = 0;
    if (DecodeUtf8(s, i, cp)) {
      EncodeUtf8(map(cp), out);
    } else {
      out += s[i++];  // not UTF-8: the byte as it is
    }
  }
  return out;
}

// Code points of the text; invalid bytes stand for themselves.
std::u32string CodePoints(std::string_view s, bool fold) {
  std::u32string r;
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp = 0;
    if (!DecodeUtf8(s, i, cp)) cp = static_cast<unsigned char>(s[i++]);
    r += fold ? UpperCp(cp) : cp;
  }
  return r;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

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

// ---- floating point ----

std::string FloatToStr(double value) { return FloatToStr(value, DefaultFormatSettings()); }

std::string FloatToStr(double value, const TFormatSettings& fs) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  if (value == 0) return "0";
  std::string digits;
  int point = 0;
  FloatDigits(value, 15, digits, point);
  std::string s = value < 0 ? "-" : "";
  const int exponent = point - 1;
  if (exponent < -4 || exponent >= 15) {
    s += digits[0];
    if (digits.size() > 1) {
      s += fs.DecimalSeparator;
      s += digits.substr(1);
    }
    s += 'E';
    if (exponent < 0) s += '-';
    s += std::to_string(exponent < 0 ? -exponent : exponent);
    return s;
  }
  if (point <= 0) {
    s += '0';
    s += fs.DecimalSeparator;
    s.append(static_cast<size_t>(-point), '0');
    s += digits;
    return s;
  }
  if (static_cast<size_t>(point) >= digits.size()) {
    s += digits;
    s.append(static_cast<size_t>(point) - digits.size(), '0');
    return s;
  }
  s += digits.substr(0, static_cast<size_t>(point));
  s += fs.DecimalSeparator;
  s += digits.substr(static_cast<size_t>(point));
  return s;
}

bool TryStrToFloat(std::string_view text, double& result, const TFormatSettings& fs) {
  detail::DecimalText d;
  if (!detail::ParseDecimalText(text, fs.DecimalSeparator, d)) return false;
  if (d.Digits.empty()) {
    result = d.Negative ? -0.0 : 0.0;
    return true;
  }
  std::string s = d.Negative ? "-" : "";
  s += d.Digits;
  s += 'e';
  s += std::to_string(d.Exponent);
  double v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc() || !std::isfinite(v)) return false;
  result = v;
  return true;
}

bool TryStrToFloat(std::string_view text, double& result) {
  return TryStrToFloat(text, result, DefaultFormatSettings());
}

double StrToFloat(std::string_view text, const TFormatSettings& fs) {
  double r = 0;
  if (!TryStrToFloat(text, r, fs)) {
    throw EConvertError(Format("\"%s\" is an invalid float", std::string(text)));
  }
  return r;
}

double StrToFloat(std::string_view text) { return StrToFloat(text, DefaultFormatSettings()); }

double StrToFloatDef(std::string_view text, double def) {
  double r = 0;
  return TryStrToFloat(text, r) ? r : def;
}

std::string FormatFloat(std::string_view format, double value) {
  return FormatFloat(format, value, DefaultFormatSettings());
}

std::string FormatFloat(std::string_view format, double value, const TFormatSettings& fs) {
  if (format.empty() || !std::isfinite(value)) return FloatToStr(value, fs);
  const std::vector<std::string> sections = SplitSections(format);
  size_t which = 0;
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) which = 1;
  const PictureSection p = AnalyseSection(sections[which]);
  if (!p.HasNumber) return p.Prefix + p.Suffix;
  bool isZero = true;
  const std::string number = FormatSection(p, value, fs, isZero);
  if (isZero && sections.size() >= 3 && !sections[2].empty()) {
    const PictureSection z = AnalyseSection(sections[2]);
    if (!z.HasNumber) return z.Prefix + z.Suffix;
    bool ignored = true;
    return z.Prefix + FormatSection(z, 0.0, fs, ignored) + z.Suffix;
  }
  // A value that rounds to zero shows no minus sign.
  const bool minus = value < 0 && which == 0 && !isZero;
  return p.Prefix + (minus ? "-" : "") + number + p.Suffix;
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

// ---- dates and times ----

std::string FormatDateTime(std::string_view format, TDateTime dt) {
  return FormatDateTime(format, dt, DefaultFormatSettings());
}

std::string FormatDateTime(std::string_view format, TDateTime dt, const TFormatSettings& fs) {
  const DateParts dp = PartsOf(dt);
  std::string out;
  FormatInto(out, format.empty() ? std::string_view("c") : format, dp, fs, 0);
  return out;
}

std::string DateTimeToStr(TDateTime dt) { return FormatDateTime("c", dt); }
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("c", dt, fs); }
std::string DateToStr(TDateTime dt) { return FormatDateTime("ddddd", dt); }
std::string DateToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("ddddd", dt, fs); }
std::string TimeToStr(TDateTime dt) { return FormatDateTime("tt", dt); }
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("tt", dt, fs); }

bool TryStrToDate(std::string_view text, TDateTime& result, const TFormatSettings& fs) {
  return ParseDate(text, fs, result);
}
bool TryStrToDate(std::string_view text, TDateTime& result) {
  return ParseDate(text, DefaultFormatSettings(), result);
}
bool TryStrToTime(std::string_view text, TDateTime& result, const TFormatSettings& fs) {
  return ParseTime(text, fs, result);
}
bool TryStrToTime(std::string_view text, TDateTime& result) {
  return ParseTime(text, DefaultFormatSettings(), result);
}

bool TryStrToDateTime(std::string_view text, TDateTime& result, const TFormatSettings& fs) {
  const std::string_view s = TrimView(text);
  const size_t space = s.find(' ');
  if (space == std::string_view::npos) {
    // One part: a time when it has a time separator and no date separator.
    const bool hasTimeSep = s.find(fs.TimeSeparator) != std::string_view::npos;
    const bool hasDateSep = s.find(fs.DateSeparator) != std::string_view::npos;
    if (hasTimeSep && !hasDateSep) return ParseTime(s, fs, result);
    return ParseDate(s, fs, result);
  }
  TDateTime d = 0;
  TDateTime t = 0;
  if (!ParseDate(s.substr(0, space), fs, d) || !ParseTime(s.substr(space + 1), fs, t)) return false;
  result = Compose(d, t);
  return true;
}

bool TryStrToDateTime(std::string_view text, TDateTime& result) {
  return TryStrToDateTime(text, result, DefaultFormatSettings());
}

TDateTime StrToDate(std::string_view text, const TFormatSettings& fs) {
  TDateTime r = 0;
  if (!ParseDate(text, fs, r)) throw EConvertError(Format("\"%s\" is not a valid date", std::string(text)));
  return r;
}
TDateTime StrToDate(std::string_view text) { return StrToDate(text, DefaultFormatSettings()); }

TDateTime StrToTime(std::string_view text, const TFormatSettings& fs) {
  TDateTime r = 0;
  if (!ParseTime(text, fs, r)) throw EConvertError(Format("\"%s\" is not a valid time", std::string(text)));
  return r;
}
TDateTime StrToTime(std::string_view text) { return StrToTime(text, DefaultFormatSettings()); }

TDateTime StrToDateTime(std::string_view text, const TFormatSettings& fs) {
  TDateTime r = 0;
  if (!TryStrToDateTime(text, r, fs)) {
    throw EConvertError(Format("\"%s\" is not a valid date/time value.", std::string(text)));
  }
  return r;
}
TDateTime StrToDateTime(std::string_view text) { return StrToDateTime(text, DefaultFormatSettings()); }

// ---- locale-aware text ----

std::string AnsiUpperCase(std::string_view s) { return MapCase(s, UpperCp); }
std::string AnsiLowerCase(std::string_view s) { return MapCase(s, LowerCp); }

int AnsiCompareText(std::string_view a, std::string_view b) {
  return Sign(CodePoints(a, true).compare(CodePoints(b, true)));
}

bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

int AnsiCompareStr(std::string_view a, std::string_view b) {
  return Sign(CodePoints(a, false).compare(CodePoints(b, false)));
}

bool AnsiSameStr(std::string_view a, std::string_view b) { return a == b; }

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
