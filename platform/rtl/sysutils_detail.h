#pragma once
// Character helpers shared by the sysutils sources (integers, floats, dates
// and times, text). Not part of the runtime's interface.

#include <string_view>

namespace dac::detail {

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text without leading and trailing blanks and control characters.
inline std::string_view TrimView(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

inline char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace dac::detail
