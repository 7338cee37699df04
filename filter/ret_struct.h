#pragma once
// TRetStruct: the result of evaluating one node of a filter buffer.

#include <memory>

#include "filter/list_struct_list.h"
#include "filter/ret_struct_type.h"
#include "platform/rtl/variant.h"

namespace dac {

class TField;

struct TRetStruct {
  TRetStructType StType = rstVariant;
  // The value (rstVariant).
  Variant v;
  // The field (rstField); its value is read when an operator needs it.
  TField* Field = nullptr;
  // The entries (rstList), owned.
  std::unique_ptr<TListStructList> List;
};

}  // namespace dac
