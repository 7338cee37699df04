// The edit cycle: insert, append, edit, post, cancel, delete, the error
// events, required fields and the record-at-once operations.

#include <gtest/gtest.h>

#include "db_test_support.h"

namespace dac::testing {
namespace {

int Id(TDataSet* ds) { return ds->FieldByName("ID")->AsInteger(); }

std::string Ids(TDataSet* ds) {
  std::string s;
  TBookmark b = ds->GetBookmark();
  ds->DisableControls();
  ds->First();
  while (!ds->Eof()) {
    s += (s.empty() ? "" : " ") + std::to_string(Id(ds));
    ds->Next();
  }
  ds->GotoBookmark(b);
  ds->EnableControls();
  return s;
}

TEST(Editing, InsertIntoEmptyThenCancel) {
  auto ds = MakePeople(0);
  bool bothEndsAtScroll = false;
  ds->BeforeScroll = [&](TDataSet* d) { bothEndsAtScroll = d->Bof() && d->Eof(); };
  ds->Insert();
  EXPECT_TRUE(bothEndsAtScroll);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_FALSE(ds->IsEmpty()) << "a record is being inserted";
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  ds->Cancel();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Bof() && ds->Eof());
  EXPECT_EQ(ds->StoredRecordCount(), 0);
}

TEST(Editing, InsertAppendPostPositions) {
  auto ds = MakePeople(3);
  ds->Next();  // on 2
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(10);
  ds->Post();
  EXPECT_EQ(Id(ds.get()), 10) << "the posted record stays active";
  EXPECT_EQ(Ids(ds.get()), "1 10 2 3");
  ds->Append();
  EXPECT_TRUE(ds->Eof());
  ds->FieldByName("ID")->SetAsInteger(20);
  ds->Post();
  EXPECT_EQ(Id(ds.get()), 20);
  EXPECT_EQ(Ids(ds.get()), "1 10 2 3 20");
  // Edit on an empty ring appends.
  auto empty = MakePeople(0);
  empty->Edit();
  EXPECT_EQ(empty->State(), dsInsert);
  empty->Cancel();
}

TEST(Editing, EditPostCancelAndModified) {
  auto ds = MakePeople(15);
  ds->MoveBy(12);  // on 13, beyond the first ring
  ds->Edit();
  EXPECT_FALSE(ds->Modified());
  ds->FieldByName("NAME")->SetAsString("Changed");
  EXPECT_TRUE(ds->Modified());
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Name13");
  EXPECT_FALSE(ds->Modified());
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("Changed");
  ds->Post();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Changed");
  EXPECT_EQ(Id(ds.get()), 13);
  ds->First();
  ds->Locate("ID", Variant(13), {});
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Changed");
  // Moving away posts a modified record and cancels an unmodified one.
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("Moved");
  ds->Next();
  EXPECT_EQ(ds->State(), dsBrowse);
  ds->Prior();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Moved");
  // Writing outside an edit state is refused.
  try {
    ds->FieldByName("NAME")->SetAsString("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Dataset not in edit or insert mode");
  }
  EXPECT_THROW(ds->Post(), EDatabaseError);
}

TEST(Editing, DeleteKeepsPositionAndEnds) {
  auto ds = MakePeople(4);
  ds->Next();
  ds->Delete();
  EXPECT_EQ(Id(ds.get()), 3) << "the following record becomes active";
  ds->Last();
  ds->Delete();
  EXPECT_EQ(Id(ds.get()), 3) << "deleting the last record moves back";
  EXPECT_EQ(Ids(ds.get()), "1 3");
  ds->Delete();
  ds->Delete();
  EXPECT_TRUE(ds->IsEmpty());
  // Delete while inserting cancels the insert.
  ds->Append();
  ds->Delete();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->StoredRecordCount(), 0);
}

