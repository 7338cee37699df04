// The command line, the progress display and the headless run's exit
// statuses and reports.
#include "app/headless.h"

#include "company_fixture.h"

using namespace apptest;
using quillbox::ParseCommandLine;

TEST(CommandLine, TakesTheEditTextsAndRefusesWhatItCannotUse) {
  const auto options = ParseCommandLine({"--headless", "--dsn", "S:\\X", "--output", "o.csv", "--agency", "1"});
  EXPECT_TRUE(options.Headless);
  EXPECT_EQ(*options.DSN, "S:\\X");
  EXPECT_EQ(*options.Output, "o.csv");
  EXPECT_EQ(*options.Agency, "1");
  EXPECT_FALSE(ParseCommandLine({}).Headless);
  EXPECT_EQ(*ParseCommandLine({"--agency", "\xC3\xA9\xC3\xA9"}).Agency, "\xC3\xA9\xC3\xA9");  // two characters
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--agency", "123"}, {"--dsn"}, {"--dsn", "a", "--dsn", "b"}, {"--frobnicate"}, {"x"}})
    EXPECT_THROW(ParseCommandLine(bad), quillbox::TUsageError) << bad[0];
}

TEST(ProgressDisplay, ShowsPerParentTextsSparinglyInALogAndInPlaceOnATerminal) {
  auto now = std::chrono::steady_clock::time_point{};
  auto clock = [&] { return now; };
  std::ostringstream log;
  quillbox::TProgressDisplay display(log, false, clock);
  display.Show("Opening Tables");
  display.Show("Applying Main Filter");
  for (int i = 0; i < 1000; ++i) {
    display.Show("Applying SubFilter (" + std::to_string(i) + ")");
    now += std::chrono::milliseconds(25);  // 25 s in all
  }
  display.Finish();
  EXPECT_EQ(log.str(),
            "Opening Tables\nApplying Main Filter\n"
            "Applying SubFilter (0): 1 parents so far\n"
            "Applying SubFilter (400): 401 parents so far\n"
            "Applying SubFilter (800): 801 parents so far\n");

  std::ostringstream terminal;
  quillbox::TProgressDisplay inPlace(terminal, true, clock);
  inPlace.Show("Applying SubFilter (1)");
  inPlace.Show("Applying SubFilter (2)");
  now += std::chrono::milliseconds(150);
  inPlace.Show("Applying SubFilter (3)");
  inPlace.Finish();
  EXPECT_EQ(terminal.str(),
            "\rApplying SubFilter (1): 1 parents so far\x1b[K\rApplying SubFilter (3): 3 parents so far\x1b[K\n");
}

class Headless : public CompanyExportTest {
 protected:
  int Run(std::vector<std::string> Arguments) {
    Out.str("");
    Err.str("");
    return quillbox::RunHeadless(ParseCommandLine(Arguments), Out, Err, false);
  }
  std::ostringstream Out, Err;
};

TEST_F(Headless, WritesBothListsAndSaysWhereAndHowManyLines) {
  CreateCompanies({{"1", "A", false, "01", ""}, {"2", "B", false, "01", "1"}, {"3", "C", false, "02", ""}});
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(out);
  const int status = Run({"--headless", "--dsn", db, "--output", NameList()});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(status, quillbox::kExitDone) << Err.str();
  EXPECT_EQ(Out.str(), NameList() + ": 2 lines\n" + CodedList() + ": 3 lines\n");
  EXPECT_EQ(Err.str(), "Opening Tables\nApplying Main Filter\nApplying SubFilter (1): 1 parents so far\n"
                       "Done: 1 parents, 1 subsidiaries\n");
  EXPECT_EQ(ReadFile(CodedList()), "Code,Name, SubCode, SubName, Status\r\n1,A,, ,Active,\r\n1,A,2,B,Active,\r\n");
}

TEST_F(Headless, AFailureEndsWithItsMessageAndStatusOne) {
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(out);
  const int status = Run({"--headless", "--dsn", root + "/nowhere", "--output", NameList()});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(status, quillbox::kExitFailed);
  EXPECT_NE(Err.str().find("quillbox-companies: "), std::string::npos) << Err.str();
  EXPECT_NE(Err.str().find("nowhere"), std::string::npos) << Err.str();
  EXPECT_EQ(Out.str(), "");
}
