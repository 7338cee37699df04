// Keyed search, nearest search and ranges on real engine tables with a
// two-segment, a descending case-insensitive and a unique index. What the
// table shows inside a range is compared with the same selection done by
// plain SQLite on the engine's storage file.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "platform/db/data_source.h"
#include "platform/db/field.h"
#include "platform/rtl/sysutils.h"
#include "support/message_of.h"
#include "support/orders_fixture.h"
#include "support/test_seed.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;
using tabletest::Z;
using testsupport::MessageOf;

using TPvTableKeys = tabletest::OrdersTest;

TEST_F(TPvTableKeys, FindKeyOnTwoSegmentsAndOnALeadingPart) {
  auto t = Orders("ByCustItem");
  EXPECT_EQ(t->IndexFieldCount(), 2);
  EXPECT_EQ(t->IndexFieldAt(1)->FieldName(), "Item");
  EXPECT_TRUE(t->FindKey({4, "Apple"}));
  EXPECT_EQ(t->FieldByName("Cust")->AsInteger(), 4);
  EXPECT_EQ(t->FieldByName("Item")->AsString(), "Apple");
  // The index is case-sensitive: "apple" of customer 4 is another record.
  EXPECT_TRUE(t->FindKey({4, "apple"}));
  EXPECT_EQ(t->FieldByName("Item")->AsString(), "apple");
  // A leading part finds the first record of that customer in index order.
  EXPECT_TRUE(t->FindKey({3}));
  EXPECT_EQ(Qty(t), Sql("SELECT {Qty} FROM {T} WHERE {Cust} = 3 ORDER BY {Item}, bm LIMIT 1").at(0));
  // The walk goes on from there in index order.
  t->Next();
  EXPECT_EQ(Qty(t), Sql("SELECT {Qty} FROM {T} WHERE {Cust} = 3 ORDER BY {Item}, bm LIMIT 1 OFFSET 1").at(0));
}

TEST_F(TPvTableKeys, AFailedSearchKeepsTheRecordAndNearestFindsTheNext) {
  auto t = Orders("ByCustItem");
  t->FindKey({2, "DATE"});
  const int32_t before = Qty(t);
  EXPECT_FALSE(t->FindKey({2, "zebra"}));
  EXPECT_FALSE(t->FindKey({9}));
  EXPECT_EQ(Qty(t), before);
  t->Next();  // the cursor is back where the dataset stands
  EXPECT_EQ(Qty(t), Sql("SELECT {Qty} FROM {T} WHERE ({Cust}, {Item}) > (2, 'DATE') ORDER BY {Cust}, {Item}, bm")
                        .at(0));
  // Nearest: the first record at or after the key, else the last record.
  t->FindNearest({2, "cat"});
  EXPECT_EQ(Qty(t), Sql("SELECT {Qty} FROM {T} WHERE ({Cust}, {Item}) >= (2, 'cat') ORDER BY {Cust}, {Item}, bm")
                        .at(0));
  t->FindNearest({7});
  EXPECT_EQ(Qty(t), Sql("SELECT {Qty} FROM {T} ORDER BY {Cust} DESC, {Item} DESC, bm DESC").at(0));
}

TEST_F(TPvTableKeys, DescendingCaseInsensitiveIndex) {
  auto t = Orders("ByItemDesc");
  // Any case finds the first record of the value in index order.
  EXPECT_TRUE(t->FindKey({"HONEY"}));
  EXPECT_EQ(t->FieldByName("Item")->AsString(), "Honey");
  EXPECT_TRUE(t->FindKey({"APPLE"}));
  EXPECT_EQ(AnsiUpperCase(t->FieldByName("Item")->AsString()), "APPLE");
  // Nearest in a descending order: the first value at or below the key.
  t->FindNearest({"cz"});
  EXPECT_EQ(Qty(t), Sql("SELECT {Qty} FROM {T} WHERE {Item} COLLATE NOCASE <= 'cz' "
                        "ORDER BY {Item} COLLATE NOCASE DESC, bm LIMIT 1")
                        .at(0));
}

