#include "errors/error_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>

#include "fakes.h"
#include "platform/desktop/application.h"

namespace dac::test {
namespace {

TEST(ErrorSeparator, OnlyForTextsOfTwoOrMoreNotEndingInAFullStop) {
  EXPECT_EQ(ErrorSeparator(""), "");
  EXPECT_EQ(ErrorSeparator("a"), "");
  EXPECT_EQ(ErrorSeparator("."), "");
  EXPECT_EQ(ErrorSeparator("ab"), ". ");
  EXPECT_EQ(ErrorSeparator("ab "), ". ");
  EXPECT_EQ(ErrorSeparator("a."), "");
  EXPECT_EQ(ErrorSeparator(". "), "");
  EXPECT_EQ(ErrorSeparator("Record locked."), "");
  EXPECT_EQ(ErrorSeparator("Record locked. "), "");
  // Characters count, not bytes: one non-ASCII letter is one character.
  EXPECT_EQ(ErrorSeparator("\xC3\xA9"), "");
  EXPECT_EQ(ErrorSeparator("\xE2\x82\xAC"), "");
  EXPECT_EQ(ErrorSeparator("\xC3\xA9t\xC3\xA9"), ". ");
}

TEST(DrmNativeError, MapsTheEngineRanges) {
  EXPECT_EQ(DrmNativeError(-4994), 5);
  EXPECT_EQ(DrmNativeError(-3899), 2000);
  EXPECT_EQ(DrmNativeError(-3799), 3000);
  EXPECT_EQ(DrmNativeError(-3100), 1899);
  EXPECT_EQ(DrmNativeError(-5100), -101);
  // Boundaries of the ranges and of the unchanged statuses.
  EXPECT_EQ(DrmNativeError(-3099), -3099);
  EXPECT_EQ(DrmNativeError(0), 0);
  EXPECT_EQ(DrmNativeError(1004), 1004);
  EXPECT_EQ(DrmNativeError(-3800), 2099);
  EXPECT_EQ(DrmNativeError(-3600), 3199);
  EXPECT_EQ(DrmNativeError(-3599), 7000);
  EXPECT_EQ(DrmNativeError(-3400), 8099);
  EXPECT_EQ(DrmNativeError(-3401), 8098);
  EXPECT_EQ(DrmNativeError(INT32_MIN), INT32_MIN + 4999);
}

TEST(StatusTables, HoldTheirEntriesExactly) {
  EXPECT_EQ(DrmStatusTable().size(), 93u);
  std::set<int32_t> codes;
  for (const TStatusText& e : DrmStatusTable()) codes.insert(e.Status);
  EXPECT_EQ(codes.size(), 93u);
  EXPECT_STREQ(DrmStatusText(-5202), "Record locked");
  EXPECT_STREQ(DrmStatusText(-1064), "Can't build key for this sort order");
  EXPECT_STREQ(DrmStatusText(-1513), "Cannot index Bit, LongText, LongBinary");
  EXPECT_STREQ(DrmStatusText(5211), "Options were ignored");
  EXPECT_STREQ(DrmStatusText(-5222), "Invalid Code Page value");
  EXPECT_STREQ(DrmStatusText(-4994), "");
  EXPECT_STREQ(DrmStatusText(0), "");

  EXPECT_EQ(DbNamesStatusTable().size(), 32u);
  EXPECT_STREQ(DbNamesStatusText(348), "Cannot locate the alias");
  EXPECT_STREQ(DbNamesStatusText(2301), DbNamesStatusText(348));
  EXPECT_STREQ(DbNamesStatusText(2314), "Cannot create DBNAMES.CFG file");
  EXPECT_STREQ(DbNamesStatusText(2316), DbNamesStatusText(2314));
  EXPECT_STREQ(DbNamesStatusText(2343), "General DB names API error");
  EXPECT_EQ(DbNamesStatusText(2310), nullptr);
  EXPECT_EQ(DbNamesStatusText(-5202), nullptr);

  EXPECT_EQ(DtiStatusTable().size(), 23u);
  EXPECT_STREQ(DtiStatusText(7003), "The buffer is too small");
  EXPECT_STREQ(DtiStatusText(7591),
               "Requested DTI call is not supported by P.SQL engine. Most probably, you are using old or "
               "incompatible version");
  EXPECT_EQ(DtiStatusText(7022), nullptr);
}

class DescribeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSavedRoot = ApplicationRoot();
    FForm = Make<TFakeForm>(nullptr, "Form1");
    FTable = Make<TFakeTable>(FForm, "Table1");
    FTable->FTableName = "Company";
  }
  void TearDown() override {
    SetApplicationRoot(FSavedRoot);
    FForm->Free();
  }
  TComponent* FSavedRoot = nullptr;
  TFakeForm* FForm = nullptr;
  TFakeTable* FTable = nullptr;
};

TEST_F(DescribeTest, ShortDescriptionNamesComponentAndNamedOwner) {
  EXPECT_EQ(DescribeComponent(FTable), "Component is Table1, owned by Form1");
  EXPECT_EQ(DescribeComponent(nullptr), "");
  auto* unnamed = Create<TFakeTable>(FForm);
  EXPECT_EQ(DescribeComponent(unnamed), "Cannot name the component");
  auto* anonymousOwner = Create<TFakeForm>(FForm);
  auto* child = Make<TFakeForm>(anonymousOwner, "Edit1");
  EXPECT_EQ(DescribeComponent(child), "Component is Edit1");
}

