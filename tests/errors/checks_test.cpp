#include "errors/checks.h"

#include <gtest/gtest.h>

#include "errors/messages.h"
#include "fakes.h"

namespace dac::test {
namespace {

class ChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm = Make<TFakeForm>(nullptr, "Form1");
    FTable = Make<TFakeTable>(FForm, "Table1");
    FTable->FTableName = "Company";
    FDefault = Create<TFakeSession>(nullptr);  // the default session has no component name
    FDefault->FSessionName = "PvDefault";
    FDefault->FHandle = 42;
  }
  void TearDown() override {
    FDefault->Free();
    FForm->Free();
  }
  TFakeForm* FForm = nullptr;
  TFakeTable* FTable = nullptr;
  TFakeSession* FDefault = nullptr;
};

TEST_F(ChecksTest, CheckStatusRaisesEngineErrorsWithTheSessionHandle) {
  TExtTextScope ext("");
  EXPECT_NO_THROW(CheckStatus(FDefault, 0, FTable));
  try {
    CheckStatus(FDefault, -5202, FTable);
    FAIL();
  } catch (const EPvDrmEngineError& e) {
    EXPECT_EQ(GExtSession, 42u);
    EXPECT_EQ(e.Owner(), FTable);
    EXPECT_EQ(e.Message(),
              "P.SQL error -5202. Record locked. Table name is Company. Component is Table1, owned by Form1");
  }
  // Warnings raise too; a session without engine session asks for none.
  FDefault->FHandle = 0;
  EXPECT_THROW(CheckStatus(FDefault, 1004, FTable), EPvDrmEngineError);
  EXPECT_EQ(GExtSession, 0xFFFFFFFFu);
}

TEST_F(ChecksTest, CheckStatusRaisesNamedDatabaseStatusesAsAdminErrors) {
  try {
    CheckStatus(FDefault, 2307, FTable);
    FAIL();
  } catch (const EPvDrmEngineError&) {
    FAIL() << "named-database status raised as an engine error";
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.ErrorType(), dbmeLocal);
    EXPECT_EQ(e.Owner(), FDefault);
    EXPECT_EQ(e.Message(), "Cannot open DBNAMES.CFG file. Session name is PvDefault. Cannot name the component");
    EXPECT_EQ(e.Errors(0)->NativeError(), 2307);
  }
}

TEST_F(ChecksTest, CheckDbNamesStatus) {
  EXPECT_NO_THROW(CheckDbNamesStatus(FDefault, "MYDB", 0, true));
  try {
    CheckDbNamesStatus(FDefault, "MYDB", 2301, true);
    FAIL();
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.Message(), "Cannot locate the alias. Alias name: MYDB. Session name is PvDefault. Cannot name the component");
  }
  EXPECT_NO_THROW(CheckDbNamesStatus(FDefault, "MYDB", 77, false));
  try {
    CheckDbNamesStatus(FDefault, "", 77, true);
    FAIL();
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.Message(), "DB names API error 77. Session name is PvDefault. Cannot name the component");
  }
}

TEST_F(ChecksTest, CheckDtiStatus) {
  EXPECT_NO_THROW(CheckDtiStatus(FDefault, "", 0));
  try {
    CheckDtiStatus(FDefault, "", 7003);
    FAIL();
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.Message(), "The buffer is too small");
    EXPECT_EQ(e.ErrorType(), dbmeDTI);
    EXPECT_EQ(e.Owner(), FDefault);
  }
  try {
    CheckDtiStatus(FDefault, "Sales", 9999);
    FAIL();
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.Message(), "DTI error 9999. Alias name: Sales");
  }
}

TEST_F(ChecksTest, CheckDtiStatusExNamesServerDatabaseAndSession) {
  EXPECT_NO_THROW(CheckDtiStatusEx(FDefault, "", 0, "SRV", "DB"));
  try {
    CheckDtiStatusEx(FDefault, "", 9999, "SRV", "");
    FAIL();
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.Message(), "DTI error 9999. Server name is SRV. Session name is PvDefault");
  }
  auto* session = Make<TFakeSession>(FForm, "Session1");
  session->FSessionName = "Sess1";
  try {
    CheckDtiStatusEx(session, "A1", 7003, "SRV", "DB");
    FAIL();
  } catch (const EPvDbAdminEngineError& e) {
    EXPECT_EQ(e.Message(),
              "The buffer is too small. Alias name: A1. Server name is SRV. Database name is DB. Session name is "
              "Sess1. Component is Session1, owned by Form1");
    EXPECT_EQ(e.ErrorCount(), 1);
  }
}

TEST_F(ChecksTest, RaiseOperations) {
  auto* db = Make<TFakeDatabase>(FForm, "Database1");
  try {
    PvDatabaseError(nullptr, "Oops", FTable);
    FAIL();
  } catch (const EPvDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Table1: Oops");
  }
  try {
    PvDatabaseErrorFmt(db, "No index for fields '%s'", std::string("A;B"));
    FAIL();
  } catch (const EPvDatabaseError& e) {
    EXPECT_EQ(e.Message(), "No index for fields 'A;B'. Component is Database1, owned by Form1");
  }
  try {
    PvDatabaseErrorFmt(nullptr, "Field '%s' at %d not found", "X", 3, FTable);
    FAIL();
  } catch (const EPvDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Table1: Field 'X' at 3 not found");
  }
  try {
    PvDatabaseErrorFmt(nullptr, "Value %d", 5, nullptr);
    FAIL();
  } catch (const EPvDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Value 5");
  }
  try {
    NoResultSetError(FTable);
    FAIL();
  } catch (const ENoResultSet& e) {
    EXPECT_EQ(e.Message(), "Error creating cursor handle. Table name is Company. Component is Table1, owned by Form1");
  }
}

}  // namespace
}  // namespace dac::test
