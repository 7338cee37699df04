#pragma once
// The numeric and Boolean field classes.
//
// Slots: Smallint int16, Word uint16, Integer and AutoInc int32, Largeint
// int64, Float double, Currency a Currency (int64 of 1/10000 units), BCD a
// TBcd whose value form is Currency, Boolean 16 bits (non-zero true).

#include "platform/db/field.h"

namespace dac {

class TNumericField : public TField {
 public:
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value) { FDisplayFormat = Value; }
  const std::string& EditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& Value) { FEditFormat = Value; }

 protected:
  // Raises the range error for a value outside [Min, Max].
  [[noreturn]] void RangeError(const std::string& Value, const std::string& Min,
                               const std::string& Max) const;

 private:
  std::string FDisplayFormat;
  std::string FEditFormat;
};

// Integer, Smallint, Word and AutoInc fields share one class family; the
// data type selects the slot width.
class TIntegerField : public TNumericField {
 public:
  TIntegerField();
  // 0 and 0 mean the type's own range.
  int64_t MinValue() const { return FMinValue; }
  void SetMinValue(int64_t Value) { FMinValue = Value; }
  int64_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int64_t Value) { FMaxValue = Value; }
  void SetAsString(const std::string& V) override;
  void SetAsBoolean(bool V) override;
  void SetAsInteger(int32_t V) override;
  void SetAsLargeInt(int64_t V) override;
  void SetAsFloat(double V) override;
  void SetAsCurrency(Currency V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override;
  std::string GetAsString() override;
  bool GetAsBoolean() override;
  int32_t GetAsInteger() override;
  int64_t GetAsLargeInt() override;
  double GetAsFloat() override;
  Currency GetAsCurrency() override;
  Variant GetAsVariant() override;
  void GetText(std::string& Text, bool DisplayText) override;
  bool GetValue(int64_t& Value);
  void SetValue64(int64_t Value);
  int64_t MinRange() const;
  int64_t MaxRange() const;

 private:
  int64_t FMinValue = 0;
  int64_t FMaxValue = 0;
};

class TSmallintField : public TIntegerField {
 public:
  TSmallintField();
};

class TWordField : public TIntegerField {
 public:
  TWordField();
};

class TAutoIncField : public TIntegerField {
 public:
  TAutoIncField();
};

class TLargeintField : public TIntegerField {
 public:
  TLargeintField();
};

class TFloatField : public TNumericField {
 public:
  TFloatField();
  // Significant digits for display (15 by default).
  int32_t Precision() const { return FPrecision; }
  void SetPrecision(int32_t Value) { FPrecision = Value; }
  // 0 and 0 mean no range check.
  double MinValue() const { return FMinValue; }
  void SetMinValue(double Value) { FMinValue = Value; }
  double MaxValue() const { return FMaxValue; }
  void SetMaxValue(double Value) { FMaxValue = Value; }
  void SetAsString(const std::string& V) override;
  void SetAsBoolean(bool V) override;
  void SetAsInteger(int32_t V) override;
  void SetAsLargeInt(int64_t V) override;
  void SetAsFloat(double V) override;
  void SetAsCurrency(Currency V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override { return 8; }
  std::string GetAsString() override;
  bool GetAsBoolean() override;
  int32_t GetAsInteger() override;
  int64_t GetAsLargeInt() override;
  double GetAsFloat() override;
  Currency GetAsCurrency() override;
  Variant GetAsVariant() override;
  void GetText(std::string& Text, bool DisplayText) override;
  // The value as a double; false when null.
  virtual bool GetDouble(double& Value);
  void CheckRange(double Value) const;

 private:
  int32_t FPrecision = 15;
  double FMinValue = 0;
  double FMaxValue = 0;
};

// Currency: the slot holds the Currency value itself.
class TCurrencyField : public TFloatField {
 public:
  TCurrencyField();
  void SetAsString(const std::string& V) override;
  void SetAsInteger(int32_t V) override;
  void SetAsLargeInt(int64_t V) override;
  void SetAsFloat(double V) override;
  void SetAsCurrency(Currency V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  std::string GetAsString() override;
  Currency GetAsCurrency() override;
  Variant GetAsVariant() override;
  bool GetDouble(double& Value) override;
  bool GetCurrency(Currency& Value);
};

// BCD: the slot holds a TBcd; the value form is Currency. Size is the
// scale (0..32).
class TBCDField : public TNumericField {
 public:
  TBCDField();
  int32_t Precision() const { return FPrecision; }
  void SetPrecision(int32_t Value);
  Currency MinValue() const { return FMinValue; }
  void SetMinValue(Currency Value) { FMinValue = Value; }
  Currency MaxValue() const { return FMaxValue; }
  void SetMaxValue(Currency Value) { FMaxValue = Value; }
  void SetAsString(const std::string& V) override;
  void SetAsBoolean(bool V) override;
  void SetAsInteger(int32_t V) override;
  void SetAsLargeInt(int64_t V) override;
  void SetAsFloat(double V) override;
  void SetAsCurrency(Currency V) override;
  void SetAsBCD(const TBcd& V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override { return static_cast<int32_t>(sizeof(TBcd)); }
  std::string GetAsString() override;
  bool GetAsBoolean() override;
  int32_t GetAsInteger() override;
  int64_t GetAsLargeInt() override;
  double GetAsFloat() override;
  Currency GetAsCurrency() override;
  TBcd GetAsBCD() override;
  Variant GetAsVariant() override;
  void GetText(std::string& Text, bool DisplayText) override;
  void CheckTypeSize(int32_t Value) const override;
  bool GetValue(Currency& Value);
  void CheckRange(Currency Value) const;

 private:
  int32_t FPrecision = 0;
  Currency FMinValue;
  Currency FMaxValue;
};

class TBooleanField : public TField {
 public:
  TBooleanField();
  // "True;False" by default: the texts for true and false.
  const std::string& DisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& Value);
  void SetAsString(const std::string& V) override;
  void SetAsBoolean(bool V) override;
  void SetAsInteger(int32_t V) override;
  void SetAsLargeInt(int64_t V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override { return 2; }
  std::string GetAsString() override;
  bool GetAsBoolean() override;
  int32_t GetAsInteger() override;
  int64_t GetAsLargeInt() override;
  Variant GetAsVariant() override;
  bool GetValue(bool& Value);

 private:
  std::string FDisplayValues = "True;False";
  std::string FTrueText = "True";
  std::string FFalseText = "False";
};

}  // namespace dac
