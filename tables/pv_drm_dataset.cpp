#include "tables/pv_drm_dataset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "catalog/drm_misc.h"
#include "errors/checks.h"
#include "errors/error_text.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"

namespace dac {

namespace {

constexpr int32_t kNoRecord = DRM_ERR_NO_CURRENT_RECORD;  // -1603
constexpr int32_t kNoInsertPossible = DRM_ERR_NO_INSERT_POSSIBLE;  // -4991
constexpr int32_t kRecordGone = DRM_ERR_RECORD_GONE;  // -4956
constexpr int32_t kKeyBufferCount = 8;

bool IsEndOfData(int32_t Status) { return Status == kNoRecord || Status == kNoInsertPossible; }

// The integer nearest to Value, halves going to the even neighbour.
int32_t RoundHalfEven(double Value) {
  double r = std::nearbyint(Value);  // the default rounding mode rounds halves to even
  return static_cast<int32_t>(r);
}

TFieldType FieldTypeOf(const TDRMColumnInfo& Column, int32_t& Size) {
  const uint32_t drm = DRM_COLTYP_DRM(Column.ColTyp);
  const uint32_t rm = DRM_COLTYP_RM(Column.ColTyp);
  Size = 0;
  if (rm == RM_TYPE_AUTOINC) return ftAutoInc;
  switch (drm) {
    case DRM_TYPE_BOOLEAN: return ftBoolean;
    case DRM_TYPE_INT8:
    case DRM_TYPE_INT16: return rm == RM_TYPE_UNSIGNED ? ftWord : ftSmallint;
    // An unsigned 32-bit value does not fit a signed 32-bit field; the slot
    // keeps the engine's four bytes and reads widen them (GetFieldData).
    case DRM_TYPE_INT32: return rm == RM_TYPE_UNSIGNED ? ftLargeint : ftInteger;
    case DRM_TYPE_CURRENCY: return ftCurrency;
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: return ftFloat;
    case DRM_TYPE_TIMESTAMP: return ftDateTime;
    case DRM_TYPE_BINARY: Size = static_cast<int32_t>(Column.cbMax); return ftBytes;
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING: Size = static_cast<int32_t>(Column.cbMax); return ftString;
    case DRM_TYPE_LONGBINARY: Size = static_cast<int32_t>(Column.cbMax); return ftBlob;
    case DRM_TYPE_LONGTEXT: Size = static_cast<int32_t>(Column.cbMax); return ftMemo;
    case DRM_TYPE_DATE: return ftDate;
    case DRM_TYPE_TIME: return ftTime;
    case DRM_TYPE_DECIMAL: Size = Column.Scale; return ftBCD;
    case DRM_TYPE_VARBINARY: Size = static_cast<int32_t>(Column.cbMax); return ftVarBytes;
    default: return ftUnknown;
  }
}

}  // namespace

TPvDrmDataSet::TPvDrmDataSet()
    : FColumns(std::make_unique<TDRMColumnInfoCollection>(this)),
      FIndexes(std::make_unique<TDRMIndexInfoCollection>(this)) {}

TPvDrmDataSet::~TPvDrmDataSet() {
  FreeKeyBuffers();
  if (FScratchBuffer != nullptr) std::free(FScratchBuffer);
}

// ---- sessions, databases and handles ----------------------------------------------------

TPvAbsSession* TPvDrmDataSet::GetDefaultSession() { return Sessions()->DefaultSession(); }

TPvAbsSessionList* TPvDrmDataSet::GetSessionList() { return Sessions(); }

TPvDatabase* TPvDrmDataSet::Database() { return dynamic_cast<TPvDatabase*>(GetDatabase()); }

TPvSession* TPvDrmDataSet::DBSession() { return dynamic_cast<TPvSession*>(GetDBSession()); }

uint32_t TPvDrmDataSet::DBHandle() {
  TPvDatabase* db = Database();
  return db != nullptr ? db->Handle() : 0;
}

uint32_t TPvDrmDataSet::SesHandle() {
  TPvSession* s = DBSession();
  return s != nullptr ? s->Handle() : 0;
}

void TPvDrmDataSet::CheckStatus(int32_t Status) {
  if (Status != 0) dac::CheckStatus(GetDBSession(), Status, this);
}

void TPvDrmDataSet::CheckCursor() {
  if (FHandle == 0) PvDatabaseError(this, dbmsg::SInactiveDataset);
}

bool TPvDrmDataSet::CheckOpen(int32_t Status) {
  switch (Status) {
    case 0: return true;
    case DRM_ERR_ACCESS_DENIED:
    case DRM_ERR_INVALID_PASSWORD:
    case DRM_ERR_INVALID_ACCOUNT:
    case -1902:
    case DRM_ERR_PERMISSION_DENIED:
      if (GetDBSession()->GetPassword()) return false;
      CheckStatus(Status);
      return true;
    default: CheckStatus(Status); return true;
  }
}

void TPvDrmDataSet::DestroyHandle() {
  THourGlass hourglass(GetDBSession());
  RareCloseTable(SesHandle(), FHandle);
  FHandle = 0;
}

void TPvDrmDataSet::WithCatalogHandle(const std::function<void()>& Read) {
  THourGlass hourglass(GetDBSession());
  if (FHandle != 0) {
    Read();
    return;
  }
  // A closed dataset reads its catalog through a handle of its own.
  CreateHandle();
  if (FHandle == 0) PvDatabaseError(this, SCannotCreateHandle);
  Finally close([this] { DestroyHandle(); });
  Read();
}

TDRMColumnInfoCollection* TPvDrmDataSet::GetColumnCatalog() {
  if (!FColumns->Filled())
    WithCatalogHandle([this] { FColumns->SetColumnInfo(static_cast<int32_t>(SesHandle()), FHandle); });
  return FColumns.get();
}

TDRMIndexInfoCollection* TPvDrmDataSet::GetIndexCatalog() {
  if (!FIndexes->Filled())
    WithCatalogHandle([this] { FIndexes->SetIndexInfo(static_cast<int32_t>(SesHandle()), FHandle); });
  return FIndexes.get();
}

// ---- opening and closing ---------------------------------------------------------------

void TPvDrmDataSet::OpenCursor(bool InfoQuery) {
  try {
    SetDBFlag(dbfCursorOpen, true);
    CreateHandle();
    if (FHandle == 0) NoResultSetError(this);
    TPvDataSet::OpenCursor(InfoQuery);
  } catch (Exception& e) {
    const std::string desc = DescribeComponent(this);
    if (desc.empty() || e.Message().find(desc) == std::string::npos) {
      std::string message = e.Message();
      AppendWithSeparator(message, DescribeDrmError(0, this));
      e.SetMessage(message);
    }
    throw;
  }
}

void TPvDrmDataSet::CloseCursor() {
  // Whatever the framework's close does, the handle and the database go.
  Finally release([this] { ReleaseCursor(); });
  TPvDataSet::CloseCursor();
}

void TPvDrmDataSet::ReleaseCursor() noexcept {
  CleanupStep([this] {
    if (!ComponentState().Contains(csDestroying)) {
      FColumns->Clear();
      FIndexes->Clear();
    }
    if (FHandle != 0) DestroyHandle();
  });
  FHandle = 0;
  CleanupStep([this] { SetDBFlag(dbfCursorOpen, false); });
  FApplyRangeCalled = false;
}

void TPvDrmDataSet::InternalInitFieldDefs() {
  TDRMColumnInfoCollection* columns = GetColumnCatalog();
  TFieldDefs* defs = FieldDefs();
  TUpdateScope update(defs);
  defs->Clear();
  for (int32_t i = 0; i < columns->Count(); ++i) {
    const TDRMColumnInfo* c = columns->Items(i);
    std::string name = c->ColumnName;
    for (int32_t k = 1; defs->IndexOf(name) >= 0; ++k) name = Format("%s_%d", c->ColumnName, k);
    int32_t size = 0;
    TFieldType type = FieldTypeOf(*c, size);
    TFieldDef* d = defs->AddFieldDef();
    d->SetName(name);
    d->SetDataType(type);
    d->SetSize(size);
    d->SetPrecision(c->Precision);
    d->SetRequired((c->grBit & DRM_COLFLAG_REQUIRED) != 0);
    d->SetInternalCalcField(false);
    if (type == ftBCD && c->Precision == 0) PvDatabaseError(this, SInvalidPrecision);
  }
}

void TPvDrmDataSet::AllocKeyBuffers() {
  FreeKeyBuffers();
  const size_t size = sizeof(TKeyBuffer) + FRecordSize;
  for (int32_t i = 0; i < kKeyBufferCount; ++i) {
    auto* b = static_cast<TRecordBuffer>(std::calloc(size, 1));
    if (b == nullptr) {
      FreeKeyBuffers();
      throw EOutOfMemory("Out of memory");
    }
    FKeyBuffers.push_back(b);
  }
}

void TPvDrmDataSet::FreeKeyBuffers() {
  for (TRecordBuffer b : FKeyBuffers) std::free(b);
  FKeyBuffers.clear();
  FKeyBuffer = nullptr;
}

void TPvDrmDataSet::InternalOpen() {
  CheckCursor();
  TDRMColumnInfoCollection* columns = GetColumnCatalog();
  const uint32_t recordSize = columns->RecordSize();
  if (recordSize > 0xFFFF) PvDatabaseError(this, SRecordTooLarge);
  FRecordSize = static_cast<uint16_t>(recordSize);
  SetBookmarkSize(static_cast<int32_t>(kEngineBookmarkSize));
  FCanModify = columns->CanModify();
  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  GetIndexInfo();
  BindFields(true);
  InitBufferPointers(false);
  AllocKeyBuffers();
  TPvDataSet::FreeRecordBuffer(FScratchBuffer);
  FScratchBuffer = TPvDataSet::AllocRecordBuffer();
  for (TField* f : Fields()->List()) {
    const int32_t n = f->FieldNo();
    if (n <= 0 || n > columns->Count()) continue;
    const uint32_t flags = columns->Items(n - 1)->grBit;
    if ((flags & DRM_COLFLAG_REQUIRED) != 0) f->SetRequired(true);
    if ((flags & DRM_COLFLAG_READONLY) != 0) f->SetReadOnly(true);
  }
  FFirstRecord = true;
  FLastRecord = false;
  FIsDatasetEmpty = false;
  FResultWasAnOk = false;
  TPvDataSet::InternalOpen();
}

void TPvDrmDataSet::InternalClose() {
  Finally release([this] {
    FreeKeyBuffers();
    TPvDataSet::FreeRecordBuffer(FScratchBuffer);
    FIndexFieldCount = 0;
    FCaseInsIndex = false;
  });
  TPvDataSet::InternalClose();
}

void TPvDrmDataSet::InitBufferPointers(bool Reload) {
  if (Reload) {
    const uint32_t recordSize = GetColumnCatalog()->RecordSize();
    if (recordSize > 0xFFFF) PvDatabaseError(this, SRecordTooLarge);
    FRecordSize = static_cast<uint16_t>(recordSize);
    SetBookmarkSize(static_cast<int32_t>(kEngineBookmarkSize));
  }
  TPvDataSet::InitBufferPointers(Reload);
}

void TPvDrmDataSet::GetIndexInfo() {
  FIndexFieldCount = 0;
  for (TField* f : Fields()->List()) {
    TProviderFlags flags = f->ProviderFlags();
    flags.Exclude(pfInKey);
    f->SetProviderFlags(flags);
  }
  const std::string name = GetActiveIndexName();
  TDRMIndexInfoCollection* indexes = GetIndexCatalog();
  for (int32_t i = 0; i < indexes->Count(); ++i) {
    const TDRMIndexInfo* seg = indexes->Items(i);
    if (seg->IndexName != name) continue;
    ++FIndexFieldCount;
    if ((seg->grBitIndex & DRM_IDXFLAG_UNIQUE) != 0) {
      if (TField* f = FindField(seg->IndexedColumnName)) {
        TProviderFlags flags = f->ProviderFlags();
        flags.Include(pfInKey);
        f->SetProviderFlags(flags);
      }
    }
  }
}

// ---- state buffers and slowness ------------------------------------------------------------

bool TPvDrmDataSet::GetStateBuffer(TRecordBuffer& Buffer) {
  if (State() == dsSetKey) {
    Buffer = FKeyBuffer != nullptr ? FKeyBuffer + sizeof(TKeyBuffer) : nullptr;
    return Buffer != nullptr;
  }
  return TPvDataSet::GetStateBuffer(Buffer);
}

bool TPvDrmDataSet::IsMayBeSlow() { return TPvDataSet::IsMayBeSlow(); }

bool TPvDrmDataSet::Filtering() { return Filtered(); }

bool TPvDrmDataSet::IsSequenced() { return !(Filtered() || FInRange || CachedUpdates()); }

// ---- moving ------------------------------------------------------------------------------------

int32_t TPvDrmDataSet::Move(uint32_t Code) { return RareMove(SesHandle(), FHandle, Code); }

int32_t TPvDrmDataSet::FilteredStep(TGetMode Direction, bool Check) {
  return GetRecord(FScratchBuffer, Direction, Check) == grOK ? 0 : kNoRecord;
}

TGetResult TPvDrmDataSet::MoveResult(int32_t Status, TGetResult NoRecord) {
  if (Status == 0) return grOK;
  if (IsEndOfData(Status)) return NoRecord;
  return grError;
}

TGetResult TPvDrmDataSet::PvInternalFirst(bool Check) {
  FResultWasAnOk = false;
  int32_t s = Move(DRM_MOVE_FIRST);
  if (s == 0) FIsDatasetEmpty = false;
  auto settle = [&] {
    if (IsEndOfData(s)) {
      FFirstRecord = false;
    } else {
      if (Check) CheckStatus(s);
      FFirstRecord = true;
    }
  };
  settle();
  FLastRecord = false;
  if (s == 0 && Filtering()) {
    // The scratch fetch returns the first record itself (or the first one
    // accepted after it) and leaves the engine there; the flag set again
    // makes the next fetch return that record.
    s = FilteredStep(gmNext, Check);
    settle();
  }
  return MoveResult(s, grEOF);
}

TGetResult TPvDrmDataSet::PvInternalLast(bool Check) {
  FResultWasAnOk = false;
  int32_t s = Move(DRM_MOVE_LAST);
  if (s == 0) FIsDatasetEmpty = false;
  auto settle = [&] {
    if (IsEndOfData(s)) {
      FLastRecord = false;
    } else {
      if (Check) CheckStatus(s);
      FLastRecord = true;
    }
  };
  settle();
  FFirstRecord = false;
  if (s == 0 && Filtering()) {
    s = FilteredStep(gmPrior, Check);
    settle();
  }
  return MoveResult(s, grBOF);
}

TGetResult TPvDrmDataSet::PvInternalNext(bool Check) {
  FResultWasAnOk = false;
  int32_t s = Filtering() ? FilteredStep(gmNext, Check) : Move(DRM_MOVE_NEXT);
  if (IsEndOfData(s)) {
    FLastRecord = true;
  } else {
    if (Check) CheckStatus(s);
    FLastRecord = false;
  }
  FFirstRecord = false;
  return MoveResult(s, grEOF);
}

TGetResult TPvDrmDataSet::PvInternalPrior(bool Check) {
  FResultWasAnOk = false;
  int32_t s = Filtering() ? FilteredStep(gmPrior, Check) : Move(DRM_MOVE_PREVIOUS);
  if (IsEndOfData(s)) {
    FFirstRecord = true;
  } else {
    if (Check) CheckStatus(s);
    FFirstRecord = false;
  }
  FLastRecord = false;
  return MoveResult(s, grBOF);
}

TGetResult TPvDrmDataSet::PvGetRecord(TRecordBuffer Buffer, TGetMode Direction, bool Check) {
  TTraceScope trace(TraceGetRecord, kTraceGetRecord, "TPvDrmDataSet.PvGetRecord");
  if (FIsDatasetEmpty) return Direction == gmNext ? grEOF : grBOF;
  const TGetMode requested = Direction;
  if ((FFirstRecord && Direction == gmNext) || (FLastRecord && Direction == gmPrior)) Direction = gmCurrent;
  FFirstRecord = false;
  FLastRecord = false;
  const uint32_t S = SesHandle();
  TDRMColumnInfoCollection* columns = FColumns.get();
  int32_t s = 0;
  for (;;) {
    if (Direction == gmCurrent) {
      s = DrmMiscGetRecord(S, FHandle, columns, Buffer);
    } else {
      s = RareMove(S, FHandle, Direction == gmNext ? DRM_MOVE_NEXT : DRM_MOVE_PREVIOUS);
      if (s == 0) s = DrmMiscGetRecord(S, FHandle, columns, Buffer);
    }
    if (s == 0) {
      uint32_t length = 0;
      s = RareGetBookmark(S, FHandle, Buffer + BookmarkOfs(), kEngineBookmarkSize, &length);
      // Calculated fields may read RecNo: it must not be the number of
      // whichever record this buffer held before.
      SetRecInfoRecNo(Buffer, -1);
      if (s == 0 && (CalcFieldsSize() > 0 || InternalCalcFields())) {
        FGettingRecord = true;
        Finally fetched([this] { FGettingRecord = false; });
        GetCalcFields(Buffer);
      }
    }
    if (s != 0 || requested == gmCurrent || CachedUpdates()) break;
    if (DoFiltering(Buffer)) break;
    Direction = requested;
  }
  if (IsEndOfData(s)) {
    if (!FResultWasAnOk && !FInserting && FBOF && FEOF) FIsDatasetEmpty = true;
    return Direction == gmNext ? grEOF : grBOF;
  }
  if (s != 0) {
    if (Check) CheckStatus(s);
    return grError;
  }
  SetRecInfoRecNo(Buffer, -1);
  Buffer[RecInfoOfs() + kRecInfoBookmarkFlagOfs] = bfCurrent;
  ClearBlobCache(Buffer);
  FResultWasAnOk = true;
  return grOK;
}

void TPvDrmDataSet::DoBeforeScroll() {
  if (FInserting) FIsDatasetEmpty = false;
  FScrolling = true;
  TPvDataSet::DoBeforeScroll();
}

void TPvDrmDataSet::DoAfterScroll() {
  FScrolling = false;
  if (FEOF && FBOF && !FInserting) FIsDatasetEmpty = true;
  if (!FIsDatasetEmpty) FInserting = false;
  TPvDataSet::DoAfterScroll();
}

// ---- counts and record numbers ----------------------------------------------------------------

int32_t TPvDrmDataSet::GetRecordCount() {
  CheckCursor();
  if (Filtered() || FInRange || CachedUpdates()) return -1;
  uint32_t n = 0;
  CheckStatus(RareGetRecordCount(FHandle, &n));
  return static_cast<int32_t>(n);
}

int32_t TPvDrmDataSet::GetRecNo() {
  CheckActive();
  int32_t r = TPvDataSet::GetRecNo();
  if (r != -1 || Filtered() || FInRange || CachedUpdates()) return r;
  // While calculated fields are computed the engine stands on the record
  // being fetched: it must not be moved in the middle of that fetch.
  if (State() != dsCalcFields) UpdateCursorPos();
  uint32_t p = 0;
  if (RareFindPercentage(FHandle, &p) != 0) return r;
  const int32_t count = GetRecordCount();
  // The estimate from a percentage can round to 0 (or past the end) on a
  // large table: a real record is numbered 1 .. count.
  r = std::clamp(RoundHalfEven(static_cast<double>(count) * (static_cast<double>(p) / 10000.0)), 1,
                 std::max(count, 1));
  StoreRecNo(r);
  if (State() != dsBrowse) return r;
  TRecordBuffer b = ActiveBuffer();
  if (b == nullptr) return r;
  uint8_t B[kEngineBookmarkSize];
  std::memcpy(B, b + BookmarkOfs(), kEngineBookmarkSize);
  uint8_t C[kEngineBookmarkSize] = {};
  uint32_t length = 0;
  const uint32_t S = SesHandle();
  if (RareGetBookmark(S, FHandle, C, kEngineBookmarkSize, &length) != 0 || RareGotoBookmark(S, FHandle, B, kEngineBookmarkSize) != 0) return r;
  // The probes below move the engine; it goes back where it stood.
  Finally back([&] { (void)RareGotoBookmark(S, FHandle, C, kEngineBookmarkSize); });
  int32_t s = RareMove(S, FHandle, DRM_MOVE_PREVIOUS);
  if (IsEndOfData(s)) {
    r = 1;
    StoreRecNo(r);
    return r;
  }
  if (s != 0) return r;
  if (RareGotoBookmark(S, FHandle, B, kEngineBookmarkSize) != 0) return r;
  s = RareMove(S, FHandle, DRM_MOVE_NEXT);
  if (IsEndOfData(s)) {
    r = count;
    StoreRecNo(r);
  }
  return r;
}

void TPvDrmDataSet::SetRecNo(int32_t Value) {
  CheckBrowseMode();
  if (Filtered() || FInRange || CachedUpdates()) return;
  if (Value == RecNo()) return;
  const int32_t count = GetRecordCount();
  // An empty table has no position to go to.
  if (count <= 0) return;
  DoBeforeScroll();
  const int32_t p = RoundHalfEven(static_cast<double>(Value) / static_cast<double>(count) * 10000.0);
  if (RareGetByPercentage(FHandle, static_cast<uint32_t>(p < 0 ? 0 : p)) == 0) {
    FFirstRecord = false;
    FLastRecord = false;
    Resync(TResyncMode{rmCenter});
    DoAfterScroll();
  }
}

// ---- field data ---------------------------------------------------------------------------------

bool TPvDrmDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer b = nullptr;
  if (!GetStateBuffer(b)) return false;
  const int32_t n = Field->FieldNo();
  if (n > 0) {
    bool isNull = true;
    if (Field->DataType() == ftLargeint && Buffer != nullptr && n <= FColumns->Count() &&
        FColumns->Items(n - 1)->RealDataSize == sizeof(uint32_t)) {
      uint32_t narrow = 0;
      GetColumnValue(this, FColumns.get(), n, FIsFieldConstrainVerifyState, isNull, &narrow, b);
      const int64_t wide = narrow;
      std::memcpy(Buffer, &wide, sizeof wide);
      return !isNull;
    }
    GetColumnValue(this, FColumns.get(), n, FIsFieldConstrainVerifyState, isNull, Buffer, b);
    return !isNull;
  }
  switch (State()) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsCalcFields:
    case dsBlockRead: {
      const uint8_t* q = b + FRecordSize + Field->Offset();
      if (q[0] == 0) return false;
      if (Buffer != nullptr) std::memcpy(Buffer, q + 1, static_cast<size_t>(Field->DataSize()));
      return true;
    }
    default: return false;
  }
}

