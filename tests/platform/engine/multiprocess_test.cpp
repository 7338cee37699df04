// Several processes on one database: concurrent writers lose nothing, and a
// writer killed at any moment (in a transaction, in an autocommit write, in
// data definition or in the rollback that keeps it) leaves committed data
// intact, no table with only some of its columns, and a sound file.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "child_process.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

// Runs in a child process: its own session on the database folder.
int32_t ChildInsert(const std::string& dir, int first, int count, bool holdInTransaction, int notifyFd) {
  uint32_t s = 0, d = 0, t = 0;
  if (RareBeginSession(&s, "", "", "") || RareOpenDatabase(s, dir.c_str(), &d, 0, "", "") ||
      RareOpenTable(s, d, "Shared", 0, 0, &t))
    return 1;
  if (holdInTransaction && RareSetTransact(s, DRM_TRANS_START, "killme")) return 2;
  for (int i = first; i < first + count; ++i) {
    int32_t st;
    do {
      st = RareInitUpdate(s, t, DRM_INITUPD_NEW);
      if (!st) st = RareSetColumn(s, t, 1, &i, 4, 0, 0, 0);
      if (!st) st = RareUpdateRecord(s, t);
      if (st == DRM_ERR_LOCK_WRITE) usleep(1000);
    } while (st == DRM_ERR_LOCK_WRITE);
    if (st) return 3;
  }
  if (holdInTransaction) {
    char ok = 1;
    if (write(notifyFd, &ok, 1) != 1) return 4;
    pause();  // killed here, transaction open
  }
  RareEndSession(s);
  return 0;
}

}  // namespace

class MultiProcessTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    CreateTable("Shared", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
    // No connection may cross a fork: the parent reopens after the children ran.
    RareEndSession(S);
    S = 0;
  }
  std::vector<int32_t> ReadAll() {
    EXPECT_EQ(RareBeginSession(&S, "", "", ""), 0);
    EXPECT_EQ(RareOpenDatabase(S, dbDir.c_str(), &D, 0, "", ""), 0);
    uint32_t t = Open("Shared");
    auto v = Scan(t, 1);
    RareCloseTable(S, t);
    return v;
  }
};

TEST_F(MultiProcessTest, ConcurrentWritersLoseNothing) {
  setenv("DAC_ENGINE_BUSY_MS", "2000", 1);
  std::vector<pid_t> kids;
  for (int k = 0; k < 2; ++k) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(ChildInsert(dbDir, k * 1000, 150, false, -1));
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  auto all = ReadAll();
  std::set<int32_t> distinct(all.begin(), all.end());
  EXPECT_EQ(all.size(), 300u);
  EXPECT_EQ(distinct.size(), 300u);
  uint32_t t = Open("Shared"), n = 0;
  ASSERT_EQ(RareGetRecordCount(t, &n), 0);
  EXPECT_EQ(n, 300u);
}

TEST_F(MultiProcessTest, KilledWriterLeavesCommittedDataIntact) {
  pid_t first = fork();
  ASSERT_GE(first, 0);
  if (first == 0) _exit(ChildInsert(dbDir, 0, 20, false, -1));
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  ASSERT_EQ(WEXITSTATUS(status), 0);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t victim = fork();
  ASSERT_GE(victim, 0);
  if (victim == 0) _exit(ChildInsert(dbDir, 500, 40, true, fds[1]));
  char ok = 0;
  ASSERT_EQ(read(fds[0], &ok, 1), 1);
  ASSERT_EQ(kill(victim, SIGKILL), 0);
  ASSERT_EQ(waitpid(victim, &status, 0), victim);
  EXPECT_TRUE(WIFSIGNALED(status));
  close(fds[0]);
  close(fds[1]);

  auto all = ReadAll();
  ASSERT_EQ(all.size(), 20u);
  EXPECT_EQ(all.front(), 0);
  EXPECT_EQ(all.back(), 19);
  // The lock died with the writer: the table takes new records at once.
  uint32_t t = Open("Shared");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, 1, 99), 0);
  EXPECT_EQ(RareUpdateRecord(S, t), 0);
  uint32_t n = 0;
  ASSERT_EQ(RareGetRecordCount(t, &n), 0);
  EXPECT_EQ(n, 21u);
}

