#include "tools/dac/commands.h"

#include <exception>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"
#include "sessions/session_list.h"
#include "tables/pv_table.h"
#include "tools/dac/table_output.h"

namespace dactool {

namespace {

using namespace dac;

// Raised for options the tool cannot make sense of (exit 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<std::string> Split(const std::string& Text, char Separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = Text.find(Separator, start);
    parts.push_back(Text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

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

TFreePtr<TPvTable> OpenTable(const TableOptions& Options, const std::function<void(TPvTable*)>& BeforeOpen) {
  auto table = CreateUnowned<TPvTable>();
  table->SetName("DacTable");
  table->SetDatabaseName(Options.Location);
  table->SetTableName(Options.Table);
  if (!Options.Index.empty()) table->SetIndexName(Options.Index);
  if (BeforeOpen) BeforeOpen(table.get());
  table->Open();
  return table;
}

// Runs a command body, turning its failure into a message and a status.
template <class Body>
int Guarded(std::ostream& Err, Body&& body) {
  try {
    return body();
  } catch (const UsageError& e) {
    Err << "dac: " << e.what() << '\n';
    return kExitUsage;
  } catch (const Exception& e) {
    Err << e.Message() << '\n';
    return kExitFailed;
  } catch (const std::exception& e) {
    Err << e.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace

int Browse(const BrowseOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const TFilterOptions filterOptions = ParseFilterOptions(Options.FilterOptions);
    auto table = OpenTable(Options, [&](TPvTable* t) {
      if (Options.Filter.empty()) return;
      t->SetFilterOptions(filterOptions);
      t->SetFilterText(Options.Filter);
      t->SetFiltered(true);
    });
    const std::vector<TField*> fields = ChooseFields(table.get(), Options.Fields);
    WriteHeader(Out, fields);
    uint64_t written = 0;
    for (table->First(); !table->Eof(); table->Next()) {
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
    if (Options.Keys.empty()) throw UsageError("--keys names no field");
    const std::vector<std::string> keys = Split(Options.Keys, ';');
    const std::vector<std::string> values = Split(Options.Values, ';');
    if (keys.size() != values.size())
      throw UsageError("--keys names " + std::to_string(keys.size()) + " fields but --values gives " +
                       std::to_string(values.size()) + " values");
    auto table = OpenTable(Options, nullptr);
    Variant wanted;
    if (values.size() == 1) {
      wanted = Variant(values[0]);
    } else {
      std::vector<Variant> items;
      for (const std::string& v : values) items.emplace_back(v);
      wanted = VarArrayOf(items);
    }
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
