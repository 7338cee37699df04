#pragma once
// tCANOp: the operator byte of a node in the encoded filter buffer and of
// an operator node of the expression tree. The numbers are part of the
// buffer format and never change.

#include <cstdint>

namespace dac {

enum tCANOp : uint8_t {
  canNOTDEFINED, canISBLANK, canNOTBLANK, canEQ, canNE, canGT, canLT, canGE, canLE, canNOT, canAND,
  canOR, canTUPLE2, canFIELD2, canCONST2, canMINUS, canADD, canSUB, canMUL, canDIV, canMOD, canREM,
  canSUM, canCOUNT, canMIN, canMAX, canAVG, canCONT, canUDF2, canCONTINUE2, canLIKE, canIN, canLIST2,
  canUPPER, canLOWER, canFUNC2, canLISTELEM2, canASSIGN
};
static_assert(canLIKE == 30 && canIN == 31 && canASSIGN == 37);

// The six ordering comparisons canEQ .. canLE.
constexpr bool IsRelationalOp(tCANOp Op) { return Op >= canEQ && Op <= canLE; }
constexpr bool IsArithmeticOp(tCANOp Op) { return Op >= canADD && Op <= canDIV; }

}  // namespace dac
