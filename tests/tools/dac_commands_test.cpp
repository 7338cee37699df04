// The dac tool's commands over real engine tables: what they print, and the
// exit status for failures, bad usage and records not found.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/table_fixture.h"
#include "tools/dac/commands.h"

namespace {

using namespace dactool;
using tabletest::B;
using tabletest::Row;
using tabletest::Z;

class DacCommands : public tabletest::TableTest {
 protected:
  // Code (text), Name (zero-terminated text, may be NULL) and N.
  void People() {
    auto ids = Create("People", {{"Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 4},
                                 {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                                 {"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    Insert("People", ids,
           {Row{Z("01"), Z("Smith, Jane"), B(int32_t{7})}, Row{Z("02"), std::nullopt, B(int32_t{8})},
            Row{Z("03"), Z(""), B(int32_t{9})}});
  }
  BrowseOptions Browsing(const std::string& table) {
    BrowseOptions o;
    o.Location = dir;
    o.Table = table;
    return o;
  }
  std::ostringstream out, err;
};

TEST_F(DacCommands, BrowsePrintsEveryRecordAsCsv) {
  People();
  EXPECT_EQ(Browse(Browsing("People"), out, err), kExitOk) << err.str();
  // NULL is an empty unquoted cell, an empty text a quoted one; a text with
  // a comma is quoted.
  EXPECT_EQ(out.str(), "Code,Name,N\r\n01,\"Smith, Jane\",7\r\n02,,8\r\n03,\"\",9\r\n");
  EXPECT_EQ(err.str(), "");
}

TEST_F(DacCommands, BrowseChoosesFieldsAndStopsAtTheLimit) {
  People();
  BrowseOptions o = Browsing("People");
  o.Fields = "N,Code";
  o.Limit = 2;
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "N,Code\r\n7,01\r\n8,02\r\n");
}

TEST_F(DacCommands, BrowseFailuresAndBadUsage) {
  People();
  BrowseOptions missing = Browsing("Nowhere");
  EXPECT_EQ(Browse(missing, out, err), kExitFailed);
  EXPECT_NE(err.str().find("Nowhere"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");

  err.str("");
  BrowseOptions unknownField = Browsing("People");
  unknownField.Fields = "Code,Age";
  EXPECT_EQ(Browse(unknownField, out, err), kExitFailed);
  EXPECT_NE(err.str().find("Age"), std::string::npos) << err.str();

  err.str("");
  BrowseOptions badOption = Browsing("People");
  badOption.Filter = "N > 7";
  badOption.FilterOptions = "ci,sideways";
  EXPECT_EQ(Browse(badOption, out, err), kExitUsage);
  EXPECT_NE(err.str().find("sideways"), std::string::npos) << err.str();
}

}  // namespace

namespace {

using namespace dactool;

class DacLocate : public tabletest::TableTest {
 protected:
  void People() {
    auto ids = Create("People", {{"Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 4},
                                 {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                                 {"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    Insert("People", ids,
           {tabletest::Row{tabletest::Z("01"), tabletest::Z("Smith, Jane"), tabletest::B(int32_t{7})},
            tabletest::Row{tabletest::Z("02"), tabletest::Z("Jones"), tabletest::B(int32_t{8})}});
  }
  LocateOptions Locating(const std::string& keys, const std::string& values) {
    LocateOptions o;
    o.Location = dir;
    o.Table = "People";
    o.Keys = keys;
    o.Values = values;
    return o;
  }
  std::ostringstream out, err;
};

TEST_F(DacLocate, PrintsTheRecordFoundOrExitsNotFound) {
  People();
  EXPECT_EQ(Locate(Locating("Code;N", "02;8"), out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Code,Name,N\r\n02,Jones,8\r\n");
  out.str("");
  LocateOptions partial = Locating("Name", "smith");
  partial.Partial = true;
  partial.CaseInsensitive = true;
  partial.Fields = "N";
  EXPECT_EQ(Locate(partial, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "N\r\n7\r\n");
  out.str("");
  EXPECT_EQ(Locate(Locating("Code", "09"), out, err), kExitNotFound);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(Locate(Locating("Code;N", "02"), out, err), kExitUsage);
  EXPECT_EQ(Locate(Locating("Age", "1"), out, err), kExitFailed);
  EXPECT_NE(err.str().find("Age"), std::string::npos) << err.str();
}

TEST_F(DacLocate, BrowseAppliesTheFilter) {
  People();
  BrowseOptions o;
  o.Location = dir;
  o.Table = "People";
  o.Filter = "name = 'J*'";
  o.FilterOptions = "ci";
  o.Fields = "Code";
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Code\r\n02\r\n");
  out.str("");
  o.Filter = "N >";
  EXPECT_EQ(Browse(o, out, err), kExitFailed);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("nothing"), std::string::npos) << err.str();
  // A filter that fails on each record lets the records through (the layer
  // shows the failures and goes on): not a success.
  err.str("");
  o.Filter = "1 / 0 = 1";
  EXPECT_EQ(Browse(o, out, err), kExitFailed);
  EXPECT_NE(err.str().find("failures were shown while the command ran"), std::string::npos) << err.str();
}

TEST_F(DacLocate, BrowseExplainsWhereTheFilterRuns) {
  People();
  BrowseOptions o;
  o.Location = dir;
  o.Table = "People";
  o.Filter = "N = 8 and N + 1 > 5";
  o.Fields = "Code";
  o.Explain = true;
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(),
            "# filter: in the engine, 1 term(s)\n"
            "# term 1: N = 8 (constant)\n"
            "# filter keys: none\n"
            "# remainder on the client: N + 1 > 5\n"
            "Code\r\n02\r\n");
  out.str("");
  o.Filter = "(N = 8) or (N = 7)";
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')), "# filter: on the client (parentheses inside the filter)");
  out.str("");
  o.Filter = "N = 8";
  o.ClientSide = true;
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "# filter: on the client (the client side was asked for)\nCode\r\n02\r\n");
}

}  // namespace

namespace {

using namespace dactool;

class DacUpdateDelete : public tabletest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    auto ids = Create("People", {{"Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 4},
                                 {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                                 {"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    Insert("People", ids,
           {tabletest::Row{tabletest::Z("01"), tabletest::Z("Smith"), tabletest::B(int32_t{7})},
            tabletest::Row{tabletest::Z("02"), tabletest::Z("Jones"), tabletest::B(int32_t{8})}});
  }
  std::string BrowseAll() {
    BrowseOptions o;
    o.Location = dir;
    o.Table = "People";
    std::ostringstream all, errors;
    EXPECT_EQ(Browse(o, all, errors), kExitOk) << errors.str();
    return all.str();
  }
  template <class O>
  O Named(const std::string& keys, const std::string& values) {
    O o;
    o.Location = dir;
    o.Table = "People";
    o.Keys = keys;
    o.Values = values;
    return o;
  }
  std::ostringstream out, err;
};

TEST_F(DacUpdateDelete, UpdateChangesTheLocatedRecordOnly) {
  auto o = Named<UpdateOptions>("Code", "02");
  o.Assignments = {"N=80", "Name=Jones-Smith"};
  EXPECT_EQ(Update(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Code,Name,N\r\n02,Jones-Smith,80\r\n");
  EXPECT_EQ(BrowseAll(), "Code,Name,N\r\n01,Smith,7\r\n02,Jones-Smith,80\r\n");
  // NULL through --null; a record not found changes nothing.
  out.str("");
  auto nulling = Named<UpdateOptions>("Code", "01");
  nulling.Nulls = {"Name"};
  EXPECT_EQ(Update(nulling, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Code,Name,N\r\n01,,7\r\n");
  auto missing = Named<UpdateOptions>("Code", "09");
  missing.Assignments = {"N=1"};
  EXPECT_EQ(Update(missing, out, err), kExitNotFound);
  // A value the column cannot hold changes nothing.
  err.str("");
  auto tooLong = Named<UpdateOptions>("Code", "02");
  tooLong.Assignments = {"Code=ABCDEFG"};
  EXPECT_EQ(Update(tooLong, out, err), kExitFailed);
  EXPECT_NE(err.str().find("Code"), std::string::npos) << err.str();
  EXPECT_EQ(BrowseAll(), "Code,Name,N\r\n01,,7\r\n02,Jones-Smith,80\r\n");
  // Nothing to change is bad usage.
  EXPECT_EQ(Update(Named<UpdateOptions>("Code", "02"), out, err), kExitUsage);
}

TEST_F(DacUpdateDelete, DeletePrintsWhatItRemoved) {
  EXPECT_EQ(Delete(Named<DeleteOptions>("Code;N", "01;7"), out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Code,Name,N\r\n01,Smith,7\r\n");
  EXPECT_EQ(BrowseAll(), "Code,Name,N\r\n02,Jones,8\r\n");
  out.str("");
  EXPECT_EQ(Delete(Named<DeleteOptions>("Code", "01"), out, err), kExitNotFound);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
