// TExprParser: reading the text into tokens.

#include "errors/checks.h"
#include "errors/messages.h"
#include "filter/expr_parser.h"
#include "filter/text_compare.h"
#include "platform/db/dataset.h"
#include "platform/rtl/format.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/text.h"

namespace dac {
namespace {

bool IsBlank(char C) {
  const auto b = static_cast<unsigned char>(C);
  return b >= 1 && b <= 32;
}
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
// A byte of a multi-byte character (UTF-8 lead and continuation bytes).
bool IsMultiByte(char C) {
  const auto b = static_cast<unsigned char>(C);
  return b >= 0x80 && b <= 0xFE;
}
bool StartsSymbol(char C) {
  const auto b = static_cast<unsigned char>(C);
  return IsLetter(C) || C == '_' || (b >= 0x81 && b <= 0xFE);
}
bool ContinuesSymbol(char C) {
  return IsLetter(C) || IsDigit(C) || C == '$' || C == '.' || C == '[' || C == ']' || C == '_' || IsMultiByte(C);
}

// A string literal keeps at most this many bytes of its value.
constexpr size_t kMaxLiteralBytes = 256;

}  // namespace

void TExprParser::Error(const std::string& Message) const { PvDatabaseError(FDataSet, Message); }

void TExprParser::ErrorToken(const char* Fmt) const { Error(Format(Fmt, TokenText())); }

std::string TExprParser::TokenText() const {
  if (FSourcePtr <= FTokenPtr) return SExprNothing;
  return "'" + FSource.substr(FTokenPtr, FSourcePtr - FTokenPtr) + "'";
}

bool TExprParser::TokenSymbolIs(const char* Word) const { return FToken == etSymbol && SameText(FTokenString, Word); }

void TExprParser::SkipBlanks() {
  while (IsBlank(CharAt(FSourcePtr))) ++FSourcePtr;
}

void TExprParser::SkipComment() {
  FSourcePtr += 2;
  while (CharAt(FSourcePtr) != '\0' && CharAt(FSourcePtr) != '*') ++FSourcePtr;
  // The first "*" must close the comment; the end of the text names NUL.
  if (CharAt(FSourcePtr) != '*' || CharAt(FSourcePtr + 1) != '/')
    Error(Format(SExprInvalidChar, std::string(1, CharAt(FSourcePtr))));
  FSourcePtr += 2;
}

void TExprParser::ReadStringLiteral() {
  ++FSourcePtr;
  std::string value;
  for (;;) {
    const char c = CharAt(FSourcePtr);
    if (c == '\0') Error(SExprStringTerminated);
    if (c == '\'') {
      if (CharAt(FSourcePtr + 1) != '\'') {
        ++FSourcePtr;
        break;
      }
      ++FSourcePtr;
    }
    if (value.size() < kMaxLiteralBytes + 4) value += c;
    ++FSourcePtr;
  }
  FTokenString = TextCutBytes(value, kMaxLiteralBytes);
  FToken = etLiteral;
}

void TExprParser::ReadNumber() {
  const char separator = DefaultFormatSettings().DecimalSeparator;
  ++FSourcePtr;
  for (;;) {
    const char c = CharAt(FSourcePtr);
    if (!(IsDigit(c) || c == '+' || c == '-' || c == 'E' || c == 'e' || c == separator)) break;
    ++FSourcePtr;
  }
  // "1, 2" in a list splits at the comma even where it is the separator.
  if (separator == ',' && CharAt(FSourcePtr - 1) == ',' && CharAt(FSourcePtr) == ' ') --FSourcePtr;
  FTokenString = FSource.substr(FTokenPtr, FSourcePtr - FTokenPtr);
  FNumericLit = true;
  FToken = etLiteral;
}

void TExprParser::ReadBracketedName() {
  const size_t close = FSource.find(']', FSourcePtr + 1);
  if (close == std::string::npos) Error(SExprNameTerminated);
  FTokenString = FSource.substr(FSourcePtr + 1, close - FSourcePtr - 1);
  FSourcePtr = close + 1;
  FToken = etName;
}

std::string TExprParser::ReadWord() {
  SkipBlanks();
  const size_t start = FSourcePtr;
  while (IsLetter(CharAt(FSourcePtr))) ++FSourcePtr;
  return FSource.substr(start, FSourcePtr - start);
}

void TExprParser::ReadSymbol() {
  ++FSourcePtr;
  while (ContinuesSymbol(CharAt(FSourcePtr))) ++FSourcePtr;
  FTokenString = FSource.substr(FTokenPtr, FSourcePtr - FTokenPtr);
  FToken = etSymbol;
  if (SameText(FTokenString, "LIKE")) {
    FToken = etLIKE;
  } else if (SameText(FTokenString, "IN")) {
    FToken = etIN;
  } else if (SameText(FTokenString, "IS")) {
    const std::string word = ReadWord();
    if (SameText(word, "NULL")) {
      FToken = etISNULL;
    } else if (SameText(word, "NOT") && SameText(ReadWord(), "NULL")) {
      FToken = etISNOTNULL;
    } else {
      Error(SExprBadKeyword);
    }
  }
}

bool TExprParser::NextIsLParen() const {
  size_t p = FSourcePtr;
  while (IsBlank(CharAt(p))) ++p;
  return CharAt(p) == '(';
}

void TExprParser::NextToken() {
  FPrevToken = FToken;
  FTokenString.clear();
  FNumericLit = false;
  SkipBlanks();
  if (CharAt(FSourcePtr) == '/' && CharAt(FSourcePtr + 1) == '*') {
    SkipComment();
    SkipBlanks();
  }
  FTokenPtr = FSourcePtr;
  const char c = CharAt(FSourcePtr);
  auto single = [this](TExprToken Token) {
    ++FSourcePtr;
    FToken = Token;
  };
  switch (c) {
    case '\0': FToken = etEnd; return;
    case '\'': ReadStringLiteral(); return;
    case '(': single(etLParen); return;
    case ')': single(etRParen); return;
    case '*': single(etMUL); return;
    case '/': single(etDIV); return;
    case '+': single(etADD); return;
    case ',': single(etComma); return;
    case '=': single(etEQ); return;
    case '<':
      ++FSourcePtr;
      FToken = etLT;
      if (CharAt(FSourcePtr) == '=') {
        ++FSourcePtr;
        FToken = etLE;
      } else if (CharAt(FSourcePtr) == '>') {
        ++FSourcePtr;
        FToken = etNE;
      }
      return;
    case '>':
      ++FSourcePtr;
      FToken = etGT;
      if (CharAt(FSourcePtr) == '=') {
        ++FSourcePtr;
        FToken = etGE;
      }
      return;
    case '-':
      if (FPrevToken == etSymbol || FPrevToken == etName || FPrevToken == etLiteral || FPrevToken == etRParen)
        single(etSUB);
      else
        ReadNumber();
      return;
    case '[': ReadBracketedName(); return;
    default: break;
  }
  if (IsDigit(c)) {
    ReadNumber();
  } else if (StartsSymbol(c)) {
    ReadSymbol();
  } else {
    Error(Format(SExprInvalidChar, std::string(1, c)));
  }
}

}  // namespace dac
