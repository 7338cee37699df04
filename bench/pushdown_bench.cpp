// Filters and locates pushed down into the engine, against plain SQLite on
// the same rows in the same storage file, in one run:
//
//   - a pushed-down filter no index helps, over every record, against a
//     SQLite WHERE scan of the same condition (items: records scanned);
//   - an equality filter on the leading segment of the current index with
//     100 matching records, at 10,000 and at DAC_BENCH_ROWS records, and the
//     same filter evaluated on the client (time per walk of the matches);
//   - Locate on an indexed key (time per call), against a SQLite seek.
//
// DAC_BENCH_ROWS sets the large table's size (default 1,000,000);
// DAC_BENCH_KEEP keeps the scratch directory for a look at the storage.
//
//   ninja -C <build> pushdown_bench && <build>/bench/pushdown_bench
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "engine/drm.h"
#include "sessions/session_list.h"
#include "tables/pv_table.h"

namespace {

using benchsupport::Check;
using benchsupport::CheckSql;

constexpr uint32_t kSmallRows = 10000;
constexpr uint32_t kMatches = 100;

struct World {
  std::string Dir, Location;
  uint32_t Rows = 0;
  sqlite3* Plain = nullptr;
} gWorld;

uint32_t Rows() { return benchsupport::BenchRows(1000000, kSmallRows); }

// Record i of a table of n: every (n / 100)-th has the agency "HIT", the
// others one of 50 agencies.
std::string AgencyOf(uint32_t i, uint32_t n) {
  if (i % (n / kMatches) == 0) return "HIT";
  char code[8];
  std::snprintf(code, sizeof code, "A%02u", i % 50);
  return code;
}
double AmountOf(uint32_t i) { return (i % 100000) * 1.25; }

void BuildTable(uint32_t S, uint32_t D, const char* Name, uint32_t N) {
  uint32_t h = 0;
  Check(RareCreateTable(S, D, Name, &h), "RareCreateTable");
  uint32_t ids[4];
  const struct {
    const char* name;
    uint32_t typ, cb;
  } cols[4] = {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
               {"Agy", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 6},
               {"Grp", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
               {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8}};
  for (int i = 0; i < 4; ++i) {
    DRM_ColumnStruct c{};
    c.StructSize = sizeof c;
    c.ColTyp = cols[i].typ;
    c.cbMax = cols[i].cb;
    Check(RareCreateColumn(S, h, cols[i].name, &c, &ids[i]), "RareCreateColumn");
  }
  const char byAgy[] = "+Agy\0+Id\0";
  const char byId[] = "+Id\0";
  Check(RareCreateIndex(S, h, "ByAgy", DRM_IDXFLAG_CASE_SENSITIVE, byAgy, sizeof byAgy, 0), "RareCreateIndex");
  Check(RareCreateIndex(S, h, "ById", DRM_IDXFLAG_UNIQUE, byId, sizeof byId, 0), "RareCreateIndex");
  Check(RareCloseTable(S, h), "RareCloseTable");
  Check(RareOpenTable(S, D, Name, 0, DRM_TBLOPEN_NORMAL, &h), "RareOpenTable");
  Check(RareSetTransact(S, DRM_TRANS_START, "build"), "RareSetTransact");
  for (uint32_t i = 0; i < N; ++i) {
    const int32_t id = static_cast<int32_t>(i + 1), grp = static_cast<int32_t>(i / 100);
    const std::string agy = AgencyOf(i, N);
    const double amount = AmountOf(i);
    Check(RareInitUpdate(S, h, DRM_INITUPD_NEW), "RareInitUpdate");
    Check(RareSetColumn(S, h, ids[0], &id, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[1], agy.c_str(), static_cast<uint32_t>(agy.size()), 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[2], &grp, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[3], &amount, 8, 0, 0, 0), "RareSetColumn");
    Check(RareUpdateRecord(S, h), "RareUpdateRecord");
  }
  Check(RareSetTransact(S, DRM_TRANS_COMMIT, "build"), "RareSetTransact");
  Check(RareCloseTable(S, h), "RareCloseTable");
}

void BuildPlain(uint32_t N) {
  const std::string file = gWorld.Location + "/engine.rdb";
  CheckSql(sqlite3_open_v2(file.c_str(), &gWorld.Plain, SQLITE_OPEN_READWRITE, nullptr), gWorld.Plain, "open");
  sqlite3* db = gWorld.Plain;
  sqlite3_busy_timeout(db, 5000);
  CheckSql(sqlite3_exec(db, "CREATE TABLE plain (id INTEGER, agy TEXT, grp INTEGER, amount REAL); BEGIN", nullptr,
                        nullptr, nullptr),
           db, "create");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "INSERT INTO plain VALUES (?, ?, ?, ?)", -1, &ins, nullptr), db, "prepare");
  for (uint32_t i = 0; i < N; ++i) {
    const std::string agy = AgencyOf(i, N);
    sqlite3_bind_int(ins, 1, static_cast<int>(i + 1));
    sqlite3_bind_text(ins, 2, agy.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(ins, 3, static_cast<int>(i / 100));
    sqlite3_bind_double(ins, 4, AmountOf(i));
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  CheckSql(sqlite3_exec(db, "CREATE INDEX plain_id ON plain (id); COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

void EnsureWorld() {
  static bool built = [] {
    char tmpl[] = "/tmp/pushdown_bench_XXXXXX";
    if (!mkdtemp(tmpl)) std::exit(1);
    gWorld.Dir = tmpl;
    setenv("DAC_ENGINE_DATA_DIR", (gWorld.Dir + "/data").c_str(), 1);
    setenv("DAC_ENGINE_CONFIG_DIR", (gWorld.Dir + "/config").c_str(), 1);
    gWorld.Location = gWorld.Dir + "/db";
    std::filesystem::create_directories(gWorld.Location);
    gWorld.Rows = Rows();
    uint32_t S = 0, D = 0;
    Check(RareBeginSession(&S, "", "", ""), "RareBeginSession");
    Check(RareOpenDatabase(S, ("\t" + gWorld.Location).c_str(), &D, 0, "", ""), "RareOpenDatabase");
    BuildTable(S, D, "Big", gWorld.Rows);
    BuildTable(S, D, "Small", kSmallRows);
    Check(RareEndSession(S), "RareEndSession");
    BuildPlain(gWorld.Rows);
    return true;
  }();
  (void)built;
}

dac::TFreePtr<dac::TPvTable> OpenTable(const char* Name, const std::string& Index, const std::string& Filter,
                                       bool ClientSide) {
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName(Name);
  t->SetIndexName(Index);
  if (Index.empty()) t->SetDefaultIndex(false);  // record order, as the SQLite scan
  t->SetClientSideFilters(ClientSide);
  if (!Filter.empty()) {
    t->SetFilter(Filter);
    t->SetFiltered(true);
  }
  t->Open();
  return t;
}

int64_t WalkAll(dac::TPvTable* t) {
  int64_t n = 0;
  for (t->First(); !t->Eof(); t->Next()) ++n;
  return n;
}

// ---- a filter no index helps --------------------------------------------------------------

constexpr const char* kScanFilter = "Amount > 124000.0 and Grp >= 0";
constexpr const char* kScanSql = "SELECT id, agy, grp, amount FROM plain WHERE amount > 124000.0 AND grp >= 0";

void BM_ScanFilter_Engine(benchmark::State& state) {
  EnsureWorld();
  auto t = OpenTable("Big", "", kScanFilter, false);
  if (t->ParseTransformer() == nullptr) std::exit(1);
  int64_t found = 0;
  for (auto _ : state) found = WalkAll(t.get());
  state.counters["found"] = static_cast<double>(found);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gWorld.Rows);
}

void BM_ScanFilter_SQLite(benchmark::State& state) {
  EnsureWorld();
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(gWorld.Plain, kScanSql, -1, &st, nullptr), gWorld.Plain, "prepare");
  int64_t found = 0;
  for (auto _ : state) {
    found = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int(st, 0));
      ++found;
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.counters["found"] = static_cast<double>(found);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gWorld.Rows);
}

// ---- equality on the leading segment of the current index ---------------------------------

constexpr const char* kHitFilter = "Agy = 'HIT'";

void EqualityWalk(benchmark::State& state, const char* Table, bool ClientSide) {
  EnsureWorld();
  auto t = OpenTable(Table, "ByAgy", kHitFilter, ClientSide);
  int64_t found = 0;
  for (auto _ : state) found = WalkAll(t.get());
  if (found != kMatches) std::exit(1);
  state.counters["found"] = static_cast<double>(found);
}

void BM_IndexEquality_Engine_10k(benchmark::State& state) { EqualityWalk(state, "Small", false); }
void BM_IndexEquality_Engine_Rows(benchmark::State& state) { EqualityWalk(state, "Big", false); }
void BM_IndexEquality_Client_Rows(benchmark::State& state) { EqualityWalk(state, "Big", true); }

void BM_IndexEquality_SQLite_Rows(benchmark::State& state) {
  EnsureWorld();
  static bool indexed = [] {
    CheckSql(sqlite3_exec(gWorld.Plain, "CREATE INDEX IF NOT EXISTS plain_agy ON plain (agy, id)", nullptr, nullptr,
                          nullptr),
             gWorld.Plain, "index");
    return true;
  }();
  (void)indexed;
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(gWorld.Plain, "SELECT id, agy, grp, amount FROM plain WHERE agy = 'HIT' ORDER BY agy, id",
                              -1, &st, nullptr),
           gWorld.Plain, "prepare");
  int64_t found = 0;
  for (auto _ : state) {
    found = 0;
    while (sqlite3_step(st) == SQLITE_ROW) ++found;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.counters["found"] = static_cast<double>(found);
}

// ---- Locate on an indexed key -------------------------------------------------------------------

void BM_LocateIndexed_Engine(benchmark::State& state) {
  EnsureWorld();
  auto t = OpenTable("Big", "ById", "", false);
  uint32_t next = 1;
  for (auto _ : state) {
    next = next * 7919u % gWorld.Rows + 1;
    if (!t->Locate("Id", dac::Variant(static_cast<int32_t>(next)), {})) std::exit(1);
  }
}

void BM_LocateIndexed_SQLite(benchmark::State& state) {
  EnsureWorld();
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(gWorld.Plain, "SELECT id, agy, grp, amount FROM plain WHERE id = ? LIMIT 1", -1, &st,
                              nullptr),
           gWorld.Plain, "prepare");
  uint32_t next = 1;
  for (auto _ : state) {
    next = next * 7919u % gWorld.Rows + 1;
    sqlite3_bind_int(st, 1, static_cast<int>(next));
    if (sqlite3_step(st) != SQLITE_ROW) std::exit(1);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

}  // namespace

BENCHMARK(BM_ScanFilter_Engine)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanFilter_SQLite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IndexEquality_Engine_10k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexEquality_Engine_Rows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexEquality_Client_Rows)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_IndexEquality_SQLite_Rows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateIndexed_Engine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateIndexed_SQLite)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dac::FinalizeSessions();
  if (gWorld.Plain != nullptr) sqlite3_close(gWorld.Plain);
  std::error_code ec;
  if (!gWorld.Dir.empty() && std::getenv("DAC_BENCH_KEEP") == nullptr) std::filesystem::remove_all(gWorld.Dir, ec);
  return 0;
}
