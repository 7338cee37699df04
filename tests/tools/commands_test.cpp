// drmcli's commands against the real engine, in a scratch engine home.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/drm.h"
#include "tools/drmcli/commands.h"
#include "tools/drmcli/csv.h"
#include "tools/drmcli/engine.h"
#include "tools/drmcli/location.h"
#include "tools/drmcli/sample.h"

using namespace drmcli;
namespace fs = std::filesystem;

namespace {

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/drmcli_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    FRoot = tmpl;
    setenv("DAC_ENGINE_DATA_DIR", (FRoot + "/data").c_str(), 1);
    setenv("DAC_ENGINE_CONFIG_DIR", (FRoot + "/config").c_str(), 1);
    setenv("DAC_ENGINE_DRIVE_Q", (FRoot + "/q").c_str(), 1);
    FLocation = FRoot + "/db";
    std::ostringstream ignored;
    CmdCreateDb(FLocation, ignored);
  }
  void TearDown() override {
    unsetenv("DAC_ENGINE_DRIVE_Q");
    fs::remove_all(FRoot);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = FRoot + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string FRoot, FLocation;
};

const char* const kSchema = R"({
  "table": "Parts",
  "columns": [
    {"name": "Code", "type": "string", "size": 8, "required": true},
    {"name": "Title", "type": "zstring", "size": 40},
    {"name": "Price", "type": "decimal", "precision": 9, "scale": 2},
    {"name": "Since", "type": "date"},
    {"name": "Qty", "type": "int32"},
    {"name": "Stocked", "type": "bool"}
  ],
  "indexes": [
    {"name": "byCode", "fields": ["Code"], "unique": true},
    {"name": "byQty", "fields": ["-Qty", "Code"]}
  ]})";

}  // namespace

TEST_F(Commands, CsvImportThenExportGivesTheSameFile) {
  std::ostringstream out;
  CmdCreateTable(FLocation, Write("parts.json", kSchema), false, out);
  // Index order of byCode; NULL (empty unquoted) and empty text ("") differ.
  const std::string csv =
      "Code,Title,Price,Since,Qty,Stocked\r\n"
      "A1,\"Bolt, hex \"\"M8\"\"\",0.25,2024-02-29,1200,true\r\n"
      "B2,\"two\nlines\",-10.00,,0,false\r\n"
      "C3,\"\",,1999-12-31,,\r\n"
      "D4,,12345.67,0001-01-01,-2147483648,true\r\n";
  // A byte-order mark before the header is not part of the first name.
  CmdImportCsv(FLocation, "Parts", Write("in.csv", "\xEF\xBB\xBF" + csv), out);
  EXPECT_NE(out.str().find("Imported 4 records"), std::string::npos) << out.str();
  std::string exported = FRoot + "/out.csv";
  CmdExportCsv(FLocation, "Parts", exported, "byCode", out);
  EXPECT_EQ(Read(exported), csv);

  // Another index gives another order: Qty descending, NULL lowest.
  CmdExportCsv(FLocation, "Parts", exported, "byQty", out);
  std::istringstream in(Read(exported));
  CsvReader reader(in);
  std::vector<CsvField> rec;
  std::vector<std::string> codes;
  reader.Next(rec);
  while (reader.Next(rec)) codes.push_back(rec[0].Text);
  EXPECT_EQ(codes, (std::vector<std::string>{"A1", "B2", "D4", "C3"}));
}