void TPvDrmDataSet::SetFieldData(TField* Field, const void* Buffer) {
  switch (State()) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc: break;
    default: PvDatabaseError(this, dbmsg::SNotEditing);
  }
  if (Field->FieldNo() > 0) {
    // Data fields are written by the editing and key layers.
    if (State() == dsCalcFields) PvDatabaseError(this, dbmsg::SNotEditing);
    NotSupportedYet("Editing");
  }
  if (State() == dsSetKey) NotSupportedYet("Key editing");
  TRecordBuffer b = nullptr;
  if (!GetStateBuffer(b)) return;
  uint8_t* q = b + FRecordSize + Field->Offset();
  q[0] = Buffer != nullptr ? 1 : 0;
  if (Buffer != nullptr) std::memcpy(q + 1, Buffer, static_cast<size_t>(Field->DataSize()));
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

TFreePtr<TStream> TPvDrmDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  (void)Field;
  (void)Mode;
  NotSupportedYet("Blob streams");
}

void TPvDrmDataSet::PvInternalRefresh() {
  THourGlass hourglass(GetDBSession());
  // Nothing to do when the cursor stands on no record.
  (void)RareRefreshCurRecord(FHandle);
}

void TPvDrmDataSet::PvInternalPost() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalCancel() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalAddRecord(TRecordBuffer Buffer, bool Append) {
  (void)Buffer;
  (void)Append;
  NotSupportedYet("Editing");
}
void TPvDrmDataSet::PvInternalInsert() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalEdit() { NotSupportedYet("Editing"); }
void TPvDrmDataSet::PvInternalDelete() { NotSupportedYet("Editing"); }

