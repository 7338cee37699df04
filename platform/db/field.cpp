#include "platform/db/field.h"

#include <cstring>
#include <vector>

#include "platform/db/dataset.h"
#include "platform/rtl/text.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

void TField::SetFieldName(const std::string& Value) {
  if (Value == FFieldName) return;
  if (FDataSet != nullptr) {
    TField* other = FDataSet->FindField(Value);
    if (other != nullptr && other != this) DatabaseErrorFmt(dbmsg::SDuplicateFieldName, FDataSet, Value);
  }
  FFieldName = Value;
}

void TField::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet != nullptr) FDataSet->CheckInactive();
  if (Value != nullptr) {
    Value->CheckInactive();
    if (!FFieldName.empty() && Value->FindField(FFieldName) != nullptr)
      DatabaseErrorFmt(dbmsg::SDuplicateFieldName, Value, FFieldName);
  }
  if (FDataSet != nullptr) FDataSet->RemoveField(this);
  FDataSet = nullptr;
  if (Value != nullptr) {
    Value->AddField(this);
    FDataSet = Value;
  }
}

int32_t TField::Index() const { return FDataSet != nullptr ? FDataSet->Fields()->IndexOf(this) : -1; }

void TField::SetIndex(int32_t Value) {
  if (FDataSet == nullptr) return;
  FDataSet->Fields()->Move(Index(), Value);
  PropertyChanged(true);
}

void TField::SetFieldKind(TFieldKind Value) {
  if (Value == FFieldKind) return;
  CheckInactive();
  FFieldKind = Value;
}

void TField::SetSize(int32_t Value) {
  if (Value == FSize) return;
  CheckInactive();
  CheckTypeSize(Value);
  FSize = Value;
}

void TField::SetReadOnly(bool Value) {
  if (Value == FReadOnly) return;
  FReadOnly = Value;
  PropertyChanged(true);
}

void TField::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  PropertyChanged(true);
}

void TField::SetLookupDataSet(TDataSet* Value) {
  if (Value == FLookupDataSet) return;
  CheckInactive();
  if (FLookupDataSet != nullptr) RemoveFreeNotification(FLookupDataSet);
  FLookupDataSet = Value;
  if (Value != nullptr) FreeNotification(Value);
}

bool TField::CanModify() const {
  if (FReadOnly) return false;
  if (FFieldKind != fkData && FFieldKind != fkInternalCalc) return false;
  return FDataSet != nullptr && FDataSet->Active() && FDataSet->CanModify();
}

void TField::Clear() { SetData(nullptr); }

std::string TField::DisplayText() {
  std::string s;
  if (FOnGetText)
    FOnGetText(this, s, true);
  else
    GetText(s, true);
  return s;
}

std::string TField::Text() {
  std::string s;
  if (FOnGetText)
    FOnGetText(this, s, false);
  else
    GetText(s, false);
  return s;
}

void TField::SetText(const std::string& V) {
  if (FOnSetText)
    FOnSetText(this, V);
  else
    SetAsString(V);
}

void TField::GetText(std::string& Text, bool DisplayText) {
  (void)DisplayText;
  Text = GetAsString();
}

Variant TField::OldValue() { return CheckedDataSet()->GetStateFieldValue(dsOldValue, this); }
Variant TField::NewValue() { return CheckedDataSet()->GetStateFieldValue(dsNewValue, this); }
Variant TField::CurValue() { return CheckedDataSet()->GetStateFieldValue(dsCurValue, this); }
void TField::SetNewValue(const Variant& V) { CheckedDataSet()->SetStateFieldValue(dsNewValue, this, V); }

void TField::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (auto* f = dynamic_cast<TField*>(Source)) {
    if (f->IsNull())
      Clear();
    else if (f->IsBlob() || IsBlob())
      SetAsBytes(f->AsBytes());
    else
      SetAsVariant(f->AsVariant());
    return;
  }
  TComponent::Assign(Source);
}

void TField::AssignValue(const Variant& V) {
  if (V.IsEmpty()) return;
  if (V.IsNull()) {
    Clear();
    return;
  }
  SetAsVariant(V);
}

bool TField::GetData(void* Buffer, bool NativeFormat) {
  TDataSet* ds = CheckedDataSet();
  if (FValidating) {
    if (FValidateBuffer == nullptr) return false;
    if (Buffer != nullptr) {
      if (NativeFormat)
        std::memcpy(Buffer, FValidateBuffer, static_cast<size_t>(GetDataSize()));
      else
        ds->DataConvert(this, FValidateBuffer, Buffer, false);
    }
    return true;
  }
  return ds->GetFieldData(this, Buffer, NativeFormat);
}

void TField::SetData(const void* Buffer, bool NativeFormat) {
  CheckedDataSet()->SetFieldData(this, Buffer, NativeFormat);
}

void TField::Validate(const void* Buffer) {
  if (!FOnValidate) return;
  FValidateBuffer = Buffer;
  FValidating = true;
  Finally done([this] {
    FValidating = false;
    FValidateBuffer = nullptr;
  });
  FOnValidate(this);
}

void TField::Change() {
  if (FOnChange) FOnChange(this);
}

void TField::CalcLookupValue() {
  if (FLookupDataSet == nullptr || !FLookupDataSet->Active() || FDataSet == nullptr) return;
  // The key values of this record, looked up in the lookup dataset.
  Variant key = FDataSet->FieldValues(FKeyFields);
  SetAsVariant(FLookupDataSet->Lookup(FLookupKeyFields, key, FLookupResultField));
}

