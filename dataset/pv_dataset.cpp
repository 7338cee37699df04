#include "dataset/pv_dataset.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "filter/constraint_collection.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "platform/rtl/scope_guard.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"

namespace dac {

namespace {

// The unit-wide default of RefreshOnLocate.
constexpr bool kDefaultRefreshOnLocate = false;

using TBlobBytes = std::vector<uint8_t>;

// The blob-cache slots follow the calculated-field area and need not be
// aligned: they are read and written by copying.
TBlobBytes* GetBlobSlot(TRecordBuffer Buffer, uint16_t BlobCacheOfs, int32_t Ordinal) {
  TBlobBytes* p = nullptr;
  std::memcpy(&p, Buffer + BlobCacheOfs + static_cast<size_t>(Ordinal) * sizeof p, sizeof p);
  return p;
}

void SetBlobSlot(TRecordBuffer Buffer, uint16_t BlobCacheOfs, int32_t Ordinal, TBlobBytes* Value) {
  std::memcpy(Buffer + BlobCacheOfs + static_cast<size_t>(Ordinal) * sizeof Value, &Value, sizeof Value);
}

}  // namespace

TPvDataSet::TPvDataSet()
    : FParseConstrains(std::make_unique<TConstraintCollection>()),
      FDefaultConstrains(std::make_unique<TConstraintCollection>()) {
  FRefreshOnLocate = kDefaultRefreshOnLocate;
}

TPvDataSet::~TPvDataSet() = default;

[[noreturn]] void TPvDataSet::NotSupportedYet(const char* What) { PvDatabaseErrorFmt(this, SNotSupportedYet, What); }

// ---- properties ------------------------------------------------------------------------

void TPvDataSet::SetCachedUpdates(bool Value) {
  if (Value == FCachedUpdates) return;
  if (Value) NotSupportedYet("Cached updates");
  FCachedUpdates = false;
}

void TPvDataSet::SetDatabaseName(const std::string& Value) {
  if (Value == FDatabaseName) return;
  CheckInactive();
  if (FDatabase != nullptr) PvDatabaseError(this, SDatabaseOpen);
  if (TPvAbsSession* s = GetDBSession(); s != nullptr && !FDatabaseName.empty()) {
    TPvAbsDatabase* db = s->DoFindDatabase(FDatabaseName, Owner());
    if (db != nullptr && db->Temporary()) {
      db->SetKeepConnection(false);
      db->Close();
    }
  }
  FDatabaseName = Value;
  DataEvent(dePropertyChange, 0);
}

void TPvDataSet::SetSessionName(const std::string& Value) {
  CheckInactive();
  FSessionName = Value;
  DataEvent(dePropertyChange, 0);
}

// ---- databases and sessions ---------------------------------------------------------

TPvAbsDatabase* TPvDataSet::OpenDatabase() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.OpenDatabase");
  TPvAbsSession* s = GetSessionList()->GetSessionByName(FSessionName);
  return s->DoOpenDatabase(FDatabaseName, Owner());
}

TPvAbsDatabase* TPvDataSet::OpenDatabaseEx(bool SetDatabase) {
  TPvAbsDatabase* db = OpenDatabase();
  if (SetDatabase) FDatabase = db;
  return db;
}

void TPvDataSet::CloseDatabase(TPvAbsDatabase* Database) {
  if (Database != nullptr) Database->Session()->CloseDatabase(Database);
}

TPvAbsDatabase* TPvDataSet::GetDatabase() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.GetDatabase");
  return FDatabase != nullptr ? FDatabase : OpenDatabase();
}

TPvAbsSession* TPvDataSet::GetDBSession() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.GetDBSession");
  if (FDatabase != nullptr) return FDatabase->Session();
  TPvAbsSession* s = GetSessionList()->FindSession(FSessionName);
  return s != nullptr ? s : GetDefaultSession();
}

void TPvDataSet::CheckDBSessionName() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.CheckDBSessionName");
  if (FSessionName.empty() || FDatabaseName.empty()) return;
  TPvAbsSession* s = GetSessionList()->FindSession(FSessionName);
  if (s == nullptr || s->DoFindDatabase(FDatabaseName, this) != nullptr) return;
  TPvAbsDatabase* db = GetDefaultSession()->DoFindDatabase(FDatabaseName, this);
  if (db == nullptr || db->Connected()) return;
  // A database placed before the session it names was created still sits in
  // the default session; re-assigning its session name attaches it to the
  // session that now exists.
  std::string name = db->SessionName();
  db->SetSessionName(std::string());
  db->SetSessionName(name);
  GetSessionList()->GetSessionByName(name)->SetActive(true);
}