TEST_F(Commands, LongAndBinaryValuesSurviveTheRoundTrip) {
  std::ostringstream out;
  CmdCreateTable(FLocation, Write("notes.json", R"({
    "table": "Notes",
    "columns": [
      {"name": "Id", "type": "autoinc"},
      {"name": "Body", "type": "memo"},
      {"name": "Raw", "type": "varbytes", "size": 8},
      {"name": "At", "type": "timestamp"},
      {"name": "Fee", "type": "currency"}
    ],
    "indexes": [{"name": "byId", "fields": ["Id"], "primary": true}]})"), false, out);
  std::string longText(100000, 'x');
  for (size_t i = 0; i < longText.size(); i += 97) longText[i] = ',';
  const std::string csv =
      "Id,Body,Raw,At,Fee\r\n"
      "1,\"" + longText + "\",00ff7f,2024-02-29 23:59:59.5,-12.3400\r\n"
      "2,short,,1970-01-01 00:00:00,0.0000\r\n";
  CmdImportCsv(FLocation, "Notes", Write("in.csv", csv), out);
  std::string exported = FRoot + "/out.csv";
  CmdExportCsv(FLocation, "Notes", exported, "", out);
  EXPECT_EQ(Read(exported), csv);
  // Rows without the auto-increment column get the next numbers.
  CmdImportCsv(FLocation, "Notes", Write("more.csv", "Body\nthird\nfourth\n"), out);
  std::ostringstream dump;
  CmdDump(FLocation, "Notes", "byId", 10, dump);
  EXPECT_NE(dump.str().find(" 4  fourth"), std::string::npos) << dump.str();
}

TEST_F(Commands, BadImportNamesTheLineAndKeepsNothing) {
  std::ostringstream out;
  CmdCreateTable(FLocation, Write("parts.json", kSchema), false, out);
  std::string file = Write("bad.csv", "Code,Qty\nA1,5\nB2,lots\n");
  try {
    CmdImportCsv(FLocation, "Parts", file, out);
    FAIL() << "no error";
  } catch (const ValueError& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Qty"), std::string::npos) << e.what();
  }
  // A duplicate key is the engine's to refuse; the status comes through.
  file = Write("dup.csv", "Code\nA1\nA1\n");
  try {
    CmdImportCsv(FLocation, "Parts", file, out);
    FAIL() << "no error";
  } catch (const DrmError& e) {
    EXPECT_EQ(e.Status(), DRM_ERR_DUPLICATE_KEY);
    EXPECT_EQ(e.Meaning(), "Illegal duplicate key");
    EXPECT_NE(e.Call().find("line 3"), std::string::npos) << e.Call();
  }
  EXPECT_THROW(CmdImportCsv(FLocation, "Parts", Write("h.csv", "Code,Nope\n"), out), std::runtime_error);
  EXPECT_THROW(CmdImportCsv(FLocation, "Parts", Write("w.csv", "Code,Qty\nZ9,1,extra\n"), out), std::runtime_error);
  std::ostringstream dump;
  CmdDump(FLocation, "Parts", "", std::nullopt, dump);
  EXPECT_NE(dump.str().find("(0 records)"), std::string::npos) << dump.str();
}

TEST_F(Commands, EngineFailuresCarryStatusMeaningAndText) {
  std::ostringstream out;
  try {
    CmdDescribe(FLocation, "NoSuchTable", out);
    FAIL() << "no error";
  } catch (const DrmError& e) {
    EXPECT_EQ(e.Status(), DRM_ERR_NO_SUCH_TABLE);
    EXPECT_EQ(e.Meaning(), "No such table or object");
    EXPECT_EQ(e.Call(), "RareOpenTable");
  }
  CmdCreateTable(FLocation, Write("parts.json", kSchema), false, out);
  try {
    CmdCreateTable(FLocation, Write("parts.json", kSchema), false, out);
    FAIL() << "no error";
  } catch (const DrmError& e) {
    EXPECT_EQ(e.Status(), DRM_ERR_TABLE_EXISTS);
  }
  EXPECT_NO_THROW(CmdCreateTable(FLocation, Write("parts.json", kSchema), true, out));
  EXPECT_THROW(CmdTables(FRoot + "/missing", false, out), DrmError);
}

