#pragma once
// TField: one column of a dataset as the application sees it. A field reads
// and writes its value through its dataset (GetFieldData / SetFieldData),
// converts between its value and the other value kinds, and carries the
// column's descriptive properties. The concrete classes per data type sit in
// string_field.h, numeric_fields.h, date_time_fields.h and binary_fields.h.
//
// A field never checks the dataset state or its own ReadOnly flag on write:
// the dataset's SetFieldData does that, because some states (key and filter
// buffers) write fields that are otherwise read-only.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/db_types.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/component.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/variant.h"

namespace dac {

class TDataSet;
class TFieldDef;
class TField;

using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;

// Makes a field of one class, owned by owner.
using TFieldClass = TField* (*)(TComponent* Owner);
template <class T>
TField* MakeField(TComponent* Owner) {
  return Create<T>(Owner);
}

class TField : public TComponent {
 public:
  TField() = default;

  // ---- identity --------------------------------------------------------
  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(const std::string& Value);
  const std::string& DisplayLabel() const { return FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value) { FDisplayLabel = Value; }
  // The label, or else the field name.
  std::string DisplayName() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
  TDataSet* DataSet() const { return FDataSet; }
  // Moves the field into another dataset's field list (both must be closed).
  void SetDataSet(TDataSet* Value);
  // Position in the dataset's field list, -1 without dataset.
  int32_t Index() const;
  void SetIndex(int32_t Value);
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  bool Lookup() const { return FFieldKind == fkLookup; }
  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Value);
  // Bytes of the native value.
  int32_t DataSize() const { return GetDataSize(); }
  // Column number for data fields, -1 for calculated and lookup fields, 0
  // while unbound.
  int32_t FieldNo() const { return FFieldNo; }
  // Calculated fields: the slot in the calculated-field area; blob fields:
  // the blob ordinal.
  int32_t Offset() const { return FOffset; }
  TFieldDef* FieldDef() const { return FFieldDef; }
  virtual bool IsBlob() const { return false; }

