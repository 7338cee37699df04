#pragma once
// TExprParser: turns the text of a filter, constraint or default expression
// into the expression tree and the encoded filter buffer (can_expr.h).
//
//   TExprParser parser(dataSet, "AgyCode = '01' and fHasParentCmp = 0",
//                      dataSet->FilterOptions(), {poExtSyntax});
//   TParseVerifier verifier(dataSet, parser.FilterData());
//   bool passes = verifier.Verify();  // the record the dataset presents
//
// The language: OR, AND and NOT (lowest to highest), the comparisons = <> <
// <= > >=, LIKE, IS [NOT] NULL, IN (list), + - * / (poExtSyntax), function
// calls (poExtSyntax; rejected when encoded), field names plain or in
// [brackets], 'text' constants with '' for a quote, numbers, NULL, True and
// False, and /* comments */. Keywords are matched without regard to case.
//
// A parse error is an EPvDatabaseError naming the dataset, raised from the
// constructor or SetExprParams; the parser then holds no buffer. Brackets,
// IN lists and function arguments nest at most kMaxExprNesting deep.
//
// Text is UTF-8 (the code page of this system): a NUL byte ends it, and the
// bytes of a multi-byte character belong to a name like letters do.

#include <cstdint>
#include <memory>
#include <string>

#include "filter/expr_node.h"
#include "filter/expr_token.h"
#include "filter/filter_expr.h"
#include "filter/parser_options.h"
#include "platform/db/db_types.h"

namespace dac {

class TBits;
class TDataSet;

class TExprParser {
 public:
  // Parses Text at once when it is not empty. FieldName: the field a
  // default expression (poDefaultExpr) assigns, or the field every name
  // stands for (poFieldNameGiven). DepFields receives the numbers of the
  // fields used (poFieldDepend); it is not owned.
  TExprParser(TDataSet* DataSet, const std::string& Text, TFilterOptions Options, TParserOptions ParserOptions,
              const std::string& FieldName = std::string(), TBits* DepFields = nullptr);
  ~TExprParser();
  TExprParser(const TExprParser&) = delete;
  TExprParser& operator=(const TExprParser&) = delete;

  // Drops the previous tree and buffer, then parses, checks and encodes
  // Text.
  void SetExprParams(const std::string& Text, TFilterOptions Options, TParserOptions ParserOptions,
                     const std::string& FieldName);

  // The encoded buffer (owned here), valid until the next SetExprParams or
  // the parser's end; null before a successful parse.
  const uint8_t* FilterData() const { return FFilterData; }
  int32_t DataSize() const { return FDataSize; }

  // The parsed tree, for inspection: its root (after the finishing steps),
  // null without a successful parse.
  const TExprNode* Root() const { return FRoot; }
  const std::string& Text() const { return FText; }
  TDataSet* DataSet() const { return FDataSet; }

 private:
  // ---- reading the text (expr_parser_lexer.cpp) ----
  char CharAt(size_t Pos) const { return Pos < FSource.size() ? FSource[Pos] : '\0'; }
  void NextToken();
  void SkipBlanks();
  void SkipComment();
  void ReadStringLiteral();
  void ReadNumber();
  void ReadBracketedName();
  void ReadSymbol();
  // Letters A-Z, a-z after blanks (for IS [NOT] NULL).
  std::string ReadWord();
  // The next non-blank byte after the current token is "(".
  bool NextIsLParen() const;
  // The current token as messages show it: 'text', or "nothing".
  std::string TokenText() const;
  bool TokenSymbolIs(const char* Word) const;
  [[noreturn]] void Error(const std::string& Message) const;
  [[noreturn]] void ErrorToken(const char* Format) const;

  // ---- the grammar (expr_parser.cpp) ----
  // A bracketed expression, IN item or argument: one level deeper.
  PExprNode ParseNested();
  PExprNode ParseExpr();   // OR
  PExprNode ParseExpr2();  // AND
  PExprNode ParseExpr3();  // NOT
  PExprNode ParseExpr4();  // relation
  PExprNode ParseInList(PExprNode Tested);
  PExprNode ParseExpr5();  // + -
  PExprNode ParseExpr6();  // * /
  PExprNode ParseExpr7();  // primary
  PExprNode ParseFunction();
  void TypeCheckRelation(PExprNode Node);
  void TypeCheckArithOp(PExprNode Node);
  void TypeFunction(PExprNode Node);
  void GetScopeKind(PExprNode Root, PExprNode Left, PExprNode Right);
  PExprNode FinishParse(PExprNode Root);

  std::unique_ptr<TFilterExpr> FFilter;
  std::string FText;
  // The text up to its first NUL byte; positions index it.
  std::string FSource;
  size_t FSourcePtr = 0;
  size_t FTokenPtr = 0;
  std::string FTokenString;
  std::string FStrTrue;
  std::string FStrFalse;
  TExprToken FToken = etEnd;
  TExprToken FPrevToken = etEnd;
  const uint8_t* FFilterData = nullptr;
  bool FNumericLit = false;
  int32_t FDataSize = 0;
  TParserOptions FParserOptions;
  std::string FFieldName;
  TDataSet* FDataSet = nullptr;
  TBits* FDependentFields = nullptr;
  PExprNode FRoot = nullptr;
  // Brackets, lists and argument lists open at the current position.
  int32_t FNesting = 0;
};

}  // namespace dac
