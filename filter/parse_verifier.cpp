#include "filter/parse_verifier.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "errors/checks.h"
#include "errors/error_text.h"
#include "errors/messages.h"
#include "filter/can_expr.h"
#include "filter/can_op.h"
#include "filter/filter_record_host.h"
#include "filter/node_class.h"
#include "filter/stop_on_continue_operator.h"
#include "filter/text_compare.h"
#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/string_field.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"

namespace dac {
namespace {

// Evaluation recurses through right operands, unary operands and list
// items, which only bracket nesting deepens (left-hand chains are walked
// in a loop); a buffer that would go deeper than the parser's nesting can
// produce is malformed.
constexpr int32_t kMaxEvalDepth = 8 * kMaxExprNesting;

// Result of comparing two values when either is null.
constexpr int kNullMarker = 2;

bool IsIntegerKind(TVarType T) { return T == varSmallint || T == varInteger || T == varByte || T == varWord; }

int Sign(auto A, auto B) { return A < B ? -1 : B < A ? 1 : 0; }

// -1, 0 or 1 by the kind of Left, or kNullMarker. EqualityOnly: any
// non-zero result for unequal values will do.
int CompareValues(const Variant& Left, const Variant& Right, bool EqualityOnly) {
  if (Left.IsClear() || Right.IsClear()) return kNullMarker;
  const TVarType kind = Left.VarType();
  if (IsIntegerKind(kind)) {
    // An integer against a fraction compares as numbers: 2 is not 1.5.
    const TVarType other = Right.VarType();
    if (other == varSingle || other == varDouble || other == varCurrency)
      return Sign(Left.AsDouble(), Right.AsDouble());
    const int64_t r = Right.VarType() == kind ? Right.AsInt64() : Right.AsType(kind).AsInt64();
    return Sign(Left.AsInt64(), r);
  }
  switch (kind) {
    case varBoolean: return Sign(Left.AsBoolean(), Right.AsBoolean());
    case varSingle:
    case varDouble:
    case varCurrency:
      if (kind == varCurrency && Right.VarType() == varCurrency)
        return Sign(Left.AsCurrency().Value, Right.AsCurrency().Value);
      return Sign(Left.AsDouble(), Right.AsDouble());
    case varDate: return Sign(Left.AsDateTime(), Right.AsDateTime());
    case varString:
    case varOleStr: {
      const std::string l = Left.AsString();
      const std::string r = Right.AsString();
      if (EqualityOnly) return LocaleSameStr(l, r) ? 0 : 1;
      return LocaleCompareStr(l, r);
    }
    default: throw Exception(SExprBadVariantType);
  }
}

// The verdict of a comparison operator on the result of CompareValues.
bool Decide(uint8_t Op, int C) {
  switch (Op) {
    case canEQ:
    case canLIKE: return C == 0;
    case canNE: return C == -1 || C == 1;
    case canGT: return C == 1;
    case canGE: return C == 0 || C == 1;
    case canLT: return C == -1;
    default: return C == -1 || C == 0;  // canLE
  }
}

bool IsComparison(uint8_t Op) { return IsRelationalOp(static_cast<tCANOp>(Op)) || Op == canLIKE; }

bool FitsIntegerKind(TVarType Kind, int64_t V) {
  switch (Kind) {
    case varSmallint: return V >= INT16_MIN && V <= INT16_MAX;
    case varInteger: return V >= INT32_MIN && V <= INT32_MAX;
    case varByte: return V >= 0 && V <= UINT8_MAX;
    default: return V >= 0 && V <= UINT16_MAX;  // varWord
  }
}

Variant Logical(tCANOp Op, const Variant& Left, const Variant& Right) {
  if (Left.IsClear() || Right.IsClear()) return Variant::Null();
  const bool l = Left.AsBoolean();
  const bool r = Right.AsBoolean();
  return Variant(Op == canAND ? (l && r) : (l || r));
}

bool AcceptsBinary(uint8_t Op) {
  return IsRelationalOp(static_cast<tCANOp>(Op)) || IsArithmeticOp(static_cast<tCANOp>(Op)) || Op == canAND ||
         Op == canOR || Op == canLIKE || Op == canIN || Op == canASSIGN;
}

// The offsets of a chain of two-operand nodes linked through their left
// operands, kept inline for the short chains of everyday filters.
class TSpine {
 public:
  void Push(uint16_t Offset) {
    if (FCount < kInline)
      FInline[FCount] = Offset;
    else
      FSpill.push_back(Offset);
    ++FCount;
  }
  size_t Count() const { return FCount; }
  uint16_t At(size_t I) const { return I < kInline ? FInline[I] : FSpill[I - kInline]; }

