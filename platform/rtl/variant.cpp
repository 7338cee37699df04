#include "platform/rtl/variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/int128.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {

// The classes the conversion and operator rules are stated in.
enum class Cat { Empty, Null, LongInt, Int64, Boolean, Float, Date, Currency, WideStr, String, Error };

Cat CategoryOf(TVarType t) {
  switch (t) {
    case varEmpty: return Cat::Empty;
    case varNull: return Cat::Null;
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord: return Cat::LongInt;
    case varLongWord:
    case varInt64:
    case varQWord: return Cat::Int64;
    case varBoolean: return Cat::Boolean;
    case varSingle:
    case varDouble: return Cat::Float;
    case varDate: return Cat::Date;
    case varCurrency: return Cat::Currency;
    case varOleStr: return Cat::WideStr;
    case varString: return Cat::String;
    default: return Cat::Error;
  }
}

bool IsStrCat(Cat c) { return c == Cat::String || c == Cat::WideStr; }
bool IsIntCat(Cat c) { return c == Cat::LongInt || c == Cat::Int64; }

[[noreturn]] void CastError(TVarType from, TVarType to) {
  throw EVariantError(Format("Could not convert variant of type (%s) into type (%s)", VarTypeAsText(from),
                             VarTypeAsText(to)));
}

[[noreturn]] void RangeError(TVarType from, TVarType to) {
  throw EVariantError(Format("Range check error while converting variant of type (%s) into type (%s)",
                             VarTypeAsText(from), VarTypeAsText(to)));
}

[[noreturn]] void InvalidOp() { throw EVariantError("Invalid variant operation"); }
[[noreturn]] void BoundsError() { throw EVariantError("Variant array bounds error"); }
[[noreturn]] void NotArray() { throw EVariantError("Variant doesn't contain an array"); }

// Number text as the variant reads it: thousand separators are ignored.
bool TextToDouble(const std::string& s, double& out) {
  const TFormatSettings& fs = DefaultFormatSettings();
  std::string t;
  t.reserve(s.size());
  for (char c : s) {
    if (c != fs.ThousandSeparator) t += c;
  }
  return TryStrToFloat(t, out, fs);
}

bool TextToCurrency(const std::string& s, Currency& out) {
  const TFormatSettings& fs = DefaultFormatSettings();
  std::string t;
  for (char c : s) {
    if (c != fs.ThousandSeparator) t += c;
  }
  return TryStrToCurr(t, out, fs);
}

// Nearest integer, halves to even; false when outside int64.
bool RoundToInt64(double d, int64_t& out) {
  if (!std::isfinite(d)) return false;
  const double r = std::nearbyint(d);
  if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
  out = static_cast<int64_t>(r);
  return true;
}

// A single's shortest decimal value as a double: 1.1f reads as 1.1.
double SingleAsDouble(double stored) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<float>(stored));
  double d = stored;
  std::from_chars(buf, res.ptr, d);
  return d;
}

enum class Op { Add, Sub, Mul, Div };

}  // namespace

// Access to the representation for the conversion and operator code.
class VariantOps {
 public:
  static const std::string& Str(const Variant& v) { return std::get<std::string>(v.FData); }
  static int64_t Signed(const Variant& v) { return std::get<int64_t>(v.FData); }
  static uint64_t Unsigned(const Variant& v) { return std::get<uint64_t>(v.FData); }
  static double Real(const Variant& v) { return std::get<double>(v.FData); }
  static Currency Curr(const Variant& v) { return std::get<Currency>(v.FData); }
  static bool Bool(const Variant& v) { return std::get<bool>(v.FData); }
  static bool IsBytes(const Variant& v) { return std::holds_alternative<std::shared_ptr<TBytes>>(v.FData); }
  static const TBytes& Bytes(const Variant& v) { return *std::get<std::shared_ptr<TBytes>>(v.FData); }
  static const Variant::ArrayData& Array(const Variant& v) {
    return *std::get<std::shared_ptr<Variant::ArrayData>>(v.FData);
  }

  static Variant Make(TVarType t, Variant::Payload p) {
    Variant v;
    v.FVType = t;
    v.FData = std::move(p);
    return v;
  }

  static Variant MakeArray(int low, int count, TVarType elemType) {
    auto data = std::make_shared<Variant::ArrayData>();
    data->Low = low;
    data->ElemType = elemType;
    data->Items.assign(static_cast<size_t>(count), ZeroOf(elemType));
    return Make(varArray | elemType, std::move(data));
  }

