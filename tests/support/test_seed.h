// The seed of a generated test: fixed, so that every run checks the same
// cases, unless DAC_TEST_SEED names another one. A developer hunting for
// faults runs the generated tests under many seeds; a failure names its
// seed, so the case can be run again.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

namespace testseed {

inline uint32_t Seed(uint32_t Fixed) {
  const char* given = std::getenv("DAC_TEST_SEED");
  if (given == nullptr || *given == '\0') return Fixed;
  // Each test keeps seeds of its own: the given one is mixed with the fixed.
  return static_cast<uint32_t>(std::strtoul(given, nullptr, 10)) * 2654435761u ^ Fixed;
}

inline std::string Describe(uint32_t seed) { return "seed " + std::to_string(seed) + " (DAC_TEST_SEED)"; }

}  // namespace testseed
