// The dac tool's keyed browse options and its master-detail walk over real
// engine tables.

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

class DacKeyCommands : public tabletest::TableTest {
 protected:
  // Groups (G, Title) and Items (G, Name, N) with indexes ByG and ByGName.
  void SetUp() override {
    TableTest::SetUp();
    auto g = Create("Groups", {{"G", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                               {"Title", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 10}});
    Insert("Groups", g, {Row{B(int32_t{2}), Z("two")}, Row{B(int32_t{1}), Z("one")}, Row{B(int32_t{3}), Z("three")}});
    auto i = Create("Items", {{"G", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                              {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 10},
                              {"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    Insert("Items", i,
           {Row{B(int32_t{2}), Z("b"), B(int32_t{21})}, Row{B(int32_t{1}), Z("z"), B(int32_t{12})},
            Row{B(int32_t{1}), Z("a"), B(int32_t{11})}, Row{B(int32_t{2}), Z("a"), B(int32_t{20})}});
    Index("Groups", "ByG", "+G\0");
    Index("Items", "ByGName", "+G\0+Name\0");
  }
  template <size_t N>
  void Index(const char* table, const char* name, const char (&segments)[N]) {
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, table, 0, 0, &t), 0);
    ASSERT_EQ(RareCreateIndex(RS, t, name, DRM_IDXFLAG_CASE_SENSITIVE, segments, N, 0), 0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
  }
  BrowseOptions Items() {
    BrowseOptions o;
    o.Location = dir;
    o.Table = "Items";
    o.Index = "ByGName";
    o.Fields = "N";
    return o;
  }
  std::ostringstream out, err;
};

TEST_F(DacKeyCommands, BrowseFromAKeyOrInsideARange) {
  BrowseOptions o = Items();
  o.FindKey = "1;z";
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "N\r\n12\r\n20\r\n21\r\n");
  out.str("");
  o.FindKey = "1;y";
  EXPECT_EQ(Browse(o, out, err), kExitNotFound);
  o.FindKey.reset();
  o.FindNearest = "1;y";
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "N\r\n12\r\n20\r\n21\r\n");
  out.str("");
  o.FindNearest.reset();
  o.Range = "1;b:2;a";
  EXPECT_EQ(Browse(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "N\r\n12\r\n20\r\n");
  o.Range = "1;b";
  EXPECT_EQ(Browse(o, out, err), kExitUsage);
}

TEST_F(DacKeyCommands, MasterDetailPrintsEachMasterWithItsDetails) {
  MasterDetailOptions o;
  o.Location = dir;
  o.Master = "Groups";
  o.Detail = "Items";
  o.MasterIndex = "ByG";
  o.MasterFields = "G";
  o.DetailIndex = "ByGName";
  EXPECT_EQ(MasterDetail(o, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(),
            "master,G,Title\r\ndetail,G,Name,N\r\n"
            "master,1,one\r\ndetail,1,a,11\r\ndetail,1,z,12\r\n"
            "master,2,two\r\ndetail,2,a,20\r\ndetail,2,b,21\r\n"
            "master,3,three\r\n");
  o.DetailIndex = "Nope";
  EXPECT_EQ(MasterDetail(o, out, err), kExitFailed);
}

}  // namespace
