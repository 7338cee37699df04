#include "engine_fixture.h"
#include <sqlite3.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace enginetest;

class UpdateTest : public EngineTest {
 protected:
  uint32_t t = 0, cN = 0, cName = 0;
  void SetUp() override {
    EngineTest::SetUp();
    auto ids = CreateTable("T", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                                 {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 10}});
    cN = ids[0];
    cName = ids[1];
    t = Open("T");
    ASSERT_EQ(CreateIndex(t, "U", {"+N"}, DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE), 0);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(InsertIntText(t, cN, i * 10, cName, "n" + std::to_string(i)), 0);
  }
};

TEST_F(UpdateTest, DuplicateKeysLeaveThePendingRowIntact) {
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, cN, 20), 0);
  EXPECT_EQ(RareUpdateRecord(S, t), DRM_ERR_DUPLICATE_KEY);
  std::string why = ExtErr(DRM_ERR_DUPLICATE_KEY);
  EXPECT_NE(why.find("'U'"), std::string::npos) << why;
  EXPECT_NE(why.find("20"), std::string::npos) << why;
  ASSERT_EQ(SetInt32(t, cN, 25), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  EXPECT_EQ(ReadInt(t, cN), 25);  // the cursor stands on the written record
  ASSERT_EQ(RareSetTableIndex(S, t, "U"), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, cN), 30);
  // Updating moves the record to its new place in the order.
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  EXPECT_EQ(ReadInt(t, cN), 10);
  ASSERT_EQ(SetInt32(t, cN, 99), 0);
  EXPECT_EQ(ReadInt(t, cN), 99);  // the edit is visible while standing on the record
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{20, 25, 30, 99}));
  EXPECT_EQ(RareUpdateRecord(S, t), DRM_ERR_NO_PENDING_ROW);
  EXPECT_EQ(RareSetColumn(S, t, cN, "x", 1, 0, 0, 0), DRM_ERR_NO_PENDING_ROW);
  EXPECT_EQ(RareCancelUpdate(S, t), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  EXPECT_EQ(RareSetColumn(S, t, 4242, "x", 1, 0, 0, 0), DRM_ERR_INVALID_COLUMN_ID);
  EXPECT_EQ(RareInitUpdate(S, t, 3), DRM_ERR_INVALID_PARAMETER);
  EXPECT_EQ(RareInitUpdate(S, t, DRM_INITUPD_RELEASE), 0);  // keeps the pending row
  ASSERT_EQ(SetInt32(t, cN, 1), 0);
  EXPECT_EQ(RareUpdateRecord(S, t), 0);
}

