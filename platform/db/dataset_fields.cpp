// TDataSet: field creation and binding, field values and their conversion
// between slot and value form, and calculated fields.

#include "platform/db/dataset.h"

#include <algorithm>
#include <cstring>

#include "platform/db/binary_fields.h"
#include "platform/db/date_time_fields.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/string_field.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"

namespace dac {

// ---- fields -------------------------------------------------------------------------

void TDataSet::AddField(TField* Field) { FFields->Add(Field); }
void TDataSet::RemoveField(TField* Field) { FFields->Remove(Field); }

TField* TDataSet::FieldByName(const std::string& FieldName) const { return FFields->FieldByName(FieldName); }

void TDataSet::SetFieldDefs(TFieldDefs* Value) { FFieldDefs->Assign(Value); }
void TDataSet::SetConstraints(TCheckConstraints* Value) { FConstraints->Assign(Value); }

TFieldClass TDataSet::GetFieldClass(TFieldType FieldType) {
  switch (FieldType) {
    case ftString:
    case ftFixedChar: return &MakeField<TStringField>;
    case ftWideString: return &MakeField<TWideStringField>;
    case ftSmallint: return &MakeField<TSmallintField>;
    case ftInteger: return &MakeField<TIntegerField>;
    case ftWord: return &MakeField<TWordField>;
    case ftAutoInc: return &MakeField<TAutoIncField>;
    case ftLargeint: return &MakeField<TLargeintField>;
    case ftBoolean: return &MakeField<TBooleanField>;
    case ftFloat: return &MakeField<TFloatField>;
    case ftCurrency: return &MakeField<TCurrencyField>;
    case ftBCD: return &MakeField<TBCDField>;
    case ftDate: return &MakeField<TDateField>;
    case ftTime: return &MakeField<TTimeField>;
    case ftDateTime: return &MakeField<TDateTimeField>;
    case ftBytes: return &MakeField<TBytesField>;
    case ftVarBytes: return &MakeField<TVarBytesField>;
    case ftBlob:
    case ftTypedBinary: return &MakeField<TBlobField>;
    case ftMemo:
    case ftFmtMemo: return &MakeField<TMemoField>;
    case ftGraphic: return &MakeField<TGraphicField>;
    default: return nullptr;
  }
}

void TDataSet::CreateFields() {
  for (int32_t i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* d = FFieldDefs->Items(i);
    if (d->DataType() != ftUnknown) d->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  std::vector<TField*> list = FFields->List();
  for (TField* f : list) {
    f->FDataSet = nullptr;
    FFields->Remove(f);
    f->Free();
  }
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FBlobFieldCount = 0;
  for (TField* f : FFields->List()) {
    f->SetFieldDef(nullptr);
    f->SetRecordSlot(-1);  // a dataset that lets fields read their slots sets them after binding
    if (!Binding) {
      f->SetFieldNo(0);
    } else if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
      // Calculated values sit in the calculated-field area in field order,
      // each behind a byte that marks it present.
      f->SetFieldNo(-1);
      f->SetOffset(FCalcFieldsSize);
      FCalcFieldsSize += f->DataSize() + 1;
    } else {
      int32_t i = FFieldDefs->IndexOf(f->FieldName());
      if (i < 0) DatabaseErrorFmt(dbmsg::SFieldNotFound, this, f->FieldName());
      TFieldDef* d = FFieldDefs->Items(i);
      f->SetFieldDef(d);
      f->SetFieldNo(d->FieldNo());
      if (d->InternalCalcField()) FInternalCalcFields = true;
      if (f->IsBlob()) {
        f->SetSizeDirect(d->Size());
        f->SetOffset(FBlobFieldCount);
        ++FBlobFieldCount;
      }
    }
    f->Bind(Binding);
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* f : FFields->List()) f->FreeBuffers();
}

Variant TDataSet::FieldValues(const std::string& FieldNames) {
  std::vector<TField*> list;
  GetFieldList(list, FieldNames);
  if (list.size() > 1) {
    Variant r = VarArrayCreate(0, static_cast<int>(list.size()) - 1);
    for (size_t i = 0; i < list.size(); ++i) r.PutElement(static_cast<int>(i), list[i]->Value());
    return r;
  }
  return FieldByName(FieldNames)->Value();
}

void TDataSet::SetFieldValues(const std::string& FieldNames, const Variant& Value) {
  if (!Value.IsArray()) {
    FieldByName(FieldNames)->SetValue(Value);
    return;
  }
  std::vector<TField*> list;
  GetFieldList(list, FieldNames);
  int lo = Value.ArrayLowBound(), hi = Value.ArrayHighBound();
  if (list.size() == 1 && lo < hi) {
    list[0]->SetValue(Value);
    return;
  }
  if (static_cast<int>(list.size()) > hi - lo + 1)
    DatabaseErrorFmt("%d values given for %d fields", this, hi - lo + 1, static_cast<int64_t>(list.size()));
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetValue(Value.GetElement(lo + static_cast<int>(i)));
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
  if (FieldNames.empty()) return;
  int pos = 1;
  while (pos <= static_cast<int>(FieldNames.size())) {
    std::string n = ExtractFieldName(FieldNames, pos);
    List.push_back(FieldByName(n));
  }
}

void TDataSet::GetFieldNames(TStrings* List) const { FFields->GetFieldNames(List); }

std::unique_ptr<TIndexDefs> TDataSet::GetIndexDefs(TIndexDefs* IndexDefs, TIndexOptions Types) {
  IndexDefs->Update();
  auto result = std::make_unique<TIndexDefs>(this);
  result->Assign(IndexDefs);
  int32_t i = 0;
  while (i < result->Count()) {
    TIndexDef* d = result->Items(i);
    bool keep = (Types.Empty() && d->Options().Empty()) || !(Types * d->Options()).Empty();
    if (keep) {
      try {
        std::vector<TField*> list;
        GetFieldList(list, d->Fields());
      } catch (const EDatabaseError&) {
        keep = false;
      }
    }
    if (keep)
      ++i;
    else
      result->Delete(i);
  }
  return result;
}

// ---- field values ------------------------------------------------------------------

namespace {
// A zero-filled buffer for one field's slot form, DataSize + 8 bytes: on the
// stack for the common small fields, on the heap for larger ones.
class TSlotScratch {
 public:
  explicit TSlotScratch(TField* Field) {
    const size_t n = static_cast<size_t>(std::max(Field->DataSize(), 0)) + 8;
    if (n > sizeof(FLocal)) {
      FBig.assign(n, 0);
      FData = FBig.data();
    }
  }
  uint8_t* Data() { return FData; }

