#include "platform/db/numeric_fields.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/db/dataset.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {
template <typename T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}
template <typename T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}
}  // namespace

// ---- TNumericField -------------------------------------------------------------

void TNumericField::RangeError(const std::string& Value, const std::string& Min,
                               const std::string& Max) const {
  DatabaseErrorFmt(dbmsg::SRangeError, DataSet(), Value, DisplayName(), Min, Max);
}

// ---- TIntegerField -------------------------------------------------------------

TIntegerField::TIntegerField() { SetDataType(ftInteger); }
TSmallintField::TSmallintField() { SetDataType(ftSmallint); }
TWordField::TWordField() { SetDataType(ftWord); }
TAutoIncField::TAutoIncField() { SetDataType(ftAutoInc); }
TLargeintField::TLargeintField() { SetDataType(ftLargeint); }

int32_t TIntegerField::GetDataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}

int64_t TIntegerField::MinRange() const {
  switch (DataType()) {
    case ftSmallint: return std::numeric_limits<int16_t>::min();
    case ftWord: return 0;
    case ftLargeint: return std::numeric_limits<int64_t>::min();
    default: return std::numeric_limits<int32_t>::min();
  }
}

int64_t TIntegerField::MaxRange() const {
  switch (DataType()) {
    case ftSmallint: return std::numeric_limits<int16_t>::max();
    case ftWord: return std::numeric_limits<uint16_t>::max();
    case ftLargeint: return std::numeric_limits<int64_t>::max();
    default: return std::numeric_limits<int32_t>::max();
  }
}

bool TIntegerField::GetValue(int64_t& Value) {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return false;
  switch (DataType()) {
    case ftSmallint: Value = Load<int16_t>(buf); break;
    case ftWord: Value = Load<uint16_t>(buf); break;
    case ftLargeint: Value = Load<int64_t>(buf); break;
    default: Value = Load<int32_t>(buf); break;
  }
  return true;
}

void TIntegerField::SetValue64(int64_t Value) {
  int64_t lo = MinRange(), hi = MaxRange();
  if (FMinValue != 0 || FMaxValue != 0) {
    lo = std::max(lo, FMinValue);
    hi = std::min(hi, FMaxValue);
  }
  if (Value < lo || Value > hi) RangeError(IntToStr(Value), IntToStr(lo), IntToStr(hi));
  uint8_t* buf = WriteScratch();
  switch (DataType()) {
    case ftSmallint: Store<int16_t>(buf, static_cast<int16_t>(Value)); break;
    case ftWord: Store<uint16_t>(buf, static_cast<uint16_t>(Value)); break;
    case ftLargeint: Store<int64_t>(buf, Value); break;
    default: Store<int32_t>(buf, static_cast<int32_t>(Value)); break;
  }
  SetData(buf);
}

std::string TIntegerField::GetAsString() {
  int64_t v;
  return GetValue(v) ? IntToStr(v) : std::string();
}

void TIntegerField::GetText(std::string& Text, bool DisplayText) {
  int64_t v;
  if (!GetValue(v)) {
    Text.clear();
    return;
  }
  const std::string& fmt = DisplayText ? DisplayFormat() : EditFormat();
  Text = fmt.empty() ? IntToStr(v) : FormatFloat(fmt, static_cast<double>(v));
}

bool TIntegerField::GetAsBoolean() {
  int64_t v;
  return GetValue(v) && v != 0;
}

int32_t TIntegerField::GetAsInteger() {
  int64_t v = 0;
  if (!GetValue(v)) return 0;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    RangeError(IntToStr(v), IntToStr(std::numeric_limits<int32_t>::min()),
               IntToStr(std::numeric_limits<int32_t>::max()));
  return static_cast<int32_t>(v);
}

int64_t TIntegerField::GetAsLargeInt() {
  int64_t v = 0;
  return GetValue(v) ? v : 0;
}

double TIntegerField::GetAsFloat() {
  int64_t v = 0;
  return GetValue(v) ? static_cast<double>(v) : 0.0;
}

Currency TIntegerField::GetAsCurrency() {
  int64_t v = 0;
  return GetValue(v) ? Currency::FromInt(v) : Currency();
}

Variant TIntegerField::GetAsVariant() {
  int64_t v;
  if (!GetValue(v)) return Variant::Null();
  if (DataType() == ftLargeint) return Variant(v);
  return Variant(static_cast<int32_t>(v));
}

void TIntegerField::SetAsString(const std::string& V) {
  std::string s = Trim(V);
  if (s.empty()) {
    Clear();
    return;
  }
  int64_t v = 0;
  if (!TryStrToInt64(s, v)) DatabaseErrorFmt(dbmsg::SNotAnInteger, DataSet(), V);
  SetValue64(v);
}

