#pragma once
// TExprToken: the kinds of token the expression lexer hands to the parser.

#include <cstdint>

namespace dac {

enum TExprToken : uint8_t {
  etEnd, etSymbol, etName, etLiteral, etLParen, etRParen, etEQ, etNE, etGE, etLE, etGT, etLT,
  etADD, etSUB, etMUL, etDIV, etComma, etLIKE, etISNULL, etISNOTNULL, etIN
};

}  // namespace dac
