#pragma once
// TPvDrmDataSet: the dataset over one engine table handle. It opens and
// closes the engine cursor, builds field definitions from the column
// catalog, moves, reads records into record buffers, and answers record
// counts, record numbers and bookmarks. TPvTable supplies the handle.
//
// The move flags: after a move lands on the first record (or a move past
// the start fails) the engine cursor stands on a record that the next
// fetch in direction "next" must return itself, not its successor
// (FFirstRecord); FLastRecord is the same for the last record and "prior".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/column_info_collection.h"
#include "catalog/index_info_collection.h"
#include "dataset/pv_dataset.h"
#include "engine/drm.h"
#include "filter/filter_column_source.h"
#include "filter/filter_shape.h"
#include "filter/parse_transformer.h"
#include "sessions/session_types.h"

namespace dac {

class TPvDatabase;
class TPvSession;

// An engine bookmark: the record's 4-byte position in its table.
inline constexpr uint32_t kEngineBookmarkSize = 4;

// Key indexes: positions in the eight key buffers.
enum TKeyIndex : uint8_t {
  kiLookup,
  kiRangeStart,
  kiRangeEnd,
  kiCurRangeStart,
  kiCurRangeEnd,
  kiSave,
  kiFilterStart,
  kiFilterEnd
};

// The header of a key buffer; the record-data area follows it.
struct TKeyBuffer {
  bool Modified;
  bool Exclusive;
  int32_t FieldCount;
};

// Called before a field value is written into the record buffer (Buffer
// null: NULL). Nothing is stored unless the handler sets Continue to true.
using TDrmDataSetOnSetFieldEvent = std::function<void(TField* Field, const void* Buffer, bool& Continue)>;

class TPvDrmDataSet : public TPvDataSet, public IPvSessionBoundDataSet, public IFilterColumnSource {
 public:
  TPvDrmDataSet();
  ~TPvDrmDataSet() override;

  // ---- properties ------------------------------------------------------------------
  uint32_t Handle() const { return FHandle; }
  uint32_t DBHandle();
  TPvDatabase* Database();
  TPvSession* DBSession();
  TRmInfo RmHandle();
  int32_t KeySize() const { return FKeySize; }
  const TDrmDataSetOnSetFieldEvent& OnSetField() const { return FOnSetField; }
  void SetOnSetField(TDrmDataSetOnSetFieldEvent Value) { FOnSetField = std::move(Value); }

  // ---- public operations -------------------------------------------------------------
  // Answers an engine status of a table open: true to go on, false to open
  // again after the user supplied a password; raises otherwise.
  bool CheckOpen(int32_t Status);
  int32_t CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
  TFreePtr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool GetFieldData(TField* Field, void* Buffer) override;
  using TDataSet::GetFieldData;
  void SetFieldData(TField* Field, const void* Buffer) override;
  using TDataSet::SetFieldData;
  // Text is never cut: a value longer than its field is refused.
  void TextTooLong(TField* Field, size_t Length) override;
  // The edit cycle's public operations (pv_drm_dataset_edit.cpp). Post does
  // nothing while another Post of the process is posting a key buffer.
  void Post() override;
  // Puts the engine cursor back on the records around the one being edited
  // before the framework's cancel reads them again.
  void Cancel() override;
  // Open the engine's new row first; a failure cancels the new record and
  // raises the first error.
  void AppendRecord(const std::vector<Variant>& Values) override;
  void InsertRecord(const std::vector<Variant>& Values) override;
  // Counts the segments of the active index and marks the fields of a
  // unique index as key fields.
  void GetIndexInfo();
  bool IsSequenced() override;
  void SetRecNo(int32_t Value) override;
  int32_t DirectRmCall(int16_t Op, void* pDataBuf, uint16_t& DataLen, void* pKeyBuf, uint8_t KeyLen, int8_t KeyNum);
  bool PSIsSQLSupported() override { return false; }
  // Raises "Cannot perform this operation on a closed dataset" while no
  // engine cursor is open.
  void CheckCursor();
  // The catalogs, filled on first use (through a temporary handle when the
  // cursor is closed) and kept until the cursor closes.
  TDRMColumnInfoCollection* GetColumnCatalog();
  TDRMIndexInfoCollection* GetIndexCatalog();
  // Jumps to an engine bookmark; returns the engine status.
  int32_t GotoEngineBookmark(const uint8_t* Bookmark, bool Check, bool Strict);
  // Whether the engine already stands on Bookmark, the active record.
  bool StandsOnActiveBookmark(const uint8_t* Bookmark);
  void CheckStatus(int32_t Status);

