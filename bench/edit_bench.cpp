// Editing through the table component against plain SQLite on the same rows:
//
// - Append: records of the Company shape (13 columns: texts, Booleans, a
//   date, a decimal; a unique index and two more) appended through TPvTable
//   (Append, one write per field, Post) inside one transaction, against a
//   prepared INSERT into an SQLite table of the same columns and indexes in
//   one transaction. Every iteration fills a fresh table. Arguments 1 and 2
//   of the SQLite side give its table the engine's never-reused bookmark,
//   and then also the engine's row-count trigger: the cost of the stored
//   form alone.
// - Edit walk: one field of every record changed in a walk (Edit, write,
//   Post, Next) inside one transaction, against UPDATE ... WHERE rowid = ?
//   in one transaction.
//
// DAC_BENCH_ROWS sets the number of appended records (default 100,000); the
// edit walk covers a tenth of that (at least 1,000). The data lives in a
// scratch directory, removed at the end.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "engine/drm.h"
#include "platform/db/field.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"
#include "sessions/database.h"
#include "sessions/session_list.h"
#include "tables/pv_table.h"

namespace {

using benchsupport::Check;
using benchsupport::CheckSql;

struct World {
  std::string Dir, Location;
  uint32_t Rows = 0, EditRows = 0;
  sqlite3* Plain = nullptr;
  int Tables = 0;
} gWorld;

uint32_t Rows() { return benchsupport::BenchRows(100000); }

// One record of the Company shape, made from its number.
struct Company {
  char Number[11], Name[51], Agency[3], Parent[11], Address[61], City[31], State[3], Zip[11], Phone[21];
  bool Inactive, HasParent;
  int Year, Month, Day;
  int64_t CreditCents;
};

Company MakeCompany(uint32_t i) {
  Company c{};
  std::snprintf(c.Number, sizeof c.Number, "%u", 100000 + i);
  std::snprintf(c.Name, sizeof c.Name, "Company %u Holdings", (i * 7919u) % 1000003u);
  std::snprintf(c.Agency, sizeof c.Agency, "%02u", i % 40);
  c.HasParent = i % 4 == 3;
  if (c.HasParent) std::snprintf(c.Parent, sizeof c.Parent, "%u", 100000 + i - 1);
  std::snprintf(c.Address, sizeof c.Address, "%u Main St", 100 + i % 9000);
  std::snprintf(c.City, sizeof c.City, "City %u", i % 500);
  std::snprintf(c.State, sizeof c.State, "%c%c", 'A' + i % 26, 'A' + i / 26 % 26);
  std::snprintf(c.Zip, sizeof c.Zip, "%05u", i % 99999);
  std::snprintf(c.Phone, sizeof c.Phone, "(555) 555-%04u", i % 10000);
  c.Inactive = i % 10 == 0;
  c.Year = 1990 + static_cast<int>(i % 30);
  c.Month = 1 + static_cast<int>(i % 12);
  c.Day = 1 + static_cast<int>(i % 28);
  c.CreditCents = static_cast<int64_t>(i % 100000) * 125;
  return c;
}

// A new, empty Company-shaped engine table; returns its name.
std::string CreateEngineTable() {
  const std::string name = "Company" + std::to_string(++gWorld.Tables);
  uint32_t S = 0, D = 0, h = 0;
  Check(RareBeginSession(&S, "", "", ""), "RareBeginSession");
  Check(RareOpenDatabase(S, ("\t" + gWorld.Location).c_str(), &D, 0, "", ""), "RareOpenDatabase");
  Check(RareCreateTable(S, D, name.c_str(), &h), "RareCreateTable");
  struct {
    const char* name;
    uint32_t typ, cb;
    uint16_t precision, scale;
    bool required;
    const char* def;
  } cols[] = {{"Number", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10, 0, 0, true, nullptr},
              {"Name", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 50, 0, 0, true, nullptr},
              {"InactiveAcct", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1, 0, 0, false, "0"},
              {"AgyCode", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 2, 0, 0, true, nullptr},
              {"fHasParentCmp", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1, 0, 0, false, "0"},
              {"MyParentCmp", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10, 0, 0, false, nullptr},
              {"Address", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 60, 0, 0, false, nullptr},
              {"City", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 30, 0, 0, false, nullptr},
              {"State", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 2, 0, 0, false, nullptr},
              {"Zip", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10, 0, 0, false, nullptr},
              {"Phone", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 20, 0, 0, false, nullptr},
              {"Created", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4, 0, 0, false, nullptr},
              {"CreditLimit", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 0, 11, 2, false, nullptr}};
  for (const auto& col : cols) {
    DRM_ColumnStruct c{};
    c.StructSize = sizeof c;
    c.ColTyp = col.typ;
    c.cbMax = col.cb;
    c.Precision = col.precision;
    c.Scale = col.scale;
    c.grBit = col.required ? DRM_COLFLAG_REQUIRED : 0;
    c.pDefault = col.def;
    uint32_t id = 0;
    Check(RareCreateColumn(S, h, col.name, &c, &id), "RareCreateColumn");
  }
  const char number[] = "+Number\0";
  const char agency[] = "+AgyCode\0+Number\0";
  const char parent[] = "+MyParentCmp\0+Number\0";
  Check(RareCreateIndex(S, h, "index_0", DRM_IDXFLAG_UNIQUE, number, sizeof number, 0), "RareCreateIndex");
  Check(RareCreateIndex(S, h, "index_1", 0, agency, sizeof agency, 0), "RareCreateIndex");
  Check(RareCreateIndex(S, h, "index_2", 0, parent, sizeof parent, 0), "RareCreateIndex");
  Check(RareCloseTable(S, h), "RareCloseTable");
  Check(RareEndSession(S), "RareEndSession");
  return name;
}

// How much of the engine's stored form a plain table copies: none, the
// bookmark that is never reused (AUTOINCREMENT), or that and the row count
// kept by a trigger. The two others show what the stored form itself costs
// an insert, apart from the layer and the engine's own code.
enum class PlainForm { Plain, NeverReusedKey, NeverReusedKeyAndCount };

// A new, empty SQLite table of the same columns and indexes.
std::string CreatePlainTable(PlainForm Form = PlainForm::Plain) {
  const std::string name = "plain" + std::to_string(++gWorld.Tables);
  const std::string key = Form == PlainForm::Plain ? "" : "bm INTEGER PRIMARY KEY AUTOINCREMENT, ";
  std::string sql = "CREATE TABLE " + name + " (" + key +
                    "number TEXT NOT NULL, name TEXT NOT NULL, inactive INTEGER DEFAULT 0, agency TEXT NOT "
                    "NULL, hasparent INTEGER DEFAULT 0, parent TEXT, address TEXT, city TEXT, state TEXT, zip "
                    "TEXT, phone TEXT, created INTEGER, credit INTEGER);"
                    "CREATE UNIQUE INDEX " + name + "_0 ON " + name + " (number);"
                    "CREATE INDEX " + name + "_1 ON " + name + " (agency, number);"
                    "CREATE INDEX " + name + "_2 ON " + name + " (parent, number);";
  if (Form == PlainForm::NeverReusedKeyAndCount)
    sql += "CREATE TABLE IF NOT EXISTS counts (name TEXT PRIMARY KEY, nrows INTEGER);"
           "INSERT INTO counts VALUES ('" + name + "', 0);"
           "CREATE TRIGGER " + name + "_ins AFTER INSERT ON " + name +
           " BEGIN UPDATE counts SET nrows = nrows + 1 WHERE name = '" + name + "'; END;";
  CheckSql(sqlite3_exec(gWorld.Plain, sql.c_str(), nullptr, nullptr, nullptr), gWorld.Plain, "create");
  return name;
}

void EnsureWorld() {
  static bool built = [] {
    char tmpl[] = "/tmp/edit_bench_XXXXXX";
    if (!mkdtemp(tmpl)) std::exit(1);
    gWorld.Dir = tmpl;
    setenv("DAC_ENGINE_DATA_DIR", (gWorld.Dir + "/data").c_str(), 1);
    setenv("DAC_ENGINE_CONFIG_DIR", (gWorld.Dir + "/config").c_str(), 1);
    gWorld.Location = gWorld.Dir + "/db";
    std::filesystem::create_directories(gWorld.Location);
    gWorld.Rows = Rows();
    gWorld.EditRows = std::max(gWorld.Rows / 10, 1000u);
    // The plain table lives in a file of its own, in the engine's journal
    // mode (WAL).
    const std::string file = gWorld.Dir + "/plain.db";
    CheckSql(sqlite3_open(file.c_str(), &gWorld.Plain), gWorld.Plain, "open");
    CheckSql(sqlite3_exec(gWorld.Plain, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), gWorld.Plain, "wal");
    // Statement journals in memory, as the engine keeps them; only the
    // tables with the row-count trigger write one.
    CheckSql(sqlite3_exec(gWorld.Plain, "PRAGMA temp_store=MEMORY", nullptr, nullptr, nullptr), gWorld.Plain,
             "temp store");
    dac::InitializeSessions();
    return true;
  }();
  (void)built;
}

// Appends records first .. first + count - 1 through a table component
// inside one transaction.
void AppendThroughTable(const std::string& Table, uint32_t First, uint32_t Count) {
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName(Table);
  t->Open();
  dac::TField* f[13];
  const char* names[13] = {"Number", "Name",  "InactiveAcct", "AgyCode", "fHasParentCmp", "MyParentCmp", "Address",
                           "City",   "State", "Zip",          "Phone",   "Created",       "CreditLimit"};
  for (int i = 0; i < 13; ++i) f[i] = t->FieldByName(names[i]);
  dac::TPvDatabase* db = t->Database();
  db->StartTransaction();
  for (uint32_t i = First; i < First + Count; ++i) {
    const Company c = MakeCompany(i);
    t->Append();
    f[0]->SetAsString(c.Number);
    f[1]->SetAsString(c.Name);
    f[2]->SetAsBoolean(c.Inactive);
    f[3]->SetAsString(c.Agency);
    f[4]->SetAsBoolean(c.HasParent);
    if (c.HasParent) f[5]->SetAsString(c.Parent);
    f[6]->SetAsString(c.Address);
    f[7]->SetAsString(c.City);
    f[8]->SetAsString(c.State);
    f[9]->SetAsString(c.Zip);
    f[10]->SetAsString(c.Phone);
    f[11]->SetAsDateTime(dac::EncodeDate(static_cast<uint16_t>(c.Year), static_cast<uint16_t>(c.Month),
                                         static_cast<uint16_t>(c.Day)));
    f[12]->SetAsCurrency(dac::Currency::FromRaw(c.CreditCents * 100));
    t->Post();
  }
  db->Commit();
  t->Close();
}

void AppendThroughSQLite(const std::string& Table, uint32_t First, uint32_t Count) {
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt* ins = nullptr;
  const std::string sql = "INSERT INTO " + Table +
                          " (number, name, inactive, agency, hasparent, parent, address, city, state, zip, phone, "
                          "created, credit) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  CheckSql(sqlite3_prepare_v2(db, sql.c_str(), -1, &ins, nullptr), db, "prepare");
  CheckSql(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (uint32_t i = First; i < First + Count; ++i) {
    const Company c = MakeCompany(i);
    sqlite3_bind_text(ins, 1, c.Number, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 2, c.Name, -1, SQLITE_STATIC);
    sqlite3_bind_int(ins, 3, c.Inactive);
    sqlite3_bind_text(ins, 4, c.Agency, -1, SQLITE_STATIC);
    sqlite3_bind_int(ins, 5, c.HasParent);
    if (c.HasParent)
      sqlite3_bind_text(ins, 6, c.Parent, -1, SQLITE_STATIC);
    else
      sqlite3_bind_null(ins, 6);
    sqlite3_bind_text(ins, 7, c.Address, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 8, c.City, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 9, c.State, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 10, c.Zip, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 11, c.Phone, -1, SQLITE_STATIC);
    sqlite3_bind_int(ins, 12, c.Year * 10000 + c.Month * 100 + c.Day);
    sqlite3_bind_int64(ins, 13, c.CreditCents);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  CheckSql(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_finalize(ins);
}

void BM_Append_TableComponent(benchmark::State& state) {
  EnsureWorld();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string table = CreateEngineTable();
    state.ResumeTiming();
    AppendThroughTable(table, 0, gWorld.Rows);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gWorld.Rows);
}

// state.range(0): the PlainForm of the table.
void BM_Append_SQLite(benchmark::State& state) {
  EnsureWorld();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string table = CreatePlainTable(static_cast<PlainForm>(state.range(0)));
    state.ResumeTiming();
    AppendThroughSQLite(table, 0, gWorld.Rows);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gWorld.Rows);
}

// The walk in the order of the table's unique index (state.range(0) = 1,
// its default order) or in bookmark order (0).
void BM_EditWalk_TableComponent(benchmark::State& state) {
  EnsureWorld();
  static const std::string table = [] {
    std::string name = CreateEngineTable();
    AppendThroughTable(name, 0, gWorld.EditRows);
    return name;
  }();
  auto t = dac::CreateUnowned<dac::TPvTable>();
  t->SetDatabaseName(gWorld.Location);
  t->SetTableName(table);
  t->SetDefaultIndex(state.range(0) != 0);
  t->Open();
  dac::TField* city = t->FieldByName("City");
  dac::TPvDatabase* db = t->Database();
  int pass = 0;
  for (auto _ : state) {
    const std::string value = "Town " + std::to_string(++pass);
    db->StartTransaction();
    for (t->First(); !t->Eof(); t->Next()) {
      t->Edit();
      city->SetAsString(value);
      t->Post();
    }
    db->Commit();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gWorld.EditRows);
  t->Close();
}

void BM_EditWalk_SQLite(benchmark::State& state) {
  EnsureWorld();
  static const std::string table = [] {
    std::string name = CreatePlainTable();
    AppendThroughSQLite(name, 0, gWorld.EditRows);
    return name;
  }();
  sqlite3* db = gWorld.Plain;
  sqlite3_stmt* upd = nullptr;
  const std::string sql = "UPDATE " + table + " SET city = ? WHERE rowid = ?";
  CheckSql(sqlite3_prepare_v2(db, sql.c_str(), -1, &upd, nullptr), db, "prepare");
  int pass = 0;
  for (auto _ : state) {
    const std::string value = "Town " + std::to_string(++pass);
    CheckSql(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    for (uint32_t r = 1; r <= gWorld.EditRows; ++r) {
      sqlite3_bind_text(upd, 1, value.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int64(upd, 2, r);
      CheckSql(sqlite3_step(upd), db, "update");
      sqlite3_reset(upd);
    }
    CheckSql(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  }
  sqlite3_finalize(upd);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gWorld.EditRows);
}

BENCHMARK(BM_Append_TableComponent)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Append_SQLite)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EditWalk_TableComponent)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_EditWalk_SQLite)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gWorld.Plain != nullptr) sqlite3_close(gWorld.Plain);
  dac::FinalizeSessions();
  if (!gWorld.Dir.empty()) std::filesystem::remove_all(gWorld.Dir);
  return 0;
}
