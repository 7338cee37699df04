#pragma once
// Text helpers of the runtime. ASCII case mapping here; the locale-aware
// "Ansi" variants sit beside them.

#include <cstdint>
#include <string>
#include <string_view>

namespace dac {

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Case-insensitive (ASCII) comparison: negative, 0 or positive.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Byte-wise comparison: negative, 0 or positive.
int CompareStr(std::string_view a, std::string_view b);

// Trim removes leading and trailing blanks and control characters (<= ' ').
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

std::string IntToStr(int64_t value);

}  // namespace dac
