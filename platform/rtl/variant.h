#pragma once
// Variant: a value of one of the runtime's kinds, with the conversions and
// operators the dataset framework, Locate/Lookup and the filter evaluator use.
//
// Kinds carry the classic variant type codes (VarType()). Numbers, Booleans,
// currency and dates are held inline; strings, arrays and byte arrays on the
// heap. Arrays are values: copying a variant copies its elements (lazily,
// on the first change of a shared array).
//
// Conversions (As*) raise EVariantError: "Could not convert variant of type
// (String) into type (Double)" for an impossible conversion, "Range check
// error while converting variant of type (%s) into type (%s)" for a value
// outside the target type. Null and Unassigned convert to nothing but text
// (""), and Unassigned also to the zero of each number kind and False.
//
// Operators follow the classic rules:
// - Unassigned on either side gives Unassigned, except that dividing by
//   Unassigned raises EZeroDivide; otherwise Null on either side gives Null;
// - a real division by zero raises EZeroDivide;
// - string + string concatenates (wide string when either side is wide);
//   a string with a number is converted to a double;
// - integers stay integers (Integer while the result fits 32 bits, else
//   Int64, else Double); / always divides as reals;
// - a date-time with a number gives a date-time for + and -, date - date is
//   a Double; * and / of a date are plain doubles;
// - currency with anything but a date stays currency;
// - arrays raise "Invalid variant operation".
// Comparison: Null equals only Null and is smaller than everything else;
// Unassigned likewise, and smaller than Null. Strings compare byte-wise
// (code-point order); a string against a number compares as doubles,
// against a Boolean as text ("True"/"False"); a small integer against a
// Boolean compares as Booleans (False < True); currency and dates win over
// floats and integers. Booleans read as numbers are -1 (True) and 0.

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"

namespace dac {

using TVarType = uint16_t;
using TBytes = std::vector<uint8_t>;

inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;  // wide string (held as UTF-8)
inline constexpr TVarType varDispatch = 0x0009;
inline constexpr TVarType varError = 0x000A;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varUnknown = 0x000D;
inline constexpr TVarType varDecimal = 0x000E;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varQWord = 0x0015;
inline constexpr TVarType varString = 0x0100;  // 8-bit string
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;
inline constexpr TVarType varByRef = 0x4000;
// A byte array is reported as an array of varByte.
inline constexpr TVarType varByteArray = varArray | varByte;

// Tag for building a date-time variant (TDateTime is a plain double).
struct VarDateTime {
  TDateTime Value = 0;
  explicit constexpr VarDateTime(TDateTime v) : Value(v) {}
};
// Tag for building a wide-string variant from UTF-8 text.
struct VarWideString {
  std::string Value;
  explicit VarWideString(std::string v) : Value(std::move(v)) {}
};

// Result of VarCompareValue.
enum TVariantRelationship : uint8_t { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

class Variant {
 public:
  // Unassigned.
  Variant() = default;
  Variant(bool v);
  // Integers take the kind of their size and signedness: int8 varShortInt,
  // uint8 varByte, int16 varSmallint, uint16 varWord, int32 varInteger,
  // uint32 varLongWord, int64 varInt64, uint64 varQWord.
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
             !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char8_t> &&
             !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>)
  Variant(T v) {
    if constexpr (std::is_signed_v<T>) {
      InitSigned(static_cast<int64_t>(v), sizeof(T));
    } else {
      InitUnsigned(static_cast<uint64_t>(v), sizeof(T));
    }
  }
  Variant(float v);
  Variant(double v);
  Variant(Currency v);
  Variant(VarDateTime v);
  Variant(VarWideString v);
  Variant(std::string v);
  Variant(std::string_view v);
  Variant(const char* v);
  // A one-character string.
  Variant(char v);
  Variant(TBytes v);

  static Variant Null();
  static Variant Unassigned();
  static Variant FromDateTime(TDateTime v) { return Variant(VarDateTime(v)); }
  static Variant FromWideString(std::string utf8) { return Variant(VarWideString(std::move(utf8))); }
  static Variant FromBytes(TBytes v) { return Variant(std::move(v)); }

  TVarType VarType() const { return FVType; }
  bool IsNull() const { return FVType == varNull; }
  bool IsEmpty() const { return FVType == varEmpty; }
  // Null or Unassigned.
  bool IsClear() const { return FVType == varEmpty || FVType == varNull; }
  bool IsArray() const { return (FVType & varArray) != 0; }
  bool IsStr() const { return FVType == varString || FVType == varOleStr; }
  // Integer kinds (Boolean excluded).
  bool IsOrdinal() const;
  bool IsFloat() const;
  // Integer, float, currency (not date, not Boolean).
  bool IsNumeric() const;

