#pragma once
// TExprNode: one node of the expression tree that the parser builds and
// TFilterExpr encodes. Nodes belong to their TFilterExpr, which keeps them
// in a list through FNext (newest first) and frees them all at once; the
// operand and argument pointers do not own.

#include <cstdint>
#include <memory>
#include <vector>

#include "filter/can_op.h"
#include "filter/expr_node_kind.h"
#include "filter/expr_scope_kind.h"
#include "platform/db/db_types.h"
#include "platform/rtl/variant.h"

namespace dac {

struct TExprNode;
using PExprNode = TExprNode*;

struct TExprNode {
  // The node created before this one (the ownership list).
  std::unique_ptr<TExprNode> FNext;
  TExprNodeKind FKind = enField;
  // Prefix-compare marker; the parser never sets it.
  bool FPartial = false;
  // The operator of an enOperator node, canNOTDEFINED otherwise.
  tCANOp FOperator = canNOTDEFINED;
  // The field name (enField), the constant's value (enConst: text, the
  // integers 1 or 0 for the true and false words, or Null), the function
  // name (enFunc); unassigned for operators.
  Variant FData;
  PExprNode FLeft = nullptr;
  PExprNode FRight = nullptr;
  TFieldType FDataType = ftUnknown;
  // The field's size for fields and for constants typed from a field.
  int32_t FDataSize = 0;
  // The items of an IN list or the arguments of a function call.
  std::vector<PExprNode> FArgs;
  TExprScopeKind FScopeKind = skField;
};

}  // namespace dac
