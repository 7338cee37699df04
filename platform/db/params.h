#pragma once
// TParam / TParams: named values handed to a provider (PSSetParams).

#include <cstdint>
#include <string>

#include "platform/db/db_types.h"
#include "platform/rtl/collection.h"
#include "platform/rtl/variant.h"

namespace dac {

class TParam : public TCollectionItem {
 public:
  TParam() = default;
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType Value) { FDataType = Value; }
  TParamType ParamType() const { return FParamType; }
  void SetParamType(TParamType Value) { FParamType = Value; }
  const Variant& Value() const { return FValue; }
  // Also takes the data type from the value when none is set.
  void SetValue(const Variant& Value);
  bool IsNull() const { return FValue.IsClear(); }
  void Clear() { FValue = Variant::Null(); }
  void Assign(TPersistent* Source) override;

 protected:
  std::string GetDisplayName() const override { return FName; }

 private:
  std::string FName;
  TFieldType FDataType = ftUnknown;
  TParamType FParamType = ptUnknown;
  Variant FValue;
};

class TParams : public TOwnedCollection {
 public:
  explicit TParams(TPersistent* AOwner = nullptr);
  TParam* Items(int32_t Index) const { return static_cast<TParam*>(TCollection::Items(Index)); }
  TParam* operator[](int32_t Index) const { return Items(Index); }
  TParam* AddParam() { return static_cast<TParam*>(TCollection::Add()); }
  TParam* CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType);
  // Case-insensitive; null when absent.
  TParam* FindParam(const std::string& Name) const;
  // Raises "Parameter '%s' not found".
  TParam* ParamByName(const std::string& Name) const;
};

}  // namespace dac
