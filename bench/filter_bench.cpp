// Filter expressions: parsing the export's agency filter and testing a
// record with it, beside SQLite preparing the same condition and scanning
// a table with it.
//
//   ninja -C <build> filter_bench && <build>/bench/filter_bench

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "platform/db/memory_dataset.h"

namespace {

using namespace dac;

constexpr const char* kFilter = "AgyCode = '01' and fHasParentCmp = 0";
constexpr const char* kSql = "SELECT Number FROM Company WHERE AgyCode = '01' and fHasParentCmp = 0";
constexpr int kScanRecords = 100000;

// Record i: AgyCode "01", "02" or " 1" in turn; a parent (0) on every third.
TFreePtr<TMemoryDataSet> Companies(int Records) {
  auto ds = CreateUnowned<TMemoryDataSet>();
  ds->SetName("Company");
  ds->FieldDefs()->Add("Number", ftString, 10);
  ds->FieldDefs()->Add("Name", ftString, 40);
  ds->FieldDefs()->Add("AgyCode", ftString, 2);
  ds->FieldDefs()->Add("fHasParentCmp", ftSmallint);
  ds->FieldDefs()->Add("MyParentCmp", ftString, 10);
  ds->FieldDefs()->Add("InactiveAcct", ftBoolean);
  ds->Open();
  ds->DisableControls();
  static const char* const agencies[] = {"01", "02", " 1"};
  for (int i = 0; i < Records; ++i)
    ds->AppendRecord({Variant(std::to_string(i)), Variant("Company " + std::to_string(i)), Variant(agencies[i % 3]),
                      Variant(int16_t(i % 3 == 0 ? 0 : 1)), Variant(std::to_string(i / 3)), Variant(false)});
  ds->EnableControls();
  ds->First();
  return ds;
}

void BM_ParseAgencyFilter(benchmark::State& state) {
  auto ds = Companies(1);
  for (auto _ : state) {
    TExprParser parser(ds.get(), kFilter, {}, {poExtSyntax});
    benchmark::DoNotOptimize(parser.FilterData());
  }
}
BENCHMARK(BM_ParseAgencyFilter);

// Record 0 passes: both comparisons are evaluated.
void BM_VerifyPositionedRecord(benchmark::State& state) {
  auto ds = Companies(1);
  TExprParser parser(ds.get(), kFilter, {}, {poExtSyntax});
  TParseVerifier verifier(ds.get(), parser.FilterData());
  for (auto _ : state) benchmark::DoNotOptimize(verifier.Verify());
}
BENCHMARK(BM_VerifyPositionedRecord);

// Record 1 fails on the agency: AND stops after its left side.
void BM_VerifyPositionedRecordShortCircuit(benchmark::State& state) {
  auto ds = Companies(2);
  ds->Next();
  TExprParser parser(ds.get(), kFilter, {}, {poExtSyntax});
  TParseVerifier verifier(ds.get(), parser.FilterData());
  for (auto _ : state) benchmark::DoNotOptimize(verifier.Verify());
}
BENCHMARK(BM_VerifyPositionedRecordShortCircuit);

// The whole client-side filter path: every fetched record tested in the
// dataset's filter state. Items are records scanned.
void BM_FilteredScan(benchmark::State& state) {
  auto ds = Companies(kScanRecords);
  TExprParser parser(ds.get(), kFilter, {}, {poExtSyntax});
  TParseVerifier verifier(ds.get(), parser.FilterData());
  ds->SetOnFilterRecord([&](TDataSet*, bool& accept) { accept = verifier.Verify(); });
  ds->SetFiltered(true);
  int64_t passed = 0;
  for (auto _ : state) {
    for (ds->First(); !ds->Eof(); ds->Next()) ++passed;
  }
  benchmark::DoNotOptimize(passed);
  state.SetItemsProcessed(state.iterations() * kScanRecords);
}
BENCHMARK(BM_FilteredScan)->Unit(benchmark::kMillisecond);

sqlite3* SqliteCompanies(int Records) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  sqlite3_exec(db,
               "CREATE TABLE Company (Number TEXT, Name TEXT, AgyCode TEXT, fHasParentCmp INTEGER, "
               "MyParentCmp TEXT, InactiveAcct INTEGER)",
               nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO Company VALUES (?, ?, ?, ?, ?, 0)", -1, &insert, nullptr);
  static const char* const agencies[] = {"01", "02", " 1"};
  for (int i = 0; i < Records; ++i) {
    const std::string number = std::to_string(i), name = "Company " + number, parent = std::to_string(i / 3);
    sqlite3_bind_text(insert, 1, number.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, agencies[i % 3], -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 4, i % 3 == 0 ? 0 : 1);
    sqlite3_bind_text(insert, 5, parent.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return db;
}

void BM_SqlitePrepareAgencyFilter(benchmark::State& state) {
  sqlite3* db = SqliteCompanies(1);
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kSql, -1, &stmt, nullptr);
    benchmark::DoNotOptimize(stmt);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
}
BENCHMARK(BM_SqlitePrepareAgencyFilter);

void BM_SqliteFilteredScan(benchmark::State& state) {
  sqlite3* db = SqliteCompanies(kScanRecords);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, kSql, -1, &stmt, nullptr);
  int64_t passed = 0;
  for (auto _ : state) {
    while (sqlite3_step(stmt) == SQLITE_ROW) ++passed;
    sqlite3_reset(stmt);
  }
  benchmark::DoNotOptimize(passed);
  state.SetItemsProcessed(state.iterations() * kScanRecords);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}
BENCHMARK(BM_SqliteFilteredScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
