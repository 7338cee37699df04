#pragma once
// TFieldDef / TFieldDefs: the description of a dataset's columns as its
// cursor reports them; fields are created from them.

#include <cstdint>
#include <string>

#include "platform/db/db_types.h"
#include "platform/rtl/collection.h"

namespace dac {

class TDataSet;
class TField;
class TComponent;
class TFieldDefs;

class TFieldDef : public TCollectionItem {
 public:
  TFieldDef() = default;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType Value);
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Value);
  int32_t Precision() const { return FPrecision; }
  void SetPrecision(int32_t Value);
  bool Required() const { return FAttributes.Contains(faRequired); }
  void SetRequired(bool Value);
  bool InternalCalcField() const { return FInternalCalcField; }
  void SetInternalCalcField(bool Value);
  TFieldAttributes Attributes() const { return FAttributes; }
  void SetAttributes(TFieldAttributes Value);
  // Position + 1 when added.
  int32_t FieldNo() const { return FFieldNo; }
  void SetFieldNo(int32_t Value) { FFieldNo = Value; }
  TFieldDefs* FieldDefs() const;

  // Makes the field of the dataset's class for this type, owned by owner
  // (the dataset when null), and binds it to the dataset.
  TField* CreateField(TComponent* Owner);
  // Copies everything, precision and attributes included.
  void Assign(TPersistent* Source) override;

 protected:
  std::string GetDisplayName() const override { return FName; }

 private:
  std::string FName;
  TFieldType FDataType = ftUnknown;
  int32_t FSize = 0;
  int32_t FPrecision = 0;
  int32_t FFieldNo = 0;
  bool FInternalCalcField = false;
  TFieldAttributes FAttributes;
};

class TFieldDefs : public TOwnedCollection {
 public:
  explicit TFieldDefs(TDataSet* ADataSet);

  TDataSet* DataSet() const { return FDataSet; }
  TFieldDef* Items(int32_t Index) const;
  TFieldDef* operator[](int32_t Index) const { return Items(Index); }
  TFieldDef* AddFieldDef();
  void Add(const std::string& Name, TFieldType DataType, int32_t Size = 0, bool Required = false);
  // Case-insensitive; -1 when absent.
  int32_t IndexOf(const std::string& Name) const;
  TFieldDef* Find(const std::string& Name) const;  // raises "Field '%s' not found"
  // Up-to-date flag; cleared by every change and set by Update.
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }
  // Re-reads the definitions from the dataset's cursor (opening it for
  // information only when it is closed).
  virtual void Update();

  void Notify(TCollectionItem* Item, TCollectionNotification Action) override;
  void Update(TCollectionItem* Item) override;

 private:
  TDataSet* FDataSet = nullptr;
  bool FUpdated = false;
};

}  // namespace dac