  bool Required() const { return FRequired; }
  void SetRequired(bool Value) { FRequired = Value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  const std::string& Origin() const { return FOrigin; }
  void SetOrigin(const std::string& Value) { FOrigin = Value; }
  TProviderFlags ProviderFlags() const { return FProviderFlags; }
  void SetProviderFlags(TProviderFlags Value) { FProviderFlags = Value; }
  bool CanModify() const;

  // ---- constraints -------------------------------------------------------
  const std::string& CustomConstraint() const { return FCustomConstraint; }
  void SetCustomConstraint(const std::string& Value) { FCustomConstraint = Value; }
  const std::string& ImportedConstraint() const { return FImportedConstraint; }
  void SetImportedConstraint(const std::string& Value) { FImportedConstraint = Value; }
  const std::string& ConstraintErrorMessage() const { return FConstraintErrorMessage; }
  void SetConstraintErrorMessage(const std::string& Value) { FConstraintErrorMessage = Value; }
  const std::string& DefaultExpression() const { return FDefaultExpression; }
  void SetDefaultExpression(const std::string& Value) { FDefaultExpression = Value; }
  bool HasConstraints() const { return !FCustomConstraint.empty() || !FImportedConstraint.empty(); }

  // ---- lookup definition -----------------------------------------------
  TDataSet* LookupDataSet() const { return FLookupDataSet; }
  void SetLookupDataSet(TDataSet* Value);
  const std::string& KeyFields() const { return FKeyFields; }
  void SetKeyFields(const std::string& Value) { FKeyFields = Value; }
  const std::string& LookupKeyFields() const { return FLookupKeyFields; }
  void SetLookupKeyFields(const std::string& Value) { FLookupKeyFields = Value; }
  const std::string& LookupResultField() const { return FLookupResultField; }
  void SetLookupResultField(const std::string& Value) { FLookupResultField = Value; }

  // ---- values ------------------------------------------------------------
  bool IsNull() { return GetIsNull(); }
  virtual void Clear();
  Variant Value() { return GetAsVariant(); }
  void SetValue(const Variant& V) { SetAsVariant(V); }
  std::string AsString() { return GetAsString(); }
  virtual void SetAsString(const std::string& V);
  bool AsBoolean() { return GetAsBoolean(); }
  virtual void SetAsBoolean(bool V);
  int32_t AsInteger() { return GetAsInteger(); }
  virtual void SetAsInteger(int32_t V);
  int64_t AsLargeInt() { return GetAsLargeInt(); }
  virtual void SetAsLargeInt(int64_t V);
  double AsFloat() { return GetAsFloat(); }
  virtual void SetAsFloat(double V);
  Currency AsCurrency() { return GetAsCurrency(); }
  virtual void SetAsCurrency(Currency V);
  TDateTime AsDateTime() { return GetAsDateTime(); }
  virtual void SetAsDateTime(TDateTime V);
  TBcd AsBCD() { return GetAsBCD(); }
  virtual void SetAsBCD(const TBcd& V);
  TBytes AsBytes() { return GetAsBytes(); }
  virtual void SetAsBytes(const TBytes& V);
  Variant AsVariant() { return GetAsVariant(); }
  virtual void SetAsVariant(const Variant& V);
  // The text shown for the value (OnGetText when assigned).
  std::string DisplayText();
  std::string Text();
  virtual void SetText(const std::string& V);

  // Values in the other record images, read through the dataset.
  Variant OldValue();
  Variant NewValue();
  Variant CurValue();
  void SetNewValue(const Variant& V);

  // Copies the value of another field (Null when it is null); other sources
  // go to the base.
  void Assign(TPersistent* Source) override;
  // Unassigned leaves the field unchanged, Null clears it, anything else is
  // written by its kind.
  void AssignValue(const Variant& V);

  // ---- raw access --------------------------------------------------------
  // Reads the value into buffer (which must hold DataSize + 8 bytes); false
  // when it is null. buffer may be null to ask only for null-ness. native =
  // false asks for the value form (date-times as TDateTime, BCD as
  // Currency).
  bool GetData(void* Buffer, bool NativeFormat = true);
  // Writes the value from buffer; null buffer writes Null.
  void SetData(const void* Buffer, bool NativeFormat = true);

  // ---- validation and events ---------------------------------------------
  // Fires OnValidate with the new value visible to reads.
  virtual void Validate(const void* Buffer);
  // Fires OnChange; called by the dataset's field-change event.
  virtual void Change();
  // Dataset asks the field to compute its lookup value into the calc buffer.
  virtual void CalcLookupValue();
  const TFieldNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TFieldNotifyEvent V) { FOnChange = std::move(V); }
  const TFieldNotifyEvent& OnValidate() const { return FOnValidate; }
  void SetOnValidate(TFieldNotifyEvent V) { FOnValidate = std::move(V); }
  const TFieldGetTextEvent& OnGetText() const { return FOnGetText; }
  void SetOnGetText(TFieldGetTextEvent V) { FOnGetText = std::move(V); }
  const TFieldSetTextEvent& OnSetText() const { return FOnSetText; }
  void SetOnSetText(TFieldSetTextEvent V) { FOnSetText = std::move(V); }

  // ---- framework-internal ----------------------------------------------
  // Binding by the dataset at open and close.
  void SetFieldNo(int32_t Value) { FFieldNo = Value; }
  void SetOffset(int32_t Value) { FOffset = Value; }
  void SetFieldDef(TFieldDef* Value) { FFieldDef = Value; }
  // Where the dataset keeps this field's value in its record buffers, for a
  // dataset that lets the field read it there itself: the byte at Offset is
  // 1 when a value is present, the native value (at least DataSize bytes)
  // follows it. Setting it promises that in dsBrowse the dataset's
  // GetFieldData reads exactly this slot of the active buffer. -1 (the
  // default, and again after every binding) reads through GetFieldData.
  void SetRecordSlot(int32_t Offset) { FRecordSlot = Offset; }
  int32_t RecordSlot() const { return FRecordSlot; }
  virtual void Bind(bool Binding);
  // Drops per-edit state (blob modification marks).
  virtual void FreeBuffers() {}
  // The class's data type (set by the constructors of the classes, and for
  // the classes that serve several types by the field definition).
  void SetDataType(TFieldType Value) { FDataType = Value; }

