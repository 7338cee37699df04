#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalog/column_info_collection.h"
#include "catalog/index_info_collection.h"
#include "catalog/table_collection.h"
#include "errors/pv_errors.h"
#include "platform/engine/engine_fixture.h"
#include "platform/rtl/component.h"
#include "support/message_of.h"

using namespace dac;
using enginetest::Col;
using ::testing::HasSubstr;

namespace {

class TDRMCatalogCollections : public enginetest::EngineTest {
 protected:
  TFreePtr<TComponent> owner;
  void SetUp() override {
    EngineTest::SetUp();
    owner = CreateUnowned<TComponent>();
    owner->SetName("Cat");
  }
  void TearDown() override {
    owner.reset();
    EngineTest::TearDown();
  }
  int32_t Ses() const { return static_cast<int32_t>(S); }
};

using testsupport::MessageOf;

}  // namespace

TEST_F(TDRMCatalogCollections, ColumnLayoutSizesAndRecordSize) {
  CreateTable("Mixed", {
                           {"Flag", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                           {"Small", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                           {"Auto", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16), 4},
                           {"Ratio", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4},
                           {"Name", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 20},
                           {"Memo", DRM_COLTYP(RM_TYPE_NOTE, DRM_TYPE_LONGTEXT), 100},
                           {"Amount", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 0, 0, nullptr, nullptr, 10, 2},
                           {"Code", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 8},
                           {"Pic", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY), 0},
                           {"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                       });
  uint32_t t = Open("Mixed");
  TDRMColumnInfoCollection cols(owner.get());
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { cols.RecordSize(); }), "Collection not filled. Component is Cat");
  EXPECT_THROW(cols.CanModify(), EPvDatabaseError);
  cols.SetColumnInfo(Ses(), t);
  ASSERT_TRUE(cols.Filled());
  ASSERT_EQ(cols.Count(), 10);

  struct Expect {
    uint32_t bufferMax, realSize;
  };
  const Expect expected[] = {{3, 2}, {3, 2}, {5, 4}, {9, 8}, {22, 21}, {2, 1}, {39, 34}, {11, 10}, {2, 1}, {5, 4}};
  uint32_t offset = 0, largest = 0;
  for (int32_t i = 0; i < cols.Count(); ++i) {
    TDRMColumnInfo* c = cols.Items(i);
    SCOPED_TRACE(c->ColumnName);
    EXPECT_EQ(c->BufferMax, expected[i].bufferMax);
    EXPECT_EQ(c->RealDataSize, expected[i].realSize);
    EXPECT_EQ(c->Offset, offset);
    EXPECT_EQ(c->ColSequenceID, static_cast<uint32_t>(i + 1));
    offset += c->BufferMax;
    largest = std::max(largest, c->BufferMax);
  }
  EXPECT_EQ(cols.RecordSize(), offset);
  EXPECT_EQ(cols.MaxColumnSize(), largest);
  EXPECT_EQ(cols.Items(6)->Precision, 10);
  EXPECT_EQ(cols.Items(6)->Scale, 2);
  // A long value of record-manager type 21 always reports 2000000000.
  EXPECT_EQ(cols.Items(8)->cbMax, 2000000000u);
  EXPECT_TRUE(cols.CanModify());
  EXPECT_EQ(cols.FindItemName("Name"), cols.Items(4));
  EXPECT_EQ(cols.FindItemName("name"), nullptr);
  RareCloseTable(S, t);

  // Read-only handles report no updatable column.
  t = Open("Mixed", DRM_TBLOPEN_READONLY);
  cols.SetColumnInfo(Ses(), t);
  EXPECT_FALSE(cols.CanModify());
  cols.Clear();
  EXPECT_FALSE(cols.Filled());
  RareCloseTable(S, t);
}

TEST_F(TDRMCatalogCollections, EmptyCatalogAndDuplicateNames) {
  CreateTable("Bare", {});
  uint32_t t = Open("Bare");
  TDRMColumnInfoCollection cols(owner.get());
  cols.SetColumnInfo(Ses(), t);
  EXPECT_TRUE(cols.Filled());
  EXPECT_EQ(cols.RecordSize(), 0u);
  EXPECT_EQ(cols.MaxColumnSize(), 0u);
  EXPECT_TRUE(cols.CanModify());
  // FindItemName returns the later of two columns of one name.
  TDRMColumnInfo* a = cols.Add();
  a->ColumnName = "X";
  TDRMColumnInfo* b = cols.Add();
  b->ColumnName = "X";
  EXPECT_EQ(cols.FindItemName("X"), b);
  RareCloseTable(S, t);
}

TEST_F(TDRMCatalogCollections, IndexSegmentsAndDistinctNames) {
  auto ids = CreateTable("People", {{"Last", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 20},
                                    {"First", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 20},
                                    {"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
  uint32_t t = Open("People", DRM_TBLOPEN_EXCLUSIVE);
  ASSERT_EQ(CreateIndex(t, "ById", {"+Id"}, DRM_IDXFLAG_UNIQUE), 0);
  ASSERT_EQ(CreateIndex(t, "ByName", {"+Last", "-First"}), 0);
  RareCloseTable(S, t);
  t = Open("People");

  TDRMIndexInfoCollection idx(owner.get());
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { idx.IndexCount(); }), "Collection not filled. Component is Cat");
  idx.SetIndexInfo(Ses(), t);
  ASSERT_EQ(idx.Count(), 3);
  EXPECT_EQ(idx.IndexCount(), 2);
  EXPECT_EQ(idx.Items(1)->IndexName, "ByName");
  EXPECT_EQ(idx.Items(2)->IndexName, "ByName");
  EXPECT_EQ(idx.Items(2)->IndexedColumnNo, 1);
  EXPECT_EQ(idx.Items(2)->IndexedColumnName, "First");
  EXPECT_EQ(idx.Items(2)->IndexedColumnId, ids[1]);
  EXPECT_EQ(idx.Items(2)->grBitColumn & DRM_SEGFLAG_DESCENDING, DRM_SEGFLAG_DESCENDING);
  EXPECT_EQ(idx.Items(0)->grBitIndex & DRM_IDXFLAG_UNIQUE, DRM_IDXFLAG_UNIQUE);
  std::string name;
  idx.GetIndexNameByNumber(1, name);
  EXPECT_EQ(name, "ByName");
  try {
    idx.GetIndexNameByNumber(2, name);
    ADD_FAILURE() << "no exception";
  } catch (const EListError& e) {
    EXPECT_THAT(e.Message(), ::testing::StartsWith("Index with number 2 not found. "));
    EXPECT_THAT(e.Message(), HasSubstr("Component is Cat"));
  }
  // Names differing only in case count once.
  idx.Items(2)->IndexName = "BYNAME";
  idx.Add()->IndexName = "byid";
  EXPECT_EQ(idx.IndexCount(), 2);
  RareCloseTable(S, t);
}

TEST_F(TDRMCatalogCollections, TablesProceduresAndEngineFailures) {
  CreateTable("B", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
  CreateTable("A", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
  TDRMTableCollection tables(owner.get());
  tables.SetTableNames(Ses(), D);
  ASSERT_TRUE(tables.Filled());
  ASSERT_EQ(tables.Count(), 2);
  for (int32_t i = 0; i < tables.Count(); ++i) EXPECT_EQ(tables.Items(i)->Flags, 0u);
  tables.SetStoredProcs(Ses(), D);
  EXPECT_TRUE(tables.Filled());
  EXPECT_EQ(tables.Count(), 0);

  // A failing catalog call raises the engine error and leaves it unfilled.
  TDRMColumnInfoCollection cols(owner.get());
  try {
    cols.SetColumnInfo(Ses(), 99999);
    ADD_FAILURE() << "no exception";
  } catch (const EPvDrmEngineError& e) {
    EXPECT_NE(e.ErrorCode(), 0);
    EXPECT_THAT(e.Message(), HasSubstr("Component is Cat"));
  }
  EXPECT_FALSE(cols.Filled());
  EXPECT_THROW(tables.SetTableNames(Ses(), 99999), EPvDrmEngineError);
  EXPECT_FALSE(tables.Filled());
}
