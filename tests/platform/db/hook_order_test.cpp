// The descendant's hooks are called with the cursor brought to the active
// record first, in the order the framework promises.

#include <gtest/gtest.h>

#include "db_test_support.h"

namespace dac::testing {
namespace {

class THookedDataSet : public TMemoryDataSet {
 public:
  TEventLog* Log = nullptr;

 protected:
  void InternalSetToRecord(TRecordBuffer Buffer) override {
    TMemoryDataSet::InternalSetToRecord(Buffer);
    Log->Add("SetToRecord");
  }
  void InternalFirst() override {
    TMemoryDataSet::InternalFirst();
    Log->Add("First");
  }
  void InternalLast() override {
    TMemoryDataSet::InternalLast();
    Log->Add("Last");
  }
  void InternalEdit() override { Log->Add("Edit"); }
  void InternalInsert() override { Log->Add("Insert"); }
  void InternalCancel() override { Log->Add("Cancel"); }
  void InternalPost() override {
    Log->Add("Post");
    TMemoryDataSet::InternalPost();
  }
  void InternalDelete() override {
    Log->Add("Delete:" + FieldByName("ID")->AsString());
    TMemoryDataSet::InternalDelete();
  }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode Mode, bool DoCheck) override {
    TGetResult r = TMemoryDataSet::GetRecord(Buffer, Mode, DoCheck);
    Log->Add(std::string(Mode == gmCurrent ? "cur" : Mode == gmNext ? "next" : "prior") + (r == grOK ? "" : "!"));
    return r;
  }
};

TEST(HookOrder, CheckedOperationsPositionTheCursorFirst) {
  TEventLog log;
  auto ds = CreateUnowned<THookedDataSet>();
  ds->Log = &log;
  ds->FieldDefs()->Add("ID", ftInteger);
  ds->Open();
  for (int i = 1; i <= 4; ++i) ds->AppendRecord({Variant(i)});
  ds->First();
  ds->MoveBy(1);
  log.Clear();
  ds->Edit();
  EXPECT_EQ(log.Joined(), "SetToRecord,Edit");
  log.Clear();
  ds->Cancel();
  // The cursor already stands on the record: no positioning before the
  // re-read; the ring is refilled around it (one prior record, then
  // forward, then back once more).
  EXPECT_EQ(log.Joined(), "Cancel,cur,prior,SetToRecord,next,next,next!,SetToRecord,prior!");
  log.Clear();
  ds->Delete();
  EXPECT_EQ(log.Joined(), "SetToRecord,Delete:2,cur,prior,SetToRecord,next,next!,SetToRecord,prior!");
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  log.Clear();
  ds->Append();
  EXPECT_EQ(log.Joined(), "Last,prior,prior,prior,prior!,Insert");
  ds->FieldByName("ID")->SetAsInteger(9);
  log.Clear();
  ds->Post();
  EXPECT_EQ(log.Joined(), "Last,Post,cur,prior,prior,prior,SetToRecord,next!,SetToRecord,prior!");
}

TEST(HookOrder, ResyncKeepsTheRingWhenTheRecordIsGone) {
  TEventLog log;
  auto ds = CreateUnowned<THookedDataSet>();
  ds->Log = &log;
  ds->FieldDefs()->Add("ID", ftInteger);
  ds->Open();
  for (int i = 1; i <= 3; ++i) ds->AppendRecord({Variant(i)});
  ds->Last();
  ds->SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->AsInteger() != 3; });
  // Filtering is switched on under the dataset's feet; an exact resync of
  // the active record must fail and leave the ring as it was. Resync reads
  // where the cursor stands, so the caller positions it first.
  ds->TDataSet::SetFiltered(true);
  ds->UpdateCursorPos();
  EXPECT_THROW(ds->Resync({rmExact}), EDatabaseError);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3) << "the ring is untouched";
  log.Clear();
  ds->UpdateCursorPos();
  ds->Resync({});
  EXPECT_EQ(log.Joined(), "cur!,next!,prior,prior,prior!,SetToRecord,next!,SetToRecord,prior!");
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2) << "a loose resync falls back";
}

}  // namespace
}  // namespace dac::testing

namespace dac::testing {
namespace {

TEST(HookOrder, RebuildingTheRingKeepsTheRecord) {
  auto ds = MakePeople(30);
  ds->MoveBy(15);
  ASSERT_EQ(ds->FieldByName("ID")->AsInteger(), 16);
  // The sequence a descendant runs after changing its buffer layout.
  ds->UpdateCursorPos();
  ds->SetBufListSize(0);
  EXPECT_EQ(ds->BufListSize(), 0);
  EXPECT_EQ(ds->BufferCount(), 10) << "the ring size is kept";
  EXPECT_EQ(ds->FRecordCount, 0);
  ds->SetBufListSize(ds->BufferCount() + 1);
  ds->Resync({});
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 16);
  EXPECT_EQ(ds->FRecordCount, 10);
  ds->Next();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 17);
  // Shrinking the list keeps the active record inside the smaller ring.
  ds->MoveBy(5);
  int active = ds->FieldByName("ID")->AsInteger();
  ds->SetBufListSize(4);
  EXPECT_LE(ds->FActiveRecord, 2);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), active);
}

TEST(HookOrder, RefreshEvents) {
  auto ds = MakePeople(3);
  TEventLog log;
  HookEvents(ds.get(), log);
  ds->Next();
  log.Clear();
  ds->Refresh();
  EXPECT_EQ(log.Joined(), "BeforeRefresh,AfterRefresh");
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
}

}  // namespace
}  // namespace dac::testing

namespace dac::testing {
namespace {

class TFailingReadDataSet : public TMemoryDataSet {
 public:
  bool FailReads = false;

 protected:
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode Mode, bool DoCheck) override {
    if (FailReads) throw EDatabaseError("read failed");
    return TMemoryDataSet::GetRecord(Buffer, Mode, DoCheck);
  }
};

TEST(HookOrder, FailingFirstReadClosesAgain) {
  auto ds = CreateUnowned<TFailingReadDataSet>();
  ds->FieldDefs()->Add("ID", ftInteger);
  ds->Open();
  ds->AppendRecord({Variant(1)});
  ds->Close();
  TEventLog log;
  HookEvents(ds.get(), log);
  ds->FailReads = true;
  EXPECT_THROW(ds->Open(), EDatabaseError);
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->BufListSize(), 0) << "buffers released";
  EXPECT_EQ(log.Joined(), "BeforeOpen") << "no AfterOpen for a failed open";
  ds->FailReads = false;
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

}  // namespace
}  // namespace dac::testing