bool TPvDataSet::SetDBFlag(int32_t Flag, bool Value) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.SetDBFlag");
  if (Flag < 0 || Flag > 15) return false;
  const uint16_t bit = static_cast<uint16_t>(1u << Flag);
  const bool was = (FDBFlags & bit) != 0;
  if (Value && !was) {
    if (FDBFlags == 0) {
      CheckDBSessionName();
      FDatabase = OpenDatabase();
      FDatabase->RegisterClient(this);
    }
    FDBFlags = static_cast<uint16_t>(FDBFlags | bit);
  } else if (!Value && was) {
    FDBFlags = static_cast<uint16_t>(FDBFlags & ~bit);
    if (FDBFlags == 0 && FDatabase != nullptr) {
      TPvAbsDatabase* db = FDatabase;
      FDatabase = nullptr;
      db->UnRegisterClient(this);
      CloseDatabase(db);
    }
  }
  return was;
}

// ---- provider support ---------------------------------------------------------------

void TPvDataSet::PSEndTransaction(bool Commit) {
  // The flag set by PSStartTransaction goes whatever the outcome.
  Finally clear([this] { SetDBFlag(dbfProvider, false); });
  TPvAbsDatabase* db = GetDatabase();
  if (Commit)
    db->Commit();
  else
    db->Rollback();
}

std::unique_ptr<EUpdateError> TPvDataSet::PSGetUpdateException(const Exception& E, const EUpdateError* Prev) {
  if (auto* engine = dynamic_cast<const EPvDBEngineError*>(&E)) {
    int32_t code = 0;
    if (engine->ErrorCount() > 0) {
      if (auto* drm = dynamic_cast<const TPvDrmError*>(engine->Errors(0)))
        code = drm->ErrorCode();
      else
        code = engine->Errors(0)->NativeError();
    }
    return std::make_unique<EUpdateError>(E.Message(), "", code, Prev != nullptr ? Prev->ErrorCode() : 0, E.Clone());
  }
  return TDataSet::PSGetUpdateException(E, Prev);
}

bool TPvDataSet::PSInTransaction() {
  TPvAbsDatabase* db = GetSessionList()->GetSessionByName(FSessionName)->DoFindDatabase(FDatabaseName, Owner());
  return db != nullptr && db->InTransaction();
}

bool TPvDataSet::PSIsSQLBased() {
  TDBFlagScope provider(this, dbfProvider);
  return GetDatabase()->IsSQLBased();
}

void TPvDataSet::PSReset() {
  TDataSet::PSReset();
  if (!IsCursorClosed()) {
    FIsDatasetEmpty = false;
    PvInternalRefresh();
    First();
  }
}

void TPvDataSet::PSStartTransaction() {
  SetDBFlag(dbfProvider, true);
  // The flag stays set until PSEndTransaction, unless the start fails.
  Finally undo([this] { SetDBFlag(dbfProvider, false); });
  GetDatabase()->StartTransaction();
  undo.Dismiss();
}

bool TPvDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  if (!OnUpdateRecord) return false;
  TUpdateAction action = uaFail;
  OnUpdateRecord(Delta, UpdateKind, action);
  return action == uaApplied;
}

// ---- operations of later layers -------------------------------------------------------

void TPvDataSet::ApplyUpdates() { NotSupportedYet("Cached updates"); }
void TPvDataSet::CommitUpdates() { NotSupportedYet("Cached updates"); }
void TPvDataSet::CancelUpdates() { NotSupportedYet("Cached updates"); }
void TPvDataSet::RevertRecord() { NotSupportedYet("Cached updates"); }

bool TPvDataSet::HasConstraints() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.HasConstraints");
  if (Constraints()->Count() > 0) return true;
  for (TField* f : Fields()->List()) {
    if (!f->CustomConstraint().empty() || !f->ImportedConstraint().empty() || !f->DefaultExpression().empty())
      return true;
  }
  return false;
}

Variant TPvDataSet::GetStateFieldValue(TDataSetState AState, TField* Field) {
  if (!FCachedUpdates) PvDatabaseError(this, SNotInCachedUpdateMode);
  return TDataSet::GetStateFieldValue(AState, Field);
}

void TPvDataSet::SetStateFieldValue(TDataSetState AState, TField* Field, const Variant& Value) {
  if (!FCachedUpdates) PvDatabaseError(this, SNotInCachedUpdateMode);
  TDataSet::SetStateFieldValue(AState, Field, Value);
}

// ---- bookkeeping --------------------------------------------------------------------

