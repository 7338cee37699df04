// Dates and times as text: FormatDateTime pictures and parsing by the
// locale's separators, order and century window.

#include "platform/rtl/sysutils.h"

#include <string>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/sysutils_detail.h"

namespace dac {

namespace {

using detail::IsDigit;
using detail::TrimView;
using detail::ToLowerAscii;

// ---- dates ----

int CountRun(std::string_view f, size_t i, char lower) {
  size_t n = 0;
  while (i + n < f.size() && ToLowerAscii(f[i + n]) == lower) ++n;
  return static_cast<int>(n);
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

}  // namespace

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

}  // namespace dac