  // Conversions; see the file comment for the failures.
  bool AsBoolean() const;
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  uint64_t AsQWord() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  TDateTime AsDateTime() const;
  // VarToStr: integers by IntToStr, floats by FloatToStr, currency by
  // CurrToStr, dates by DateTimeToStr, Booleans "True"/"False", Null and
  // Unassigned "". Arrays raise.
  std::string AsString() const;
  // A byte array's bytes, or a string's bytes. Other kinds raise.
  TBytes AsBytes() const;

  // The same value converted to the given kind (varEmpty, varNull, the
  // scalar kinds; varVariant returns a copy).
  Variant AsType(TVarType type) const;

  // ---- arrays (one dimension) ----
  int ArrayLowBound() const;
  int ArrayHighBound() const;
  // Element access with bound checks ("Variant array bounds error").
  // A byte array's elements are varByte values.
  Variant GetElement(int index) const;
  void PutElement(int index, const Variant& value);
  Variant operator[](int index) const { return GetElement(index); }

  // Arithmetic (see the file comment).
  Variant& operator+=(const Variant& r);
  Variant& operator-=(const Variant& r);
  Variant& operator*=(const Variant& r);
  Variant& operator/=(const Variant& r);
  Variant operator-() const;

  friend Variant operator+(Variant l, const Variant& r) { return l += r; }
  friend Variant operator-(Variant l, const Variant& r) { return l -= r; }
  friend Variant operator*(Variant l, const Variant& r) { return l *= r; }
  friend Variant operator/(Variant l, const Variant& r) { return l /= r; }

  // Equality and order with the loose Null rule described above. A value
  // that cannot be converted for the comparison raises EVariantError.
  friend bool operator==(const Variant& l, const Variant& r);
  friend std::partial_ordering operator<=>(const Variant& l, const Variant& r);

  // Exact identity: same kind and same stored value (arrays element-wise).
  bool Identical(const Variant& other) const;

 private:
  struct ArrayData {
    int Low = 0;
    TVarType ElemType = varVariant;
    std::vector<Variant> Items;
  };
  using Payload = std::variant<std::monostate, bool, int64_t, uint64_t, double, Currency,
                               std::string, std::shared_ptr<ArrayData>,
                               std::shared_ptr<TBytes>>;

  void InitSigned(int64_t v, size_t size);
  void InitUnsigned(uint64_t v, size_t size);
  friend class VariantOps;

  TVarType FVType = varEmpty;
  Payload FData;
};

// ---- free functions in the classic spelling ----
inline TVarType VarType(const Variant& v) { return v.VarType(); }
inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsClear(const Variant& v) { return v.IsClear(); }
inline bool VarIsArray(const Variant& v) { return v.IsArray(); }
inline bool VarIsStr(const Variant& v) { return v.IsStr(); }
inline bool VarIsOrdinal(const Variant& v) { return v.IsOrdinal(); }
inline bool VarIsFloat(const Variant& v) { return v.IsFloat(); }
inline bool VarIsNumeric(const Variant& v) { return v.IsNumeric(); }

// An array of high - low + 1 elements, each Unassigned (elemType varVariant)
// or the zero value of elemType; elemType varByte makes a byte array.
// high < low - 1 raises "Variant array bounds error".
Variant VarArrayCreate(int low, int high, TVarType elemType = varVariant);
// Elements 0..n-1.
Variant VarArrayOf(const std::vector<Variant>& values);
// Dimension 1 only; anything else raises "Variant array bounds error".
// A non-array raises "Variant doesn't contain an array".
int VarArrayLowBound(const Variant& v, int dim = 1);
int VarArrayHighBound(const Variant& v, int dim = 1);
int VarArrayDimCount(const Variant& v);
Variant VarArrayGet(const Variant& v, int index);
void VarArrayPut(Variant& v, const Variant& value, int index);

std::string VarToStr(const Variant& v);
std::string VarToStrDef(const Variant& v, const std::string& def);
Variant VarAsType(const Variant& v, TVarType type);
// vrNotEqual when exactly one side is Null or Unassigned.
TVariantRelationship VarCompareValue(const Variant& l, const Variant& r);
// The type's name as used in messages: "Empty", "Null", "Smallint",
// "Integer", "Single", "Double", "Currency", "Date", "OleStr", "Boolean",
// "ShortInt", "Byte", "Word", "DWord", "Int64", "QWord", "String", and
// "Array of X" for arrays.
std::string VarTypeAsText(TVarType type);

}  // namespace dac
