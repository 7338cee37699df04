// dac insert over real engine tables: what it stores and prints, that a
// refused value adds nothing, and the exit status for failures and bad
// usage.

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

class DacInsert : public tabletest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    // Id numbered by the engine, Code (text 4), Name (zero-terminated text
    // 20, default "nobody"), N.
    uint32_t t = 0;
    ASSERT_EQ(RareCreateTable(RS, RD, "People", &t), 0);
    std::vector<uint32_t> ids;
    auto column = [&](const char* name, uint32_t type, uint32_t size, const char* def) {
      DRM_ColumnStruct c{};
      c.StructSize = sizeof c;
      c.ColTyp = type;
      c.cbMax = size;
      c.pDefault = def;
      uint32_t id = 0;
      ASSERT_EQ(RareCreateColumn(RS, t, name, &c, &id), 0) << name;
      ids.push_back(id);
    };
    column("Id", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16), 4, nullptr);
    column("Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 4, nullptr);
    column("Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20, "nobody");
    column("N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4, nullptr);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
    Insert("People", ids, {Row{B(int32_t{1}), Z("01"), Z("Smith, Jane"), B(int32_t{7})}});
  }
  InsertOptions Inserting(std::vector<std::string> assignments) {
    InsertOptions o;
    o.Location = dir;
    o.Table = "People";
    o.Assignments = std::move(assignments);
    return o;
  }
  std::string Browsed() {
    BrowseOptions o;
    o.Location = dir;
    o.Table = "People";
    std::ostringstream bout, berr;
    EXPECT_EQ(Browse(o, bout, berr), kExitOk) << berr.str();
    return bout.str();
  }
  std::ostringstream out, err;
};

TEST_F(DacInsert, AppendsTheRecordAndPrintsItAsStored) {
  EXPECT_EQ(dactool::Insert(Inserting({"Code=02", "Name=Doe, John", "N=10"}), out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Id,Code,Name,N\r\n2,02,\"Doe, John\",10\r\n") << "the engine drew the number";
  EXPECT_EQ(err.str(), "");
  // Fields not named keep their initial values; --null clears one.
  out.str("");
  InsertOptions o = Inserting({"Code=03"});
  o.Nulls = {"N"};
  o.Fields = "Code,Name,N";
  EXPECT_EQ(dactool::Insert(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Code,Name,N\r\n03,nobody,\r\n");
  EXPECT_EQ(Browsed(),
            "Id,Code,Name,N\r\n1,01,\"Smith, Jane\",7\r\n2,02,\"Doe, John\",10\r\n3,03,nobody,\r\n");
}

TEST_F(DacInsert, ARefusedValueAddsNothing) {
  const std::string before = Browsed();
  EXPECT_EQ(dactool::Insert(Inserting({"Code=02", "N=12", "Name=a name far too long to fit"}), out, err), kExitFailed);
  EXPECT_NE(err.str().find("does not fit field 'Name'"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
  err.str("");
  EXPECT_EQ(dactool::Insert(Inserting({"N=twelve"}), out, err), kExitFailed);
  EXPECT_NE(err.str().find("twelve"), std::string::npos) << err.str();
  err.str("");
  EXPECT_EQ(dactool::Insert(Inserting({"Age=3"}), out, err), kExitFailed);
  EXPECT_NE(err.str().find("Age"), std::string::npos) << err.str();
  err.str("");
  InsertOptions missing = Inserting({"N=1"});
  missing.Table = "Nowhere";
  EXPECT_EQ(dactool::Insert(missing, out, err), kExitFailed);
  EXPECT_NE(err.str().find("Nowhere"), std::string::npos) << err.str();
  EXPECT_EQ(Browsed(), before);
}

TEST_F(DacInsert, BadUsage) {
  EXPECT_EQ(dactool::Insert(Inserting({"Code"}), out, err), kExitUsage);
  EXPECT_NE(err.str().find("'Code' is not FIELD=VALUE"), std::string::npos) << err.str();
  err.str("");
  EXPECT_EQ(dactool::Insert(Inserting({"=5"}), out, err), kExitUsage);
  err.str("");
  InsertOptions twice = Inserting({"N=1"});
  twice.Nulls = {"n"};
  EXPECT_EQ(dactool::Insert(twice, out, err), kExitUsage);
  EXPECT_NE(err.str().find("more than once"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

}  // namespace