TEST_F(Commands, SampleIsDeterministicAndReplacesTheTable) {
  std::string location = "Q:\\Orvane\\Data";
  std::ostringstream out;
  CmdSampleCompany(location, 200, 7, out);
  EXPECT_TRUE(fs::is_directory(FRoot + "/q/Orvane/Data"));
  std::string first = FRoot + "/first.csv", second = FRoot + "/second.csv";
  CmdExportCsv(location, "Company", first, "index_0", out);
  CmdSampleCompany(location, 200, 7, out);  // replaces, does not append
  CmdExportCsv(location, "Company", second, "index_0", out);
  EXPECT_EQ(Read(first), Read(second));

  // The stored rows are the generated ones, in Number order.
  std::vector<CompanyRow> rows = GenerateCompanies(200, 7);
  std::istringstream in(Read(first));
  CsvReader reader(in);
  std::vector<CsvField> rec;
  ASSERT_TRUE(reader.Next(rec));
  size_t n = 0;
  while (reader.Next(rec)) {
    ASSERT_LT(n, rows.size());
    std::vector<std::string> expected = CompanyValues(rows[n++]);
    ASSERT_EQ(rec.size(), expected.size());
    for (size_t i = 0; i < rec.size(); ++i) EXPECT_EQ(rec[i].Text, expected[i]) << "row " << n << " column " << i;
  }
  EXPECT_EQ(n, 200u);
}

TEST_F(Commands, SampleIndexOneGroupsAgencies) {
  std::ostringstream out;
  CmdSampleCompany(FLocation, 300, 3, out);
  Session s;
  Database db(s, FLocation);
  Table t(db, "Company", DRM_TBLOPEN_READONLY);
  t.SetIndex("index_1");
  auto cols = t.Columns();
  ASSERT_GE(cols.size(), 6u);
  EXPECT_EQ(t.RecordCount(), 300u);
  std::string previous, bytes;
  size_t count = 0;
  for (bool more = t.Move(DRM_MOVE_FIRST); more; more = t.Move(DRM_MOVE_NEXT), ++count) {
    ASSERT_TRUE(t.Read(cols[3], bytes));
    std::string agency = ValueToText(cols[3], bytes);
    ASSERT_TRUE(t.Read(cols[0], bytes));
    std::string key = agency + ValueToText(cols[0], bytes);
    EXPECT_LT(previous, key);
    previous = key;
  }
  EXPECT_EQ(count, 300u);
}

TEST_F(Commands, NamedDatabasesAddShowListDrop) {
  std::ostringstream out;
  DbNameFlags flags;
  flags.Integrity = true;
  CmdDbNamesAdd("SALES", FLocation, "", flags, out);
  std::ostringstream show;
  CmdDbNamesShow("sales", show);
  EXPECT_NE(show.str().find("dictionary:  " + FLocation), std::string::npos) << show.str();
  EXPECT_NE(show.str().find("integrity:   yes"), std::string::npos) << show.str();
  std::ostringstream list;
  CmdDbNamesList(list);
  EXPECT_EQ(list.str(), "SALES\n");
  // The name opens the database.
  CmdCreateTable("SALES", Write("parts.json", kSchema), false, out);
  std::ostringstream tables;
  CmdTables(FLocation, false, tables);
  EXPECT_EQ(tables.str(), "Parts\n");
  try {
    CmdDbNamesAdd("SALES", FLocation, "", flags, out);
    FAIL() << "no error";
  } catch (const DrmError& e) {
    EXPECT_EQ(e.Status(), DRM_DBN_NAME_EXISTS);
    EXPECT_EQ(e.Meaning(), "The database name must be unique");
  }
  CmdDbNamesDrop("SALES", out);
  std::ostringstream after;
  CmdDbNamesList(after);
  EXPECT_EQ(after.str(), "");
  EXPECT_THROW(CmdDbNamesShow("SALES", out), DrmError);
}

namespace {

std::vector<std::string> TableNames(const std::string& location) {
  Session s;
  Database db(s, location);
  std::vector<std::string> names;
  for (const TableInfo& t : db.Tables()) names.push_back(t.Name);
  return names;
}

}  // namespace

