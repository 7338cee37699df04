#include "tables/pv_table.h"

#include "engine/table_handle.h"
#include "errors/checks.h"
#include "errors/error_text.h"
#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/strings.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

TPvTable::TPvTable()
    : FIndexDefs(std::make_unique<TPvIndexDefs>(this)), FMasterLink(std::make_unique<TMasterDataLink>(this)) {
  FMasterLink->OnMasterChange = [this](TObject*) { MasterChanged(); };
  FMasterLink->OnMasterDisable = [this](TObject*) { MasterDisabled(); };
}

TPvTable::~TPvTable() = default;

void TPvTable::Shutdown() {
  if (Active()) CleanupStep([this] { ClearEngineRange(); });
  CleanupStep([this] { FMasterLink->SetDataSource(nullptr); });
  TPvDrmDataSet::Shutdown();
}

// ---- properties ------------------------------------------------------------------------

void TPvTable::SetTableName(const std::string& Value) {
  if (Value == FTableName) return;
  CheckInactive();
  FTableName = Value;
  DataEvent(dePropertyChange, 0);
}

void TPvTable::SetReadOnly(bool Value) {
  if (Value == FReadOnly) return;
  CheckInactive();
  FReadOnly = Value;
}

void TPvTable::SetExclusive(bool Value) {
  if (Value == FExclusive) return;
  CheckInactive();
  FExclusive = Value;
}

void TPvTable::SetTableOwner(const std::string& Value) {
  if (Value == FTableOwner) return;
  CheckInactive();
  FTableOwner = Value;
}

void TPvTable::SetIndexSelection(const std::string& Value, bool ByFields) {
  if (CachedUpdates() && !FSettingDefaultIndex) PvDatabaseError(this, SCapabilityNotSupported);
  const TBookmark bookmark = Active() ? GetBookmark() : TBookmark();
  const bool same = (ByFields ? Value == FIndexFieldNames : Value == FIndexName) && !FIndexName.empty() &&
                    !FIndexFieldNames.empty() && FIndexName != FIndexFieldNames;
  if (same) {
    FFieldsIndex = ByFields;
  } else {
    if (Active()) CheckBrowseMode();
    ChangeIndexSelection(Value, ByFields);
  }
  // The record that was current stays current in the new order.
  if (Active() && !bookmark.empty()) GotoBookmark(bookmark);
}

void TPvTable::ChangeIndexSelection(const std::string& Value, bool ByFields) {
  const std::string oldName = FIndexName, oldFields = FIndexFieldNames;
  const bool oldByFields = FFieldsIndex;
  Finally restore([&] {
    FIndexName = oldName;
    FIndexFieldNames = oldFields;
    FFieldsIndex = oldByFields;
  });
  std::string name = ByFields ? std::string() : Value;
  std::string fields = ByFields ? Value : std::string();
  if (Active()) {
    const std::string resolved = ResolveIndexName(Value, Value, ByFields);
    ChangeEngineIndex(resolved);
    // A default index chosen for an empty name stays unnamed.
    name = (FDefaultIndex && !ByFields && Value.empty()) ? std::string() : resolved;
    fields = IndexSegmentNames(name);
  }
  FIndexName = name;
  FIndexFieldNames = fields;
  FFieldsIndex = ByFields;
  // A closed table learns its index fields when it opens: reading them now
  // would connect to the database (and fail on a name not yet valid).
  if (Active() && !ComponentState().Contains(csLoading)) {
    GetIndexInfo();
    PvInternalRefresh();
    RefreshMasterRange();
    Resync({});
  }
  restore.Dismiss();
}

std::string TPvTable::IndexSegmentNames(const std::string& Index) {
  std::string fields;
  TDRMIndexInfoCollection* catalog = GetIndexCatalog();
  for (int32_t i = 0; i < catalog->Count(); ++i) {
    const TDRMIndexInfo* seg = catalog->Items(i);
    if (seg->IndexName != Index) continue;
    if (!fields.empty()) fields += ';';
    fields += seg->IndexedColumnName;
  }
  return fields;
}

void TPvTable::ChangeEngineIndex(const std::string& Name) {
  // A range belongs to the index it was given on.
  ClearEngineRange();
  UpdateCursorPos();
  {
    THourGlass hourglass(GetDBSession());
    const int32_t s = RareSetTableIndex(SesHandle(), FHandle, Name.c_str());
    if (s != drmdataset::kNoInsertPossible && s != drmdataset::kRecordGone) {
      CheckStatus(s);
      PvInternalRefresh();
    }
  }
  FIndexFieldCount = 0;
  // The record buffers are rebuilt for the new order; a dataset whose
  // buffers cannot be rebuilt is of no use and closes.
  Finally close([this] { Close(); });
  SetBufListSize(0);
  InitBufferPointers(true);
  SetBufListSize(BufferCount() + 1);
  close.Dismiss();
}

void TPvTable::SetDefaultIndex(bool Value) {
  if (Value == FDefaultIndex) return;
  const std::string name = FIndexName;
  FDefaultIndex = Value;
  if (ComponentState().Contains(csLoading) || FFieldsIndex) return;
  FSettingDefaultIndex = true;
  Finally settled([this] { FSettingDefaultIndex = false; });
  SetIndexSelection(name, false);
}

// ---- handles ---------------------------------------------------------------------------

