// Two processes editing the same records at once: every acknowledged change
// is in the data afterwards, every refused one says so with -5202 and a text
// that tells what happened, and numbers drawn by concurrent inserts never
// repeat.
#include <iostream>
#include <set>

#include "child_process.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

constexpr int kRecords = 4;

// What an editing child did.
struct EditTally {
  int32_t acked[kRecords] = {};
  int32_t conflicts = 0;
  int32_t other = 0;        // refusals with another status than -5202
  int32_t lastOther = 0;    // ... the last of them
  int32_t waitTexts = 0;    // conflicts inside a transaction whose text speaks of a wait
  int32_t vagueTexts = 0;   // conflicts whose text names neither a change nor a writer
  double slowestInTxn = 0;  // seconds, of a refused update inside a transaction
};

// Small deterministic generator: each child picks its own order of records.
struct Lcg {
  uint32_t x;
  uint32_t Next() { return x = x * 1664525u + 1013904223u; }
};

// `edits` read-modify-write increments of column `col` of the records, each
// one on its own or, with `inTxn`, each in its own transaction.
int EditChild(const std::string& dir, uint32_t col, int edits, bool inTxn, uint32_t seed, int report) {
  ChildSession cs;
  if (!cs.Open(dir)) return 1;
  uint32_t t = cs.Table("Counters");
  if (!t) return 2;
  uint32_t bms[kRecords] = {};
  int32_t st = RareMove(cs.s, t, DRM_MOVE_FIRST);
  for (int k = 0; k < kRecords; ++k) {
    uint32_t len = 0;
    if (st || RareGetBookmark(cs.s, t, &bms[k], 4, &len)) return 3;
    st = RareMove(cs.s, t, DRM_MOVE_NEXT);
  }
  EditTally tally;
  Lcg rnd{seed};
  for (int i = 0; i < edits; ++i) {
    const uint32_t k = (rnd.Next() >> 8) % kRecords;
    const double began = NowSeconds();
    st = inTxn ? RareSetTransact(cs.s, DRM_TRANS_START, "edit") : 0;
    if (!st) st = RareGotoBookmark(cs.s, t, &bms[k], 4);
    if (!st) st = RareInitUpdate(cs.s, t, DRM_INITUPD_CURRENT);
    int32_t v = 0;
    uint32_t len = 0;
    if (!st) st = RareRetrieveColumn(cs.s, t, col, &v, 4, &len, nullptr);
    ++v;
    if (!st) st = RareSetColumn(cs.s, t, col, &v, 4, 0, 0, 0);
    if (!st) st = RareUpdateRecord(cs.s, t);
    const double took = NowSeconds() - began;
    if (!st && inTxn) st = RareSetTransact(cs.s, DRM_TRANS_COMMIT, "edit");
    if (st == 0) {
      ++tally.acked[k];
      continue;
    }
    if (st == DRM_ERR_RECORD_LOCKED) {
      ++tally.conflicts;
      const std::string why = cs.Text(st);
      if (inTxn && why.find("wait time") != std::string::npos) ++tally.waitTexts;
      if (why.find("changed") == std::string::npos && why.find("writing") == std::string::npos &&
          why.find("wait time") == std::string::npos)
        ++tally.vagueTexts;
      if (inTxn && took > tally.slowestInTxn) tally.slowestInTxn = took;
    } else {
      ++tally.other;
      tally.lastOther = st;
    }
    RareCancelUpdate(cs.s, t);
    if (inTxn) RareSetTransact(cs.s, DRM_TRANS_ROLLBACK, "edit");
  }
  return Send(report, tally) ? 0 : 4;
}

// `count` inserts into each of the numbered tables, alternating.
struct NumberTally {
  int32_t failed[2] = {};  // per table
  int32_t lastFailure = 0;
};

int NumberChild(const std::string& dir, uint32_t whoCol, int count, int32_t who, int report) {
  ChildSession cs;
  if (!cs.Open(dir)) return 1;
  uint32_t tables[2] = {cs.Table("Plain"), cs.Table("Unique")};
  if (!tables[0] || !tables[1]) return 2;
  NumberTally tally;
  for (int i = 0; i < count; ++i) {
    for (size_t k = 0; k < 2; ++k) {
      const uint32_t t = tables[k];
      int32_t st = RareInitUpdate(cs.s, t, DRM_INITUPD_NEW);
      if (!st) st = RareSetColumn(cs.s, t, whoCol, &who, 4, 0, 0, 0);
      if (!st) st = RareUpdateRecord(cs.s, t);
      if (st) {
        ++tally.failed[k];
        tally.lastFailure = st;
        RareCancelUpdate(cs.s, t);
      }
    }
  }
  return Send(report, tally) ? 0 : 4;
}

}  // namespace

class ConcurrentEditTest : public EngineTest {
 protected:
  uint32_t cN = 0;