// --replace builds the new table before it touches the old one: a schema
// the engine refuses, or an old table still in use, leaves the old table
// and its records as they were, and nothing else behind.
TEST_F(Commands, ReplacingKeepsTheOldTableUntilTheNewOneIsComplete) {
  std::ostringstream out;
  CmdCreateTable(FLocation, Write("parts.json", kSchema), false, out);
  CmdImportCsv(FLocation, "Parts", Write("in.csv", "Code,Qty\r\nA1,5\r\nB2,7\r\n"), out);
  auto unchanged = [&] {
    Session s;
    Database db(s, FLocation);
    Table t(db, "Parts");
    EXPECT_EQ(t.RecordCount(), 2u);
    EXPECT_EQ(t.Columns().size(), 6u);
    EXPECT_EQ(t.Indexes().size(), 2u);
    EXPECT_EQ(TableNames(FLocation), std::vector<std::string>{"Parts"});
  };

  const std::string refused = Write("refused.json", R"({"table": "Parts", "columns": [
      {"name": "Code", "type": "string", "size": 8},
      {"name": "Price", "type": "decimal", "precision": 8, "scale": 2, "default": "123456789"}]})");
  try {
    CmdCreateTable(FLocation, refused, true, out);
    ADD_FAILURE() << "the engine accepted the schema";
  } catch (const DrmError& e) {
    EXPECT_EQ(e.Status(), DRM_ERR_INVALID_PARAMETER);
    EXPECT_EQ(e.Call(), "RareCreateColumn");
  }
  unchanged();

  const std::string better = Write("better.json", R"({"table": "Parts", "columns": [
      {"name": "Code", "type": "string", "size": 8},
      {"name": "Price", "type": "decimal", "precision": 8, "scale": 2, "default": "1.5"}],
      "indexes": [{"name": "byCode", "fields": ["Code"]}]})");
  {
    Session other;
    Database db(other, FLocation);
    Table inUse(db, "Parts");
    try {
      CmdCreateTable(FLocation, better, true, out);
      ADD_FAILURE() << "a table in use was replaced";
    } catch (const DrmError& e) {
      EXPECT_EQ(e.Status(), DRM_ERR_TABLE_HAS_HANDLES);
    }
  }
  unchanged();

  CmdCreateTable(FLocation, better, true, out);
  EXPECT_EQ(TableNames(FLocation), std::vector<std::string>{"Parts"});
  Session s;
  Database db(s, FLocation);
  Table t(db, "Parts");
  EXPECT_EQ(t.RecordCount(), 0u);
  ASSERT_EQ(t.Columns().size(), 2u);
  EXPECT_EQ(t.Columns()[1].Name, "Price");
  ASSERT_EQ(t.Indexes().size(), 1u);
  EXPECT_EQ(t.Indexes()[0].Name, "byCode");
}

TEST_F(Commands, LocationFoldersFollowTheDriveMap) {
  EXPECT_EQ(LocalFolder("Q:\\a\\b"), FRoot + "/q/a/b");
  EXPECT_EQ(LocalFolder("q:/a"), FRoot + "/q/a");
  fs::create_directories(FRoot + "/q/Upper/Case");
  EXPECT_EQ(LocalFolder("Q:\\UPPER\\case\\new"), FRoot + "/q/Upper/Case/new");
  EXPECT_TRUE(LooksLikePath("C:x"));
  EXPECT_TRUE(LooksLikePath("rel/dir"));
  EXPECT_FALSE(LooksLikePath("SALES"));
}

// drmcli makes the folder the engine will open, never another one: the
// engine's own mapping decides, ".." of a drive root included.
TEST_F(Commands, CreateDbMakesTheEnginesFolderForItsOwnerOnly) {
  std::ostringstream out;
  CmdCreateDb("Q:\\..\\..\\made\\here", out);
  EXPECT_TRUE(fs::exists(FRoot + "/q/made/here/engine.rdb"));
  EXPECT_FALSE(fs::exists(FRoot + "/made"));
  EXPECT_NE(out.str().find(FRoot + "/q/made/here"), std::string::npos) << out.str();
  for (const std::string& path : {FRoot + "/q/made", FRoot + "/q/made/here"})
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_all) << path;
  EXPECT_EQ(fs::status(FRoot + "/q/made/here/engine.rdb").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  try {
    CmdCreateDb("\\\\faraway\\share\\db", out);
    ADD_FAILURE() << "a share of another host was made";
  } catch (const DrmError& e) {
    EXPECT_EQ(e.Status(), DRM_ERR_NO_SUCH_DATABASE);
    EXPECT_NE(e.Extended().find("faraway"), std::string::npos) << e.Extended();
  }
}
