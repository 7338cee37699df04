// TPvDrmDataSet: moving the engine cursor, fetching records into record
// buffers, record counts and numbers, bookmarks.
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
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

using namespace drmdataset;

namespace {

// The integer nearest to Value, halves going to the even neighbour.
int32_t RoundHalfEven(double Value) {
  double r = std::nearbyint(Value);  // the default rounding mode rounds halves to even
  return static_cast<int32_t>(r);
}

}  // namespace

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
    if (EngineSelectsAlone()) {
      // The scratch fetch would only read the engine's first record and
      // accept it.
      FResultWasAnOk = true;
      return grOK;
    }
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
    // The record the cursor stands on may have left the range (a post that
    // changed its key): it is not the current record of the range any more.
    if (s == 0 && requested == gmCurrent && RangeTestApplies() && !RecordInRange(Buffer)) return grError;
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
  if (FInRange && !Filtered() && !CachedUpdates()) return RangeRecordCount();
  if (Filtered() || FInRange || CachedUpdates()) return -1;
  uint32_t n = 0;
  CheckStatus(RareGetRecordCount(FHandle, &n));
  return static_cast<int32_t>(n);
}

int32_t TPvDrmDataSet::GetRecNo() {
  CheckActive();
  int32_t r = TPvDataSet::GetRecNo();
  if (r == -1 && FInRange && !Filtered() && !CachedUpdates()) return RangeRecNo();
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

// Going to Bookmark would change nothing: the engine stands on its record,
// which is the active record, and the first/last flags are clear. Had the
// record gone meanwhile, the jump would fail and leave the engine, the
// flags and the active record as they are; found, it sets what is set.
bool TPvDrmDataSet::StandsOnActiveBookmark(const uint8_t* Bookmark) {
  if (FFirstRecord || FLastRecord || IsEmpty()) return false;
  TRecordBuffer active = ActiveBuffer();
  if (active == nullptr || GetBookmarkFlag(active) != bfCurrent ||
      std::memcmp(active + BookmarkOfs(), Bookmark, kEngineBookmarkSize) != 0)
    return false;
  uint8_t current[kEngineBookmarkSize] = {};
  uint32_t length = 0;
  return RareGetBookmark(SesHandle(), FHandle, current, kEngineBookmarkSize, &length) == 0 &&
         length == kEngineBookmarkSize && std::memcmp(current, Bookmark, kEngineBookmarkSize) == 0;
}

void TPvDrmDataSet::PvInternalGotoBookmark(const uint8_t* Bookmark) {
  if (ComponentState().Contains(csDestroying)) return;
  const bool testRange = RangeTestApplies();
  // The walk's step past the last record it read comes back here first.
  if (!testRange && StandsOnActiveBookmark(Bookmark)) return;
  const int32_t s = GotoEngineBookmark(Bookmark, true, false);
  if (s == 0 && testRange && !CurrentRecordInRange()) {
    // The engine reaches any record by its bookmark; one the range does not
    // show is refused, and the dataset starts again from the range's first.
    First();
    DatabaseError(dbmsg::SRecordNotFound, this);
  }
  if (s == kRecordGone) {
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

}  // namespace dac