void TField::Bind(bool Binding) {
  if (!Binding || FFieldKind != fkLookup) return;
  if (FLookupDataSet == nullptr || FKeyFields.empty() || FLookupKeyFields.empty() || FLookupResultField.empty())
    DatabaseErrorFmt("Lookup information for field '%s' is incomplete", FDataSet, DisplayName());
  // A lookup reads from an open dataset: it opens with the dataset that
  // uses it, and the names of both ends must exist there. The lookup
  // dataset stays open when this one closes; others may read from it.
  std::vector<TField*> fields;
  FDataSet->GetFieldList(fields, FKeyFields);
  if (FLookupDataSet != FDataSet) FLookupDataSet->Open();
  fields.clear();
  FLookupDataSet->GetFieldList(fields, FLookupKeyFields);
  FLookupDataSet->FieldByName(FLookupResultField);
}

bool TField::GetIsNull() {
  if (const uint8_t* slot = DirectSlot()) return slot[0] != 1;
  return !GetData(nullptr);
}

std::string TField::GetAsString() { AccessError("String"); }
void TField::SetAsString(const std::string& V) { (void)V; AccessError("String"); }
bool TField::GetAsBoolean() { AccessError("Boolean"); }
void TField::SetAsBoolean(bool V) { (void)V; AccessError("Boolean"); }
int32_t TField::GetAsInteger() { AccessError("Integer"); }
void TField::SetAsInteger(int32_t V) { (void)V; AccessError("Integer"); }
int64_t TField::GetAsLargeInt() { AccessError("LargeInt"); }
void TField::SetAsLargeInt(int64_t V) { (void)V; AccessError("LargeInt"); }
double TField::GetAsFloat() { AccessError("Float"); }
void TField::SetAsFloat(double V) { (void)V; AccessError("Float"); }
Currency TField::GetAsCurrency() { AccessError("Currency"); }
void TField::SetAsCurrency(Currency V) { (void)V; AccessError("Currency"); }
TDateTime TField::GetAsDateTime() { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime V) { (void)V; AccessError("DateTime"); }
TBcd TField::GetAsBCD() { AccessError("BCD"); }
void TField::SetAsBCD(const TBcd& V) { (void)V; AccessError("BCD"); }
Variant TField::GetAsVariant() { AccessError("Variant"); }
void TField::SetAsVariant(const Variant& V) { (void)V; AccessError("Variant"); }

TBytes TField::GetAsBytes() {
  int32_t n = GetDataSize();
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return {};
  return TBytes(buf, buf + n);
}

void TField::SetAsBytes(const TBytes& V) {
  int32_t n = GetDataSize();
  uint8_t* buf = WriteScratch();
  if (!V.empty()) std::memcpy(buf, V.data(), std::min(V.size(), static_cast<size_t>(n)));
  SetData(buf);
}

void TField::CheckTypeSize(int32_t Value) const {
  if (Value != 0) DatabaseError(dbmsg::SInvalidFieldSize, FDataSet);
}

void TField::AccessError(const char* TypeName) const {
  DatabaseErrorFmt(dbmsg::SInvalidTypeConversion, FDataSet, TypeName, DisplayName());
}

uint8_t* TField::Scratch() {
  size_t n = static_cast<size_t>(std::max(GetDataSize(), 0)) + 8;
  if (FScratch.size() < n) FScratch.resize(n);
  std::memset(FScratch.data(), 0, n);
  return FScratch.data();
}

// Inline: the common path of every read below. Only this file uses it.
inline const uint8_t* TField::DirectSlot() const {
  if (FRecordSlot < 0 || FValidating || FDataSet == nullptr) return nullptr;
  if (FDataSet->State() != dsBrowse || FDataSet->IsEmpty()) return nullptr;
  TRecordBuffer b = FDataSet->ActiveBuffer();
  return b != nullptr ? b + FRecordSlot : nullptr;
}

const uint8_t* TField::ReadNative() {
  if (const uint8_t* slot = DirectSlot()) return slot[0] == 1 ? slot + 1 : nullptr;
  uint8_t* buf = Scratch();
  return GetData(buf) ? buf : nullptr;
}

const uint8_t* TField::ReadValueForm() {
  const uint8_t* slot = DirectSlot();
  if (slot != nullptr && slot[0] != 1) return nullptr;
  uint8_t* buf = Scratch();
  if (slot != nullptr) {
    FDataSet->DataConvert(this, slot + 1, buf, false);
    return buf;
  }
  return GetData(buf, false) ? buf : nullptr;
}

uint8_t* TField::WriteScratch() {
  size_t n = static_cast<size_t>(std::max(GetDataSize(), 0)) + 8;
  if (FWriteScratch.size() < n) FWriteScratch.resize(n);
  std::memset(FWriteScratch.data(), 0, n);
  return FWriteScratch.data();
}

TDataSet* TField::CheckedDataSet() const {
  if (FDataSet == nullptr) DatabaseErrorFmt(dbmsg::SNoDataSet, nullptr, DisplayName());
  return FDataSet;
}

void TField::CheckInactive() const {
  if (FDataSet != nullptr) FDataSet->CheckInactive();
}

void TField::PropertyChanged(bool LayoutAffected) {
  if (FDataSet != nullptr && FDataSet->Active())
    FDataSet->DataEvent(LayoutAffected ? deLayoutChange : deDataSetChange, 0);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FLookupDataSet) FLookupDataSet = nullptr;
}

void TField::Shutdown() {
  if (FDataSet != nullptr) {
    // A field leaving an open dataset would leave the ring's layout stale.
    CleanupStep([this] { FDataSet->Close(); });
    FDataSet->RemoveField(this);
    FDataSet = nullptr;
  }
  TComponent::Shutdown();
}

}  // namespace dac
