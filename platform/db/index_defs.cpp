#include "platform/db/index_defs.h"

#include "platform/db/dataset.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

void TIndexDef::SetName(const std::string& Value) {
  FName = Value;
  Changed(false);
}

void TIndexDef::Assign(TPersistent* Source) {
  if (auto* d = dynamic_cast<TIndexDef*>(Source)) {
    FName = d->FName;
    FFields = d->FFields;
    FOptions = d->FOptions;
    FDescFields = d->FDescFields;
    FCaseInsFields = d->FCaseInsFields;
    FExpression = d->FExpression;
    FSource = d->FSource;
    FGroupingLevelText = d->FGroupingLevelText;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(Source);
}

TIndexDefs::TIndexDefs(TDataSet* ADataSet)
    : TOwnedCollection(ADataSet, ItemClass<TIndexDef>()), FDataSet(ADataSet) {}

TIndexDef* TIndexDefs::Items(int32_t Index) const {
  return static_cast<TIndexDef*>(TCollection::Items(Index));
}

TIndexDef* TIndexDefs::AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }

void TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
  TIndexDef* d = AddIndexDef();
  d->SetName(Name);
  d->SetFields(Fields);
  d->SetOptions(Options);
}

int32_t TIndexDefs::IndexOf(const std::string& Name) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), Name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& Name) const {
  int32_t i = IndexOf(Name);
  if (i < 0) DatabaseErrorFmt(dbmsg::SIndexNotFound, FDataSet, Name);
  return Items(i);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) {
  for (int32_t i = 0; i < Count(); ++i) {
    TIndexDef* d = Items(i);
    if (d->Options().Contains(ixExpression)) continue;
    if (CaseInsensitive && !d->Options().Contains(ixCaseInsensitive)) continue;
    if (AnsiSameText(d->Fields(), Fields)) return d;
  }
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& Fields) {
  TIndexDef* d = GetIndexForFields(Fields, false);
  if (d == nullptr) DatabaseErrorFmt("No index for fields '%s'", FDataSet, Fields);
  return d;
}

void TIndexDefs::Update() {
  if (FUpdated || FDataSet == nullptr) return;
  BeginUpdate();
  Finally endUpdate([this] { EndUpdate(); });
  FDataSet->UpdateIndexDefs();
  endUpdate.Run();
  FUpdated = true;
}

void TIndexDefs::Update(TCollectionItem* Item) {
  (void)Item;
  if (FDataSet != nullptr) FDataSet->DefChanged(this);
}

}  // namespace dac
