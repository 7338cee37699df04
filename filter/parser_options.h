#pragma once
// TParserOption(s): what a caller of the expression parser allows and asks
// for. The four uses of the language differ only in these and in the
// filter options (TFilterOptions, platform/db/db_types.h):
//
//   dataset filter, find      [poExtSyntax]      the dataset's FilterOptions
//   locate through a filter   []                 [foCaseInsensitive] or []
//   check / field constraint  [poExtSyntax]      [foNoPartialCompare]
//   field default expression  [poDefaultExpr]    [foNoPartialCompare]

#include <cstdint>

#include "platform/rtl/tset.h"

namespace dac {

enum TParserOption : uint8_t {
  poExtSyntax,       // arithmetic and function calls are allowed
  poAggregate,       // the whole expression must be an aggregate
  poDefaultExpr,     // the expression is a default value for the named field
  poUseOrigNames,    // fields may be named by the source column of their origin
  poFieldNameGiven,  // every field reference denotes the named field
  poFieldDepend      // record the fields used in the dependent-field set
};
using TParserOptions = TSet<TParserOption>;

}  // namespace dac