void TIntegerField::SetAsBoolean(bool V) { SetValue64(V ? 1 : 0); }
void TIntegerField::SetAsInteger(int32_t V) { SetValue64(V); }
void TIntegerField::SetAsLargeInt(int64_t V) { SetValue64(V); }

void TIntegerField::SetAsFloat(double V) {
  double r = std::nearbyint(V);
  // 2^63 is the first double beyond the 64-bit range.
  if (!std::isfinite(r) || r < -9223372036854775808.0 || r >= 9223372036854775808.0)
    RangeError(FloatToStr(V), IntToStr(MinRange()), IntToStr(MaxRange()));
  SetValue64(static_cast<int64_t>(r));
}

void TIntegerField::SetAsCurrency(Currency V) { SetValue64(V.Round()); }

void TIntegerField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsStr())
    SetAsString(V.AsString());
  else if (V.VarType() == varBoolean)
    SetAsBoolean(V.AsBoolean());
  else if (V.IsFloat() || V.VarType() == varCurrency || V.VarType() == varDate)
    SetAsFloat(V.AsDouble());
  else
    SetAsLargeInt(V.AsInt64());
}

// ---- TFloatField ---------------------------------------------------------------

TFloatField::TFloatField() { SetDataType(ftFloat); }

bool TFloatField::GetDouble(double& Value) {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return false;
  Value = Load<double>(buf);
  return true;
}

void TFloatField::CheckRange(double Value) const {
  if ((FMinValue != 0 || FMaxValue != 0) && (Value < FMinValue || Value > FMaxValue))
    RangeError(FloatToStr(Value), FloatToStr(FMinValue), FloatToStr(FMaxValue));
}

std::string TFloatField::GetAsString() {
  double v;
  return GetDouble(v) ? FloatToStr(v) : std::string();
}

void TFloatField::GetText(std::string& Text, bool DisplayText) {
  double v;
  if (!GetDouble(v)) {
    Text.clear();
    return;
  }
  const std::string& fmt = DisplayText ? DisplayFormat() : EditFormat();
  Text = fmt.empty() ? GetAsString() : FormatFloat(fmt, v);
}

bool TFloatField::GetAsBoolean() {
  double v;
  return GetDouble(v) && v != 0;
}

int32_t TFloatField::GetAsInteger() {
  double v = 0;
  if (!GetDouble(v)) return 0;
  double r = std::nearbyint(v);
  if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
    RangeError(FloatToStr(v), IntToStr(std::numeric_limits<int32_t>::min()),
               IntToStr(std::numeric_limits<int32_t>::max()));
  return static_cast<int32_t>(r);
}

int64_t TFloatField::GetAsLargeInt() {
  double v = 0;
  if (!GetDouble(v)) return 0;
  double r = std::nearbyint(v);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
    RangeError(FloatToStr(v), IntToStr(std::numeric_limits<int64_t>::min()),
               IntToStr(std::numeric_limits<int64_t>::max()));
  return static_cast<int64_t>(r);
}

double TFloatField::GetAsFloat() {
  double v = 0;
  return GetDouble(v) ? v : 0.0;
}

Currency TFloatField::GetAsCurrency() {
  double v = 0;
  if (!GetDouble(v)) return Currency();
  Currency c;
  if (!TryFloatToCurr(v, c))
    RangeError(FloatToStr(v), CurrToStr(MinCurrency), CurrToStr(MaxCurrency));
  return c;
}

Variant TFloatField::GetAsVariant() {
  double v;
  if (!GetDouble(v)) return Variant::Null();
  return Variant(v);
}

void TFloatField::SetAsString(const std::string& V) {
  std::string s = Trim(V);
  if (s.empty()) {
    Clear();
    return;
  }
  double v = 0;
  if (!TryStrToFloat(s, v)) DatabaseErrorFmt(dbmsg::SNotAFloat, DataSet(), V);
  SetAsFloat(v);
}

void TFloatField::SetAsFloat(double V) {
  CheckRange(V);
  uint8_t* buf = WriteScratch();
  Store<double>(buf, V);
  SetData(buf);
}

void TFloatField::SetAsBoolean(bool V) { SetAsFloat(V ? 1.0 : 0.0); }
void TFloatField::SetAsInteger(int32_t V) { SetAsFloat(V); }
void TFloatField::SetAsLargeInt(int64_t V) { SetAsFloat(static_cast<double>(V)); }
void TFloatField::SetAsCurrency(Currency V) { SetAsFloat(V.ToDouble()); }

void TFloatField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsStr())
    SetAsString(V.AsString());
  else
    SetAsFloat(V.AsDouble());
}

// ---- TCurrencyField --------------------------------------------------------------

TCurrencyField::TCurrencyField() { SetDataType(ftCurrency); }