  static Variant ZeroOf(TVarType t) {
    if (t == varVariant || t == varEmpty) return Variant();
    return Variant(int32_t{0}).AsType(t);
  }

  // Exact value of any integer kind (also Booleans: -1/0).
  static Int128 IntValue(const Variant& v) {
    if (std::holds_alternative<int64_t>(v.FData)) return Signed(v);
    if (std::holds_alternative<uint64_t>(v.FData)) return Unsigned(v);
    if (std::holds_alternative<bool>(v.FData)) return Bool(v) ? -1 : 0;
    return 0;
  }

  static Int128 ToInt128(const Variant& v, TVarType target) {
    const TVarType t = v.FVType;
    switch (CategoryOf(t)) {
      case Cat::Empty: return 0;
      case Cat::LongInt:
      case Cat::Int64:
      case Cat::Boolean: return IntValue(v);
      case Cat::Float:
      case Cat::Date: {
        int64_t r = 0;
        if (!RoundToInt64(Real(v), r)) RangeError(t, target);
        return r;
      }
      case Cat::Currency: return Curr(v).Round();
      case Cat::String:
      case Cat::WideStr: {
        int64_t r = 0;
        if (TryStrToInt64(Str(v), r)) return r;
        // Beyond int64 but still an integer text (a large QWord).
        const std::string s = Trim(Str(v));
        uint64_t u = 0;
        const auto res = std::from_chars(s.data(), s.data() + s.size(), u);
        if (res.ec == std::errc() && res.ptr == s.data() + s.size()) return u;
        CastError(t, target);
      }
      default: CastError(t, target);
    }
  }

  static int64_t ToIntRange(const Variant& v, TVarType target, Int128 lo, Int128 hi) {
    const Int128 r = ToInt128(v, target);
    if (r < lo || r > hi) RangeError(v.FVType, target);
    return static_cast<int64_t>(r);
  }

  static double ToDouble(const Variant& v) {
    const TVarType t = v.FVType;
    switch (CategoryOf(t)) {
      case Cat::Empty: return 0;
      case Cat::LongInt:
      case Cat::Int64:
      case Cat::Boolean: return static_cast<double>(IntValue(v));
      case Cat::Float: return t == varSingle ? SingleAsDouble(Real(v)) : Real(v);
      case Cat::Date: return Real(v);
      case Cat::Currency: return Curr(v).ToDouble();
      case Cat::String:
      case Cat::WideStr: {
        double d = 0;
        if (!TextToDouble(Str(v), d)) CastError(t, varDouble);
        return d;
      }
      default: CastError(t, varDouble);
    }
  }

  static Currency ToCurrency(const Variant& v) {
    const TVarType t = v.FVType;
    switch (CategoryOf(t)) {
      case Cat::Empty: return Currency();
      case Cat::LongInt:
      case Cat::Int64:
      case Cat::Boolean: {
        const Int128 i = IntValue(v);
        if (i > INT64_MAX / Currency::Scale || i < INT64_MIN / Currency::Scale) RangeError(t, varCurrency);
        return Currency::FromRaw(static_cast<int64_t>(i) * Currency::Scale);
      }
      case Cat::Float:
      case Cat::Date: {
        Currency c;
        if (!TryFloatToCurr(ToDouble(v), c)) RangeError(t, varCurrency);
        return c;
      }
      case Cat::Currency: return Curr(v);
      case Cat::String:
      case Cat::WideStr: {
        Currency c;
        if (!TextToCurrency(Str(v), c)) CastError(t, varCurrency);
        return c;
      }
      default: CastError(t, varCurrency);
    }
  }

  static TDateTime ToDate(const Variant& v) {
    const TVarType t = v.FVType;
    TDateTime d = 0;
    switch (CategoryOf(t)) {
      case Cat::String:
      case Cat::WideStr:
        if (!TryStrToDateTime(Str(v), d)) CastError(t, varDate);
        break;
      case Cat::Empty:
      case Cat::LongInt:
      case Cat::Int64:
      case Cat::Boolean:
      case Cat::Float:
      case Cat::Date:
      case Cat::Currency: d = ToDouble(v); break;
      default: CastError(t, varDate);
    }
    if (!(d >= MinDateTime && d < MaxDateTime + 1)) RangeError(t, varDate);
    return d;
  }

