// TFilterExpr: nodes, field lookup and origins. The encoder is in
// filter_expr_encode.cpp.

#include "filter/filter_expr.h"

#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/rtl/lists.h"

namespace dac {

TFilterExpr::TFilterExpr(TDataSet* DataSet, TFilterOptions Options, TParserOptions ParseOptions,
                         const std::string& FieldName, TBits* DepFields)
    : FDataSet(DataSet),
      FOptions(Options),
      FParserOptions(ParseOptions),
      FFieldName(FieldName),
      FDependentFields(DepFields) {}

TFilterExpr::~TFilterExpr() {
  // One node at a time: letting the list's unique_ptrs unwind themselves
  // would recurse once per node.
  while (FNodes) FNodes = std::move(FNodes->FNext);
}

PExprNode TFilterExpr::NewNode(TExprNodeKind Kind, tCANOp Operator, const Variant& Data, PExprNode Left,
                               PExprNode Right) {
  auto node = std::make_unique<TExprNode>();
  PExprNode result = node.get();
  node->FKind = Kind;
  node->FOperator = Operator;
  node->FData = Data;
  node->FLeft = Left;
  node->FRight = Right;
  node->FNext = std::move(FNodes);
  FNodes = std::move(node);
  if (Kind == enField) {
    TField* field = FieldByName(Data.AsString());
    result->FDataType = field->DataType();
    result->FDataSize = field->Size();
  }
  return result;
}

PExprNode TFilterExpr::NewCompareNode(TField* Field, tCANOp Operator, const Variant& Value) {
  PExprNode constant = NewNode(enConst, canNOTDEFINED, Value, nullptr, nullptr);
  constant->FDataType = Field->DataType();
  constant->FDataSize = Field->Size();
  constant->FScopeKind = skConst;
  PExprNode field = NewNode(enField, canNOTDEFINED, Variant(Field->FieldName()), nullptr, nullptr);
  PExprNode result = NewNode(enOperator, Operator, Variant(), field, constant);
  result->FDataType = ftBoolean;
  return result;
}

TField* TFilterExpr::FieldByName(const std::string& Name) {
  TField* field = nullptr;
  if (FParserOptions.Contains(poFieldNameGiven)) {
    field = FDataSet->FieldByName(FFieldName);
  } else {
    if (FParserOptions.Contains(poUseOrigNames)) {
      for (TField* f : FDataSet->Fields()->List()) {
        if (!f->Origin().empty() && OriginColumnName(f->Origin()) == Name) {
          field = f;
          break;
        }
      }
    }
    if (field == nullptr) field = FDataSet->FieldByName(Name);
  }
  // Calculated and lookup fields have no column number, hence no bit.
  if (FParserOptions.Contains(poFieldDepend) && FDependentFields != nullptr && field->FieldNo() > 0)
    FDependentFields->SetOn(field->FieldNo() - 1);
  return field;
}

std::string OriginColumnName(const std::string& Origin) {
  std::vector<std::string> items;
  const size_t n = Origin.size();
  size_t i = 0;
  for (;;) {
    while (i < n && (Origin[i] == ' ' || Origin[i] == '.')) ++i;
    if (i >= n) break;
    if (items.size() == 4) return "";
    std::string item;
    const bool quoted = Origin[i] == '"';
    if (quoted) ++i;
    while (i < n && Origin[i] != (quoted ? '"' : '.')) {
      if (Origin[i] == '\\' && i + 1 < n) ++i;
      item += Origin[i++];
    }
    if (quoted && i < n) ++i;
    items.push_back(std::move(item));
  }
  if (items.size() < 2 || items.back().empty() || items[items.size() - 2].empty()) return "";
  return items.back();
}

}  // namespace dac
