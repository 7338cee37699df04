#include "tools/dac/commands.h"

#include <exception>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"
#include "sessions/session_list.h"
#include "tables/pv_table.h"
#include "tools/dac/command_support.h"
#include "tools/dac/table_output.h"

namespace dactool {

namespace {

using namespace dac;

TFilterOptions ParseFilterOptions(const std::string& Text) {
  TFilterOptions options;
  if (Text.empty()) return options;
  for (const std::string& word : Split(Text, ',')) {
    if (word == "ci")
      options.Include(foCaseInsensitive);
    else if (word == "nopartial")
      options.Include(foNoPartialCompare);
    else
      throw UsageError("unknown filter option '" + word + "' (known: ci, nopartial)");
  }
  return options;
}

}  // namespace

int Browse(const BrowseOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const TFilterOptions filterOptions = ParseFilterOptions(Options.FilterOptions);
    auto table = OpenTable(Options, [&](TPvTable* t) {
      t->SetClientSideFilters(Options.ClientSide);
      if (Options.Filter.empty()) return;
      t->SetFilterOptions(filterOptions);
      t->SetFilterText(Options.Filter);
      t->SetFiltered(true);
    });
    if (Options.Explain)
      for (const std::string& line : table->FilterExplanation()) Out << "# " << line << '\n';
    const std::vector<TField*> fields = ChooseFields(table.get(), Options.Fields);
    if (!PositionByKeys(table.get(), Options)) return kExitNotFound;
    WriteHeader(Out, fields);
    uint64_t written = 0;
    for (; !table->Eof(); table->Next()) {
      if (Options.Limit && written >= *Options.Limit) break;
      WriteRecord(Out, fields);
      ++written;
    }
    Out.flush();
    return Out ? kExitOk : kExitFailed;
  });
}

int Locate(const LocateOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const Variant wanted = KeyValues(Options.Keys, Options.Values);
    auto table = OpenTable(Options, [&](TPvTable* t) { t->SetClientSideFilters(Options.ClientSide); });
    TLocateOptions locateOptions;
    if (Options.CaseInsensitive) locateOptions.Include(loCaseInsensitive);
    if (Options.Partial) locateOptions.Include(loPartialKey);
    if (!table->Locate(Options.Keys, wanted, locateOptions)) return kExitNotFound;
    const std::vector<TField*> fields = ChooseFields(table.get(), Options.Fields);
    WriteHeader(Out, fields);
    WriteRecord(Out, fields);
    Out.flush();
    return Out ? kExitOk : kExitFailed;
  });
}

}  // namespace dactool
