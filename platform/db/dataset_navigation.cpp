// TDataSet: the ring of record buffers, navigation over it, and bookmarks.

#include "platform/db/dataset.h"

#include <algorithm>
#include <cstdlib>

#include "platform/db/data_source.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

namespace {
constexpr int32_t kDefaultBufferCount = 10;
}  // namespace

// ---- the ring -------------------------------------------------------------------------

TRecordBuffer TDataSet::TempBuffer() const { return FBuffers.empty() ? nullptr : FBuffers.back(); }

TRecordBuffer TDataSet::AllocRecordBuffer() {
  return static_cast<TRecordBuffer>(std::calloc(std::max<size_t>(GetRecordSize(), 1), 1));
}

void TDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  std::free(Buffer);
  Buffer = nullptr;
}

void TDataSet::SetBufferCount(int32_t Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount && (FBuffers.empty() || RingSize() == Value)) return;
  FBufferCount = Value;
  if (FBuffers.empty()) return;
  int32_t old = RingSize();
  SetBufListSize(Value + 1);
  if (Value > old) {
    GetNextRecords();
    if (FRecordCount < RingSize()) {
      FActiveRecord += GetPriorRecords();
      CursorPosChanged();
    }
  }
}

void TDataSet::RecalcBufListSize() {
  if (!IsCursorOpen()) return;
  int32_t count = kDefaultBufferCount;
  for (TDataSource* ds : FDataSources)
    for (int32_t j = 0; j < ds->DataLinkCount(); ++j) count = std::max(count, ds->DataLinks(j)->BufferCount());
  if (count == FBufferCount && RingSize() == count) return;
  FBufferCount = count;
  SetBufListSize(count + 1);
  GetNextRecords();
  if (FRecordCount < RingSize()) {
    FActiveRecord += GetPriorRecords();
    CursorPosChanged();
  }
}

void TDataSet::SetBufListSize(int32_t Entries) {
  if (Entries < 0) Entries = 0;
  int32_t cur = static_cast<int32_t>(FBuffers.size());
  if (Entries > cur) {
    FBuffers.reserve(static_cast<size_t>(Entries));
    while (static_cast<int32_t>(FBuffers.size()) < Entries) {
      TRecordBuffer b = AllocRecordBuffer();
      FBuffers.push_back(b);
    }
  } else if (Entries < cur) {
    int32_t ring = Entries > 0 ? Entries - 1 : 0;
    // Keep the active record inside the smaller ring.
    if (ring > 0 && FRecordCount > 0 && FActiveRecord > ring - 1) {
      int32_t shift = FActiveRecord - (ring - 1);
      std::rotate(FBuffers.begin(), FBuffers.begin() + shift, FBuffers.begin() + FRecordCount);
      FRecordCount -= shift;
      FActiveRecord -= shift;
      if (FCurrentRecord >= 0) FCurrentRecord = FCurrentRecord >= shift ? FCurrentRecord - shift : -1;
    }
    for (int32_t i = cur - 1; i >= Entries; --i) {
      TRecordBuffer b = FBuffers[static_cast<size_t>(i)];
      FBuffers.pop_back();
      FreeRecordBuffer(b);
    }
  }
  int32_t ring = RingSize();
  if (FRecordCount > ring) FRecordCount = ring;
  if (FActiveRecord >= std::max(FRecordCount, 1)) FActiveRecord = std::max(FRecordCount - 1, 0);
  if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FBOF = false;
  FEOF = false;
  FActiveRecord = 0;
}

void TDataSet::ShiftBuffersBackward() {
  // A forward walk turns the ring once per record: a plain shift of its
  // few pointers, the first one going to the end.
  if (FBuffers.empty()) return;
  const size_t ring = static_cast<size_t>(RingSize());
  TRecordBuffer first = FBuffers[0];
  std::copy(FBuffers.begin() + 1, FBuffers.begin() + static_cast<ptrdiff_t>(ring) + 1, FBuffers.begin());
  FBuffers[ring] = first;
}

void TDataSet::ShiftBuffersForward() {
  int32_t ring = RingSize();
  std::rotate(FBuffers.begin(), FBuffers.begin() + ring, FBuffers.begin() + ring + 1);
}

