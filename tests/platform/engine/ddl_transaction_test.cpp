// Table definitions made inside a transaction outlive its rollback, whoever
// else wants the storage at that moment, and however the transaction ends:
// an explicit rollback, the end of the session, or closing the database. A
// rollback that cannot keep them says so and leaves no transaction behind.
#include "child_process.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

const uint32_t kInt = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);

// Checks, in its own process, what another process sees of table `name`:
// exit 0 when it has `columns` columns and `records` records.
int CheckTable(const std::string& dir, const std::string& name, int columns, uint32_t records) {
  ChildSession cs;
  if (!cs.Open(dir)) return 1;
  uint32_t t = cs.Table(name.c_str());
  if (!t) return 2;
  if (CountColumns(cs.s, t) != columns) return 3;
  uint32_t n = 0;
  if (RareGetRecordCount(t, &n) || n != records) return 4;
  return 0;
}
const char* kCheckCodes = "1: no session, 2: no table, 3: other columns, 4: other records";

// Takes the write lock as soon as it is free and holds it for `holdMs`:
// reports one byte once it found the lock taken, another once it holds it.
int Grab(const std::string& dir, int holdMs, int report) {
  setenv("DAC_ENGINE_BUSY_MS", "0", 1);  // never wait: try again at once
  ChildSession cs;
  if (!cs.Open(dir)) return 1;
  uint32_t t = cs.Table("Other");
  if (!t) return 2;
  bool told = false;
  for (const double end = NowSeconds() + 10; NowSeconds() < end;) {
    if (RareSetTransact(cs.s, DRM_TRANS_START, "grab")) return 3;
    const int32_t one = 1;
    int32_t st = RareInitUpdate(cs.s, t, DRM_INITUPD_NEW);
    if (!st) st = RareSetColumn(cs.s, t, 1, &one, 4, 0, 0, 0);
    if (!st) st = RareUpdateRecord(cs.s, t);
    if (st == 0) {
      if (!Send(report, '+')) return 4;
      usleep(static_cast<useconds_t>(holdMs) * 1000);
      return RareSetTransact(cs.s, DRM_TRANS_COMMIT, "grab") ? 5 : 0;
    }
    RareCancelUpdate(cs.s, t);
    RareSetTransact(cs.s, DRM_TRANS_ROLLBACK, "grab");
    if (st != DRM_ERR_LOCK_WRITE) return 6;
    if (!told && !Send(report, '-')) return 4;
    told = true;
  }
  return 7;
}

}  // namespace

class DdlTransactionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CreateTable("Other", {{"N", kInt}});
    // No connection may cross a fork: children are forked while the parent
    // has none, and the parent opens its session afterwards.
    RareEndSession(S);
    S = 0;
  }
  void Reopen() {
    ASSERT_EQ(RareBeginSession(&S, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(S, dbDir.c_str(), &D, 0, "", ""), 0);
  }
  int32_t Insert(uint32_t t, int32_t v) {
    int32_t st = RareInitUpdate(S, t, DRM_INITUPD_NEW);
    if (!st) st = SetInt32(t, 1, v);
    if (!st) st = RareUpdateRecord(S, t);
    if (st) RareCancelUpdate(S, t);
    return st;
  }
  uint32_t Records(const std::string& name) {
    uint32_t t = Open(name), n = 0;
    EXPECT_EQ(RareGetRecordCount(t, &n), 0);
    RareCloseTable(S, t);
    return n;
  }
};

// The rollback gives the lock back only once the definitions are written
// again, so a process that was waiting for it cannot take it in between.
// Each trial has a second process try for the lock without pause while the
// transaction rolls back, then hold it longer than this session waits.
TEST_F(DdlTransactionTest, RollbackKeepsDefinitionsWhileAnotherProcessWaitsForTheLock) {
  setenv("DAC_ENGINE_BUSY_MS", "50", 1);  // shorter than the other process holds the lock
  const int trials = Scaled(10);
  for (int trial = 0; trial < trials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const std::string name = "Side" + std::to_string(trial);
    Child grabber([&](int fd) { return Grab(dbDir, 120, fd); });
    Child checker([&](int) { return CheckTable(dbDir, name, 3, 1); });
    ASSERT_TRUE(grabber.Valid() && checker.Valid());
    Reopen();
    ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "t"), 0);
    CreateTable(name, {{"A", kInt}, {"B", kInt}, {"C", kInt}});
    grabber.Start();
    ASSERT_TRUE(grabber.WaitForReport(1, NowSeconds() + 10)) << "the other process never tried for the lock";
    int32_t st = RareSetTransact(S, DRM_TRANS_ROLLBACK, "t");
    EXPECT_EQ(st, 0) << ExtErr(st);
    // The table is there, complete, and takes records outside any
    // transaction once the other process lets go.
    uint32_t t = Open(name);
    ASSERT_NE(t, 0u);
    EXPECT_EQ(CountColumns(S, t), 3);
    for (const double end = NowSeconds() + 10; (st = Insert(t, trial)) == DRM_ERR_LOCK_WRITE && NowSeconds() < end;) {
    }
    EXPECT_EQ(st, 0) << ExtErr(st);
    EXPECT_EQ(grabber.Finish(), 0);
    // Another process sees the record: this session is in no transaction.
    checker.Start();
    EXPECT_EQ(checker.Finish(), 0) << kCheckCodes;
    RareEndSession(S);
    S = 0;
  }
}