namespace {

// What a victim reports once each piece of its work is done (committed, or
// rolled back, as the call answered 0).
struct Note {
  enum Kind : int32_t { Ready, Record, Gone, Table } kind;
  int32_t value;  // the record's value, or the table's number
};

constexpr int kVictimColumns = 4;
std::string VictimTable(int32_t n) { return "K" + std::to_string(n); }

struct Rng {
  uint64_t x;
  uint32_t Next() {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(x >> 33);
  }
};

// Defines table K<n> with its columns through the session's current
// transaction; 0 or the first failure.
int32_t DefineTable(ChildSession& cs, int32_t n) {
  uint32_t h = 0;
  int32_t st = RareCreateTable(cs.s, cs.d, VictimTable(n).c_str(), &h);
  for (int k = 0; k < kVictimColumns && !st; ++k) {
    DRM_ColumnStruct col{};
    col.StructSize = sizeof col;
    col.ColTyp = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);
    uint32_t id = 0;
    st = RareCreateColumn(cs.s, h, ("C" + std::to_string(k)).c_str(), &col, &id);
  }
  if (h) RareCloseTable(cs.s, h);
  return st;
}

int32_t InsertValue(ChildSession& cs, uint32_t t, int32_t v) {
  int32_t st = RareInitUpdate(cs.s, t, DRM_INITUPD_NEW);
  if (!st) st = RareSetColumn(cs.s, t, 1, &v, 4, 0, 0, 0);
  if (!st) st = RareUpdateRecord(cs.s, t);
  if (st) RareCancelUpdate(cs.s, t);
  return st;
}

// Works until it is killed: autocommit inserts, transactions that commit
// or roll back their records, and table definitions inside transactions
// that commit or roll back (the definitions stay either way), some at an
// inner level.
int Victim(const std::string& dir, uint64_t seed, int report) {
  ChildSession cs;
  if (!cs.Open(dir)) return 1;
  uint32_t t = cs.Table("Shared");
  if (!t || !Send(report, Note{Note::Ready, 0})) return 2;
  Rng rnd{seed};
  int32_t nextValue = 1, nextTable = 1;
  for (;;) {
    const uint32_t pick = rnd.Next() % 10;
    if (pick < 3) {
      const int32_t v = nextValue++;
      if (InsertValue(cs, t, v) == 0) Send(report, Note{Note::Record, v});
    } else if (pick < 5) {
      const bool commit = pick == 3;
      const int32_t first = nextValue;
      nextValue += 3;
      int32_t st = RareSetTransact(cs.s, DRM_TRANS_START, "w");
      for (int32_t v = first; v < first + 3 && !st; ++v) st = InsertValue(cs, t, v);
      st = RareSetTransact(cs.s, st == 0 && commit ? DRM_TRANS_COMMIT : DRM_TRANS_ROLLBACK, "w") || st;
      for (int32_t v = first; v < first + 3 && st == 0; ++v) Send(report, Note{commit ? Note::Record : Note::Gone, v});
    } else {
      // Definitions, with records beside them that a rollback takes back.
      const bool nested = pick == 9, commit = pick % 2 == 0;
      const int32_t n = nextTable++, v = nextValue++;
      int32_t st = RareSetTransact(cs.s, DRM_TRANS_START, "d");
      if (!st && nested) st = RareSetTransact(cs.s, DRM_TRANS_START, "inner");
      if (!st) st = InsertValue(cs, t, v);
      if (!st) st = DefineTable(cs, n);
      if (!st && nested) st = RareSetTransact(cs.s, DRM_TRANS_ROLLBACK, "inner");
      int32_t end = RareSetTransact(cs.s, st == 0 && commit && !nested ? DRM_TRANS_COMMIT : DRM_TRANS_ROLLBACK, "d");
      if (st == 0 && end == 0) {
        Send(report, Note{Note::Table, n});
        Send(report, Note{commit && !nested ? Note::Record : Note::Gone, v});
      }
    }
  }
}

