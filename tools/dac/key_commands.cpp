// The key commands of dac: positioning a browse by key or range on the
// chosen index, and the master-detail walk.
#include <vector>

#include "platform/db/data_source.h"
#include "platform/rtl/variant.h"
#include "tables/pv_table.h"
#include "tools/dac/command_support.h"
#include "tools/dac/commands.h"
#include "tools/dac/table_output.h"

namespace dactool {

namespace {

using namespace dac;

// "v1;v2" as the values of the index fields in order.
std::vector<Variant> IndexValues(const std::string& Text, const char* Option) {
  if (Text.empty()) throw UsageError(std::string(Option) + " gives no value");
  std::vector<Variant> values;
  for (const std::string& v : Split(Text, ';')) values.emplace_back(v);
  return values;
}

}  // namespace

bool PositionByKeys(TPvTable* Table, const BrowseOptions& Options) {
  if (Options.FindKey && Options.FindNearest) throw UsageError("--find-key and --find-nearest exclude each other");
  if (Options.Range) {
    const std::vector<std::string> sides = Split(*Options.Range, ':');
    if (sides.size() != 2) throw UsageError("--range takes START;...:END;...");
    Table->SetRange(IndexValues(sides[0], "--range start"), IndexValues(sides[1], "--range end"));
  }
  if (Options.FindKey) return Table->FindKey(IndexValues(*Options.FindKey, "--find-key"));
  if (Options.FindNearest)
    Table->FindNearest(IndexValues(*Options.FindNearest, "--find-nearest"));
  else
    Table->First();
  return true;
}

int MasterDetail(const MasterDetailOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    if (Options.MasterFields.empty()) throw UsageError("--master-fields names no field");
    TableOptions masterOptions;
    masterOptions.Location = Options.Location;
    masterOptions.Table = Options.Master;
    masterOptions.Index = Options.MasterIndex;
    auto master = OpenTable(masterOptions);
    auto source = CreateUnowned<TDataSource>();
    source->SetDataSet(master.get());
    TableOptions detailOptions;
    detailOptions.Location = Options.Location;
    detailOptions.Table = Options.Detail;
    detailOptions.Index = Options.DetailIndex;
    auto detail = OpenTable(detailOptions, [&](TPvTable* t) {
      t->SetName("DacDetail");
      t->SetMasterSource(source.get());
      t->SetMasterFields(Options.MasterFields);
    });
    const std::vector<TField*> masterFields = ChooseFields(master.get(), "");
    const std::vector<TField*> detailFields = ChooseFields(detail.get(), "");
    Out << "master,";
    WriteHeader(Out, masterFields);
    Out << "detail,";
    WriteHeader(Out, detailFields);
    for (master->First(); !master->Eof(); master->Next()) {
      Out << "master,";
      WriteRecord(Out, masterFields);
      for (detail->First(); !detail->Eof(); detail->Next()) {
        Out << "detail,";
        WriteRecord(Out, detailFields);
      }
    }
    // The detail lets go of the source before either ends.
    detail->Close();
    detail->SetMasterSource(nullptr);
    Out.flush();
    return Out ? kExitOk : kExitFailed;
  });
}

}  // namespace dactool
