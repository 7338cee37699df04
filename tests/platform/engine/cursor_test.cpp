#include <algorithm>

#include "engine_fixture.h"

using namespace enginetest;

class CursorTest : public EngineTest {
 protected:
  uint32_t cN = 0, cName = 0, t = 0;
  void MakeNames(const std::vector<std::pair<int, std::string>>& rows) {
    auto ids = CreateTable("People", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                                      {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20}});
    cN = ids[0];
    cName = ids[1];
    t = Open("People");
    for (auto& [n, s] : rows) ASSERT_EQ(InsertIntText(t, cN, n, cName, s), 0) << ExtErr(-1605);
  }
};

TEST_F(CursorTest, MovesStopAtTheEndsWithoutMoving) {
  MakeNames({{1, "a"}, {2, "b"}, {3, "c"}});
  uint32_t fresh = Open("People");
  int32_t v;
  EXPECT_EQ(GetInt32(fresh, cN, v), DRM_ERR_NO_CURRENT_RECORD);  // before the first record
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_PREVIOUS), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(fresh, cN), 1);
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_LAST), 0);
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(ReadInt(fresh, cN), 3);  // still on the last record
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(fresh, cN), 2);
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(RareMove(S, fresh, DRM_MOVE_PREVIOUS), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(ReadInt(fresh, cN), 1);
  EXPECT_EQ(RareMove(S, fresh, 7), DRM_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Scan(fresh, cN, true), (std::vector<int32_t>{3, 2, 1}));
}

TEST_F(CursorTest, IndexOrderBreaksTiesByBookmark) {
  MakeNames({{5, "bob"}, {1, "Carl"}, {5, "Al"}, {3, "al"}, {2, "dan"}});
  ASSERT_EQ(CreateIndex(t, "ByN", {"+N"}), 0);
  ASSERT_EQ(CreateIndex(t, "ByNameDesc", {"-Name"}), 0);                 // case-sensitive
  ASSERT_EQ(CreateIndex(t, "ByNameNoCase", {"+Name", "-N"}, 0), 0);      // case-insensitive
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{5, 1, 5, 3, 2}));       // no index: insertion order
  ASSERT_EQ(RareSetTableIndex(S, t, "byn"), 0);
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{1, 2, 3, 5, 5}));
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  EXPECT_EQ(ReadText(t, cName), "Al");  // the later of the two 5s
  ASSERT_EQ(RareSetTableIndex(S, t, "ByNameDesc"), 0);
  std::vector<std::string> names;
  for (int32_t st = RareMove(S, t, DRM_MOVE_FIRST); st == 0; st = RareMove(S, t, DRM_MOVE_NEXT)) names.push_back(ReadText(t, cName));
  EXPECT_EQ(names, (std::vector<std::string>{"dan", "bob", "al", "Carl", "Al"}));
  ASSERT_EQ(RareSetTableIndex(S, t, "ByNameNoCase"), 0);
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{5, 3, 5, 1, 2}));  // Al(5) before al(3): second segment descending
  EXPECT_EQ(Scan(t, cN, true), (std::vector<int32_t>{2, 1, 5, 3, 5}));
  EXPECT_EQ(RareSetTableIndex(S, t, "Missing"), DRM_ERR_NO_SUCH_INDEX);
  ASSERT_EQ(RareSetTableIndex(S, t, ""), 0);
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{5, 1, 5, 3, 2}));
}

TEST_F(CursorTest, NullsSortLowestAndUniqueIndexesAllowSeveral) {
  MakeNames({});
  ASSERT_EQ(CreateIndex(t, "U", {"+Name"}, DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE), 0);
  ASSERT_EQ(InsertIntText(t, cN, 1, cName, "m"), 0);
  for (int n : {2, 3}) {
    ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
    ASSERT_EQ(SetInt32(t, cN, n), 0);
    ASSERT_EQ(RareUpdateRecord(S, t), 0);
  }
  ASSERT_EQ(RareSetTableIndex(S, t, "U"), 0);
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{2, 3, 1}));
  EXPECT_EQ(Scan(t, cN, true), (std::vector<int32_t>{1, 3, 2}));
}

