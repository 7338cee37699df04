#pragma once
// Shared set-up for the filter tests: an in-memory "Company" dataset with a
// column of every type the filter language meets, a reader that prints an
// encoded filter buffer as text, and small parse and evaluate helpers.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "filter/can_expr.h"
#include "filter/expr_parser.h"
#include "filter/node_class.h"
#include "filter/parse_verifier.h"
#include "platform/db/field.h"
#include "platform/db/memory_dataset.h"
#include "platform/rtl/format.h"
#include "platform/rtl/sysutils.h"
#include "support/message_of.h"

namespace dac::filtertest {

// Field order (indexes in the buffer's field nodes):
//  0 Number  String(10)    1 Name  String(40)     2 AgyCode  String(2)
//  3 fHasParentCmp Smallint 4 MyParentCmp String(10) 5 InactiveAcct Boolean
//  6 Qty Integer            7 Price Float           8 Amount Currency
//  9 Cost BCD              10 Order Date Date      11 Stamp DateTime
// 12 At Time               13 Code Word            14 Big Largeint
// 15 Data Bytes(4)         16 Notes Memo           17 Pic Blob
inline TFreePtr<TMemoryDataSet> MakeCompanies() {
  auto ds = CreateUnowned<TMemoryDataSet>();
  ds->SetName("Company");
  TFieldDefs* d = ds->FieldDefs();
  d->Add("Number", ftString, 10);
  d->Add("Name", ftString, 40);
  d->Add("AgyCode", ftString, 2);
  d->Add("fHasParentCmp", ftSmallint);
  d->Add("MyParentCmp", ftString, 10);
  d->Add("InactiveAcct", ftBoolean);
  d->Add("Qty", ftInteger);
  d->Add("Price", ftFloat);
  d->Add("Amount", ftCurrency);
  d->Add("Cost", ftBCD, 4);
  d->Add("Order Date", ftDate);
  d->Add("Stamp", ftDateTime);
  d->Add("At", ftTime);
  d->Add("Code", ftWord);
  d->Add("Big", ftLargeint);
  d->Add("Data", ftBytes, 4);
  d->Add("Notes", ftMemo);
  d->Add("Pic", ftBlob);
  ds->Open();
  return ds;
}

// Appends a record with the named values (the rest null) and stays on it.
inline void AddRecord(TDataSet* Ds, const std::vector<std::pair<std::string, Variant>>& Values) {
  Ds->Append();
  for (const auto& [name, value] : Values) Ds->FieldByName(name)->SetValue(value);
  Ds->Post();
}

// A parse error's full message: the text, then the dataset's description.
inline std::string Pv(const std::string& Message) { return Message + ". Component is Company"; }

// The message of the database error a parse raises, or "<no exception>".
inline std::string ParseError(TDataSet* Ds, const std::string& Text, TParserOptions Po = {poExtSyntax},
                              TFilterOptions Fo = {}, const std::string& FieldName = "") {
  return testsupport::MessageOf<EDatabaseError>([&] { TExprParser p(Ds, Text, Fo, Po, FieldName); });
}

// Parses Text and evaluates it on the active record.
inline bool Eval(TDataSet* Ds, const std::string& Text, TFilterOptions Fo = {}, TParserOptions Po = {poExtSyntax}) {
  TExprParser p(Ds, Text, Fo, Po);
  TParseVerifier v(Ds, p.FilterData());
  return v.Verify();
}

// ---- reading an encoded buffer back as text ----------------------------------------------

class TBufferReader {
 public:
  explicit TBufferReader(const uint8_t* Buffer) : FBuffer(Buffer), FHeader(ReadCANExpr(Buffer)) {}

  const tCANExpr& Header() const { return FHeader; }
  const uint8_t* Node(uint16_t Offset) const { return FBuffer + FHeader.iNodeStart + Offset; }
  uint16_t Word(uint16_t Offset, int Index) const { return ReadCANWord(Node(Offset) + 2 + 2 * Index); }
  const uint8_t* Literal(uint16_t Offset) const { return FBuffer + FHeader.iLiteralStart + Offset; }

