#pragma once
// TExprNodeKind: what a node of the expression tree stands for.

#include <cstdint>

namespace dac {

enum TExprNodeKind : uint8_t { enField, enConst, enOperator, enFunc };

}  // namespace dac
