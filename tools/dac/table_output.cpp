#include "tools/dac/table_output.h"

#include "platform/db/field.h"
#include "tools/drmcli/csv.h"

namespace dactool {

std::vector<dac::TField*> ChooseFields(dac::TDataSet* DataSet, const std::string& Names) {
  std::vector<dac::TField*> fields;
  if (Names.empty()) {
    for (dac::TField* f : DataSet->Fields()->List()) fields.push_back(f);
    return fields;
  }
  size_t start = 0;
  while (start <= Names.size()) {
    const size_t comma = Names.find(',', start);
    const std::string name = Names.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!name.empty()) fields.push_back(DataSet->FieldByName(name));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

void WriteHeader(std::ostream& Out, const std::vector<dac::TField*>& Fields) {
  std::vector<drmcli::CsvField> cells;
  for (dac::TField* f : Fields) cells.push_back({f->FieldName(), false});
  Out << drmcli::CsvRecord(cells);
}

void WriteRecord(std::ostream& Out, const std::vector<dac::TField*>& Fields) {
  std::vector<drmcli::CsvField> cells;
  for (dac::TField* f : Fields) {
    if (f->IsNull())
      cells.push_back({std::string(), false});
    else {
      std::string text = f->AsString();
      const bool empty = text.empty();
      cells.push_back({std::move(text), empty});
    }
  }
  Out << drmcli::CsvRecord(cells);
}

}  // namespace dactool
