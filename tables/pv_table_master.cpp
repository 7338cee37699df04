// TPvTable: the master-detail link. A detail table follows the record of
// its master data source: the master's MasterFields become both ends of a
// range on the detail's active index, so the detail shows the records whose
// leading index fields equal them. Posts of master or detail records keep
// the position rules of the link; the provider operations hand a table's
// parameters to a range the same way.
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/db/field.h"
#include "platform/db/params.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"
#include "tables/pv_table.h"

namespace dac {

void TPvTable::SetMasterSource(TDataSource* Value) {
  if (Value != nullptr && IsLinkedTo(Value)) PvDatabaseError(this, dbmsg::SCircularDataLink);
  FMasterLink->SetDataSource(Value);
}

bool TPvTable::InMasterDetailLink() { return !MasterFields().empty() && MasterSource() != nullptr; }

void TPvTable::LoadMasterKeys(const std::vector<TField*>& Fields) {
  if (FIndexFieldCount == 0) PvDatabaseError(this, SNoIndexActive);
  {
    const TDataSetState saved = SetTempState(dsSetKey);
    const bool wasModified = Modified();
    Finally restore([&] {
      RestoreState(saved);
      SetModified(wasModified);
    });
    FKeyBuffer = FKeyBuffers[kiRangeStart];
    ClearKeyBuffer(kiRangeStart);
    KeyHeader(FKeyBuffer)->Modified = true;
    for (size_t i = 0; i < Fields.size(); ++i) IndexFieldAt(static_cast<int32_t>(i))->SetValue(Fields[i]->Value());
    KeyHeader(FKeyBuffer)->FieldCount = static_cast<int32_t>(Fields.size());
  }
  CopyKeyBuffer(kiRangeStart, kiRangeEnd);
}

void TPvTable::MasterChanged() {
  CheckBrowseMode();
  LoadMasterKeys(FMasterLink->Fields());
  ApplyRange();
}

void TPvTable::RefreshMasterRange() {
  if (!FMasterLink->Active() || FMasterLink->Fields().empty()) return;
  LoadMasterKeys(FMasterLink->Fields());
  if (!ApplyEngineRange()) return;
  // While opening, the ring is filled from the first record afterwards.
  if (Active())
    First();
  else
    PvInternalFirst(true);
}

void TPvTable::DoOnNewRecord() {
  if (FMasterLink->Active()) {
    const std::vector<TField*>& master = FMasterLink->Fields();
    for (size_t i = 0; i < master.size(); ++i) IndexFieldAt(static_cast<int32_t>(i))->SetValue(master[i]->Value());
  }
  TPvDrmDataSet::DoOnNewRecord();
}

TIndexDef* TPvTable::ChosenIndexDef(bool FieldsMustExist) {
  FIndexDefs->Update();
  auto fieldsExist = [&](TIndexDef* Def) {
    if (Def == nullptr || !FieldsMustExist) return Def != nullptr;
    try {
      std::vector<TField*> list;
      GetFieldList(list, Def->Fields());
      return true;
    } catch (Exception&) {
      return false;
    }
  };
  TIndexDef* def = nullptr;
  if (!FIndexName.empty())
    def = FIndexDefs->Find(FIndexName);
  else if (!FIndexFieldNames.empty())
    def = FIndexDefs->GetIndexForFields(FIndexFieldNames, false);
  return fieldsExist(def) ? def : nullptr;
}

void TPvTable::GetDetailLinkFields(std::vector<TField*>& AMasterFields, std::vector<TField*>& ADetailFields) {
  AMasterFields.clear();
  ADetailFields.clear();
  TDataSource* source = MasterSource();
  if (source == nullptr || source->DataSet() == nullptr || MasterFields().empty()) return;
  source->DataSet()->GetFieldList(AMasterFields, MasterFields());
  TIndexDef* def = ChosenIndexDef(false);
  for (int32_t i = 0; def == nullptr && i < FIndexDefs->Count(); ++i)
    if (FIndexDefs->Items(i)->Options().Contains(ixPrimary)) def = FIndexDefs->Items(i);
  if (def != nullptr) GetFieldList(ADetailFields, def->Fields());
}

int32_t TPvTable::GetNextRecords() {
  FInMasterDetailRelationShip = InMasterDetailLink();
  return TPvDrmDataSet::GetNextRecords();
}

int32_t TPvTable::GetPriorRecords() {
  FInMasterDetailRelationShip = InMasterDetailLink();
  return TPvDrmDataSet::GetPriorRecords();
}

bool TPvTable::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  FInMasterDetailRelationShip = InMasterDetailLink();
  FShouldCheckForEmpty = !FInMasterDetailRelationShip;
  return TPvDrmDataSet::Locate(KeyFields, KeyValues, Options);
}

