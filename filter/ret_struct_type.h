#pragma once
// TRetStructType: what an evaluated node yields. The evaluator uses the
// first three; the engine filter transformer classifies its partial results
// with the others. The numbers are fixed.

#include <cstdint>

namespace dac {

enum TRetStructType : uint8_t {
  rstVariant = 0,    // a computed value
  rstField = 1,      // a field, read when an operator needs its value
  rstList = 2,       // the entries of an IN list
  rstOR = 9,         // a term list joined by OR at its top level
  rstAND = 10,       // a term list joined by AND at its top level
  rstCompare = 11,   // one comparison
  rstWildCard = 12,  // a prefix-compare constant
  rstBit = 13,       // a Boolean constant
  rstLocal = 14      // left to the client
};

}  // namespace dac
