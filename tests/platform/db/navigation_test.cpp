// Moving through a dataset larger than its buffer ring, bookmarks, record
// numbers, Locate and Lookup.

#include <gtest/gtest.h>

#include "db_test_support.h"

namespace dac::testing {
namespace {

int Id(TDataSet* ds) { return ds->FieldByName("ID")->AsInteger(); }

TEST(Navigation, FirstLastAndEnds) {
  auto ds = MakePeople(25);
  EXPECT_TRUE(ds->Bof());
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(Id(ds.get()), 1);
  ds->Prior();
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(Id(ds.get()), 1);
  ds->Last();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Id(ds.get()), 25);
  // Walking back over the whole dataset crosses the ring many times.
  int expected = 25;
  while (!ds->Bof()) {
    EXPECT_EQ(Id(ds.get()), expected);
    ds->Prior();
    if (!ds->Bof()) --expected;
  }
  EXPECT_EQ(expected, 1);
  EXPECT_EQ(ds->MoveBy(7), 7);
  EXPECT_EQ(Id(ds.get()), 8);
  EXPECT_EQ(ds->MoveBy(-3), -3);
  EXPECT_EQ(Id(ds.get()), 5);
  EXPECT_EQ(ds->MoveBy(100), 20);
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Id(ds.get()), 25);
}

TEST(Navigation, EmptyDataSet) {
  auto ds = MakePeople(0);
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(ds->Eof());
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "");
  ds->Next();
  ds->Last();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->GetBookmark().empty());
  EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(Navigation, ClosedDataSetRefusesWork) {
  auto ds = MakePeople(2, false);
  try {
    ds->Next();
    FAIL() << "Next on a closed dataset";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Cannot perform this operation on a closed dataset");
  }
  ds->Open();
  try {
    ds->Fields()->Fields(0)->SetFieldKind(fkCalculated);
    FAIL() << "field kind changed on an open dataset";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Cannot perform this operation on an open dataset");
  }
}

TEST(Navigation, BookmarksSurviveScrollingAndEdits) {
  auto ds = MakePeople(30);
  ds->MoveBy(16);
  TBookmark b = ds->GetBookmark();
  ASSERT_EQ(b.size(), 4u);
  EXPECT_TRUE(ds->BookmarkValid(b));
  ds->First();
  TBookmark first = ds->GetBookmark();
  EXPECT_LT(ds->CompareBookmarks(first, b), 0);
  EXPECT_GT(ds->CompareBookmarks(b, first), 0);
  EXPECT_EQ(ds->CompareBookmarks(b, b), 0);
  // Insert before the bookmarked record; the bookmark still finds it.
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(100);
  ds->Post();
  ds->GotoBookmark(b);
  EXPECT_EQ(Id(ds.get()), 17);
  EXPECT_EQ(ds->RecNo(), 18);
  // The ring is centred on the record: records before it are in the ring.
  EXPECT_GT(ds->FActiveRecord, 0);
  ds->Delete();
  EXPECT_FALSE(ds->BookmarkValid(b));
  EXPECT_THROW(ds->GotoBookmark(b), EDatabaseError);
  ds->FreeBookmark(b);
  EXPECT_TRUE(b.empty());
  ds->GotoBookmark(b);  // an empty bookmark is ignored
}

TEST(Navigation, RecNoAndRecordCount) {
  auto ds = MakePeople(12);
  EXPECT_EQ(ds->RecordCount(), 12);
  EXPECT_EQ(ds->RecNo(), 1);
  ds->SetRecNo(11);
  EXPECT_EQ(Id(ds.get()), 11);
  EXPECT_EQ(ds->RecNo(), 11);
  EXPECT_THROW(ds->SetRecNo(13), EDatabaseError);
  ds->Insert();
  EXPECT_EQ(ds->RecNo(), 0) << "a record being inserted has no number";
  ds->Cancel();
  EXPECT_EQ(Id(ds.get()), 11);
}

TEST(Navigation, RecNoWithoutARecordIsZero) {
  auto ds = MakePeople(0);
  EXPECT_EQ(ds->RecNo(), 0) << "empty dataset";
  ds->Append();
  EXPECT_EQ(ds->RecNo(), 0) << "appending to an empty dataset";
  ds->Cancel();
  auto three = MakePeople(3);
  three->Last();
  three->Append();
  EXPECT_EQ(three->RecNo(), 0) << "a record being appended has no number yet";
  three->FieldByName("ID")->SetAsInteger(4);
  three->Post();
  EXPECT_EQ(three->RecNo(), 4);
}

