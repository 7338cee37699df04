// Small value rules shared by the stored-value codec and the parsing of
// column default texts.
#pragma once

#include <string>

#include "platform/engine/engine_core.h"

namespace drmengine {

// Days since 1970-01-01 of a proleptic Gregorian date.
inline int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

inline constexpr int64_t kPow10[] = {1LL,
                                     10LL,
                                     100LL,
                                     1000LL,
                                     10000LL,
                                     100000LL,
                                     1000000LL,
                                     10000000LL,
                                     100000000LL,
                                     1000000000LL,
                                     10000000000LL,
                                     100000000000LL,
                                     1000000000000LL,
                                     10000000000000LL,
                                     100000000000000LL,
                                     1000000000000000LL,
                                     10000000000000000LL,
                                     100000000000000000LL,
                                     1000000000000000000LL};

inline bool ValidDate(unsigned y, unsigned m, unsigned d) {
  static const unsigned dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  unsigned lim = dim[m - 1];
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) lim = 29;
  return d <= lim;
}

// Digits after the decimal point a numeric column keeps.
inline int DecimalScale(const ColumnMeta& c) {
  if (c.Rm() == RM_TYPE_CURRENCY) return 4;
  if (c.Rm() == RM_TYPE_INTEGER) return 0;
  return c.scale;
}

inline std::string RTrimBlanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace drmengine
