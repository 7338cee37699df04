#pragma once
// TPvTable: the table component, a DRM dataset bound to one named engine
// table. It opens the table's handle (open mode from its own and its
// database's read-only and exclusive settings, a password prompt and retry
// on a security status, the owner name checked after every open), chooses
// the index to activate from IndexName, IndexFieldNames and DefaultIndex
// (also on an open table, keeping the current record), and keeps its index
// definitions, rebuilt from the engine's index catalog.
//
// Keyed search and ranges (pv_table_keys.cpp) work on the active index;
// a master-detail link (pv_table_master.cpp) keeps the table on the range
// of records whose index fields equal the master's MasterFields.

#include <cstdint>
#include <memory>
#include <string>

#include "dataset/pv_index_defs.h"
#include "platform/db/data_source.h"
#include "errors/error_interfaces.h"
#include "tables/pv_drm_dataset.h"

namespace dac {

class TStrings;

class TPvTable : public TPvDrmDataSet, public IPvTableDescription {
 public:
  TPvTable();
  ~TPvTable() override;

  // ---- properties -----------------------------------------------------------------
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& Value);
  const std::string& IndexName() const { return FIndexName; }
  void SetIndexName(const std::string& Value) { SetIndexSelection(Value, false); }
  const std::string& IndexFieldNames() const { return FIndexFieldNames; }
  void SetIndexFieldNames(const std::string& Value) { SetIndexSelection(Value, !Value.empty()); }
  bool DefaultIndex() const { return FDefaultIndex; }
  void SetDefaultIndex(bool Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  // The table's owner name (the engine's table password); "Owner" is the
  // component's owner in C++.
  const std::string& TableOwner() const { return FTableOwner; }
  void SetTableOwner(const std::string& Value);
  TPvIndexDefs* IndexDefs() const { return FIndexDefs.get(); }
  int32_t IndexFieldCount() const { return FIndexFieldCount; }

  // ---- operations ------------------------------------------------------------------
  // Opens a new engine handle on the table (with IndexName active when not
  // empty) and returns it; the caller closes it.
  uint32_t GetHandle(const std::string& IndexName);
  // The index named Name, or the one over Fields when ByFields, or the
  // first index when neither is given and DefaultIndex is on.
  std::string ResolveIndexName(const std::string& Name, const std::string& Fields, bool ByFields);
  // Rebuilds IndexDefs from the engine's index catalog.
  void ReadIndexDefs();
  // The names of the table's indexes.
  void GetIndexNames(TStrings* List);
  void DataEvent(TDataEvent Event, intptr_t Info) override;
  // An empty table answers "not found" without a search.
  bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;

  // ---- keyed search and ranges (pv_table_keys.cpp) --------------------------------
  // Key edits of the lookup key: SetKey starts from an empty key, EditKey
  // from the last one.
  void SetKey() { BeginKeyEdit(kiLookup, true); }
  void EditKey() { BeginKeyEdit(kiLookup, false); }
  // Goes to the record whose index fields equal the lookup key; false (the
  // record unchanged) when there is none.
  bool GotoKey();
  // Goes to the first record at or after the lookup key, else the last.
  void GotoNearest();
  bool FindKey(const std::vector<Variant>& Values);
  void FindNearest(const std::vector<Variant>& Values);
  void SetRangeStart() { BeginKeyEdit(kiRangeStart, true); }
  void SetRangeEnd() { BeginKeyEdit(kiRangeEnd, true); }
  void EditRangeStart() { BeginKeyEdit(kiRangeStart, false); }
  void EditRangeEnd() { BeginKeyEdit(kiRangeEnd, false); }
  void SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues);
  void ApplyRange();
  void CancelRange();

  // ---- master-detail (pv_table_master.cpp) -----------------------------------------
  TDataSource* MasterSource() const { return FMasterLink->DataSource(); }
  void SetMasterSource(TDataSource* Value);
  const std::string& MasterFields() const { return FMasterLink->FieldNames(); }
  void SetMasterFields(const std::string& Value) { FMasterLink->SetFieldNames(Value); }
  TDataSource* GetDataSource() override { return FMasterLink->DataSource(); }
  void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) override;
  // Goes to the record Table stands on; both must be the same table.
  void GotoCurrent(TPvTable* Table);
  void Resync(TResyncMode Mode) override;
  // Whether a table uses this one as its master through a data source.
  bool IsMasterOfAnyTable();
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() override;
  std::unique_ptr<TIndexDefs> PSGetIndexDefs(TIndexOptions Types) override;
  void PSSetParams(TParams* Params) override;

  // IPvTableDescription
  std::string DescTableName() const override { return FTableName; }
  std::string DescDatabaseName() const override { return DatabaseName(); }

 protected:
  void CreateHandle() override;
  std::string GetActiveIndexName() override;
  void AfterCursorOpen() override;
  void UpdateIndexDefs() override { ReadIndexDefs(); }
  void DefChanged(TObject* Sender) override { (void)Sender; }
  void Shutdown() override;
  // Master-detail bookkeeping around the engine post.
  void PvInternalPost() override;
  void DoAfterPost() override;
  void DoOnNewRecord() override;
  int32_t GetNextRecords() override;
  int32_t GetPriorRecords() override;

 private:
  void SetIndexSelection(const std::string& Value, bool ByFields);
  // Stores a new index choice (and activates it on an open table); the old
  // choice comes back when that fails.
  void ChangeIndexSelection(const std::string& Value, bool ByFields);
  // Activates index Name on the engine cursor and rebuilds the buffers.
  void ChangeEngineIndex(const std::string& Name);
  // The ";"-joined column names of the index's segments, in catalog order.
  std::string IndexSegmentNames(const std::string& Index);

  // Master-detail (pv_table_master.cpp).
  void MasterChanged();
  void MasterDisabled() { CancelRange(); }
  // The master's values become both ends of the range.
  void LoadMasterKeys(const std::vector<TField*>& Fields);
  // After an open or an index change: the range of the current master.
  void RefreshMasterRange();
  bool InMasterDetailLink();
  // The definition of the active index choice, or null.
  TIndexDef* ChosenIndexDef(bool FieldsMustExist);

  std::unique_ptr<TPvIndexDefs> FIndexDefs;
  std::unique_ptr<TMasterDataLink> FMasterLink;
  bool FJustDidADetailPost = false;
  bool FJustDidAMasterPost = false;
  bool FWasAtEOF = false;
  bool FDefaultIndex = true;
  bool FFieldsIndex = false;
  bool FSettingDefaultIndex = false;
  std::string FIndexName;
  std::string FIndexFieldNames;
  std::string FTableName;
  std::string FTableOwner;
  bool FReadOnly = false;
  bool FExclusive = false;
};

}  // namespace dac