TEST_F(DescribeTest, FullDescriptionAddsTableAndSessionNames) {
  EXPECT_EQ(DescribeDrmComponent(FTable), "Table name is Company. Component is Table1, owned by Form1");
  EXPECT_EQ(DescribeDrmComponent(nullptr), "");
  FTable->FTableName.clear();
  EXPECT_EQ(DescribeDrmComponent(FTable), "Component is Table1, owned by Form1");
  auto* session = Create<TFakeSession>(nullptr);
  session->FSessionName = "PvDefault";
  EXPECT_EQ(DescribeDrmComponent(session), "Session name is PvDefault. Cannot name the component");
  session->Free();
}

TEST_F(DescribeTest, StatusWithContext) {
  EXPECT_EQ(DescribeDrmError(-5202, FTable), "Record locked. Table name is Company. Component is Table1, owned by Form1");
  // No status text: the context alone.
  EXPECT_EQ(DescribeDrmError(-4994, FTable), "Table name is Company. Component is Table1, owned by Form1");
  EXPECT_EQ(DescribeDrmError(-5202, nullptr), "Record locked");
  // A database that is not temporary describes itself.
  auto* db = Make<TFakeDatabase>(FForm, "Database1");
  db->FFirstDataSet = FTable;
  EXPECT_EQ(DescribeDrmError(-1203, db), "No such database. Component is Database1, owned by Form1");
}

TEST_F(DescribeTest, TemporaryDatabaseIsDescribedByTheDatasetUsingIt) {
  auto* db = Create<TFakeDatabase>(nullptr);
  db->SetName("DB1");
  db->FTemporary = true;
  db->FFirstDataSet = FTable;
  EXPECT_EQ(DescribeDrmError(-5202, db), "Record locked. Table name is Company. Component is Table1, owned by Form1");

  // No attached dataset: the application's tree is searched last to first,
  // entering non-table components, comparing the database name exactly.
  db->FFirstDataSet = nullptr;
  auto* app = Make<TFakeForm>(nullptr, "Application");
  auto* form1 = Make<TFakeForm>(app, "FormA");
  Make<TFakeTable>(form1, "TableA")->FDatabaseName = "DB1";
  auto* form2 = Make<TFakeForm>(app, "FormB");
  auto* panel = Make<TFakeForm>(form2, "Panel1");
  auto* tableB = Make<TFakeTable>(panel, "TableB");
  tableB->FDatabaseName = "DB1";
  tableB->FTableName = "Orders";
  Make<TFakeTable>(form2, "TableC")->FDatabaseName = "db1";
  SetApplicationRoot(app);
  EXPECT_EQ(DescribeDrmError(-5202, db), "Record locked. Table name is Orders. Component is TableB, owned by Panel1");

  // No match: a named database describes itself ...
  db->SetName("DB9");
  EXPECT_EQ(DescribeDrmError(-5202, db), "Record locked. Component is DB9");
  // ... an unnamed one cannot be named.
  db->SetName("");
  EXPECT_EQ(DescribeDrmError(-5202, db), "Record locked. Cannot name the component");
  SetApplicationRoot(nullptr);
  EXPECT_EQ(DescribeDrmError(-4994, db), "Cannot name the component");
  app->Free();
  db->Free();
}

TEST_F(DescribeTest, TheApplicationIsTheRootOfTheSearch) {
  // No one calls SetApplicationRoot: the application object is the root.
  ASSERT_EQ(ApplicationRoot(), Application());
  auto* form = Make<TFakeForm>(Application(), "MainForm");
  auto* table = Make<TFakeTable>(form, "Orders1");
  table->FDatabaseName = "DBX";
  table->FTableName = "Orders";
  auto* db = Create<TFakeDatabase>(nullptr);
  db->SetName("DBX");
  db->FTemporary = true;
  EXPECT_EQ(DescribeDrmError(-5202, db), "Record locked. Table name is Orders. Component is Orders1, owned by MainForm");
  db->Free();
  form->Free();
}

uint32_t GAskedSession = 0;
int32_t GAskedStatus = 0;
const char* GText = "";

int32_t FakeSource(uint32_t hSession, int32_t status, char* buffer, uint32_t bufferSize, uint32_t* length) {
  GAskedSession = hSession;
  GAskedStatus = status;
  std::strncpy(buffer, GText, bufferSize);
  *length = static_cast<uint32_t>(std::strlen(GText));
  return 0;
}

int32_t UnterminatedSource(uint32_t, int32_t, char* buffer, uint32_t bufferSize, uint32_t* length) {
  std::memset(buffer, 'x', bufferSize);
  *length = bufferSize;
  return 0;
}

TEST(ExtendedErrorText, ReadsTheEngineTextTrimmed) {
  SetExtendedErrorTextSource(&FakeSource);
  GText = " \t Disk full.\r\n ";
  EXPECT_EQ(ExtendedErrorText(12, -1022), "Disk full.");
  EXPECT_EQ(GAskedSession, 12u);
  EXPECT_EQ(GAskedStatus, -1022);
  // Without a terminating NUL the text stops at the buffer's end.
  SetExtendedErrorTextSource(&UnterminatedSource);
  EXPECT_EQ(ExtendedErrorText(1, -1), std::string(5120, 'x'));
  // The default source: the engine when linked, otherwise the empty text.
  SetExtendedErrorTextSource(nullptr);
  EXPECT_NO_THROW(ExtendedErrorText(0xFFFFFFFFu, -5202));
}

}  // namespace
}  // namespace dac::test
