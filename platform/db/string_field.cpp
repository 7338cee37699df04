#include "platform/db/string_field.h"

#include <cstring>

#include "platform/db/dataset.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"

namespace dac {

TStringField::TStringField() {
  SetDataType(ftString);
  SetSizeDirect(20);
}

void TStringField::SetFixedChar(bool Value) { SetDataType(Value ? ftFixedChar : ftString); }

void TStringField::CheckTypeSize(int32_t Value) const {
  if (Value < 0 || Value > 32767) DatabaseError(dbmsg::SInvalidFieldSize, DataSet());
}

bool TStringField::GetValue(std::string& Value) {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return false;
  const char* p = reinterpret_cast<const char*>(buf);
  Value.assign(p, strnlen(p, static_cast<size_t>(Size())));
  return true;
}

std::string TStringField::GetAsString() {
  std::string s;
  if (!GetValue(s)) s.clear();
  return s;
}

void TStringField::SetAsString(const std::string& V) {
  if (V.size() > static_cast<size_t>(Size()) && DataSet() != nullptr) DataSet()->TextTooLong(this, V.size());
  // The slot is written full width: text, then NULs up to the end.
  uint8_t* buf = WriteScratch();
  std::memcpy(buf, V.data(), std::min(V.size(), static_cast<size_t>(Size())));
  SetData(buf);
}

bool TStringField::GetAsBoolean() {
  std::string s = GetAsString();
  if (s.empty()) return false;
  char c = s[0];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

int32_t TStringField::GetAsInteger() {
  std::string s = Trim(GetAsString());
  if (s.empty()) return 0;
  int32_t v = 0;
  if (!TryStrToInt(s, v)) DatabaseErrorFmt(dbmsg::SNotAnInteger, DataSet(), s);
  return v;
}

int64_t TStringField::GetAsLargeInt() {
  std::string s = Trim(GetAsString());
  if (s.empty()) return 0;
  int64_t v = 0;
  if (!TryStrToInt64(s, v)) DatabaseErrorFmt(dbmsg::SNotAnInteger, DataSet(), s);
  return v;
}

double TStringField::GetAsFloat() {
  std::string s = Trim(GetAsString());
  if (s.empty()) return 0;
  double v = 0;
  if (!TryStrToFloat(s, v)) DatabaseErrorFmt(dbmsg::SNotAFloat, DataSet(), s);
  return v;
}

Currency TStringField::GetAsCurrency() {
  std::string s = Trim(GetAsString());
  if (s.empty()) return Currency();
  Currency v;
  if (!TryStrToCurr(s, v)) DatabaseErrorFmt(dbmsg::SNotAFloat, DataSet(), s);
  return v;
}

TDateTime TStringField::GetAsDateTime() {
  std::string s = Trim(GetAsString());
  if (s.empty()) return 0;
  TDateTime v = 0;
  if (!TryStrToDateTime(s, v)) DatabaseErrorFmt(dbmsg::SNotADateTime, DataSet(), s);
  return v;
}

TBcd TStringField::GetAsBCD() {
  std::string s = Trim(GetAsString());
  if (s.empty()) return NullBcd();
  TBcd v;
  if (!TryStrToBCD(s, v)) DatabaseErrorFmt(dbmsg::SNotAFloat, DataSet(), s);
  return v;
}

Variant TStringField::GetAsVariant() {
  std::string s;
  if (!GetValue(s)) return Variant::Null();
  return Variant(std::move(s));
}

void TStringField::SetAsBoolean(bool V) { SetAsString(V ? "T" : "F"); }
void TStringField::SetAsInteger(int32_t V) { SetAsString(IntToStr(V)); }
void TStringField::SetAsLargeInt(int64_t V) { SetAsString(IntToStr(V)); }
void TStringField::SetAsFloat(double V) { SetAsString(FloatToStr(V)); }
void TStringField::SetAsCurrency(Currency V) { SetAsString(CurrToStr(V)); }
void TStringField::SetAsDateTime(TDateTime V) { SetAsString(DateTimeToStr(V)); }
void TStringField::SetAsBCD(const TBcd& V) { SetAsString(BCDToStr(V)); }

void TStringField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else
    SetAsString(V.AsString());
}

TWideStringField::TWideStringField() { SetDataType(ftWideString); }

}  // namespace dac
