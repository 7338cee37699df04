#include <gtest/gtest.h>

#include <sstream>

#include "tools/drmcli/csv.h"

using namespace drmcli;

namespace {

std::vector<std::vector<CsvField>> ReadAll(const std::string& text) {
  std::istringstream in(text);
  CsvReader r(in);
  std::vector<std::vector<CsvField>> all;
  std::vector<CsvField> rec;
  while (r.Next(rec)) all.push_back(rec);
  return all;
}

}  // namespace

TEST(Csv, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CsvQuote("plain"), "plain");
  EXPECT_EQ(CsvQuote("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvQuote("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvQuote("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvQuote("cr\r"), "\"cr\r\"");
  EXPECT_EQ(CsvQuote(""), "");
  EXPECT_EQ(CsvQuote("", true), "\"\"");
  EXPECT_EQ(CsvRecord({{"a", false}, {"", true}, {"", false}}), "a,\"\",\r\n");
}

TEST(Csv, RoundTripKeepsEveryAwkwardText) {
  std::vector<std::vector<CsvField>> rows = {
      {{"Number", false}, {"Name", false}, {"Note", false}},
      {{"100001", false}, {"Smith, Jones & Co.", false}, {"he said \"no\"", false}},
      {{"100002", false}, {"", true}, {"", false}},
      {{"100003", false}, {"line1\r\nline2\nline3", false}, {" padded ", false}},
      {{"", false}, {",", false}, {"\"", false}},
  };
  std::string text;
  for (auto& r : rows) {
    for (auto& f : r) f.Quoted = f.Quoted || f.Text.find_first_of(",\"\r\n") != std::string::npos;
    text += CsvRecord(r);
  }
  auto back = ReadAll(text);
  ASSERT_EQ(back.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(back[i].size(), rows[i].size()) << "record " << i;
    for (size_t j = 0; j < rows[i].size(); ++j) {
      EXPECT_EQ(back[i][j].Text, rows[i][j].Text) << i << "," << j;
      EXPECT_EQ(back[i][j].Quoted, rows[i][j].Quoted) << i << "," << j;
    }
  }
}

TEST(Csv, ReaderAcceptsBareLineFeedsAndNoFinalNewline) {
  auto all = ReadAll("a,b\nc,d");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1][0].Text, "c");
  EXPECT_EQ(all[1][1].Text, "d");
  // A trailing empty field survives.
  all = ReadAll("a,\r\n");
  ASSERT_EQ(all.size(), 1u);
  ASSERT_EQ(all[0].size(), 2u);
  EXPECT_EQ(all[0][1].Text, "");
}

TEST(Csv, ReaderCountsLinesOfMultiLineRecords) {
  std::istringstream in("h\n\"x\ny\"\nz\n");
  CsvReader r(in);
  std::vector<CsvField> rec;
  ASSERT_TRUE(r.Next(rec));
  EXPECT_EQ(r.RecordLine(), 1u);
  ASSERT_TRUE(r.Next(rec));
  EXPECT_EQ(r.RecordLine(), 2u);
  ASSERT_TRUE(r.Next(rec));
  EXPECT_EQ(r.RecordLine(), 4u);
  EXPECT_EQ(rec[0].Text, "z");
}

TEST(Csv, MalformedQuotingIsReportedWithItsLine) {
  EXPECT_THROW(ReadAll("a\nab\"c\n"), CsvError);
  EXPECT_THROW(ReadAll("\"abc\"x,1\n"), CsvError);
  try {
    ReadAll("ok\nok\n\"never closed\n");
    FAIL() << "no error";
  } catch (const CsvError& e) {
    EXPECT_NE(std::string(e.what()).find("not closed"), std::string::npos) << e.what();
  }
}
