#include "filter/record_match.h"

#include <cmath>
#include <vector>

#include "filter/text_compare.h"
#include "platform/db/dataset.h"
#include "platform/db/field.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"

namespace dac {
namespace {

bool IsTextType(TFieldType T) {
  return T == ftString || T == ftMemo || T == ftFmtMemo || T == ftFixedChar || T == ftWideString;
}

bool MatchPrefix(TField* Field, const Variant& Value, bool IgnoreCase) {
  const std::string key = VarToStr(Value);
  if (key.empty()) return false;
  const std::string text = Field->AsString();
  const std::string_view head = TextHeadFor(text, key);
  if (TextCharCount(head) < TextCharCount(key)) return false;
  return IgnoreCase ? LocaleSameText(head, key) : LocaleSameStr(head, key);
}

}  // namespace

bool MatchFieldValue(TField* Field, const Variant& Value, TLocateOptions Options) {
  if (Value.IsNull()) return Field->IsNull();
  if (Field->IsNull()) return false;
  const TFieldType type = Field->DataType();
  if (Options.Contains(loPartialKey) && IsTextType(type))
    return MatchPrefix(Field, Value, Options.Contains(loCaseInsensitive));
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint: return Value.AsInteger() == Field->AsInteger();
    case ftBoolean: return Value.AsBoolean() == Field->AsBoolean();
    case ftFloat:
    case ftBCD: return std::fabs(Value.AsDouble() - Field->AsFloat()) <= kLocateFloatTolerance;
    case ftCurrency: return Value.AsCurrency() == Field->AsCurrency();
    case ftDate:
    case ftTime:
    case ftDateTime: return StrToDateTime(VarToStr(Value)) == Field->AsDateTime();
    default: return VarToStr(Value) == TrimRight(Field->AsString());
  }
}

bool MatchRecord(TDataSet* DataSet, const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  std::vector<TField*> fields;
  DataSet->GetFieldList(fields, KeyFields);
  const Variant values = KeyValues.IsArray() ? KeyValues : VarArrayOf({KeyValues});
  for (size_t i = 0; i < fields.size(); ++i) {
    const Variant value = values.GetElement(values.ArrayLowBound() + static_cast<int>(i));
    if (!MatchFieldValue(fields[i], value, Options)) return false;
  }
  return true;
}

}  // namespace dac
