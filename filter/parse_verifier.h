#pragma once
// TParseVerifier: decides whether a record satisfies an encoded expression
// (the buffer of filter/can_expr.h). It walks the buffer from the root each
// time it is asked and reads field values through the dataset's fields, so
// the caller first makes the dataset present the record under test:
//
//   - the active record: call Verify();
//   - a record in a buffer: VerifyRecord(Buffer), through the dataset's
//     IFilterRecordHost (filter/filter_record_host.h).
//
// Semantics: every comparison with NULL is false (<> included); LIKE is an
// equality test (a trailing "*" or "%" became a prefix length when the
// expression was encoded); texts compare case-sensitively under the user's
// collation (filter/text_compare.h), trailing blanks counting; AND and OR
// stop as soon as their left side decides; a default expression's
// canASSIGN root stores its value into its field.
//
// The buffer is not owned and must outlive the verifier; a null buffer
// passes every record. A verifier keeps nothing between calls.

#include <cstdint>
#include <string>
#include <string_view>

#include "filter/ret_struct.h"
#include "platform/db/db_types.h"

namespace dac {

class Exception;
class TDataSet;
class TField;

class TParseVerifier {
 public:
  TParseVerifier(TDataSet* DataSet, const uint8_t* ParseData) : FDataSet(DataSet), FParseData(ParseData) {}

  // Whether the record the dataset presents passes. EStopOnContinueOperator
  // during evaluation answers false; other failures propagate.
  bool Verify();
  // Verify with the dataset presenting the record in Buffer (its dsFilter
  // state), restored afterwards whatever happens. The dataset must
  // implement IFilterRecordHost.
  bool VerifyRecord(TRecordBuffer Buffer);

  TDataSet* DataSet() const { return FDataSet; }
  const uint8_t* ParseData() const { return FParseData; }

 private:
  TRetStruct EvalNode(uint16_t Offset);
  TRetStruct EvalBinary(uint16_t Offset);
  // Evaluates a two-operand node and the chain below it; true when the
  // result is the plain truth in Truth, false when it is in Result.
  bool EvalChain(uint16_t Offset, TRetStruct& Result, bool& Truth);
  // Applies the two-operand node to its evaluated left operand in Acc.
  void ApplyBinary(const uint8_t* Node, TRetStruct& Acc);
  bool IsFieldConstComparison(const uint8_t* Node) const;
  // The comparison of a value with a constant node, as CompareValues would
  // make it of the constant's value.
  int CompareWithConst(const Variant& Left, const uint8_t* Const, bool EqualityOnly) const;
  int CompareWithConst(std::string_view Left, const uint8_t* Const, bool EqualityOnly) const;
  int CompareWithConst(int32_t Left, const uint8_t* Const, bool EqualityOnly) const;
  // The verdict of "field <op> constant" (IsFieldConstComparison).
  bool FieldConstVerdict(const uint8_t* Node) const;
  TRetStruct EvalUnary(const uint8_t* Node);
  TRetStruct EvalCompare(const uint8_t* Node);
  TRetStruct EvalListElem(uint16_t Offset);
  Variant ConstValue(const uint8_t* Node) const;
  Variant ValueOf(const TRetStruct& R) const;
  bool InList(const TRetStruct& Left, const TRetStruct& Right) const;
  [[noreturn]] void Error(const std::string& Message) const;
  void AppendDescription(Exception& E) const;

  TDataSet* FDataSet = nullptr;
  const uint8_t* FParseData = nullptr;
  // Set from the header at each Verify.
  const uint8_t* FNodes = nullptr;
  const uint8_t* FLiterals = nullptr;
  uint16_t FNodeAreaSize = 0;
  int32_t FDepth = 0;
};

}  // namespace dac
