// Conversion between the engine's value forms and the text drmcli shows,
// exports and imports. The forms are little-endian: integers of their
// width, booleans one byte, dates and times as 16-bit parts, timestamps as
// six 16-bit parts and a 32-bit fraction in 10^-7 s, decimals as 19 16-bit
// words (exponent in word 1, a 64-bit integer in words 3 to 6), fixed text
// blank-padded, z-strings NUL-terminated.
//
// Texts: integers and decimals in plain notation; booleans "true"/"false"
// (also read from 1/0, yes/no, t/f); dates "YYYY-MM-DD", times "HH:MM:SS",
// timestamps "YYYY-MM-DD HH:MM:SS[.fffffff]"; binary values as hex digits.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace drmcli {

class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the conversions need to know about a column (from the catalog).
struct ColumnInfo {
  std::string Name;
  uint32_t Id = 0;
  uint32_t ColTyp = 0;
  uint32_t CbMax = 0;
  uint32_t GrBit = 0;
  uint16_t Scale = 0;
  uint16_t Precision = 0;

  uint32_t Drm() const { return ColTyp & 0xFFu; }
  uint32_t Rm() const { return (ColTyp >> 8) & 0xFFu; }
  bool IsLong() const;
  bool IsBinary() const;
  // Buffer size that holds any non-long value of this column.
  uint32_t ReadSize() const;
};

// Engine bytes (as read, `len` of them) to text.
std::string ValueToText(const ColumnInfo& c, const std::string& bytes);
// Text to the engine bytes RareSetColumn takes; ValueError when the text
// does not fit the column (bad number, out of range, too long, bad date).
std::string TextToValue(const ColumnInfo& c, const std::string& text);

}  // namespace drmcli