TEST_F(UpdateTest, RecordsBeingEditedAreLockedAgainstOtherHandles) {
  uint32_t u = Open("T");
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareMove(S, u, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  EXPECT_EQ(RareInitUpdate(S, u, DRM_INITUPD_CURRENT), DRM_ERR_RECORD_LOCKED);
  EXPECT_EQ(RareDeleteRecord(S, u), DRM_ERR_RECORD_LOCKED);
  ASSERT_EQ(RareCancelUpdate(S, t), 0);
  ASSERT_EQ(RareInitUpdate(S, u, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(SetInt32(u, cN, 11), 0);
  ASSERT_EQ(RareUpdateRecord(S, u), 0);
  // A record changed since it was read is reported, not overwritten.
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  uint32_t s2 = 0, d2 = 0;
  ASSERT_EQ(RareBeginSession(&s2, "", "", ""), 0);
  ASSERT_EQ(RareOpenDatabase(s2, dbDir.c_str(), &d2, 0, "", ""), 0);
  uint32_t w = Open("T", 0, s2, d2);
  ASSERT_EQ(RareMove(s2, w, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareInitUpdate(s2, w, DRM_INITUPD_CURRENT), DRM_ERR_RECORD_LOCKED);  // locks hold across sessions
  RareCancelUpdate(S, t);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(RareCancelUpdate(S, t), 0);
  ASSERT_EQ(RareInitUpdate(s2, w, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(SetText(w, cName, "other", s2), 0);
  ASSERT_EQ(RareUpdateRecord(s2, w), 0);
  RareEndSession(s2);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  EXPECT_EQ(ReadText(t, cName), "other");
}

TEST_F(UpdateTest, TransactionsCommitAndRollBackAcrossTables) {
  auto ids = CreateTable("Log", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t log = Open("Log");
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "db"), 0);
  ASSERT_EQ(InsertIntText(t, cN, 40, cName, "x"), 0);
  ASSERT_EQ(RareInitUpdate(S, log, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(log, ids[0], 1), 0);
  ASSERT_EQ(RareUpdateRecord(S, log), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "db"), 0);
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{10, 20, 30}));
  EXPECT_EQ(Scan(log, ids[0]), std::vector<int32_t>{});
  uint32_t n = 9;
  ASSERT_EQ(RareGetRecordCount(log, &n), 0);
  EXPECT_EQ(n, 0u);

  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "db"), 0);
  EXPECT_EQ(RareSetTransact(S, DRM_TRANS_START, "db"), DRM_ERR_SAVEPOINT_IN_USE);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "db0"), 0);
  ASSERT_EQ(InsertIntText(t, cN, 50, cName, "inner"), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "db0"), 0);  // only the inner level
  ASSERT_EQ(InsertIntText(t, cN, 60, cName, "outer"), 0);
  // A failed write does not end the transaction.
  EXPECT_EQ(InsertIntText(t, cN, 60, cName, "dup"), DRM_ERR_DUPLICATE_KEY);
  RareCancelUpdate(S, t);
  // Data definition inside the transaction survives the rollback of its rows.
  auto side = CreateTable("Side", {{"K", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t sh = Open("Side");
  ASSERT_EQ(RareInitUpdate(S, sh, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(sh, side[0], 5), 0);
  ASSERT_EQ(RareUpdateRecord(S, sh), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "db"), 0);
  EXPECT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "db0"), 0);  // already ended
  EXPECT_EQ(Scan(t, cN), (std::vector<int32_t>{10, 20, 30, 60}));
  EXPECT_EQ(Scan(sh, side[0]), std::vector<int32_t>{5});

  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "x"), 0);
  auto side2 = CreateTable("Side2", {{"K", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t sh2 = Open("Side2");
  ASSERT_EQ(RareInitUpdate(S, sh2, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(sh2, side2[0], 5), 0);
  ASSERT_EQ(RareUpdateRecord(S, sh2), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "x"), 0);
  EXPECT_EQ(Scan(sh2, side2[0]), std::vector<int32_t>{});
  uint32_t again = Open("Side2");
  EXPECT_NE(again, 0u);
  EXPECT_EQ(RareSetTransact(S, 9, "x"), DRM_ERR_INVALID_PARAMETER);
}

TEST_F(UpdateTest, OtherSessionsWaitForACommitThenSeeIt) {
  uint32_t s2 = 0, d2 = 0;
  ASSERT_EQ(RareBeginSession(&s2, "", "", ""), 0);
  ASSERT_EQ(RareOpenDatabase(s2, dbDir.c_str(), &d2, 0, "", ""), 0);
  uint32_t w = Open("T", 0, s2, d2);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "a"), 0);
  ASSERT_EQ(InsertIntText(t, cN, 40, cName, "x"), 0);
  // The other session reads the committed state and cannot write meanwhile.
  std::vector<int32_t> seen;
  for (int32_t st = RareMove(s2, w, DRM_MOVE_FIRST); st == 0; st = RareMove(s2, w, DRM_MOVE_NEXT)) seen.push_back(ReadInt(w, cN, s2));
  EXPECT_EQ(seen, (std::vector<int32_t>{10, 20, 30}));
  ASSERT_EQ(RareInitUpdate(s2, w, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(w, cN, 77, s2), 0);
  EXPECT_EQ(RareUpdateRecord(s2, w), DRM_ERR_LOCK_WRITE);
  EXPECT_FALSE(ExtErr(DRM_ERR_LOCK_WRITE, s2).empty());
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "a"), 0);
  EXPECT_EQ(RareUpdateRecord(s2, w), 0);  // the pending row is still there
  EXPECT_EQ(Scan(t, cN).size(), 5u);
  RareEndSession(s2);
}

// A long run of writes in one transaction keeps each statement's journal in
// memory: nothing goes to temporary files (each later write would cost
// several disk writes there), and a failing statement is still undone alone.
// SQLite removes a temporary file as soon as it has opened it, so the
// folder is watched for files being made.
TEST_F(UpdateTest, LongTransactionsKeepStatementJournalsInMemory) {
  auto ids = CreateTable("Wide", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                                  {"A", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                                  {"B", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20}});
  uint32_t w = Open("Wide");
  ASSERT_EQ(CreateIndex(w, "U", {"+N"}, DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE), 0);
  ASSERT_EQ(CreateIndex(w, "IA", {"+A", "+N"}, DRM_IDXFLAG_CASE_SENSITIVE), 0);
  ASSERT_EQ(CreateIndex(w, "IB", {"+B", "+N"}, DRM_IDXFLAG_CASE_SENSITIVE), 0);
  auto insert = [&](int n) {
    if (int32_t r = RareInitUpdate(S, w, DRM_INITUPD_NEW)) return r;
    SetInt32(w, ids[0], n);
    SetText(w, ids[1], "a" + std::to_string(n % 30));
    SetText(w, ids[2], "b" + std::to_string(n % 5000));
    return RareUpdateRecord(S, w);
  };
  const std::string tempDir = MakeTempDir();
  ASSERT_FALSE(tempDir.empty());
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, tempDir.c_str(), IN_CREATE), 0);
  sqlite3_temp_directory = sqlite3_mprintf("%s", tempDir.c_str());
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "long"), 0);
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(insert(i * 7919 % 100003), 0) << i;
  EXPECT_EQ(insert(7919), DRM_ERR_DUPLICATE_KEY);
  RareCancelUpdate(S, w);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "long"), 0);
  char events[4096];
  const bool tempFilesMade = read(watch, events, sizeof events) > 0;
  close(watch);
  sqlite3_free(sqlite3_temp_directory);
  sqlite3_temp_directory = nullptr;
  std::filesystem::remove_all(tempDir);
  EXPECT_FALSE(tempFilesMade);
  uint32_t n = 0;
  ASSERT_EQ(RareGetRecordCount(w, &n), 0);
  EXPECT_EQ(n, 4000u);
}
