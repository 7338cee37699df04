// The run on tables of known content: both lists byte for byte against the
// lists written straight from the storage, for the agency codes and names
// that need care, and the failures it must report.
#include <sys/stat.h>
#include <unistd.h>

#include "app/company_export.h"
#include "app/company_text.h"
#include "company_fixture.h"
#include "platform/rtl/exceptions.h"
#include "tables/pv_table.h"

using namespace apptest;

namespace {

// Parents and subsidiaries in several agencies, inserted out of number
// order, with the names and numbers that need care.
const std::vector<TCompany> kCompanies = {
    {"100001", "  Acme, Inc.  ", false, "01", ""},
    {"100004", "Caf\xC3\xA9 Z\xC3\xBCrich, LLC", false, "01", "100001"},
    {"100002", "Acme  North", false, "01", "100001"},
    {"100003", "Acme\r\nSouth\tBranch", true, "01", "100001"},
    {"100009", "Acme Elsewhere", false, "02", "100001"},  // another agency's record naming the parent
    {"100005", "Lonely Parent", true, "01", ""},
    {"10'6", "O'Neill Holdings", false, "01", ""},
    {"10'7", "O'Neill, Branch", true, "01", "10'6"},
    {"200001", "One Space", false, " 1", ""},
    {"200002", "One Space Branch", false, " 1", "200001"},
    {"300001", "No Agency", false, "", ""},
    {"300002", "No Agency Branch", false, "", "300001"},
    {"400001", "Second Agency", false, "02", ""},
};

class CompanyExport : public CompanyExportTest {
 protected:
  void SetUp() override {
    CompanyExportTest::SetUp();
    CreateCompanies(kCompanies);
  }