// ---- bookmarks -------------------------------------------------------------------------------------

int32_t TPvDrmDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  // An empty bookmark sorts before every other; two empty ones are equal.
  const bool e1 = Bookmark1.size() < kEngineBookmarkSize, e2 = Bookmark2.size() < kEngineBookmarkSize;
  if (e1 || e2) return e1 == e2 ? 0 : (e1 ? -1 : 1);
  uint32_t a = 0, b = 0;
  std::memcpy(&a, Bookmark1.data(), kEngineBookmarkSize);
  std::memcpy(&b, Bookmark2.data(), kEngineBookmarkSize);
  return a < b ? -1 : (a > b ? 1 : 0);
}

int32_t TPvDrmDataSet::GotoEngineBookmark(const uint8_t* Bookmark, bool Check, bool Strict) {
  THourGlass hourglass(GetDBSession());
  const int32_t s = RareGotoBookmark(SesHandle(), FHandle, Bookmark, kEngineBookmarkSize);
  if (Check && (Strict || s != kRecordGone)) {
    CheckStatus(s);
    FFirstRecord = FLastRecord = false;
  } else if (s == 0) {
    FFirstRecord = FLastRecord = false;
  }
  return s;
}

bool TPvDrmDataSet::PvBookmarkValid(const uint8_t* Bookmark) {
  if (FHandle == 0) return false;
  CursorPosChanged();
  if (RareGotoBookmark(SesHandle(), FHandle, Bookmark, kEngineBookmarkSize) != 0) return false;
  FFirstRecord = FLastRecord = false;
  return true;
}

