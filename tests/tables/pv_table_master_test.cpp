// Master-detail links between real engine tables: a Customers master and
// the Orders detail on its two-segment index. Each master record's details
// are compared with the same selection done by plain SQLite.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "platform/db/data_source.h"
#include "platform/db/field.h"
#include "platform/db/params.h"
#include "support/message_of.h"
#include "support/orders_fixture.h"
#include "support/test_seed.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;
using tabletest::Z;
using testsupport::MessageOf;

class TPvTableMaster : public tabletest::OrdersTest {
 protected:
  void SetUp() override {
    OrdersTest::SetUp();
    auto cids = Create("Customers", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                     {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20}});
    std::vector<Row> rows;
    // Customer 7 has no orders.
    for (int32_t c : {3, 1, 7, 2, 6, 4, 5}) rows.push_back(Row{B(c), Z("customer " + std::to_string(c))});
    Insert("Customers", cids, rows);
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, "Customers", 0, 0, &t), 0);
    const char byId[] = "+Id\0";
    ASSERT_EQ(RareCreateIndex(RS, t, "ById", DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE, byId, sizeof byId, 0), 0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
    master = Table("Customers");
    master->SetName("Master");
    master->Open();
    source = CreateUnowned<TDataSource>();
    source->SetDataSet(master.get());
    detail = Table("Orders");
    detail->SetName("Detail");
    detail->SetIndexName("ByCustItem");
    detail->SetMasterSource(source.get());
    detail->SetMasterFields("Id");
    detail->Open();
  }
  void TearDown() override {
    detail.reset();
    source.reset();
    master.reset();
    OrdersTest::TearDown();
  }

  std::vector<int32_t> DetailsOf(int32_t Cust) {
    return Sql("SELECT {Qty} FROM {T} WHERE {Cust} = " + std::to_string(Cust) + " ORDER BY {Cust}, {Item}, bm");
  }

  TFreePtr<TPvTable> master, detail;
  TFreePtr<TDataSource> source;
};

TEST_F(TPvTableMaster, TheDetailFollowsEveryMasterRecord) {
  int32_t masters = 0;
  for (master->First(); !master->Eof(); master->Next(), ++masters) {
    const int32_t id = master->FieldByName("Id")->AsInteger();
    const std::vector<int32_t> expected = DetailsOf(id);
    EXPECT_EQ(Forward(detail.get()), expected) << id;
    EXPECT_EQ(Backward(detail.get()), expected) << id;
    EXPECT_EQ(detail->RecordCount(), static_cast<int32_t>(expected.size())) << id;
    EXPECT_EQ(detail->IsEmpty(), expected.empty()) << id;
  }
  EXPECT_EQ(masters, 7);
  // Keyed search inside the detail stays with the current master.
  master->First();
  EXPECT_TRUE(detail->FindKey({1, "DATE"}) || detail->FindKey({1, "Fig"}));
  EXPECT_FALSE(detail->FindKey({2}));
  // The link's fields for providers.
  std::vector<TField*> masterFields, detailFields;
  detail->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 1u);
  EXPECT_EQ(masterFields[0], master->FieldByName("Id"));
  ASSERT_EQ(detailFields.size(), 2u);
  EXPECT_EQ(detailFields[0], detail->FieldByName("Cust"));
}

TEST_F(TPvTableMaster, NewDetailRecordsTakeTheMasterKey) {
  master->Last();  // customer 7, no orders yet
  EXPECT_TRUE(detail->IsEmpty());
  detail->Append();
  EXPECT_EQ(detail->FieldByName("Cust")->AsInteger(), 7);
  detail->FieldByName("Item")->SetAsString("kiwi");
  detail->FieldByName("Qty")->SetAsInteger(700);
  detail->Post();
  EXPECT_EQ(Forward(detail.get()), DetailsOf(7));
  EXPECT_EQ(DetailsOf(7), std::vector<int32_t>{700});
  master->Prior();
  EXPECT_EQ(Forward(detail.get()), DetailsOf(6));
  // A master disabled (closed) leaves the detail without its range.
  master->Close();
  EXPECT_EQ(detail->RecordCount(), 61);
  master->Open();
  EXPECT_EQ(Forward(detail.get()), DetailsOf(1));
}

