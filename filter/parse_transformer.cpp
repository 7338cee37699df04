#include "filter/parse_transformer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "errors/checks.h"
#include "errors/messages.h"
#include "filter/can_expr.h"
#include "filter/filter_column_source.h"
#include "filter/node_class.h"
#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/db/fields.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

namespace {

constexpr uint8_t kJoinNone = 0;
constexpr uint8_t kJoinAnd = 1;
constexpr uint8_t kJoinOr = 2;
constexpr uint8_t kCaseInsensitiveCode = 0x80;

using TTerms = std::vector<TParseTransformer::TTerm>;

// Whether appending Terms after a joint Joint keeps their meaning when the
// engine evaluates the whole list left to right: a single term does, and so
// does a chain that uses Joint throughout (AND and OR are associative).
bool AppendsAfter(const TTerms& Terms, uint8_t Joint) {
  for (size_t i = 0; i + 1 < Terms.size(); ++i)
    if (Terms[i].Term.ExprWithNextTerm != Joint) return false;
  return true;
}

// A then B, A's last term joined to B by Joint.
TTerms Concat(const TTerms& A, uint8_t Joint, const TTerms& B) {
  TTerms out = A;
  if (!out.empty()) out.back().Term.ExprWithNextTerm = Joint;
  out.insert(out.end(), B.begin(), B.end());
  return out;
}

bool IsTextType(TFieldType Type) {
  return Type == ftString || Type == ftMemo || Type == ftFmtMemo || Type == ftFixedChar || Type == ftWideString;
}

}  // namespace

TParseTransformer::TParseTransformer(TDataSet* DataSet, IFilterColumnSource* Columns, const uint8_t* ParseData)
    : FDataSet(DataSet), FColumns(Columns), FParseData(ParseData) {
  if (FParseData == nullptr) return;
  const tCANExpr header = ReadCANExpr(FParseData);
  FNodes = FParseData + header.iNodeStart;
  FLiterals = FParseData + header.iLiteralStart;
  TResult root = TransformNode(0);
  FDRMFilters.reserve(root.DrmFilters.size());
  FConstBlocks.reserve(root.DrmFilters.size());
  FTermUses.reserve(root.DrmFilters.size());
  for (TTerm& t : root.DrmFilters) {
    AddTerm(t.Term, std::move(t.Const));
    FTermUses.push_back(t.Use);
  }
  FDRMFilterCount = static_cast<int32_t>(FDRMFilters.size());
  if (root.pLocal) FLocalFilterParseData = std::make_unique<TBuffer>(std::move(*root.pLocal));
  FNodes = FLiterals = nullptr;
  FParseData = nullptr;
}

TParseTransformer::~TParseTransformer() = default;

void TParseTransformer::AddTerm(DRM_FilterStruct Term, std::vector<uint8_t> Const) {
  if (!Const.empty()) {
    FConstBlocks.push_back(std::move(Const));
    Term.pConst = FConstBlocks.back().data();
  } else {
    Term.pConst = nullptr;
  }
  FDRMFilters.push_back(Term);
}

std::optional<TParseTransformer::TPlan> TParseTransformer::Plan() const {
  if (FLocalFilterParseData) return std::nullopt;
  return TPlan{FDRMFilters, FTermUses, FUses, FNodeDepth};
}

