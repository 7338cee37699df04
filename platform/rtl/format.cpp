#include "platform/rtl/format.h"

#include <cstdio>

#include "platform/rtl/exceptions.h"

namespace dac {
namespace {

struct Spec {
  bool leftAlign = false;
  int width = -1;
  int precision = -1;
  char type = 0;
};

[[noreturn]] void BadFormat(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

std::string Pad(std::string text, const Spec& spec) {
  if (spec.width > 0 && static_cast<int>(text.size()) < spec.width) {
    std::string fill(static_cast<size_t>(spec.width) - text.size(), ' ');
    text = spec.leftAlign ? text + fill : fill + text;
  }
  return text;
}

std::string FormatInteger(const FormatArg& arg, const Spec& spec, std::string_view fmt) {
  std::string digits;
  if (auto* i = std::get_if<int64_t>(&arg)) {
    if (spec.type == 'x') {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(*i));
      digits = buf;
    } else {
      digits = std::to_string(*i);
    }
  } else if (auto* u = std::get_if<uint64_t>(&arg)) {
    if (spec.type == 'x') {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(*u));
      digits = buf;
    } else {
      digits = std::to_string(*u);
    }
  } else {
    BadFormat(fmt);
  }
  // Precision on an integer is the minimum number of digits.
  if (spec.precision > 0) {
    bool negative = !digits.empty() && digits[0] == '-';
    std::string body = negative ? digits.substr(1) : digits;
    if (static_cast<int>(body.size()) < spec.precision) body.insert(0, static_cast<size_t>(spec.precision) - body.size(), '0');
    digits = negative ? "-" + body : body;
  }
  return digits;
}

std::string FormatFloating(const FormatArg& arg, const Spec& spec, std::string_view fmt) {
  double value;
  if (auto* d = std::get_if<double>(&arg)) {
    value = *d;
  } else {
    BadFormat(fmt);
  }
  char buf[512];
  switch (spec.type) {
    case 'f':
      std::snprintf(buf, sizeof buf, "%.*f", spec.precision < 0 ? 2 : spec.precision, value);
      return buf;
    case 'e':
      std::snprintf(buf, sizeof buf, "%.*E", spec.precision < 0 ? 15 : spec.precision - 1, value);
      return buf;
    case 'n': {
      std::snprintf(buf, sizeof buf, "%.*f", spec.precision < 0 ? 2 : spec.precision, value);
      // Group the integer digits in threes: "1234567.50" -> "1,234,567.50".
      std::string_view s = buf;
      size_t dot = s.find('.');
      size_t end = dot == std::string_view::npos ? s.size() : dot;
      size_t start = (!s.empty() && s[0] == '-') ? 1 : 0;
      std::string grouped(s.substr(0, start));
      for (size_t i = start; i < end; ++i) {
        if (i > start && (end - i) % 3 == 0) grouped += ',';
        grouped += s[i];
      }
      grouped += s.substr(end);
      return grouped;
    }
    default:  // 'g'
      std::snprintf(buf, sizeof buf, "%.*G", spec.precision < 0 ? 15 : spec.precision, value);
      return buf;
  }
}

std::string FormatOne(const FormatArg& arg, const Spec& spec, std::string_view fmt) {
  switch (spec.type) {
    case 's': {
      auto* s = std::get_if<std::string>(&arg);
      if (!s) BadFormat(fmt);
      return spec.precision >= 0 ? s->substr(0, static_cast<size_t>(spec.precision)) : *s;
    }
    case 'd':
    case 'u':
    case 'x':
      return FormatInteger(arg, spec, fmt);
    default:
      return FormatFloating(arg, spec, fmt);
  }
}

}  // namespace

std::string FormatArgs(std::string_view fmt, const std::vector<FormatArg>& args) {
  std::string out;
  out.reserve(fmt.size() + 16 * args.size());
  size_t next = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (++i >= fmt.size()) BadFormat(fmt);
    if (fmt[i] == '%') {
      out += '%';
      continue;
    }
    Spec spec;
    // Optional explicit argument index: "%1:s".
    size_t save = i;
    int number = 0;
    bool haveNumber = false;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      number = number * 10 + (fmt[i] - '0');
      haveNumber = true;
      ++i;
    }
    if (haveNumber && i < fmt.size() && fmt[i] == ':') {
      next = static_cast<size_t>(number);
      ++i;
    } else {
      i = save;
    }
    if (i < fmt.size() && fmt[i] == '-') {
      spec.leftAlign = true;
      ++i;
    }
    if (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      spec.width = 0;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') spec.width = spec.width * 10 + (fmt[i++] - '0');
    }
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      spec.precision = 0;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') spec.precision = spec.precision * 10 + (fmt[i++] - '0');
    }
    if (i >= fmt.size()) BadFormat(fmt);
    char type = static_cast<char>(fmt[i] | 0x20);  // placeholders are case-insensitive
    if (type != 's' && type != 'd' && type != 'u' && type != 'x' && type != 'f' && type != 'g' && type != 'e' &&
        type != 'n')
      BadFormat(fmt);
    spec.type = type;
    if (next >= args.size()) BadFormat(fmt);
    out += Pad(FormatOne(args[next++], spec, fmt), spec);
  }
  return out;
}

}  // namespace dac
