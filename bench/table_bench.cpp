// A table component walked forward over every record, reading six fields
// per record through the field objects, against plain SQLite stepping over
// the same rows in the same storage file, in one run; the same walk through
// a client-side filter; Locate on a field without an index against a plain
// SQLite scan with the same condition.
//
// DAC_BENCH_ROWS sets the number of records (default 1,000,000). The data is
// built once per process in a scratch directory, removed at the end.
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

// Resident memory of this process in KiB.
long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct World {
  std::string Dir, Location;
  uint32_t Rows = 0;
  sqlite3* Plain = nullptr;
} gWorld;

uint32_t Rows() { return benchsupport::BenchRows(1000000); }

void Build() {
  char tmpl[] = "/tmp/table_bench_XXXXXX";
  if (!mkdtemp(tmpl)) std::exit(1);
  gWorld.Dir = tmpl;
  setenv("DAC_ENGINE_DATA_DIR", (gWorld.Dir + "/data").c_str(), 1);
  setenv("DAC_ENGINE_CONFIG_DIR", (gWorld.Dir + "/config").c_str(), 1);
  gWorld.Location = gWorld.Dir + "/db";
  std::filesystem::create_directories(gWorld.Location);
  gWorld.Rows = Rows();

  uint32_t S = 0, D = 0, h = 0;
  Check(RareBeginSession(&S, "", "", ""), "RareBeginSession");
  Check(RareOpenDatabase(S, ("\t" + gWorld.Location).c_str(), &D, 0, "", ""), "RareOpenDatabase");
  Check(RareCreateTable(S, D, "Company", &h), "RareCreateTable");
  uint32_t ids[6];
  struct {
    const char* name;
    uint32_t typ, cb;
  } cols[6] = {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
               {"Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
               {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 30},
               {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
               {"Grp", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
               {"Created", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4}};
  for (int i = 0; i < 6; ++i) {
    DRM_ColumnStruct c{};
    c.StructSize = sizeof c;
    c.ColTyp = cols[i].typ;
    c.cbMax = cols[i].cb;
    Check(RareCreateColumn(S, h, cols[i].name, &c, &ids[i]), "RareCreateColumn");
  }
  Check(RareCloseTable(S, h), "RareCloseTable");
  Check(RareOpenTable(S, D, "Company", 0, DRM_TBLOPEN_NORMAL, &h), "RareOpenTable");
  Check(RareSetTransact(S, DRM_TRANS_START, "build"), "RareSetTransact");
  for (uint32_t i = 0; i < gWorld.Rows; ++i) {
    int32_t id = static_cast<int32_t>(i + 1), grp = static_cast<int32_t>(i / 100);
    char code[16], name[31];
    std::snprintf(code, sizeof code, "C%08u", i + 1);
    std::snprintf(name, sizeof name, "Company number %u", (i * 7919u) % 1000003u);
    double amount = (i % 100000) * 1.25;
    uint16_t created[3] = {static_cast<uint16_t>(1990 + i % 30), static_cast<uint16_t>(1 + i % 12),
                           static_cast<uint16_t>(1 + i % 28)};
    Check(RareInitUpdate(S, h, DRM_INITUPD_NEW), "RareInitUpdate");
    Check(RareSetColumn(S, h, ids[0], &id, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[1], code, 9, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[2], name, static_cast<uint32_t>(strlen(name)), 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[3], &amount, 8, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[4], &grp, 4, 0, 0, 0), "RareSetColumn");
    Check(RareSetColumn(S, h, ids[5], created, 6, 0, 0, 0), "RareSetColumn");
    Check(RareUpdateRecord(S, h), "RareUpdateRecord");
  }
  Check(RareSetTransact(S, DRM_TRANS_COMMIT, "build"), "RareSetTransact");
  Check(RareCloseTable(S, h), "RareCloseTable");
  Check(RareEndSession(S), "RareEndSession");

  // The plain rows go into the engine's own storage file.
  const std::string file = gWorld.Location + "/engine.rdb";
  CheckSql(sqlite3_open_v2(file.c_str(), &gWorld.Plain, SQLITE_OPEN_READWRITE, nullptr), gWorld.Plain, "open");
  sqlite3* db = gWorld.Plain;
  sqlite3_busy_timeout(db, 5000);
  CheckSql(sqlite3_exec(db,
                        "CREATE TABLE plain (id INTEGER, code TEXT, name TEXT, amount REAL, grp INTEGER, "
                        "created INTEGER); BEGIN",
                        nullptr, nullptr, nullptr),
           db, "create");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "INSERT INTO plain VALUES (?, ?, ?, ?, ?, ?)", -1, &ins, nullptr), db, "prepare");
  for (uint32_t i = 0; i < gWorld.Rows; ++i) {
    char code[16], name[31];
    std::snprintf(code, sizeof code, "C%08u", i + 1);
    std::snprintf(name, sizeof name, "Company number %u", (i * 7919u) % 1000003u);
    sqlite3_bind_int(ins, 1, static_cast<int>(i + 1));
    sqlite3_bind_text(ins, 2, code, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 3, name, -1, SQLITE_STATIC);
    sqlite3_bind_double(ins, 4, (i % 100000) * 1.25);
    sqlite3_bind_int(ins, 5, static_cast<int>(i / 100));
    sqlite3_bind_int(ins, 6, static_cast<int>((1990 + i % 30) * 10000 + (1 + i % 12) * 100 + 1 + i % 28));
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  CheckSql(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

void EnsureWorld() {
  static bool built = [] {
    Build();
    return true;
  }();
  (void)built;
}

void BM_Walk_TableComponent(benchmark::State& state) {
  EnsureWorld();
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName("Company");
  t->Open();
  dac::TField* f[6] = {t->FieldByName("Id"), t->FieldByName("Code"), t->FieldByName("Name"),
                       t->FieldByName("Amount"), t->FieldByName("Grp"), t->FieldByName("Created")};
  int64_t records = 0;
  // The walk's own memory must not grow with the table: compare the
  // resident size before and after the walks (counter "rss_growth_kib").
  const long rssBefore = ResidentKiB();
  for (auto _ : state) {
    int64_t sum = 0;
    for (t->First(); !t->Eof(); t->Next()) {
      sum += f[0]->AsInteger();
      sum += static_cast<int64_t>(f[1]->AsString().size());
      sum += static_cast<int64_t>(f[2]->AsString().size());
      sum += static_cast<int64_t>(f[3]->AsFloat());
      sum += f[4]->AsInteger();
      sum += static_cast<int64_t>(f[5]->AsDateTime());
      ++records;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["rss_growth_kib"] = static_cast<double>(ResidentKiB() - rssBefore);
  state.SetItemsProcessed(records);
  t->Close();
}

// The same walk reading no field: what navigation alone costs.
void BM_Walk_TableComponent_NoFields(benchmark::State& state) {
  EnsureWorld();
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName("Company");
  t->Open();
  int64_t records = 0;
  for (auto _ : state) {
    for (t->First(); !t->Eof(); t->Next()) ++records;
  }
  state.SetItemsProcessed(records);
  t->Close();
}

// The walk without field reads through a client-side filter that every
// record passes: what testing each record costs.
void BM_Walk_TableComponent_ClientFilter(benchmark::State& state) {
  EnsureWorld();
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName("Company");
  t->SetFilter("Code >= 'C' and Grp >= 0");
  t->SetFiltered(true);
  t->Open();
  int64_t records = 0;
  for (auto _ : state) {
    for (t->First(); !t->Eof(); t->Next()) ++records;
  }
  state.SetItemsProcessed(records);
  t->Close();
}

// The name of record n (1-based), as Build writes it.
std::string NameOf(uint32_t n) {
  char name[31];
  std::snprintf(name, sizeof name, "Company number %u", ((n - 1) * 7919u) % 1000003u);
  return name;
}

// Locate on a field no index covers: the record searched for is the
// 100,000th (or the last), so every search reads that many records.
uint32_t LocateTarget() { return gWorld.Rows < 100000 ? gWorld.Rows : 100000; }

void BM_Locate_TableComponent(benchmark::State& state) {
  EnsureWorld();
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName("Company");
  t->Open();
  const dac::Variant name(NameOf(LocateTarget()));
  for (auto _ : state) {
    t->First();
    if (!t->Locate("Name", name, {})) std::exit(1);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * LocateTarget());
  t->Close();
}

void BM_Locate_SQLite(benchmark::State& state) {
  EnsureWorld();
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "SELECT id, code, name, amount, grp, created FROM plain WHERE name = ? LIMIT 1",
                              -1, &st, nullptr),
           db, "prepare");
  const std::string name = NameOf(LocateTarget());
  for (auto _ : state) {
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_ROW) std::exit(1);
    benchmark::DoNotOptimize(sqlite3_column_int(st, 0));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * LocateTarget());
}

void BM_Walk_SQLite(benchmark::State& state) {
  EnsureWorld();
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt* st = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "SELECT id, code, name, amount, grp, created FROM plain", -1, &st, nullptr), db,
           "prepare");
  int64_t records = 0;
  for (auto _ : state) {
    int64_t sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      sum += sqlite3_column_int(st, 0);
      sum += static_cast<int64_t>(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))).size());
      sum += static_cast<int64_t>(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))).size());
      sum += static_cast<int64_t>(sqlite3_column_double(st, 3));
      sum += sqlite3_column_int(st, 4);
      sum += sqlite3_column_int(st, 5);
      ++records;
    }
    sqlite3_reset(st);
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(records);
}

}  // namespace

BENCHMARK(BM_Walk_TableComponent)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk_TableComponent_NoFields)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk_TableComponent_ClientFilter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk_SQLite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Locate_TableComponent)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Locate_SQLite)->Unit(benchmark::kMillisecond)->Iterations(5);

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
