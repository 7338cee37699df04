#pragma once
// TDataSource connects a dataset to the data links of its users (controls,
// detail datasets) and forwards the dataset's data events to them.
// TDataLink is the receiving end; TMasterDataLink follows a master dataset
// for a detail; TDetailDataLink names the detail behind a link.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/db_types.h"
#include "platform/rtl/component.h"

namespace dac {

class TDataSet;
class TDataLink;
class TField;

using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

class TDataSource : public TComponent {
 public:
  TDataSource() = default;

  TDataSet* DataSet() const { return FDataSet; }
  // Registers with the dataset; a dataset whose chain of master sources
  // leads back to this source is refused.
  void SetDataSet(TDataSet* Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool AutoEdit() const { return FAutoEdit; }
  void SetAutoEdit(bool Value) { FAutoEdit = Value; }
  // The dataset's state as the links see it (inactive when disabled).
  TDataSetState State() const { return FState; }
  // Puts the dataset in edit mode when AutoEdit allows it.
  void Edit();
  // True when DataSet's chain of master sources reaches this source.
  bool IsLinkedTo(TDataSet* DataSet) const;

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

  // ---- framework-internal ----------------------------------------------
  // Called by the dataset for every data event.
  void ProcessEvent(TDataEvent Event, intptr_t Info);
  void RegisterDataLink(TDataLink* Link);
  void UnregisterDataLink(TDataLink* Link);
  int32_t DataLinkCount() const { return static_cast<int32_t>(FDataLinks.size()); }
  TDataLink* DataLinks(int32_t Index) const { return FDataLinks.at(static_cast<size_t>(Index)); }
  // Detaches the dataset without events (the dataset is going away).
  void DataSetFreed();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Shutdown() override;

 private:
  void DistributeEvent(TDataEvent Event, intptr_t Info);

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
  bool FAutoEdit = true;
  TDataSetState FState = dsInactive;
  std::vector<TDataLink*> FDataLinks;
};

class TDataLink : public TPersistent {
 public:
  TDataLink() = default;
  // Leaves its data source's list (without events).
  ~TDataLink() override;

  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* Value);
  TDataSet* DataSet() const;
  // The source's dataset is neither inactive nor opening.
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  int32_t BufferCount() const { return FBufferCount; }
  void SetBufferCount(int32_t Value);
  // The link's active record relative to its first record.
  int32_t ActiveRecord() const;
  void SetActiveRecord(int32_t Value);
  int32_t RecordCount() const;
  bool Bof() const;
  bool Eof() const;
  int32_t MoveBy(int32_t Distance);
  // Asks the source to edit; true when the link is editing afterwards.
  bool Edit();
  // Calls UpdateData with the updating mark set.
  void UpdateRecord();

  // ---- framework-internal ----------------------------------------------
  virtual void DataEvent(TDataEvent Event, intptr_t Info);
  void DataSourceFreed() { FDataSource = nullptr; FActive = false; FEditing = false; }

 protected:
  virtual void ActiveChanged() { FFirstRecord = 0; }
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int32_t Distance) { (void)Distance; DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** Field) { (void)Field; }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* Field) { (void)Field; }
  virtual void UpdateData() {}
  void CheckActiveAndEditing();
  void SetActive(bool Value);

 private:
  int32_t CalcFirstRecord(int32_t Index);
  void CalcRange();

  TDataSource* FDataSource = nullptr;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdatingRecord = false;
  int32_t FBufferCount = 1;
  int32_t FFirstRecord = 0;
};

// A link that knows the detail dataset behind it.
class TDetailDataLink : public TDataLink {
 public:
  virtual TDataSet* DetailDataSet() const { return nullptr; }
};

// Follows a master dataset for a detail: the master's fields named in
// FieldNames, and the master-change / master-disable notifications.
class TMasterDataLink : public TDetailDataLink {
 public:
  explicit TMasterDataLink(TDataSet* ADataSet) : FDetailDataSet(ADataSet) {}

  TDataSet* DetailDataSet() const override { return FDetailDataSet; }
  const std::string& FieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& Value);
  const std::vector<TField*>& Fields() const { return FFields; }
  TNotifyEvent OnMasterChange;
  TNotifyEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override { ActiveChanged(); }
  void RecordChanged(TField* Field) override;
  virtual void DoMasterChange();
  virtual void DoMasterDisable();

 private:
  TDataSet* FDetailDataSet = nullptr;
  std::string FFieldNames;
  std::vector<TField*> FFields;
};

}  // namespace dac