 private:
  uint8_t FLocal[64] = {};
  std::vector<uint8_t> FBig;
  uint8_t* FData = FLocal;
};
}  // namespace

bool TDataSet::GetFieldData(TField* Field, void* Buffer, bool NativeFormat) {
  if (NativeFormat || Buffer == nullptr) return GetFieldData(Field, Buffer);
  // The slot form first, into zero-filled scratch with room to spare.
  TSlotScratch scratch(Field);
  bool result = GetFieldData(Field, scratch.Data());
  if (result) DataConvert(Field, scratch.Data(), Buffer, false);
  return result;
}

void TDataSet::SetFieldData(TField* Field, const void* Buffer, bool NativeFormat) {
  if (NativeFormat || Buffer == nullptr) {
    SetFieldData(Field, Buffer);
    return;
  }
  TSlotScratch scratch(Field);
  DataConvert(Field, Buffer, scratch.Data(), true);
  SetFieldData(Field, scratch.Data());
}

void TDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
  switch (Field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (ToNative) {
        TDateTime v;
        std::memcpy(&v, Source, sizeof v);
        TTimeStamp ts = DateTimeToTimeStamp(v);
        if (Field->DataType() == ftDate) {
          std::memcpy(Dest, &ts.Date, sizeof ts.Date);
        } else if (Field->DataType() == ftTime) {
          std::memcpy(Dest, &ts.Time, sizeof ts.Time);
        } else {
          double ms = TimeStampToMSecs(ts);
          std::memcpy(Dest, &ms, sizeof ms);
        }
      } else if (Field->DataType() == ftDate) {
        // A day number alone: what TimeStampToDateTime composes for it at
        // midnight, without going through the composition.
        int32_t day = 0;
        std::memcpy(&day, Source, sizeof day);
        const TDateTime v = day >= 1 ? static_cast<TDateTime>(day - DateDelta) : 0;
        std::memcpy(Dest, &v, sizeof v);
      } else {
        TTimeStamp ts;
        if (Field->DataType() == ftTime) {
          std::memcpy(&ts.Time, Source, sizeof ts.Time);
          ts.Date = DateDelta;
        } else {
          double ms;
          std::memcpy(&ms, Source, sizeof ms);
          ts = MSecsToTimeStamp(ms);
        }
        TDateTime v = 0;
        if (ts.Date >= 1 && ts.Time >= 0 && ts.Time < MSecsPerDay) v = TimeStampToDateTime(ts);
        std::memcpy(Dest, &v, sizeof v);
      }
      return;
    }
    case ftBCD: {
      if (ToNative) {
        Currency c;
        std::memcpy(&c.Value, Source, sizeof c.Value);
        int precision = 32;
        if (auto* f = dynamic_cast<TBCDField*>(Field); f != nullptr && f->Precision() > 0)
          precision = f->Precision();
        int decimals = std::clamp(Field->Size(), 0, 4);
        TBcd b;
        if (!CurrToBCD(c, b, precision, decimals))
          DatabaseErrorFmt("Value %s does not fit the precision of field '%s'", this, CurrToStr(c),
                           Field->DisplayName());
        std::memcpy(Dest, &b, sizeof b);
      } else {
        TBcd b;
        std::memcpy(&b, Source, sizeof b);
        Currency c = BCDToCurr(b);
        std::memcpy(Dest, &c.Value, sizeof c.Value);
      }
      return;
    }
    default:
      std::memcpy(Dest, Source, static_cast<size_t>(std::max(Field->DataSize(), 0)));
      return;
  }
}

Variant TDataSet::GetStateFieldValue(TDataSetState AState, TField* Field) {
  TDataSetState old = SetTempState(AState);
  Finally restore([this, old] { RestoreState(old); });
  return Field->AsVariant();
}

void TDataSet::SetStateFieldValue(TDataSetState AState, TField* Field, const Variant& Value) {
  TDataSetState old = SetTempState(AState);
  Finally restore([this, old] { RestoreState(old); });
  Field->SetAsVariant(Value);
}

TFreePtr<TStream> TDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  (void)Field;
  (void)Mode;
  return TFreePtr<TStream>();
}

// ---- calculated fields -----------------------------------------------------------------

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize > 0 || FInternalCalcFields) CalculateFields(Buffer);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  if (FState == dsInternalCalc) return;
  TDataSetState old = FState;
  FState = dsCalcFields;
  Finally restore([this, old] { FState = old; });
  ClearCalcFields(Buffer);
  for (TField* f : FFields->List())
    if (f->FieldKind() == fkLookup) f->CalcLookupValue();
  DoOnCalcFields();
}

void TDataSet::DoOnCalcFields() { Fire(OnCalcFields); }

}  // namespace dac
