#include "tools/dac/command_support.h"

#include "platform/desktop/application.h"
#include "tables/pv_table.h"

namespace dactool {

int32_t HandledFailures() { return dac::Application()->HandledExceptionCount(); }

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

dac::TFreePtr<dac::TPvTable> OpenTable(const TableOptions& Options,
                                       const std::function<void(dac::TPvTable*)>& BeforeOpen) {
  auto table = dac::CreateUnowned<dac::TPvTable>();
  table->SetName("DacTable");
  table->SetDatabaseName(Options.Location);
  table->SetTableName(Options.Table);
  if (!Options.Index.empty()) table->SetIndexName(Options.Index);
  if (BeforeOpen) BeforeOpen(table.get());
  table->Open();
  return table;
}

dac::Variant KeyValues(const std::string& Keys, const std::string& Values) {
  if (Keys.empty()) throw UsageError("--keys names no field");
  const std::vector<std::string> keys = Split(Keys, ';');
  const std::vector<std::string> values = Split(Values, ';');
  if (keys.size() != values.size())
    throw UsageError("--keys names " + std::to_string(keys.size()) + " fields but --values gives " +
                     std::to_string(values.size()) + " values");
  if (values.size() == 1) return dac::Variant(values[0]);
  std::vector<dac::Variant> items;
  for (const std::string& v : values) items.emplace_back(v);
  return dac::VarArrayOf(items);
}

}  // namespace dactool
