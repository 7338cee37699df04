#include "filter/constraint_collection.h"

#include "filter/parse_verifier.h"
#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

// ---- TConstraintItem -------------------------------------------------------------------

void TConstraintItem::Parse(TDataSet* DataSet, TParserOptions ParserOptions, TFilterOptions Options,
                            const std::string& FieldName) {
  FParser = std::make_unique<TExprParser>(DataSet, FExpression, Options, ParserOptions, FieldName);
}

bool TConstraintItem::Verify(TDataSet* DataSet) const {
  if (!FParser) return true;
  TParseVerifier verifier(DataSet, FParser->FilterData());
  return verifier.Verify();
}

// ---- TConstraintCollection -------------------------------------------------------------

TConstraintCollection::TConstraintCollection(TPersistent* AOwner)
    : TOwnedCollection(AOwner, ItemClass<TConstraintItem>()) {}

TConstraintItem* TConstraintCollection::AddCheckConstraint(TDataSet* DataSet, const std::string& Expression,
                                                           const std::string& ErrorMessage) {
  TConstraintItem* item = Add();
  Finally drop([item] { item->Free(); });
  item->SetFieldNum(-1);
  item->SetExpression(Expression);
  item->SetErrorMessage(ErrorMessage);
  item->Parse(DataSet, {poExtSyntax}, {foNoPartialCompare});
  drop.Dismiss();
  return item;
}

TConstraintItem* TConstraintCollection::AddFieldConstraint(TDataSet* DataSet, TField* Field,
                                                           const std::string& Expression,
                                                           const std::string& ErrorMessage) {
  TConstraintItem* item = Add();
  Finally drop([item] { item->Free(); });
  item->SetFieldNum(-1);
  item->SetExpression(Expression);
  item->SetErrorMessage(ErrorMessage);
  try {
    item->Parse(DataSet, {poExtSyntax}, {foNoPartialCompare});
  } catch (const Exception&) {
    // A constraint such as "Value > 0" names the field by a word of its
    // own: read every name as the field.
    item->Parse(DataSet, {poExtSyntax, poFieldNameGiven}, {foNoPartialCompare}, Field->FieldName());
    item->SetFieldNum(Field->Index());
  }
  drop.Dismiss();
  return item;
}

TConstraintItem* TConstraintCollection::AddDefaultExpression(TDataSet* DataSet, TField* Field) {
  TConstraintItem* item = Add();
  Finally drop([item] { item->Free(); });
  item->SetFieldNum(Field->Index());
  item->SetExpression(Field->DefaultExpression());
  item->Parse(DataSet, {poDefaultExpr}, {foNoPartialCompare}, Field->FieldName());
  drop.Dismiss();
  return item;
}

}  // namespace dac