void TDataSet::SetCurrentRecord(int32_t Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer b = FBuffers[static_cast<size_t>(Index)];
  switch (GetBookmarkFlag(b)) {
    case bfCurrent:
    case bfInserted: InternalSetToRecord(b); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  int32_t ring = RingSize();
  if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
  bool ok = GetRecord(FBuffers[static_cast<size_t>(ring)], gmNext, true) == grOK;
  if (ok) {
    if (FRecordCount == 0) ActivateBuffers();
    if (FRecordCount == ring) {
      ShiftBuffersBackward();
    } else {
      ++FRecordCount;
      FCurrentRecord = FRecordCount - 1;
      std::swap(FBuffers[static_cast<size_t>(FCurrentRecord)], FBuffers[static_cast<size_t>(ring)]);
    }
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  int32_t ring = RingSize();
  if (FRecordCount > 0) SetCurrentRecord(0);
  bool ok = GetRecord(FBuffers[static_cast<size_t>(ring)], gmPrior, true) == grOK;
  if (ok) {
    if (FRecordCount == 0) ActivateBuffers();
    ShiftBuffersForward();
    if (FRecordCount < ring) ++FRecordCount;
    FCurrentRecord = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int32_t TDataSet::GetNextRecords() {
  int32_t n = 0;
  while (FRecordCount < RingSize() && GetNextRecord()) ++n;
  return n;
}

int32_t TDataSet::GetPriorRecords() {
  int32_t n = 0;
  while (FRecordCount < RingSize() && GetPriorRecord()) ++n;
  return n;
}

// ---- navigation -------------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  Finally changed([this] {
    FBOF = true;
    DataEvent(deDataSetChange, 0);
  });
  InternalFirst();
  GetNextRecords();
  changed.Run();
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  Finally changed([this] {
    FEOF = true;
    DataEvent(deDataSetChange, 0);
  });
  InternalLast();
  GetPriorRecords();
  if (FRecordCount > 0) FActiveRecord = FRecordCount - 1;
  changed.Run();
  DoAfterScroll();
}

int32_t TDataSet::MoveBy(int32_t Distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if (Distance == 0 || (Distance > 0 && FEOF) || (Distance < 0 && FBOF)) return 0;
  int32_t moved = 0;
  int32_t scrolled = 0;  // ring shifts, reported to the links
  Finally finish([&] {
    DataEvent(deDataSetScroll, scrolled);
    DoAfterScroll();
  });
  if (Distance > 0) {
    FBOF = false;
    while (Distance > 0 && !FEOF) {
      if (FActiveRecord < FRecordCount - 1) {
        ++FActiveRecord;
        --Distance;
        ++moved;
      } else if (const bool full = FRecordCount == RingSize(); GetNextRecord()) {
        // A full ring shifts its buffers under the active slot; one with
        // room (a record appeared after the last one read) takes the
        // record into the next slot, and the active record moves onto it.
        if (full)
          --scrolled;
        else
          ++FActiveRecord;
        --Distance;
        ++moved;
      } else {
        FEOF = true;
      }
    }
  } else {
    FEOF = false;
    while (Distance < 0 && !FBOF) {
      if (FActiveRecord > 0) {
        --FActiveRecord;
        ++Distance;
        --moved;
      } else if (GetPriorRecord()) {
        ++Distance;
        ++scrolled;
        --moved;
      } else {
        FBOF = true;
      }
    }
  }
  finish.Run();
  return moved;
}

void TDataSet::Resync(TResyncMode Mode) {
  int32_t ring = RingSize();
  if (ring == 0) return;
  TRecordBuffer temp = FBuffers[static_cast<size_t>(ring)];
  // Read into the temporary buffer first: the ring stays intact until a
  // record has been found.
  if (GetRecord(temp, gmCurrent, false) != grOK) {
    if (Mode.Contains(rmExact)) DatabaseError(dbmsg::SRecordNotFound, this);
    if (GetRecord(temp, gmNext, false) != grOK && GetRecord(temp, gmPrior, false) != grOK) {
      ClearBuffers();
      DataEvent(deDataSetChange, 0);
      return;
    }
  }
  std::swap(FBuffers[0], FBuffers[static_cast<size_t>(ring)]);
  int32_t count = Mode.Contains(rmCenter) ? (ring - 1) / 2 : FActiveRecord;
  FCurrentRecord = 0;
  FEOF = false;
  FBOF = false;
  FRecordCount = 1;
  FActiveRecord = 0;
  int32_t i = 0;
  while (i < count && GetPriorRecord()) ++i;
  FActiveRecord = i;
  GetNextRecords();
  if (FRecordCount < ring) FActiveRecord += GetPriorRecords();
  DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  DoBeforeRefresh();
  UpdateCursorPos();
  InternalRefresh();
  Resync({});
  DoAfterRefresh();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

// ---- bookmarks ------------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() const {
  if (IsEmpty()) return false;
  if (FState != dsBrowse && FState != dsEdit && FState != dsInsert) return false;
  TRecordBuffer b = ActiveBuffer();
  return b != nullptr && const_cast<TDataSet*>(this)->GetBookmarkFlag(b) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable()) return {};
  TBookmark b(static_cast<size_t>(FBookmarkSize));
  GetBookmarkData(ActiveBuffer(), b.data());
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(Bookmark.data());
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

}  // namespace dac
