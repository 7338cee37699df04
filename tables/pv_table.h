#pragma once
// TPvTable: the table component, a DRM dataset bound to one named engine
// table. It opens the table's handle (open mode from its own and its
// database's read-only and exclusive settings, a password prompt and retry
// on a security status, the owner name checked after every open), chooses
// the index to activate from IndexName, IndexFieldNames and DefaultIndex,
// and keeps its index definitions, rebuilt from the engine's index catalog.
//
// Changing the index of an open table, keys, ranges and master-detail links
// belong to the keys layer: setting IndexName or IndexFieldNames on an open
// table raises "Changing the index of an open table is not supported yet".

#include <cstdint>
#include <memory>
#include <string>

#include "dataset/pv_index_defs.h"
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

  // IPvTableDescription
  std::string DescTableName() const override { return FTableName; }
  std::string DescDatabaseName() const override { return DatabaseName(); }

 protected:
  void CreateHandle() override;
  std::string GetActiveIndexName() override;
  void AfterCursorOpen() override;
  void UpdateIndexDefs() override { ReadIndexDefs(); }

 private:
  void SetIndexSelection(const std::string& Value, bool ByFields);
  // Stores a new index choice (and activates it on an open table); the old
  // choice comes back when that fails.
  void ChangeIndexSelection(const std::string& Value, bool ByFields);
  // Activates index Name on the engine cursor and rebuilds the buffers.
  void ChangeEngineIndex(const std::string& Name);
  // The ";"-joined column names of the index's segments, in catalog order.
  std::string IndexSegmentNames(const std::string& Index);

  std::unique_ptr<TPvIndexDefs> FIndexDefs;
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