 protected:
  // ---- per-class behaviour ------------------------------------------------
  virtual int32_t GetDataSize() const { return 0; }
  virtual bool GetIsNull();
  virtual std::string GetAsString();
  virtual bool GetAsBoolean();
  virtual int32_t GetAsInteger();
  virtual int64_t GetAsLargeInt();
  virtual double GetAsFloat();
  virtual Currency GetAsCurrency();
  virtual TDateTime GetAsDateTime();
  virtual TBcd GetAsBCD();
  virtual TBytes GetAsBytes();
  virtual Variant GetAsVariant();
  // Text for display (true) or editing (false); the base is AsString.
  virtual void GetText(std::string& Text, bool DisplayText);
  // Raises "Invalid field size" for a size the class cannot take.
  virtual void CheckTypeSize(int32_t Value) const;
  // Name of the class for messages ("Integer", "String", ...).
  virtual std::string ClassDesc() const { return FieldTypeName(FDataType).substr(2); }

  // Raises the conversion error "Invalid type conversion to <kind> in field".
  [[noreturn]] void AccessError(const char* TypeName) const;
  // Zero-filled scratch of at least DataSize + 8 bytes for reads, and a
  // separate one for writes: OnValidate may read the field while the value
  // being written still sits in the write scratch.
  uint8_t* Scratch();
  uint8_t* WriteScratch();
  // The native value for a read, or null when the value is null: the
  // record slot itself where the field may read it (SetRecordSlot), else
  // the read scratch filled through GetData. Valid until the next read.
  const uint8_t* ReadNative();
  // The value form (GetData with native = false) in the read scratch, or
  // null when the value is null.
  const uint8_t* ReadValueForm();
  // Raises "Field '%s' has no dataset" when unbound.
  TDataSet* CheckedDataSet() const;
  // The dataset must be closed to change the field's shape.
  void CheckInactive() const;
  void PropertyChanged(bool LayoutAffected);
  // The record slot a read may use now, or null when it must go through
  // the dataset.
  const uint8_t* DirectSlot() const;

  void SetFieldKindDirect(TFieldKind Value) { FFieldKind = Value; }
  void SetSizeDirect(int32_t Value) { FSize = Value; }

 private:
  friend class TDataSet;
  friend class TFields;

  std::string FFieldName;
  std::string FDisplayLabel;
  TDataSet* FDataSet = nullptr;
  TFieldKind FFieldKind = fkData;
  TFieldType FDataType = ftUnknown;
  int32_t FSize = 0;
  int32_t FFieldNo = 0;
  int32_t FOffset = 0;
  TFieldDef* FFieldDef = nullptr;
  bool FRequired = false;
  bool FReadOnly = false;
  bool FVisible = true;
  std::string FOrigin;
  TProviderFlags FProviderFlags{pfInUpdate, pfInWhere};
  std::string FCustomConstraint;
  std::string FImportedConstraint;
  std::string FConstraintErrorMessage;
  std::string FDefaultExpression;
  TDataSet* FLookupDataSet = nullptr;
  int32_t FRecordSlot = -1;
  std::string FKeyFields;
  std::string FLookupKeyFields;
  std::string FLookupResultField;
  TFieldNotifyEvent FOnChange;
  TFieldNotifyEvent FOnValidate;
  TFieldGetTextEvent FOnGetText;
  TFieldSetTextEvent FOnSetText;
  // While OnValidate runs, reads come from the value being written.
  bool FValidating = false;
  const void* FValidateBuffer = nullptr;
  std::vector<uint8_t> FScratch;
  std::vector<uint8_t> FWriteScratch;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Shutdown() override;
};

}  // namespace dac
