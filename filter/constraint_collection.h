#pragma once
// TConstraintCollection: a dataset's record constraints or its default
// expressions, each a TConstraintItem with its parsed expression.
//
// How a dataset uses the two collections:
//
//   open:    checks.Clear(); for each Constraints() item:
//              checks.AddCheckConstraint(ds, c->CustomConstraint(), c->ErrorMessage());
//            defaults.Clear(); for each data or internally calculated field f:
//              if DefaultExpression:    defaults.AddDefaultExpression(ds, f);
//              if ImportedConstraint:   checks.AddFieldConstraint(ds, f, imported, f->ConstraintErrorMessage());
//              if CustomConstraint:     checks.AddFieldConstraint(ds, f, custom, f->ConstraintErrorMessage());
//   post:    with the record presented (dsFilter, FFilterBuffer), the first
//            item whose Verify is false raises its ErrorMessage;
//   a field: the same for the items whose FieldNum is the field's index;
//   insert:  every default item's Verify (the results do not matter).

#include <cstdint>
#include <string>

#include "filter/constraint_item.h"
#include "platform/rtl/collection.h"

namespace dac {

class TDataSet;
class TField;

class TConstraintCollection : public TOwnedCollection {
 public:
  explicit TConstraintCollection(TPersistent* AOwner = nullptr);

  TConstraintItem* Add() { return static_cast<TConstraintItem*>(TCollection::Add()); }
  TConstraintItem* Insert(int32_t Index) { return static_cast<TConstraintItem*>(TCollection::Insert(Index)); }
  TConstraintItem* FindItemID(int32_t ID) const { return static_cast<TConstraintItem*>(TCollection::FindItemID(ID)); }
  TConstraintItem* Items(int32_t Index) const { return static_cast<TConstraintItem*>(TCollection::Items(Index)); }
  TConstraintItem* operator[](int32_t Index) const { return Items(Index); }

  // A record-level check constraint: FieldNum -1, parsed with
  // [poExtSyntax] and [foNoPartialCompare].
  TConstraintItem* AddCheckConstraint(TDataSet* DataSet, const std::string& Expression,
                                      const std::string& ErrorMessage);
  // A field's custom or imported constraint: parsed like a check
  // constraint; when that fails, parsed again with every name standing for
  // Field ([poExtSyntax, poFieldNameGiven]) and FieldNum = Field's index.
  // A failure of the second parse propagates (no item is left behind).
  TConstraintItem* AddFieldConstraint(TDataSet* DataSet, TField* Field, const std::string& Expression,
                                      const std::string& ErrorMessage);
  // Field's default expression: FieldNum = Field's index, no message,
  // parsed with [poDefaultExpr], [foNoPartialCompare] and Field's name.
  TConstraintItem* AddDefaultExpression(TDataSet* DataSet, TField* Field);
};

}  // namespace dac