std::unique_ptr<TParseTransformer> TParseTransformer::FromPlan(TDataSet* DataSet, IFilterColumnSource* Columns,
                                                               const uint8_t* ParseData, const TPlan& Plan) {
  if (ParseData == nullptr || Plan.Terms.size() != Plan.TermUses.size()) return nullptr;
  for (const int32_t use : Plan.TermUses)
    if (use < -1 || use >= static_cast<int32_t>(Plan.Uses.size())) return nullptr;
  auto t = std::make_unique<TParseTransformer>(DataSet, Columns, nullptr);
  const tCANExpr header = ReadCANExpr(ParseData);
  t->FParseData = ParseData;
  t->FNodes = ParseData + header.iNodeStart;
  t->FLiterals = ParseData + header.iLiteralStart;
  // Everything that could make the plan not fit is checked before the
  // first conversion, so that only the conversions themselves can fail.
  for (const TConstUse& use : Plan.Uses) {
    if (use.ConstNode >= header.iLiteralStart - header.iNodeStart || t->FNodes[use.ConstNode] != nodeCONST ||
        use.FieldIndex >= DataSet->Fields()->Count() || t->ColumnOf(t->FieldAt(use.FieldIndex)) == nullptr)
      return nullptr;
  }
  std::vector<TTerm> converted;
  converted.reserve(Plan.Uses.size());
  t->FUses.reserve(Plan.Uses.size());
  for (const TConstUse& use : Plan.Uses) {
    const TResult value = t->Operand(use.ConstNode);
    TField* field = t->FieldAt(use.FieldIndex);
    converted.push_back(t->ConstTerm(field, *t->ColumnOf(field), value.v, use.Partial, use));
  }
  t->FDRMFilters.reserve(Plan.Terms.size());
  t->FConstBlocks.reserve(Plan.Terms.size());
  for (size_t i = 0; i < Plan.Terms.size(); ++i) {
    const int32_t use = Plan.TermUses[i];
    DRM_FilterStruct term = Plan.Terms[i];
    if (use < 0) {
      t->AddTerm(term, {});
      continue;
    }
    TTerm& c = converted[static_cast<size_t>(use)];
    term.ConstLen = c.Term.ConstLen;
    // A use can stand in several terms (a distributed AND); the last one
    // takes its block.
    const bool lastTerm = std::find(Plan.TermUses.begin() + static_cast<std::ptrdiff_t>(i) + 1, Plan.TermUses.end(),
                                    use) == Plan.TermUses.end();
    t->AddTerm(term, lastTerm ? std::move(c.Const) : c.Const);
  }
  t->FTermUses = Plan.TermUses;
  t->FDRMFilterCount = static_cast<int32_t>(t->FDRMFilters.size());
  t->FNodeDepth = Plan.Depth;
  t->FNodes = t->FLiterals = nullptr;
  t->FParseData = nullptr;
  return t;
}

void TParseTransformer::Error(const std::string& Message) const { PvDatabaseError(FDataSet, Message); }

TField* TParseTransformer::FieldAt(uint16_t FieldIndex) const { return FDataSet->Fields()->Fields(FieldIndex); }

const TFilterColumn* TParseTransformer::ColumnOf(TField* Field) const {
  if (Field == nullptr || Field->FieldNo() < 1) return nullptr;
  return FColumns->FilterColumn(Field->FieldNo());
}

uint8_t TParseTransformer::CompareCode(tCANOp Op, TField* Field, bool CaseInsensitive) const {
  uint8_t code = 1;
  switch (Op) {
    case canNE: code = 4; break;
    case canGT: code = 2; break;
    case canLT: code = 3; break;
    case canGE: code = 5; break;
    case canLE: code = 6; break;
    default: code = 1; break;  // canEQ, canLIKE
  }
  // Only where the client folds case too: a compare node the encoder marked
  // case-insensitive (an equality of a text field with a text constant under
  // foCaseInsensitive). Ordering, IN lists and field-vs-field compares stay
  // case-sensitive on the client, so they do so in the engine as well.
  if (CaseInsensitive && FDataSet->FilterOptions().Contains(foCaseInsensitive) && IsTextType(Field->DataType()))
    code = static_cast<uint8_t>(code | kCaseInsensitiveCode);
  return code;
}

TParseTransformer::TTerm TParseTransformer::ConstTerm(TField* Field, const TFilterColumn& Column,
                                                      const Variant& Value, bool Partial, const TConstUse& Use) {
  std::vector<uint8_t> converted = FColumns->FilterConstant(Field, Column, Value);
  if (converted.size() < Column.BufferMax) converted.resize(Column.BufferMax, 0);
  uint32_t length = std::min(Column.cbMax, Column.BufferMax);
  length = std::min<uint32_t>(length, static_cast<uint32_t>(converted.size()));
  if (Partial) {
    const auto* zero = std::find(converted.data(), converted.data() + length, uint8_t{0});
    length = static_cast<uint32_t>(zero - converted.data());
  }
  TTerm t;
  t.Term.IsColumn = Partial ? fisPartialConst : fisConst;
  t.Term.ColumnId = Column.ColumnId;
  t.Term.ExprWithNextTerm = kJoinNone;
  t.Term.ConstLen = static_cast<uint16_t>(length);
  // The converted buffer becomes the term's block: its first `length` bytes,
  // zeros after them. A filter per master record makes this a hot path.
  converted.resize(std::max<size_t>({Column.cbMax, Column.BufferMax, 1}), 0);
  std::fill(converted.begin() + length, converted.end(), uint8_t{0});
  t.Const = std::move(converted);
  t.Use = static_cast<int32_t>(FUses.size());
  FUses.push_back(Use);
  return t;
}