// Ending the session or closing the database ends the open transaction as a
// rollback does: its rows go, its table definitions stay.
TEST_F(DdlTransactionTest, EndingTheSessionOrDatabaseKeepsTheDefinitionsOfItsTransaction) {
  Reopen();
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "open"), 0);
  CreateTable("Kept", {{"A", kInt}, {"B", kInt}});
  ASSERT_EQ(Insert(Open("Kept"), 1), 0);
  EXPECT_EQ(RareEndSession(S), 0);
  S = 0;

  Reopen();
  uint32_t t = Open("Kept");
  ASSERT_NE(t, 0u);
  EXPECT_EQ(CountColumns(S, t), 2);
  EXPECT_EQ(Records("Kept"), 0u);
  RareCloseTable(S, t);

  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "open"), 0);
  CreateTable("AlsoKept", {{"A", kInt}});
  ASSERT_EQ(Insert(Open("AlsoKept"), 1), 0);
  EXPECT_EQ(RareCloseDatabase(S, D), 0);
  ASSERT_EQ(RareOpenDatabase(S, dbDir.c_str(), &D, 0, "", ""), 0);
  t = Open("AlsoKept");
  ASSERT_NE(t, 0u);
  EXPECT_EQ(CountColumns(S, t), 1);
  EXPECT_EQ(Records("AlsoKept"), 0u);
  // The session's transaction goes on for the database opened again.
  ASSERT_EQ(Insert(t, 2), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "open"), 0);
  EXPECT_EQ(Records("AlsoKept"), 0u);
}

// Rolling back an inner level keeps its definitions inside the outer one;
// rolling back the outer level keeps them all.
TEST_F(DdlTransactionTest, NestedLevelsKeepTheirDefinitionsThroughEveryRollback) {
  Reopen();
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "outer"), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "inner"), 0);
  CreateTable("Inner", {{"A", kInt}});
  ASSERT_EQ(Insert(Open("Inner"), 1), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "inner"), 0);
  EXPECT_EQ(Records("Inner"), 0u);
  ASSERT_EQ(Insert(Open("Inner"), 2), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "committed"), 0);
  CreateTable("Committed", {{"A", kInt}, {"B", kInt}});
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "committed"), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "outer"), 0);
  EXPECT_EQ(Records("Inner"), 0u);
  uint32_t t = Open("Committed");
  EXPECT_EQ(CountColumns(S, t), 2);
  EXPECT_EQ(Records("Committed"), 0u);
  // The transaction is over: a write is at once visible to another process.
  RareCloseTable(S, t);
  RareEndSession(S);
  S = 0;
  Child checker([&](int) { return CheckTable(dbDir, "Committed", 2, 1); });
  Reopen();
  ASSERT_EQ(Insert(Open("Committed"), 3), 0);
  checker.Start();
  EXPECT_EQ(checker.Finish(), 0) << kCheckCodes;
}

// A definition that cannot be made again once the rows are back (a unique
// index over records the transaction had deleted) fails the rollback: it
// answers that status with a text, keeps none of the transaction's
// definitions, and leaves the session in no transaction.
TEST_F(DdlTransactionTest, RollbackThatCannotKeepTheDefinitionsSaysSoAndEndsTheTransaction) {
  Child checker([&](int) { return CheckTable(dbDir, "Other", 1, 3); });
  Reopen();
  uint32_t t = Open("Other");
  ASSERT_EQ(Insert(t, 7), 0);
  ASSERT_EQ(Insert(t, 7), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "t"), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  ASSERT_EQ(RareDeleteRecord(S, t), 0);
  ASSERT_EQ(CreateIndex(t, "Unique", {"+N"}, DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE), 0);
  CreateTable("MadeToo", {{"A", kInt}});
  int32_t st = RareSetTransact(S, DRM_TRANS_ROLLBACK, "t");
  EXPECT_EQ(st, DRM_ERR_DUPLICATE_KEY);
  const std::string why = ExtErr(st);
  EXPECT_NE(why.find("rolled back"), std::string::npos) << why;
  EXPECT_NE(why.find("not kept"), std::string::npos) << why;
  // All or nothing: no definition of the transaction is left.
  EXPECT_EQ(RareSetTableIndex(S, t, "Unique"), DRM_ERR_NO_SUCH_INDEX);
  uint32_t none = 0;
  EXPECT_EQ(RareOpenTable(S, D, "MadeToo", 0, 0, &none), DRM_ERR_NO_SUCH_TABLE);
  EXPECT_EQ(Records("Other"), 2u);
  EXPECT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "t"), 0);  // no longer open
  // The next write is committed on its own: another process sees it.
  ASSERT_EQ(Insert(t, 8), 0);
  checker.Start();
  EXPECT_EQ(checker.Finish(), 0) << kCheckCodes;
}
