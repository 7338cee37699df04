// Opening tables: open modes, owner names, the password retry, index
// selection and index definitions, the database the table holds, and the
// branches that later layers take over.

#include <gtest/gtest.h>

#include <string>

#include "errors/pv_errors.h"
#include "platform/rtl/strings.h"
#include "sessions/database.h"
#include "sessions/session.h"
#include "sessions/session_list.h"
#include "support/message_of.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;
using tabletest::Z;

using testsupport::MessageOf;

class TPvTableOpen : public tabletest::TableTest {
 protected:
  // Name (text) and Code (int) with indexes ByCode (unique) and ByName.
  void CreateIndexed() {
    auto ids = Create("People", {
                                    {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                                    {"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                });
    Insert("People", ids, {Row{Z("carol"), B(int32_t{3})}, Row{Z("alice"), B(int32_t{1})},
                           Row{Z("bob"), B(int32_t{2})}});
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, "People", 0, 0, &t), 0);
    const char byCode[] = "+N\0";
    const char byName[] = "-Name\0+N\0";
    ASSERT_EQ(RareCreateIndex(RS, t, "ByCode", DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE, byCode,
                              sizeof byCode, 0),
              0);
    ASSERT_EQ(RareCreateIndex(RS, t, "ByName", 0, byName, sizeof byName, 0), 0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
  }
};

TEST_F(TPvTableOpen, MissingOrUnknownTableName) {
  auto t = Table("");
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { t->Open(); }).find("Missing TableName property"), 0u);
  EXPECT_FALSE(t->Active());
  t->SetTableName("Nowhere");
  std::string m = MessageOf<EPvDrmEngineError>([&] { t->Open(); });
  EXPECT_NE(m.find("Nowhere"), std::string::npos) << m;  // the table's description is appended
  EXPECT_FALSE(t->Active());
  EXPECT_EQ(t->Handle(), 0u);
}

TEST_F(TPvTableOpen, TheOpenTableHoldsItsDatabase) {
  NumberTable("Nums", {1, 2});
  auto t = Table("Nums");
  EXPECT_EQ(DefaultPvSession()->DoFindDatabase(dir, nullptr), nullptr);
  t->Open();
  TPvAbsDatabase* db = DefaultPvSession()->DoFindDatabase(dir, nullptr);
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(db->Temporary());
  EXPECT_EQ(db->RefCount(), 1);
  EXPECT_TRUE(t->DBFlag(dbfCursorOpen));
  EXPECT_EQ(t->Database(), db);
  EXPECT_NE(t->DBHandle(), 0u);
  // A second flag does not acquire the database again.
  EXPECT_FALSE(t->SetDBFlag(dbfTableMaintenance, true));
  EXPECT_EQ(db->RefCount(), 1);
  EXPECT_TRUE(t->SetDBFlag(dbfTableMaintenance, false));
  EXPECT_FALSE(t->SetDBFlag(16, true));  // out of range: never set
  EXPECT_FALSE(t->DBFlag(16));
  // Renaming the database of an open table is refused.
  EXPECT_THROW(t->SetDatabaseName(dir + "x"), EDatabaseError);
  t->SetDatabaseName(dir);  // unchanged: nothing happens
  t->Close();
  EXPECT_FALSE(t->DBFlag(dbfCursorOpen));
  EXPECT_EQ(db->RefCount(), 0);
  // A flag on a closed table acquires the database, and clearing it
  // releases it again.
  EXPECT_FALSE(t->SetDBFlag(dbfTableMaintenance, true));
  EXPECT_EQ(db->RefCount(), 1);
  t->SetDBFlag(dbfTableMaintenance, false);
  EXPECT_EQ(db->RefCount(), 0);
}

TEST_F(TPvTableOpen, ReadOnlyAndExclusiveOpenModes) {
  NumberTable("Nums", {1});
  auto ro = Table("Nums");
  ro->SetReadOnly(true);
  ro->Open();
  EXPECT_FALSE(ro->CanModify());  // a read-only handle has no updatable columns
  EXPECT_THROW(ro->SetReadOnly(false), EDatabaseError);
  ro->Close();

  auto ex = Table("Nums");
  ex->SetExclusive(true);
  ex->Open();
  EXPECT_TRUE(ex->CanModify());
  auto other = Table("Nums");
  other->SetName("T2");
  EXPECT_THROW(other->Open(), EPvDrmEngineError);
  EXPECT_FALSE(other->Active());
  ex->Close();
  other->Open();
  EXPECT_TRUE(other->Active());
}

TEST_F(TPvTableOpen, ReadOnlyDatabaseMakesTheTableReadOnly) {
  NumberTable("Nums", {1});
  auto db = CreateUnowned<TPvDatabase>();
  db->SetDatabaseName(dir);
  db->SetReadOnly(true);
  db->Open();
  auto t = CreateUnowned<TPvTable>();
  t->SetDatabaseName(dir);
  t->SetTableName("Nums");
  EXPECT_FALSE(t->ReadOnly());
  t->Open();
  EXPECT_TRUE(t->ReadOnly());
  EXPECT_FALSE(t->CanModify());
  t->Close();
}

TEST_F(TPvTableOpen, OwnerNameIsCheckedAfterOpen) {
  NumberTable("Secret", {7});
  uint32_t h = 0;
  ASSERT_EQ(RareOpenTable(RS, RD, "Secret", 0, 0, &h), 0);
  ASSERT_EQ(RareSetOwnerOnTable(h, "owner1", 0), 0);
  ASSERT_EQ(RareCloseTable(RS, h), 0);

  auto t = Table("Secret");
  t->SetTableOwner("wrong");
  std::string m = MessageOf<EPvDrmEngineError>([&] { t->Open(); });
  EXPECT_NE(m.find("Secret"), std::string::npos) << m;
  EXPECT_FALSE(t->Active());
  EXPECT_EQ(t->Handle(), 0u);
  // The refused handle was closed: the raw session may open the table
  // exclusively.
  ASSERT_EQ(RareOpenTable(RS, RD, "Secret", 0, DRM_TBLOPEN_EXCLUSIVE, &h), 0);
  ASSERT_EQ(RareCloseTable(RS, h), 0);

  t->SetTableOwner("owner1");
  t->Open();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 7);
}