  // ---- keys (pv_drm_dataset_keys.cpp) --------------------------------------------------
  // The field of segment Index of the active index; assigning its value in
  // dsSetKey fills the key buffer being edited.
  TField* IndexFieldAt(int32_t Index);
  // The key buffer being edited: its KeyExclusive flag and the number of
  // key fields given. Only in dsSetKey.
  bool KeyExclusive();
  void SetKeyExclusive(bool Value);
  int32_t KeyFieldCount();
  void SetKeyFieldCount(int32_t Value);
  // The values and types of the index fields captured from the last key
  // edit.
  const std::vector<Variant>& KeyValues() const { return FKeyValues; }
  const std::vector<TFieldType>& KeyDataTypes() const { return FKeyDataTypes; }
  // Whether a range is applied on the engine cursor.
  bool InRange() const { return FInRange; }

  // IPvSessionBoundDataSet
  std::string BoundSessionName() const override { return SessionName(); }
  void SetBoundSessionName(const std::string& Value) override { SetSessionName(Value); }
  void StoreBoundSessionName(const std::string& Value) override { StoreSessionName(Value); }

  // IFilterColumnSource: the catalog column of a field and a filter
  // constant in the column's engine form, for the filter push-down.
  const TFilterColumn* FilterColumn(int32_t FieldNo) const override;
  std::vector<uint8_t> FilterConstant(TField* Field, const TFilterColumn& Column, const Variant& Value) override;

  // Whether Text is a filter the engine should apply: false for one with
  // parentheses inside, with LIKE, IN or BETWEEN, or nested more than 4
  // comparisons deep; those the client evaluates faster.
  bool FilterQualifiesForEngine(const std::string& Text);
  // Why Text stays on the client ("" when it goes to the engine).
  std::string ClientSideReason(const std::string& Text);
  // The engine's tag of the active pushed-down filter, 0 when none.
  int32_t FilterTag() const { return FFilterTag; }
  const TParseTransformer* ParseTransformer() const { return FParseTransformer.get(); }
  // Every filter and locate is evaluated on the client (for comparison
  // with the engine path); takes effect at the next activation.
  bool ClientSideFilters() const { return FClientSideFilters; }
  void SetClientSideFilters(bool Value) { FClientSideFilters = Value; }
  // The filter keys the active filter set: slot, column and key flags.
  struct TFilterKeyNote {
    int32_t Slot = 0;
    std::string ColumnName;
    uint32_t Flags = 0;
  };
  const std::vector<TFilterKeyNote>& FilterKeyNotes() const { return FFilterKeyNotes; }
  // What the active filter became, one line each: where it runs (and why
  // on the client), the engine terms, the filter keys, the remainder.
  std::vector<std::string> FilterExplanation();
  // Sets one filter-key slot of the engine cursor: Value in the engine
  // format of the column, Flags DRM_KEYFLAG_*. Raises on a failure.
  virtual void SetFilterKeySlot(uint32_t ColumnId, int32_t Slot, const std::vector<uint8_t>& Value, uint16_t Length,
                                uint32_t Flags);
  void CancelFilterKeySlot(int32_t Slot);

 protected:
  // Obtains FHandle (nothing here; the table supplies it).
  virtual void CreateHandle() {}
  virtual void DestroyHandle();
  // The name of the index to activate.
  virtual std::string GetActiveIndexName() = 0;

  // ---- cursor operations of the core -----------------------------------------------
  TPvAbsSession* GetDefaultSession() override;
  TPvAbsSessionList* GetSessionList() override;
  bool GetStateBuffer(TRecordBuffer& Buffer) override;
  bool IsMayBeSlow() override;
  bool IsCursorClosed() override { return FHandle == 0; }
  void InitBufferPointers(bool Reload) override;
  TGetResult PvInternalFirst(bool Check) override;
  TGetResult PvInternalLast(bool Check) override;
  TGetResult PvInternalNext(bool Check) override;
  TGetResult PvInternalPrior(bool Check) override;
  TGetResult PvGetRecord(TRecordBuffer Buffer, TGetMode Direction, bool Check) override;
  void PvInternalPost() override;
  void PvInternalRefresh() override;
  void PvInternalCancel() override;
  void PvInternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void PvInternalInsert() override;
  // A record added with values starts from the engine's initial values of
  // its new row, as an inserted one does.
  void InitRecord(TRecordBuffer Buffer) override;
  void PvInternalEdit() override;
  void PvInternalDelete() override;
  void PvInternalGotoBookmark(const uint8_t* Bookmark) override;
  bool PvBookmarkValid(const uint8_t* Bookmark) override;
  bool DoLocate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                bool SyncCursor) override;
  // The filter push-down (pv_drm_dataset_pushdown.cpp); the core's versions
  // stay the client-side path.
  void CreateFilterEvaluator() override;
  void FreeFilterEvaluator() override;
  // A locate's client-side part first, then the core's test.
  bool DoFiltering(TRecordBuffer Buffer) override;
  // Whether DoFiltering passes every record the engine delivers, and a
  // record read only to be tested is seen by nothing else (no calculated
  // fields, no trace): the engine's selection is the whole filter.
  // A descendant that filters in DoFiltering answers false.
  virtual bool EngineSelectsAlone() const;
  // Hands terms to the engine (RareSetFilterOnColumns); the status.
  virtual int32_t SetEngineFilter(const DRM_FilterStruct* Terms, uint16_t Count, int32_t& Tag, int32_t Mode);

