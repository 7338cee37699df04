// TPvDrmDataSet: key buffers and keyed search. A key buffer is a TKeyBuffer
// header followed by a record-data area laid out like a record buffer's;
// while the dataset is in dsSetKey its fields read and write the area of
// the buffer being edited (FKeyBuffer). A keyed search hands the lookup
// key to the engine as filter key 4 for the one positioning it takes.
#include <cstdlib>
#include <cstring>

#include "catalog/drm_misc.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "platform/db/field.h"
#include "platform/rtl/scope_guard.h"
#include "sessions/session.h"
#include "tables/pv_drm_dataset.h"
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

using namespace drmdataset;

// ---- the active index --------------------------------------------------------------------

std::vector<const TDRMIndexInfo*> TPvDrmDataSet::ActiveIndexSegments() {
  std::vector<const TDRMIndexInfo*> segments;
  const std::string name = GetActiveIndexName();
  TDRMIndexInfoCollection* indexes = GetIndexCatalog();
  for (int32_t i = 0; i < indexes->Count(); ++i)
    if (indexes->Items(i)->IndexName == name) segments.push_back(indexes->Items(i));
  return segments;
}

TField* TPvDrmDataSet::IndexFieldAt(int32_t Index) {
  if (Index < 0 || Index >= FIndexFieldCount) PvDatabaseError(this, SFieldIndexOutOfRange);
  std::string column;
  for (const TDRMIndexInfo* seg : ActiveIndexSegments())
    if (seg->IndexedColumnNo == Index) column = seg->IndexedColumnName;
  TField* field = column.empty() ? nullptr : FindField(column);
  if (field == nullptr) PvDatabaseErrorFmt(this, SCannotAccessIndexField, column);
  return field;
}

// ---- key buffers ---------------------------------------------------------------------------

void TPvDrmDataSet::ClearKeyBuffer(TKeyIndex Index) { std::memset(FKeyBuffers[Index], 0, KeyBufferSize()); }

bool TPvDrmDataSet::KeyBuffersEqual(TKeyIndex A, TKeyIndex B) const {
  return std::memcmp(FKeyBuffers[A], FKeyBuffers[B], KeyBufferSize()) == 0;
}

void TPvDrmDataSet::CopyKeyBuffer(TKeyIndex From, TKeyIndex To) {
  std::memcpy(FKeyBuffers[To], FKeyBuffers[From], KeyBufferSize());
}

bool TPvDrmDataSet::KeyExclusive() {
  if (State() != dsSetKey) PvDatabaseError(this, dbmsg::SNotEditing);
  return KeyHeader(FKeyBuffer)->Exclusive;
}

void TPvDrmDataSet::SetKeyExclusive(bool Value) {
  if (State() != dsSetKey) PvDatabaseError(this, dbmsg::SNotEditing);
  KeyHeader(FKeyBuffer)->Exclusive = Value;
}

int32_t TPvDrmDataSet::KeyFieldCount() {
  if (State() != dsSetKey) PvDatabaseError(this, dbmsg::SNotEditing);
  return KeyHeader(FKeyBuffer)->FieldCount;
}

void TPvDrmDataSet::SetKeyFieldCount(int32_t Value) {
  if (State() != dsSetKey) PvDatabaseError(this, dbmsg::SNotEditing);
  KeyHeader(FKeyBuffer)->FieldCount = Value;
}

void TPvDrmDataSet::BeginKeyEdit(TKeyIndex Index, bool Clear) {
  CheckBrowseMode();
  FKeyBuffer = FKeyBuffers[Index];
  CopyKeyBuffer(Index, kiSave);
  if (Clear) ClearKeyBuffer(Index);
  SetState(dsSetKey);
  SetModified(KeyHeader(FKeyBuffer)->Modified);
  DataEvent(deDataSetChange, 0);
}

