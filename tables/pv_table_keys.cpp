// TPvTable: keyed search and ranges on the active index. The key buffers
// and the engine side of both are TPvDrmDataSet's (pv_drm_dataset_keys.cpp,
// pv_drm_dataset_ranges.cpp); this file is the public face.
#include "platform/db/field.h"
#include "tables/pv_table.h"

namespace dac {

namespace {

bool HasBcdField(const std::vector<TField*>& Fields) {
  for (TField* f : Fields)
    if (f != nullptr && f->DataType() == ftBCD) return true;
  return false;
}

}  // namespace

// ---- keyed search ----------------------------------------------------------------------------

bool TPvTable::GotoKey() {
  CheckBrowseMode();
  std::vector<TField*> fields;
  for (const TDRMIndexInfo* seg : ActiveIndexSegments()) fields.push_back(FindField(seg->IndexedColumnName));
  if (!HasBcdField(fields)) {
    if (SeekKey(false) != grOK) return false;
    Resync({rmExact, rmCenter});
    return true;
  }
  // A decimal key is found by a nearest search and then compared with the
  // captured key value, so that a value the engine holds with another
  // scale still matches.
  const TBookmark bookmark = GetBookmark();
  if (SeekKey(true) != grOK) return false;
  Resync({rmCenter});
  bool match = true;
  for (int32_t i = 0; i < FIndexFieldCount && static_cast<size_t>(i) < FKeyValues.size(); ++i) {
    TField* f = IndexFieldAt(i);
    if (f->DataType() == ftBCD && FKeyDataTypes[static_cast<size_t>(i)] == ftBCD &&
        !(f->Value() == FKeyValues[static_cast<size_t>(i)]))
      match = false;
  }
  if (!match) GotoBookmark(bookmark);
  return match;
}

void TPvTable::GotoNearest() {
  CheckBrowseMode();
  if (SeekKey(true) == grOK)
    Resync({rmCenter});
  else
    Last();
}

bool TPvTable::FindKey(const std::vector<Variant>& Values) {
  CheckBrowseMode();
  SetKeyFields(kiLookup, Values);
  return GotoKey();
}

void TPvTable::FindNearest(const std::vector<Variant>& Values) {
  CheckBrowseMode();
  SetKeyFields(kiLookup, Values);
  GotoNearest();
}

// ---- ranges ------------------------------------------------------------------------------------

void TPvTable::SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues) {
  CheckBrowseMode();
  SetKeyFields(kiRangeStart, StartValues);
  SetKeyFields(kiRangeEnd, EndValues);
  ApplyRange();
}

void TPvTable::ApplyRange() {
  CheckBrowseMode();
  if (ApplyEngineRange()) First();
  FApplyRangeCalled = true;
}

void TPvTable::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (ClearEngineRange()) {
    // A range that showed nothing left no record to stay on.
    if (IsEmpty())
      First();
    else
      Resync({});
  }
  FApplyRangeCalled = false;
}

}  // namespace dac
