// TDataSet: states, data events to the data sources, and the control
// brackets.

#include "platform/db/dataset.h"

#include <algorithm>

#include "platform/db/data_source.h"

namespace dac {

// ---- state, events, controls --------------------------------------------------------

void TDataSet::SetState(TDataSetState Value) {
  if (Value == FState) return;
  FState = Value;
  if (Value == dsBrowse) FModified = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState old = FState;
  FState = Value;
  ++FDisableCount;
  return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
  if (FDisableCount > 0) --FDisableCount;
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deFieldChange) {
    auto* field = reinterpret_cast<TField*>(Info);
    if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) SetModified(true);
    if (FState != dsSetKey) {
      if (field->FieldKind() == fkData && FAutoCalcFields && (FCalcFieldsSize != 0 || FInternalCalcFields))
        CalculateFields(ActiveBuffer());
      field->Change();
    }
  } else if (Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
  if (!FDataSources.empty() && !ControlsDisabled() && FState != dsBlockRead) {
    // A source may leave (or a new one register) while it handles the event.
    std::vector<TDataSource*> sources = FDataSources;
    for (TDataSource* ds : sources)
      if (std::find(FDataSources.begin(), FDataSources.end(), ds) != FDataSources.end())
        ds->ProcessEvent(Event, Info);
  }
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount > 0) --FDisableCount;
  if (FDisableCount == 0) {
    if (FState != FDisableState) DataEvent(deUpdateState, 0);
    if (FState != dsInactive && FDisableState != dsInactive) DataEvent(FEnableEvent, 0);
  }
}

void TDataSet::RegisterDataSource(TDataSource* DataSource) {
  FDataSources.push_back(DataSource);
  RecalcBufListSize();
}

void TDataSet::UnRegisterDataSource(TDataSource* DataSource) {
  auto it = std::find(FDataSources.begin(), FDataSources.end(), DataSource);
  if (it != FDataSources.end()) FDataSources.erase(it);
}

bool TDataSet::IsLinkedTo(TDataSource* DataSource) {
  // Walk the chain of masters; a chain longer than the number of datasets
  // that could take part would be a cycle already.
  for (int guard = 0; DataSource != nullptr && guard < 10000; ++guard) {
    TDataSet* ds = DataSource->DataSet();
    if (ds == nullptr) return false;
    if (ds == this) return true;
    DataSource = ds->GetDataSource();
  }
  return false;
}

void TDataSet::SetBlockReadSize(int32_t Value) {
  if (Value > 0) {
    CheckActive();
    FBlockReadSize = Value;
    SetState(dsBlockRead);
  } else {
    FBlockReadSize = 0;
    if (FState == dsBlockRead) SetState(dsBrowse);
  }
}

}  // namespace dac
