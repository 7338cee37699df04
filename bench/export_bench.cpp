// The company-list export of agency "01" over the sample Company table,
// through the component layer (the program's own run: two tables, the
// parent filter on index_1 and one subsidiary filter per parent) against a
// hand-written program over plain SQLite on the same engine file (one
// prepared, parameter-bound statement per parent) writing the same two
// files with the same flushes. Both files are compared once.
//
// DAC_BENCH_ROWS sets the table size (default 100,000). The table is made
// once per size in $DAC_BENCH_DIR (default /tmp/export-bench) and reused.
//
// Besides the two runs it measures the per-parent cycle on its own (filter
// text, parse, push-down, seek and the walk of the subsidiaries) for the
// first 10,000 parents, and the same cycle answered by plain SQLite.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/company_export.h"
#include "app/company_text.h"
#include "app/form1.h"
#include "filter/expr_parser.h"
#include "platform/db/field.h"
#include "sessions/session_list.h"
#include "tables/pv_table.h"
#include "tests/support/plain_company_export.h"
#include "tools/drmcli/commands.h"

namespace {

namespace fs = std::filesystem;

const char* const kAgency = "01";

uint32_t Rows() {
  const char* v = std::getenv("DAC_BENCH_ROWS");
  return v ? static_cast<uint32_t>(std::strtoul(v, nullptr, 10)) : 100000u;
}

struct TBenchData {
  std::string Folder;      // the engine's data folder and the lists
  std::string Location;    // the database folder
  std::vector<std::string> Parents;  // agency "01"'s parent numbers
};

std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

const TBenchData& Data() {
  static const TBenchData data = [] {
    TBenchData d;
    const char* dir = std::getenv("DAC_BENCH_DIR");
    d.Folder = std::string(dir ? dir : "/tmp/export-bench") + "/" + std::to_string(Rows());
    d.Location = d.Folder + "/db";
    setenv("DAC_ENGINE_DATA_DIR", (d.Folder + "/engine-data").c_str(), 1);
    setenv("DAC_ENGINE_CONFIG_DIR", (d.Folder + "/engine-config").c_str(), 1);
    fs::create_directories(d.Location);
    const std::string done = d.Folder + "/made";
    if (!fs::exists(done)) {
      std::ostringstream report;
      drmcli::CmdSampleCompany(d.Location, Rows(), 1, report);
      std::ofstream(done) << report.str();
    }
    plainexport::TCompanyStorage storage(d.Location + "/engine.rdb");
    plainexport::TStatement parents(storage.Db(), storage.ParentsSql());
    parents.Bind(1, kAgency);
    while (parents.Step()) d.Parents.push_back(parents.Text(0));
    dac::InitializeSessions();
    return d;
  }();
  return data;
}

std::string LayerNames() { return Data().Folder + "/layer-companies.csv"; }
std::string LayerCoded() { return Data().Folder + "/layer-cmplist.csv"; }
std::string PlainNames() { return Data().Folder + "/plain-companies.csv"; }
std::string PlainCoded() { return Data().Folder + "/plain-cmplist.csv"; }

double gLayerSeconds = 0, gPlainSeconds = 0;

double SecondsPerIteration(benchmark::State& State, double Total) {
  return Total / static_cast<double>(State.iterations());
}

void BM_ExportThroughLayer(benchmark::State& State) {
  const TBenchData& d = Data();
  double total = 0;
  quillbox::TExportCounts counts;
  for (auto _ : State) {
    auto form = dac::CreateUnowned<quillbox::TForm1>();
    form->DSN = d.Location;
    form->Path = LayerNames();
    form->CodedList = LayerCoded();
    form->AgyCode = kAgency;
    const auto start = std::chrono::steady_clock::now();
    form->Run();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    counts = form->LastCounts();
  }
  gLayerSeconds = SecondsPerIteration(State, total);
  State.counters["parents"] = static_cast<double>(counts.Parents);
  State.counters["subsidiaries"] = static_cast<double>(counts.Subsidiaries);
  State.counters["us_per_parent"] = gLayerSeconds * 1e6 / static_cast<double>(counts.Parents);
}

void BM_ExportPlainSqlite(benchmark::State& State) {
  const TBenchData& d = Data();
  double total = 0;
  plainexport::TCounts counts;
  for (auto _ : State) {
    const auto start = std::chrono::steady_clock::now();
    plainexport::TCompanyStorage storage(d.Location + "/engine.rdb");
    counts = plainexport::WriteCompanyLists(storage, kAgency, PlainNames(), PlainCoded());
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  gPlainSeconds = SecondsPerIteration(State, total);
  State.counters["parents"] = static_cast<double>(counts.Parents);
  State.counters["us_per_parent"] = gPlainSeconds * 1e6 / static_cast<double>(counts.Parents);
}

// The per-parent cycle alone: the subsidiary filter's text, its parse and
// push-down, the seek, and the walk of the parent's subsidiaries.
constexpr size_t kCycleParents = 10000;

dac::TFreePtr<dac::TPvTable> OpenCompanyTable(const std::string& Location) {
  auto table = dac::CreateUnowned<dac::TPvTable>();
  table->SetDatabaseName(Location);
  table->SetTableName("Company");
  table->Open();
  return table;
}

// Reported as time per parent: n parents per iteration.
void CountMicrosPerParent(benchmark::State& State, size_t n) {
  State.counters["us_per_parent"] = benchmark::Counter(
      static_cast<double>(n) * static_cast<double>(State.iterations()), benchmark::Counter::kIsRate |
                                                                           benchmark::Counter::kInvert);
}

void BM_SubsidiaryCycleThroughLayer(benchmark::State& State) {
  const TBenchData& d = Data();
  auto table = OpenCompanyTable(d.Location);
  dac::TField* number = table->FieldByName("Number");
  const size_t n = std::min(kCycleParents, d.Parents.size());
  int64_t subsidiaries = 0;
  for (auto _ : State) {
    for (size_t i = 0; i < n; ++i) {
      quillbox::ApplyCompanyFilter(table.get(), quillbox::SubsidiaryFilter(kAgency, d.Parents[i]));
      for (; !table->Eof(); table->Next()) {
        benchmark::DoNotOptimize(number->AsString());
        ++subsidiaries;
      }
    }
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(n));
  CountMicrosPerParent(State, n);
  (void)subsidiaries;
}

// One parse of a subsidiary filter: the share of the cycle that the text
// costs before the engine sees anything.
void BM_SubsidiaryFilterParse(benchmark::State& State) {
  const TBenchData& d = Data();
  auto table = OpenCompanyTable(d.Location);
  const size_t n = std::min(kCycleParents, d.Parents.size());
  for (auto _ : State) {
    for (size_t i = 0; i < n; ++i) {
      dac::TExprParser parser(table.get(), quillbox::SubsidiaryFilter(kAgency, d.Parents[i]), table->FilterOptions(),
                              dac::TParserOptions{dac::poExtSyntax});
      benchmark::DoNotOptimize(parser.FilterData());
    }
  }
  CountMicrosPerParent(State, n);
}

// The cycle without the walk, as literally as it can be written: set the
// text, switch filtering on, move to the first record. Each of the three
// moves to the first record (the dataset's own on a new text and on
// switching filtering on, then the explicit one) seeks; the run asks for one.
void BM_SubsidiaryFilterThreeFirsts(benchmark::State& State) {
  const TBenchData& d = Data();
  auto table = OpenCompanyTable(d.Location);
  const size_t n = std::min(kCycleParents, d.Parents.size());
  for (auto _ : State) {
    for (size_t i = 0; i < n; ++i) {
      table->SetFilter(quillbox::SubsidiaryFilter(kAgency, d.Parents[i]));
      table->SetFiltered(true);
      table->First();
    }
  }
  CountMicrosPerParent(State, n);
}

void BM_SubsidiaryCyclePlainSqlite(benchmark::State& State) {
  const TBenchData& d = Data();
  plainexport::TCompanyStorage storage(d.Location + "/engine.rdb");
  plainexport::TStatement subsidiaries(storage.Db(), storage.SubsidiariesSql());
  const size_t n = std::min(kCycleParents, d.Parents.size());
  for (auto _ : State) {
    for (size_t i = 0; i < n; ++i) {
      subsidiaries.Reset();
      subsidiaries.Bind(1, kAgency);
      subsidiaries.Bind(2, d.Parents[i]);
      while (subsidiaries.Step()) benchmark::DoNotOptimize(subsidiaries.Text(0));
    }
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(n));
  CountMicrosPerParent(State, n);
}

BENCHMARK(BM_ExportThroughLayer)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExportPlainSqlite)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SubsidiaryCycleThroughLayer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SubsidiaryFilterParse)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SubsidiaryFilterThreeFirsts)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SubsidiaryCyclePlainSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gLayerSeconds > 0 && gPlainSeconds > 0) {
    const bool same = ReadAll(LayerNames()) == ReadAll(PlainNames()) && ReadAll(LayerCoded()) == ReadAll(PlainCoded());
    std::printf("rows %u, agency %s: %zu parents; layer %.3f s, plain SQLite %.3f s, ratio %.2f; files %s\n", Rows(),
                kAgency, Data().Parents.size(), gLayerSeconds, gPlainSeconds, gLayerSeconds / gPlainSeconds,
                same ? "identical" : "DIFFER");
    if (!same) return 1;
  }
  dac::FinalizeSessions();
  return 0;
}