TEST_F(TPvTableKeys, KeyEditsThroughSetKeyAndEditKey) {
  auto t = Orders("ByCustItem");
  EXPECT_NE(MessageOf<EDatabaseError>([&] { t->KeyExclusive(); }).find("Dataset not in edit or insert mode"),
            std::string::npos);
  t->SetKey();
  EXPECT_EQ(t->State(), dsSetKey);
  t->FieldByName("Cust")->SetAsInteger(5);
  t->FieldByName("Item")->SetAsString("grape");
  t->SetKeyFieldCount(2);
  EXPECT_EQ(t->KeyFieldCount(), 2);
  // A field outside the index cannot take a key value.
  EXPECT_THROW(t->FieldByName("Qty")->SetAsInteger(1), EDatabaseError);
  EXPECT_TRUE(t->GotoKey());  // posts the key edit first
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->FieldByName("Item")->AsString(), "grape");
  EXPECT_EQ(t->KeyValues().size(), 2u);
  // EditKey starts from the last key; a cancelled edit leaves it as it was.
  t->EditKey();
  EXPECT_EQ(t->FieldByName("Cust")->AsInteger(), 5);
  t->FieldByName("Cust")->SetAsInteger(1);
  t->Cancel();
  EXPECT_EQ(t->State(), dsBrowse);
  t->First();
  EXPECT_TRUE(t->GotoKey());
  EXPECT_EQ(t->FieldByName("Cust")->AsInteger(), 5);
}

TEST_F(TPvTableKeys, KeysNeedAnIndexAndNoMoreValuesThanItsFields) {
  NumberTable("Nums", {3, 1, 2});
  auto plain = Table("Nums");
  plain->Open();
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { plain->FindKey({1}); }).find("No index currently active"), 0u);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { plain->SetRange({1}, {2}); }).find("No index currently active"), 0u);
  // Key edits by hand reach the same answer instead of the first record.
  plain->SetKey();
  plain->FieldByName("N")->SetAsInteger(2);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { plain->GotoKey(); }).find("No index currently active"), 0u);
  plain->SetRangeStart();
  plain->FieldByName("N")->SetAsInteger(2);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { plain->ApplyRange(); }).find("No index currently active"), 0u);
  EXPECT_EQ(plain->RecordCount(), 3);
  auto t = Orders("ByCustItem");
  t->Next();
  const int32_t before = Qty(t);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { t->FindKey({1, "apple", "x"}); }).find("Field index out of range"), 0u);
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(Qty(t), before);
  EXPECT_THROW(t->IndexFieldAt(2), EPvDatabaseError);
}

TEST_F(TPvTableKeys, NavigationInsideRangesAgreesWithSqlite) {
  auto t = Orders("ByCustItem");
  t->SetRange({2, "cherry"}, {4, "Fig"});
  ExpectNavigation(t.get(), Sql("SELECT {Qty} FROM {T} WHERE ({Cust}, {Item}) >= (2, 'cherry') AND "
                                "({Cust}, {Item}) <= (4, 'Fig') ORDER BY {Cust}, {Item}, bm"));
  // A range on the leading field only.
  t->SetRange({3}, {3});
  ExpectNavigation(t.get(), Sql("SELECT {Qty} FROM {T} WHERE {Cust} = 3 ORDER BY {Cust}, {Item}, bm"));
  // Keyed search stays inside the range.
  EXPECT_FALSE(t->FindKey({4, "apple"}));
  EXPECT_TRUE(t->FindKey({3, "DATE"}));
  t->CancelRange();
  EXPECT_EQ(t->FieldByName("Item")->AsString(), "DATE") << "the record stays current";
  EXPECT_EQ(t->RecordCount(), 60);
  EXPECT_EQ(Forward(t.get()), Sql("SELECT {Qty} FROM {T} ORDER BY {Cust}, {Item}, bm"));
}

TEST_F(TPvTableKeys, RangeOnADescendingCaseInsensitiveIndex) {
  auto t = Orders("ByItemDesc");
  // In descending order the range starts at the higher value.
  t->SetRange({"HONEY"}, {"cherry"});
  ExpectNavigation(t.get(), Sql("SELECT {Qty} FROM {T} WHERE {Item} COLLATE NOCASE <= 'honey' AND "
                                "{Item} COLLATE NOCASE >= 'cherry' ORDER BY {Item} COLLATE NOCASE DESC, bm"));
}

TEST_F(TPvTableKeys, BookmarksOutsideTheRangeAreRefused) {
  auto t = Orders("ByCustItem");
  t->FindKey({6});
  const TBookmark outside = t->GetBookmark();
  t->SetRange({2}, {3});
  const std::vector<int32_t> inside = Sql("SELECT {Qty} FROM {T} WHERE {Cust} BETWEEN 2 AND 3 ORDER BY {Cust}, {Item}, bm");
  t->Next();
  t->Next();
  EXPECT_NE(MessageOf<EDatabaseError>([&] { t->GotoBookmark(outside); }).find("Record not found"), std::string::npos);
  // The dataset starts again from the range's first record.
  EXPECT_EQ(Qty(t), inside.at(0));
  EXPECT_EQ(Forward(t.get()), inside);
  // The last and first records of the range are inside, whatever their
  // text compares like as upper-case text.
  t->Last();
  const TBookmark last = t->GetBookmark();
  t->First();
  t->GotoBookmark(last);
  EXPECT_EQ(Qty(t), inside.back());
}

