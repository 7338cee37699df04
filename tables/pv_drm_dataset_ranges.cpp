// TPvDrmDataSet: ranges on the engine cursor. The range's two sides travel
// as filter keys 2 (start) and 3 (end) over the leading segments of the
// active index, with a term list each that repeats them; the engine then
// shows the records whose key lies between the two, both ends included.
// The last range handed over is kept in kiCurRangeStart/kiCurRangeEnd, so
// that the same range is never sent twice.
//
// Going to a bookmark while a range is in force tests the record reached
// against the range (CurrentRecordInRange): each key field is compared with
// the range's value the way the index orders it (numbers as numbers, dates
// as dates, text by bytes without trailing blanks, case folded only for a
// case-insensitive segment, descending segments reversed, NULL lowest), so
// the test accepts exactly the records the engine's range shows.
#include <algorithm>
#include <cstring>

#include "catalog/drm_misc.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "platform/db/field.h"
#include "platform/rtl/scope_guard.h"
#include "tables/pv_drm_dataset.h"
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

using namespace drmdataset;

namespace {

bool IsTextType(TFieldType Type) {
  return Type == ftString || Type == ftFixedChar || Type == ftWideString || Type == ftFixedWideChar ||
         Type == ftMemo || Type == ftWideMemo;
}

std::string KeyText(const Variant& Value, bool FoldCase) {
  std::string s = Value.AsString();
  s.erase(s.find_last_not_of(' ') + 1);
  if (FoldCase)
    for (char& ch : s)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return s;
}

// One key field's value against a range value, in ascending index order.
int32_t CompareKeyValues(const Variant& A, const Variant& B, TFieldType Type, bool FoldCase) {
  const bool nullA = A.IsNull() || A.IsEmpty(), nullB = B.IsNull() || B.IsEmpty();
  if (nullA || nullB) return nullA == nullB ? 0 : (nullA ? -1 : 1);
  if (IsTextType(Type) || Type == ftBytes || Type == ftVarBytes) {
    const int r = KeyText(A, FoldCase).compare(KeyText(B, FoldCase));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  const std::partial_ordering order = A <=> B;
  if (order == std::partial_ordering::less) return -1;
  if (order == std::partial_ordering::greater) return 1;
  return 0;
}

}  // namespace

// ---- sending a range -----------------------------------------------------------------------

int32_t TPvDrmDataSet::RangePartCount(TKeyIndex Index) {
  const int32_t given = KeyHeader(Index)->FieldCount;
  if (given != 0) return given;
  TDRMColumnInfoCollection* columns = GetColumnCatalog();
  const TRecordBuffer record = KeyRecord(FKeyBuffers[Index]);
  int32_t count = 0;
  for (int32_t i = 0; i < columns->Count(); ++i)
    if (!IsColumnNull(columns, record, i)) ++count;
  return count;
}

int32_t TPvDrmDataSet::SendKeyParts(const std::vector<const TDRMIndexInfo*>& Segments, TKeyIndex Index,
                                    int32_t Count, int32_t Slot, TRangeTerms& Terms) {
  TDRMColumnInfoCollection* columns = GetColumnCatalog();
  const TRecordBuffer record = KeyRecord(FKeyBuffers[Index]);
  std::vector<DRM_FilterStruct>& terms = Terms.Terms;
  std::vector<std::vector<uint8_t>>& constants = Terms.Constants;
  // The terms point into the constants: no reallocation once they exist.
  terms.reserve(Segments.size());
  constants.reserve(Segments.size());
  for (size_t i = 0; i < Segments.size() && static_cast<int32_t>(i) < Count; ++i) {
    const TDRMColumnInfo* c = columns->FindItemName(Segments[i]->IndexedColumnName);
    if (c == nullptr) break;
    const int32_t position = static_cast<int32_t>(c->Index());
    std::vector<uint8_t>& value = constants.emplace_back(std::max<size_t>({c->BufferMax, c->cbMax, sizeof(TDrmNumeric)}), 0);
    const bool isNull = IsColumnNull(columns, record, position) || !ColumnValueToEngine(c, record + c->Offset + 1, value.data());
    const uint8_t drmType = static_cast<uint8_t>(c->ColTyp & 0xFF);
    const bool foldCase = (Segments[i]->grBitIndex & DRM_IDXFLAG_CASE_SENSITIVE) == 0 &&
                          (drmType == DRM_TYPE_TEXT || drmType == DRM_TYPE_ZSTRING);
    DRM_FilterStruct term{};
    term.IsColumn = fisConst;
    term.ColumnId = c->ColumnId;
    term.ExprWithNextTerm = DRM_JOIN_AND;
    term.CompareCode = static_cast<uint8_t>(DRM_CMP_EQ | (foldCase ? DRM_CMP_NOCASE : 0));
    term.CompColumnId = 0;
    term.ConstLen = static_cast<uint16_t>(std::min(c->cbMax, c->BufferMax));
    term.pConst = isNull ? nullptr : value.data();
    terms.push_back(term);
    const uint32_t flags = DRM_KEYFLAG_PARTIAL | (i == 0 ? DRM_KEYFLAG_FIRST : 0u);
    const int32_t s = RareMakeFilterKey(FHandle, c->ColumnId, Slot, isNull ? nullptr : value.data(),
                                        static_cast<uint16_t>(c->cbMax), flags);
    if (s != 0) return s;
  }
  return 0;
}

int32_t TPvDrmDataSet::BuildEngineRange(const std::string& IndexName) {
  (void)IndexName;
  int32_t s = RareCancelRange(FHandle);
  if (s < 0) return s;
  (void)RareCancelFilterKey(FHandle, DRM_KEYSLOT_RANGE_START);
  (void)RareCancelFilterKey(FHandle, DRM_KEYSLOT_RANGE_END);
  const TKeyBuffer* start = KeyHeader(kiRangeStart);
  const TKeyBuffer* end = KeyHeader(kiRangeEnd);
  TRangeTerms startTerms, endTerms;
  // A side without values selects nothing: the engine is given the range
  // with that side empty, so that every way of reading the cursor agrees.
  FIsDatasetEmpty = !start->Modified || !end->Modified;
  if (!FIsDatasetEmpty) {
    const std::vector<const TDRMIndexInfo*> segments = ActiveIndexSegments();
    const int32_t startCount = RangePartCount(kiRangeStart), endCount = RangePartCount(kiRangeEnd);
    if ((s = SendKeyParts(segments, kiRangeStart, startCount, DRM_KEYSLOT_RANGE_START, startTerms)) != 0) return s;
    if ((s = SendKeyParts(segments, kiRangeEnd, endCount, DRM_KEYSLOT_RANGE_END, endTerms)) != 0) return s;
    FIsDatasetEmpty = segments.empty() || startCount == 0 || endCount == 0;
  }
  // Each list goes with its own length: a key buffer's FieldCount may name
  // more fields than the index has, and the engine must not read past a list.
  return RareSetRange(FHandle, startTerms.Terms.empty() ? nullptr : startTerms.Terms.data(),
                      static_cast<uint16_t>(startTerms.Terms.size()),
                      endTerms.Terms.empty() ? nullptr : endTerms.Terms.data(),
                      static_cast<uint16_t>(endTerms.Terms.size()));
}

bool TPvDrmDataSet::ApplyEngineRange() {
  if (CachedUpdates()) ApplyUpdates();
  if (KeyBuffersEqual(kiRangeStart, kiCurRangeStart) && KeyBuffersEqual(kiRangeEnd, kiCurRangeEnd)) return false;
  if (FIndexFieldCount == 0) PvDatabaseError(this, SNoIndexActive);
  CheckStatus(BuildEngineRange(GetActiveIndexName()));
  CopyKeyBuffer(kiRangeStart, kiCurRangeStart);
  CopyKeyBuffer(kiRangeEnd, kiCurRangeEnd);
  FInRange = true;
  return true;
}

bool TPvDrmDataSet::ClearEngineRange() {
  if (FKeyBuffers.size() != kKeyBufferCount) return false;
  if (!KeyHeader(kiCurRangeStart)->Modified && !KeyHeader(kiCurRangeEnd)->Modified && !FInRange) return false;
  CheckStatus(RareCancelRange(FHandle));
  (void)RareCancelFilterKey(FHandle, DRM_KEYSLOT_RANGE_START);
  (void)RareCancelFilterKey(FHandle, DRM_KEYSLOT_RANGE_END);
  FIsDatasetEmpty = false;
  ClearKeyBuffer(kiCurRangeStart);
  ClearKeyBuffer(kiCurRangeEnd);
  FInRange = false;
  return true;
}

// ---- the bookmark test -----------------------------------------------------------------------

int32_t TPvDrmDataSet::CompareRecordWithKey(const std::vector<const TDRMIndexInfo*>& Segments, TRecordBuffer Record,
                                            TKeyIndex Index, int32_t Count) {
  for (size_t i = 0; i < Segments.size() && static_cast<int32_t>(i) < Count; ++i) {
    TField* field = FindField(Segments[i]->IndexedColumnName);
    if (field == nullptr) break;
    Variant recordValue, keyValue;
    {
      const TFilterRecordState saved = BeginFilterRecord(Record);
      Finally end([&] { EndFilterRecord(saved); });
      recordValue = field->Value();
    }
    {
      const TDataSetState saved = SetTempState(dsSetKey);
      const TRecordBuffer editing = FKeyBuffer;
      Finally restore([&] {
        FKeyBuffer = editing;
        RestoreState(saved);
      });
      FKeyBuffer = FKeyBuffers[Index];
      keyValue = field->Value();
    }
    const bool foldCase = (Segments[i]->grBitColumn & DRM_SEGFLAG_CASE_SENSITIVE) == 0;
    int32_t r = CompareKeyValues(recordValue, keyValue, field->DataType(), foldCase);
    if ((Segments[i]->grBitColumn & DRM_SEGFLAG_DESCENDING) != 0) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

bool TPvDrmDataSet::CurrentRecordInRange() {
  CheckStatus(DrmMiscGetRecord(SesHandle(), FHandle, GetColumnCatalog(), FScratchBuffer));
  return RecordInRange(FScratchBuffer);
}

bool TPvDrmDataSet::RecordInRange(TRecordBuffer Buffer) {
  if (!KeyHeader(kiCurRangeStart)->Modified || !KeyHeader(kiCurRangeEnd)->Modified) return false;
  const std::vector<const TDRMIndexInfo*> segments = ActiveIndexSegments();
  return CompareRecordWithKey(segments, Buffer, kiCurRangeStart, RangePartCount(kiCurRangeStart)) >= 0 &&
         CompareRecordWithKey(segments, Buffer, kiCurRangeEnd, RangePartCount(kiCurRangeEnd)) <= 0;
}

// ---- counting inside a range ------------------------------------------------------------------

int32_t TPvDrmDataSet::RangeRecordCount() {
  if (FIsDatasetEmpty) return 0;
  const uint32_t S = SesHandle();
  uint8_t stood[kEngineBookmarkSize] = {};
  uint32_t length = 0;
  const bool onRecord = RareGetBookmark(S, FHandle, stood, kEngineBookmarkSize, &length) == 0;
  // The count moves the engine; the framework positions it again before
  // its next fetch.
  Finally back([&] {
    if (onRecord) (void)RareGotoBookmark(S, FHandle, stood, kEngineBookmarkSize);
    CursorPosChanged();
  });
  int32_t count = 0;
  int32_t s = RareMove(S, FHandle, DRM_MOVE_FIRST);
  for (; s == 0; s = RareMove(S, FHandle, DRM_MOVE_NEXT)) ++count;
  if (!IsEndOfData(s)) CheckStatus(s);
  return count;
}

int32_t TPvDrmDataSet::RangeRecNo() {
  // While calculated fields are computed the engine must stay on the record
  // being fetched.
  if (State() == dsCalcFields) return -1;
  TRecordBuffer active = ActiveBuffer();
  if (FIsDatasetEmpty || active == nullptr || IsEmpty() || GetBookmarkFlag(active) != bfCurrent) return 0;
  const uint32_t S = SesHandle();
  Finally back([this] { CursorPosChanged(); });
  CheckStatus(RareGotoBookmark(S, FHandle, active + BookmarkOfs(), kEngineBookmarkSize));
  int32_t position = 1;
  int32_t s = RareMove(S, FHandle, DRM_MOVE_PREVIOUS);
  for (; s == 0; s = RareMove(S, FHandle, DRM_MOVE_PREVIOUS)) ++position;
  if (!IsEndOfData(s)) CheckStatus(s);
  StoreRecNo(position);
  return position;
}

}  // namespace dac
