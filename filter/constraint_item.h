#pragma once
// TConstraintItem: one record constraint or field default expression of a
// dataset, parsed once when the dataset opens and evaluated per record.
//
// FieldNum is -1 for a record-level constraint, else the index of the field
// the item belongs to (a field constraint that only parses with the
// field's own name, and every default expression). ErrorMessage is what
// the dataset raises when the constraint fails (empty for defaults).

#include <cstdint>
#include <memory>
#include <string>

#include "filter/expr_parser.h"
#include "filter/parser_options.h"
#include "platform/db/db_types.h"
#include "platform/rtl/collection.h"

namespace dac {

class TDataSet;

class TConstraintItem : public TCollectionItem {
 public:
  TConstraintItem() = default;

  int32_t FieldNum() const { return FFieldNum; }
  void SetFieldNum(int32_t Value) { FFieldNum = Value; }
  const std::string& Expression() const { return FExpression; }
  void SetExpression(const std::string& Value) { FExpression = Value; }
  const std::string& ErrorMessage() const { return FErrorMessage; }
  void SetErrorMessage(const std::string& Value) { FErrorMessage = Value; }
  // The parser that holds the encoded expression (owned), or null.
  TExprParser* Parser() const { return FParser.get(); }
  void SetParser(std::unique_ptr<TExprParser> Value) { FParser = std::move(Value); }

  // Parses Expression for DataSet into a new parser, replacing the old one
  // only when the parse succeeds.
  void Parse(TDataSet* DataSet, TParserOptions ParserOptions, TFilterOptions Options,
             const std::string& FieldName = std::string());
  // Evaluates the parsed expression on the record DataSet presents now
  // (true without a parser). A default expression stores its value.
  bool Verify(TDataSet* DataSet) const;

 private:
  int32_t FFieldNum = -1;
  std::string FExpression;
  std::string FErrorMessage;
  std::unique_ptr<TExprParser> FParser;
};

}  // namespace dac
