#pragma once
// TDataSet: the abstract dataset. It keeps a ring of record buffers over a
// cursor that a descendant provides through the record-level hooks
// (GetRecord, InternalFirst, InternalSetToRecord, ...), and builds on them
// navigation, the edit cycle, bookmarks, calculated fields, states and the
// events to its data sources.
//
// The ring: Buffers(0 .. BufferCount()-1) hold up to FRecordCount records,
// FActiveRecord is the one the application sees, FCurrentRecord the one the
// descendant's cursor stands on (-1 when unknown). Buffers(BufferCount()) is
// the temporary buffer every fetch reads into first.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/check_constraints.h"
#include "platform/db/db_types.h"
#include "platform/db/field.h"
#include "platform/db/field_defs.h"
#include "platform/db/fields.h"
#include "platform/db/index_defs.h"
#include "platform/rtl/component.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/variant.h"

namespace dac {

class TDataSource;
class TDataSet;
class TParams;
class TStrings;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;

// Receives the dataset's events at design time. No designer exists in this
// system; the interface is here so that code can talk to one.
class TDataSetDesigner {
 public:
  virtual ~TDataSetDesigner() = default;
  virtual void DataEvent(TDataEvent Event, intptr_t Info) = 0;
};

class TDataSet : public TComponent {
 public:
  TDataSet();
  ~TDataSet() override;

  // ---- opening and closing ---------------------------------------------
  bool Active() const { return FState != dsInactive && FState != dsOpening; }
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }

  // ---- navigation ---------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  int32_t MoveBy(int32_t Distance);
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FBOF && FEOF && FState != dsInsert; }
  virtual void Resync(TResyncMode Mode);
  void Refresh();
  void UpdateCursorPos();
  void CursorPosChanged() { FCurrentRecord = -1; }
  virtual void CheckBrowseMode();
  int32_t RecordCount() { CheckActive(); return GetRecordCount(); }
  int32_t RecNo() { return GetRecNo(); }
  virtual void SetRecNo(int32_t Value) { (void)Value; }
  virtual bool IsSequenced() { return true; }

  // ---- bookmarks ----------------------------------------------------------
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& Bookmark);
  void FreeBookmark(TBookmark& Bookmark) { Bookmark.clear(); }
  virtual bool BookmarkValid(const TBookmark& Bookmark) { (void)Bookmark; return false; }
  virtual int32_t CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
    (void)B1; (void)B2; return 0;
  }
  bool BookmarkAvailable() const;
  int32_t BookmarkSize() const { return FBookmarkSize; }
  void SetBookmarkSize(int32_t Value) { FBookmarkSize = Value; }

  // ---- editing -------------------------------------------------------------
  void Insert() { DoInsertAppend(false); }
  void Append() { DoInsertAppend(true); }
  void Edit();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  virtual void AppendRecord(const std::vector<Variant>& Values) { DoInsertAppendRecord(Values, true); }
  virtual void InsertRecord(const std::vector<Variant>& Values) { DoInsertAppendRecord(Values, false); }
  void SetFields(const std::vector<Variant>& Values);
  void ClearFields();
  // Sends deUpdateRecord so that controls write their pending values.
  void UpdateRecord();
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  bool CanModify() { return GetCanModify(); }
  virtual TUpdateStatus UpdateStatus() { return usUnmodified; }

  // ---- fields ---------------------------------------------------------------
  TFields* Fields() const { return FFields.get(); }
  TFieldDefs* FieldDefs() const { return FFieldDefs.get(); }
  void SetFieldDefs(TFieldDefs* Value);
  int32_t FieldCount() const { return FFields->Count(); }
  TField* FieldByName(const std::string& FieldName) const;
  TField* FindField(const std::string& FieldName) const { return FFields->FindField(FieldName); }
  TField* FieldByNumber(int32_t FieldNo) const { return FFields->FieldByNumber(FieldNo); }
  // Field values by name; several names separated by ";" give an array.
  Variant FieldValues(const std::string& FieldNames);
  void SetFieldValues(const std::string& FieldNames, const Variant& Value);
  // Adds the fields named in "a;b" to List; an unknown name raises.
  void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
  void GetFieldNames(TStrings* List) const;
  bool DefaultFields() const { return FDefaultFields; }
  virtual TFieldClass GetFieldClass(TFieldType FieldType);
  TCheckConstraints* Constraints() const { return FConstraints.get(); }
  void SetConstraints(TCheckConstraints* Value);
  bool AutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }
  int32_t CalcFieldsSize() const { return FCalcFieldsSize; }
  int32_t BlobFieldCount() const { return FBlobFieldCount; }
  bool InternalCalcFields() const { return FInternalCalcFields; }
  // Field reads and writes; the hooks a descendant overrides.
  virtual bool GetFieldData(TField* Field, void* Buffer) { (void)Field; (void)Buffer; return false; }
  virtual bool GetFieldData(TField* Field, void* Buffer, bool NativeFormat);
  virtual void SetFieldData(TField* Field, const void* Buffer) { (void)Field; (void)Buffer; }
  virtual void SetFieldData(TField* Field, const void* Buffer, bool NativeFormat);
  // A text field calls it before it cuts a value of Length bytes that is
  // longer than the field. The base lets the value be cut; a dataset whose
  // storage must never lose text raises instead.
  virtual void TextTooLong(TField* Field, size_t Length) { (void)Field; (void)Length; }
  // Converts between a record slot (native) and a field's value form.
  virtual void DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative);
  // Old, new and current values: the field read in a temporary state.
  virtual Variant GetStateFieldValue(TDataSetState AState, TField* Field);
  virtual void SetStateFieldValue(TDataSetState AState, TField* Field, const Variant& Value);
  virtual TFreePtr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
  virtual void CloseBlob(TField* Field) { (void)Field; }
  virtual bool GetCurrentRecord(TRecordBuffer Buffer) { (void)Buffer; return false; }

  // ---- filter and search ---------------------------------------------------
  const std::string& Filter() const { return FFilterText; }
  void SetFilter(const std::string& Value) { SetFilterText(Value); }
  bool Filtered() const { return FFiltered; }
  TFilterOptions FilterOptions() const { return FFilterOptions; }
  // The setters are the hooks a descendant overrides; the base stores.
  virtual void SetFilterText(const std::string& Value) { FFilterText = Value; }
  virtual void SetFilterOptions(TFilterOptions Value) { FFilterOptions = Value; }
  virtual void SetFiltered(bool Value) { FFiltered = Value; }
  const TFilterRecordEvent& OnFilterRecord() const { return FOnFilterRecord; }
  virtual void SetOnFilterRecord(TFilterRecordEvent Value) { FOnFilterRecord = std::move(Value); }
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  bool Found() const { return FFound; }
  void SetFound(bool Value) { FFound = Value; }
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    (void)KeyFields; (void)KeyValues; (void)Options; return false;
  }
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
    (void)KeyFields; (void)KeyValues; (void)ResultFields; return Variant::Null();
  }

  // ---- controls and data sources -----------------------------------------
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }
  bool IsLinkedTo(TDataSource* DataSource);
  // The dataset's own master source (none in the base).
  virtual TDataSource* GetDataSource() { return nullptr; }
  // The master's and this dataset's fields of a master-detail link (none in
  // the base).
  virtual void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) {
    MasterFields.clear();
    DetailFields.clear();
  }
  int32_t DataSourceCount() const { return static_cast<int32_t>(FDataSources.size()); }
  TDataSource* DataSources(int32_t Index) const { return FDataSources.at(static_cast<size_t>(Index)); }
  TDataSetDesigner* Designer() const { return FDesigner; }
  // Standard extraction of index definitions: the definitions of IndexDefs
  // whose options meet Types (or both empty) and whose fields all exist.
  std::unique_ptr<TIndexDefs> GetIndexDefs(TIndexDefs* IndexDefs, TIndexOptions Types);
  int32_t BlockReadSize() const { return FBlockReadSize; }
  void SetBlockReadSize(int32_t Value);

  // ---- events ----------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
      BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
      AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh, OnCalcFields,
      OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  // ---- provider support -----------------------------------------------------
  virtual std::unique_ptr<EUpdateError> PSGetUpdateException(const Exception& E, const EUpdateError* Prev);
  virtual void PSReset() {}
  virtual bool PSIsSQLSupported() { return false; }
  virtual std::string PSGetQuoteChar() { return ""; }
  // A new, unowned index definition of the default order, or none.
  virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder() { return nullptr; }
  // New, unowned index definitions of the given kinds, or none.
  virtual std::unique_ptr<TIndexDefs> PSGetIndexDefs(TIndexOptions Types) {
    (void)Types;
    return nullptr;
  }
  virtual void PSEndTransaction(bool Commit);
  virtual bool PSInTransaction();
  virtual bool PSIsSQLBased();
  virtual void PSStartTransaction();
  virtual bool PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta);
  virtual std::string PSGetTableName();
  virtual void PSSetCommandText(const std::string& CommandText);
  virtual void PSSetParams(TParams* Params);
  virtual std::string PSGetKeyFields();
  virtual void PSExecute();

  // ---- framework-internal (used by the layer's cursor, blob streams, batch
  // move and key code) -------------------------------------------------------
  virtual void DataEvent(TDataEvent Event, intptr_t Info);
  TDataSetState SetTempState(TDataSetState Value);
  void RestoreState(TDataSetState Value);
  void SetState(TDataSetState Value);
  // Inline: every field read while browsing asks for it.
  TRecordBuffer ActiveBuffer() const {
    if (FActiveRecord < 0 || static_cast<size_t>(FActiveRecord) >= FBuffers.size()) return nullptr;
    return FBuffers[static_cast<size_t>(FActiveRecord)];
  }
  TRecordBuffer TempBuffer() const;
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  TRecordBuffer Buffers(int32_t Index) const { return FBuffers.at(static_cast<size_t>(Index)); }
  int32_t BufferCount() const { return FBufferCount; }
  void SetBufferCount(int32_t Value);
  // Number of buffer-list entries, the temporary one included; leaves
  // BufferCount unchanged and clamps the ring to the entries.
  void SetBufListSize(int32_t Entries);
  int32_t BufListSize() const { return static_cast<int32_t>(FBuffers.size()); }
  void CheckActive() const;
  void CheckInactive();
  void RegisterDataSource(TDataSource* DataSource);
  void UnRegisterDataSource(TDataSource* DataSource);
  void RecalcBufListSize();
  void GetCalcFields(TRecordBuffer Buffer);
  void InitFieldDefs();
  void BindFields(bool Binding);
  void CreateFields();
  void DestroyFields();
  void ClearBuffers();
  // Drops per-edit state of the fields (blob modifications).
  void FreeFieldBuffers();
  void SetCurrentRecord(int32_t Index);
  bool FBOF = true;
  bool FEOF = true;
  int32_t FRecordCount = 0;
  int32_t FActiveRecord = 0;
  int32_t FCurrentRecord = -1;

 protected:
  // ---- hooks of the descendant ---------------------------------------------
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual bool IsCursorOpen() = 0;
  virtual void OpenCursor(bool InfoQuery);
  virtual void CloseCursor();
  virtual TRecordBuffer AllocRecordBuffer();
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer);
  virtual uint16_t GetRecordSize() { return 0; }
  virtual void InternalInitRecord(TRecordBuffer Buffer) { (void)Buffer; }
  virtual void ClearCalcFields(TRecordBuffer Buffer) { (void)Buffer; }
  virtual void InitRecord(TRecordBuffer Buffer);
  virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) { (void)Buffer; (void)Data; }
  virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) { (void)Buffer; (void)Data; }
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) { (void)Buffer; return bfCurrent; }
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) { (void)Buffer; (void)Value; }
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  virtual void InternalSetToRecord(TRecordBuffer Buffer) { (void)Buffer; }
  virtual void InternalGotoBookmark(const void* Bookmark) { (void)Bookmark; }
  virtual void InternalInsert() {}
  virtual void InternalEdit() {}
  virtual void InternalPost() {}
  virtual void InternalCancel() {}
  virtual void InternalDelete() {}
  virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append) { (void)Buffer; (void)Append; }
  virtual void InternalRefresh() {}
  virtual void InternalHandleException();
  virtual bool GetCanModify() { return true; }
  virtual int32_t GetRecordCount() { return -1; }
  virtual int32_t GetRecNo() { return -1; }
  virtual bool FindRecord(bool Restart, bool GoForward) { (void)Restart; (void)GoForward; return false; }
  virtual bool GetNextRecord();
  virtual bool GetPriorRecord();
  virtual int32_t GetNextRecords();
  virtual int32_t GetPriorRecords();
  virtual void CalculateFields(TRecordBuffer Buffer);
  virtual void DoOnCalcFields();
  // Rebuilds the index definitions from the cursor (TIndexDefs::Update).
  virtual void UpdateIndexDefs() {}
  // A field or index definition collection of this dataset changed.
  virtual void DefChanged(TObject* Sender) { (void)Sender; }
  friend class TIndexDefs;
  friend class TFieldDefs;

  virtual void DoBeforeOpen() { Fire(BeforeOpen); }
  virtual void DoAfterOpen() { Fire(AfterOpen); }
  virtual void DoBeforeClose();
  virtual void DoAfterClose();
  virtual void DoBeforeInsert() { Fire(BeforeInsert); }
  virtual void DoAfterInsert() { Fire(AfterInsert); }
  virtual void DoBeforeEdit() { Fire(BeforeEdit); }
  virtual void DoAfterEdit() { Fire(AfterEdit); }
  virtual void DoBeforePost() { Fire(BeforePost); }
  virtual void DoAfterPost() { Fire(AfterPost); }
  virtual void DoBeforeCancel() { Fire(BeforeCancel); }
  virtual void DoAfterCancel() { Fire(AfterCancel); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete); }
  virtual void DoAfterDelete() { Fire(AfterDelete); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll); }
  virtual void DoAfterScroll() { Fire(AfterScroll); }
  virtual void DoBeforeRefresh() { Fire(BeforeRefresh); }
  virtual void DoAfterRefresh() { Fire(AfterRefresh); }
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }

  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Shutdown() override;
  void SetDesigner(TDataSetDesigner* Value) { FDesigner = Value; }
  void SetDefaultFields(bool Value) { FDefaultFields = Value; }

  TRecordBuffer FCalcBuffer = nullptr;
  bool FInternalCalcFields = false;

 private:
  friend class TField;
  void Fire(const TDataSetNotifyEvent& E) {
    if (E) E(this);
  }
  void DoInsertAppend(bool DoAppend);
  void BeginInsertAppend();
  // Opens the slot of a new record (at the active position, or after the
  // last record when appending) and initialises it.
  void OpenInsertSlot(bool DoAppend);
  void EndInsertAppend();
  void DoInsertAppendRecord(const std::vector<Variant>& Values, bool DoAppend);
  // Runs op after bringing the cursor to the active record; on a database
  // error asks the error event for retry, abort or failure. False when the
  // operation should not continue (never: failures raise).
  void TryDoing(void (TDataSet::*Op)(), const TDataSetErrorEvent& OnError);
  void DoInternalOpen();
  void OpenCursorComplete();
  // Puts the ring back after an insert that failed before it was posted.
  void AbandonInsert(bool CancelCursor);
  int32_t RingSize() const { return FBuffers.empty() ? 0 : static_cast<int32_t>(FBuffers.size()) - 1; }
  void ShiftBuffersBackward();
  void ShiftBuffersForward();
  void ActivateBuffers();
  void AddField(TField* Field);
  void RemoveField(TField* Field);

  TDataSetState FState = dsInactive;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  int32_t FDisableCount = 0;
  bool FModified = false;
  bool FFound = false;
  bool FStreamedActive = false;
  bool FInternalOpenComplete = false;
  bool FDefaultFields = false;
  bool FAutoCalcFields = true;
  int32_t FBlockReadSize = 0;
  int32_t FBookmarkSize = 0;
  int32_t FCalcFieldsSize = 0;
  int32_t FBlobFieldCount = 0;
  int32_t FBufferCount = 0;
  std::vector<TRecordBuffer> FBuffers;
  std::string FFilterText;
  bool FFiltered = false;
  TFilterOptions FFilterOptions;
  TFilterRecordEvent FOnFilterRecord;
  std::unique_ptr<TFields> FFields;
  std::unique_ptr<TFieldDefs> FFieldDefs;
  std::unique_ptr<TCheckConstraints> FConstraints;
  std::vector<TDataSource*> FDataSources;
  TDataSetDesigner* FDesigner = nullptr;
};

}  // namespace dac