 private:
  static constexpr size_t kInline = 16;
  uint16_t FInline[kInline] = {};
  std::vector<uint16_t> FSpill;
  size_t FCount = 0;
};

}  // namespace

void TParseVerifier::Error(const std::string& Message) const { PvDatabaseError(FDataSet, Message); }

void TParseVerifier::AppendDescription(Exception& E) const {
  const std::string description = DescribeComponent(FDataSet);
  if (description.empty() || E.Message().find(description) != std::string::npos) return;
  std::string message = E.Message();
  AppendWithSeparator(message, description);
  E.SetMessage(std::move(message));
}

bool TParseVerifier::Verify() {
  if (FParseData == nullptr) return true;
  const tCANExpr header = ReadCANExpr(FParseData);
  FNodes = FParseData + header.iNodeStart;
  FLiterals = FParseData + header.iLiteralStart;
  FNodeAreaSize = static_cast<uint16_t>(header.iLiteralStart - header.iNodeStart);
  FDepth = 0;
  try {
    TRetStruct result;
    if (FNodes[0] == nodeBINARY) {
      bool truth;
      if (EvalChain(0, result, truth)) return truth;
    } else {
      result = EvalNode(0);
    }
    if (result.StType != rstVariant) Error(SExprBadOperand);
    return result.v.AsBoolean();
  } catch (const EStopOnContinueOperator&) {
    return false;
  }
}

bool TParseVerifier::VerifyRecord(TRecordBuffer Buffer) {
  auto* host = dynamic_cast<IFilterRecordHost*>(FDataSet);
  if (host == nullptr) Error(SExprNoRecordHost);
  const TFilterRecordState saved = host->BeginFilterRecord(Buffer);
  Finally restore([host, &saved] { host->EndFilterRecord(saved); });
  return Verify();
}

TRetStruct TParseVerifier::EvalNode(uint16_t Offset) {
  if (++FDepth > kMaxEvalDepth) Error(Format(SExprTooDeep, kMaxExprNesting));
  Finally leave([this] { --FDepth; });
  const uint8_t* node = FNodes + Offset;
  switch (node[0]) {
    case nodeUNARY: return EvalUnary(node);
    case nodeBINARY: return EvalBinary(Offset);
    case nodeCOMPARE: return EvalCompare(node);
    case nodeFIELD: {
      if (node[1] != canFIELD2) Error(Format(SExprUnknownOperation, node[1]));
      TRetStruct r;
      r.StType = rstField;
      r.Field = FDataSet->Fields()->Fields(ReadCANWord(node + 2));
      return r;
    }
    case nodeCONST: {
      if (node[1] != canCONST2) Error(Format(SExprUnknownOperation, node[1]));
      TRetStruct r;
      r.v = ConstValue(node);
      return r;
    }
    case nodeLISTELEM: return EvalListElem(Offset);
    default: Error(Format(SExprUnknownNodeType, node[0]));
  }
}

Variant TParseVerifier::ValueOf(const TRetStruct& R) const {
  switch (R.StType) {
    case rstVariant: return R.v;
    case rstField: return R.Field->AsVariant();
    default: Error(SExprBadRetStruct);
  }
}

Variant TParseVerifier::ConstValue(const uint8_t* Node) const {
  const uint16_t type = ReadCANWord(Node + 2);
  const uint16_t size = ReadCANWord(Node + 4);
  const uint8_t* p = FLiterals + ReadCANWord(Node + 6);
  switch (type) {
    case ftString: {
      const auto* text = reinterpret_cast<const char*>(p);
      return Variant(std::string(text, strnlen(text, size)));
    }
    case ftSmallint:
    case ftInteger:
    case ftAutoInc:
      if (size == 1) return Variant(ReadCANValue<int8_t>(p));
      if (size == 2) return Variant(ReadCANValue<int16_t>(p));
      if (size == 4) return Variant(ReadCANValue<int32_t>(p));
      break;
    case ftWord:
      if (size == 1) return Variant(ReadCANValue<uint8_t>(p));
      if (size == 2) return Variant(ReadCANValue<uint16_t>(p));
      if (size == 4) return Variant(ReadCANValue<uint32_t>(p));
      break;
    case ftBoolean: return Variant(p[0] != 0);
    case ftFloat: return Variant(ReadCANValue<double>(p));
    case ftBCD: return Variant(Currency::FromRaw(ReadCANValue<int64_t>(p)));
    case ftDate:
    case ftTime:
    case ftDateTime: return Variant::FromDateTime(ReadCANValue<double>(p));
    default: break;
  }
  Error(SExprBadDataType);
}

bool TParseVerifier::IsFieldConstComparison(const uint8_t* Node) const {
  if (!IsComparison(Node[1])) return false;
  const uint8_t* left = FNodes + ReadCANWord(Node + 2);
  const uint8_t* right = FNodes + ReadCANWord(Node + 4);
  return left[0] == nodeFIELD && left[1] == canFIELD2 && right[0] == nodeCONST && right[1] == canCONST2;
}

int TParseVerifier::CompareWithConst(const Variant& Left, const uint8_t* Const, bool EqualityOnly) const {
  // The same answers as CompareValues(Left, ConstValue(Const)) without
  // making a value of the constant for the usual pairs of kinds.
  if (Left.IsClear()) return kNullMarker;
  const uint16_t type = ReadCANWord(Const + 2);
  const uint16_t size = ReadCANWord(Const + 4);
  const uint8_t* p = FLiterals + ReadCANWord(Const + 6);
  const TVarType kind = Left.VarType();
  const bool integerConst =
      (type == ftSmallint || type == ftInteger || type == ftAutoInc || type == ftWord) && (size == 2 || size == 4);
  if (IsIntegerKind(kind) && integerConst) {
    int64_t v;
    if (type == ftWord)
      v = size == 2 ? ReadCANValue<uint16_t>(p) : ReadCANValue<uint32_t>(p);
    else
      v = size == 2 ? ReadCANValue<int16_t>(p) : ReadCANValue<int32_t>(p);
    if (FitsIntegerKind(kind, v)) return Sign(Left.AsInt64(), v);
  } else if ((kind == varString || kind == varOleStr) && type == ftString) {
    const std::string text = Left.AsString();
    return CompareWithConst(std::string_view(text), Const, EqualityOnly);
  } else if ((kind == varDouble || kind == varSingle || kind == varCurrency) && type == ftFloat) {
    return Sign(Left.AsDouble(), ReadCANValue<double>(p));
  } else if (kind == varDate && (type == ftDate || type == ftTime || type == ftDateTime)) {
    return Sign(Left.AsDateTime(), ReadCANValue<double>(p));
  } else if (kind == varBoolean && type == ftBoolean) {
    return Sign(Left.AsBoolean(), p[0] != 0);
  }
  return CompareValues(Left, ConstValue(Const), EqualityOnly);
}

bool TParseVerifier::FieldConstVerdict(const uint8_t* Node) const {
  const uint8_t op = Node[1];
  const bool equalityOnly = op == canEQ || op == canNE || op == canLIKE;
  TField* field = FDataSet->Fields()->Fields(ReadCANWord(FNodes + ReadCANWord(Node + 2) + 2));
  const uint8_t* constant = FNodes + ReadCANWord(Node + 4);
  // The framework's own string and integer field classes read their slot
  // exactly as their GetValue does: straight into a local buffer, with
  // no scratch and no Variant around the value. Any other class (a
  // descendant may read differently) is read through AsVariant. A null
  // field makes every comparison false.
  //
  // The classes are told apart by the address of their type_info: unique
  // for these classes in a program linked as this one is; where it were
  // not, a field would merely take the AsVariant path.
  const std::type_info* cls = &typeid(*field);
  const auto size = static_cast<size_t>(std::max(field->DataSize(), 0)) + 8;
  char buffer[264];
  if (cls == &typeid(TStringField) && ReadCANWord(constant + 2) == ftString && size <= sizeof(buffer)) {
    std::memset(buffer, 0, size);
    if (!field->GetData(buffer)) return false;
    const std::string_view text(buffer, strnlen(buffer, static_cast<size_t>(std::max(field->Size(), 0))));
    return Decide(op, CompareWithConst(text, constant, equalityOnly));
  }
  if (cls == &typeid(TIntegerField) || cls == &typeid(TSmallintField) || cls == &typeid(TWordField) ||
      cls == &typeid(TAutoIncField)) {
    std::memset(buffer, 0, size);
    if (!field->GetData(buffer)) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer);
    int32_t value;
    switch (field->DataType()) {
      case ftSmallint: value = ReadCANValue<int16_t>(bytes); break;
      case ftWord: value = ReadCANValue<uint16_t>(bytes); break;
      default: value = ReadCANValue<int32_t>(bytes); break;
    }
    return Decide(op, CompareWithConst(value, constant, equalityOnly));
  }
  return Decide(op, CompareWithConst(field->AsVariant(), constant, equalityOnly));
}

