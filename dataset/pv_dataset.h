#pragma once
// TPvDataSet: the engine-independent core of the component layer's datasets.
// It turns the framework's record-level hooks into a smaller set of cursor
// operations (PvInternalFirst, PvGetRecord, ...) that the engine cursor
// supplies, owns the layout of a record buffer, and acquires the database
// and session the cursor runs on while any database-use flag is set.
//
// Record buffer layout (every ring slot and every scratch buffer):
//   0                 record data (FRecordSize bytes, the column slots)
//   FRecordSize       calculated-field area (the framework's)
//   FBlobCacheOfs     one pointer-sized blob-cache slot per blob field
//   FRecInfoOfs       record info: int32 record number (-1 = not computed),
//                     then the bookmark flag byte; 8 bytes in all
//   FBookmarkOfs      the bookmark (BookmarkSize() bytes)
//
// Cached updates, client-side filtering, locate and lookup, and field
// constraints are handled by later layers; until they exist the branches
// that would hand over to them raise "... is not supported yet".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filter/filter_record_host.h"
#include "platform/db/dataset.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/tset.h"

namespace dac {

class TPvAbsDatabase;
class TPvAbsSession;
class TPvAbsSessionList;
class TExprParser;
class TParseVerifier;
class TConstraintCollection;

enum TUpdateRecordType : uint8_t { rtModified, rtInserted, rtDeleted, rtUnmodified };
using TUpdateRecordTypes = TSet<TUpdateRecordType>;

using TUpdateErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;
using TUpdateRecordEvent = std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;

// The record info of a record buffer (its record number, -1 while not
// computed, and the bookmark flag). It need not be aligned in the buffer, so
// it is copied in and out, never referenced in place.
#pragma pack(push, 1)
struct TRecInfo {
  int32_t RecordNumber;
  uint8_t BookmarkFlag;
  uint8_t Reserved[3];
};
#pragma pack(pop)
static_assert(sizeof(TRecInfo) == 8, "the record info takes 8 bytes of a record buffer");
inline constexpr uint16_t kRecInfoBookmarkFlagOfs = offsetof(TRecInfo, BookmarkFlag);

// Database-use flags.
inline constexpr int32_t dbfCursorOpen = 0;
inline constexpr int32_t dbfTableMaintenance = 3;
inline constexpr int32_t dbfIndexList = 5;
inline constexpr int32_t dbfProvider = 10;

class TPvDataSet : public TDataSet, public IFilterRecordHost {
 public:
  TPvDataSet();
  ~TPvDataSet() override;
  TPvDataSet(const TPvDataSet&) = delete;
  TPvDataSet& operator=(const TPvDataSet&) = delete;

  // ---- properties ------------------------------------------------------------
  bool AutoRefresh() const { return FAutoRefresh; }
  void SetAutoRefresh(bool Value) { FAutoRefresh = Value; }
  bool CacheBlobs() const { return FCacheBlobs; }
  void SetCacheBlobs(bool Value) { FCacheBlobs = Value; }
  bool RefreshOnLocate() const { return FRefreshOnLocate; }
  void SetRefreshOnLocate(bool Value) { FRefreshOnLocate = Value; }
  bool CachedUpdates() const { return FCachedUpdates; }
  // Switching cached updates on needs the update cache (a later layer).
  void SetCachedUpdates(bool Value);
  TUpdateRecordTypes UpdateRecordTypes() const { return FUpdateRecordTypes; }
  void SetUpdateRecordTypes(TUpdateRecordTypes Value) { FUpdateRecordTypes = Value; }
  bool UpdatesPending() const { return false; }
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  TPvAbsDatabase* Database() { return GetDatabase(); }
  TPvAbsSession* DBSession() { return GetDBSession(); }
  bool ExpIndex() const { return false; }
  TUpdateErrorEvent OnUpdateError;
  TUpdateRecordEvent OnUpdateRecord;

  // ---- public operations -------------------------------------------------------
  bool BookmarkValid(const TBookmark& Bookmark) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;
  bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) override;
  void ApplyUpdates();
  void CommitUpdates();
  void CancelUpdates();
  void RevertRecord();
  void FetchAll() {}
  void FlushBuffers() { CheckBrowseMode(); }
  // The database named DatabaseName in the session named SessionName,
  // opened (connected) but not held.
  TPvAbsDatabase* OpenDatabase();
  TPvAbsDatabase* OpenDatabaseEx(bool SetDatabase);
  void CloseDatabase(TPvAbsDatabase* Database);
  TPvAbsDatabase* GetDatabase();
  TPvAbsSession* GetDBSession();
  // Sets or clears a database-use flag; returns whether it was set before.
  // The first flag set acquires the database, the last one cleared
  // releases it.
  bool SetDBFlag(int32_t Flag, bool Value);
  bool DBFlag(int32_t Flag) const { return Flag >= 0 && Flag <= 15 && (FDBFlags & (1u << Flag)) != 0; }
  // Closes the dataset on behalf of its database.
  virtual void CloseDataSet() { Close(); }

