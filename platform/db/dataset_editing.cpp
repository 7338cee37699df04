// TDataSet: the edit cycle (insert, append, edit, post, cancel, delete).

#include "platform/db/dataset.h"

#include <algorithm>

#include "platform/rtl/scope_guard.h"

namespace dac {

// ---- editing -------------------------------------------------------------------------

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::TryDoing(void (TDataSet::*Op)(), const TDataSetErrorEvent& OnError) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*Op)();
      return;
    } catch (EDatabaseError& E) {
      TDataAction action = daFail;
      if (OnError) OnError(this, E, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::OpenInsertSlot(bool DoAppend) {
  int32_t ring = RingSize();
  if (!DoAppend) {
    TBookmark before;
    bool hadRecords = FRecordCount > 0;
    if (hadRecords) {
      before.resize(static_cast<size_t>(FBookmarkSize));
      GetBookmarkData(ActiveBuffer(), before.data());
      // Move the records from the active one on by one slot; the last one
      // falls out of a full ring into the temporary buffer.
      std::rotate(FBuffers.begin() + FActiveRecord, FBuffers.begin() + ring, FBuffers.begin() + ring + 1);
    }
    InitRecord(ActiveBuffer());
    CursorPosChanged();
    if (!hadRecords) {
      SetBookmarkFlag(ActiveBuffer(), bfBOF);
    } else {
      FBOF = false;
      SetBookmarkData(ActiveBuffer(), before.data());
    }
    if (FRecordCount < ring) ++FRecordCount;
  } else {
    ClearBuffers();
    InternalLast();
    GetPriorRecords();
    if (FRecordCount > 0) FActiveRecord = FRecordCount - 1;
    if (FRecordCount == ring)
      ShiftBuffersBackward();
    else if (FRecordCount > 0)
      ++FActiveRecord;
    InitRecord(ActiveBuffer());
    CursorPosChanged();
    SetBookmarkFlag(ActiveBuffer(), bfEOF);
    if (FRecordCount < ring) ++FRecordCount;
  }
}

void TDataSet::DoInsertAppend(bool DoAppend) {
  BeginInsertAppend();
  OpenInsertSlot(DoAppend);
  {
    // A cursor that cannot start the new record leaves the ring as it was,
    // not with an initialised slot that browsing would show as a record.
    Finally abandon([this] { AbandonInsert(false); });
    InternalInsert();
    abandon.Dismiss();
  }
  if (DoAppend) {
    FBOF = false;
    FEOF = true;
  }
  EndInsertAppend();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  {
    // A failing OnNewRecord drops the new record: staying in insert mode
    // over a resynced ring would post a copy of whatever record ended up
    // active.
    Finally abandon([this] { AbandonInsert(true); });
    DoOnNewRecord();
    abandon.Dismiss();
  }
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::AbandonInsert(bool CancelCursor) {
  if (CancelCursor) {
    UpdateCursorPos();
    InternalCancel();
  }
  FreeFieldBuffers();
  if (FRecordCount <= 1) {
    ClearBuffers();
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
  } else {
    SetState(dsBrowse);
    UpdateCursorPos();
    Resync({});
  }
}

void TDataSet::DoInsertAppendRecord(const std::vector<Variant>& Values, bool DoAppend) {
  BeginInsertAppend();
  OpenInsertSlot(DoAppend);
  if (DoAppend) {
    FBOF = false;
    FEOF = true;
  }
  {
    // The cursor drops whatever it holds of the new record before the ring
    // is read again, so that the resync cannot come back with it.
    Finally abandon([this] { AbandonInsert(true); });
    SetState(dsInsert);
    SetFields(Values);
    DoBeforePost();
    InternalAddRecord(ActiveBuffer(), DoAppend);
    abandon.Dismiss();
  }
  CursorPosChanged();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
  DoAfterScroll();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  size_t n = std::min(Values.size(), static_cast<size_t>(FieldCount()));
  for (size_t i = 0; i < n; ++i) FFields->Fields(static_cast<int32_t>(i))->AssignValue(Values[i]);
}

void TDataSet::ClearFields() {
  if (!dsEditModes.Contains(FState)) DatabaseError(dbmsg::SNotEditing, this);
  DataEvent(deCheckBrowseMode, 0);
  FreeFieldBuffers();
  InternalInitRecord(ActiveBuffer());
  if (FState != dsSetKey) GetCalcFields(ActiveBuffer());
  DataEvent(deRecordChange, 0);
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  if (FRecordCount == 0) {
    Append();
    return;
  }
  DoBeforeEdit();
  TryDoing(&TDataSet::InternalEdit, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::UpdateRecord() {
  if (!dsEditModes.Contains(FState)) DatabaseError(dbmsg::SNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforePost();
  TryDoing(&TDataSet::InternalPost, OnPostError);
  CursorPosChanged();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  if (FState == dsInsert && FRecordCount == 1) {
    ClearBuffers();
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
  } else {
    SetState(dsBrowse);
    Resync({});
  }
  DoAfterCancel();
}

void TDataSet::Delete() {
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (IsEmpty()) DatabaseError(dbmsg::SDataSetEmpty, this);
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  TryDoing(&TDataSet::InternalDelete, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterDelete();
  DoAfterScroll();
}

}  // namespace dac
