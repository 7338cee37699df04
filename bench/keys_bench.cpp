// Keyed search, ranges and master-detail through the table component,
// against plain SQLite on the same data in the same storage file, in one
// run:
// - FindKey on a unique index of 10,000 and of DAC_BENCH_ROWS records
//   (default 1,000,000), against an indexed SQLite lookup;
// - SetRange selecting 100 records of the large table and walking them,
//   against SQLite's indexed range query;
// - a master-detail walk of 1,000 masters with 10 details each, per master
//   move, against SQLite running one indexed query per master.
//
// The data is built once per process in a scratch directory, removed at the
// end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/drm.h"
#include "platform/db/data_source.h"
#include "platform/db/field.h"
#include "sessions/session_list.h"
#include "tables/pv_table.h"

namespace {

using benchsupport::Check;
using benchsupport::CheckSql;

constexpr uint32_t kSmallRows = 10000;
constexpr uint32_t kMasters = 1000;
constexpr uint32_t kDetailsPerMaster = 10;
// Records per group: a range on one group selects this many.
constexpr uint32_t kGroupSize = 100;

struct World {
  std::string Dir, Location;
  uint32_t Rows = 0;
  sqlite3* Plain = nullptr;
} gWorld;

uint32_t Rows() { return benchsupport::BenchRows(1000000); }

// The id of the k-th key looked up: spread over the whole table.
uint32_t KeyAt(uint64_t k, uint32_t rows) { return static_cast<uint32_t>((k * 2654435761u) % rows) + 1; }

struct Column {
  const char* name;
  uint32_t typ, cb;
};

uint32_t MakeTable(uint32_t S, uint32_t D, const char* name, const std::vector<Column>& cols,
                   std::vector<uint32_t>& ids) {
  uint32_t h = 0;
  Check(RareCreateTable(S, D, name, &h), "RareCreateTable");
  for (const Column& c : cols) {
    DRM_ColumnStruct cs{};
    cs.StructSize = sizeof cs;
    cs.ColTyp = c.typ;
    cs.cbMax = c.cb;
    uint32_t id = 0;
    Check(RareCreateColumn(S, h, c.name, &cs, &id), "RareCreateColumn");
    ids.push_back(id);
  }
  Check(RareCloseTable(S, h), "RareCloseTable");
  Check(RareOpenTable(S, D, name, 0, DRM_TBLOPEN_NORMAL, &h), "RareOpenTable");
  return h;
}

void MakeIndex(uint32_t S, uint32_t h, const char* name, uint32_t flags, const char* segments, uint32_t size) {
  Check(RareCreateIndex(S, h, name, flags | DRM_IDXFLAG_CASE_SENSITIVE, segments, size, 0), "RareCreateIndex");
}

// Company-like rows: Id (unique index ById), Grp (index ByGrp), Name.
void BuildCompanies(uint32_t S, uint32_t D, const char* name, uint32_t rows) {
  std::vector<uint32_t> ids;
  const uint32_t h = MakeTable(S, D, name,
                               {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                {"Grp", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 30}},
                               ids);
  Check(RareSetTransact(S, DRM_TRANS_START, "build"), "RareSetTransact");
  for (uint32_t i = 0; i < rows; ++i) {
    const int32_t id = static_cast<int32_t>(i + 1), grp = static_cast<int32_t>(i / kGroupSize);
    char text[31];
    std::snprintf(text, sizeof text, "Company number %u", (i * 7919u) % 1000003u);
    Check(RareInitUpdate(S, h, DRM_INITUPD_NEW), "RareInitUpdate");
    Check(RareSetColumn(S, h, ids[0], &id, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[1], &grp, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[2], text, static_cast<uint32_t>(std::strlen(text)), 0, 0, 0), "RareSetColumn");
    Check(RareUpdateRecord(S, h), "RareUpdateRecord");
  }
  Check(RareSetTransact(S, DRM_TRANS_COMMIT, "build"), "RareSetTransact");
  const char byId[] = "+Id\0", byGrp[] = "+Grp\0";
  MakeIndex(S, h, "ById", DRM_IDXFLAG_UNIQUE, byId, sizeof byId);
  MakeIndex(S, h, "ByGrp", 0, byGrp, sizeof byGrp);
  Check(RareCloseTable(S, h), "RareCloseTable");
}

// Masters (Id, Name) and Details (MasterId, Line, Amount) on ByMaster.
void BuildMasterDetail(uint32_t S, uint32_t D) {
  std::vector<uint32_t> mids, dids;
  uint32_t m = MakeTable(S, D, "Masters",
                         {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                          {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 30}},
                         mids);
  uint32_t d = MakeTable(S, D, "Details",
                         {{"MasterId", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                          {"Line", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                          {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8}},
                         dids);
  Check(RareSetTransact(S, DRM_TRANS_START, "build"), "RareSetTransact");
  for (uint32_t i = 0; i < kMasters; ++i) {
    const int32_t id = static_cast<int32_t>(i + 1);
    char text[31];
    std::snprintf(text, sizeof text, "Master %u", i + 1);
    Check(RareInitUpdate(S, m, DRM_INITUPD_NEW), "RareInitUpdate");
    Check(RareSetColumn(S, m, mids[0], &id, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, m, mids[1], text, static_cast<uint32_t>(std::strlen(text)), 0, 0, 0), "RareSetColumn");
    Check(RareUpdateRecord(S, m), "RareUpdateRecord");
  }
  // Details go in line by line across masters, so a master's details are
  // spread over the table as they would be after years of use.
  for (uint32_t line = 0; line < kDetailsPerMaster; ++line)
    for (uint32_t i = 0; i < kMasters; ++i) {
      const int32_t id = static_cast<int32_t>(i + 1), l = static_cast<int32_t>(line + 1);
      const double amount = i * 1.5 + line;
      Check(RareInitUpdate(S, d, DRM_INITUPD_NEW), "RareInitUpdate");
      Check(RareSetColumn(S, d, dids[0], &id, 4, 0, 0, 0), "RareSetColumn");
      Check(RareSetColumn(S, d, dids[1], &l, 4, 0, 0, 0), "RareSetColumn");
      Check(RareSetColumn(S, d, dids[2], &amount, 8, 0, 0, 0), "RareSetColumn");
      Check(RareUpdateRecord(S, d), "RareUpdateRecord");
    }
  Check(RareSetTransact(S, DRM_TRANS_COMMIT, "build"), "RareSetTransact");
  const char byId[] = "+Id\0", byMaster[] = "+MasterId\0+Line\0";
  MakeIndex(S, m, "ById", DRM_IDXFLAG_UNIQUE, byId, sizeof byId);
  MakeIndex(S, d, "ByMaster", 0, byMaster, sizeof byMaster);
  Check(RareCloseTable(S, m), "RareCloseTable");
  Check(RareCloseTable(S, d), "RareCloseTable");
}

void BuildPlain(const char* table, uint32_t rows) {
  sqlite3* db = gWorld.Plain;
  CheckSql(sqlite3_exec(db,
                        (std::string("CREATE TABLE ") + table + " (id INTEGER, grp INTEGER, name TEXT); BEGIN").c_str(),
                        nullptr, nullptr, nullptr),
           db, "create");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(db, (std::string("INSERT INTO ") + table + " VALUES (?, ?, ?)").c_str(), -1, &ins,
                              nullptr),
           db, "prepare");
  for (uint32_t i = 0; i < rows; ++i) {
    char text[31];
    std::snprintf(text, sizeof text, "Company number %u", (i * 7919u) % 1000003u);
    sqlite3_bind_int(ins, 1, static_cast<int>(i + 1));
    sqlite3_bind_int(ins, 2, static_cast<int>(i / kGroupSize));
    sqlite3_bind_text(ins, 3, text, -1, SQLITE_TRANSIENT);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  const std::string t = table;
  CheckSql(sqlite3_exec(db,
                        ("COMMIT; CREATE UNIQUE INDEX " + t + "_id ON " + t + " (id); CREATE INDEX " + t + "_grp ON " +
                         t + " (grp)")
                            .c_str(),
                        nullptr, nullptr, nullptr),
           db, "index");
}

void BuildPlainMasterDetail() {
  sqlite3* db = gWorld.Plain;
  CheckSql(sqlite3_exec(db,
                        "CREATE TABLE pm (id INTEGER, name TEXT); CREATE TABLE pd (master INTEGER, line INTEGER, "
                        "amount REAL); BEGIN",
                        nullptr, nullptr, nullptr),
           db, "create");
  for (uint32_t i = 0; i < kMasters; ++i) {
    const std::string sql =
        "INSERT INTO pm VALUES (" + std::to_string(i + 1) + ", 'Master " + std::to_string(i + 1) + "')";
    CheckSql(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, "insert");
  }
  for (uint32_t line = 0; line < kDetailsPerMaster; ++line)
    for (uint32_t i = 0; i < kMasters; ++i) {
      const std::string sql = "INSERT INTO pd VALUES (" + std::to_string(i + 1) + ", " + std::to_string(line + 1) +
                              ", " + std::to_string(i * 1.5 + line) + ")";
      CheckSql(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, "insert");
    }
  CheckSql(sqlite3_exec(db,
                        "COMMIT; CREATE UNIQUE INDEX pm_id ON pm (id); CREATE INDEX pd_master ON pd (master, line)",
                        nullptr, nullptr, nullptr),
           db, "index");
}

void Build() {
  char tmpl[] = "/tmp/keys_bench_XXXXXX";
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
  BuildCompanies(S, D, "Small", kSmallRows);
  BuildCompanies(S, D, "Large", gWorld.Rows);
  BuildMasterDetail(S, D);
  Check(RareEndSession(S), "RareEndSession");
  const std::string file = gWorld.Location + "/engine.rdb";
  CheckSql(sqlite3_open_v2(file.c_str(), &gWorld.Plain, SQLITE_OPEN_READWRITE, nullptr), gWorld.Plain, "open");
  sqlite3_busy_timeout(gWorld.Plain, 5000);
  BuildPlain("psmall", kSmallRows);
  BuildPlain("plarge", gWorld.Rows);
  BuildPlainMasterDetail();
}

void EnsureWorld() {
  static bool built = [] {
    Build();
    return true;
  }();
  (void)built;
}

dac::TFreePtr<dac::TPvTable> OpenTable(const char* name, const char* index) {
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName(name);
  t->SetIndexName(index);
  t->Open();
  return t;
}

// ---- FindKey --------------------------------------------------------------------------------

void FindKeyTable(benchmark::State& state, const char* table, uint32_t rows) {
  EnsureWorld();
  auto t = OpenTable(table, "ById");
  dac::TField* id = t->FieldByName("Id");
  dac::TField* name = t->FieldByName("Name");
  uint64_t k = 0;
  for (auto _ : state) {
    const uint32_t key = KeyAt(k++, rows);
    if (!t->FindKey({dac::Variant(static_cast<int32_t>(key))})) std::exit(2);
    if (id->AsInteger() != static_cast<int32_t>(key)) std::exit(3);
    benchmark::DoNotOptimize(name->AsString().size());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void FindKeySqlite(benchmark::State& state, const char* table, uint32_t rows) {
  EnsureWorld();
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(db, (std::string("SELECT id, grp, name FROM ") + table + " WHERE id = ?").c_str(), -1,
                              &st, nullptr),
           db, "prepare");
  uint64_t k = 0;
  for (auto _ : state) {
    sqlite3_bind_int(st, 1, static_cast<int>(KeyAt(k++, rows)));
    if (sqlite3_step(st) != SQLITE_ROW) std::exit(2);
    benchmark::DoNotOptimize(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))).size());
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_FindKey_Table_10K(benchmark::State& state) { FindKeyTable(state, "Small", kSmallRows); }
void BM_FindKey_SQLite_10K(benchmark::State& state) { FindKeySqlite(state, "psmall", kSmallRows); }
void BM_FindKey_Table_Large(benchmark::State& state) { FindKeyTable(state, "Large", gWorld.Rows); }
void BM_FindKey_SQLite_Large(benchmark::State& state) { FindKeySqlite(state, "plarge", gWorld.Rows); }

// ---- SetRange of 100 records and the walk ---------------------------------------------------------

int32_t GroupAt(uint64_t k) { return static_cast<int32_t>(KeyAt(k, gWorld.Rows / kGroupSize) - 1); }

void BM_SetRange100_Walk_Table(benchmark::State& state) {
  EnsureWorld();
  auto t = OpenTable("Large", "ByGrp");
  dac::TField* id = t->FieldByName("Id");
  dac::TField* name = t->FieldByName("Name");
  uint64_t k = 0;
  int64_t records = 0;
  for (auto _ : state) {
    const dac::Variant g(GroupAt(k++));
    t->SetRange({g}, {g});
    int64_t n = 0, sum = 0;
    for (t->First(); !t->Eof(); t->Next()) {
      sum += id->AsInteger() + static_cast<int64_t>(name->AsString().size());
      ++n;
    }
    if (n != kGroupSize) std::exit(4);
    records += n;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(records);
}

void BM_SetRange100_Walk_SQLite(benchmark::State& state) {
  EnsureWorld();
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "SELECT id, grp, name FROM plarge WHERE grp BETWEEN ? AND ? ORDER BY grp", -1, &st,
                              nullptr),
           db, "prepare");
  uint64_t k = 0;
  int64_t records = 0;
  for (auto _ : state) {
    const int g = GroupAt(k++);
    sqlite3_bind_int(st, 1, g);
    sqlite3_bind_int(st, 2, g);
    int64_t n = 0, sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      sum += sqlite3_column_int(st, 0) +
             static_cast<int64_t>(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))).size());
      ++n;
    }
    sqlite3_reset(st);
    if (n != kGroupSize) std::exit(4);
    records += n;
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(records);
}

