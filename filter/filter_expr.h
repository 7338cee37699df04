#pragma once
// TFilterExpr: the expression tree of one parse. It makes the nodes,
// resolves field names against the dataset, and encodes the tree into the
// filter buffer of filter/can_expr.h, which it owns.
//
// Field lookup, for a name N:
//   1. poFieldNameGiven: the field named FieldName, whatever N is;
//   2. poUseOrigNames: the first field whose Origin names the source column
//      N (exact case); an origin is "[[db.]table.]column" items, quoted with
//      double quotes or escaped with backslashes;
//   3. otherwise (or when 2 finds nothing) the dataset's field N, by the
//      framework's case-insensitive lookup ("Field '%s' not found");
//   4. poFieldDepend: the field's bit (field number - 1) is set in the
//      dependent-field set.
//
// Encoding rewrites the tree on its way into the buffer:
//   - a bare Boolean field (at the root or under NOT, AND, OR) becomes
//     "field <> False";
//   - a comparison whose right side is a field and left side is not has its
//     operands exchanged and its operator reversed;
//   - field = NULL and field <> NULL become IS NULL and IS NOT NULL;
//   - field = 'text*' (or '%') is a prefix compare of the characters before
//     the mark unless foNoPartialCompare; with foCaseInsensitive or a prefix
//     it is a nodeCOMPARE node;
//   - constants are converted to their node's data type.
//
// Errors are EPvDatabaseError naming the dataset, except "Field '%s' not
// found", which the framework raises. Encoding never recurses, so a long
// chain of operators cannot exhaust the stack; the buffer limit bounds it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/expr_node.h"
#include "filter/parser_options.h"
#include "platform/db/db_types.h"
#include "platform/rtl/variant.h"

namespace dac {

class TBits;
class TDataSet;
class TField;

class TFilterExpr {
 public:
  TFilterExpr(TDataSet* DataSet, TFilterOptions Options, TParserOptions ParseOptions, const std::string& FieldName,
              TBits* DepFields);
  ~TFilterExpr();
  TFilterExpr(const TFilterExpr&) = delete;
  TFilterExpr& operator=(const TFilterExpr&) = delete;

  // A new node at the head of the node list. An enField node looks its
  // field up (a missing field fails) and takes the field's type and size.
  PExprNode NewNode(TExprNodeKind Kind, tCANOp Operator, const Variant& Data, PExprNode Left, PExprNode Right);
  // Field Operator Value, the constant typed like the field; returns the
  // operator node.
  PExprNode NewCompareNode(TField* Field, tCANOp Operator, const Variant& Value);
  // Encodes the tree under Root into a fresh buffer (owned here, valid
  // until this object goes) and returns it.
  const uint8_t* GetFilterData(PExprNode Root);

  // The field a name denotes under the parser options (see above).
  TField* FieldByName(const std::string& Name);

  TDataSet* DataSet() const { return FDataSet; }
  TFilterOptions Options() const { return FOptions; }
  TParserOptions ParserOptions() const { return FParserOptions; }
  const uint8_t* ExprBuffer() const { return FExprBuffer.empty() ? nullptr : FExprBuffer.data(); }
  int32_t ExprBufSize() const { return FExprBufSize; }
  int32_t ExprNodeSize() const { return FExprNodeSize; }
  int32_t ExprDataSize() const { return FExprDataSize; }

 private:
  class TEncoder;
  friend class TEncoder;

  TDataSet* FDataSet = nullptr;
  TFilterOptions FOptions;
  TParserOptions FParserOptions;
  std::unique_ptr<TExprNode> FNodes;
  std::vector<uint8_t> FExprBuffer;
  int32_t FExprBufSize = 0;
  int32_t FExprNodeSize = 0;
  int32_t FExprDataSize = 0;
  std::string FFieldName;
  TBits* FDependentFields = nullptr;
};

// The source column an origin text ("db.table.column", items optionally in
// double quotes, backslash escapes) names, or "" when it names none: more
// than four items, or no table item.
std::string OriginColumnName(const std::string& Origin);

}  // namespace dac