TEST_F(TPvTableKeys, RangeEdgeCases) {
  auto t = Orders("ByCustItem");
  auto source = CreateUnowned<TDataSource>();
  source->SetDataSet(t.get());
  int changes = 0;
  source->OnDataChange = [&](TObject*, TField*) { ++changes; };
  // Cancelling when no range is set does not resync.
  t->CancelRange();
  EXPECT_EQ(changes, 0);
  // The same range twice: the second sends nothing and does not move.
  t->SetRange({2}, {2});
  t->Next();
  const int32_t second = Qty(t);
  changes = 0;
  t->SetRange({2}, {2});
  EXPECT_EQ(Qty(t), second);
  EXPECT_EQ(changes, 0);
  // A range without end values shows nothing until it is cancelled.
  t->SetRangeStart();
  t->FieldByName("Cust")->SetAsInteger(3);
  t->ApplyRange();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_EQ(t->RecordCount(), 0);
  t->First();
  EXPECT_TRUE(t->Eof());
  t->CancelRange();
  EXPECT_FALSE(t->IsEmpty());
  EXPECT_EQ(t->RecordCount(), 60);
  // Start and end set through key edits; EditRangeEnd keeps the start.
  t->SetRangeStart();
  t->FieldByName("Cust")->SetAsInteger(5);
  t->SetRangeEnd();
  t->FieldByName("Cust")->SetAsInteger(5);
  t->ApplyRange();
  EXPECT_EQ(Forward(t.get()), Sql("SELECT {Qty} FROM {T} WHERE {Cust} = 5 ORDER BY {Cust}, {Item}, bm"));
  t->EditRangeEnd();
  t->FieldByName("Cust")->SetAsInteger(6);
  t->ApplyRange();
  EXPECT_EQ(Forward(t.get()), Sql("SELECT {Qty} FROM {T} WHERE {Cust} >= 5 ORDER BY {Cust}, {Item}, bm"));
  // Changing the index ends the range.
  t->SetIndexName("ByQty");
  EXPECT_FALSE(t->InRange());
  EXPECT_EQ(t->RecordCount(), 60);
  source->SetDataSet(nullptr);
}

TEST_F(TPvTableKeys, EditingInsideARange) {
  auto t = Orders("ByCustItem");
  t->SetRange({2}, {2});
  t->Next();
  const int32_t qty = Qty(t);
  t->Edit();
  t->FieldByName("Qty")->SetAsInteger(qty + 5000);
  t->Post();
  EXPECT_EQ(Qty(t), qty + 5000);
  EXPECT_EQ(Forward(t.get()), Sql("SELECT {Qty} FROM {T} WHERE {Cust} = 2 ORDER BY {Cust}, {Item}, bm"));
  // A record whose key leaves the range leaves the records shown.
  t->First();
  t->Edit();
  t->FieldByName("Cust")->SetAsInteger(9);
  t->Post();
  const std::vector<int32_t> left = Sql("SELECT {Qty} FROM {T} WHERE {Cust} = 2 ORDER BY {Cust}, {Item}, bm");
  EXPECT_EQ(left.size(), 9u);
  EXPECT_EQ(Forward(t.get()), left);
  EXPECT_EQ(t->RecordCount(), 9);
}

TEST_F(TPvTableKeys, IndexSelectionOnAnOpenTable) {
  auto t = Orders("ByQty");
  t->SetIndexName("ByCustItem");
  auto source = CreateUnowned<TDataSource>();
  source->SetDataSet(t.get());
  int changes = 0;
  source->OnDataChange = [&](TObject*, TField*) { ++changes; };
  t->FindKey({3, "iris"});
  const int32_t current = Qty(t);
  // The same name again changes nothing.
  EXPECT_EQ(t->IndexFieldNames(), "Cust;Item");
  changes = 0;
  t->SetIndexName("ByCustItem");
  EXPECT_EQ(changes, 1) << "only the return to the record";
  // By field names, descending and unique: the current record stays.
  t->SetIndexFieldNames("Item");
  EXPECT_EQ(t->IndexName(), "ByItemDesc");
  EXPECT_EQ(Qty(t), current);
  t->SetIndexName("ByQty");
  EXPECT_EQ(Qty(t), current);
  EXPECT_TRUE(t->FieldByName("Qty")->ProviderFlags().Contains(pfInKey));
  EXPECT_FALSE(t->FieldByName("Cust")->ProviderFlags().Contains(pfInKey));
  EXPECT_TRUE(t->FindKey({205}));
  EXPECT_EQ(t->FieldByName("Cust")->AsInteger(), 2);
  source->SetDataSet(nullptr);
}