  // ---- framework hooks -------------------------------------------------------------------
  void OpenCursor(bool InfoQuery) override;
  void CloseCursor() override;
  void InternalInitFieldDefs() override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() override { return FHandle != 0; }
  int32_t GetRecordCount() override;
  int32_t GetRecNo() override;
  void DoBeforeScroll() override;
  void DoAfterScroll() override;

  // Engine session handle S and table handle T of the open cursor.
  uint32_t SesHandle();
  // Posts (Commit true) or cancels the key buffer being edited in dsSetKey.
  virtual void PostKeyBuffer(bool Commit);

  // ---- key buffers (pv_drm_dataset_keys.cpp) -------------------------------------------
  TKeyBuffer* KeyHeader(TKeyIndex Index) const { return reinterpret_cast<TKeyBuffer*>(FKeyBuffers[Index]); }
  static TKeyBuffer* KeyHeader(TRecordBuffer Buffer) { return reinterpret_cast<TKeyBuffer*>(Buffer); }
  static TRecordBuffer KeyRecord(TRecordBuffer Buffer) { return Buffer + sizeof(TKeyBuffer); }
  size_t KeyBufferSize() const { return sizeof(TKeyBuffer) + FRecordSize; }
  // Zero-fills a whole key buffer, header included.
  void ClearKeyBuffer(TKeyIndex Index);
  bool KeyBuffersEqual(TKeyIndex A, TKeyIndex B) const;
  void CopyKeyBuffer(TKeyIndex From, TKeyIndex To);
  // Starts editing key buffer Index in dsSetKey (a copy is kept in kiSave
  // for a cancel).
  void BeginKeyEdit(TKeyIndex Index, bool Clear);
  // Records the index fields' values and types as the key edit left them.
  void CaptureKeyValues();
  // Fills key buffer Index with Values for the index fields in order.
  void SetKeyFields(TKeyIndex Index, const std::vector<Variant>& Values);
  // Positions on the first record at (Nearest: at or after) the lookup key;
  // the fetch result. A failed search keeps the cursor where it was.
  TGetResult SeekKey(bool Nearest);
  // The catalog segments of the active index, in catalog order.
  std::vector<const TDRMIndexInfo*> ActiveIndexSegments();

  // ---- ranges (pv_drm_dataset_ranges.cpp) ----------------------------------------------
  // Hands kiRangeStart/kiRangeEnd to the engine unless they are the range
  // already in force; whether anything was done.
  bool ApplyEngineRange();
  // Removes the range from the engine; whether one was set.
  bool ClearEngineRange();
  // Whether the record the engine cursor stands on lies inside the range in
  // force, by the index order's own comparison of each key field.
  bool CurrentRecordInRange();
  // The same test for a record read into Buffer.
  bool RecordInRange(TRecordBuffer Buffer);
  // Records are tested against the range in force unless a blob stream or
  // a master-detail link is positioning the cursor.
  bool RangeTestApplies() const { return FInRange && !FProcessingBlob && !FInMasterDetailRelationShip; }
  // The number of records the range shows, and the position of the active
  // record among them, counted on the engine cursor.
  int32_t RangeRecordCount();
  int32_t RangeRecNo();

  std::vector<Variant> FKeyValues;
  std::vector<TFieldType> FKeyDataTypes;

