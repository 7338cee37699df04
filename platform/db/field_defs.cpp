#include "platform/db/field_defs.h"

#include "platform/db/dataset.h"
#include "platform/db/numeric_fields.h"
#include "platform/rtl/text.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

// ---- TFieldDef ---------------------------------------------------------------

void TFieldDef::SetName(const std::string& Value) {
  FName = Value;
  Changed(false);
}

void TFieldDef::SetDataType(TFieldType Value) {
  FDataType = Value;
  Changed(false);
}

void TFieldDef::SetSize(int32_t Value) {
  FSize = Value;
  Changed(false);
}

void TFieldDef::SetPrecision(int32_t Value) {
  FPrecision = Value;
  Changed(false);
}

void TFieldDef::SetRequired(bool Value) {
  if (Value)
    FAttributes.Include(faRequired);
  else
    FAttributes.Exclude(faRequired);
  Changed(false);
}

void TFieldDef::SetInternalCalcField(bool Value) {
  FInternalCalcField = Value;
  Changed(false);
}

void TFieldDef::SetAttributes(TFieldAttributes Value) {
  FAttributes = Value;
  Changed(false);
}

TFieldDefs* TFieldDef::FieldDefs() const { return dynamic_cast<TFieldDefs*>(Collection()); }

TField* TFieldDef::CreateField(TComponent* Owner) {
  TFieldDefs* defs = FieldDefs();
  TDataSet* ds = defs != nullptr ? defs->DataSet() : nullptr;
  if (ds == nullptr) DatabaseErrorFmt(dbmsg::SNoDataSet, nullptr, FName);
  TFieldClass cls = ds->GetFieldClass(FDataType);
  if (cls == nullptr)
    DatabaseErrorFmt(dbmsg::SFieldTypeNotSupported, ds, FieldTypeName(FDataType));
  TField* f = cls(Owner != nullptr ? Owner : ds);
  {
    Finally freeOnFailure([f] { f->Free(); });
    // Classes that serve several types (string/fixed char, the blob family)
    // take the definition's type.
    f->SetDataType(FDataType);
    f->SetSize(FSize);
    f->SetFieldName(FName);
    f->SetRequired(Required());
    f->SetReadOnly(FAttributes.Contains(faReadonly));
    if (FInternalCalcField) f->SetFieldKind(fkInternalCalc);
    if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->SetPrecision(FPrecision);
    if (auto* fl = dynamic_cast<TFloatField*>(f); fl != nullptr && FPrecision > 0)
      fl->SetPrecision(FPrecision);
    f->SetFieldNo(FFieldNo);
    f->SetDataSet(ds);
    freeOnFailure.Dismiss();
  }
  return f;
}

void TFieldDef::Assign(TPersistent* Source) {
  if (auto* d = dynamic_cast<TFieldDef*>(Source)) {
    FName = d->FName;
    FDataType = d->FDataType;
    FSize = d->FSize;
    FPrecision = d->FPrecision;
    FInternalCalcField = d->FInternalCalcField;
    FAttributes = d->FAttributes;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(Source);
}

// ---- TFieldDefs --------------------------------------------------------------

TFieldDefs::TFieldDefs(TDataSet* ADataSet)
    : TOwnedCollection(ADataSet, ItemClass<TFieldDef>()), FDataSet(ADataSet) {}

TFieldDef* TFieldDefs::Items(int32_t Index) const {
  return static_cast<TFieldDef*>(TCollection::Items(Index));
}

TFieldDef* TFieldDefs::AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }

void TFieldDefs::Add(const std::string& Name, TFieldType DataType, int32_t Size, bool Required) {
  if (Name.empty()) DatabaseError("Field name is missing", FDataSet);
  if (IndexOf(Name) >= 0) DatabaseErrorFmt(dbmsg::SDuplicateFieldName, FDataSet, Name);
  BeginUpdate();
  Finally endUpdate([this] { EndUpdate(); });
  TFieldDef* d = AddFieldDef();
  d->SetName(Name);
  d->SetDataType(DataType);
  d->SetSize(Size);
  d->SetRequired(Required);
  endUpdate.Run();
}

int32_t TFieldDefs::IndexOf(const std::string& Name) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (SameText(Items(i)->Name(), Name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& Name) const {
  int32_t i = IndexOf(Name);
  if (i < 0) DatabaseErrorFmt(dbmsg::SFieldNotFound, FDataSet, Name);
  return Items(i);
}

void TFieldDefs::Update() {
  if (FDataSet != nullptr) FDataSet->InitFieldDefs();
  FUpdated = true;
}

void TFieldDefs::Notify(TCollectionItem* Item, TCollectionNotification Action) {
  // Column numbers follow the position at which a definition is added.
  if (Action == cnAdded) {
    if (auto* d = dynamic_cast<TFieldDef*>(Item)) d->SetFieldNo(Item->Index() + 1);
  }
  TOwnedCollection::Notify(Item, Action);
}

void TFieldDefs::Update(TCollectionItem* Item) {
  (void)Item;
  FUpdated = false;
  if (FDataSet != nullptr) FDataSet->DefChanged(this);
}

}  // namespace dac
