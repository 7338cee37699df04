#include "errors/pv_errors.h"

#include <gtest/gtest.h>

#include "errors/messages.h"
#include "fakes.h"

namespace dac::test {
namespace {

class PvErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm = Make<TFakeForm>(nullptr, "Form1");
    FTable = Make<TFakeTable>(FForm, "Table1");
    FTable->FTableName = "Company";
  }
  void TearDown() override { FForm->Free(); }
  TFakeForm* FForm = nullptr;
  TFakeTable* FTable = nullptr;
};

TEST_F(PvErrorsTest, DatabaseErrorAppendsTheOwnerDescription) {
  auto* db = Make<TFakeDatabase>(FForm, "Database1");
  EPvDatabaseError e(db, SDatabaseClosed);
  EXPECT_EQ(e.Message(), "Cannot perform this operation on a closed database. Component is Database1, owned by Form1");
  EXPECT_EQ(e.Owner(), db);
  EXPECT_STREQ(e.what(), e.Message().c_str());
  EXPECT_EQ(EPvDatabaseError(nullptr, "Plain").Message(), "Plain");
}

TEST_F(PvErrorsTest, DrmEngineErrorWithEmptyExtendedText) {
  TExtTextScope ext("");
  EPvDrmEngineError e(FTable, -5202, 0, 0);
  EXPECT_EQ(e.Message(), "P.SQL error -5202. Record locked. Table name is Company. Component is Table1, owned by Form1");
  // Session 0 asks the engine about "no session".
  EXPECT_EQ(GExtSession, 0xFFFFFFFFu);
  EXPECT_EQ(GExtStatus, -5202);
  EXPECT_EQ(e.ErrorCode(), -5202);
  ASSERT_EQ(e.ErrorCount(), 1);
  auto* entry = dynamic_cast<TPvDrmError*>(e.Errors(0));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->ErrorCode(), -5202);
  EXPECT_EQ(entry->NativeError(), -203);
  EXPECT_EQ(entry->Message(), "");
  EXPECT_THROW(e.Errors(1), EListError);
  EXPECT_THROW(e.Errors(-1), EListError);
}

TEST_F(PvErrorsTest, DrmEngineErrorUsesTheTrimmedExtendedText) {
  TExtTextScope ext("Storage failure... \r\n.\n");
  EPvDrmEngineError e(FTable, -1022, 17, 0);
  EXPECT_EQ(GExtSession, 17u);
  EXPECT_EQ(e.Message(), "Storage failure. Disk IO error. Table name is Company. Component is Table1, owned by Form1");
  // The entry keeps the engine's text as read (trimmed of blanks only).
  EXPECT_EQ(e.Errors(0)->Message(), "Storage failure... \r\n.");
  // A status without a text of its own: the context follows directly.
  EPvDrmEngineError unknown(FTable, -4994, 17, 0);
  EXPECT_EQ(unknown.Message(), "Storage failure. Table name is Company. Component is Table1, owned by Form1");
  EXPECT_EQ(unknown.Errors(0)->NativeError(), 5);
}

TEST_F(PvErrorsTest, DrmEngineErrorWithoutComponent) {
  TExtTextScope ext("");
  EXPECT_EQ(EPvDrmEngineError(nullptr, -5202, 0, 0).Message(), "P.SQL error -5202. Record locked");
  EXPECT_EQ(EPvDrmEngineError(nullptr, -4994, 0, 0).Message(), "P.SQL error -4994");
}

TEST_F(PvErrorsTest, EngineErrorsCopyTheirEntries) {
  TExtTextScope ext("Detail");
  std::unique_ptr<Exception> clone;
  {
    EPvDrmEngineError original(FTable, -5202, 3, 0);
    EPvDrmEngineError copy(original);
    EXPECT_NE(copy.Errors(0), original.Errors(0));
    clone = original.Clone();
  }
  auto* drm = dynamic_cast<EPvDrmEngineError*>(clone.get());
  ASSERT_NE(drm, nullptr);
  ASSERT_EQ(drm->ErrorCount(), 1);
  EXPECT_EQ(drm->Errors(0)->Message(), "Detail");
  EXPECT_EQ(dynamic_cast<TPvDrmError*>(drm->Errors(0))->ErrorCode(), -5202);
  try {
    clone->Raise();
    FAIL() << "Raise returned";
  } catch (const EPvDBEngineError& e) {
    EXPECT_NE(dynamic_cast<const EPvDrmEngineError*>(&e), nullptr);
    EXPECT_EQ(e.ErrorCount(), 1);
    EXPECT_EQ(e.Message(), drm->Message());
  }
  EPvDbAdminEngineError assigned(nullptr, dbmeDTI, 1, "one");
  assigned = EPvDbAdminEngineError(nullptr, dbmeLocal, 2, "two");
  EXPECT_EQ(assigned.ErrorCount(), 1);
  EXPECT_EQ(assigned.Errors(0)->NativeError(), 2);
  EXPECT_EQ(assigned.ErrorType(), dbmeLocal);
}

TEST_F(PvErrorsTest, AdminEngineErrorMessageReplacesTheComponentText) {
  EPvDbAdminEngineError e(FTable, dbmeDTI, 9999, "");
  EXPECT_EQ(e.Message(), "DTI error 9999");
  EXPECT_EQ(e.ErrorType(), dbmeDTI);
  ASSERT_EQ(e.ErrorCount(), 1);
  EXPECT_EQ(e.Errors(0)->NativeError(), 9999);
  EXPECT_EQ(e.Errors(0)->Message(), "DTI error 9999");
  EXPECT_EQ(e.Owner(), FTable);
  EPvDbAdminEngineError named(FTable, dbmeLocal, 2307, "Cannot open DBNAMES.CFG file");
  EXPECT_EQ(named.Message(), "Cannot open DBNAMES.CFG file");
}

}  // namespace
}  // namespace dac::test