struct SqliteCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, SqliteCloser>;
struct StmtCloser {
  void operator()(sqlite3_stmt* st) const noexcept { sqlite3_finalize(st); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

Stmt Query(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
  return Stmt(raw);
}

// What the storage holds after a kill, read with SQLite itself.
struct Found {
  bool sound = false;                // PRAGMA integrity_check said ok
  std::set<int32_t> values;          // of table Shared
  std::map<int32_t, int> columns;    // victim table number -> columns it has
  int tornShapes = 0;                // tables whose description and SQL table disagree
};

Found Inspect(const std::string& file) {
  Found f;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) return f;
  Stmt q = Query(db.get(), "PRAGMA integrity_check");
  f.sound = q && sqlite3_step(q.get()) == SQLITE_ROW &&
            std::string(reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0))) == "ok";
  q = Query(db.get(),
            "SELECT t.id, t.name, (SELECT count(*) FROM drm_columns c WHERE c.table_id = t.id),"
            " (SELECT count(*) FROM pragma_table_info('t' || t.id)) FROM drm_tables t");
  int64_t shared = 0;
  while (q && sqlite3_step(q.get()) == SQLITE_ROW) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 1));
    const int described = sqlite3_column_int(q.get(), 2), stored = sqlite3_column_int(q.get(), 3);
    if (stored != described + 1) ++f.tornShapes;
    if (name == "Shared") shared = sqlite3_column_int64(q.get(), 0);
    if (name.size() > 1 && name[0] == 'K') f.columns[std::stoi(name.substr(1))] = described;
  }
  q = Query(db.get(), "SELECT c1 FROM t" + std::to_string(shared));
  while (q && sqlite3_step(q.get()) == SQLITE_ROW) f.values.insert(sqlite3_column_int(q.get(), 0));
  return f;
}

}  // namespace

// SIGKILL at a random moment of mixed work, trial after trial, each on a
// fresh database: what was acknowledged is there, what was rolled back is
// not, every table has all its columns or does not exist, and SQLite finds
// the file sound.
TEST_F(MultiProcessTest, KilledProcessesLoseNoCommittedWorkAndTearNoTable) {
  const int trials = Scaled(100);
  int lostRecords = 0, lostTables = 0, kept = 0, tornTables = 0, corrupt = 0;
  int ackedRecords = 0, ackedTables = 0, goneRecords = 0, killedAfter = 0;
  Rng timing{12345};
  for (int trial = 0; trial < trials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const std::string dir = dbDir + "/trial" + std::to_string(trial);
    std::filesystem::create_directories(dir);
    {
      ASSERT_EQ(RareBeginSession(&S, "", "", ""), 0);
      ASSERT_EQ(RareOpenDatabase(S, dir.c_str(), &D, 0, "", ""), 0);
      CreateTable("Shared", {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
      RareEndSession(S);
      S = 0;
    }
    Child victim([&](int fd) { return Victim(dir, 1000u + static_cast<uint64_t>(trial), fd); });
    ASSERT_TRUE(victim.Valid());
    victim.Start();
    ASSERT_TRUE(victim.WaitForReport(sizeof(Note), NowSeconds() + 10)) << "the victim never got going";
    // Kill it somewhere in its first few hundred operations.
    victim.ReadReport(NowSeconds() + 0.001 * (timing.Next() % 25) * SlowerBy());
    victim.Kill();
    EXPECT_EQ(victim.Finish(), 128 + SIGKILL);

    std::set<int32_t> acked, gone, tables;
    Note note{};
    for (size_t i = 1; Receive(victim.Report(), i, note); ++i) {
      if (note.kind == Note::Record) acked.insert(note.value);
      if (note.kind == Note::Gone) gone.insert(note.value);
      if (note.kind == Note::Table) tables.insert(note.value);
    }
    if (!acked.empty() || !tables.empty()) ++killedAfter;
    ackedRecords += static_cast<int>(acked.size());
    ackedTables += static_cast<int>(tables.size());
    goneRecords += static_cast<int>(gone.size());

    Found f = Inspect(dir + "/engine.rdb");
    if (!f.sound) ++corrupt;
    for (int32_t v : acked) lostRecords += f.values.count(v) ? 0 : 1;
    for (int32_t v : gone) kept += f.values.count(v) ? 1 : 0;
    for (int32_t n : tables) lostTables += f.columns.count(n) ? 0 : 1;
    tornTables += f.tornShapes;
    for (auto [n, cols] : f.columns) tornTables += cols == kVictimColumns ? 0 : 1;
    EXPECT_TRUE(f.sound);
  }
  std::cout << "[crash] " << trials << " SIGKILL trials (" << killedAfter << " after acknowledged work): "
            << ackedRecords << " acknowledged records, " << lostRecords << " lost; " << goneRecords
            << " rolled back, " << kept << " still there; " << ackedTables << " acknowledged tables, " << lostTables
            << " lost; " << tornTables << " torn tables; " << corrupt << " corrupt files\n";
  EXPECT_EQ(lostRecords, 0);
  EXPECT_EQ(kept, 0);
  EXPECT_EQ(lostTables, 0);
  EXPECT_EQ(tornTables, 0);
  EXPECT_EQ(corrupt, 0);
  // Not a property of the engine: a check that the kills land in the middle
  // of the work rather than before it.
  EXPECT_GT(killedAfter, trials / 3) << "too few kills landed after some work was acknowledged";
}