  void ExpectListsFor(const std::string& Typed, const std::string& Stored) {
    SCOPED_TRACE("agency '" + Typed + "'");
    auto form = Form(Typed);
    form->Run();
    const auto [names, coded] = Expected(Stored);
    EXPECT_EQ(ReadFile(NameList()), names);
    EXPECT_EQ(ReadFile(CodedList()), coded);
  }
};

TEST_F(CompanyExport, WritesTheListsOfEachAgencyCodeAsStored) {
  ExpectListsFor("01", "01");
  ExpectListsFor("1", " 1");
  ExpectListsFor(" 1 ", " 1");
  ExpectListsFor("", "");
  ExpectListsFor("02", "02");
  ExpectListsFor("09", "09");
}

TEST_F(CompanyExport, WritesTheLinesExactlyForTheTrickyNames) {
  auto form = Form("01");
  form->Run();
  // Index order: the quote sorts before the digits.
  EXPECT_EQ(ReadFile(NameList()),
            "O'Neill Holdings,\r\n"
            ",O'Neill  Branch\r\n"
            "Acme  Inc.,\r\n"
            ",Acme  North\r\n"
            ",Acme  South Branch\r\n"
            ",Caf\xC3\xA9 Z\xC3\xBCrich  LLC\r\n"
            "Lonely Parent,\r\n");
  EXPECT_EQ(ReadFile(CodedList()),
            "Code,Name, SubCode, SubName, Status\r\n"
            "10'6,O'Neill Holdings,, ,Active,\r\n"
            "10'6,O'Neill Holdings,10'7,O'Neill  Branch,Inactive,\r\n"
            "100001,Acme  Inc.,, ,Active,\r\n"
            "100001,Acme  Inc.,100002,Acme  North,Active,\r\n"
            "100001,Acme  Inc.,100003,Acme  South Branch,Inactive,\r\n"
            "100001,Acme  Inc.,100004,Caf\xC3\xA9 Z\xC3\xBCrich  LLC,Active,\r\n"
            "100005,Lonely Parent,, ,Inactive,\r\n");
  const quillbox::TExportCounts& counts = form->LastCounts();
  EXPECT_EQ(counts.Parents, 3);
  EXPECT_EQ(counts.Subsidiaries, 4);
  EXPECT_EQ(counts.NameListLines, 7);
  EXPECT_EQ(counts.CodedListLines, 8);
}

TEST_F(CompanyExport, AnAgencyWithoutParentsLeavesAnEmptyNameListAndTheHeader) {
  Form("09")->Run();
  EXPECT_EQ(ReadFile(NameList()), "");
  EXPECT_EQ(ReadFile(CodedList()), "Code,Name, SubCode, SubName, Status\r\n");
}

TEST_F(CompanyExport, ShowsTheStatusTextsInOrderAndClosesTheParentTableAndTheWindow) {
  auto form = Form("01");
  std::vector<std::string> statuses;
  int closed = 0;
  form->OnStatus = [&](const std::string& s) { statuses.push_back(s); };
  form->OnClose = [&] { ++closed; };
  form->Go();
  EXPECT_EQ(statuses, (std::vector<std::string>{"Opening Tables", "Applying Main Filter", "Applying SubFilter (10'6)",
                                                "Applying SubFilter (100001)", "Applying SubFilter (100005)"}));
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(form->tblCmp()->Active());
  EXPECT_TRUE(form->tblSub()->Active());
  EXPECT_EQ(form->tblCmp()->IndexName(), "index_1");
}

TEST_F(CompanyExport, AQuitDuringTheRunStopsItAtTheNextParentAndThenClosesTheWindow) {
  auto form = Form("01");
  int closed = 0;
  int runs = 0;
  form->OnStatus = [&](const std::string& s) {
    if (s == "Opening Tables") ++runs;
    form->Go();  // ignored: one run at a time
    if (s == "Applying SubFilter (100001)") form->Quit();
  };
  form->OnClose = [&] { ++closed; };
  const int32_t failures = dac::Application()->HandledExceptionCount();
  form->Go();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(form->Running());
  EXPECT_EQ(dac::Application()->HandledExceptionCount(), failures);  // a stop is no failure
  // The coded list holds what was written: the first parent's lines and the
  // second parent's line, without its subsidiaries or the parents after it.
  EXPECT_EQ(ReadFile(CodedList()),
            "Code,Name, SubCode, SubName, Status\r\n"
            "10'6,O'Neill Holdings,, ,Active,\r\n"
            "10'6,O'Neill Holdings,10'7,O'Neill  Branch,Inactive,\r\n"
            "100001,Acme  Inc.,, ,Active,\r\n");
}

TEST_F(CompanyExport, ApplyingAFilterLeavesTheTableOnItsFirstVisibleRecordEveryWay) {
  auto table = dac::CreateUnowned<dac::TPvTable>();
  table->SetDatabaseName(db);
  table->SetTableName("Company");
  table->Open();
  auto visible = [&] {
    std::vector<std::string> numbers;
    for (; !table->Eof(); table->Next()) numbers.push_back(table->FieldByName("Number")->AsString());
    return numbers;
  };
  const std::vector<std::string> acme = {"100002", "100003", "100004"};
  quillbox::ApplyCompanyFilter(table.get(), quillbox::SubsidiaryFilter("01", "100001"));  // filtering switched on
  EXPECT_EQ(visible(), acme);
  quillbox::ApplyCompanyFilter(table.get(), quillbox::SubsidiaryFilter("01", "10'6"));  // a new text
  EXPECT_EQ(visible(), std::vector<std::string>{"10'7"});
  quillbox::ApplyCompanyFilter(table.get(), quillbox::SubsidiaryFilter("01", "10'6"));  // the same text again
  EXPECT_EQ(visible(), std::vector<std::string>{"10'7"});
  quillbox::ApplyCompanyFilter(table.get(), quillbox::SubsidiaryFilter("01", "100005"));
  EXPECT_TRUE(table->Eof());
}

// ---- failures ---------------------------------------------------------------------

class CompanyExportFailures : public CompanyExportTest {
 protected:
  // Runs and answers the failure's text ("" when the run succeeded).
  std::string FailureOf(quillbox::TForm1& Form) {
    try {
      Form.Run();
    } catch (const dac::Exception& e) {
      return e.Message();
    }
    return "";
  }
};

TEST_F(CompanyExportFailures, AMissingLocationFailsAfterTheHeaderAndMakesNoFolder) {
  auto form = Form("01");
  form->DSN = root + "/nowhere/db";
  int closed = 0;
  form->OnClose = [&] { ++closed; };
  const std::string why = FailureOf(*form);
  EXPECT_NE(why.find("nowhere"), std::string::npos) << why;
  EXPECT_FALSE(std::filesystem::exists(root + "/nowhere"));
  EXPECT_EQ(ReadFile(CodedList()), "Code,Name, SubCode, SubName, Status\r\n");
  EXPECT_EQ(closed, 0);
  EXPECT_FALSE(form->Running());
}

TEST_F(CompanyExportFailures, ATableWithoutTheCompanyColumnsIsNamedAsSuch) {
  drmcli::Session s;
  drmcli::Database d(s, db);
  drmcli::TableSchema other;
  other.Table = "Company";
  other.Columns = {drmcli::MakeColumn("Number", "string", 10), drmcli::MakeColumn("Title", "string", 20)};
  drmcli::CreateTable(d, other, false);
  const std::string why = FailureOf(*Form("01"));
  EXPECT_NE(why.find("is not a company table"), std::string::npos) << why;
  EXPECT_NE(why.find("Name, InactiveAcct, AgyCode, fHasParentCmp, MyParentCmp"), std::string::npos) << why;
}

TEST_F(CompanyExportFailures, AMissingOrUnwritableOutputFolderFailsBeforeAnythingIsWritten) {
  CreateCompanies(kCompanies);
  std::ofstream(root + "/plain-file") << "x";
  std::vector<std::string> paths = {root + "/missing/companies.csv", root + "/plain-file/companies.csv"};
  if (::geteuid() != 0) {  // root writes into a read-only folder anyway
    std::filesystem::create_directories(root + "/readonly");
    ::chmod((root + "/readonly").c_str(), 0500);
    paths.push_back(root + "/readonly/companies.csv");
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    auto form = Form("01");
    form->Path = path;
    const std::string why = FailureOf(*form);
    EXPECT_NE(why.find("Cannot create file \"" + path + "\""), std::string::npos) << why;
    EXPECT_FALSE(std::filesystem::exists(CodedList()));
    EXPECT_FALSE(std::filesystem::exists(root + "/missing"));
  }
}

TEST_F(CompanyExportFailures, AFailureGoesToTheErrorDisplayAndLeavesTheWindowOpen) {
  auto form = Form("01");
  form->DSN = root + "/nowhere";
  int closed = 0;
  form->OnClose = [&] { ++closed; };
  const int32_t before = dac::Application()->HandledExceptionCount();
  form->Go();
  EXPECT_EQ(dac::Application()->HandledExceptionCount(), before + 1);
  EXPECT_NE(dac::Application()->LastExceptionMessage().find("nowhere"), std::string::npos);
  EXPECT_EQ(closed, 0);
}

TEST_F(CompanyExportFailures, AnOutputPathIsMappedLikeADatabaseLocation) {
  setenv("DAC_ENGINE_DRIVE_Q", out.c_str(), 1);
  EXPECT_EQ(quillbox::LocalOutputPath("Q:\\lists\\companies.csv"), out + "/lists/companies.csv");
  setenv("DAC_ENGINE_DEFAULT_DRIVE", "Q", 1);
  EXPECT_EQ(quillbox::LocalOutputPath("\\lists\\companies.csv"), out + "/lists/companies.csv");
  EXPECT_EQ(quillbox::LocalOutputPath("/tmp/x.csv"), "/tmp/x.csv");
  unsetenv("DAC_ENGINE_DEFAULT_DRIVE");
  unsetenv("DAC_ENGINE_DRIVE_Q");
  EXPECT_THROW(quillbox::LocalOutputPath("\\\\faraway\\share\\x.csv"), dac::EInOutError);
}

// The sample table as drmcli makes it, in every agency.
TEST_F(CompanyExportTest, TheSampleTableGivesTheListsTheStorageHolds) {
  std::ostringstream report;
  drmcli::CmdSampleCompany(db, 3000, 7, report);
  for (const char* code : {"01", "04", "07"}) {
    SCOPED_TRACE(code);
    auto form = Form(code);
    form->Run();
    const auto [names, coded] = Expected(code);
    EXPECT_GT(form->LastCounts().Parents, 10);
    EXPECT_EQ(ReadFile(NameList()), names);
    EXPECT_EQ(ReadFile(CodedList()), coded);
  }
}

}  // namespace
