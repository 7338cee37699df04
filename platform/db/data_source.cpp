#include "platform/db/data_source.h"

#include <algorithm>

#include "platform/db/dataset.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

// ---- TDataSource -----------------------------------------------------------------

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (IsLinkedTo(Value)) DatabaseError(dbmsg::SCircularDataLink, this);
  if (FDataSet != nullptr) {
    FDataSet->UnRegisterDataSource(this);
    RemoveFreeNotification(FDataSet);
    FDataSet = nullptr;
    ProcessEvent(deUpdateState, 0);
  }
  if (Value != nullptr) {
    FDataSet = Value;
    FreeNotification(Value);
    Value->RegisterDataSource(this);
    ProcessEvent(deUpdateState, 0);
  }
}

void TDataSource::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  ProcessEvent(deUpdateState, 0);
}

void TDataSource::Edit() {
  if (FAutoEdit && FDataSet != nullptr && FDataSet->State() == dsBrowse) FDataSet->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* DataSet) const {
  // A chain that does not end within this many steps is a cycle already.
  for (int guard = 0; DataSet != nullptr && guard < 10000; ++guard) {
    TDataSource* src = DataSet->GetDataSource();
    if (src == nullptr) return false;
    if (src == this) return true;
    DataSet = src->DataSet();
  }
  return DataSet != nullptr;
}

void TDataSource::ProcessEvent(TDataEvent Event, intptr_t Info) {
  bool needDataChange = true;
  if (Event == deUpdateState) {
    needDataChange = FState == dsInactive;
    TDataSetState last = FState;
    FState = (FDataSet != nullptr && FEnabled) ? FDataSet->State() : dsInactive;
    if (FState == last) return;
  } else if (FState == dsInactive) {
    return;
  }
  DistributeEvent(Event, Info);
  if (ComponentState().Contains(csDestroying)) return;
  switch (Event) {
    case deUpdateState:
      if (OnStateChange) OnStateChange(this);
      if (needDataChange && OnDataChange) OnDataChange(this, nullptr);
      break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, nullptr);
      break;
    case deFieldChange:
      if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(Info));
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::DistributeEvent(TDataEvent Event, intptr_t Info) {
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* l : links)
    if (std::find(FDataLinks.begin(), FDataLinks.end(), l) != FDataLinks.end()) l->DataEvent(Event, Info);
}

void TDataSource::RegisterDataLink(TDataLink* Link) {
  FDataLinks.push_back(Link);
  if (FDataSet != nullptr) FDataSet->RecalcBufListSize();
}

void TDataSource::UnregisterDataLink(TDataLink* Link) {
  auto it = std::find(FDataLinks.begin(), FDataLinks.end(), Link);
  if (it != FDataLinks.end()) FDataLinks.erase(it);
}

void TDataSource::DataSetFreed() {
  if (FDataSet != nullptr) RemoveFreeNotification(FDataSet);
  FDataSet = nullptr;
  ProcessEvent(deUpdateState, 0);
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDataSet) {
    FDataSet = nullptr;
    ProcessEvent(deUpdateState, 0);
  }
}

void TDataSource::Shutdown() {
  std::vector<TDataLink*> links = FDataLinks;
  FDataLinks.clear();
  for (TDataLink* l : links) l->DataSourceFreed();
  if (FDataSet != nullptr) {
    FDataSet->UnRegisterDataSource(this);
    RemoveFreeNotification(FDataSet);
    FDataSet = nullptr;
  }
  TComponent::Shutdown();
}

// ---- TDataLink -------------------------------------------------------------------

TDataLink::~TDataLink() {
  if (FDataSource != nullptr) FDataSource->UnregisterDataLink(this);
}

TDataSet* TDataLink::DataSet() const { return FDataSource != nullptr ? FDataSource->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == FDataSource) return;
  if (FDataSource != nullptr) {
    FDataSource->UnregisterDataLink(this);
    FDataSource = nullptr;
    CheckActiveAndEditing();
  }
  FDataSource = Value;
  if (Value != nullptr) {
    Value->RegisterDataLink(this);
    CheckActiveAndEditing();
  }
}

void TDataLink::SetReadOnly(bool Value) {
  if (Value == FReadOnly) return;
  FReadOnly = Value;
  CheckActiveAndEditing();
}

void TDataLink::CheckActiveAndEditing() {
  TDataSetState s = FDataSource != nullptr ? FDataSource->State() : dsInactive;
  bool active = s != dsInactive && s != dsOpening;
  if (active != FActive) {
    FActive = active;
    ActiveChanged();
  }
  bool editing = dsEditModes.Contains(s) && !FReadOnly;
  if (editing != FEditing) {
    FEditing = editing;
    EditingChanged();
  }
}