  void SetUp() override {
    EngineTest::SetUp();
    // Generous: waits for the lock must not be what the figures measure.
    setenv("DAC_ENGINE_BUSY_MS", "5000", 1);
    cN = CreateTable("Counters", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}})[0];
    uint32_t t = Open("Counters");
    for (int k = 0; k < kRecords; ++k) {
      ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
      ASSERT_EQ(SetInt32(t, cN, 0), 0);
      ASSERT_EQ(RareUpdateRecord(S, t), 0);
    }
    // No connection may cross a fork: the parent reopens after the children ran.
    RareEndSession(S);
    S = 0;
  }

  void Reopen() {
    ASSERT_EQ(RareBeginSession(&S, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(S, dbDir.c_str(), &D, 0, "", ""), 0);
  }

  // Runs two editing children at once and checks that the data holds
  // exactly the increments they were told succeeded.
  void EditConcurrently(bool inTxn) {
    const int edits = Scaled(5000);
    Child a([&](int fd) { return EditChild(dbDir, cN, edits, inTxn, 1, fd); });
    Child b([&](int fd) { return EditChild(dbDir, cN, edits, inTxn, 2, fd); });
    ASSERT_TRUE(a.Valid() && b.Valid());
    a.Start();
    b.Start();
    ASSERT_EQ(a.Finish(), 0);
    ASSERT_EQ(b.Finish(), 0);
    EditTally ta, tb;
    ASSERT_TRUE(Receive(a.Report(), 0, ta));
    ASSERT_TRUE(Receive(b.Report(), 0, tb));

    Reopen();
    uint32_t t = Open("Counters");
    std::vector<int32_t> stored = Scan(t, cN);
    ASSERT_EQ(stored.size(), size_t{kRecords});
    int64_t acked = 0, kept = 0;
    for (int k = 0; k < kRecords; ++k) {
      EXPECT_EQ(stored[static_cast<size_t>(k)], ta.acked[k] + tb.acked[k]) << "record " << k;
      acked += ta.acked[k] + tb.acked[k];
      kept += stored[static_cast<size_t>(k)];
    }
    const int32_t conflicts = ta.conflicts + tb.conflicts;
    std::cout << (inTxn ? "[inside transactions] " : "[outside transactions] ") << 2 * edits << " edits: " << acked
              << " acknowledged, " << acked - kept << " lost, " << conflicts << " refused with -5202, "
              << ta.other + tb.other << " other refusals\n";
    EXPECT_EQ(acked - kept, 0) << "acknowledged increments lost";
    // Every edit was either acknowledged or refused as a conflict.
    EXPECT_EQ(ta.other + tb.other, 0) << "last other status: " << ta.lastOther << " / " << tb.lastOther;
    EXPECT_EQ(acked + conflicts, 2 * edits);
    EXPECT_EQ(ta.vagueTexts + tb.vagueTexts, 0) << "conflicts whose text says neither what changed nor who writes";
    if (inTxn) {
      // Inside a transaction nothing waits: the conflict is answered at once
      // and its text says what happened, not that a wait ran out.
      EXPECT_EQ(ta.waitTexts + tb.waitTexts, 0);
      EXPECT_LT(std::max(ta.slowestInTxn, tb.slowestInTxn), 1.0);
    }
  }
};

TEST_F(ConcurrentEditTest, EditsOutsideTransactionsLoseNoAcknowledgedUpdate) { EditConcurrently(false); }

TEST_F(ConcurrentEditTest, EditsInsideTransactionsLoseNoAcknowledgedUpdate) { EditConcurrently(true); }

// Two processes inserting into tables with an auto-increment column, one
// without and one with a unique index on it: the numbers never repeat, and
// no insert fails for a number the other process drew at the same time.
TEST_F(ConcurrentEditTest, ConcurrentInsertsDrawDistinctAutoIncrementNumbers) {
  Reopen();
  std::vector<uint32_t> cols;
  for (const char* name : {"Plain", "Unique"})
    cols = CreateTable(name, {{"No", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT32)},
                              {"Who", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
  uint32_t u = Open("Unique");
  ASSERT_EQ(CreateIndex(u, "ByNo", {"+No"}, DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE), 0);
  RareEndSession(S);
  S = 0;

  const int count = Scaled(2500);
  const uint32_t whoCol = cols[1];
  Child a([&](int fd) { return NumberChild(dbDir, whoCol, count, 1, fd); });
  Child b([&](int fd) { return NumberChild(dbDir, whoCol, count, 2, fd); });
  ASSERT_TRUE(a.Valid() && b.Valid());
  a.Start();
  b.Start();
  ASSERT_EQ(a.Finish(), 0);
  ASSERT_EQ(b.Finish(), 0);
  NumberTally ta, tb;
  ASSERT_TRUE(Receive(a.Report(), 0, ta));
  ASSERT_TRUE(Receive(b.Report(), 0, tb));
  Reopen();
  const char* names[2] = {"Plain", "Unique"};
  for (size_t k = 0; k < 2; ++k) {
    const char* name = names[k];
    const int32_t failed = ta.failed[k] + tb.failed[k];
    EXPECT_EQ(failed, 0) << name << ", last failures: " << ta.lastFailure << " / " << tb.lastFailure;
    std::vector<int32_t> numbers = Scan(Open(name), cols[0]);
    std::set<int32_t> distinct(numbers.begin(), numbers.end());
    std::cout << "[" << name << "] " << numbers.size() << " records, " << numbers.size() - distinct.size()
              << " repeated numbers, " << failed << " failed inserts\n";
    EXPECT_EQ(numbers.size(), static_cast<size_t>(2 * count - failed));
    EXPECT_EQ(distinct.size(), numbers.size()) << name;
    if (!distinct.empty()) {
      EXPECT_EQ(*distinct.begin(), 1) << name;
      EXPECT_EQ(*distinct.rbegin(), static_cast<int32_t>(distinct.size())) << name;
    }
  }
}