TEST_F(TPvTableMaster, LinksCannotBeCircularAndTablesMustMatch) {
  auto back = CreateUnowned<TDataSource>();
  back->SetDataSet(detail.get());
  EXPECT_NE(MessageOf<EPvDatabaseError>([&] { master->SetMasterSource(back.get()); })
                .find("Circular datalinks are not allowed"),
            std::string::npos);
  EXPECT_TRUE(master->IsMasterOfAnyTable());
  EXPECT_FALSE(detail->IsMasterOfAnyTable());
  back->SetDataSet(nullptr);
  // GotoCurrent between two components on the same table.
  auto other = Table("Orders");
  other->SetIndexName("ByQty");
  other->Open();
  other->FindKey({305});
  auto free = Table("Orders");
  free->SetIndexName("ByCustItem");
  free->Open();
  free->GotoCurrent(other.get());
  EXPECT_EQ(free->FieldByName("Qty")->AsInteger(), 305);
  EXPECT_NE(MessageOf<EPvDatabaseError>([&] { free->GotoCurrent(master.get()); })
                .find("Source and destination tables are incompatible"),
            std::string::npos);
}

TEST_F(TPvTableMaster, ProviderParametersBecomeARange) {
  auto t = Table("Orders");
  t->SetIndexName("ByCustItem");
  TParams params;
  params.CreateParam(ftInteger, "", ptInput)->SetValue(Variant(4));
  t->PSSetParams(&params);
  EXPECT_TRUE(t->Active());
  EXPECT_EQ(Forward(t.get()), DetailsOf(4));
  TParams none;
  t->PSSetParams(&none);
  EXPECT_EQ(t->RecordCount(), 60);
  auto order = t->PSGetDefaultOrder();
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->Name(), "ByCustItem");
  auto unique = t->PSGetIndexDefs(TIndexOptions{ixUnique});
  ASSERT_EQ(unique->Count(), 1);
  EXPECT_EQ(unique->Items(0)->Name(), "ByQty");
}

// Generated moves of the master and edits of the detail (records added
// with the master's key, changed, deleted, or moved to another master):
// after each, the detail shows what SQLite selects for the master record.
TEST_F(TPvTableMaster, GeneratedMovesAndDetailEditsKeepTheDetailOnItsMaster) {
  const uint32_t seed = testseed::Seed(4711);
  SCOPED_TRACE(testseed::Describe(seed));
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  int32_t nextQty = 10000;
  std::string done;
  for (int step = 0; step < 120; ++step) {
    switch (pick(9)) {
      case 0: master->First(), done += " first"; break;
      case 1: master->Last(), done += " last"; break;
      case 2: master->Next(), done += " next"; break;
      case 3: master->Prior(), done += " prior"; break;
      case 4: {
        const int32_t id = 1 + pick(8);  // 8: no such customer
        done += " locate " + std::to_string(id);
        master->Locate("Id", Variant(id), {});
        break;
      }
      case 5: {
        done += " append";
        detail->Append();
        detail->FieldByName("Item")->SetAsString(tabletest::kItems[pick(10)]);
        detail->FieldByName("Qty")->SetAsInteger(nextQty++);
        detail->Post();
        break;
      }
      case 6:
        if (detail->IsEmpty()) break;
        done += " edit";
        detail->First();
        detail->MoveBy(pick(5));
        detail->Edit();
        detail->FieldByName("Item")->SetAsString(tabletest::kItems[pick(10)]);
        detail->Post();
        break;
      case 7:
        if (detail->IsEmpty()) break;
        done += " delete";
        detail->Last();
        detail->Delete();
        break;
      default:
        if (detail->IsEmpty()) break;
        done += " move away";
        detail->First();
        detail->Edit();
        detail->FieldByName("Cust")->SetAsInteger(1 + pick(7));
        detail->Post();
        break;
    }
    const int32_t id = master->FieldByName("Id")->AsInteger();
    const std::vector<int32_t> expected = DetailsOf(id);
    ASSERT_EQ(Forward(detail.get()), expected) << "master " << id << " after" << done;
    ASSERT_EQ(detail->RecordCount(), static_cast<int32_t>(expected.size())) << "master " << id << " after" << done;
  }
}

}  // namespace
