#include "platform/db/params.h"

#include "platform/rtl/text.h"

namespace dac {

namespace {
TFieldType TypeOfVariant(const Variant& v) {
  switch (v.VarType()) {
    case varSmallint: case varShortInt: case varByte: return ftSmallint;
    case varWord: return ftWord;
    case varInteger: case varLongWord: return ftInteger;
    case varInt64: case varQWord: return ftLargeint;
    case varSingle: case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varString: return ftString;
    case varOleStr: return ftWideString;
    default: return v.IsArray() ? ftBytes : ftUnknown;
  }
}
}  // namespace

void TParam::SetValue(const Variant& Value) {
  FValue = Value;
  if (FDataType == ftUnknown) FDataType = TypeOfVariant(Value);
}

void TParam::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TParam*>(Source)) {
    FName = p->FName;
    FDataType = p->FDataType;
    FParamType = p->FParamType;
    FValue = p->FValue;
    return;
  }
  TCollectionItem::Assign(Source);
}

TParams::TParams(TPersistent* AOwner) : TOwnedCollection(AOwner, ItemClass<TParam>()) {}

TParam* TParams::CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType) {
  TParam* p = AddParam();
  p->SetName(Name);
  p->SetDataType(DataType);
  p->SetParamType(ParamType);
  return p;
}

TParam* TParams::FindParam(const std::string& Name) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (SameText(Items(i)->Name(), Name)) return Items(i);
  return nullptr;
}

TParam* TParams::ParamByName(const std::string& Name) const {
  TParam* p = FindParam(Name);
  if (p == nullptr) DatabaseErrorFmt("Parameter '%s' not found", nullptr, Name);
  return p;
}

}  // namespace dac