int TParseVerifier::CompareWithConst(int32_t Left, const uint8_t* Const, bool EqualityOnly) const {
  // An integer field's value is a varInteger: every 16-bit or signed
  // 32-bit constant converts to it.
  const uint16_t type = ReadCANWord(Const + 2);
  const uint16_t size = ReadCANWord(Const + 4);
  const uint8_t* p = FLiterals + ReadCANWord(Const + 6);
  if (size == 2 && (type == ftSmallint || type == ftInteger || type == ftAutoInc))
    return Sign(Left, ReadCANValue<int16_t>(p));
  if (size == 2 && type == ftWord) return Sign(Left, ReadCANValue<uint16_t>(p));
  if (size == 4 && (type == ftSmallint || type == ftInteger || type == ftAutoInc))
    return Sign(Left, ReadCANValue<int32_t>(p));
  return CompareWithConst(Variant(Left), Const, EqualityOnly);
}

int TParseVerifier::CompareWithConst(std::string_view Left, const uint8_t* Const, bool EqualityOnly) const {
  const auto* text = reinterpret_cast<const char*>(FLiterals + ReadCANWord(Const + 6));
  const std::string_view right(text, strnlen(text, ReadCANWord(Const + 4)));
  return EqualityOnly ? (LocaleSameStr(Left, right) ? 0 : 1) : LocaleCompareStr(Left, right);
}

