// TPvDrmDataSet: handles, catalogs, opening and closing, field definitions,
// key buffers and field data. Navigation, bookmarks and record numbers are
// in pv_drm_dataset_navigation.cpp, editing in pv_drm_dataset_edit.cpp.
#include "tables/pv_drm_dataset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "catalog/drm_misc.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
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
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

using namespace drmdataset;

namespace {

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

TPvSession* TPvDrmDataSet::DBSession() {
  TPvAbsSession* s = GetDBSession();
  // Every fetch asks for the session handle: the exact class is checked
  // first, which needs no search of the class hierarchy.
  if (s != nullptr && typeid(*s) == typeid(TPvSession)) return static_cast<TPvSession*>(s);
  return dynamic_cast<TPvSession*>(s);
}

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
  for (size_t i = 0; i < kKeyBufferCount; ++i) {
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
    const TDRMColumnInfo* c = columns->Items(n - 1);
    const uint32_t flags = c->grBit;
    if ((flags & DRM_COLFLAG_REQUIRED) != 0) f->SetRequired(true);
    if ((flags & DRM_COLFLAG_READONLY) != 0) f->SetReadOnly(true);
    // A field whose native value is its slot's value reads the slot itself
    // while browsing (GetFieldData reads no other way then). Not a widened
    // unsigned column, whose slot is narrower than its field, nor a long
    // column, whose slot holds only its indicator.
    if (f->FieldKind() == fkData && !IsBlobColumn(c) && c->RealDataSize >= static_cast<uint32_t>(f->DataSize()))
      f->SetRecordSlot(static_cast<int32_t>(c->Offset));
  }
  FFirstRecord = true;
  FLastRecord = false;
  FIsDatasetEmpty = false;
  FResultWasAnOk = false;
  // A new handle holds no pending row: whatever an earlier open of the
  // dataset was editing went with its handle.
  FInserting = FEditing = FDidAnInitInsert = false;
  TPvDataSet::InternalOpen();
}

void TPvDrmDataSet::InternalClose() {
  Finally release([this] {
    FreeKeyBuffers();
    TPvDataSet::FreeRecordBuffer(FScratchBuffer);
    FIndexFieldCount = 0;
    FCaseInsIndex = false;
    // A closed cursor has no range and no captured key.
    FInRange = false;
    FKeyValues.clear();
    FKeyDataTypes.clear();
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

bool TPvDrmDataSet::Filtering() { return Filtered() || FLookupFilterParseVerifier != nullptr; }

bool TPvDrmDataSet::IsSequenced() { return !(Filtered() || FInRange || CachedUpdates()); }

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
    case dsFilter:
    case dsBlockRead: {
      const uint8_t* q = b + FRecordSize + Field->Offset();
      if (q[0] == 0) return false;
      if (Buffer != nullptr) std::memcpy(Buffer, q + 1, static_cast<size_t>(Field->DataSize()));
      return true;
    }
    default: return false;
  }
}

TFreePtr<TStream> TPvDrmDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  (void)Field;
  (void)Mode;
  NotSupportedYet("Blob streams");
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
