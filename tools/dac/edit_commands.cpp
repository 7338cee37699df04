// The dac commands that change records, through TPvTable exactly as an
// application would. insert appends one record (Append, field writes, Post)
// and prints it as stored: the engine's initial values of the fields not
// named, numbers it drew and the values as read back. update locates a
// record, edits and posts it and prints it; delete locates a record,
// deletes it and prints what it held.
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/scope_guard.h"
#include "tables/pv_table.h"
#include "tools/dac/command_support.h"
#include "tools/dac/commands.h"
#include "tools/dac/table_output.h"

namespace dactool {

namespace {

using namespace dac;

struct Assignment {
  std::string Field;
  std::string Value;
  bool Null = false;
};

// The assignments in the order given; a field named twice is refused, as
// one of the two values would silently win.
std::vector<Assignment> ParseAssignments(const std::vector<std::string>& Assignments,
                                         const std::vector<std::string>& Nulls) {
  std::vector<Assignment> list;
  std::set<std::string> seen;
  auto add = [&](Assignment a) {
    if (a.Field.empty()) throw UsageError("an assignment names no field");
    std::string key;
    for (char c : a.Field) key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (!seen.insert(key).second) throw UsageError("field '" + a.Field + "' is given more than once");
    list.push_back(std::move(a));
  };
  for (const std::string& text : Assignments) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) throw UsageError("'" + text + "' is not FIELD=VALUE");
    add({text.substr(0, eq), text.substr(eq + 1), false});
  }
  for (const std::string& name : Nulls) add({name, std::string(), true});
  return list;
}

// The fields the assignments name, resolved before anything changes, so an
// unknown name fails with nothing started.
std::vector<std::pair<TField*, const Assignment*>> Targets(TPvTable* Table, const std::vector<Assignment>& List) {
  std::vector<std::pair<TField*, const Assignment*>> targets;
  for (const Assignment& a : List) targets.emplace_back(Table->FieldByName(a.Field), &a);
  return targets;
}

void Assign(const std::vector<std::pair<TField*, const Assignment*>>& Targets) {
  for (const auto& [field, a] : Targets) {
    if (a->Null)
      field->Clear();
    else
      field->SetAsString(a->Value);
  }
}

void Print(std::ostream& Out, const std::vector<TField*>& Fields) {
  WriteHeader(Out, Fields);
  WriteRecord(Out, Fields);
  Out.flush();
}

}  // namespace

int Insert(const InsertOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const std::vector<Assignment> assignments = ParseAssignments(Options.Assignments, Options.Nulls);
    auto table = OpenTable(Options);
    const std::vector<TField*> shown = ChooseFields(table.get(), Options.Fields);
    const auto targets = Targets(table.get(), assignments);
    table->Append();
    // A value refused on the way leaves nothing behind: the new record is
    // dropped, never posted half-filled.
    Finally drop([&] { table->Cancel(); });
    Assign(targets);
    table->Post();
    drop.Dismiss();
    Print(Out, shown);
    return Out ? kExitOk : kExitFailed;
  });
}

int Update(const UpdateOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const std::vector<Assignment> assignments = ParseAssignments(Options.Assignments, Options.Nulls);
    if (assignments.empty()) throw UsageError("update names no FIELD=VALUE");
    const Variant wanted = KeyValues(Options.Keys, Options.Values);
    auto table = OpenTable(Options);
    const std::vector<TField*> shown = ChooseFields(table.get(), Options.Fields);
    const auto targets = Targets(table.get(), assignments);
    if (!table->Locate(Options.Keys, wanted, {})) return kExitNotFound;
    table->Edit();
    // A refused value leaves the stored record as it was.
    Finally undo([&] { table->Cancel(); });
    Assign(targets);
    table->Post();
    undo.Dismiss();
    Print(Out, shown);
    return Out ? kExitOk : kExitFailed;
  });
}

int Delete(const DeleteOptions& Options, std::ostream& Out, std::ostream& Err) {
  return Guarded(Err, [&] {
    const Variant wanted = KeyValues(Options.Keys, Options.Values);
    auto table = OpenTable(Options);
    const std::vector<TField*> shown = ChooseFields(table.get(), Options.Fields);
    if (!table->Locate(Options.Keys, wanted, {})) return kExitNotFound;
    // What is deleted is printed from the record as it was read.
    std::ostringstream record;
    Print(record, shown);
    table->Delete();
    Out << record.str();
    Out.flush();
    return Out ? kExitOk : kExitFailed;
  });
}

}  // namespace dactool