// Generated ranges and nearest searches on both kinds of index, against the
// same selection by SQLite. Keys use values below, between and above the
// stored ones, texts in other cases, and one or two fields.
TEST_F(TPvTableKeys, GeneratedRangesAndNearestSearchesAgreeWithSqlite) {
  const uint32_t seed = testseed::Seed(1207);
  SCOPED_TRACE(testseed::Describe(seed));
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char* const texts[] = {"apple", "APPLE", "Apple", "b", "Banana", "cherry", "Cherry", "DATE",
                               "date", "e", "Fig", "grape", "Honey", "iris", "zz", ""};
  auto quoted = [](const std::string& v) { return "'" + v + "'"; };
  auto byCustItem = Orders("ByCustItem");
  auto byItemDesc = Orders("ByItemDesc");
  int nonEmpty = 0;
  for (int round = 0; round < 60; ++round) {
    // Two fields, case-sensitive, ascending: bounds on one or both fields.
    {
      const int32_t lo = pick(8), hi = lo + pick(3);
      const std::string loText = texts[pick(16)], hiText = texts[pick(16)];
      const bool loBoth = pick(2) == 1, hiBoth = pick(2) == 1;
      const std::string where =
          std::string(loBoth ? "({Cust}, {Item}) >= (" + std::to_string(lo) + ", " + quoted(loText) + ")"
                             : "{Cust} >= " + std::to_string(lo)) +
          " AND " +
          (hiBoth ? "({Cust}, {Item}) <= (" + std::to_string(hi) + ", " + quoted(hiText) + ")"
                  : "{Cust} <= " + std::to_string(hi));
      SCOPED_TRACE(where);
      std::vector<Variant> start{Variant(lo)}, end{Variant(hi)};
      if (loBoth) start.emplace_back(loText);
      if (hiBoth) end.emplace_back(hiText);
      byCustItem->SetRange(start, end);
      const std::vector<int32_t> expected = Sql("SELECT {Qty} FROM {T} WHERE " + where + " ORDER BY {Cust}, {Item}, bm");
      nonEmpty += expected.empty() ? 0 : 1;
      EXPECT_EQ(Forward(byCustItem.get()), expected);
      EXPECT_EQ(Backward(byCustItem.get()), expected);
      byCustItem->CancelRange();
      // The nearest record at or after a key, or the end.
      std::vector<Variant> key{Variant(lo)};
      if (loBoth) key.emplace_back(loText);
      const std::vector<int32_t> after =
          Sql("SELECT {Qty} FROM {T} WHERE " +
              (loBoth ? "({Cust}, {Item}) >= (" + std::to_string(lo) + ", " + quoted(loText) + ")"
                      : "{Cust} >= " + std::to_string(lo)) +
              " ORDER BY {Cust}, {Item}, bm LIMIT 1");
      byCustItem->FindNearest(key);
      if (after.empty())
        EXPECT_EQ(Qty(byCustItem), Sql("SELECT {Qty} FROM {T} ORDER BY {Cust} DESC, {Item} DESC, bm DESC LIMIT 1").at(0));
      else
        EXPECT_EQ(Qty(byCustItem), after[0]);
    }
    // One field, case-insensitive, descending: the range starts high.
    {
      const std::string a = texts[pick(16)], b = texts[pick(16)];
      const std::string where = "{Item} COLLATE NOCASE <= " + quoted(a) + " AND {Item} COLLATE NOCASE >= " + quoted(b);
      SCOPED_TRACE(where);
      byItemDesc->SetRange({Variant(a)}, {Variant(b)});
      const std::vector<int32_t> expected =
          Sql("SELECT {Qty} FROM {T} WHERE " + where + " ORDER BY {Item} COLLATE NOCASE DESC, bm");
      EXPECT_EQ(Forward(byItemDesc.get()), expected);
      EXPECT_EQ(Backward(byItemDesc.get()), expected);
      EXPECT_EQ(byItemDesc->RecordCount(), static_cast<int32_t>(expected.size()));
      nonEmpty += expected.empty() ? 0 : 1;
      byItemDesc->CancelRange();
    }
    if (HasFailure()) return;
  }
  EXPECT_GT(nonEmpty, 40) << "most generated ranges hold records";
}

}  // namespace