void TPvDrmDataSet::PostKeyBuffer(bool Commit) {
  TTraceScope trace(TraceLocate, kTraceLocate, "TPvDrmDataSet.PostKeyBuffer");
  DataEvent(deCheckBrowseMode, 0);
  if (Commit)
    KeyHeader(FKeyBuffer)->Modified = Modified();
  else
    std::memcpy(FKeyBuffer, FKeyBuffers[kiSave], KeyBufferSize());
  CaptureKeyValues();
  SetState(dsBrowse);
  DataEvent(deDataSetChange, 0);
}

void TPvDrmDataSet::CaptureKeyValues() {
  FKeyValues.clear();
  FKeyDataTypes.clear();
  for (int32_t i = 0; i < FIndexFieldCount; ++i) {
    TField* field = IndexFieldAt(i);
    FKeyValues.push_back(field->Value());
    FKeyDataTypes.push_back(field->DataType());
  }
}

void TPvDrmDataSet::SetKeyFields(TKeyIndex Index, const std::vector<Variant>& Values) {
  TTraceScope trace(TraceLocate, kTraceLocate, "TPvDrmDataSet.SetKeyFields");
  if (FIndexFieldCount == 0) PvDatabaseError(this, SNoIndexActive);
  const TDataSetState saved = SetTempState(dsSetKey);
  const bool wasModified = Modified();
  Finally restore([&] {
    RestoreState(saved);
    SetModified(wasModified);
  });
  FKeyBuffer = FKeyBuffers[Index];
  ClearKeyBuffer(Index);
  // The buffer holds key values only when this call gave some.
  SetModified(false);
  for (size_t i = 0; i < Values.size(); ++i) IndexFieldAt(static_cast<int32_t>(i))->SetValue(Values[i]);
  KeyHeader(FKeyBuffer)->FieldCount = static_cast<int32_t>(Values.size());
  KeyHeader(FKeyBuffer)->Modified = Modified();
  CaptureKeyValues();
}

// ---- keyed search ----------------------------------------------------------------------------

TGetResult TPvDrmDataSet::SeekKey(bool Nearest) {
  CheckBrowseMode();
  // Without an index there is no key to search by; the first record is no
  // answer to a search.
  if (FIndexFieldCount == 0) PvDatabaseError(this, SNoIndexActive);
  CursorPosChanged();
  TDRMColumnInfoCollection* columns = GetColumnCatalog();
  const TRecordBuffer key = KeyRecord(FKeyBuffers[kiLookup]);
  // Filter key 4 only lives for this positioning, whatever happens.
  Finally cancelKey([this] { (void)RareCancelFilterKey(FHandle, DRM_KEYSLOT_SEEK); });
  std::vector<uint8_t> value;
  bool first = true;
  for (const TDRMIndexInfo* seg : ActiveIndexSegments()) {
    TField* field = FindField(seg->IndexedColumnName);
    const TDRMColumnInfo* c = columns->FindItemName(seg->IndexedColumnName);
    if (field == nullptr || c == nullptr) break;
    value.assign(std::max<size_t>(c->BufferMax, sizeof(TDrmNumeric)), 0);
    const bool isNull =
        IsColumnNull(columns, key, field->FieldNo() - 1) || !ColumnValueToEngine(c, key + c->Offset + 1, value.data());
    // A nearest search stops at the first missing value (its key is the
    // leading part given); an exact search matches the values it has.
    if (isNull) {
      if (Nearest) break;
      continue;
    }
    const uint32_t flags = (first ? DRM_KEYFLAG_FIRST : 0u) | (Nearest ? DRM_KEYFLAG_PARTIAL : 0u);
    CheckStatus(RareMakeFilterKey(FHandle, c->ColumnId, DRM_KEYSLOT_SEEK, value.data(),
                                  static_cast<uint16_t>(c->cbMax), flags));
    first = false;
  }
  const TBookmark bookmark = GetBookmark();
  try {
    return PvInternalFirst(true);
  } catch (Exception&) {
    // A search that cannot position leaves the dataset where it was.
    (void)RareCancelFilterKey(FHandle, DRM_KEYSLOT_SEEK);
    if (bookmark.size() >= kEngineBookmarkSize) (void)GotoEngineBookmark(bookmark.data(), false, false);
    Resync({});
    return grError;
  }
}

}  // namespace dac
