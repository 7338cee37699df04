#pragma once
// tNODEClass: the class byte that starts every node of the encoded filter
// buffer; it decides how many operand words follow (filter/can_expr.h).

#include <cstdint>

namespace dac {

enum tNODEClass : uint8_t {
  nodeNULL, nodeUNARY, nodeBINARY, nodeCOMPARE, nodeFIELD, nodeCONST, nodeTUPLE, nodeCONTINUE,
  nodeUDF, nodeLIST, nodeFUNC, nodeLISTELEM
};
static_assert(nodeLISTELEM == 11);

}  // namespace dac