TRetStruct TParseVerifier::EvalBinary(uint16_t Offset) {
  TRetStruct result;
  bool truth;
  if (EvalChain(Offset, result, truth)) result.v = Variant(truth);
  return result;
}

bool TParseVerifier::EvalChain(uint16_t Offset, TRetStruct& Result, bool& Truth) {
  try {
    const uint8_t* top = FNodes + Offset;
    // "field <op> constant", the usual condition: no values of operands.
    if (IsFieldConstComparison(top)) {
      Truth = FieldConstVerdict(top);
      return true;
    }
    // Operators chain through their left operands ("a or b or c", "x + y
    // + z"): walk such a chain in a loop, innermost first, so that its
    // length costs no stack.
    TSpine spine;
    uint16_t bottom = Offset;
    bool isTruth = false;
    for (;;) {
      spine.Push(bottom);
      const uint16_t left = ReadCANWord(FNodes + bottom + 2);
      if (FNodes[left] != nodeBINARY || spine.Count() > FNodeAreaSize / kBinaryNodeSize) break;
      if (IsFieldConstComparison(FNodes + left)) {
        isTruth = true;
        break;
      }
      bottom = left;
    }
    // While the chain is conditions joined by AND and OR, its value is a
    // plain truth; it becomes a TRetStruct at the first node of another
    // kind.
    const uint16_t leftmost = ReadCANWord(FNodes + bottom + 2);
    if (isTruth)
      Truth = FieldConstVerdict(FNodes + leftmost);
    else
      Result = EvalNode(leftmost);
    for (size_t i = spine.Count(); i-- > 0;) {
      const uint8_t* node = FNodes + spine.At(i);
      const uint8_t op = node[1];
      if (isTruth && (op == canAND || op == canOR)) {
        if ((op == canAND) != Truth) continue;  // the left side decides
        const uint8_t* right = FNodes + ReadCANWord(node + 4);
        if (IsFieldConstComparison(right)) {
          Truth = FieldConstVerdict(right);
          continue;
        }
      }
      if (isTruth) {
        Result.StType = rstVariant;
        Result.v = Variant(Truth);
        isTruth = false;
      }
      ApplyBinary(node, Result);
    }
    return isTruth;
  } catch (Exception& e) {
    AppendDescription(e);
    throw;
  }
}