namespace {

class TPvTableKeyNulls : public tabletest::TableTest {};

// NULL sorts lowest: a walk from a keyed record toward the low end of the
// index reaches the NULL records after every value, in either direction of
// the index.
TEST_F(TPvTableKeyNulls, WalksTowardTheLowEndReachTheNulls) {
  auto ids = Create("Sparse", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                               {"Tag", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
  Insert("Sparse", ids,
         {Row{B(int32_t{5}), B(int32_t{1})}, Row{std::nullopt, B(int32_t{2})}, Row{B(int32_t{3}), B(int32_t{3})},
          Row{std::nullopt, B(int32_t{4})}, Row{B(int32_t{4}), B(int32_t{5})}, Row{B(int32_t{1}), B(int32_t{6})}});
  uint32_t h = 0;
  ASSERT_EQ(RareOpenTable(RS, RD, "Sparse", 0, 0, &h), 0);
  const char up[] = "+N\0", down[] = "-N\0";
  ASSERT_EQ(RareCreateIndex(RS, h, "Up", DRM_IDXFLAG_CASE_SENSITIVE, up, sizeof up, 0), 0);
  ASSERT_EQ(RareCreateIndex(RS, h, "Down", DRM_IDXFLAG_CASE_SENSITIVE, down, sizeof down, 0), 0);
  ASSERT_EQ(RareCloseTable(RS, h), 0);
  auto t = Table("Sparse");
  t->SetIndexName("Up");
  t->Open();
  auto tags = [&](bool Forward) {
    std::vector<int32_t> seen;
    for (; Forward ? !t->Eof() : !t->Bof(); Forward ? t->Next() : t->Prior())
      seen.push_back(t->FieldByName("Tag")->AsInteger());
    return seen;
  };
  ASSERT_TRUE(t->FindKey({4}));
  EXPECT_EQ(tags(false), (std::vector<int32_t>{5, 3, 6, 4, 2}));
  t->SetIndexName("Down");
  ASSERT_TRUE(t->FindKey({3}));
  EXPECT_EQ(tags(true), (std::vector<int32_t>{3, 6, 2, 4}));
  // A range from a value down to NULL holds the NULLs too.
  t->SetRange({3}, {Variant::Null()});
  EXPECT_EQ(tags(true), (std::vector<int32_t>{3, 6, 2, 4}));
  EXPECT_EQ(t->RecordCount(), 4);
}

}  // namespace

namespace {

class TPvTableDecimalKey : public tabletest::TableTest {};

// A decimal key is found by a nearest search and confirmed by comparing the
// decimal values: a value between two records is not found, and the
// dataset stays where it was.
TEST_F(TPvTableDecimalKey, GotoKeyComparesTheDecimalValue) {
  auto ids = Create("Prices", {{"Price", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 10, 10, 2},
                               {"Tag", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
  Insert("Prices", ids,
         {Row{tabletest::Decimal(-2, 1250), B(int32_t{1})}, Row{tabletest::Decimal(-2, 300), B(int32_t{2})},
          Row{tabletest::Decimal(-2, 1999), B(int32_t{3})}});
  uint32_t h = 0;
  ASSERT_EQ(RareOpenTable(RS, RD, "Prices", 0, 0, &h), 0);
  const char byPrice[] = "+Price\0";
  ASSERT_EQ(RareCreateIndex(RS, h, "ByPrice", DRM_IDXFLAG_CASE_SENSITIVE, byPrice, sizeof byPrice, 0), 0);
  ASSERT_EQ(RareCloseTable(RS, h), 0);
  auto t = Table("Prices");
  t->SetIndexName("ByPrice");
  t->Open();
  ASSERT_EQ(t->FieldByName("Price")->DataType(), ftBCD);
  EXPECT_TRUE(t->FindKey({12.5}));
  EXPECT_EQ(t->FieldByName("Tag")->AsInteger(), 1);
  EXPECT_FALSE(t->FindKey({12.51}));
  EXPECT_EQ(t->FieldByName("Tag")->AsInteger(), 1);
  EXPECT_TRUE(t->FindKey({3}));
  EXPECT_EQ(t->FieldByName("Tag")->AsInteger(), 2);
  t->FindNearest({13});
  EXPECT_EQ(t->FieldByName("Tag")->AsInteger(), 3);
  t->SetRange({3}, {12.5});
  EXPECT_EQ(t->RecordCount(), 2);
}

}  // namespace
