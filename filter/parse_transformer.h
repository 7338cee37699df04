#pragma once
// TParseTransformer: splits an encoded filter (filter/can_expr.h) into the
// part the engine can apply while it reads the table and the part the
// client must still test per record.
//
//   - pDRMFilters(): a flat list of engine filter terms. The engine
//     evaluates such a list strictly left to right, each term joined to the
//     next by AND or OR without precedence, so only what that form expresses
//     exactly is pushed.
//   - pLocalFilterParseData(): the remainder, a filter buffer of the same
//     encoding, or null when everything was pushed. A record passes when the
//     terms and the remainder both accept it.
//   - Depth(): how deeply nested the deepest comparison is; the dataset uses
//     it to decide whether pushing down is worth trying.
//
// All the work is done by the constructor; afterwards the transformer only
// holds its results. The source buffer has to live during construction only.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/drm.h"
#include "filter/can_op.h"
#include "filter/ret_struct_type.h"
#include "platform/rtl/variant.h"

namespace dac {

class IFilterColumnSource;
class TDataSet;
class TField;
struct TFilterColumn;

class TParseTransformer {
 public:
  // DataSet names the fields of ParseData; Columns is its table. A null
  // ParseData yields no terms and no remainder. Errors raise here.
  TParseTransformer(TDataSet* DataSet, IFilterColumnSource* Columns, const uint8_t* ParseData);
  ~TParseTransformer();
  TParseTransformer(const TParseTransformer&) = delete;
  TParseTransformer& operator=(const TParseTransformer&) = delete;

  const uint8_t* pLocalFilterParseData() const { return FLocalFilterParseData ? FLocalFilterParseData->data() : nullptr; }
  const DRM_FilterStruct* pDRMFilters() const { return FDRMFilters.empty() ? nullptr : FDRMFilters.data(); }
  int32_t DRMFilterCount() const { return FDRMFilterCount; }
  int32_t Depth() const { return FNodeDepth; }

  // A constant the transformation converted for a term: its node, the
  // field it is compared with, and whether it is a prefix.
  struct TConstUse {
    uint16_t ConstNode = 0;
    uint16_t FieldIndex = 0;
    bool Partial = false;
  };
  // What a transformation that left nothing to the client made of its
  // buffer, apart from the constants' values: the terms, which converted
  // constant each term holds (-1: none), the conversions in the order the
  // walk made them, and the depth.
  struct TPlan {
    std::vector<DRM_FilterStruct> Terms;
    std::vector<int32_t> TermUses;
    std::vector<TConstUse> Uses;
    int32_t Depth = 0;
  };
  // The plan of this transformation; none when a remainder stays on the
  // client.
  std::optional<TPlan> Plan() const;
  // The transformation of ParseData by Plan, for a buffer whose nodes are
  // those of the buffer Plan came from and whose constants differ only in
  // their values (TFilterShapeCache): the constants are converted in the
  // walk's order, so a value the field refuses fails as the walk would.
  // Null when Plan does not fit ParseData or the columns.
  static std::unique_ptr<TParseTransformer> FromPlan(TDataSet* DataSet, IFilterColumnSource* Columns,
                                                     const uint8_t* ParseData, const TPlan& Plan);

  // One term with its own copy of the constant (empty without one), and
  // the conversion it came from.
  struct TTerm {
    DRM_FilterStruct Term{};
    std::vector<uint8_t> Const;
    int32_t Use = -1;
  };
  using TBuffer = std::vector<uint8_t>;
  // The partial result of one node.
  struct TResult {
    TRetStructType StType = rstCompare;
    TRetStructType FactStType = rstCompare;
    // Operands: the value (rstVariant, rstWildCard, rstBit) or field index (rstField).
    Variant v;
    int32_t FieldIndex = -1;
    std::vector<TTerm> DrmFilters;
    std::optional<TBuffer> pLocal;
  };

 private:
  // Adds a term that holds a constant block of its own.
  void AddTerm(DRM_FilterStruct Term, std::vector<uint8_t> Const);
  TResult TransformNode(uint16_t Offset);
  TResult Operand(uint16_t Offset);
  TResult Comparison(uint16_t Offset);
  TResult NullTest(uint16_t Offset);
  TResult InList(uint16_t Offset);
  TResult Combination(uint16_t Offset);
  TResult Local(uint16_t Offset);
  TField* FieldAt(uint16_t FieldIndex) const;
  const TFilterColumn* ColumnOf(TField* Field) const;
  uint8_t CompareCode(tCANOp Op, TField* Field, bool CaseInsensitive) const;
  TTerm ConstTerm(TField* Field, const TFilterColumn& Column, const Variant& Value, bool Partial,
                  const TConstUse& Use);
  // A buffer holding a copy of the subtree at Offset of the source.
  TBuffer CopySubtree(uint16_t Offset) const;
  struct TSource {
    const uint8_t* Nodes;
    const uint8_t* Literals;
  };
  uint16_t CopyNode(const TSource& Source, uint16_t Offset, TBuffer& Nodes, TBuffer& Literals) const;
  TBuffer Assemble(const TBuffer& Nodes, const TBuffer& Literals) const;
  // AND of two remainders; either may be absent.
  std::optional<TBuffer> AndLocal(std::optional<TBuffer> A, std::optional<TBuffer> B) const;
  [[noreturn]] void Error(const std::string& Message) const;

  TDataSet* FDataSet = nullptr;
  IFilterColumnSource* FColumns = nullptr;
  std::unique_ptr<TBuffer> FLocalFilterParseData;
  std::vector<DRM_FilterStruct> FDRMFilters;
  // The constant blocks FDRMFilters point into.
  std::vector<std::vector<uint8_t>> FConstBlocks;
  std::vector<int32_t> FTermUses;
  std::vector<TConstUse> FUses;
  int32_t FDRMFilterCount = 0;
  const uint8_t* FParseData = nullptr;
  const uint8_t* FNodes = nullptr;
  const uint8_t* FLiterals = nullptr;
  int32_t FNodeLevel = 0;
  int32_t FNodeDepth = 0;
};

}  // namespace dac
