#include "platform/db/memory_dataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/db/binary_fields.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"

namespace dac {

// ---- filter and search --------------------------------------------------------------

void TMemoryDataSet::SetFilterText(const std::string& Value) {
  if (Filtered() && !Value.empty())
    DatabaseError("Filter expressions are not supported by this dataset", this);
  TDataSet::SetFilterText(Value);
}

void TMemoryDataSet::SetFiltered(bool Value) {
  if (Value == Filtered()) return;
  if (Value && !Filter().empty()) DatabaseError("Filter expressions are not supported by this dataset", this);
  if (Active()) CheckBrowseMode();
  TDataSet::SetFiltered(Value);
  if (Active()) First();
}

bool TMemoryDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  bool found = false;
  {
    FFindMode = true;
    Finally findModeOff([this] { FFindMode = false; });
    if (Restart) {
      if (GoForward)
        InternalFirst();
      else
        InternalLast();
    }
    found = GetRecord(TempBuffer(), GoForward ? gmNext : gmPrior, true) == grOK;
  }
  if (found) {
    Resync({rmExact, rmCenter});
    SetFound(true);
    DoAfterScroll();
  }
  return found;
}

int32_t TMemoryDataSet::FindRow(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  if (fields.empty()) return -1;
  std::vector<Variant> values;
  if (fields.size() == 1 && !KeyValues.IsArray()) {
    values.push_back(KeyValues);
  } else {
    int lo = KeyValues.ArrayLowBound(), hi = KeyValues.ArrayHighBound();
    if (hi - lo + 1 < static_cast<int>(fields.size()))
      DatabaseErrorFmt("%d values given for %d fields", this, hi - lo + 1, static_cast<int64_t>(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) values.push_back(KeyValues.GetElement(lo + static_cast<int>(i)));
  }
  auto matches = [&](TField* f, const Variant& v) {
    if (v.IsClear()) return f->IsNull();
    if (f->IsNull()) return false;
    if (v.IsStr() || Options.Contains(loCaseInsensitive) || Options.Contains(loPartialKey)) {
      std::string a = f->AsString(), b = v.AsString();
      if (Options.Contains(loCaseInsensitive)) {
        a = AnsiUpperCase(a);
        b = AnsiUpperCase(b);
      }
      if (Options.Contains(loPartialKey)) return a.compare(0, b.size(), b) == 0;
      return a == b;
    }
    try {
      return f->AsVariant() == v;
    } catch (const EVariantError&) {
      return false;
    }
  };
  for (int32_t i = 0; i < static_cast<int32_t>(FRows.size()); ++i) {
    LoadRow(FScanBuffer, i);
    GetCalcFields(FScanBuffer);
    if (!Accept(FScanBuffer)) continue;
    auto filtering = FilterOn(FScanBuffer);
    bool all = true;
    for (size_t k = 0; k < fields.size() && all; ++k) all = matches(fields[k], values[k]);
    if (all) return i;
  }
  return -1;
}

bool TMemoryDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  CheckBrowseMode();
  int32_t i = FindRow(KeyFields, KeyValues, Options);
  if (i < 0) return false;
  DoBeforeScroll();
  FCursor = i;
  Resync({rmExact, rmCenter});
  DoAfterScroll();
  return true;
}

Variant TMemoryDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                               const std::string& ResultFields) {
  CheckActive();
  int32_t i = FindRow(KeyFields, KeyValues, {});
  if (i < 0) return Variant::Null();
  LoadRow(FScanBuffer, i);
  GetCalcFields(FScanBuffer);
  auto filtering = FilterOn(FScanBuffer);
  return FieldValues(ResultFields);
}

}  // namespace dac
