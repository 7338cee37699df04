#pragma once
// TExprScopeKind: whether a node's value varies per record (skField), is an
// aggregate over records (skAgg) or is the same for every record (skConst).
// The parser refuses operations that mix the first two.

#include <cstdint>

namespace dac {

enum TExprScopeKind : uint8_t { skField, skAgg, skConst };

}  // namespace dac