TParseTransformer::TResult TParseTransformer::TransformNode(uint16_t Offset) {
  ++FNodeLevel;
  Finally leave([this] { --FNodeLevel; });
  const uint8_t op = FNodes[Offset + 1];
  if (op > canASSIGN) Error(Format(SExprUnknownOperation, op));
  switch (op) {
    case canEQ:
    case canNE:
    case canGT:
    case canLT:
    case canGE:
    case canLE:
    case canLIKE: return Comparison(Offset);
    case canISBLANK:
    case canNOTBLANK: return NullTest(Offset);
    case canIN: return InList(Offset);
    case canAND:
    case canOR: return Combination(Offset);
    default: return Local(Offset);
  }
}

TParseTransformer::TResult TParseTransformer::Local(uint16_t Offset) {
  TResult r;
  r.pLocal = CopySubtree(Offset);
  return r;
}

TParseTransformer::TResult TParseTransformer::Operand(uint16_t Offset) {
  FNodeDepth = std::max(FNodeDepth, FNodeLevel);
  const uint8_t* node = FNodes + Offset;
  TResult r;
  switch (node[0]) {
    case nodeFIELD:
      r.StType = rstField;
      r.FieldIndex = ReadCANWord(node + 2);
      return r;
    case nodeCONST: {
      r.StType = rstVariant;
      const uint16_t type = ReadCANWord(node + 2);
      const uint16_t size = ReadCANWord(node + 4);
      const uint8_t* p = FLiterals + ReadCANWord(node + 6);
      switch (type) {
        case ftString: {
          const auto* text = reinterpret_cast<const char*>(p);
          r.v = Variant(std::string(text, strnlen(text, size)));
          return r;
        }
        case ftSmallint:
        case ftInteger:
        case ftAutoInc:
          if (size == 1) r.v = Variant(ReadCANValue<int8_t>(p));
          else if (size == 2) r.v = Variant(ReadCANValue<int16_t>(p));
          else if (size == 4) r.v = Variant(ReadCANValue<int32_t>(p));
          else break;
          return r;
        case ftWord:
          if (size == 1) r.v = Variant(ReadCANValue<uint8_t>(p));
          else if (size == 2) r.v = Variant(ReadCANValue<uint16_t>(p));
          else if (size == 4) r.v = Variant(ReadCANValue<uint32_t>(p));
          else break;
          return r;
        case ftBoolean:
          r.StType = rstBit;
          r.v = Variant(p[0] != 0);
          return r;
        case ftFloat: r.v = Variant(ReadCANValue<double>(p)); return r;
        case ftBCD: r.v = Variant(Currency::FromRaw(ReadCANValue<int64_t>(p))); return r;
        case ftDate:
        case ftTime:
        case ftDateTime: r.v = Variant::FromDateTime(ReadCANValue<double>(p)); return r;
        default: break;
      }
      Error(SExprBadDataType);
    }
    default:
      if (node[0] > nodeLISTELEM) Error(Format(SExprUnknownNodeType, node[0]));
      r.StType = rstLocal;
      return r;
  }
}

