// TFilterExpr: encoding the tree into the filter buffer.
//
// The encoder walks the tree with a stack of pending operands instead of
// recursion: a text may chain thousands of operators, and only the buffer
// limit bounds the chain. Popping pending operands last-pushed-first and
// pushing a node's right operand before its left gives the order the format
// requires: a node before its operands, operands depth first, left to
// right, so the root sits at node offset 0.

#include <limits>
#include <optional>
#include <vector>

#include "errors/checks.h"
#include "errors/messages.h"
#include "filter/can_expr.h"
#include "filter/filter_expr.h"
#include "filter/node_class.h"
#include "filter/text_compare.h"
#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/rtl/format.h"

namespace dac {
namespace {

// Longest text constant, in bytes, not counting its terminating NUL.
constexpr size_t kMaxConstText = 255;

tCANOp ReversedOperator(tCANOp Op) {
  switch (Op) {
    case canGT: return canLT;
    case canLT: return canGT;
    case canGE: return canLE;
    case canLE: return canGE;
    default: return Op;
  }
}

bool RewritesBareBoolean(tCANOp ParentOp) {
  return ParentOp == canNOTDEFINED || ParentOp == canNOT || ParentOp == canAND || ParentOp == canOR;
}

// The value of a constant in its stored form, or nothing when it cannot be
// converted to Type.
std::optional<std::vector<uint8_t>> ConstantBytes(TFieldType Type, const Variant& Value) {
  if (Value.IsClear()) return std::nullopt;
  std::vector<uint8_t> bytes;
  auto put = [&bytes](auto v) {
    bytes.resize(sizeof(v));
    WriteCANValue(bytes.data(), v);
  };
  try {
    switch (Type) {
      case ftString:
      case ftMemo: {
        const std::string text = Value.AsString();
        const std::string_view cut = TextCutBytes(text, kMaxConstText);
        bytes.assign(cut.begin(), cut.end());
        bytes.push_back(0);
        break;
      }
      case ftSmallint: {
        const int64_t v = Value.AsInt64();
        if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()) return std::nullopt;
        put(static_cast<int16_t>(v));
        break;
      }
      case ftWord: {
        const int64_t v = Value.AsInt64();
        if (v < 0 || v > std::numeric_limits<uint16_t>::max()) return std::nullopt;
        put(static_cast<uint16_t>(v));
        break;
      }
      case ftInteger:
      case ftAutoInc: put(Value.AsInteger()); break;
      case ftBoolean: put(static_cast<int16_t>(Value.AsBoolean() ? 1 : 0)); break;
      case ftFloat: put(Value.AsDouble()); break;
      case ftBCD: put(Value.AsCurrency().Value); break;
      case ftDate:
      case ftTime:
      case ftDateTime: put(Value.AsDateTime()); break;
      default: return std::nullopt;
    }
  } catch (const Exception&) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

class TFilterExpr::TEncoder {
 public:
  // Room for a typical filter up front, so that short filters built once
  // per record of a master table are encoded without regrowing.
  explicit TEncoder(TFilterExpr& Expr) : FExpr(Expr) {
    FNodes.reserve(256);
    FLiterals.reserve(128);
  }

  void Run(PExprNode Root) {
    FPending.push_back({Root, nullptr, 0, canNOTDEFINED, kNoPatch});
    while (!FPending.empty()) {
      const TPending p = FPending.back();
      FPending.pop_back();
      const uint16_t offset = NodeOffset();
      if (p.Patch != kNoPatch) WriteCANWord(FNodes.data() + p.Patch, offset);
      if (p.Items != nullptr)
        EncodeListElement(*p.Items, p.Index, offset);
      else
        EncodeNode(p.Node, p.ParentOp);
    }
  }

  std::vector<uint8_t> FNodes;
  std::vector<uint8_t> FLiterals;

 private:
  static constexpr size_t kNoPatch = std::numeric_limits<size_t>::max();

  // An operand still to encode: a tree node, or the list element Index of
  // an IN list; Patch is where its node offset goes.
  struct TPending {
    PExprNode Node;
    const std::vector<PExprNode>* Items;
    size_t Index;
    tCANOp ParentOp;
    size_t Patch;
  };

  void Push(PExprNode Node, tCANOp ParentOp, size_t Patch) { FPending.push_back({Node, nullptr, 0, ParentOp, Patch}); }

