// Writing the records a dataset shows as comma-separated text: a header of
// field names, then one line per record with each value as the field's
// text; NULL is an empty unquoted cell, an empty text a quoted one.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/db/dataset.h"

namespace dactool {

// The fields named in a comma-separated list, in that order, or every field
// of the dataset when the list is empty. Raises the dataset's "Field not
// found" error for an unknown name.
std::vector<dac::TField*> ChooseFields(dac::TDataSet* DataSet, const std::string& Names);

void WriteHeader(std::ostream& Out, const std::vector<dac::TField*>& Fields);
void WriteRecord(std::ostream& Out, const std::vector<dac::TField*>& Fields);

}  // namespace dactool