TEST_F(TPvTableOpen, SecurityStatusAsksForAPasswordAndRetries) {
  NumberTable("Nums", {1});
  auto t = Table("Nums");
  int asked = 0;
  bool supply = true;
  DefaultPvSession()->OnPassword = [&](TObject*, bool& cont) {
    ++asked;
    cont = supply;
  };
  EXPECT_TRUE(t->CheckOpen(0));
  EXPECT_FALSE(t->CheckOpen(DRM_ERR_INVALID_PASSWORD));  // supplied: open again
  EXPECT_FALSE(t->CheckOpen(DRM_ERR_ACCESS_DENIED));
  EXPECT_EQ(asked, 2);
  supply = false;
  EXPECT_THROW(t->CheckOpen(DRM_ERR_INVALID_PASSWORD), EPvDrmEngineError);  // cancelled
  EXPECT_EQ(asked, 3);
  EXPECT_THROW(t->CheckOpen(DRM_ERR_NO_SUCH_TABLE), EPvDrmEngineError);  // not a security status
  EXPECT_EQ(asked, 3);
  DefaultPvSession()->OnPassword = nullptr;
}

TEST_F(TPvTableOpen, IndexDefinitionsFromTheCatalog) {
  CreateIndexed();
  auto t = Table("People");
  TStringList names;
  t->GetIndexNames(&names);  // inactive: through a temporary handle
  EXPECT_FALSE(t->Active());
  ASSERT_EQ(names.Count(), 2);
  EXPECT_EQ(names.Strings(0), "ByCode");
  EXPECT_EQ(names.Strings(1), "ByName");
  TIndexDef* byName = t->IndexDefs()->Find("ByName");
  EXPECT_EQ(byName->Fields(), "Name;N");
  EXPECT_TRUE(byName->Options().Contains(ixDescending));  // one descending segment marks it
  EXPECT_TRUE(byName->Options().Contains(ixCaseInsensitive));
  EXPECT_FALSE(byName->Options().Contains(ixUnique));
  TIndexDef* byCode = t->IndexDefs()->Find("ByCode");
  EXPECT_TRUE(byCode->Options().Contains(ixUnique));
  EXPECT_FALSE(byCode->Options().Contains(ixCaseInsensitive));
  EXPECT_EQ(t->IndexDefs()->FindIndexForFields("Name")->Name(), "ByName");  // leading field
  // The raw session can open the table exclusively: the temporary handle
  // was closed.
  uint32_t h = 0;
  ASSERT_EQ(RareOpenTable(RS, RD, "People", 0, DRM_TBLOPEN_EXCLUSIVE, &h), 0);
  ASSERT_EQ(RareCloseTable(RS, h), 0);
}

