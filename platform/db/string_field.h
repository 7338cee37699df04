#pragma once
// TStringField: 8-bit text. The slot is NUL-terminated text of Size bytes
// plus the terminator, always written full width and NUL-padded.

#include "platform/db/field.h"

namespace dac {

class TStringField : public TField {
 public:
  TStringField();
  bool FixedChar() const { return DataType() == ftFixedChar; }
  void SetFixedChar(bool Value);
  void SetAsString(const std::string& V) override;
  void SetAsBoolean(bool V) override;
  void SetAsInteger(int32_t V) override;
  void SetAsLargeInt(int64_t V) override;
  void SetAsFloat(double V) override;
  void SetAsCurrency(Currency V) override;
  void SetAsDateTime(TDateTime V) override;
  void SetAsBCD(const TBcd& V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override { return Size() + 1; }
  std::string GetAsString() override;
  bool GetAsBoolean() override;
  int32_t GetAsInteger() override;
  int64_t GetAsLargeInt() override;
  double GetAsFloat() override;
  Currency GetAsCurrency() override;
  TDateTime GetAsDateTime() override;
  TBcd GetAsBCD() override;
  Variant GetAsVariant() override;
  void CheckTypeSize(int32_t Value) const override;
  // Reads the text; false when null.
  bool GetValue(std::string& Value);
};

// Wide text: known by type only; values travel as UTF-8 like 8-bit text.
class TWideStringField : public TStringField {
 public:
  TWideStringField();
};

}  // namespace dac