uint32_t TPvTable::GetHandle(const std::string& IndexName) {
  TPvDatabase* db = Database();
  if (db->ReadOnly()) FReadOnly = true;
  const int32_t mode = ((FReadOnly || db->ReadOnly()) ? DRM_TBLOPEN_READONLY : DRM_TBLOPEN_NORMAL) +
                       ((FExclusive || db->Exclusive()) ? DRM_TBLOPEN_EXCLUSIVE : DRM_TBLOPEN_NORMAL);
  const uint32_t S = SesHandle();
  TEngineTableHandle T(S, 0);
  {
    THourGlass hourglass(GetDBSession());
    try {
      for (;;) {
        const int32_t s = RareOpenTable(S, db->Handle(), FTableName.c_str(), 0, mode, T.Out());
        if (CheckOpen(s)) break;
      }
    } catch (Exception& e) {
      const std::string desc = DescribeComponent(this);
      if (e.Message().find(desc) == std::string::npos) {
        std::string message = e.Message();
        AppendWithSeparator(message, desc);
        e.SetMessage(message);
      }
      throw;
    }
  }
  const uint8_t secured = db->IsSecured() ? 1 : 0;
  CheckStatus(RareSetTableOption(T.Get(), DRM_TBLOPT_SECURED, &secured));
  CheckStatus(RareSetTableOption(T.Get(), DRM_TBLOPT_OWNER, FTableOwner.c_str()));
  if (!IndexName.empty()) CheckStatus(RareSetTableIndex(S, T.Get(), IndexName.c_str()));
  return T.Release();
}

void TPvTable::CreateHandle() {
  if (FTableName.empty()) PvDatabaseError(this, SMissingTableName);
  FIndexDefs->SetUpdated(false);
  FHandle = GetHandle(std::string());
  // A handle whose index cannot be chosen is of no use to anyone.
  Finally discard([this] { DestroyHandle(); });
  const std::string name = ResolveIndexName(FIndexName, FIndexFieldNames, FFieldsIndex);
  if (!name.empty()) CheckStatus(RareSetTableIndex(SesHandle(), FHandle, name.c_str()));
  discard.Dismiss();
}

// ---- index selection ---------------------------------------------------------------------

std::string TPvTable::ResolveIndexName(const std::string& Name, const std::string& Fields, bool ByFields) {
  std::string result = Name;
  bool updated = false;
  if (!Name.empty() || !Fields.empty()) {
    FIndexDefs->Update();
    updated = true;
    result = ByFields ? FIndexDefs->FindIndexForFields(Fields)->Name() : FIndexDefs->Find(Name)->Name();
  }
  if (result.empty() && FDefaultIndex) {
    if (!updated) FIndexDefs->Update();
    if (FIndexDefs->Count() > 0) result = FIndexDefs->Items(0)->Name();
  }
  return result;
}

std::string TPvTable::GetActiveIndexName() {
  if (FTableName.empty()) PvDatabaseError(this, SMissingTableName);
  return ResolveIndexName(FIndexName, FIndexFieldNames, FFieldsIndex);
}

void TPvTable::AfterCursorOpen() {
  // Resolved again so that a bad IndexName or IndexFieldNames fails the
  // open.
  ResolveIndexName(FIndexName, FIndexFieldNames, FFieldsIndex);
  RefreshMasterRange();
}

// ---- index definitions ------------------------------------------------------------------

void TPvTable::ReadIndexDefs() {
  TDBFlagScope indexList(this, dbfIndexList);
  FIndexDefs->Clear();
  auto build = [this](TDRMIndexInfoCollection* catalog) {
    const int32_t n = catalog->IndexCount();
    FIndexDefs->Clear();
    for (int32_t k = 0; k < n; ++k) {
      std::string name;
      catalog->GetIndexNameByNumber(k, name);
      std::string fields;
      TIndexOptions options;
      for (int32_t i = 0; i < catalog->Count(); ++i) {
        const TDRMIndexInfo* seg = catalog->Items(i);
        if (seg->IndexName != name) continue;
        if (!fields.empty()) fields += ';';
        fields += seg->IndexedColumnName;
        if ((seg->grBitIndex & DRM_IDXFLAG_UNIQUE) != 0) options.Include(ixUnique);
        if ((seg->grBitIndex & DRM_IDXFLAG_PRIMARY) != 0) options.Include(ixPrimary);
        if ((seg->grBitIndex & DRM_IDXFLAG_CASE_SENSITIVE) == 0) options.Include(ixCaseInsensitive);
        if ((seg->grBitColumn & DRM_SEGFLAG_DESCENDING) != 0) options.Include(ixDescending);
      }
      FIndexDefs->Add(name, fields, options);
    }
  };
  if (FHandle != 0) {
    build(GetIndexCatalog());
    return;
  }
  THourGlass hourglass(GetDBSession());
  const uint32_t S = SesHandle();
  const TEngineTableHandle T(S, GetHandle(std::string()));
  TDRMIndexInfoCollection catalog(this);
  catalog.SetIndexInfo(static_cast<int32_t>(S), T.Get());
  build(&catalog);
}

void TPvTable::GetIndexNames(TStrings* List) {
  FIndexDefs->Update();
  TUpdateScope update(List);
  List->Clear();
  for (int32_t i = 0; i < FIndexDefs->Count(); ++i) {
    const std::string& name = FIndexDefs->Items(i)->Name();
    if (!name.empty()) List->Add(name);
  }
}

void TPvTable::DataEvent(TDataEvent Event, intptr_t Info) {
  TTraceScope trace(TraceDataEvent, kTraceDataEvent, "TPvTable.DataEvent");
  if (Event == dePropertyChange) FIndexDefs->SetUpdated(false);
  if (Event == deRecordChange) {
    if (Designer() != nullptr && State() != dsBlockRead) Designer()->DataEvent(Event, Info);
    return;
  }
  TPvDrmDataSet::DataEvent(Event, Info);
}

}  // namespace dac