  static bool ToBool(const Variant& v) {
    const TVarType t = v.FVType;
    switch (CategoryOf(t)) {
      case Cat::Empty: return false;
      case Cat::Boolean: return Bool(v);
      case Cat::LongInt:
      case Cat::Int64: return IntValue(v) != 0;
      case Cat::Float:
      case Cat::Date: return Real(v) != 0;
      case Cat::Currency: return Curr(v).Value != 0;
      case Cat::String:
      case Cat::WideStr: {
        bool b = false;
        if (!TryStrToBool(Str(v), b)) CastError(t, varBoolean);
        return b;
      }
      default: CastError(t, varBoolean);
    }
  }

  static std::string ToStr(const Variant& v) {
    const TVarType t = v.FVType;
    switch (CategoryOf(t)) {
      case Cat::Empty:
      case Cat::Null: return "";
      case Cat::Boolean: return Bool(v) ? "True" : "False";
      case Cat::LongInt:
      case Cat::Int64: {
        const Int128 i = IntValue(v);
        if (i > INT64_MAX) return std::to_string(static_cast<uint64_t>(i));
        return IntToStr(static_cast<int64_t>(i));
      }
      case Cat::Float: return FloatToStr(ToDouble(v));
      case Cat::Date: return DateTimeToStr(Real(v));
      case Cat::Currency: return CurrToStr(Curr(v));
      case Cat::String:
      case Cat::WideStr: return Str(v);
      default: CastError(t, varString);
    }
  }

  // ---- comparison ----

  // The class both sides are compared in.
  static Cat CompareClass(Cat l, Cat r) {
    if (l == Cat::Error || r == Cat::Error) return Cat::Error;
    if (l == Cat::Empty || r == Cat::Empty) return Cat::Empty;
    if (l == Cat::Null || r == Cat::Null) return Cat::Null;
    if (l == Cat::Date || r == Cat::Date) return Cat::Date;
    if (l == Cat::Currency || r == Cat::Currency) return Cat::Currency;
    if (IsStrCat(l) && IsStrCat(r)) return (l == Cat::WideStr || r == Cat::WideStr) ? Cat::WideStr : Cat::String;
    if (l == Cat::Boolean || r == Cat::Boolean) {
      // Boolean with a small integer: as Booleans; with a 64-bit integer:
      // as integers; with a float: as floats; with a string: as text
      // ("True"/"False").
      const Cat other = l == Cat::Boolean ? r : l;
      if (other == Cat::Int64) return Cat::Int64;
      if (other == Cat::Float) return Cat::Float;
      if (IsStrCat(other)) return other;
      return Cat::Boolean;
    }
    if (l == Cat::Float || r == Cat::Float || IsStrCat(l) || IsStrCat(r)) return Cat::Float;
    if (l == Cat::Int64 || r == Cat::Int64) return Cat::Int64;
    return Cat::LongInt;
  }

  // -1, 0, 1, or 2 for unordered (NaN).
  static int Compare(const Variant& l, const Variant& r) {
    const Cat lc = CategoryOf(l.FVType);
    const Cat rc = CategoryOf(r.FVType);
    switch (CompareClass(lc, rc)) {
      case Cat::Error: InvalidOp();
      case Cat::Empty:
      case Cat::Null:
        if (lc == rc) return 0;
        // Unassigned below Null below everything else.
        if (lc == Cat::Empty) return -1;
        if (rc == Cat::Empty) return 1;
        return lc == Cat::Null ? -1 : 1;
      case Cat::LongInt:
      case Cat::Int64: {
        const Int128 a = ToInt128(l, varInt64);
        const Int128 b = ToInt128(r, varInt64);
        return a < b ? -1 : (a > b ? 1 : 0);
      }
      case Cat::Boolean: {
        const int a = ToBool(l) ? 1 : 0;
        const int b = ToBool(r) ? 1 : 0;
        return a == b ? 0 : (a < b ? -1 : 1);
      }
      case Cat::Float:
      case Cat::Date: {
        const double a = lc == Cat::Date || rc == Cat::Date ? ToDate(l) : ToDouble(l);
        const double b = lc == Cat::Date || rc == Cat::Date ? ToDate(r) : ToDouble(r);
        if (a < b) return -1;
        if (a > b) return 1;
        if (a == b) return 0;
        return 2;
      }
      case Cat::Currency: {
        const Currency a = ToCurrency(l);
        const Currency b = ToCurrency(r);
        return a < b ? -1 : (a > b ? 1 : 0);
      }
      case Cat::String:
      case Cat::WideStr: {
        const int c = ToStr(l).compare(ToStr(r));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
      }
    }
    InvalidOp();
  }