  bool FFirstRecord = true;
  bool FLastRecord = false;
  uint32_t FHandle = 0;
  bool FCaseInsIndex = false;
  int32_t FKeySize = 0;
  std::vector<TRecordBuffer> FKeyBuffers;
  TRecordBuffer FKeyBuffer = nullptr;
  int32_t FIndexFieldCount = 0;
  std::unique_ptr<TDRMColumnInfoCollection> FColumns;
  std::unique_ptr<TDRMIndexInfoCollection> FIndexes;
  bool FInMasterDetailRelationShip = false;
  bool FResultWasAnOk = false;
  bool FInRange = false;
  // Every filter goes to the engine, whatever FilterQualifiesForEngine says.
  bool FForceSimpleFilters = false;
  int32_t FFilterTag = 0;
  std::unique_ptr<TParseTransformer> FParseTransformer;
  // The parser and evaluator of a locate's client-side part, during a locate.
  std::unique_ptr<TExprParser> FLookupFilterParser;
  std::unique_ptr<TParseVerifier> FLookupFilterParseVerifier;
  bool FClientSideFilters = false;
  std::vector<TFilterKeyNote> FFilterKeyNotes;
  // The catalog columns as the transformer sees them, by field number - 1.
  std::vector<TFilterColumn> FFilterColumns;
  // The last filter parsed, reused by texts that differ from it only in
  // their constants (one per master record in a master-detail walk).
  TFilterShapeCache FFilterShapes;
  // The plan of the last transformation, for the buffer FFilterShapes
  // holds, and the FFilterColumns it was made with.
  std::optional<TParseTransformer::TPlan> FFilterPlan;
  uint32_t FFilterPlanColumns = 0;
  // Counts the rebuilds of FFilterColumns.
  uint32_t FFilterColumnsGeneration = 0;
  // While set, SetFieldData copies a field's native bytes here (after a
  // not-null flag byte) instead of writing the record.
  std::vector<uint8_t>* FPutFieldInBufferSrc = nullptr;
  std::vector<uint8_t> FConstantCapture;  // reused by FilterConstant
  bool FProcessingBlob = false;
  bool FInserting = false;
  bool FEditing = false;
  // The engine holds a new row opened by PvInternalInsert that was neither
  // written nor dropped.
  bool FDidAnInitInsert = false;
  TDrmDataSetOnSetFieldEvent FOnSetField;
  bool FScrolling = false;
  bool FApplyRangeCalled = false;

 private:
  // Moves the engine cursor; -1603 and -4991 both mean "no record there".
  int32_t Move(uint32_t Code);
  // A fetch into the scratch buffer through the core's GetRecord; 0 when a
  // record was accepted, -1603 otherwise.
  int32_t FilteredStep(TGetMode Direction, bool Check);
  bool Filtering();
  TGetResult MoveResult(int32_t Status, TGetResult NoRecord);
  // Runs Read with a cursor handle: the open one, or one made for the read.
  void WithCatalogHandle(const std::function<void()>& Read);
  // Closes the engine cursor and releases the database; never throws.
  void ReleaseCursor() noexcept;
  void AllocKeyBuffers();
  void FreeKeyBuffers();
  // Range helpers (pv_drm_dataset_ranges.cpp).
  int32_t BuildEngineRange(const std::string& IndexName);
  // The number of key parts a range side sends: its FieldCount, or the
  // number of columns holding a value when none was given.
  int32_t RangePartCount(TKeyIndex Index);
  // A range side's term list and the constants its terms point to.
  struct TRangeTerms {
    std::vector<DRM_FilterStruct> Terms;
    std::vector<std::vector<uint8_t>> Constants;
  };
  // Sends the first Count index values of a key buffer into a filter-key
  // slot and adds a term for each to Terms; returns the engine status of
  // the first refusal, else 0.
  int32_t SendKeyParts(const std::vector<const TDRMIndexInfo*>& Segments, TKeyIndex Index, int32_t Count,
                       int32_t Slot, TRangeTerms& Terms);
  // The record's index fields against a range side in index order: <0, 0, >0.
  int32_t CompareRecordWithKey(const std::vector<const TDRMIndexInfo*>& Segments, TRecordBuffer Record,
                               TKeyIndex Index, int32_t Count);
  // Editing helpers (pv_drm_dataset_edit.cpp).
  void AddRecordWith(const std::vector<Variant>& Values, bool Append);
  // Set while AppendRecord or InsertRecord runs over the engine's new row.
  bool FAddingRecord = false;
  bool HasCalculatedText() const;
  bool IsIndexField(TField* Field);
  // Refuses a value its column cannot hold; returns the bytes to store
  // (the 4-byte form of an unsigned 32-bit column, else Buffer itself).
  const void* ColumnValue(TField* Field, const void* Buffer, uint8_t (&Narrow)[4]);
  // The push-down's parts (pv_drm_dataset_pushdown.cpp, pv_drm_dataset_locate.cpp).
  void RefreshFilterColumns();
  // The cheap textual reasons to keep a filter on the client, and the one
  // only its transformation tells ("" when none holds).
  static std::string TextClientSideReason(const std::string& Text);
  static std::string DepthClientSideReason(const TParseTransformer& Transformer);
  std::unique_ptr<TParseTransformer> TransformFilter(const std::string& Text);
  void SetFilterKeys();
  struct TIndexSegment {
    std::string ColumnName;
    uint32_t grBitIndex = 0;
    uint32_t grBitColumn = 0;
  };
  std::vector<TIndexSegment> CurrentIndexSegments();
  bool LocateOnClient(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  bool LocateInEngine(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  TRecordBuffer FScratchBuffer = nullptr;
};

}  // namespace dac
