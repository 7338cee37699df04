// TExprParser: the grammar, typing while building, aggregate scope and the
// finishing steps.

#include "filter/expr_parser.h"

#include "errors/messages.h"
#include "filter/can_expr.h"
#include "platform/rtl/format.h"
#include "platform/rtl/text.h"

namespace dac {
namespace {

bool IsTemporal(TFieldType T) { return T == ftDate || T == ftTime || T == ftDateTime; }
bool IsNumeric(TFieldType T) {
  return T == ftSmallint || T == ftInteger || T == ftWord || T == ftFloat || T == ftCurrency || T == ftBCD ||
         T == ftAutoInc;
}
bool IsBinary(TFieldType T) { return T == ftBytes || T == ftBlob; }

constexpr const char* kFunctionNames[] = {"UPPER", "LOWER", "SUBSTRING", "TRIM",   "TRIMLEFT", "TRIMRIGHT", "YEAR",
                                          "MONTH", "DAY",   "HOUR",      "MINUTE", "SECOND",   "GETDATE",   "DATE",
                                          "TIME",  "SUM",   "MIN",       "MAX",    "AVG",      "COUNT"};

bool IsFunctionName(const std::string& Name) {
  for (const char* f : kFunctionNames)
    if (SameText(Name, f)) return true;
  return false;
}

}  // namespace

TExprParser::TExprParser(TDataSet* DataSet, const std::string& Text, TFilterOptions Options,
                         TParserOptions ParserOptions, const std::string& FieldName, TBits* DepFields)
    : FStrTrue(STextTrue), FStrFalse(STextFalse), FDataSet(DataSet), FDependentFields(DepFields) {
  FFilter = std::make_unique<TFilterExpr>(DataSet, Options, ParserOptions, FieldName, DepFields);
  if (!Text.empty()) SetExprParams(Text, Options, ParserOptions, FieldName);
}

TExprParser::~TExprParser() = default;

void TExprParser::SetExprParams(const std::string& Text, TFilterOptions Options, TParserOptions ParserOptions,
                                const std::string& FieldName) {
  FParserOptions = ParserOptions;
  FFilterData = nullptr;
  FDataSize = 0;
  FRoot = nullptr;
  FFilter.reset();
  FFilter = std::make_unique<TFilterExpr>(FDataSet, Options, ParserOptions, FieldName, FDependentFields);
  FText = Text;
  FFieldName = FieldName;
  FSource = Text.substr(0, Text.find('\0'));
  FSourcePtr = FTokenPtr = 0;
  FToken = FPrevToken = etEnd;
  FNesting = 0;
  NextToken();
  PExprNode root = FinishParse(ParseExpr());
  FFilterData = FFilter->GetFilterData(root);
  FDataSize = FFilter->ExprBufSize();
  FRoot = root;
}

// ---- grammar ----------------------------------------------------------------------------

PExprNode TExprParser::ParseNested() {
  if (FNesting >= kMaxExprNesting) Error(Format(SExprTooDeep, kMaxExprNesting));
  ++FNesting;
  PExprNode result = ParseExpr();
  // A failed parse leaves the count behind; the next parse starts it anew.
  --FNesting;
  return result;
}

PExprNode TExprParser::ParseExpr() {
  PExprNode left = ParseExpr2();
  while (TokenSymbolIs("OR")) {
    NextToken();
    PExprNode right = ParseExpr2();
    PExprNode node = FFilter->NewNode(enOperator, canOR, Variant(), left, right);
    node->FDataType = ftBoolean;
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

PExprNode TExprParser::ParseExpr2() {
  PExprNode left = ParseExpr3();
  while (TokenSymbolIs("AND")) {
    NextToken();
    PExprNode right = ParseExpr3();
    PExprNode node = FFilter->NewNode(enOperator, canAND, Variant(), left, right);
    node->FDataType = ftBoolean;
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

PExprNode TExprParser::ParseExpr3() {
  PExprNode result;
  if (TokenSymbolIs("NOT")) {
    NextToken();
    PExprNode operand = ParseExpr4();
    result = FFilter->NewNode(enOperator, canNOT, Variant(), operand, nullptr);
    result->FDataType = ftBoolean;
  } else {
    result = ParseExpr4();
  }
  GetScopeKind(result, result->FLeft, result->FRight);
  return result;
}

PExprNode TExprParser::ParseExpr4() {
  PExprNode left = ParseExpr5();
  tCANOp op;
  switch (FToken) {
    case etEQ: op = canEQ; break;
    case etNE: op = canNE; break;
    case etGE: op = canGE; break;
    case etLE: op = canLE; break;
    case etGT: op = canGT; break;
    case etLT: op = canLT; break;
    case etLIKE: op = canLIKE; break;
    case etISNULL: op = canISBLANK; break;
    case etISNOTNULL: op = canNOTBLANK; break;
    case etIN: op = canIN; break;
    default: return left;
  }
  NextToken();
  if (op == canIN) return ParseInList(left);
  PExprNode right = (op == canISBLANK || op == canNOTBLANK) ? nullptr : ParseExpr5();
  PExprNode node = FFilter->NewNode(enOperator, op, Variant(), left, right);
  TypeCheckRelation(node);
  GetScopeKind(node, left, right);
  return node;
}

PExprNode TExprParser::ParseInList(PExprNode Tested) {
  if (FToken != etLParen) ErrorToken(SExprLParenExpected);
  NextToken();
  if (FToken == etRParen) Error(SExprEmptyInList);
  PExprNode node = FFilter->NewNode(enOperator, canIN, Variant(), Tested, nullptr);
  for (;;) {
    PExprNode item = ParseNested();
    if (IsTemporal(Tested->FDataType)) item->FDataType = Tested->FDataType;
    node->FArgs.push_back(item);
    if (FToken == etComma) {
      NextToken();
      continue;
    }
    if (FToken == etRParen) break;
    ErrorToken(FToken == etEnd ? SExprRParenExpected : SExprRParenOrCommaExpected);
  }
  NextToken();
  TypeCheckRelation(node);
  GetScopeKind(node, Tested, nullptr);
  return node;
}

PExprNode TExprParser::ParseExpr5() {
  PExprNode left = ParseExpr6();
  while (FToken == etADD || FToken == etSUB) {
    if (!FParserOptions.Contains(poExtSyntax)) Error(SExprNoArith);
    const tCANOp op = FToken == etADD ? canADD : canSUB;
    NextToken();
    PExprNode right = ParseExpr6();
    PExprNode node = FFilter->NewNode(enOperator, op, Variant(), left, right);
    TypeCheckArithOp(node);
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

PExprNode TExprParser::ParseExpr6() {
  PExprNode left = ParseExpr7();
  while (FToken == etMUL || FToken == etDIV) {
    if (!FParserOptions.Contains(poExtSyntax)) Error(SExprNoArith);
    const tCANOp op = FToken == etMUL ? canMUL : canDIV;
    NextToken();
    PExprNode right = ParseExpr7();
    PExprNode node = FFilter->NewNode(enOperator, op, Variant(), left, right);
    TypeCheckArithOp(node);
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

PExprNode TExprParser::ParseExpr7() {
  PExprNode result = nullptr;
  switch (FToken) {
    case etSymbol:
      if (FParserOptions.Contains(poExtSyntax) && NextIsLParen() && IsFunctionName(FTokenString)) {
        result = ParseFunction();
      } else if (SameText(FTokenString, "NULL")) {
        result = FFilter->NewNode(enConst, canNOTDEFINED, Variant::Null(), nullptr, nullptr);
        result->FScopeKind = skConst;
      } else if (SameText(FTokenString, FStrTrue) || SameText(FTokenString, FStrFalse)) {
        const int32_t value = SameText(FTokenString, FStrTrue) ? 1 : 0;
        result = FFilter->NewNode(enConst, canNOTDEFINED, Variant(value), nullptr, nullptr);
        result->FScopeKind = skConst;
      } else {
        result = FFilter->NewNode(enField, canNOTDEFINED, Variant(FTokenString), nullptr, nullptr);
      }
      break;
    case etName: result = FFilter->NewNode(enField, canNOTDEFINED, Variant(FTokenString), nullptr, nullptr); break;
    case etLiteral:
      result = FFilter->NewNode(enConst, canNOTDEFINED, Variant(FTokenString), nullptr, nullptr);
      result->FDataType = FNumericLit ? ftFloat : ftString;
      result->FScopeKind = skConst;
      break;
    case etLParen:
      NextToken();
      result = ParseNested();
      if (FToken != etRParen) ErrorToken(SExprRParenExpected);
      break;
    default: ErrorToken(SExprExpected);
  }
  NextToken();
  return result;
}

PExprNode TExprParser::ParseFunction() {
  std::string name = FTokenString;
  NextToken();
  if (FToken != etLParen) ErrorToken(SExprLParenExpected);
  NextToken();
  if (SameText(name, "COUNT") && FToken == etMUL) {
    name = "COUNT(*)";
    NextToken();
  }
  std::vector<PExprNode> args;
  if (FToken != etRParen) {
    for (;;) {
      args.push_back(ParseNested());
      if (FToken == etComma) {
        NextToken();
        continue;
      }
      if (FToken == etRParen) break;
      ErrorToken(FToken == etEnd ? SExprRParenExpected : SExprRParenOrCommaExpected);
    }
  }
  PExprNode node = FFilter->NewNode(enFunc, canNOTDEFINED, Variant(name), nullptr, nullptr);
  node->FArgs = std::move(args);
  TypeFunction(node);
  return node;
}

// ---- typing and scope -------------------------------------------------------------------

void TExprParser::TypeCheckRelation(PExprNode Node) {
  PExprNode left = Node->FLeft;
  PExprNode right = Node->FRight;
  if (right != nullptr) {
    if (left->FKind == enField && right->FKind == enConst) {
      right->FDataType = left->FDataType;
      right->FDataSize = left->FDataSize;
    } else if (right->FKind == enField && left->FKind == enConst) {
      left->FDataType = right->FDataType;
      left->FDataSize = right->FDataSize;
    }
  }
  if (left->FDataType == ftBlob && Node->FOperator == canLIKE) {
    if (right != nullptr && right->FKind == enConst) right->FDataType = ftString;
  } else if (Node->FOperator != canISBLANK && Node->FOperator != canNOTBLANK) {
    if (IsBinary(left->FDataType) || (right != nullptr && IsBinary(right->FDataType))) Error(SExprTypeMis);
  }
  Node->FDataType = ftBoolean;
  if (right != nullptr) {
    if (IsTemporal(left->FDataType) && right->FDataType == ftString)
      right->FDataType = left->FDataType;
    else if (IsTemporal(right->FDataType) && left->FDataType == ftString)
      left->FDataType = right->FDataType;
  }
}

void TExprParser::TypeCheckArithOp(PExprNode Node) {
  PExprNode left = Node->FLeft;
  const TFieldType lt = left->FDataType;
  const TFieldType rt = Node->FRight->FDataType;
  const tCANOp op = Node->FOperator;
  if (IsNumeric(lt) && IsNumeric(rt)) {
    Node->FDataType = ftFloat;
  } else if (lt == ftString && rt == ftString && op == canADD) {
    Node->FDataType = ftString;
  } else if (IsTemporal(lt) && IsNumeric(rt) && op == canADD) {
    Node->FDataType = ftDateTime;
  } else if (IsTemporal(lt) && IsNumeric(rt) && op == canSUB) {
    Node->FDataType = lt;
  } else if (IsTemporal(lt) && IsTemporal(rt) && op == canSUB) {
    Node->FDataType = ftFloat;
  } else if (lt == ftString && IsTemporal(rt) && op == canSUB) {
    left->FDataType = rt;
    Node->FDataType = ftFloat;
  } else if (left->FKind == enConst && lt == ftString && IsNumeric(rt)) {
    left->FDataType = ftDateTime;
    Node->FDataType = ftDateTime;
  } else {
    Error(SExprTypeMis);
  }
}

void TExprParser::TypeFunction(PExprNode Node) {
  const std::string name = UpperCase(Node->FData.AsString());
  const bool noArgsAllowed = name == "GETDATE" || name == "COUNT(*)";
  if (Node->FArgs.empty() && !noArgsAllowed) Error(SExprTypeMis);
  PExprNode first = Node->FArgs.empty() ? nullptr : Node->FArgs.front();
  auto takeFirst = [&](TFieldType Type) {
    Node->FDataType = Type;
    Node->FScopeKind = first->FScopeKind;
  };
  if (name == "UPPER" || name == "LOWER" || name == "SUBSTRING" || name == "TRIM" || name == "TRIMLEFT" ||
      name == "TRIMRIGHT") {
    takeFirst(ftString);
  } else if (name == "YEAR" || name == "MONTH" || name == "DAY" || name == "HOUR" || name == "MINUTE" ||
             name == "SECOND") {
    takeFirst(ftInteger);
  } else if (name == "DATE") {
    takeFirst(ftDate);
  } else if (name == "TIME") {
    takeFirst(ftTime);
  } else if (name == "GETDATE") {
    Node->FDataType = ftDateTime;
    Node->FScopeKind = skConst;
  } else if (name == "SUM" || name == "AVG") {
    Node->FDataType = ftFloat;
    Node->FScopeKind = skAgg;
  } else if (name == "MIN" || name == "MAX") {
    Node->FDataType = first->FDataType;
    Node->FScopeKind = skAgg;
  } else {  // COUNT, COUNT(*)
    Node->FDataType = ftInteger;
    Node->FScopeKind = skAgg;
  }
}

void TExprParser::GetScopeKind(PExprNode Root, PExprNode Left, PExprNode Right) {
  if (Left == nullptr && Right == nullptr) return;
  if (Right == nullptr) {
    Root->FScopeKind = Left->FScopeKind;
    return;
  }
  if (Left == nullptr) {
    Root->FScopeKind = Right->FScopeKind;
    return;
  }
  const TExprScopeKind l = Left->FScopeKind;
  const TExprScopeKind r = Right->FScopeKind;
  if ((l == skField && r == skAgg) || (l == skAgg && r == skField)) Error(SExprNoAggOnCalcs);
  if (l == skConst && r == skConst)
    Root->FScopeKind = skConst;
  else if (l == skAgg || r == skAgg)
    Root->FScopeKind = skAgg;
  else
    Root->FScopeKind = skField;
}

// ---- finishing --------------------------------------------------------------------------

PExprNode TExprParser::FinishParse(PExprNode Root) {
  if (FToken != etEnd) Error(SExprTermination);
  if (FParserOptions.Contains(poAggregate)) {
    if (Root->FScopeKind != skAgg) Error(SExprNotAgg);
  } else if (Root->FScopeKind == skAgg) {
    Error(SExprNoAggFilter);
  }
  if (FParserOptions.Contains(poDefaultExpr)) {
    PExprNode field = FFilter->NewNode(enField, canNOTDEFINED, Variant(FFieldName), nullptr, nullptr);
    const TFieldType ft = field->FDataType;
    if ((IsTemporal(ft) || ft == ftBoolean) && Root->FDataType == ftString) Root->FDataType = ft;
    const TFieldType et = Root->FDataType;
    const bool compatible = (IsTemporal(ft) && IsTemporal(et)) || (IsNumeric(ft) && IsNumeric(et)) ||
                            (ft == ftString && et == ftString) || (ft == ftBoolean && et == ftBoolean);
    if (!compatible) Error(SExprTypeMis);
    return FFilter->NewNode(enOperator, canASSIGN, Variant(), Root, field);
  }
  if (!FParserOptions.Contains(poAggregate) && Root->FDataType != ftBoolean) Error(SExprIncorrect);
  return Root;
}

}  // namespace dac