  // ---- arithmetic ----

  static Variant IntResult(Int128 v, bool wide) {
    if (!wide && v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
    return Variant(static_cast<int64_t>(v));
  }

  static Variant FloatOp(double a, double b, Op op) {
    switch (op) {
      case Op::Add: return Variant(a + b);
      case Op::Sub: return Variant(a - b);
      case Op::Mul: return Variant(a * b);
      case Op::Div:
        if (b == 0) throw EZeroDivide("Division by zero");
        return Variant(a / b);
    }
    InvalidOp();
  }

  static Variant Arith(const Variant& l, const Variant& r, Op op) {
    const Cat lc = CategoryOf(l.FVType);
    const Cat rc = CategoryOf(r.FVType);
    if (lc == Cat::Error || rc == Cat::Error) InvalidOp();
    if (lc == Cat::Empty || rc == Cat::Empty) {
      if (op == Op::Div && rc == Cat::Empty) throw EZeroDivide("Division by zero");
      return Variant();
    }
    if (lc == Cat::Null || rc == Cat::Null) return Variant::Null();
    if (lc == Cat::Date || rc == Cat::Date) {
      if (op == Op::Add || op == Op::Sub) {
        const double d = op == Op::Add ? ToDate(l) + ToDate(r) : ToDate(l) - ToDate(r);
        // The difference of two dates is a number of days.
        if (op == Op::Sub && lc == Cat::Date && rc == Cat::Date) return Variant(d);
        return Variant::FromDateTime(d);
      }
      return FloatOp(ToDouble(l), ToDouble(r), op);
    }
    if (lc == Cat::Currency || rc == Cat::Currency) {
      switch (op) {
        case Op::Add: return Variant(ToCurrency(l) + ToCurrency(r));
        case Op::Sub: return Variant(ToCurrency(l) - ToCurrency(r));
        case Op::Mul:
          if (lc == Cat::Currency && rc == Cat::Currency) return Variant(Curr(l) * Curr(r));
          if (lc == Cat::Currency) return Variant(Curr(l) * ToDouble(r));
          return Variant(Curr(r) * ToDouble(l));
        case Op::Div:
          if (lc == Cat::Currency && rc == Cat::Currency) return Variant(Curr(l) / Curr(r));
          if (lc == Cat::Currency) return Variant(Curr(l) / ToDouble(r));
          // A number divided by currency is a plain number.
          return FloatOp(ToDouble(l), ToDouble(r), op);
      }
    }
    if (IsStrCat(lc) && IsStrCat(rc)) {
      if (op == Op::Add) {
        std::string s = Str(l) + Str(r);
        if (lc == Cat::WideStr || rc == Cat::WideStr) return Variant::FromWideString(std::move(s));
        return Variant(std::move(s));
      }
      return FloatOp(ToDouble(l), ToDouble(r), op);
    }
    if (IsIntCat(lc) && IsIntCat(rc) && op != Op::Div) {
      const Int128 a = IntValue(l);
      const Int128 b = IntValue(r);
      const Int128 v = op == Op::Add ? a + b : (op == Op::Sub ? a - b : a * b);
      // Beyond 64 bits the result continues as a double.
      if (v < INT64_MIN || v > INT64_MAX) return Variant(static_cast<double>(v));
      return IntResult(v, lc == Cat::Int64 || rc == Cat::Int64);
    }
    // Floats, Booleans, strings with numbers, and real division.
    return FloatOp(ToDouble(l), ToDouble(r), op);
  }

  static Variant Negate(const Variant& v) {
    switch (CategoryOf(v.FVType)) {
      case Cat::Empty:
      case Cat::Null: return v;
      case Cat::LongInt:
      case Cat::Int64:
      case Cat::Boolean: {
        const Int128 i = -IntValue(v);
        if (i > INT64_MAX) return Variant(static_cast<double>(i));
        return IntResult(i, CategoryOf(v.FVType) == Cat::Int64);
      }
      case Cat::Float: return Variant(-Real(v));
      case Cat::Date: return Variant::FromDateTime(-Real(v));
      case Cat::Currency: return Variant(-Curr(v));
      case Cat::String:
      case Cat::WideStr: return Variant(-ToDouble(v));
      default: InvalidOp();
    }
  }

  static bool Identical(const Variant& a, const Variant& b) {
    if (a.FVType != b.FVType) return false;
    if (IsBytes(a) || IsBytes(b)) return IsBytes(a) && IsBytes(b) && Bytes(a) == Bytes(b);
    if (std::holds_alternative<std::shared_ptr<Variant::ArrayData>>(a.FData)) {
      const auto& x = Array(a);
      const auto& y = Array(b);
      if (x.Low != y.Low || x.Items.size() != y.Items.size()) return false;
      for (size_t i = 0; i < x.Items.size(); ++i) {
        if (!Identical(x.Items[i], y.Items[i])) return false;
      }
      return true;
    }
    if (std::holds_alternative<double>(a.FData)) {
      // Bit-identical doubles, so that NaN equals itself here.
      const double x = Real(a);
      const double y = Real(b);
      return x == y || (std::isnan(x) && std::isnan(y));
    }
    return a.FData == b.FData;
  }

  static Variant::ArrayData& MutableArray(Variant& v) {
    auto& p = std::get<std::shared_ptr<Variant::ArrayData>>(v.FData);
    if (p.use_count() > 1) p = std::make_shared<Variant::ArrayData>(*p);
    return *p;
  }

  static TBytes& MutableBytes(Variant& v) {
    auto& p = std::get<std::shared_ptr<TBytes>>(v.FData);
    if (p.use_count() > 1) p = std::make_shared<TBytes>(*p);
    return *p;
  }
};

// ---- construction ----

Variant::Variant(bool v) : FVType(varBoolean), FData(v) {}
Variant::Variant(float v) : FVType(varSingle), FData(static_cast<double>(v)) {}
Variant::Variant(double v) : FVType(varDouble), FData(v) {}
Variant::Variant(Currency v) : FVType(varCurrency), FData(v) {}
Variant::Variant(VarDateTime v) : FVType(varDate), FData(v.Value) {}
Variant::Variant(VarWideString v) : FVType(varOleStr), FData(std::move(v.Value)) {}
Variant::Variant(std::string v) : FVType(varString), FData(std::move(v)) {}
Variant::Variant(std::string_view v) : FVType(varString), FData(std::string(v)) {}
Variant::Variant(const char* v) : FVType(varString), FData(std::string(v ? v : "")) {}
Variant::Variant(char v) : FVType(varString), FData(std::string(1, v)) {}
Variant::Variant(TBytes v) : FVType(varByteArray), FData(std::make_shared<TBytes>(std::move(v))) {}

void Variant::InitSigned(int64_t v, size_t size) {
  FVType = size == 1 ? varShortInt : size == 2 ? varSmallint : size == 4 ? varInteger : varInt64;
  FData = v;
}

void Variant::InitUnsigned(uint64_t v, size_t size) {
  FVType = size == 1 ? varByte : size == 2 ? varWord : size == 4 ? varLongWord : varQWord;
  FData = v;
}

Variant Variant::Null() { return VariantOps::Make(varNull, std::monostate{}); }
Variant Variant::Unassigned() { return Variant(); }

bool Variant::IsOrdinal() const { return IsIntCat(CategoryOf(FVType)); }
bool Variant::IsFloat() const { return CategoryOf(FVType) == Cat::Float; }
bool Variant::IsNumeric() const {
  const Cat c = CategoryOf(FVType);
  return IsIntCat(c) || c == Cat::Float || c == Cat::Currency;
}

// ---- conversions ----

bool Variant::AsBoolean() const { return VariantOps::ToBool(*this); }
int32_t Variant::AsInteger() const { return static_cast<int32_t>(VariantOps::ToIntRange(*this, varInteger, INT32_MIN, INT32_MAX)); }
int64_t Variant::AsInt64() const { return VariantOps::ToIntRange(*this, varInt64, INT64_MIN, INT64_MAX); }
uint64_t Variant::AsQWord() const {
  const Int128 r = VariantOps::ToInt128(*this, varQWord);
  if (r < 0 || r > static_cast<Int128>(std::numeric_limits<uint64_t>::max())) RangeError(FVType, varQWord);
  return static_cast<uint64_t>(r);
}
double Variant::AsDouble() const { return VariantOps::ToDouble(*this); }
Currency Variant::AsCurrency() const { return VariantOps::ToCurrency(*this); }
TDateTime Variant::AsDateTime() const { return VariantOps::ToDate(*this); }
std::string Variant::AsString() const { return VariantOps::ToStr(*this); }

TBytes Variant::AsBytes() const {
  if (VariantOps::IsBytes(*this)) return VariantOps::Bytes(*this);
  if (IsStr()) {
    const std::string& s = VariantOps::Str(*this);
    return TBytes(s.begin(), s.end());
  }
  if (IsArray()) {
    TBytes out;
    for (const Variant& e : VariantOps::Array(*this).Items) {
      out.push_back(static_cast<uint8_t>(e.IsEmpty() ? 0 : VariantOps::ToIntRange(e, varByte, 0, 255)));
    }
    return out;
  }
  CastError(FVType, varByteArray);
}

Variant Variant::AsType(TVarType type) const {
  if (type == FVType || type == varVariant) return *this;
  switch (type) {
    case varEmpty: return Variant();
    case varNull: return Null();
    case varSmallint: return Variant(static_cast<int16_t>(VariantOps::ToIntRange(*this, type, INT16_MIN, INT16_MAX)));
    case varInteger: return Variant(AsInteger());
    case varShortInt: return Variant(static_cast<int8_t>(VariantOps::ToIntRange(*this, type, INT8_MIN, INT8_MAX)));
    case varByte: return Variant(static_cast<uint8_t>(VariantOps::ToIntRange(*this, type, 0, UINT8_MAX)));
    case varWord: return Variant(static_cast<uint16_t>(VariantOps::ToIntRange(*this, type, 0, UINT16_MAX)));
    case varLongWord: return Variant(static_cast<uint32_t>(VariantOps::ToIntRange(*this, type, 0, UINT32_MAX)));
    case varInt64: return Variant(AsInt64());
    case varQWord: return Variant(AsQWord());
    case varSingle: {
      const double d = AsDouble();
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) RangeError(FVType, type);
      return Variant(static_cast<float>(d));
    }
    case varDouble: return Variant(AsDouble());
    case varCurrency: return Variant(AsCurrency());
    case varDate: return FromDateTime(AsDateTime());
    case varBoolean: return Variant(AsBoolean());
    case varString: return Variant(AsString());
    case varOleStr: return FromWideString(AsString());
    default: CastError(FVType, type);
  }
}

