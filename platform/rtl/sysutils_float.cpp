// Floating point: shortest round-trip text, parsing by the locale, and
// FormatFloat pictures.

#include "platform/rtl/sysutils.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "platform/rtl/decimal_text.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/sysutils_detail.h"

namespace dac {

namespace {

using detail::IsDigit;

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
    if (e.size() < static_cast<size_t>(p.ExpDigits)) expPart.append(static_cast<size_t>(p.ExpDigits) - e.size(), '0');
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

}  // namespace

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

}  // namespace dac