  uint16_t NodeOffset() const { return static_cast<uint16_t>(FNodes.size()); }

  void CheckSize() const {
    if (kCANExprHeaderSize + FNodes.size() + FLiterals.size() >= static_cast<size_t>(kMaxFilterBufferSize))
      PvDatabaseError(FExpr.FDataSet, Format(SExprTooLarge, kMaxFilterBufferSize));
  }

  // Appends a node with zeroed operand words; returns its offset.
  size_t AppendNode(tNODEClass Class, tCANOp Op, size_t Words) {
    const size_t at = FNodes.size();
    FNodes.resize(at + 2 + 2 * Words, 0);
    FNodes[at] = Class;
    FNodes[at + 1] = Op;
    CheckSize();
    return at;
  }

  void SetOperand(size_t Node, size_t Index, uint16_t Value) {
    WriteCANWord(FNodes.data() + Node + 2 + 2 * Index, Value);
  }

  uint16_t AppendLiteral(const uint8_t* Data, size_t Size) {
    const size_t at = FLiterals.size();
    FLiterals.insert(FLiterals.end(), Data, Data + Size);
    CheckSize();
    return static_cast<uint16_t>(at);
  }

  [[noreturn]] void Fail(const std::string& Message) const { PvDatabaseError(FExpr.FDataSet, Message); }

  TField* CheckedField(PExprNode Node) {
    TField* field = FExpr.FieldByName(Node->FData.AsString());
    if (field->FieldKind() != fkData && field->FieldKind() != fkInternalCalc)
      Fail(Format(SExprBadField, field->FieldName()));
    return field;
  }

  void AppendFieldNode(TField* Field, PExprNode Node) {
    const std::string name =
        FExpr.FParserOptions.Contains(poFieldNameGiven) ? Field->FieldName() : Node->FData.AsString();
    const size_t at = AppendNode(nodeFIELD, canFIELD2, 2);
    SetOperand(at, 0, static_cast<uint16_t>(Field->Index()));
    SetOperand(at, 1, AppendLiteral(reinterpret_cast<const uint8_t*>(name.c_str()), name.size() + 1));
  }

  void AppendConstNode(TFieldType Type, const Variant& Value) {
    const std::optional<std::vector<uint8_t>> bytes = ConstantBytes(Type, Value);
    if (!bytes) Fail(Format(SExprBadConst, FieldTypeName(Type)));
    const size_t at = AppendNode(nodeCONST, canCONST2, 3);
    SetOperand(at, 0, static_cast<uint16_t>(Type == ftMemo ? ftString : Type));
    SetOperand(at, 1, static_cast<uint16_t>(bytes->size()));
    SetOperand(at, 2, AppendLiteral(bytes->data(), bytes->size()));
  }

  void EncodeField(PExprNode Node, tCANOp ParentOp) {
    TField* field = CheckedField(Node);
    if (field->DataType() == ftBoolean && RewritesBareBoolean(ParentOp)) {
      // A Boolean field standing as a condition means "field <> False".
      const size_t at = AppendNode(nodeBINARY, canNE, 2);
      SetOperand(at, 0, NodeOffset());
      AppendFieldNode(field, Node);
      SetOperand(at, 1, NodeOffset());
      AppendConstNode(ftBoolean, Variant(false));
      return;
    }
    AppendFieldNode(field, Node);
  }

  void EncodeListElement(const std::vector<PExprNode>& Items, size_t Index, uint16_t Offset) {
    AppendNode(nodeLISTELEM, canLISTELEM2, 2);
    if (Index + 1 < Items.size()) FPending.push_back({nullptr, &Items, Index + 1, canIN, size_t{Offset} + 4});
    Push(Items[Index], canIN, size_t{Offset} + 2);
  }

