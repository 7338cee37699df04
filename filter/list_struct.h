#pragma once
// TListStruct: one entry of an evaluated IN list: a value, or a field whose
// current value is read when the entry is compared.

#include "platform/rtl/variant.h"

namespace dac {

class TField;

struct TListStruct {
  bool IsVariant = true;
  Variant v;
  TField* Field = nullptr;
};

}  // namespace dac