void TPvDataSet::InitBufferPointers(bool Reload) {
  (void)Reload;
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.InitBufferPointers");
  const size_t blobCache = size_t{FRecordSize} + static_cast<size_t>(CalcFieldsSize());
  const size_t recInfo = blobCache + static_cast<size_t>(BlobFieldCount()) * sizeof(void*);
  const size_t bookmark = recInfo + sizeof(TRecInfo);
  const size_t total = bookmark + static_cast<size_t>(BookmarkSize());
  if (total > 0xFFFF) PvDatabaseError(this, SRecordTooLarge);
  FBlobCacheOfs = static_cast<uint16_t>(blobCache);
  FRecInfoOfs = static_cast<uint16_t>(recInfo);
  FBookmarkOfs = static_cast<uint16_t>(bookmark);
  FRecBufSize = static_cast<uint16_t>(total);
}

int32_t TPvDataSet::RecInfoRecNo(TRecordBuffer Buffer) const {
  int32_t v = 0;
  std::memcpy(&v, Buffer + FRecInfoOfs, sizeof v);
  return v;
}

void TPvDataSet::SetRecInfoRecNo(TRecordBuffer Buffer, int32_t Value) const {
  std::memcpy(Buffer + FRecInfoOfs, &Value, sizeof Value);
}

void TPvDataSet::StoreRecNo(int32_t Value) {
  TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (b != nullptr) SetRecInfoRecNo(b, Value);
}

void TPvDataSet::ClearBlobCache(TRecordBuffer Buffer) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.ClearBlobCache");
  ReleaseBlobSlots(Buffer);
}

// Every slot owns the copy it points to, whatever CacheBlobs says now (it may
// have been switched off after a value was cached), so every slot is emptied.
void TPvDataSet::ReleaseBlobSlots(TRecordBuffer Buffer) noexcept {
  if (Buffer == nullptr) return;
  for (int32_t i = 0; i < BlobFieldCount(); ++i) {
    std::unique_ptr<TBlobBytes> release(GetBlobSlot(Buffer, FBlobCacheOfs, i));
    SetBlobSlot(Buffer, FBlobCacheOfs, i, nullptr);
  }
}

const std::vector<uint8_t>* TPvDataSet::GetCachedBlob(TField* Field, TRecordBuffer Buffer) {
  if (Buffer == nullptr || !Field->IsBlob() || Field->Offset() >= BlobFieldCount()) return nullptr;
  return GetBlobSlot(Buffer, FBlobCacheOfs, Field->Offset());
}

void TPvDataSet::PutCachedBlob(TField* Field, TRecordBuffer Buffer, const std::vector<uint8_t>* Bytes) {
  if (!FCacheBlobs || Buffer == nullptr || Buffer != ActiveBuffer() || !Field->IsBlob() ||
      Field->Offset() >= BlobFieldCount())
    return;
  std::unique_ptr<TBlobBytes> old(GetBlobSlot(Buffer, FBlobCacheOfs, Field->Offset()));
  SetBlobSlot(Buffer, FBlobCacheOfs, Field->Offset(),
              Bytes != nullptr ? std::make_unique<TBlobBytes>(*Bytes).release() : nullptr);
}

bool TPvDataSet::GetStateBuffer(TRecordBuffer& Buffer) {
  Buffer = nullptr;
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      if (!IsEmpty()) Buffer = ActiveBuffer();
      break;
    case dsEdit:
    case dsInsert:
    case dsNewValue: Buffer = ActiveBuffer(); break;
    case dsCalcFields: Buffer = CalcBuffer(); break;
    case dsFilter: Buffer = FFilterBuffer; break;
    default: break;
  }
  return Buffer != nullptr;
}

bool TPvDataSet::IsMayBeSlow() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.IsMayBeSlow");
  return Filtered();
}

// ---- framework hooks ------------------------------------------------------------------

void TPvDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  if (CalcFieldsSize() > 0) std::memset(Buffer + FRecordSize, 0, static_cast<size_t>(CalcFieldsSize()));
}

bool TPvDataSet::GetCanModify() { return FCanModify || (FCachedUpdates && static_cast<bool>(OnUpdateRecord)); }

int32_t TPvDataSet::GetNextRecords() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.GetNextRecords");
  return TDataSet::GetNextRecords();
}

int32_t TPvDataSet::GetPriorRecords() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.GetPriorRecords");
  return TDataSet::GetPriorRecords();
}

int32_t TPvDataSet::GetRecNo() {
  CheckActive();
  TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  return b != nullptr ? RecInfoRecNo(b) : -1;
}

void TPvDataSet::InitRecord(TRecordBuffer Buffer) {
  TDataSet::InitRecord(Buffer);
  ClearBlobCache(Buffer);
  SetRecInfoRecNo(Buffer, -1);
  Buffer[FRecInfoOfs + kRecInfoBookmarkFlagOfs] = bfInserted;
}

