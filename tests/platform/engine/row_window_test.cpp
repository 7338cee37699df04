// Inside a write transaction a cursor answers moves and reads around its
// recent rows from memory, and patches its own writes into them. The same
// random run of moves, inserts, updates, deletes, bookmark jumps and writes
// through a second handle goes to two identical tables: one inside a
// transaction (rows kept in memory), one in autocommit mode (every move a
// statement). Every status, bookmark and value must agree.
#include <sqlite3.h>

#include <random>

#include "engine_fixture.h"
#include "support/test_seed.h"

using namespace enginetest;

namespace {

class RowWindowTest : public EngineTest {
 public:
  struct Side {
    uint32_t s = 0, t = 0, other = 0;
    std::vector<uint32_t> cols;
  };

 protected:
  Side inTxn, autoCommit;
  uint32_t s2 = 0, d2 = 0;

  void SetUp() override {
    EngineTest::SetUp();
    const std::string db2 = root + "/db2";
    std::filesystem::create_directories(db2);
    ASSERT_EQ(RareBeginSession(&s2, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(s2, ("\t" + db2).c_str(), &d2, 0, "", ""), 0);
    Make(inTxn, S, D);
    Make(autoCommit, s2, d2);
  }
  void TearDown() override {
    if (s2) RareEndSession(s2);
    EngineTest::TearDown();
  }

  void Make(Side& side, uint32_t s, uint32_t d) {
    side.s = s;
    side.cols = CreateTable("T",
                            {{"K", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 8},
                             {"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                             {"V", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20}},
                            s, d);
    side.t = Open("T", 0, s, d);
    side.other = Open("T", 0, s, d);
    // Text without case, then a descending number: the order the window
    // must reproduce when it places a written row.
    auto spec = KeySpec({"+K", "-N"});
    ASSERT_EQ(RareCreateIndex(s, side.t, "I", 0, spec.data(), static_cast<uint32_t>(spec.size()), 0), 0);
    ASSERT_EQ(RareSetTableIndex(s, side.t, "I"), 0);
  }

  // What a caller can see of the cursor after an operation.
  static std::string Seen(const Side& side, int32_t status) {
    std::string out = "status " + std::to_string(status);
    uint32_t bm = 0, len = 0;
    if (RareGetBookmark(side.s, side.t, &bm, 4, &len) != 0) return out + " no record";
    out += " bm " + std::to_string(bm);
    for (uint32_t c : side.cols) {
      char buf[64] = {};
      int32_t st = RareRetrieveColumn(side.s, side.t, c, buf, sizeof buf, &len, nullptr);
      out += st == DRM_WARN_NULL ? " <null>" : st != 0 ? " <" + std::to_string(st) + ">" : " '" + std::string(buf) + "'";
    }
    return out;
  }
};

struct Op {
  int kind;
  std::string key;
  bool nullKey;
  int32_t n;
  std::string v;
  uint32_t bm;
};

Op RandomOp(std::mt19937& rng) {
  static const char* keys[] = {"a", "A", "b", "B", "bb", "c", "C", "d"};
  Op op{};
  op.kind = static_cast<int>(rng() % 13);
  op.key = keys[rng() % 8];
  op.nullKey = rng() % 9 == 0;
  op.n = static_cast<int32_t>(rng() % 5);
  op.v = "v" + std::to_string(rng() % 1000);
  op.bm = static_cast<uint32_t>(1 + rng() % 60);
  return op;
}

int32_t Write(uint32_t s, uint32_t t, const std::vector<uint32_t>& cols, const Op& op, int32_t mode, int fields) {
  if (int32_t st = RareInitUpdate(s, t, mode)) return st;
  auto text = [&](uint32_t c, const std::string& v) {
    std::string z = v + '\0';
    return RareSetColumn(s, t, c, z.data(), static_cast<uint32_t>(z.size()), 0, 0, 0);
  };
  if (fields & 1) op.nullKey ? RareSetColumn(s, t, cols[0], nullptr, 0, 0, 1, 0) : text(cols[0], op.key);
  if (fields & 2) RareSetColumn(s, t, cols[1], &op.n, 4, 0, 0, 0);
  if (fields & 4) text(cols[2], op.v);
  int32_t st = RareUpdateRecord(s, t);
  if (st) RareCancelUpdate(s, t);
  return st;
}

int32_t Apply(const RowWindowTest::Side& side, const Op& op) {
  const uint32_t s = side.s, t = side.t;
  switch (op.kind) {
    case 0: return RareMove(s, t, DRM_MOVE_FIRST);
    case 1: return RareMove(s, t, DRM_MOVE_LAST);
    case 2:
    case 3: return RareMove(s, t, DRM_MOVE_NEXT);
    case 4:
    case 5: return RareMove(s, t, DRM_MOVE_PREVIOUS);
    case 6:
    case 7: return Write(s, t, side.cols, op, DRM_INITUPD_NEW, 7);
    case 8: return Write(s, t, side.cols, op, DRM_INITUPD_CURRENT, 4);  // the key stays
    case 9: return Write(s, t, side.cols, op, DRM_INITUPD_CURRENT, 3);  // the record moves
    case 10: return RareDeleteRecord(s, t);
    case 11: return RareGotoBookmark(s, t, &op.bm, 4);
    default: return Write(s, side.other, side.cols, op, DRM_INITUPD_NEW, 7);
  }
}

TEST_F(RowWindowTest, MovesReadsAndOwnWritesAgreeWithAutocommitCursor) {
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "run"), 0);
  const uint32_t seed = testseed::Seed(20261210);
  SCOPED_TRACE(testseed::Describe(seed));
  std::mt19937 rng(seed);
  for (int i = 0; i < 4000; ++i) {
    const Op op = RandomOp(rng);
    // Now and then the transaction ends: what was read inside it is not
    // trusted in the next one.
    if (i % 700 == 699) {
      ASSERT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "run"), 0);
      ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "run"), 0);
    }
    const std::string a = Seen(inTxn, Apply(inTxn, op));
    const std::string b = Seen(autoCommit, Apply(autoCommit, op));
    ASSERT_EQ(a, b) << "operation " << i << " (kind " << op.kind << ")";
  }
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_COMMIT, "run"), 0);
}

