// Moving through the in-memory dataset: Next plus three field reads per
// record, over 1,000,000 records.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/db/memory_dataset.h"

namespace {

using namespace dac;

constexpr int kRecords = 1000000;

TMemoryDataSet* People() {
  static TFreePtr<TMemoryDataSet> ds = [] {
    auto d = CreateUnowned<TMemoryDataSet>();
    d->FieldDefs()->Add("ID", ftInteger, 0, true);
    d->FieldDefs()->Add("NAME", ftString, 20);
    d->FieldDefs()->Add("SALARY", ftFloat);
    d->Open();
    d->DisableControls();
    for (int i = 1; i <= kRecords; ++i)
      d->AppendRecord({Variant(i), Variant("Name" + std::to_string(i)), Variant(i * 0.5)});
    d->EnableControls();
    return d;
  }();
  return ds.get();
}

void BM_NextAndReadThreeFields(benchmark::State& state) {
  TMemoryDataSet* ds = People();
  TField* id = ds->FieldByName("ID");
  TField* name = ds->FieldByName("NAME");
  TField* salary = ds->FieldByName("SALARY");
  int64_t records = 0;
  for (auto _ : state) {
    ds->First();
    int64_t sum = 0;
    double total = 0;
    size_t chars = 0;
    while (!ds->Eof()) {
      sum += id->AsInteger();
      chars += name->AsString().size();
      total += salary->AsFloat();
      ds->Next();
      ++records;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(total);
    benchmark::DoNotOptimize(chars);
  }
  // With 1,000,000 records per iteration, the time in milliseconds per
  // iteration reads as nanoseconds per record.
  state.SetItemsProcessed(records);
}
BENCHMARK(BM_NextAndReadThreeFields)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
