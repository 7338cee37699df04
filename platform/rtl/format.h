#pragma once
// Format: fills a message with values. Understands the placeholders the
// messages use: %s (text), %d (integer), %u, %x, %f, %g, %e, %n and %%, with
// an optional "-", width and precision, as in "%-10s" or "%.3f".

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dac {

using FormatArg = std::variant<int64_t, uint64_t, double, std::string>;

std::string FormatArgs(std::string_view fmt, const std::vector<FormatArg>& args);

namespace detail {
template <typename T>
FormatArg ToFormatArg(const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    return FormatArg{int64_t{v ? 1 : 0}};
  } else if constexpr (std::signed_integral<T>) {
    return FormatArg{static_cast<int64_t>(v)};
  } else if constexpr (std::unsigned_integral<T>) {
    return FormatArg{static_cast<uint64_t>(v)};
  } else if constexpr (std::floating_point<T>) {
    return FormatArg{static_cast<double>(v)};
  } else {
    return FormatArg{std::string(v)};
  }
}
}  // namespace detail

// A placeholder that does not fit its value, or a missing value, raises
// EConvertError.
template <typename... Args>
std::string Format(std::string_view fmt, const Args&... args) {
  return FormatArgs(fmt, std::vector<FormatArg>{detail::ToFormatArg(args)...});
}

}  // namespace dac