void TParseVerifier::ApplyBinary(const uint8_t* Node, TRetStruct& Acc) {
  const uint8_t opByte = Node[1];
  if (!AcceptsBinary(opByte)) Error(Format(SExprUnknownOperation, opByte));
  const auto op = static_cast<tCANOp>(opByte);
  if (op != canASSIGN && Acc.StType == rstField) {
    Acc.v = Acc.Field->AsVariant();
    Acc.StType = rstVariant;
  }
  if ((op == canAND || op == canOR) && Acc.StType == rstVariant && Acc.v.VarType() == varBoolean) {
    const bool value = Acc.v.AsBoolean();
    if ((op == canAND && !value) || (op == canOR && value)) return;
  }
  TRetStruct right = EvalNode(ReadCANWord(Node + 4));
  if (op != canASSIGN && right.StType == rstField) {
    right.v = right.Field->AsVariant();
    right.StType = rstVariant;
  }
  if (Acc.StType == rstList || right.StType == rstList) {
    if (op != canIN) Error(SExprBadRetStruct);
    const bool found = InList(Acc, right);
    Acc.List.reset();
    Acc.StType = rstVariant;
    Acc.v = Variant(found);
    return;
  }
  switch (op) {
    case canEQ:
    case canNE:
    case canGT:
    case canGE:
    case canLT:
    case canLE:
    case canLIKE: {
      const bool equalityOnly = op == canEQ || op == canNE || op == canLIKE;
      Acc.v = Variant(Decide(op, CompareValues(Acc.v, right.v, equalityOnly)));
      break;
    }
    case canAND:
    case canOR: Acc.v = Logical(op, Acc.v, right.v); break;
    case canADD: Acc.v += right.v; break;
    case canSUB: Acc.v -= right.v; break;
    case canMUL: Acc.v *= right.v; break;
    case canDIV: Acc.v /= right.v; break;
    case canIN: Acc.v = Variant(false); break;
    case canASSIGN: {
      const bool leftField = Acc.StType == rstField;
      if (leftField == (right.StType == rstField)) Error(SExprBadRetStruct);
      if (leftField)
        Acc.Field->AssignValue(right.v);
      else
        right.Field->AssignValue(Acc.v);
      Acc.StType = rstVariant;
      Acc.v = Variant(true);
      break;
    }
    default: Error(Format(SExprUnknownOperation, opByte));
  }
}