void TDataLink::SetActive(bool Value) {
  if (Value == FActive) return;
  FActive = Value;
  ActiveChanged();
}

void TDataLink::SetBufferCount(int32_t Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount) return;
  FBufferCount = Value;
  if (FActive && DataSet() != nullptr) {
    DataSet()->RecalcBufListSize();
    CalcRange();
  }
}

int32_t TDataLink::ActiveRecord() const {
  TDataSet* ds = DataSet();
  return ds != nullptr ? ds->FActiveRecord - FFirstRecord : 0;
}

void TDataLink::SetActiveRecord(int32_t Value) {
  if (TDataSet* ds = DataSet()) ds->FActiveRecord = Value + FFirstRecord;
}

int32_t TDataLink::RecordCount() const {
  TDataSet* ds = DataSet();
  if (ds == nullptr) return 0;
  return std::min(ds->FRecordCount, FBufferCount);
}

bool TDataLink::Bof() const { return DataSet() != nullptr && DataSet()->Bof(); }
bool TDataLink::Eof() const { return DataSet() != nullptr && DataSet()->Eof(); }
int32_t TDataLink::MoveBy(int32_t Distance) { return DataSet()->MoveBy(Distance); }

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource != nullptr) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdatingRecord = true;
  Finally done([this] { FUpdatingRecord = false; });
  UpdateData();
}

int32_t TDataLink::CalcFirstRecord(int32_t Index) {
  TDataSet* ds = DataSet();
  if (ds == nullptr) return 0;
  int32_t result = 0;
  int32_t active = ds->FActiveRecord;
  if (active > FFirstRecord + Index + FBufferCount - 1)
    result = active - (FFirstRecord + Index + FBufferCount - 1);
  else if (active < FFirstRecord + Index)
    result = active - (FFirstRecord + Index);
  FFirstRecord += Index + result;
  return result;
}

void TDataLink::CalcRange() {
  TDataSet* ds = DataSet();
  if (ds == nullptr) {
    FFirstRecord = 0;
    return;
  }
  int32_t lo = std::max(ds->FActiveRecord - FBufferCount + 1, 0);
  int32_t hi = std::max(ds->BufferCount() - FBufferCount, 0);
  hi = std::min(hi, ds->FActiveRecord);
  FFirstRecord = std::clamp(FFirstRecord, std::min(lo, hi), hi);
  if (FFirstRecord != 0 && ds->FActiveRecord - FFirstRecord < FBufferCount - 1) --FFirstRecord;
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdatingRecord) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
      SetActive(DataSet() != nullptr && DataSet()->Active());
      CalcRange();
      CalcFirstRecord(static_cast<int32_t>(Info));
      DataSetChanged();
      break;
    case deDataSetScroll:
      DataSetScrolled(CalcFirstRecord(static_cast<int32_t>(Info)));
      break;
    case deLayoutChange:
      CalcFirstRecord(static_cast<int32_t>(Info));
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deUpdateState:
      CheckActiveAndEditing();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField**>(Info));
      break;
    default:
      break;
  }
}

// ---- TMasterDataLink ----------------------------------------------------------------

void TMasterDataLink::SetFieldNames(const std::string& Value) {
  if (Value == FFieldNames) return;
  FFieldNames = Value;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  TDataLink::ActiveChanged();
  FFields.clear();
  if (Active()) {
    Finally clearOnFailure([this] { FFields.clear(); });
    DataSet()->GetFieldList(FFields, FFieldNames);
    clearOnFailure.Dismiss();
  }
  if (FDetailDataSet != nullptr && FDetailDataSet->Active() &&
      !FDetailDataSet->ComponentState().Contains(csDestroying)) {
    if (Active() && !FFields.empty())
      DoMasterChange();
    else
      DoMasterDisable();
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDetailDataSet != nullptr && FDetailDataSet->Active()) FDetailDataSet->CheckBrowseMode();
}

void TMasterDataLink::RecordChanged(TField* Field) {
  if (DataSource() == nullptr || DataSource()->State() == dsSetKey) return;
  if (FDetailDataSet == nullptr || !FDetailDataSet->Active() || FFields.empty()) return;
  if (Field == nullptr || std::find(FFields.begin(), FFields.end(), Field) != FFields.end()) DoMasterChange();
}

void TMasterDataLink::DoMasterChange() {
  if (OnMasterChange) OnMasterChange(this);
}

void TMasterDataLink::DoMasterDisable() {
  if (OnMasterDisable) OnMasterDisable(this);
}

}  // namespace dac
