#include "filter/filter_text.h"

#include <cstring>

#include "filter/can_expr.h"
#include "filter/can_op.h"
#include "filter/node_class.h"
#include "platform/db/db_types.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/sysutils.h"

namespace dac {

namespace {

class TFilterWriter {
 public:
  explicit TFilterWriter(const uint8_t* ParseData) {
    const tCANExpr header = ReadCANExpr(ParseData);
    FNodes = ParseData + header.iNodeStart;
    FLiterals = ParseData + header.iLiteralStart;
  }

  std::string Node(uint16_t Offset, int Depth = 0) const {
    if (Depth > kMaxExprNesting) return "...";
    const uint8_t* node = FNodes + Offset;
    switch (node[0]) {
      case nodeUNARY: return Unary(node, Depth);
      case nodeBINARY: return Binary(node, Depth);
      case nodeCOMPARE: return Compare(node, Depth);
      case nodeFIELD: return Literal(ReadCANWord(node + 4));
      case nodeCONST: return Constant(node);
      case nodeLISTELEM: return ListElements(Offset, Depth);
      default: return "?";
    }
  }

 private:
  std::string Literal(uint16_t Offset) const {
    const auto* text = reinterpret_cast<const char*>(FLiterals + Offset);
    return std::string(text, strnlen(text, 256));
  }

  static std::string Quoted(const std::string& Text) {
    std::string out = "'";
    for (char ch : Text) {
      out += ch;
      if (ch == '\'') out += '\'';
    }
    return out + "'";
  }

  std::string Constant(const uint8_t* Node) const {
    const uint16_t type = ReadCANWord(Node + 2);
    const uint16_t size = ReadCANWord(Node + 4);
    const uint8_t* p = FLiterals + ReadCANWord(Node + 6);
    switch (type) {
      case ftString: {
        const auto* text = reinterpret_cast<const char*>(p);
        return Quoted(std::string(text, strnlen(text, size)));
      }
      case ftSmallint:
      case ftInteger:
      case ftAutoInc:
        if (size == 1) return std::to_string(ReadCANValue<int8_t>(p));
        if (size == 2) return std::to_string(ReadCANValue<int16_t>(p));
        if (size == 4) return std::to_string(ReadCANValue<int32_t>(p));
        break;
      case ftWord:
        if (size == 1) return std::to_string(ReadCANValue<uint8_t>(p));
        if (size == 2) return std::to_string(ReadCANValue<uint16_t>(p));
        if (size == 4) return std::to_string(ReadCANValue<uint32_t>(p));
        break;
      case ftBoolean: return p[0] != 0 ? "True" : "False";
      case ftFloat: return FloatToStr(ReadCANValue<double>(p));
      case ftBCD: return CurrToStr(Currency::FromRaw(ReadCANValue<int64_t>(p)));
      case ftDate:
      case ftTime:
      case ftDateTime: return Quoted(DateTimeToStr(ReadCANValue<double>(p)));
      default: break;
    }
    return "?";
  }

  std::string Unary(const uint8_t* Node, int Depth) const {
    const std::string operand = Node_(ReadCANWord(Node + 2), Depth);
    switch (Node[1]) {
      case canISBLANK: return operand + " is null";
      case canNOTBLANK: return operand + " is not null";
      case canNOT: return "not (" + operand + ")";
      case canMINUS: return "-" + operand;
      case canUPPER: return "upper(" + operand + ")";
      case canLOWER: return "lower(" + operand + ")";
      default: return "?(" + operand + ")";
    }
  }

  static const char* Symbol(uint8_t Op) {
    switch (Op) {
      case canEQ: return " = ";
      case canNE: return " <> ";
      case canGT: return " > ";
      case canLT: return " < ";
      case canGE: return " >= ";
      case canLE: return " <= ";
      case canAND: return " and ";
      case canOR: return " or ";
      case canADD: return " + ";
      case canSUB: return " - ";
      case canMUL: return " * ";
      case canDIV: return " / ";
      case canLIKE: return " like ";
      default: return " ? ";
    }
  }

  std::string Binary(const uint8_t* Node, int Depth) const {
    const std::string left = Node_(ReadCANWord(Node + 2), Depth);
    if (Node[1] == canIN) return left + " in (" + Node_(ReadCANWord(Node + 4), Depth) + ")";
    const std::string right = Node_(ReadCANWord(Node + 4), Depth);
    const bool joint = Node[1] == canAND || Node[1] == canOR;
    const std::string text = left + Symbol(Node[1]) + right;
    return joint ? "(" + text + ")" : text;
  }

  std::string Compare(const uint8_t* Node, int Depth) const {
    const bool caseInsensitive = ReadCANWord(Node + 2) == 1;
    const uint16_t prefix = ReadCANWord(Node + 4);
    const uint8_t* constant = FNodes + ReadCANWord(Node + 8);
    std::string value = Constant(constant);
    if (prefix != 0 && value.size() >= 2) value.insert(value.size() - 1, "*");
    std::string text = Node_(ReadCANWord(Node + 6), Depth) + Symbol(Node[1]) + value;
    if (caseInsensitive) text += " [case-insensitive]";
    return text;
  }

  std::string ListElements(uint16_t Offset, int Depth) const {
    std::string text;
    for (int n = 0; Offset != 0 && n < 65536; ++n) {
      const uint8_t* node = FNodes + Offset;
      if (!text.empty()) text += ", ";
      text += Node_(ReadCANWord(node + 2), Depth);
      Offset = ReadCANWord(node + 4);
    }
    return text;
  }

  std::string Node_(uint16_t Offset, int Depth) const { return Node(Offset, Depth + 1); }

  const uint8_t* FNodes = nullptr;
  const uint8_t* FLiterals = nullptr;
};

}  // namespace

std::string FilterDataText(const uint8_t* ParseData) {
  if (ParseData == nullptr) return "";
  return TFilterWriter(ParseData).Node(0);
}

}  // namespace dac
