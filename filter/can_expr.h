#pragma once
// The encoded filter buffer: the form in which a parsed filter, constraint
// or default expression travels between the parser, the evaluator and the
// engine filter transformer.
//
//   offset 0   tCANExpr header (five little-endian 16-bit words)
//   10         node area: the nodes back to back, the root at node offset 0
//   iLiteralStart  literal area: field names and constant values
//
// A node is its class byte (tNODEClass), its operator byte (tCANOp), then
// its operand words:
//
//   nodeUNARY     operand node
//   nodeBINARY    left node, right node (canIN: tested node, first list element)
//   nodeCOMPARE   case-insensitive flag, prefix length in characters, field node,
//                 string constant node
//   nodeFIELD     field index (in the dataset's field list), name literal
//   nodeCONST     data type (TFieldType code), size in bytes, value literal
//   nodeLISTELEM  value node, next element node (0 after the last)
//
// Node operands are offsets from the start of the node area; literal
// operands are offsets from the start of the literal area. Every word is
// unsigned 16-bit, so a buffer stays below 64 KiB.

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "filter/node_class.h"

namespace dac {

struct tCANExpr {
  uint16_t iVer = 0;           // 2
  uint16_t iTotalSize = 0;     // the whole buffer, header included
  uint16_t iNodes = 0;         // 0xFFFF
  uint16_t iNodeStart = 0;     // 10
  uint16_t iLiteralStart = 0;  // 10 + size of the node area
};
static_assert(sizeof(tCANExpr) == 10);

inline constexpr uint16_t kCANExprVersion = 2;
inline constexpr uint16_t kCANExprNodes = 0xFFFF;
inline constexpr uint16_t kCANExprHeaderSize = 10;
// A buffer must stay below this size: its offsets are 16-bit.
inline constexpr int32_t kMaxFilterBufferSize = 65536;
// Brackets, IN lists and function arguments nest at most this deep; the
// parser and the evaluator recurse once per level.
inline constexpr int32_t kMaxExprNesting = 256;

// Sizes of the encoded nodes (class and operator bytes, then the words).
inline constexpr uint16_t kUnaryNodeSize = 4;
inline constexpr uint16_t kBinaryNodeSize = 6;
inline constexpr uint16_t kCompareNodeSize = 10;
inline constexpr uint16_t kFieldNodeSize = 6;
inline constexpr uint16_t kConstNodeSize = 8;
inline constexpr uint16_t kListElemNodeSize = 6;

// The encoded size of a node of that class; 0 for a class that has none.
inline uint16_t NodeSize(uint8_t NodeClass) {
  switch (NodeClass) {
    case nodeUNARY: return kUnaryNodeSize;
    case nodeBINARY: return kBinaryNodeSize;
    case nodeCOMPARE: return kCompareNodeSize;
    case nodeFIELD: return kFieldNodeSize;
    case nodeCONST: return kConstNodeSize;
    case nodeLISTELEM: return kListElemNodeSize;
    default: return 0;
  }
}

// Little-endian access to the buffer, whatever the host's byte order and
// alignment.
inline uint16_t ReadCANWord(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
inline void WriteCANWord(uint8_t* P, uint16_t Value) {
  P[0] = static_cast<uint8_t>(Value & 0xFF);
  P[1] = static_cast<uint8_t>(Value >> 8);
}
template <class T>
T ReadCANValue(const uint8_t* P) {
  T v;
  std::memcpy(&v, P, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    uint8_t* b = reinterpret_cast<uint8_t*>(&v);
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
  }
  return v;
}
template <class T>
void WriteCANValue(uint8_t* P, T Value) {
  if constexpr (std::endian::native == std::endian::big) {
    uint8_t* b = reinterpret_cast<uint8_t*>(&Value);
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
  }
  std::memcpy(P, &Value, sizeof(T));
}

inline tCANExpr ReadCANExpr(const uint8_t* Buffer) {
  tCANExpr h;
  h.iVer = ReadCANWord(Buffer);
  h.iTotalSize = ReadCANWord(Buffer + 2);
  h.iNodes = ReadCANWord(Buffer + 4);
  h.iNodeStart = ReadCANWord(Buffer + 6);
  h.iLiteralStart = ReadCANWord(Buffer + 8);
  return h;
}
inline void WriteCANExpr(uint8_t* Buffer, const tCANExpr& Header) {
  WriteCANWord(Buffer, Header.iVer);
  WriteCANWord(Buffer + 2, Header.iTotalSize);
  WriteCANWord(Buffer + 4, Header.iNodes);
  WriteCANWord(Buffer + 6, Header.iNodeStart);
  WriteCANWord(Buffer + 8, Header.iLiteralStart);
}

}  // namespace dac