TParseTransformer::TResult TParseTransformer::Comparison(uint16_t Offset) {
  const uint8_t* node = FNodes + Offset;
  TResult left;
  TResult right;
  if (node[0] == nodeBINARY) {
    left = Operand(ReadCANWord(node + 2));
    right = Operand(ReadCANWord(node + 4));
  } else if (node[0] == nodeCOMPARE) {
    left = Operand(ReadCANWord(node + 6));
    right = Operand(ReadCANWord(node + 8));
    if (ReadCANWord(node + 4) != 0) right.StType = rstWildCard;
  } else {
    Error(Format(SExprUnknownNodeType, node[0]));
  }
  const auto op = static_cast<tCANOp>(node[1]);
  TResult r;
  if (left.StType == rstField) {
    TField* field = FieldAt(static_cast<uint16_t>(left.FieldIndex));
    const TFilterColumn* column = ColumnOf(field);
    if (column != nullptr) {
      const bool caseInsensitive = node[0] == nodeCOMPARE && ReadCANWord(node + 2) == 1;
      const uint8_t code = CompareCode(op, field, caseInsensitive);
      if (right.StType == rstField) {
        const TFilterColumn* other = ColumnOf(FieldAt(static_cast<uint16_t>(right.FieldIndex)));
        if (other != nullptr) {
          TTerm t;
          t.Term.IsColumn = fisColumn;
          t.Term.ColumnId = column->ColumnId;
          t.Term.CompareCode = code;
          t.Term.CompColumnId = other->ColumnId;
          r.DrmFilters.push_back(t);
          return r;
        }
      } else if (right.StType == rstVariant || right.StType == rstWildCard || right.StType == rstBit) {
        // A Boolean constant is a value like any other here ("fHasParentCmp
        // = 0" on a flag column): the engine compares truth values, so the
        // term selects what the client would. Only IN lists keep them local.
        const bool partial = right.StType == rstWildCard;
        const uint16_t constNode = ReadCANWord(node + (node[0] == nodeBINARY ? 4 : 8));
        TTerm t = ConstTerm(field, *column, right.v, partial,
                            TConstUse{constNode, static_cast<uint16_t>(left.FieldIndex), partial});
        t.Term.CompareCode = code;
        r.DrmFilters.push_back(std::move(t));
        return r;
      }
    }
  }
  return Local(Offset);
}

TParseTransformer::TResult TParseTransformer::NullTest(uint16_t Offset) {
  const uint8_t* node = FNodes + Offset;
  if (node[0] == nodeUNARY) {
    const uint8_t* operand = FNodes + ReadCANWord(node + 2);
    if (operand[0] == nodeFIELD) {
      const TFilterColumn* column = ColumnOf(FieldAt(ReadCANWord(operand + 2)));
      if (column != nullptr) {
        TResult r;
        TTerm t;
        t.Term.IsColumn = fisNull;
        t.Term.ColumnId = column->ColumnId;
        t.Term.CompareCode = node[1] == canISBLANK ? 1 : 4;
        r.DrmFilters.push_back(t);
        return r;
      }
    }
  }
  return Local(Offset);
}

TParseTransformer::TResult TParseTransformer::InList(uint16_t Offset) {
  const uint8_t* node = FNodes + Offset;
  const uint8_t* tested = FNodes + ReadCANWord(node + 2);
  if (node[0] != nodeBINARY || tested[0] != nodeFIELD) Error(Format(SExprUnknownOperation, node[1]));
  TField* field = FieldAt(ReadCANWord(tested + 2));
  const TFilterColumn* column = ColumnOf(field);
  TResult r;
  bool pushed = column != nullptr;
  for (uint16_t element = ReadCANWord(node + 4);;) {
    const uint8_t* item = FNodes + element;
    if (item[0] != nodeLISTELEM) Error(Format(SExprUnknownOperation, item[1]));
    const uint16_t valueOffset = ReadCANWord(item + 2);
    if (FNodes[valueOffset] != nodeCONST) Error(Format(SExprUnknownOperation, FNodes[valueOffset + 1]));
    if (pushed) {
      const TResult value = Operand(valueOffset);
      if (value.StType != rstVariant) {
        pushed = false;
      } else {
        TTerm t = ConstTerm(field, *column, value.v, false,
                            TConstUse{valueOffset, ReadCANWord(tested + 2), false});
        t.Term.CompareCode = CompareCode(canEQ, field, false);
        t.Term.ExprWithNextTerm = kJoinOr;
        r.DrmFilters.push_back(std::move(t));
      }
    }
    element = ReadCANWord(item + 4);
    if (element == 0) break;
  }
  if (!pushed || r.DrmFilters.empty()) {
    r.DrmFilters.clear();
    r.pLocal = CopySubtree(Offset);
  } else {
    r.DrmFilters.back().Term.ExprWithNextTerm = kJoinNone;
  }
  r.StType = r.FactStType = rstOR;
  return r;
}

