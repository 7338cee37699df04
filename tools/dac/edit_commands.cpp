// The dac commands that change records. insert appends one record through
// TPvTable (Append, field writes, Post), exactly as an application would,
// and prints the record as it was stored: the engine's initial values of
// the fields not named, numbers it drew and the values as read back.
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/scope_guard.h"
#include "tables/pv_table.h"
#include "tools/dac/commands.h"
#include "tools/dac/table_output.h"

namespace dactool {

namespace {

using namespace dac;

// Options the tool cannot make sense of (exit 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Assignment {
  std::string Field;
  std::string Value;
  bool Null = false;
};

// The assignments in the order given; a field named twice is refused, as
// one of the two values would silently win.
std::vector<Assignment> ParseAssignments(const InsertOptions& Options) {
  std::vector<Assignment> list;
  std::set<std::string> seen;
  auto add = [&](Assignment a) {
    if (a.Field.empty()) throw UsageError("an assignment names no field");
    std::string key;
    for (char c : a.Field) key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (!seen.insert(key).second) throw UsageError("field '" + a.Field + "' is given more than once");
    list.push_back(std::move(a));
  };
  for (const std::string& text : Options.Assignments) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) throw UsageError("'" + text + "' is not FIELD=VALUE");
    add({text.substr(0, eq), text.substr(eq + 1), false});
  }
  for (const std::string& name : Options.Nulls) add({name, std::string(), true});
  return list;
}

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

int Insert(const InsertOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const std::vector<Assignment> assignments = ParseAssignments(Options);
    auto table = CreateUnowned<TPvTable>();
    table->SetName("DacTable");
    table->SetDatabaseName(Options.Location);
    table->SetTableName(Options.Table);
    if (!Options.Index.empty()) table->SetIndexName(Options.Index);
    table->Open();
    // Unknown names fail before anything is started.
    const std::vector<TField*> shown = ChooseFields(table.get(), Options.Fields);
    std::vector<std::pair<TField*, const Assignment*>> targets;
    for (const Assignment& a : assignments) targets.emplace_back(table->FieldByName(a.Field), &a);
    table->Append();
    // A value refused on the way leaves nothing behind: the new record is
    // dropped, never posted half-filled.
    Finally drop([&] { table->Cancel(); });
    for (const auto& [field, a] : targets) {
      if (a->Null)
        field->Clear();
      else
        field->SetAsString(a->Value);
    }
    table->Post();
    drop.Dismiss();
    WriteHeader(Out, shown);
    WriteRecord(Out, shown);
    Out.flush();
    return Out ? kExitOk : kExitFailed;
  });
}

}  // namespace dactool