bool TCurrencyField::GetCurrency(Currency& Value) {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return false;
  Value = Currency::FromRaw(Load<int64_t>(buf));
  return true;
}

bool TCurrencyField::GetDouble(double& Value) {
  Currency c;
  if (!GetCurrency(c)) return false;
  Value = c.ToDouble();
  return true;
}

std::string TCurrencyField::GetAsString() {
  Currency c;
  return GetCurrency(c) ? CurrToStr(c) : std::string();
}

Currency TCurrencyField::GetAsCurrency() {
  Currency c;
  return GetCurrency(c) ? c : Currency();
}

Variant TCurrencyField::GetAsVariant() {
  Currency c;
  if (!GetCurrency(c)) return Variant::Null();
  return Variant(c);
}

void TCurrencyField::SetAsCurrency(Currency V) {
  CheckRange(V.ToDouble());
  uint8_t* buf = WriteScratch();
  Store<int64_t>(buf, V.Raw());
  SetData(buf);
}

void TCurrencyField::SetAsFloat(double V) {
  Currency c;
  if (!TryFloatToCurr(V, c)) RangeError(FloatToStr(V), CurrToStr(MinCurrency), CurrToStr(MaxCurrency));
  SetAsCurrency(c);
}

void TCurrencyField::SetAsString(const std::string& V) {
  std::string s = Trim(V);
  if (s.empty()) {
    Clear();
    return;
  }
  Currency c;
  if (!TryStrToCurr(s, c)) DatabaseErrorFmt(dbmsg::SNotAFloat, DataSet(), V);
  SetAsCurrency(c);
}

void TCurrencyField::SetAsInteger(int32_t V) { SetAsCurrency(Currency::FromInt(V)); }

void TCurrencyField::SetAsLargeInt(int64_t V) {
  if (V < MinCurrency.Trunc() || V > MaxCurrency.Trunc())
    RangeError(IntToStr(V), CurrToStr(MinCurrency), CurrToStr(MaxCurrency));
  SetAsCurrency(Currency::FromInt(V));
}

void TCurrencyField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsStr())
    SetAsString(V.AsString());
  else if (V.VarType() == varCurrency || V.IsOrdinal())
    SetAsCurrency(V.AsCurrency());
  else
    SetAsFloat(V.AsDouble());
}

// ---- TBCDField -------------------------------------------------------------------

TBCDField::TBCDField() {
  SetDataType(ftBCD);
  SetSizeDirect(4);
}

void TBCDField::SetPrecision(int32_t Value) {
  if (Value < 0 || Value > 64) DatabaseError(dbmsg::SInvalidFieldSize, DataSet());
  FPrecision = Value;
}

void TBCDField::CheckTypeSize(int32_t Value) const {
  if (Value < 0 || Value > 32) DatabaseError(dbmsg::SInvalidFieldSize, DataSet());
}

bool TBCDField::GetValue(Currency& Value) {
  const uint8_t* buf = ReadValueForm();
  if (buf == nullptr) return false;
  Value = Currency::FromRaw(Load<int64_t>(buf));
  return true;
}

void TBCDField::CheckRange(Currency Value) const {
  if ((FMinValue != Currency() || FMaxValue != Currency()) && (Value < FMinValue || Value > FMaxValue))
    RangeError(CurrToStr(Value), CurrToStr(FMinValue), CurrToStr(FMaxValue));
}

std::string TBCDField::GetAsString() {
  Currency c;
  return GetValue(c) ? CurrToStr(c) : std::string();
}

void TBCDField::GetText(std::string& Text, bool DisplayText) {
  Currency c;
  if (!GetValue(c)) {
    Text.clear();
    return;
  }
  const std::string& fmt = DisplayText ? DisplayFormat() : EditFormat();
  Text = fmt.empty() ? CurrToStr(c) : FormatFloat(fmt, c.ToDouble());
}

bool TBCDField::GetAsBoolean() {
  Currency c;
  return GetValue(c) && c != Currency();
}

int32_t TBCDField::GetAsInteger() {
  Currency c;
  if (!GetValue(c)) return 0;
  int64_t r = c.Round();
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
    RangeError(CurrToStr(c), IntToStr(std::numeric_limits<int32_t>::min()),
               IntToStr(std::numeric_limits<int32_t>::max()));
  return static_cast<int32_t>(r);
}

int64_t TBCDField::GetAsLargeInt() {
  Currency c;
  return GetValue(c) ? c.Round() : 0;
}

double TBCDField::GetAsFloat() {
  Currency c;
  return GetValue(c) ? c.ToDouble() : 0.0;
}

Currency TBCDField::GetAsCurrency() {
  Currency c;
  return GetValue(c) ? c : Currency();
}