TEST_F(RowWindowTest, RolledBackRowsAreNotServedFromMemory) {
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_START, "run"), 0);
  Op op{6, "a", false, 1, "x", 0};
  ASSERT_EQ(Apply(inTxn, op), 0);
  op.key = "b";
  ASSERT_EQ(Apply(inTxn, op), 0);
  ASSERT_EQ(RareMove(S, inTxn.t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareMove(S, inTxn.t, DRM_MOVE_NEXT), 0);
  ASSERT_EQ(RareSetTransact(S, DRM_TRANS_ROLLBACK, "run"), 0);
  EXPECT_EQ(RareMove(S, inTxn.t, DRM_MOVE_FIRST), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(RareMove(S, inTxn.t, DRM_MOVE_LAST), DRM_ERR_NO_CURRENT_RECORD);
}

}  // namespace

namespace {

// The end of the visible set, once run into, is not looked for again after
// a jump back to the last record, unless another connection committed since:
// a row it added beyond the end must be found.
class EndOfSetTest : public EngineTest {};

TEST_F(EndOfSetTest, ARowCommittedElsewhereBeyondTheEndIsFound) {
  const auto ids = CreateTable("T", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  const uint32_t t = Open("T");
  for (int32_t n = 1; n <= 3; ++n) {
    ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
    ASSERT_EQ(SetInt32(t, ids[0], n), 0);
    ASSERT_EQ(RareUpdateRecord(S, t), 0);
  }
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  const uint32_t last = Bookmark(t);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  ASSERT_EQ(RareGotoBookmark(S, t, &last, 4), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);  // still the end

  // Another connection, as another process would, adds a row at the end.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dbDir + "/engine.rdb").c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 2000);
  const std::string insert = "INSERT INTO t1(c" + std::to_string(ids[0]) + ") VALUES(4)";
  EXPECT_EQ(sqlite3_exec(other, insert.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
  sqlite3_close(other);

  ASSERT_EQ(RareGotoBookmark(S, t, &last, 4), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, ids[0]), 4);

  // The same while another cursor's walk keeps a read transaction open:
  // the end is remembered within it, and a row committed elsewhere comes
  // into view once that walk has ended.
  const uint32_t u = Open("T");
  ASSERT_EQ(RareMove(S, u, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareMove(S, u, DRM_MOVE_NEXT), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  const uint32_t fourth = 4;
  ASSERT_EQ(RareGotoBookmark(S, t, &fourth, 4), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), DRM_ERR_NO_CURRENT_RECORD);
  ASSERT_EQ(sqlite3_open((dbDir + "/engine.rdb").c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 2000);
  const std::string insert5 = "INSERT INTO t1(c" + std::to_string(ids[0]) + ") VALUES(5)";
  EXPECT_EQ(sqlite3_exec(other, insert5.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
  sqlite3_close(other);
  while (RareMove(S, u, DRM_MOVE_NEXT) == 0) {
  }
  ASSERT_EQ(RareGotoBookmark(S, t, &fourth, 4), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, ids[0]), 5);
}

}  // namespace