// ---- master-detail walk ------------------------------------------------------------------------------

void BM_MasterDetail_Walk_Table(benchmark::State& state) {
  EnsureWorld();
  auto master = OpenTable("Masters", "ById");
  auto source = dac::CreateUnowned<dac::TDataSource>();
  source->SetDataSet(master.get());
  auto detail = dac::CreateUnowned<dac::TPvTable>();
  detail->SetDatabaseName(gWorld.Location);
  detail->SetTableName("Details");
  detail->SetIndexName("ByMaster");
  detail->SetMasterSource(source.get());
  detail->SetMasterFields("Id");
  detail->Open();
  dac::TField* amount = detail->FieldByName("Amount");
  int64_t moves = 0;
  for (auto _ : state) {
    double sum = 0;
    int64_t details = 0;
    for (master->First(); !master->Eof(); master->Next(), ++moves)
      for (detail->First(); !detail->Eof(); detail->Next()) {
        sum += amount->AsFloat();
        ++details;
      }
    if (details != kMasters * kDetailsPerMaster) std::exit(5);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(moves);
  detail->Close();
  detail->SetMasterSource(nullptr);
}

void BM_MasterDetail_Walk_SQLite(benchmark::State& state) {
  EnsureWorld();
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt *masters = nullptr, *details = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "SELECT id, name FROM pm ORDER BY id", -1, &masters, nullptr), db, "prepare");
  CheckSql(sqlite3_prepare_v2(db, "SELECT master, line, amount FROM pd WHERE master = ? ORDER BY master, line", -1,
                              &details, nullptr),
           db, "prepare");
  int64_t moves = 0;
  for (auto _ : state) {
    double sum = 0;
    int64_t count = 0;
    while (sqlite3_step(masters) == SQLITE_ROW) {
      ++moves;
      sqlite3_bind_int(details, 1, sqlite3_column_int(masters, 0));
      while (sqlite3_step(details) == SQLITE_ROW) {
        sum += sqlite3_column_double(details, 2);
        ++count;
      }
      sqlite3_reset(details);
    }
    sqlite3_reset(masters);
    if (count != kMasters * kDetailsPerMaster) std::exit(5);
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(masters);
  sqlite3_finalize(details);
  state.SetItemsProcessed(moves);
}

}  // namespace

BENCHMARK(BM_FindKey_Table_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindKey_SQLite_10K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindKey_Table_Large)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindKey_SQLite_Large)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetRange100_Walk_Table)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetRange100_Walk_SQLite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MasterDetail_Walk_Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MasterDetail_Walk_SQLite)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dac::FinalizeSessions();
  if (gWorld.Plain != nullptr) sqlite3_close(gWorld.Plain);
  std::error_code ec;
  if (!gWorld.Dir.empty()) std::filesystem::remove_all(gWorld.Dir, ec);
  return 0;
}
