// TPvDrmDataSet: the record search of Locate and Lookup over the engine
// cursor. Until filters and locates are handed to the engine, the search
// walks the records the dataset shows (its filter applied) from the first
// and tests each one on the client.
#include <vector>

#include "errors/trace.h"
#include "filter/record_match.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/variant.h"
#include "tables/pv_drm_dataset.h"

namespace dac {

namespace {

// The key values, one per key field: a variant array's elements, or the one
// value.
std::vector<Variant> KeyValueList(const Variant& KeyValues, size_t FieldCount) {
  std::vector<Variant> values;
  if (KeyValues.IsArray()) {
    for (int i = KeyValues.ArrayLowBound(); i <= KeyValues.ArrayHighBound(); ++i)
      values.push_back(KeyValues.GetElement(i));
  } else {
    values.push_back(KeyValues);
  }
  values.resize(FieldCount > values.size() ? FieldCount : values.size());
  return values;
}

}  // namespace

bool TPvDrmDataSet::DoLocate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                             bool SyncCursor) {
  (void)SyncCursor;
  TTraceScope trace(TraceLocate, kTraceLocate, "TPvDrmDataSet.DoLocate");
  CheckBrowseMode();
  CursorPosChanged();
  // The fields and values are resolved once, not per record.
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  const std::vector<Variant> values = KeyValueList(KeyValues, fields.size());
  auto matches = [&] {
    for (size_t i = 0; i < fields.size(); ++i)
      if (!MatchFieldValue(fields[i], values[i], Options)) return false;
    return true;
  };
  if (PvInternalFirst(false) != grOK) return false;
  while (GetRecord(FScratchBuffer, gmNext, false) == grOK) {
    const TFilterRecordState saved = BeginFilterRecord(FScratchBuffer);
    Finally restore([&] { EndFilterRecord(saved); });
    if (matches()) return true;
  }
  return false;
}

}  // namespace dac
