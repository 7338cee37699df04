#pragma once
// TFilterShapeCache: the encoded filter of a text that differs from the one
// parsed before only in its quoted text constants, without parsing it again.
//
// A master-detail walk sets a filter such as "MyParentCmp = '4711'" once per
// master record; every text has the same shape and only the constants
// change. The encoded buffer of such a text is the previous one with the
// constants' literal bytes exchanged (and the literal offsets moved), so the
// cache keeps the last buffer and rebuilds it from the new constants.
//
// It answers only where that rebuilt buffer is provably the one the parser
// would produce, and otherwise leaves the text to the parser:
//   - the part of the text outside the constants is byte for byte the same,
//     and holds no comment, no bracketed name and no NUL byte (the only
//     places where a quote does not start a constant);
//   - the filter options, the decimal separator and the dataset's fields
//     (name, type, size, kind, order) are the same;
//   - every constant, before and after, is a plain text value: not empty,
//     at most 255 bytes, not ending in "*" or "%" (so it is never cut and
//     never becomes a prefix compare);
//   - in the parsed buffer each constant of the text became exactly one text
//     constant node, and no other text constant node exists.
// Parse errors therefore always come from the parser itself: a text that
// fails never enters the cache, and one that is reused parses without error.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/db/db_types.h"

namespace dac {

class TDataSet;
class TExprParser;

class TFilterShapeCache {
 public:
  // The encoded buffer for Text, valid until the next call on the cache;
  // null when Text must go to the parser.
  const uint8_t* Reuse(TDataSet* DataSet, const std::string& Text, TFilterOptions Options);
  // Keeps what Parser made of Text (parsed with Options and poExtSyntax) for
  // the texts of the same shape that follow.
  void Remember(TDataSet* DataSet, const std::string& Text, TFilterOptions Options, const TExprParser& Parser);
  void Clear();

  // The part of Text outside its quoted constants and the constants' values;
  // false when the text is not of a form the cache takes.
  static bool SplitConstants(const std::string& Text, std::string& Shape, std::vector<std::string>& Constants);

 private:
  // A field as the parser sees it.
  struct TFieldPrint {
    const void* Field = nullptr;
    std::string Name;
    int32_t DataType = 0;
    int32_t Size = 0;
    int32_t Kind = 0;
    bool operator==(const TFieldPrint&) const = default;
  };
  // One literal of the buffer, in literal-area order: where its offset word
  // (and, for constants, its size word) sits, and which constant of the text
  // it holds (-1: kept as it is, a field name or a constant the text does
  // not spell out).
  struct TLiteral {
    uint16_t OffsetWord = 0;
    uint16_t SizeWord = 0;
    uint16_t Offset = 0;
    uint16_t Size = 0;
    int32_t Constant = -1;
  };

  static void PrintFields(TDataSet* DataSet, std::vector<TFieldPrint>& Out);
  bool Matches(TDataSet* DataSet, TFilterOptions Options) const;
  bool MapLiterals(const std::vector<std::string>& Constants);

  bool FValid = false;
  std::string FShape;
  TFilterOptions FOptions;
  char FDecimalSeparator = '.';
  std::vector<TFieldPrint> FFields;
  std::vector<uint8_t> FBuffer;  // the last buffer parsed or rebuilt
  std::vector<TLiteral> FLiterals;
  // Scratch kept between calls so that a reuse allocates nothing.
  std::vector<std::string> FConstants;
  std::string FShapeNow;
  std::vector<uint8_t> FRebuilt;
};

}  // namespace dac