TEST_F(CursorTest, BookmarksSurviveInsertsAndDeletesAndAreNeverReused) {
  MakeNames({{1, "a"}, {2, "b"}, {3, "c"}});
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  uint32_t b1 = Bookmark(t);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  uint32_t b3 = Bookmark(t);
  EXPECT_LT(b1, b3);
  ASSERT_EQ(RareDeleteRecord(S, t), 0);
  EXPECT_EQ(ReadInt(t, cN), -999999);  // on the gap
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cN), 2);
  ASSERT_EQ(InsertIntText(t, cN, 4, cName, "d"), 0);
  uint32_t b4 = Bookmark(t);
  EXPECT_GT(b4, b3);  // the deleted record's bookmark is not reused
  EXPECT_EQ(RareGotoBookmark(S, t, &b3, 4), DRM_ERR_RECORD_GONE);
  EXPECT_EQ(ReadInt(t, cN), 4);  // position unchanged
  EXPECT_EQ(RareGotoBookmark(S, t, &b1, 4), 0);
  EXPECT_EQ(ReadInt(t, cN), 1);
  EXPECT_EQ(RareGotoBookmark(S, t, &b1, 3), DRM_ERR_INVALID_BOOKMARK);
  uint32_t zero = 0;
  EXPECT_EQ(RareGotoBookmark(S, t, &zero, 4), DRM_ERR_RECORD_GONE);
  uint32_t small = 0, len = 0;
  EXPECT_EQ(RareGetBookmark(S, t, &small, 2, &len), DRM_ERR_BUFFER_TOO_SMALL);
  // A bookmark of one handle works on another.
  uint32_t other = Open("People");
  EXPECT_EQ(RareGotoBookmark(S, other, &b4, 4), 0);
  EXPECT_EQ(ReadInt(other, cN), 4);
  EXPECT_EQ(RareMove(S, other, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(other, cN), 2);
}

TEST_F(CursorTest, HandlesKeepTheirOwnPositionAndSeeEachOthersChanges) {
  MakeNames({{1, "a"}, {2, "b"}, {3, "c"}});
  uint32_t u = Open("People");
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);  // t on 2, scanning
  ASSERT_EQ(RareMove(S, u, DRM_MOVE_LAST), 0);
  ASSERT_EQ(RareDeleteRecord(S, u), 0);          // u deletes 3
  ASSERT_EQ(RareMove(S, u, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareInitUpdate(S, u, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(SetInt32(u, cN, 10), 0);
  ASSERT_EQ(RareUpdateRecord(S, u), 0);          // u changes 1 to 10
  EXPECT_EQ(ReadInt(t, cN), 2);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cN), 10);
  // The current record deleted elsewhere reads as gone; moves go on from its place.
  ASSERT_EQ(RareMove(S, u, DRM_MOVE_LAST), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  ASSERT_EQ(RareDeleteRecord(S, u), 0);
  EXPECT_EQ(ReadInt(t, cN), -999999);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cN), 10);
}

TEST_F(CursorTest, RecordCountAndPercentages) {
  std::vector<std::pair<int, std::string>> rows;
  for (int i = 1; i <= 40; ++i) rows.push_back({i, "n"});
  MakeNames(rows);
  uint32_t n = 0;
  ASSERT_EQ(RareGetRecordCount(t, &n), 0);
  EXPECT_EQ(n, 40u);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareDeleteRecord(S, t), 0);
  ASSERT_EQ(RareGetRecordCount(t, &n), 0);
  EXPECT_EQ(n, 39u);
  for (int k : {1, 10, 20, 39}) {
    uint32_t p = static_cast<uint32_t>((k * 10000 * 2 + 39) / (2 * 39));
    ASSERT_EQ(RareGetByPercentage(t, p), 0);
    EXPECT_EQ(ReadInt(t, cN), k + 1);
    uint32_t back = 0;
    ASSERT_EQ(RareFindPercentage(t, &back), 0);
    EXPECT_EQ(back, p);
  }
  ASSERT_EQ(RareGetByPercentage(t, 0), 0);
  EXPECT_EQ(ReadInt(t, cN), 2);
  ASSERT_EQ(RareGetByPercentage(t, 10000), 0);
  EXPECT_EQ(ReadInt(t, cN), 40);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);  // moves go on from a percentage jump
  EXPECT_EQ(ReadInt(t, cN), 39);
  uint32_t empty = 0;
  CreateTable("Empty", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  empty = Open("Empty");
  EXPECT_EQ(RareGetByPercentage(empty, 5000), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(RareMove(S, empty, DRM_MOVE_FIRST), DRM_ERR_NO_CURRENT_RECORD);
}

TEST_F(CursorTest, ChangingTheIndexKeepsTheCurrentRecord) {
  MakeNames({{3, "c"}, {1, "a"}, {2, "b"}});
  ASSERT_EQ(CreateIndex(t, "ByN", {"+N"}), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);  // 3 in physical order
  ASSERT_EQ(RareSetTableIndex(S, t, "ByN"), 0);
  EXPECT_EQ(ReadInt(t, cN), 3);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cN), 2);
}

