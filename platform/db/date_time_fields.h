#pragma once
// Date, time and date-time fields. Slots: date as a 32-bit day number (day
// 1 = 0001-01-01), time as 32-bit milliseconds since midnight, date-time
// as a double of milliseconds since day 1. The value form is TDateTime;
// the dataset's DataConvert translates.

#include "platform/db/field.h"

namespace dac {

class TDateTimeField : public TField {
 public:
  TDateTimeField();
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value) { FDisplayFormat = Value; }
  void SetAsString(const std::string& V) override;
  void SetAsDateTime(TDateTime V) override;
  void SetAsFloat(double V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override { return 8; }
  std::string GetAsString() override;
  TDateTime GetAsDateTime() override;
  double GetAsFloat() override;
  Variant GetAsVariant() override;
  void GetText(std::string& Text, bool DisplayText) override;
  bool GetValue(TDateTime& Value);

 private:
  std::string FDisplayFormat;
};

class TDateField : public TDateTimeField {
 public:
  TDateField();
};

class TTimeField : public TDateTimeField {
 public:
  TTimeField();
};

}  // namespace dac