// ---- arrays ----

int Variant::ArrayLowBound() const {
  if (!IsArray()) NotArray();
  if (VariantOps::IsBytes(*this)) return 0;
  return VariantOps::Array(*this).Low;
}

int Variant::ArrayHighBound() const {
  if (!IsArray()) NotArray();
  if (VariantOps::IsBytes(*this)) return static_cast<int>(VariantOps::Bytes(*this).size()) - 1;
  const ArrayData& a = VariantOps::Array(*this);
  return a.Low + static_cast<int>(a.Items.size()) - 1;
}

Variant Variant::GetElement(int index) const {
  if (!IsArray()) NotArray();
  const int64_t i = static_cast<int64_t>(index) - ArrayLowBound();
  if (VariantOps::IsBytes(*this)) {
    const TBytes& b = VariantOps::Bytes(*this);
    if (i < 0 || i >= static_cast<int64_t>(b.size())) BoundsError();
    return Variant(b[static_cast<size_t>(i)]);
  }
  const ArrayData& a = VariantOps::Array(*this);
  if (i < 0 || i >= static_cast<int64_t>(a.Items.size())) BoundsError();
  return a.Items[static_cast<size_t>(i)];
}

void Variant::PutElement(int index, const Variant& value) {
  if (!IsArray()) NotArray();
  const int64_t i = static_cast<int64_t>(index) - ArrayLowBound();
  if (VariantOps::IsBytes(*this)) {
    TBytes& b = VariantOps::MutableBytes(*this);
    if (i < 0 || i >= static_cast<int64_t>(b.size())) BoundsError();
    b[static_cast<size_t>(i)] = static_cast<uint8_t>(VariantOps::ToIntRange(value, varByte, 0, UINT8_MAX));
    return;
  }
  ArrayData& a = VariantOps::MutableArray(*this);
  if (i < 0 || i >= static_cast<int64_t>(a.Items.size())) BoundsError();
  a.Items[static_cast<size_t>(i)] = a.ElemType == varVariant ? value : value.AsType(a.ElemType);
}

