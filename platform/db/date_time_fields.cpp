#include "platform/db/date_time_fields.h"

#include <cstring>

#include "platform/db/dataset.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"

namespace dac {

TDateTimeField::TDateTimeField() { SetDataType(ftDateTime); }
TDateField::TDateField() { SetDataType(ftDate); }
TTimeField::TTimeField() { SetDataType(ftTime); }

bool TDateTimeField::GetValue(TDateTime& Value) {
  const uint8_t* buf = ReadValueForm();
  if (buf == nullptr) return false;
  std::memcpy(&Value, buf, sizeof(TDateTime));
  return true;
}

std::string TDateTimeField::GetAsString() {
  std::string s;
  GetText(s, false);
  return s;
}

void TDateTimeField::GetText(std::string& Text, bool DisplayText) {
  TDateTime v;
  if (!GetValue(v)) {
    Text.clear();
    return;
  }
  if (DisplayText && !FDisplayFormat.empty()) {
    Text = FormatDateTime(FDisplayFormat, v);
    return;
  }
  switch (DataType()) {
    case ftDate: Text = DateToStr(v); break;
    case ftTime: Text = TimeToStr(v); break;
    default: Text = DateTimeToStr(v); break;
  }
}

TDateTime TDateTimeField::GetAsDateTime() {
  TDateTime v = 0;
  return GetValue(v) ? v : 0.0;
}

double TDateTimeField::GetAsFloat() { return GetAsDateTime(); }

Variant TDateTimeField::GetAsVariant() {
  TDateTime v;
  if (!GetValue(v)) return Variant::Null();
  return Variant::FromDateTime(v);
}

void TDateTimeField::SetAsDateTime(TDateTime V) {
  if (!(V >= MinDateTime && V <= MaxDateTime + 1))
    DatabaseErrorFmt("%s is not a valid date and time for field '%s'", DataSet(), FloatToStr(V),
                     DisplayName());
  uint8_t* buf = WriteScratch();
  std::memcpy(buf, &V, sizeof(TDateTime));
  SetData(buf, false);
}

void TDateTimeField::SetAsFloat(double V) { SetAsDateTime(V); }

void TDateTimeField::SetAsString(const std::string& V) {
  std::string s = Trim(V);
  if (s.empty()) {
    Clear();
    return;
  }
  TDateTime v = 0;
  bool ok = false;
  switch (DataType()) {
    case ftDate: ok = TryStrToDate(s, v); break;
    case ftTime: ok = TryStrToTime(s, v); break;
    default: ok = TryStrToDateTime(s, v); break;
  }
  if (!ok) DatabaseErrorFmt(dbmsg::SNotADateTime, DataSet(), V);
  SetAsDateTime(v);
}

void TDateTimeField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsStr())
    SetAsString(V.AsString());
  else
    SetAsDateTime(V.AsDateTime());
}

}  // namespace dac
