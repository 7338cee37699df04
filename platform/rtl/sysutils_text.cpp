// Locale-aware text: UTF-8 case mapping and comparison by code point.

#include "platform/rtl/sysutils.h"

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <string>

namespace dac {

namespace {

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

}  // namespace dac