void TPvDataSet::InternalCancel() { PvInternalCancel(); }
void TPvDataSet::InternalEdit() { PvInternalEdit(); }
void TPvDataSet::InternalInsert() {
  PvInternalInsert();
  ApplyDefaultExpressions(ActiveBuffer());
}
void TPvDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) { PvInternalAddRecord(Buffer, Append); }
void TPvDataSet::InternalDelete() { PvInternalDelete(); }
void TPvDataSet::InternalPost() { PvInternalPost(); }

void TPvDataSet::InternalRefresh() {
  const bool wasEmpty = FIsDatasetEmpty;
  FIsDatasetEmpty = false;
  PvInternalRefresh();
  // A dataset that showed no records has no current record to refresh; the
  // resync that follows must find records added since, so start over at
  // the first.
  if (wasEmpty) PvInternalFirst(false);
}

void TPvDataSet::InternalGotoBookmark(const void* Bookmark) {
  PvInternalGotoBookmark(static_cast<const uint8_t*>(Bookmark));
}

TRecordBuffer TPvDataSet::AllocRecordBuffer() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.AllocRecordBuffer");
  // Zero-filled: the blob-cache slots start empty (null).
  auto* b = static_cast<TRecordBuffer>(std::calloc(FRecBufSize == 0 ? 1 : FRecBufSize, 1));
  if (b == nullptr) throw EOutOfMemory("Out of memory");
  return b;
}

void TPvDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (Buffer == nullptr) return;
  // Freeing is clean-up: a trace that cannot be written does not keep the
  // buffer or its cached blobs alive.
  CleanupStep([&] { ClearBlobCache(Buffer); });
  ReleaseBlobSlots(Buffer);
  std::free(Buffer);
  Buffer = nullptr;
}

void TPvDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  std::memcpy(Data, Buffer + FBookmarkOfs, static_cast<size_t>(BookmarkSize()));
}

void TPvDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  if (Data == nullptr) return;
  std::memcpy(Buffer + FBookmarkOfs, Data, static_cast<size_t>(BookmarkSize()));
}

TBookmarkFlag TPvDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[FRecInfoOfs + kRecInfoBookmarkFlagOfs]);
}

void TPvDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.SetBookmarkFlag");
  Buffer[FRecInfoOfs + kRecInfoBookmarkFlagOfs] = Value;
}

void TPvDataSet::InternalInitRecord(TRecordBuffer Buffer) { std::memset(Buffer, 0, FRecordSize); }

void TPvDataSet::InternalFirst() {
  if (FCachedUpdates) NotSupportedYet("Cached updates");
  if (IsMayBeSlow()) {
    THourGlass hourglass(GetDBSession());
    PvInternalFirst(true);
  } else {
    PvInternalFirst(true);
  }
}

void TPvDataSet::InternalLast() {
  if (FCachedUpdates) NotSupportedYet("Cached updates");
  if (IsMayBeSlow()) {
    THourGlass hourglass(GetDBSession());
    PvInternalLast(true);
  } else {
    PvInternalLast(true);
  }
}

void TPvDataSet::InternalSetToRecord(TRecordBuffer Buffer) { InternalGotoBookmark(Buffer + FBookmarkOfs); }

TGetResult TPvDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.GetRecord");
  if (FCachedUpdates) NotSupportedYet("Cached updates");
  return PvGetRecord(Buffer, GetMode, DoCheck);
}

bool TPvDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || ActiveBuffer() == nullptr || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  return GetRecord(Buffer, gmCurrent, false) == grOK;
}

bool TPvDataSet::BookmarkValid(const TBookmark& Bookmark) {
  if (Bookmark.empty() || static_cast<int32_t>(Bookmark.size()) < BookmarkSize()) return false;
  if (FCachedUpdates) NotSupportedYet("Cached updates");
  return PvBookmarkValid(Bookmark.data());
}

void TPvDataSet::InternalOpen() {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvDataSet.InternalOpen");
  TTraceScope traceOpen(TraceOpen, kTraceOpen, "TPvDataSet.InternalOpen");
  if (FCachedUpdates) {
    if (BookmarkSize() < 2) PvDatabaseError(this, SCachedUpdatesNotSupported);
    NotSupportedYet("Cached updates");
  }
  FConstraintLayer = HasConstraints();
  if (FConstraintLayer) BuildConstraints();
  if (Filtered()) CreateFilterEvaluator();
  PvInternalFirst(true);
  AfterCursorOpen();
}

void TPvDataSet::InternalClose() {
  if (Filtered()) FreeFilterEvaluator();
  if (FConstraintLayer) FParseConstrains->Clear();
  FConstraintLayer = false;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FCanModify = false;
}

}  // namespace dac