bool TParseVerifier::InList(const TRetStruct& Left, const TRetStruct& Right) const {
  if (Left.StType == rstList && Right.StType == rstList) Error(SExprBadRetStruct);
  const TRetStruct& list = Left.StType == rstList ? Left : Right;
  const Variant tested = ValueOf(Left.StType == rstList ? Right : Left);
  if (tested.IsClear()) return false;
  for (const TListStruct& entry : *list.List) {
    const Variant value = entry.IsVariant ? entry.v : entry.Field->AsVariant();
    if (CompareValues(tested, value, true) == 0) return true;
  }
  return false;
}

TRetStruct TParseVerifier::EvalListElem(uint16_t Offset) {
  TRetStruct result;
  result.StType = rstList;
  result.List = std::make_unique<TListStructList>();
  uint16_t at = Offset;
  for (int32_t guard = FNodeAreaSize / kListElemNodeSize + 1; guard > 0; --guard) {
    const uint8_t* node = FNodes + at;
    if (node[1] != canLISTELEM2) Error(Format(SExprUnknownOperation, node[1]));
    TRetStruct value = EvalNode(ReadCANWord(node + 2));
    TListStruct entry;
    switch (value.StType) {
      case rstField:
        entry.IsVariant = false;
        entry.Field = value.Field;
        break;
      case rstVariant: entry.v = std::move(value.v); break;
      default: Error(SExprBadRetStruct);
    }
    result.List->Add(std::move(entry));
    at = ReadCANWord(node + 4);
    if (at == 0) break;
  }
  return result;
}

TRetStruct TParseVerifier::EvalUnary(const uint8_t* Node) {
  const uint8_t op = Node[1];
  if (op != canISBLANK && op != canNOTBLANK && op != canNOT) Error(Format(SExprUnknownOperation, op));
  const TRetStruct operand = EvalNode(ReadCANWord(Node + 2));
  TRetStruct result;
  if (op == canNOT) {
    const Variant value = ValueOf(operand);
    result.v = value.IsClear() ? Variant::Null() : Variant(!value.AsBoolean());
    return result;
  }
  bool blank;
  switch (operand.StType) {
    case rstField: blank = operand.Field->IsNull(); break;
    case rstVariant: blank = operand.v.IsClear(); break;
    default: Error(SExprBadRetStruct);
  }
  result.v = Variant(op == canISBLANK ? blank : !blank);
  return result;
}

TRetStruct TParseVerifier::EvalCompare(const uint8_t* Node) {
  const uint8_t op = Node[1];
  if (op != canEQ && op != canNE && op != canLIKE) Error(Format(SExprUnknownOperation, op));
  const bool caseInsensitive = ReadCANWord(Node + 2) == 1;
  const uint16_t prefix = ReadCANWord(Node + 4);
  const TRetStruct field = EvalNode(ReadCANWord(Node + 6));
  const TRetStruct constant = EvalNode(ReadCANWord(Node + 8));
  bool isNull;
  std::string text;
  switch (field.StType) {
    case rstField:
      isNull = field.Field->IsNull();
      if (!isNull) text = field.Field->AsString();
      break;
    case rstVariant:
      isNull = field.v.IsClear();
      text = field.v.AsString();
      break;
    default: Error(SExprBadRetStruct);
  }
  std::string pattern = ValueOf(constant).AsString();
  if (prefix != 0) {
    pattern = std::string(TextFirstChars(pattern, prefix));
    text = std::string(TextHeadFor(text, pattern));
  }
  if (caseInsensitive) {
    text = LocaleLowerCase(text);
    pattern = LocaleLowerCase(pattern);
  }
  const bool equal = LocaleSameStr(text, pattern);
  TRetStruct result;
  result.v = Variant(op == canNE ? (!isNull && !equal) : equal);
  return result;
}

}  // namespace dac