void TPvDrmDataSet::PvInternalGotoBookmark(const uint8_t* Bookmark) {
  if (ComponentState().Contains(csDestroying)) return;
  const bool rangeInForce = FKeyBuffers.size() == kKeyBufferCount &&
                            reinterpret_cast<TKeyBuffer*>(FKeyBuffers[kiCurRangeStart])->Modified &&
                            reinterpret_cast<TKeyBuffer*>(FKeyBuffers[kiCurRangeEnd])->Modified &&
                            !FProcessingBlob && !FInMasterDetailRelationShip;
  if (rangeInForce) NotSupportedYet("Ranges");
  if (GotoEngineBookmark(Bookmark, true, false) == kRecordGone) {
    // The record is gone and the engine did not move. The resync that
    // follows reads the record the cursor stands on, which is whatever
    // record was fetched last; bring it back to the active record so that
    // the dataset stays where it was instead of jumping to an arbitrary one.
    TRecordBuffer active = ActiveBuffer();
    if (active != nullptr && !IsEmpty() && GetBookmarkFlag(active) == bfCurrent &&
        std::memcmp(active + BookmarkOfs(), Bookmark, kEngineBookmarkSize) != 0 &&
        RareGotoBookmark(SesHandle(), FHandle, active + BookmarkOfs(), kEngineBookmarkSize) == 0) {
      FFirstRecord = FLastRecord = false;
      FCurrentRecord = FActiveRecord;
    }
  }
}

// ---- direct record-manager access ----------------------------------------------------------------

int32_t TPvDrmDataSet::DirectRmCall(int16_t Op, void* pDataBuf, uint16_t& DataLen, void* pKeyBuf, uint8_t KeyLen,
                                    int8_t KeyNum) {
  CheckActive();
  return RareRmCall(FHandle, Op, pDataBuf, &DataLen, pKeyBuf, KeyLen, KeyNum);
}

TRmInfo TPvDrmDataSet::RmHandle() {
  CheckActive();
  TRmInfo info{};
  CheckStatus(RareGetRmInfo(FHandle, &info));
  return info;
}

}  // namespace dac