TEST_F(TPvTableOpen, OpeningActivatesTheChosenIndex) {
  CreateIndexed();
  {
    auto t = Table("People");  // DefaultIndex: the first index, ByCode
    t->Open();
    EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(t->IndexFieldCount(), 1);
    EXPECT_TRUE(t->FieldByName("N")->ProviderFlags().Contains(pfInKey));
  }
  {
    auto t = Table("People");
    t->SetIndexName("byname");  // names are found without regard to case
    t->Open();
    EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_EQ(t->IndexFieldCount(), 2);
    EXPECT_FALSE(t->FieldByName("N")->ProviderFlags().Contains(pfInKey));
  }
  {
    auto t = Table("People");
    t->SetIndexFieldNames("N");
    t->Open();
    EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1, 2, 3}));
  }
  {
    auto t = Table("People");
    t->SetDefaultIndex(false);  // physical order
    t->Open();
    EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{3, 1, 2}));
    EXPECT_EQ(t->IndexFieldCount(), 0);
  }
  {
    auto t = Table("People");
    t->SetIndexName("Missing");
    EXPECT_NE(MessageOf<EDatabaseError>([&] { t->Open(); }).find("Index 'Missing' not found"), std::string::npos);
    EXPECT_FALSE(t->Active());
    t->SetIndexFieldNames("Nope");
    EXPECT_NE(MessageOf<EDatabaseError>([&] { t->Open(); }).find("No index for fields 'Nope'"), std::string::npos);
  }
}

TEST_F(TPvTableOpen, ChangingTheIndexOfAnOpenTable) {
  CreateIndexed();
  auto t = Table("People");
  t->SetIndexName("ByName");
  t->Open();
  t->Next();  // bob (2)
  ASSERT_EQ(t->FieldByName("N")->AsInteger(), 2);
  t->SetIndexName("ByCode");
  // The current record stays current; the order is the new index's.
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 2);
  EXPECT_EQ(t->IndexFieldNames(), "N");
  EXPECT_EQ(t->IndexFieldCount(), 1);
  EXPECT_TRUE(t->FieldByName("N")->ProviderFlags().Contains(pfInKey));
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1, 2, 3}));
  // By fields: the index over them is found and named.
  t->SetIndexFieldNames("Name;N");
  EXPECT_EQ(t->IndexName(), "ByName");
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{3, 2, 1}));
  // An unknown index fails and leaves the choice and the order as they were.
  EXPECT_NE(MessageOf<EDatabaseError>([&] { t->SetIndexName("Missing"); }).find("Index 'Missing' not found"),
            std::string::npos);
  EXPECT_EQ(t->IndexName(), "ByName");
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{3, 2, 1}));
  // Back to the default (first) index: the name stays empty.
  t->SetIndexName("");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(TPvTableOpen, InvalidPrecisionFailsTheOpen) {
  Create("Dec", {{"D", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 10, 10, 2}});
  auto t = Table("Dec");
  t->Open();
  EXPECT_EQ(t->FieldDefs()->Find("D")->Precision(), 10);
  t->Close();
  // The engine refuses a decimal of precision 0, so the check is shown on
  // a catalog whose precision was cleared after reading.
  t->GetColumnCatalog()->Items(0)->Precision = 0;
  std::string m = MessageOf<EPvDatabaseError>([&] { t->FieldDefs()->Update(); });
  EXPECT_NE(m.find("Invalid precision"), std::string::npos) << m;
}

TEST_F(TPvTableOpen, LaterLayersAreNotSilentlyMissing) {
  NumberTable("Nums", {1, 2});
  auto t = Table("Nums");
  EXPECT_THROW(t->SetCachedUpdates(true), EPvDatabaseError);
  t->Open();
  t->Edit();  // editing has arrived
  EXPECT_EQ(t->State(), dsEdit);
  t->Cancel();
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { t->FieldByName("N")->OldValue(); }).find("Not in cached update mode"),
            0u);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 1);
}

}  // namespace
