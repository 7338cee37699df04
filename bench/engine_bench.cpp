// The record engine against plain SQLite on the same storage file, in one
// run: (a) a full forward scan of six-column records, (b) a keyed seek, and
// (c) a filtered scan with an equality on the leading segment of an index
// at two table sizes (it must seek, so both sizes take the same time).
//
// DAC_BENCH_ROWS sets the size of the large table (default 1,000,000); the
// small table has a tenth of it. The data is built once per process in a
// scratch directory, which is removed at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "engine/drm.h"

namespace {

// Every group of the filtered scan holds this many records at either size.
constexpr uint32_t kGroupSize = 100;

using benchsupport::Check;
using benchsupport::CheckSql;

struct BenchTable {
  std::string Name;       // engine table
  std::string PlainName;  // plain SQLite table with the same rows
  uint32_t Rows = 0;
  uint32_t Groups = 0;
};

// The six columns, by id as the engine returned them.
struct Columns {
  uint32_t Id = 0, Code = 0, Name = 0, Amount = 0, Grp = 0, Created = 0;
} gCols;

struct World {
  std::string Dir;        // scratch directory
  std::string Location;   // engine database folder
  std::string StorageFile;
  BenchTable Small, Large;
  uint32_t Session = 0, Database = 0;
  sqlite3* Plain = nullptr;
} gWorld;

uint32_t Rows() { return benchsupport::BenchRows(1000000); }

// The values of record i.
struct Record {
  int32_t Id, Grp;
  char Code[16];
  char Name[31];
  double Amount;
  uint16_t Created[3];
};

Record MakeRecord(uint32_t i) {
  Record r{};
  r.Id = static_cast<int32_t>(i + 1);
  // A group's records are neighbours, so a seek reads a few pages at any
  // table size while a scan would read them all.
  r.Grp = static_cast<int32_t>(i / kGroupSize);
  std::snprintf(r.Code, sizeof r.Code, "C%08u", i + 1);
  std::snprintf(r.Name, sizeof r.Name, "Company number %u", (i * 7919u) % 1000003u);
  r.Amount = (i % 100000) * 1.25;
  r.Created[0] = static_cast<uint16_t>(1990 + i % 30);
  r.Created[1] = static_cast<uint16_t>(1 + i % 12);
  r.Created[2] = static_cast<uint16_t>(1 + i % 28);
  return r;
}

void CreateColumn(uint32_t table, const char* name, uint32_t colTyp, uint32_t cbMax, uint32_t* id) {
  DRM_ColumnStruct c{};
  c.StructSize = sizeof c;
  c.ColTyp = colTyp;
  c.cbMax = cbMax;
  Check(RareCreateColumn(gWorld.Session, table, name, &c, id), "RareCreateColumn");
}

void BuildEngineTable(const BenchTable& t) {
  uint32_t h = 0;
  Check(RareCreateTable(gWorld.Session, gWorld.Database, t.Name.c_str(), &h), "RareCreateTable");
  CreateColumn(h, "Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4, &gCols.Id);
  CreateColumn(h, "Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10, &gCols.Code);
  CreateColumn(h, "Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 30, &gCols.Name);
  CreateColumn(h, "Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8, &gCols.Amount);
  CreateColumn(h, "Grp", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4, &gCols.Grp);
  CreateColumn(h, "Created", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4, &gCols.Created);
  Check(RareCloseTable(gWorld.Session, h), "RareCloseTable");
  Check(RareOpenTable(gWorld.Session, gWorld.Database, t.Name.c_str(), 0, DRM_TBLOPEN_NORMAL, &h),
        "RareOpenTable");
  Check(RareSetTransact(gWorld.Session, DRM_TRANS_START, "build"), "RareSetTransact");
  for (uint32_t i = 0; i < t.Rows; ++i) {
    Record r = MakeRecord(i);
    Check(RareInitUpdate(gWorld.Session, h, DRM_INITUPD_NEW), "RareInitUpdate");
    Check(RareSetColumn(gWorld.Session, h, gCols.Id, &r.Id, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(gWorld.Session, h, gCols.Code, r.Code, 9, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(gWorld.Session, h, gCols.Name, r.Name, static_cast<uint32_t>(strlen(r.Name)), 0, 0, 0),
          "RareSetColumn");
    Check(RareSetColumn(gWorld.Session, h, gCols.Amount, &r.Amount, 8, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(gWorld.Session, h, gCols.Grp, &r.Grp, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(gWorld.Session, h, gCols.Created, r.Created, 6, 0, 0, 0), "RareSetColumn");
    Check(RareUpdateRecord(gWorld.Session, h), "RareUpdateRecord");
  }
  Check(RareSetTransact(gWorld.Session, DRM_TRANS_COMMIT, "build"), "RareSetTransact");
  // Indexes after the rows: one bulk build instead of a million updates.
  Check(RareCreateIndex(gWorld.Session, h, "byId", DRM_IDXFLAG_UNIQUE, "+Id\0\0", 5, 0), "RareCreateIndex");
  Check(RareCreateIndex(gWorld.Session, h, "byGrp", 0, "+Grp\0+Id\0\0", 10, 0), "RareCreateIndex");
  Check(RareCloseTable(gWorld.Session, h), "RareCloseTable");
}

void BuildPlainTable(const BenchTable& t) {
  sqlite3* db = gWorld.Plain;
  std::string create = "CREATE TABLE " + t.PlainName +
                       " (id INTEGER, code TEXT, name TEXT, amount REAL, grp INTEGER, created INTEGER)";
  CheckSql(sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr), db, "create");
  CheckSql(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt* ins = nullptr;
  std::string sql = "INSERT INTO " + t.PlainName + " VALUES (?, ?, ?, ?, ?, ?)";
  CheckSql(sqlite3_prepare_v2(db, sql.c_str(), -1, &ins, nullptr), db, "prepare insert");
  for (uint32_t i = 0; i < t.Rows; ++i) {
    Record r = MakeRecord(i);
    sqlite3_bind_int(ins, 1, r.Id);
    sqlite3_bind_text(ins, 2, r.Code, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 3, r.Name, -1, SQLITE_STATIC);
    sqlite3_bind_double(ins, 4, r.Amount);
    sqlite3_bind_int(ins, 5, r.Grp);
    sqlite3_bind_int(ins, 6, r.Created[0] * 10000 + r.Created[1] * 100 + r.Created[2]);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  CheckSql(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  std::string idx = "CREATE UNIQUE INDEX " + t.PlainName + "_id ON " + t.PlainName + "(id); CREATE INDEX " +
                    t.PlainName + "_grp ON " + t.PlainName + "(grp, id)";
  CheckSql(sqlite3_exec(db, idx.c_str(), nullptr, nullptr, nullptr), db, "index");
}

void BuildWorld() {
  char tmpl[] = "/tmp/engine_bench_XXXXXX";
  if (!mkdtemp(tmpl)) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  gWorld.Dir = tmpl;
  // Keep the engine's registry and drive map out of the user's home.
  setenv("DAC_ENGINE_DATA_DIR", (gWorld.Dir + "/data").c_str(), 1);
  setenv("DAC_ENGINE_CONFIG_DIR", (gWorld.Dir + "/config").c_str(), 1);
  gWorld.Location = gWorld.Dir + "/db";
  std::filesystem::create_directories(gWorld.Location);
  uint32_t n = Rows();
  gWorld.Large = {"BenchLarge", "plain_large", n, n / kGroupSize};
  gWorld.Small = {"BenchSmall", "plain_small", n / 10, n / 10 / kGroupSize};

  auto t0 = std::chrono::steady_clock::now();
  Check(RareBeginSession(&gWorld.Session, "", "", ""), "RareBeginSession");
  std::string target = "localhost\t" + gWorld.Location;
  Check(RareOpenDatabase(gWorld.Session, target.c_str(), &gWorld.Database, 0, "", ""), "RareOpenDatabase");
  BuildEngineTable(gWorld.Small);
  BuildEngineTable(gWorld.Large);
  auto t1 = std::chrono::steady_clock::now();

  // The engine keeps a database in one SQLite file in its folder; the plain
  // tables go into that same file.
  gWorld.StorageFile = gWorld.Location + "/engine.rdb";
  if (!std::filesystem::exists(gWorld.StorageFile)) {
    std::fprintf(stderr, "no storage file %s\n", gWorld.StorageFile.c_str());
    std::exit(1);
  }
  CheckSql(sqlite3_open_v2(gWorld.StorageFile.c_str(), &gWorld.Plain, SQLITE_OPEN_READWRITE, nullptr),
           gWorld.Plain, "open");
  sqlite3_busy_timeout(gWorld.Plain, 5000);
  BuildPlainTable(gWorld.Small);
  BuildPlainTable(gWorld.Large);
  auto t2 = std::chrono::steady_clock::now();
  auto secs = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
  std::fprintf(stderr, "built %u + %u records: engine %.1f s, plain SQLite %.1f s\n", gWorld.Large.Rows,
               gWorld.Small.Rows, secs(t0, t1), secs(t1, t2));
}

void TearDownWorld() {
  sqlite3_close(gWorld.Plain);
  RareCloseDatabase(gWorld.Session, gWorld.Database);
  RareEndSession(gWorld.Session);
  std::filesystem::remove_all(gWorld.Dir);
}

uint32_t OpenTable(const BenchTable& t, const char* index) {
  uint32_t h = 0;
  Check(RareOpenTable(gWorld.Session, gWorld.Database, t.Name.c_str(), 0, DRM_TBLOPEN_READONLY, &h),
        "RareOpenTable");
  if (index) Check(RareSetTableIndex(gWorld.Session, h, index), "RareSetTableIndex");
  return h;
}

sqlite3_stmt* Prepare(const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(gWorld.Plain, sql.c_str(), -1, &st, nullptr), gWorld.Plain, "prepare");
  return st;
}

// Reads the six columns of the current record into local buffers; returns
// Id and Grp so that the seeks can be checked.
inline std::pair<int32_t, int32_t> ReadEngineRecord(uint32_t h) {
  int32_t id, grp;
  char code[16], name[40];
  double amount;
  uint16_t created[4];
  uint32_t len;
  uint32_t s = gWorld.Session;
  RareRetrieveColumn(s, h, gCols.Id, &id, 4, &len, nullptr);
  RareRetrieveColumn(s, h, gCols.Code, code, sizeof code, &len, nullptr);
  RareRetrieveColumn(s, h, gCols.Name, name, sizeof name, &len, nullptr);
  RareRetrieveColumn(s, h, gCols.Amount, &amount, 8, &len, nullptr);
  RareRetrieveColumn(s, h, gCols.Grp, &grp, 4, &len, nullptr);
  RareRetrieveColumn(s, h, gCols.Created, created, 8, &len, nullptr);
  benchmark::DoNotOptimize(id + grp + code[0] + name[0] + amount + created[0]);
  return {id, grp};
}

// The same work for a plain row: values copied out as the engine copies them.
inline void ReadPlainRow(sqlite3_stmt* st) {
  char code[16], name[40];
  int id = sqlite3_column_int(st, 0);
  const unsigned char* c = sqlite3_column_text(st, 1);
  std::memcpy(code, c, std::min<size_t>(static_cast<size_t>(sqlite3_column_bytes(st, 1)) + 1, sizeof code));
  const unsigned char* n = sqlite3_column_text(st, 2);
  std::memcpy(name, n, std::min<size_t>(static_cast<size_t>(sqlite3_column_bytes(st, 2)) + 1, sizeof name));
  double amount = sqlite3_column_double(st, 3);
  int grp = sqlite3_column_int(st, 4);
  int created = sqlite3_column_int(st, 5);
  benchmark::DoNotOptimize(id + grp + code[0] + name[0] + amount + created);
}

// (a) Full forward scan.
void BM_Scan_Engine(benchmark::State& state) {
  uint32_t h = OpenTable(gWorld.Large, nullptr);
  int64_t rows = 0;
  for (auto _ : state) {
    for (int32_t st = RareMove(gWorld.Session, h, DRM_MOVE_FIRST); st == 0;
         st = RareMove(gWorld.Session, h, DRM_MOVE_NEXT)) {
      ReadEngineRecord(h);
      ++rows;
    }
  }
  RareCloseTable(gWorld.Session, h);
  state.SetItemsProcessed(rows);
}

void BM_Scan_SQLite(benchmark::State& state) {
  sqlite3_stmt* st = Prepare("SELECT id, code, name, amount, grp, created FROM " + gWorld.Large.PlainName);
  int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      ReadPlainRow(st);
      ++rows;
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(rows);
}

// (b) Keyed seek on the unique index: the exact-key search of slot 4, then a
// move to the first match and a read of the record.
void BM_Seek_Engine(benchmark::State& state) {
  uint32_t h = OpenTable(gWorld.Large, "byId");
  uint64_t x = 88172645463325252ull;
  for (auto _ : state) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    int32_t key = static_cast<int32_t>(x % gWorld.Large.Rows) + 1;
    Check(RareMakeFilterKey(h, gCols.Id, DRM_KEYSLOT_SEEK, &key, 4, DRM_KEYFLAG_FIRST), "RareMakeFilterKey");
    Check(RareMove(gWorld.Session, h, DRM_MOVE_FIRST), "RareMove");
    if (ReadEngineRecord(h).first != key) {
      state.SkipWithError("the seek found another record");
      break;
    }
    RareCancelFilterKey(h, DRM_KEYSLOT_SEEK);
  }
  RareCloseTable(gWorld.Session, h);
  state.SetItemsProcessed(state.iterations());
}

void BM_Seek_SQLite(benchmark::State& state) {
  sqlite3_stmt* st =
      Prepare("SELECT id, code, name, amount, grp, created FROM " + gWorld.Large.PlainName + " WHERE id = ?");
  uint64_t x = 88172645463325252ull;
  for (auto _ : state) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    sqlite3_bind_int(st, 1, static_cast<int>(x % gWorld.Large.Rows) + 1);
    if (sqlite3_step(st) != SQLITE_ROW) std::exit(1);
    ReadPlainRow(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(state.iterations());
}

// (c) Filtered scan: a dataset filter "Grp = g" on the index led by Grp; it
// visits kGroupSize records whatever the table size.
void FilteredScanEngine(benchmark::State& state, const BenchTable& t) {
  uint32_t h = OpenTable(t, "byGrp");
  uint32_t g = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    int32_t grp = static_cast<int32_t>(g++ * 7919u % t.Groups);
    DRM_FilterStruct term{};
    term.IsColumn = fisConst;
    term.ColumnId = gCols.Grp;
    term.CompareCode = DRM_CMP_EQ;
    term.pConst = &grp;
    term.ConstLen = 4;
    int32_t tag = 0;
    Check(RareSetFilterOnColumns(h, &term, 1, &tag, DRM_FILTER_SET_DATASET), "RareSetFilterOnColumns");
    int64_t found = 0, matching = 0;
    for (int32_t st = RareMove(gWorld.Session, h, DRM_MOVE_FIRST); st == 0;
         st = RareMove(gWorld.Session, h, DRM_MOVE_NEXT)) {
      matching += ReadEngineRecord(h).second == grp;
      ++found;
    }
    if (found != kGroupSize || matching != kGroupSize) {
      state.SkipWithError("wrong number of records in a group");
      break;
    }
    rows += found;
    Check(RareRemoveFilterFromColumns(h, tag, DRM_FILTER_REMOVE_DATASET), "RareRemoveFilterFromColumns");
  }
  RareCloseTable(gWorld.Session, h);
  state.SetItemsProcessed(rows);
  state.counters["table_rows"] = t.Rows;
}

void FilteredScanSQLite(benchmark::State& state, const BenchTable& t) {
  sqlite3_stmt* st = Prepare("SELECT id, code, name, amount, grp, created FROM " + t.PlainName +
                             " WHERE grp = ? ORDER BY grp, id");
  uint32_t g = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_bind_int(st, 1, static_cast<int>(g++ * 7919u % t.Groups));
    while (sqlite3_step(st) == SQLITE_ROW) {
      ReadPlainRow(st);
      ++rows;
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(rows);
  state.counters["table_rows"] = t.Rows;
}

void BM_FilteredScan_Engine_Small(benchmark::State& s) { FilteredScanEngine(s, gWorld.Small); }
void BM_FilteredScan_Engine_Large(benchmark::State& s) { FilteredScanEngine(s, gWorld.Large); }
void BM_FilteredScan_SQLite_Small(benchmark::State& s) { FilteredScanSQLite(s, gWorld.Small); }
void BM_FilteredScan_SQLite_Large(benchmark::State& s) { FilteredScanSQLite(s, gWorld.Large); }

}  // namespace

BENCHMARK(BM_Scan_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_SQLite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seek_Engine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Seek_SQLite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilteredScan_Engine_Small)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilteredScan_Engine_Large)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilteredScan_SQLite_Small)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilteredScan_SQLite_Large)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BuildWorld();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  TearDownWorld();
  return 0;
}
