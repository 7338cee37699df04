#pragma once
// TPvIndexDefs: the index definitions of a table, as the table rebuilds
// them from the engine's index catalog. Adds the lookup by field list that
// index selection and master-detail links use.

#include <string>

#include "platform/db/index_defs.h"

namespace dac {

class TPvIndexDefs : public TIndexDefs {
 public:
  explicit TPvIndexDefs(TDataSet* ADataSet);

  // Brings the definitions up to date, then looks for an index over Fields
  // (field names separated by ";", compared without regard to case): first
  // one whose field list is exactly Fields, else one whose field list starts
  // with Fields followed by ";" or the end. Expression indexes never match;
  // with CaseInsensitive only case-insensitive indexes do. Null when none.
  TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive) override;
  // As GetIndexForFields (case-sensitive ones included), raising "No index
  // for fields '%s'" (EPvDatabaseError naming the dataset) when none.
  TIndexDef* FindIndexForFields(const std::string& Fields) override;
};

}  // namespace dac