  // ---- provider support ----------------------------------------------------------
  std::string PSGetQuoteChar() override { return "\""; }
  void PSEndTransaction(bool Commit) override;
  std::unique_ptr<EUpdateError> PSGetUpdateException(const Exception& E, const EUpdateError* Prev) override;
  bool PSInTransaction() override;
  bool PSIsSQLBased() override;
  void PSReset() override;
  void PSStartTransaction() override;
  bool PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) override;

  // ---- framework overrides that are public in the framework ----------------------
  Variant GetStateFieldValue(TDataSetState AState, TField* Field) override;
  void SetStateFieldValue(TDataSetState AState, TField* Field, const Variant& Value) override;
  void CloseBlob(TField* Field) override { (void)Field; }
  void SetFilterText(const std::string& Value) override;
  void SetFiltered(bool Value) override;
  void SetFilterOptions(TFilterOptions Value) override;

  // IFilterRecordHost: the record in Buffer presented to a filter through
  // the temporary dsFilter state.
  TFilterRecordState BeginFilterRecord(TRecordBuffer Buffer) override;
  void EndFilterRecord(const TFilterRecordState& Saved) override;
  // Whether the active record holds KeyValues in KeyFields (Locate's rules).
  bool MatchCurrentRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  // The parsed filter and its evaluator while a filter is active.
  TExprParser* FilterParser() const { return FFilterParser.get(); }
  TConstraintCollection* ParseConstrains() const { return FParseConstrains.get(); }
  TConstraintCollection* DefaultConstrains() const { return FDefaultConstrains.get(); }

  // ---- constraints -----------------------------------------------------------------
  void DisableConstraints() { ++FConstrDisableCount; }
  void EnableConstraints() {
    if (FConstrDisableCount > 0) --FConstrDisableCount;
  }
  bool ConstraintsDisabled() const { return FConstrDisableCount > 0; }
  // The record check of a post: every check constraint and record-level
  // field constraint against the active record; the first that fails raises
  // its error message. Nothing while constraints are disabled or none exist.
  void CheckRecordConstraints();
  // The field check of a write: the constraints of Field against Value (the
  // bare slot value about to be stored).
  void CheckFieldConstraints(TField* Field, const void* Value);
  // Evaluates the default expressions into the new record in Buffer.
  void ApplyDefaultExpressions(TRecordBuffer Buffer);

  // ---- record-buffer access for the cursor, blob streams and tests ----------------
  uint16_t RecBufSize() const { return FRecBufSize; }
  uint16_t RecInfoOfs() const { return FRecInfoOfs; }
  uint16_t BookmarkOfs() const { return FBookmarkOfs; }
  uint16_t BlobCacheOfs() const { return FBlobCacheOfs; }
  // The record number in a buffer's record info. The record info need not
  // be aligned, so it is copied rather than referenced.
  int32_t RecInfoRecNo(TRecordBuffer Buffer) const;
  void SetRecInfoRecNo(TRecordBuffer Buffer, int32_t Value) const;
  // The record-info number of the calc buffer (dsCalcFields) or of the
  // active buffer.
  void StoreRecNo(int32_t Value);
  bool IsDatasetEmpty() const { return FIsDatasetEmpty; }
  virtual bool GetStateBuffer(TRecordBuffer& Buffer);
  // Blob-cache slots: each slot owns the copy it points to. A copy is stored
  // only while CacheBlobs is on and only in the active buffer; clearing a
  // buffer (and freeing it) releases every slot, whatever CacheBlobs says.
  // The cached value of a blob field in Buffer, or null when none is cached.
  const std::vector<uint8_t>* GetCachedBlob(TField* Field, TRecordBuffer Buffer);
  // Caches a copy of Bytes (nothing when null) for a blob field.
  void PutCachedBlob(TField* Field, TRecordBuffer Buffer, const std::vector<uint8_t>* Bytes);
  void ClearBlobCache(TRecordBuffer Buffer);

 protected:
  // ---- operations the cursor supplies ----------------------------------------------
  virtual bool CanUseBookmarks() { return true; }
  virtual void CreateFilterEvaluator();
  virtual void FreeFilterEvaluator();
  virtual bool DoFiltering(TRecordBuffer Buffer);
  // The record search of Locate and Lookup: in the core, the test of the
  // active record; a cursor replaces it with a real search that leaves the
  // cursor on the record found.
  virtual bool DoLocate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                        bool SyncCursor);
  virtual TPvAbsSession* GetDefaultSession() = 0;
  virtual TPvAbsSessionList* GetSessionList() = 0;
  virtual bool IsMayBeSlow();
  virtual bool IsCursorClosed() = 0;
  virtual void InitBufferPointers(bool Reload);
  virtual TGetResult PvInternalFirst(bool Check) = 0;
  virtual TGetResult PvInternalLast(bool Check) = 0;
  virtual TGetResult PvInternalNext(bool Check) = 0;
  virtual TGetResult PvInternalPrior(bool Check) = 0;
  virtual TGetResult PvGetRecord(TRecordBuffer Buffer, TGetMode Direction, bool Check) = 0;
  virtual void PvInternalPost() = 0;
  virtual void PvInternalCancel() = 0;
  virtual void PvInternalAddRecord(TRecordBuffer Buffer, bool Append) = 0;
  virtual void PvInternalInsert() = 0;
  virtual void PvInternalEdit() = 0;
  virtual void PvInternalDelete() = 0;
  virtual void PvInternalRefresh() {}
  virtual void PvInternalGotoBookmark(const uint8_t* Bookmark) = 0;
  virtual bool PvBookmarkValid(const uint8_t* Bookmark) = 0;
  virtual void AfterCursorOpen() {}

  // ---- framework hooks ----------------------------------------------------------------
  void ClearCalcFields(TRecordBuffer Buffer) override;
  bool GetCanModify() override;
  bool FindRecord(bool Restart, bool GoForward) override;
  int32_t GetNextRecords() override;
  int32_t GetPriorRecords() override;
  int32_t GetRecNo() override;
  void InitRecord(TRecordBuffer Buffer) override;
  void InternalCancel() override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalDelete() override;
  void InternalPost() override;
  void InternalRefresh() override;
  void InternalGotoBookmark(const void* Bookmark) override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  uint16_t GetRecordSize() override { return FRecordSize; }
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  void InternalOpen() override;
  void InternalClose() override;

  void CheckDBSessionName();
  // Raises "<What> is not supported yet" naming this dataset.
  [[noreturn]] void NotSupportedYet(const char* What);

  bool FIsDatasetEmpty = false;
  bool FGettingRecord = false;
  TRecordBuffer FFilterBuffer = nullptr;
  bool FCanModify = false;
  uint16_t FRecordSize = 0;
  bool FIsFieldConstrainVerifyState = false;
  bool FShouldCheckForEmpty = false;

 private:
  bool HasConstraints();
  // Stores a new filter text and options and re-activates the filter.
  void SetFilterData(const std::string& Text, TFilterOptions Options);
  // One verdict on the record in Buffer; a failure while taking it is
  // reported and the record passes.
  bool FilterVerdict(TRecordBuffer Buffer, const std::function<bool()>& Verdict);
  // Parses the check and field constraints and the default expressions.
  void BuildConstraints();
  // Raises the message of the first item of Items (FieldNo 0: every item;
  // otherwise those of that field) the presented record fails.
  void VerifyConstraints(int32_t FieldNo);
  void ReleaseBlobSlots(TRecordBuffer Buffer) noexcept;

  bool FAutoRefresh = false;
  uint16_t FDBFlags = 0;
  std::string FDatabaseName;
  std::string FSessionName;
  bool FRefreshOnLocate = false;
  bool FCacheBlobs = true;
  int32_t FConstrDisableCount = 0;
  uint16_t FBookmarkOfs = 0;
  uint16_t FRecInfoOfs = 0;
  uint16_t FBlobCacheOfs = 0;
  uint16_t FRecBufSize = 0;
  bool FConstraintLayer = false;
  TPvAbsDatabase* FDatabase = nullptr;
  std::unique_ptr<TExprParser> FFilterParser;
  std::unique_ptr<TParseVerifier> FFilterParseVerifier;
  std::unique_ptr<TConstraintCollection> FParseConstrains;
  std::unique_ptr<TConstraintCollection> FDefaultConstrains;
  bool FCachedUpdates = false;
  TUpdateRecordTypes FUpdateRecordTypes{rtModified, rtInserted, rtUnmodified};

  friend class TPvDrmDataSet;
  void StoreSessionName(const std::string& Value) { FSessionName = Value; }
};

// Sets a database-use flag for the scope's duration and puts back what it
// was before, so that the database is acquired and released in pairs.
class [[nodiscard]] TDBFlagScope {
 public:
  TDBFlagScope(TPvDataSet* DataSet, int32_t Flag) : FDataSet(DataSet), FFlag(Flag) {
    FWasSet = FDataSet->SetDBFlag(FFlag, true);
  }
  ~TDBFlagScope() noexcept {
    CleanupStep([this] { FDataSet->SetDBFlag(FFlag, FWasSet); });
  }
  TDBFlagScope(const TDBFlagScope&) = delete;
  TDBFlagScope& operator=(const TDBFlagScope&) = delete;

 private:
  TPvDataSet* FDataSet;
  int32_t FFlag;
  bool FWasSet = false;
};

}  // namespace dac