TEST_F(CursorTest, BadHandlesAnswerStatuses) {
  MakeNames({{1, "a"}});
  int32_t v;
  uint32_t len;
  EXPECT_EQ(RareMove(S, 9999, DRM_MOVE_FIRST), DRM_ERR_INVALID_TABLE);
  EXPECT_EQ(RareMove(9999, t, DRM_MOVE_FIRST), DRM_ERR_INVALID_SESSION);
  EXPECT_EQ(RareRetrieveColumn(S, t, 777, &v, 4, &len, nullptr), DRM_ERR_INVALID_COLUMN_ID);
  uint32_t closed = Open("People");
  RareCloseTable(S, closed);
  EXPECT_EQ(RareMove(S, closed, DRM_MOVE_FIRST), DRM_ERR_INVALID_TABLE);
  EXPECT_EQ(RareGetRecordCount(closed, &len), DRM_ERR_INVALID_TABLE);
  uint32_t t2 = 0;
  EXPECT_EQ(RareOpenTable(S, 12345, "People", 0, 0, &t2), DRM_ERR_INVALID_DATABASE);
  EXPECT_EQ(RareSetSessionOption(0, 6, 0), DRM_ERR_INVALID_SESSION);
  EXPECT_EQ(RareSetSessionOption(S, 6, 0), 0);
  EXPECT_EQ(RareSetSessionOption(S, 2, 2), 0);
  EXPECT_EQ(RareSetSessionOption(S, 3, 0), DRM_ERR_INVALID_SESSION_OPTION);
}

// A move toward lower values re-seeks with an upper bound on the first
// segment, which NULLs fail: they must still follow, after every value.
TEST_F(CursorTest, ReSeeksTowardLowerValuesStillReachNullKeys) {
  MakeNames({{1, "b"}, {2, "d"}, {3, "a"}, {4, "c"}});
  for (int n : {5, 6}) {
    ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
    ASSERT_EQ(SetInt32(t, cN, n), 0);
    ASSERT_EQ(RareUpdateRecord(S, t), 0);
  }
  ASSERT_EQ(CreateIndex(t, "Up", {"+Name"}, DRM_IDXFLAG_CASE_SENSITIVE), 0);
  ASSERT_EQ(CreateIndex(t, "Down", {"-Name"}, DRM_IDXFLAG_CASE_SENSITIVE), 0);
  uint32_t writer = Open("People");
  // Every move follows a write through another handle, so every move
  // re-seeks from the saved key.
  auto walk = [&](uint32_t first, uint32_t next) {
    std::vector<int32_t> seen;
    for (int32_t st = RareMove(S, t, first); st == 0; st = RareMove(S, t, next)) {
      seen.push_back(ReadInt(t, cN));
      EXPECT_EQ(InsertIntText(writer, cN, 100 + static_cast<int>(seen.size()), cName, "zz"), 0);
      EXPECT_EQ(RareMove(S, writer, DRM_MOVE_LAST), 0);
      EXPECT_EQ(RareDeleteRecord(S, writer), 0);
      if (seen.size() > 10) break;
    }
    return seen;
  };
  ASSERT_EQ(RareSetTableIndex(S, t, "Up"), 0);
  EXPECT_EQ(walk(DRM_MOVE_LAST, DRM_MOVE_PREVIOUS), (std::vector<int32_t>{2, 4, 1, 3, 6, 5}));
  EXPECT_EQ(Scan(t, cN, true), (std::vector<int32_t>{2, 4, 1, 3, 6, 5}));
  ASSERT_EQ(RareSetTableIndex(S, t, "Down"), 0);
  EXPECT_EQ(walk(DRM_MOVE_FIRST, DRM_MOVE_NEXT), (std::vector<int32_t>{2, 4, 1, 3, 5, 6}));
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{2, 4, 1, 3, 5, 6}));
  // Back and forth across the boundary between values and NULLs.
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cN), 5);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cN), 3);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, cN), 5);
}