TParseTransformer::TResult TParseTransformer::Combination(uint16_t Offset) {
  const uint8_t* node = FNodes + Offset;
  const bool isAnd = node[1] == canAND;
  const uint16_t leftOffset = ReadCANWord(node + 2);
  const uint16_t rightOffset = ReadCANWord(node + 4);
  TResult L = TransformNode(leftOffset);
  TResult R = TransformNode(rightOffset);
  TResult r;
  r.StType = r.FactStType = isAnd ? rstAND : rstOR;
  const bool lLocal = L.pLocal.has_value();
  const bool rLocal = R.pLocal.has_value();
  const bool lTerms = !L.DrmFilters.empty();
  const bool rTerms = !R.DrmFilters.empty();
  // What one child leaves in the engine, the other (wholly) on the client.
  auto withOtherLocal = [&](TResult& Kept, uint16_t MovedOffset) {
    r.DrmFilters = std::move(Kept.DrmFilters);
    r.pLocal = AndLocal(std::move(Kept.pLocal), CopySubtree(MovedOffset));
  };

  if (lLocal && rLocal && ((!lTerms && !rTerms) || !isAnd)) return Local(Offset);
  if (isAnd && lLocal && rLocal && lTerms != rTerms) {
    TResult& kept = lTerms ? L : R;
    r.FactStType = kept.FactStType;
    r.DrmFilters = std::move(kept.DrmFilters);
    r.pLocal = AndLocal(std::move(L.pLocal), std::move(R.pLocal));
    return r;
  }
  if (lLocal != rLocal) {
    TResult& local = lLocal ? L : R;
    TResult& other = lLocal ? R : L;
    if (local.DrmFilters.empty() || !isAnd) {
      if (!isAnd) return Local(Offset);
      r.FactStType = other.FactStType;
      r.DrmFilters = std::move(other.DrmFilters);
      r.pLocal = std::move(local.pLocal);
      return r;
    }
  }
  if (!isAnd) {
    // Both children went to the engine entirely.
    if (L.StType == rstAND && R.StType == rstAND) return Local(Offset);
    const bool rightFirst = R.StType == rstAND;
    const TResult& first = rightFirst ? R : L;
    const TResult& second = rightFirst ? L : R;
    if (AppendsAfter(second.DrmFilters, kJoinOr)) r.DrmFilters = Concat(first.DrmFilters, kJoinOr, second.DrmFilters);
    else if (AppendsAfter(first.DrmFilters, kJoinOr)) r.DrmFilters = Concat(second.DrmFilters, kJoinOr, first.DrmFilters);
    else return Local(Offset);
    return r;
  }
  const bool lOr = L.FactStType == rstOR;
  const bool rOr = R.FactStType == rstOR;
  if (lOr && rOr) {
    // Two OR lists cannot follow one another; the shorter one is tested on
    // the client.
    r.FactStType = rstOR;
    if (L.DrmFilters.size() < R.DrmFilters.size()) withOtherLocal(R, leftOffset);
    else withOtherLocal(L, rightOffset);
    return r;
  }
  if (lOr != rOr) {
    // X AND (a OR b) becomes X AND a OR b AND X: the trailing X undoes the
    // OR's escape from the leading one. The trailing copy is appended after
    // AND, so X must be a plain AND chain.
    TResult& y = lOr ? L : R;
    TResult& x = lOr ? R : L;
    if (!AppendsAfter(x.DrmFilters, kJoinAnd)) {
      withOtherLocal(x, lOr ? leftOffset : rightOffset);
      return r;
    }
    TTerms terms = Concat(x.DrmFilters, kJoinAnd, y.DrmFilters);
    r.DrmFilters = Concat(terms, kJoinAnd, x.DrmFilters);
    r.pLocal = AndLocal(std::move(L.pLocal), std::move(R.pLocal));
    return r;
  }
  if (AppendsAfter(R.DrmFilters, kJoinAnd)) r.DrmFilters = Concat(L.DrmFilters, kJoinAnd, R.DrmFilters);
  else if (AppendsAfter(L.DrmFilters, kJoinAnd)) r.DrmFilters = Concat(R.DrmFilters, kJoinAnd, L.DrmFilters);
  else {
    withOtherLocal(L, rightOffset);
    return r;
  }
  r.pLocal = AndLocal(std::move(L.pLocal), std::move(R.pLocal));
  return r;
}

// ---- remainder buffers ---------------------------------------------------------------------