  // A comparison of a field with a constant that has its own encoding:
  // a NULL test or a nodeCOMPARE node. False when the plain form applies.
  bool EncodeFieldConstant(PExprNode Field, PExprNode Constant, tCANOp Op, tCANOp OwnOp) {
    if (Constant->FData.IsNull()) {
      if (Op == canLIKE) Fail(SExprBadNullTest);
      const size_t at = AppendNode(nodeUNARY, Op == canEQ ? canISBLANK : canNOTBLANK, 1);
      Push(Field, OwnOp, at + 2);
      return true;
    }
    if (Constant->FDataType != ftString) return false;
    const std::string full = Constant->FData.AsString();
    std::string text(TextCutBytes(full, kMaxConstText));
    if (text.empty()) return false;
    size_t prefix = 0;
    if (!FExpr.FOptions.Contains(foNoPartialCompare) && TextCharCount(text) > 1 &&
        (text.back() == '*' || text.back() == '%')) {
      text.pop_back();
      prefix = TextCharCount(text);
    }
    const bool caseInsensitive = FExpr.FOptions.Contains(foCaseInsensitive);
    if (!caseInsensitive && prefix == 0) return false;
    const size_t at = AppendNode(nodeCOMPARE, Op, 4);
    SetOperand(at, 0, caseInsensitive ? 1 : 0);
    SetOperand(at, 1, static_cast<uint16_t>(prefix));
    SetOperand(at, 2, NodeOffset());
    EncodeField(Field, OwnOp);
    SetOperand(at, 3, NodeOffset());
    AppendConstNode(ftString, Variant(text));
    return true;
  }

  void EncodeOperator(PExprNode Node) {
    const tCANOp op = Node->FOperator;
    switch (op) {
      case canISBLANK:
      case canNOTBLANK:
      case canNOT: {
        const size_t at = AppendNode(nodeUNARY, op, 1);
        Push(Node->FLeft, op, at + 2);
        return;
      }
      case canIN: {
        const size_t at = AppendNode(nodeBINARY, canIN, 2);
        if (!Node->FArgs.empty()) FPending.push_back({nullptr, &Node->FArgs, 0, canIN, at + 4});
        Push(Node->FLeft, canIN, at + 2);
        return;
      }
      default: break;
    }
    PExprNode left = Node->FLeft;
    PExprNode right = Node->FRight;
    tCANOp encoded = op;
    if (IsRelationalOp(op) && right != nullptr && right->FKind == enField && left->FKind != enField) {
      std::swap(left, right);
      encoded = ReversedOperator(op);
    }
    if ((encoded == canEQ || encoded == canNE || encoded == canLIKE) && left->FKind == enField && right != nullptr &&
        right->FKind == enConst && EncodeFieldConstant(left, right, encoded, op))
      return;
    const size_t at = AppendNode(nodeBINARY, encoded, 2);
    if (right != nullptr) Push(right, op, at + 4);
    Push(left, op, at + 2);
  }

  void EncodeNode(PExprNode Node, tCANOp ParentOp) {
    switch (Node->FKind) {
      case enField: EncodeField(Node, ParentOp); break;
      case enConst: AppendConstNode(Node->FDataType, Node->FData); break;
      case enFunc: Fail(SExprNoFunctions);
      case enOperator: EncodeOperator(Node); break;
    }
  }

  TFilterExpr& FExpr;
  std::vector<TPending> FPending;
};

const uint8_t* TFilterExpr::GetFilterData(PExprNode Root) {
  FExprBuffer.clear();
  FExprBufSize = FExprNodeSize = FExprDataSize = 0;
  TEncoder encoder(*this);
  encoder.Run(Root);
  FExprNodeSize = static_cast<int32_t>(encoder.FNodes.size());
  FExprDataSize = static_cast<int32_t>(encoder.FLiterals.size());
  FExprBufSize = kCANExprHeaderSize + FExprNodeSize + FExprDataSize;
  FExprBuffer.resize(static_cast<size_t>(FExprBufSize));
  tCANExpr header;
  header.iVer = kCANExprVersion;
  header.iTotalSize = static_cast<uint16_t>(FExprBufSize);
  header.iNodes = kCANExprNodes;
  header.iNodeStart = kCANExprHeaderSize;
  header.iLiteralStart = static_cast<uint16_t>(kCANExprHeaderSize + FExprNodeSize);
  WriteCANExpr(FExprBuffer.data(), header);
  std::copy(encoder.FNodes.begin(), encoder.FNodes.end(), FExprBuffer.begin() + kCANExprHeaderSize);
  std::copy(encoder.FLiterals.begin(), encoder.FLiterals.end(), FExprBuffer.begin() + header.iLiteralStart);
  return FExprBuffer.data();
}

}  // namespace dac