  // The tree under Offset: EQ(Name#1, ftString:'x'), ISBLANK(..), NOT(..),
  // IN(Qty#6, [ftFloat:1, ftFloat:2]), COMPARE(EQ ci=1 prefix=2, Name#1, ftString:'Sm').
  std::string Text(uint16_t Offset = 0) const {
    const uint8_t* n = Node(Offset);
    switch (n[0]) {
      case nodeUNARY: return OpName(n[1]) + "(" + Text(Word(Offset, 0)) + ")";
      case nodeBINARY:
        if (n[1] == canIN) return "IN(" + Text(Word(Offset, 0)) + ", [" + List(Word(Offset, 1)) + "])";
        return OpName(n[1]) + "(" + Text(Word(Offset, 0)) + ", " + Text(Word(Offset, 1)) + ")";
      case nodeCOMPARE:
        return "COMPARE(" + OpName(n[1]) + " ci=" + std::to_string(Word(Offset, 0)) +
               " prefix=" + std::to_string(Word(Offset, 1)) + ", " + Text(Word(Offset, 2)) + ", " +
               Text(Word(Offset, 3)) + ")";
      case nodeFIELD:
        return std::string(reinterpret_cast<const char*>(Literal(Word(Offset, 1)))) + "#" +
               std::to_string(Word(Offset, 0));
      case nodeCONST: return Const(Offset);
      default: return "?" + std::to_string(n[0]);
    }
  }

 private:
  static std::string OpName(uint8_t Op) {
    switch (Op) {
      case canISBLANK: return "ISBLANK";
      case canNOTBLANK: return "NOTBLANK";
      case canEQ: return "EQ";
      case canNE: return "NE";
      case canGT: return "GT";
      case canLT: return "LT";
      case canGE: return "GE";
      case canLE: return "LE";
      case canNOT: return "NOT";
      case canAND: return "AND";
      case canOR: return "OR";
      case canADD: return "ADD";
      case canSUB: return "SUB";
      case canMUL: return "MUL";
      case canDIV: return "DIV";
      case canLIKE: return "LIKE";
      case canASSIGN: return "ASSIGN";
      default: return "op" + std::to_string(Op);
    }
  }

  std::string List(uint16_t Offset) const {
    std::string r;
    for (;;) {
      r += Text(Word(Offset, 0));
      Offset = Word(Offset, 1);
      if (Offset == 0) return r;
      r += ", ";
    }
  }

  std::string Const(uint16_t Offset) const {
    const auto type = static_cast<TFieldType>(Word(Offset, 0));
    const uint16_t size = Word(Offset, 1);
    const uint8_t* p = Literal(Word(Offset, 2));
    std::string v;
    switch (type) {
      case ftString: v = "'" + std::string(reinterpret_cast<const char*>(p)) + "'"; break;
      case ftSmallint: v = std::to_string(ReadCANValue<int16_t>(p)); break;
      case ftWord: v = std::to_string(ReadCANValue<uint16_t>(p)); break;
      case ftInteger:
      case ftAutoInc: v = std::to_string(ReadCANValue<int32_t>(p)); break;
      case ftBoolean: v = std::to_string(ReadCANValue<int16_t>(p)); break;
      case ftBCD: v = std::to_string(ReadCANValue<int64_t>(p)); break;
      case ftFloat:
      case ftDate:
      case ftTime:
      case ftDateTime: v = FloatToStr(ReadCANValue<double>(p)); break;
      default: v = "?";
    }
    (void)size;
    return FieldTypeName(type) + ":" + v;
  }

  const uint8_t* FBuffer;
  tCANExpr FHeader;
};

// The encoded form of Text as text.
inline std::string Encoded(TDataSet* Ds, const std::string& Text, TFilterOptions Fo = {},
                           TParserOptions Po = {poExtSyntax}, const std::string& FieldName = "") {
  TExprParser p(Ds, Text, Fo, Po, FieldName);
  return TBufferReader(p.FilterData()).Text();
}

}  // namespace dac::filtertest