TEST(Editing, ErrorEventsRetryAbortFail) {
  auto ds = MakePeople(2);
  ds->Edit();
  ds->FieldByName("ID")->Clear();  // required
  int calls = 0;
  ds->OnPostError = [&](TDataSet* d, EDatabaseError& e, TDataAction& a) {
    ++calls;
    EXPECT_STREQ(e.what(), "People: Field 'ID' must have a value");
    if (calls == 1) {
      d->FieldByName("ID")->SetAsInteger(7);
      a = daRetry;
    }
  };
  ds->Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Id(ds.get()), 7);

  ds->Edit();
  ds->FieldByName("ID")->Clear();
  ds->OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daAbort; };
  EXPECT_THROW(ds->Post(), EAbort);
  EXPECT_EQ(ds->State(), dsEdit);
  ds->OnPostError = nullptr;
  EXPECT_THROW(ds->Post(), EDatabaseError);
  ds->Cancel();
  EXPECT_EQ(Id(ds.get()), 7);
}

TEST(Editing, ReadOnlyDataSetAndField) {
  auto ds = MakePeople(2);
  ds->FieldByName("NAME")->SetReadOnly(true);
  ds->Edit();
  EXPECT_THROW(ds->FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  EXPECT_FALSE(ds->FieldByName("NAME")->CanModify());
  EXPECT_TRUE(ds->FieldByName("ID")->CanModify());
  ds->Cancel();
  ds->SetReadOnly(true);
  try {
    ds->Edit();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Cannot modify a read-only dataset");
  }
  EXPECT_THROW(ds->Insert(), EDatabaseError);
  EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(Editing, AppendRecordAndInsertRecord) {
  auto ds = MakePeople(2);
  TEventLog log;
  HookEvents(ds.get(), log);
  ds->InsertRecord({Variant(5), Variant("Five"), Variant::Null()});
  EXPECT_EQ(log.Joined(), "BeforeInsert,BeforeScroll,BeforePost,AfterPost,AfterScroll")
      << "no OnNewRecord and no insert events after the start";
  EXPECT_EQ(Id(ds.get()), 5);
  EXPECT_TRUE(ds->FieldByName("SALARY")->IsNull());
  EXPECT_EQ(Ids(ds.get()), "5 1 2");
  // Unassigned values leave the field as initialised.
  ds->AppendRecord({Variant(6), Variant::Unassigned(), Variant(2.5)});
  EXPECT_EQ(Ids(ds.get()), "5 1 2 6");
  EXPECT_TRUE(ds->FieldByName("NAME")->IsNull());
  // A failing add leaves the dataset browsing on its old records.
  EXPECT_THROW(ds->AppendRecord({Variant::Null(), Variant("NoId")}), EDatabaseError);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Ids(ds.get()), "5 1 2 6");
}

TEST(Editing, FailingOnNewRecordDropsTheInsert) {
  auto ds = MakePeople(3);
  ds->Next();
  ds->OnNewRecord = [](TDataSet*) { throw EDatabaseError("no new records today"); };
  EXPECT_THROW(ds->Insert(), EDatabaseError);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Id(ds.get()), 2);
  ds->OnNewRecord = nullptr;
  // Nothing half-inserted can be posted afterwards.
  EXPECT_THROW(ds->Post(), EDatabaseError);
  EXPECT_EQ(ds->StoredRecordCount(), 3);
}

TEST(Editing, AutoIncAndOldValue) {
  auto ds = CreateUnowned<TMemoryDataSet>();
  ds->FieldDefs()->Add("K", ftAutoInc);
  ds->FieldDefs()->Add("V", ftString, 5);
  ds->Open();
  ds->AppendRecord({Variant::Unassigned(), Variant("a")});
  ds->AppendRecord({Variant::Unassigned(), Variant("b")});
  EXPECT_EQ(ds->FieldByName("K")->AsInteger(), 2);
  ds->Edit();
  ds->FieldByName("V")->SetAsString("c");
  EXPECT_EQ(ds->FieldByName("V")->OldValue().AsString(), "b");
  EXPECT_EQ(ds->FieldByName("V")->NewValue().AsString(), "c");
  ds->Post();
  EXPECT_EQ(ds->FieldByName("V")->OldValue().AsString(), "c");
}

}  // namespace
}  // namespace dac::testing