// ---- operators ----

Variant& Variant::operator+=(const Variant& r) { return *this = VariantOps::Arith(*this, r, Op::Add); }
Variant& Variant::operator-=(const Variant& r) { return *this = VariantOps::Arith(*this, r, Op::Sub); }
Variant& Variant::operator*=(const Variant& r) { return *this = VariantOps::Arith(*this, r, Op::Mul); }
Variant& Variant::operator/=(const Variant& r) { return *this = VariantOps::Arith(*this, r, Op::Div); }
Variant Variant::operator-() const { return VariantOps::Negate(*this); }

bool operator==(const Variant& l, const Variant& r) { return VariantOps::Compare(l, r) == 0; }

std::partial_ordering operator<=>(const Variant& l, const Variant& r) {
  switch (VariantOps::Compare(l, r)) {
    case -1: return std::partial_ordering::less;
    case 0: return std::partial_ordering::equivalent;
    case 1: return std::partial_ordering::greater;
    default: return std::partial_ordering::unordered;
  }
}

bool Variant::Identical(const Variant& other) const { return VariantOps::Identical(*this, other); }

// ---- free functions ----

Variant VarArrayCreate(int low, int high, TVarType elemType) {
  if (static_cast<int64_t>(high) < static_cast<int64_t>(low) - 1) BoundsError();
  const int64_t count = static_cast<int64_t>(high) - low + 1;
  if (elemType == varByte && low == 0) return Variant(TBytes(static_cast<size_t>(count), 0));
  switch (elemType) {
    case varVariant:
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
    case varOleStr:
    case varBoolean:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varQWord:
    case varString: break;
    default: throw EVariantError("Invalid variant type");
  }
  return VariantOps::MakeArray(low, static_cast<int>(count), elemType);
}