TBcd TBCDField::GetAsBCD() {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return NullBcd();
  TBcd b;
  std::memcpy(&b, buf, sizeof(TBcd));
  return b;
}

Variant TBCDField::GetAsVariant() {
  Currency c;
  if (!GetValue(c)) return Variant::Null();
  return Variant(c);
}

void TBCDField::SetAsCurrency(Currency V) {
  CheckRange(V);
  uint8_t* buf = WriteScratch();
  Store<int64_t>(buf, V.Raw());
  SetData(buf, false);
}

void TBCDField::SetAsBCD(const TBcd& V) {
  Currency c;
  if (BCDToCurr(V, c)) CheckRange(c);
  uint8_t* buf = WriteScratch();
  std::memcpy(buf, &V, sizeof(TBcd));
  SetData(buf, true);
}

void TBCDField::SetAsString(const std::string& V) {
  std::string s = Trim(V);
  if (s.empty()) {
    Clear();
    return;
  }
  Currency c;
  if (!TryStrToCurr(s, c)) DatabaseErrorFmt(dbmsg::SNotAFloat, DataSet(), V);
  SetAsCurrency(c);
}

void TBCDField::SetAsBoolean(bool V) { SetAsCurrency(Currency::FromInt(V ? 1 : 0)); }
void TBCDField::SetAsInteger(int32_t V) { SetAsCurrency(Currency::FromInt(V)); }

void TBCDField::SetAsLargeInt(int64_t V) {
  if (V < MinCurrency.Trunc() || V > MaxCurrency.Trunc())
    RangeError(IntToStr(V), CurrToStr(MinCurrency), CurrToStr(MaxCurrency));
  SetAsCurrency(Currency::FromInt(V));
}

void TBCDField::SetAsFloat(double V) {
  Currency c;
  if (!TryFloatToCurr(V, c)) RangeError(FloatToStr(V), CurrToStr(MinCurrency), CurrToStr(MaxCurrency));
  SetAsCurrency(c);
}

void TBCDField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsStr())
    SetAsString(V.AsString());
  else if (V.VarType() == varCurrency || V.IsOrdinal())
    SetAsCurrency(V.AsCurrency());
  else
    SetAsFloat(V.AsDouble());
}

// ---- TBooleanField ---------------------------------------------------------------

TBooleanField::TBooleanField() { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& Value) {
  size_t p = Value.find(';');
  std::string t = p == std::string::npos ? Value : Value.substr(0, p);
  std::string f = p == std::string::npos ? std::string() : Value.substr(p + 1);
  if (t.empty() && f.empty()) DatabaseErrorFmt("Invalid display values '%s'", DataSet(), Value);
  FDisplayValues = Value;
  FTrueText = t;
  FFalseText = f;
}

bool TBooleanField::GetValue(bool& Value) {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return false;
  Value = Load<int16_t>(buf) != 0;
  return true;
}

std::string TBooleanField::GetAsString() {
  bool b;
  if (!GetValue(b)) return std::string();
  return b ? FTrueText : FFalseText;
}

bool TBooleanField::GetAsBoolean() {
  bool b = false;
  return GetValue(b) && b;
}

int32_t TBooleanField::GetAsInteger() { return GetAsBoolean() ? 1 : 0; }
int64_t TBooleanField::GetAsLargeInt() { return GetAsBoolean() ? 1 : 0; }

Variant TBooleanField::GetAsVariant() {
  bool b;
  if (!GetValue(b)) return Variant::Null();
  return Variant(b);
}

void TBooleanField::SetAsBoolean(bool V) {
  uint8_t* buf = WriteScratch();
  Store<int16_t>(buf, V ? 1 : 0);
  SetData(buf);
}

void TBooleanField::SetAsString(const std::string& V) {
  std::string s = UpperCase(Trim(V));
  if (s.empty()) {
    Clear();
    return;
  }
  // A leading part of either text is enough ("T", "tr", "FALSE").
  std::string t = UpperCase(FTrueText), f = UpperCase(FFalseText);
  if (!t.empty() && t.compare(0, s.size(), s) == 0 && s.size() <= t.size())
    SetAsBoolean(true);
  else if (!f.empty() && f.compare(0, s.size(), s) == 0 && s.size() <= f.size())
    SetAsBoolean(false);
  else
    DatabaseErrorFmt(dbmsg::SNotABoolean, DataSet(), V);
}

void TBooleanField::SetAsInteger(int32_t V) { SetAsBoolean(V != 0); }
void TBooleanField::SetAsLargeInt(int64_t V) { SetAsBoolean(V != 0); }

void TBooleanField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsStr())
    SetAsString(V.AsString());
  else
    SetAsBoolean(V.AsBoolean());
}

}  // namespace dac
