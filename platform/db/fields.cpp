#include "platform/db/fields.h"

#include "platform/db/dataset.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/text.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

TField* TFields::Fields(int32_t Index) const {
  if (Index < 0 || Index >= Count()) DatabaseError(dbmsg::SFieldIndexError, FDataSet);
  return FList[static_cast<size_t>(Index)];
}

TField* TFields::FindField(const std::string& FieldName) const {
  for (TField* f : FList)
    if (SameText(f->FieldName(), FieldName)) return f;
  return nullptr;
}

TField* TFields::FieldByName(const std::string& FieldName) const {
  TField* f = FindField(FieldName);
  if (f == nullptr) DatabaseErrorFmt(dbmsg::SFieldNotFound, FDataSet, FieldName);
  return f;
}

TField* TFields::FieldByNumber(int32_t FieldNo) const {
  for (TField* f : FList)
    if (f->FieldNo() == FieldNo) return f;
  return nullptr;
}

int32_t TFields::IndexOf(const TField* Field) const {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i] == Field) return static_cast<int32_t>(i);
  return -1;
}

void TFields::Add(TField* Field) { FList.push_back(Field); }

void TFields::Remove(TField* Field) {
  int32_t i = IndexOf(Field);
  if (i >= 0) FList.erase(FList.begin() + i);
}

void TFields::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex < 0 || CurIndex >= Count()) DatabaseError(dbmsg::SFieldIndexError, FDataSet);
  if (NewIndex < 0) NewIndex = 0;
  if (NewIndex >= Count()) NewIndex = Count() - 1;
  TField* f = FList[static_cast<size_t>(CurIndex)];
  FList.erase(FList.begin() + CurIndex);
  FList.insert(FList.begin() + NewIndex, f);
}

void TFields::GetFieldNames(TStrings* List) const {
  List->BeginUpdate();
  Finally endUpdate([List] { List->EndUpdate(); });
  List->Clear();
  for (TField* f : FList) List->Add(f->FieldName());
  endUpdate.Run();
}

}  // namespace dac