Variant VarArrayOf(const std::vector<Variant>& values) {
  Variant v = VarArrayCreate(0, static_cast<int>(values.size()) - 1, varVariant);
  for (size_t i = 0; i < values.size(); ++i) v.PutElement(static_cast<int>(i), values[i]);
  return v;
}

int VarArrayLowBound(const Variant& v, int dim) {
  if (!v.IsArray()) NotArray();
  if (dim != 1) BoundsError();
  return v.ArrayLowBound();
}

int VarArrayHighBound(const Variant& v, int dim) {
  if (!v.IsArray()) NotArray();
  if (dim != 1) BoundsError();
  return v.ArrayHighBound();
}

int VarArrayDimCount(const Variant& v) { return v.IsArray() ? 1 : 0; }
Variant VarArrayGet(const Variant& v, int index) { return v.GetElement(index); }
void VarArrayPut(Variant& v, const Variant& value, int index) { v.PutElement(index, value); }

std::string VarToStr(const Variant& v) { return v.AsString(); }

std::string VarToStrDef(const Variant& v, const std::string& def) {
  return v.IsClear() ? def : v.AsString();
}

Variant VarAsType(const Variant& v, TVarType type) { return v.AsType(type); }

TVariantRelationship VarCompareValue(const Variant& l, const Variant& r) {
  if (l.IsClear() != r.IsClear()) return vrNotEqual;
  if (l.IsClear()) return l.VarType() == r.VarType() ? vrEqual : vrNotEqual;
  switch (VariantOps::Compare(l, r)) {
    case -1: return vrLessThan;
    case 0: return vrEqual;
    case 1: return vrGreaterThan;
    default: return vrNotEqual;
  }
}

std::string VarTypeAsText(TVarType type) {
  static const char* const names[] = {"Empty", "Null",    "Smallint", "Integer", "Single",  "Double",
                                      "Currency", "Date", "OleStr",   "Dispatch", "Error",  "Boolean",
                                      "Variant", "Unknown", "Decimal", "???",     "ShortInt", "Byte",
                                      "Word",    "DWord",   "Int64",   "QWord"};
  const TVarType base = type & varTypeMask;
  std::string name;
  if (base <= varQWord) {
    name = names[base];
  } else if (base == varString) {
    name = "String";
  } else {
    name = "Unknown";
  }
  if (type & varArray) return "Array of " + name;
  return name;
}

}  // namespace dac