// A record that reaches the store while the ring still has room (another
// user of shared storage appending) is fetched by the next Next, which
// must move onto it.
TEST(Navigation, NextReachesARecordAddedBehindTheDataSet) {
  auto ds = MakePeople(3);
  ASSERT_LT(ds->FRecordCount, ds->BufferCount()) << "the ring must have room";
  ASSERT_EQ(ds->MoveBy(2), 2);
  ASSERT_EQ(Id(ds.get()), 3);
  ASSERT_FALSE(ds->Eof());
  ds->AppendStoredRecord({Variant(4), Variant("Name4"), Variant(40.0)});
  EXPECT_EQ(ds->StoredRecordCount(), 4);
  EXPECT_EQ(Id(ds.get()), 3) << "the view is untouched until the next fetch";

  auto src = CreateUnowned<TDataSource>();
  src->SetDataSet(ds.get());
  TDataLink link;
  link.SetDataSource(src.get());
  link.SetBufferCount(5);  // within the ring: no refetch
  int32_t before = link.ActiveRecord();
  ASSERT_EQ(before, 2);
  int32_t moved = ds->MoveBy(1);
  EXPECT_EQ(moved, 1);
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(Id(ds.get()), 4);
  EXPECT_EQ(ds->RecNo(), 4);
  EXPECT_EQ(link.ActiveRecord(), before + 1) << "the link follows the active record";
  EXPECT_EQ(link.RecordCount(), 4);
  ds->Next();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Id(ds.get()), 4);
  // And back over the whole dataset in one move.
  EXPECT_EQ(ds->MoveBy(-10), -3);
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(Id(ds.get()), 1);
  link.SetDataSource(nullptr);

  // Standing at the end already, the dataset reports no move and stays
  // there; the record arrives with the next fetch from the start.
  ds->Last();
  ds->AppendStoredRecord({Variant(5), Variant("Name5"), Variant(50.0)});
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Id(ds.get()), 4);
  ds->First();
  EXPECT_EQ(ds->MoveBy(10), 4);
  EXPECT_EQ(Id(ds.get()), 5);

  // Records are stored through the open dataset's layout.
  ds->Close();
  EXPECT_THROW(ds->AppendStoredRecord({Variant(5)}), EDatabaseError);
}

TEST(Navigation, LocateAndLookup) {
  auto ds = MakePeople(20);
  EXPECT_TRUE(ds->Locate("ID", Variant(15), {}));
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Name15");
  EXPECT_TRUE(ds->Locate("NAME", Variant("name7"), {loCaseInsensitive}));
  EXPECT_EQ(Id(ds.get()), 7);
  EXPECT_FALSE(ds->Locate("NAME", Variant("name7"), {}));
  EXPECT_EQ(Id(ds.get()), 7) << "a failed Locate does not move";
  EXPECT_TRUE(ds->Locate("NAME", Variant("Name1"), {loPartialKey}));
  EXPECT_EQ(Id(ds.get()), 1);
  EXPECT_TRUE(ds->Locate("ID;NAME", VarArrayOf({Variant(12), Variant("Name12")}), {}));
  EXPECT_EQ(Id(ds.get()), 12);
  EXPECT_FALSE(ds->Locate("ID;NAME", VarArrayOf({Variant(12), Variant("Name13")}), {}));
  EXPECT_THROW(ds->Locate("NOPE", Variant(1), {}), EDatabaseError);

  ds->First();
  Variant v = ds->Lookup("ID", Variant(9), "NAME;SALARY");
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v[0].AsString(), "Name9");
  EXPECT_DOUBLE_EQ(v[1].AsDouble(), 90.0);
  EXPECT_EQ(Id(ds.get()), 1) << "Lookup does not move";
  EXPECT_TRUE(ds->Lookup("ID", Variant(99), "NAME").IsNull());
}

TEST(Navigation, FieldValuesByName) {
  auto ds = MakePeople(3);
  ds->Next();
  Variant v = ds->FieldValues("ID;NAME");
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v[0].AsInteger(), 2);
  EXPECT_EQ(v[1].AsString(), "Name2");
  EXPECT_EQ(ds->FieldValues("name").AsString(), "Name2");
  try {
    ds->FieldByName("MISSING");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Field 'MISSING' not found");
  }
  ds->Edit();
  ds->SetFieldValues("NAME;SALARY", VarArrayOf({Variant("X"), Variant(1.5)}));
  ds->Post();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "X");
  EXPECT_DOUBLE_EQ(ds->FieldByName("SALARY")->AsFloat(), 1.5);
}

TEST(Navigation, LargerRingForLinks) {
  auto ds = MakePeople(40);
  auto src = CreateUnowned<TDataSource>();
  src->SetDataSet(ds.get());
  TDataLink link;
  link.SetDataSource(src.get());
  link.SetBufferCount(25);
  EXPECT_EQ(ds->BufferCount(), 25);
  EXPECT_EQ(ds->FRecordCount, 25);
  EXPECT_EQ(link.RecordCount(), 25);
  ds->MoveBy(30);
  EXPECT_EQ(Id(ds.get()), 31);
  EXPECT_EQ(link.ActiveRecord(), 24);
  link.SetDataSource(nullptr);
}

}  // namespace
}  // namespace dac::testing

namespace dac::testing {
namespace {

TEST(Navigation, OpenWhileLoadingWaitsForLoaded) {
  auto owner = CreateUnowned<TComponent>();
  auto* ds = Create<TMemoryDataSet>(owner.get());
  ds->FieldDefs()->Add("ID", ftInteger);
  BeginLoading(owner.get());
  ds->Open();
  EXPECT_FALSE(ds->Active());
  EndLoading(owner.get());
  EXPECT_TRUE(ds->Active());
  // At design time a failing stored open is reported, not raised.
  ds->Close();
  ds->FieldDefs()->Add("BAD", ftADT);
  std::string reported;
  SetDatabaseExceptionHandler([&](TObject*) {
    try {
      throw;
    } catch (const Exception& e) {
      reported = e.Message();
    }
  });
  owner->SetDesigning(true);
  BeginLoading(owner.get());
  ds->Open();
  EXPECT_NO_THROW(EndLoading(owner.get()));
  SetDatabaseExceptionHandler(nullptr);
  EXPECT_EQ(reported, "Field type ftADT is not supported");
  EXPECT_FALSE(ds->Active());
}

}  // namespace
}  // namespace dac::testing
