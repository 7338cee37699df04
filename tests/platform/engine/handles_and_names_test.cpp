// Catalog answers belong to the session that asked for them, and names of
// every kind refuse control characters, DEL included.
#include "engine_fixture.h"

using namespace enginetest;

class CatalogCursorTest : public EngineTest {};

TEST_F(CatalogCursorTest, AnotherSessionCannotMoveReadOrCloseIt) {
  CreateTable("Mine", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t info[8] = {32};
  ASSERT_EQ(RareGetDatabaseTableInfo(S, D, info, 32), 0);
  const uint32_t cursor = info[1];
  uint32_t other = 0;
  ASSERT_EQ(RareBeginSession(&other, "", "", ""), 0);

  char buf[64] = {};
  uint32_t len = 0;
  EXPECT_EQ(RareMove(other, cursor, DRM_MOVE_FIRST), DRM_ERR_INVALID_TABLE);
  EXPECT_NE(ExtErr(DRM_ERR_INVALID_TABLE, other).find(std::to_string(cursor)), std::string::npos);
  ASSERT_EQ(RareMove(S, cursor, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(RareRetrieveColumn(other, cursor, info[2], buf, sizeof buf, &len, nullptr), DRM_ERR_INVALID_TABLE);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(std::string(buf), "");
  EXPECT_EQ(RareCloseTable(other, cursor), DRM_ERR_INVALID_TABLE);

  // The owner's walk is untouched by the other session's attempts.
  ASSERT_EQ(RareRetrieveColumn(S, cursor, info[2], buf, sizeof buf, &len, nullptr), 0);
  EXPECT_EQ(std::string(buf), "Mine");
  EXPECT_EQ(RareMove(S, cursor, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(RareCloseTable(S, cursor), 0);
  RareEndSession(other);
}

class NameTest : public EngineTest {};

TEST_F(NameTest, ControlCharactersAndDelAreRefusedEverywhere) {
  CreateTable("Base", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t t = Open("Base", DRM_TBLOPEN_EXCLUSIVE);
  DRM_ColumnStruct cs{};
  cs.StructSize = sizeof cs;
  cs.ColTyp = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);
  for (const std::string& bad : {std::string("del\x7f"), std::string("tab\tx"), std::string("nl\nx"),
                                std::string("\x1b[31m")}) {
    SCOPED_TRACE(bad);
    uint32_t h = 0, id = 0;
    EXPECT_EQ(RareCreateTable(S, D, bad.c_str(), &h), DRM_ERR_INVALID_NAME);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(RareCreateColumn(S, t, bad.c_str(), &cs, &id), DRM_ERR_INVALID_NAME);
    auto spec = KeySpec({"+A"});
    EXPECT_EQ(RareCreateIndex(S, t, bad.c_str(), 0, spec.data(), static_cast<uint32_t>(spec.size()), 0),
              DRM_ERR_INVALID_NAME);
    EXPECT_EQ(RareRenameTable(t, bad.c_str()), DRM_ERR_INVALID_NAME);
  }
  // Bytes above DEL are UTF-8 text and stay allowed.
  uint32_t h = 0;
  EXPECT_EQ(RareCreateTable(S, D, "Gr\xc3\xbc\xc3\x9f" "e", &h), 0);
  RareCloseTable(S, h);
  RareCloseTable(S, t);
}