uint16_t TParseTransformer::CopyNode(const TSource& Source, uint16_t Offset, TBuffer& Nodes,
                                     TBuffer& Literals) const {
  const uint8_t* node = Source.Nodes + Offset;
  const uint16_t size = NodeSize(node[0]);
  if (size == 0) Error(Format(SExprUnknownNodeType, node[0]));
  const size_t at = Nodes.size();
  Nodes.insert(Nodes.end(), node, node + size);
  auto word = [&](int Index) { return ReadCANWord(node + 2 + 2 * Index); };
  auto setWord = [&](int Index, size_t Value) {
    WriteCANWord(Nodes.data() + at + 2 + 2 * Index, static_cast<uint16_t>(Value));
  };
  auto literal = [&](const uint8_t* Data, size_t Size) {
    const size_t literalAt = Literals.size();
    Literals.insert(Literals.end(), Data, Data + Size);
    return literalAt;
  };
  auto child = [&](int Index) { setWord(Index, CopyNode(Source, word(Index), Nodes, Literals)); };
  switch (node[0]) {
    case nodeUNARY: child(0); break;
    case nodeBINARY:
      child(0);
      child(1);
      break;
    case nodeCOMPARE:
      child(2);
      child(3);
      break;
    case nodeLISTELEM:
      child(0);
      if (word(1) != 0) child(1);
      break;
    case nodeFIELD: {
      const TFilterColumn* column = ColumnOf(FieldAt(word(0)));
      std::string name = column != nullptr ? column->ColumnName
                                           : std::string(reinterpret_cast<const char*>(Source.Literals + word(1)));
      setWord(1, literal(reinterpret_cast<const uint8_t*>(name.c_str()), name.size() + 1));
      break;
    }
    case nodeCONST: setWord(2, literal(Source.Literals + word(2), word(1))); break;
    default: break;
  }
  if (Nodes.size() >= static_cast<size_t>(kMaxFilterBufferSize) ||
      Literals.size() >= static_cast<size_t>(kMaxFilterBufferSize))
    Error(Format(SExprTooLarge, kMaxFilterBufferSize));
  return static_cast<uint16_t>(at);
}

TParseTransformer::TBuffer TParseTransformer::Assemble(const TBuffer& Nodes, const TBuffer& Literals) const {
  const size_t total = kCANExprHeaderSize + Nodes.size() + Literals.size();
  if (total >= static_cast<size_t>(kMaxFilterBufferSize)) Error(Format(SExprTooLarge, kMaxFilterBufferSize));
  TBuffer out(total);
  tCANExpr header;
  header.iVer = kCANExprVersion;
  header.iTotalSize = static_cast<uint16_t>(total);
  header.iNodes = kCANExprNodes;
  header.iNodeStart = kCANExprHeaderSize;
  header.iLiteralStart = static_cast<uint16_t>(kCANExprHeaderSize + Nodes.size());
  WriteCANExpr(out.data(), header);
  std::copy(Nodes.begin(), Nodes.end(), out.begin() + header.iNodeStart);
  std::copy(Literals.begin(), Literals.end(), out.begin() + header.iLiteralStart);
  return out;
}

TParseTransformer::TBuffer TParseTransformer::CopySubtree(uint16_t Offset) const {
  TBuffer nodes;
  TBuffer literals;
  CopyNode(TSource{FNodes, FLiterals}, Offset, nodes, literals);
  return Assemble(nodes, literals);
}

std::optional<TParseTransformer::TBuffer> TParseTransformer::AndLocal(std::optional<TBuffer> A,
                                                                        std::optional<TBuffer> B) const {
  if (!A) return B;
  if (!B) return A;
  TBuffer nodes{nodeBINARY, canAND, 0, 0, 0, 0};
  TBuffer literals;
  auto copyRoot = [&](const TBuffer& Buffer) {
    const tCANExpr h = ReadCANExpr(Buffer.data());
    return CopyNode(TSource{Buffer.data() + h.iNodeStart, Buffer.data() + h.iLiteralStart}, 0, nodes, literals);
  };
  const uint16_t a = copyRoot(*A);
  const uint16_t b = copyRoot(*B);
  WriteCANWord(nodes.data() + 2, a);
  WriteCANWord(nodes.data() + 4, b);
  return Assemble(nodes, literals);
}

}  // namespace dac