// ---- posting and resync ------------------------------------------------------------------------

bool TPvTable::IsMasterOfAnyTable() {
  for (int32_t i = 0; i < DataSourceCount(); ++i) {
    TDataSource* source = DataSources(i);
    for (int32_t k = 0; k < source->DataLinkCount(); ++k) {
      auto* link = dynamic_cast<TDetailDataLink*>(source->DataLinks(k));
      if (link != nullptr && dynamic_cast<TPvTable*>(link->DetailDataSet()) != nullptr) return true;
    }
  }
  return false;
}

void TPvTable::PvInternalPost() {
  FWasAtEOF = Eof();
  TPvDrmDataSet::PvInternalPost();
  FJustDidADetailPost = MasterSource() != nullptr;
  FJustDidAMasterPost = IsMasterOfAnyTable();
}

void TPvTable::DoAfterPost() {
  FJustDidADetailPost = FJustDidAMasterPost = FWasAtEOF = false;
  TPvDrmDataSet::DoAfterPost();
  if (Bof() && Eof()) Resync({});
}

void TPvTable::Resync(TResyncMode Mode) {
  TTraceScope trace(TraceRefresh, kTraceRefresh, "TPvTable.Resync");
  // A detail record appended at the end stays where it was posted.
  if (FJustDidADetailPost && FWasAtEOF) return;
  if (FJustDidAMasterPost) {
    TPvDrmDataSet::Resync(Mode);
    return;
  }
  PvInternalRefresh();
  TPvDrmDataSet::Resync(Mode);
  if (FDidAnInitInsert) {
    Finally settled([this] { FDidAnInitInsert = false; });
    CheckStatus(RareInitUpdate(SesHandle(), FHandle, DRM_INITUPD_RELEASE));
  }
}

void TPvTable::GotoCurrent(TPvTable* Table) {
  CheckBrowseMode();
  Table->CheckBrowseMode();
  if (!AnsiSameText(DatabaseName(), Table->DatabaseName()) || !AnsiSameText(TableName(), Table->TableName()))
    PvDatabaseError(this, SIncompatibleTables);
  Table->UpdateCursorPos();
  GotoBookmark(Table->GetBookmark());
}

// ---- provider operations -----------------------------------------------------------------------

void TPvTable::PSSetParams(TParams* Params) {
  auto assign = [&] {
    for (int32_t i = 0; i < Params->Count(); ++i) {
      TParam* p = Params->Items(i);
      TField* f = p->Name().empty() ? IndexFieldAt(i) : FieldByName(p->Name());
      f->SetValue(p->Value());
    }
  };
  if (Params != nullptr && Params->Count() > 0) {
    Open();
    SetRangeStart();
    assign();
    SetRangeEnd();
    assign();
    ApplyRange();
  } else if (Active()) {
    CancelRange();
  }
  TPvDrmDataSet::PSReset();
}

std::unique_ptr<TIndexDef> TPvTable::PSGetDefaultOrder() {
  TIndexDef* def = nullptr;
  try {
    def = ChosenIndexDef(true);
  } catch (Exception&) {
    def = nullptr;
  }
  auto firstWith = [this](TIndexOption Option) -> TIndexDef* {
    for (int32_t i = 0; i < FIndexDefs->Count(); ++i) {
      TIndexDef* d = FIndexDefs->Items(i);
      if (!d->Options().Contains(Option)) continue;
      try {
        std::vector<TField*> list;
        GetFieldList(list, d->Fields());
        return d;
      } catch (Exception&) {
      }
    }
    return nullptr;
  };
  if (def == nullptr) def = firstWith(ixPrimary);
  if (def == nullptr) def = firstWith(ixUnique);
  if (def == nullptr) return nullptr;
  auto copy = std::make_unique<TIndexDef>(def->Name(), def->Fields(), def->Options());
  copy->Assign(def);
  return copy;
}

std::unique_ptr<TIndexDefs> TPvTable::PSGetIndexDefs(TIndexOptions Types) {
  return GetIndexDefs(FIndexDefs.get(), Types);
}

}  // namespace dac
