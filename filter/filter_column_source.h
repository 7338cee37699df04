#pragma once
// IFilterColumnSource: what the engine filter transformer needs to know
// about the table behind a dataset. The filter folder cannot see the column
// catalog or the cursor, so the dataset that pushes its filter down answers
// through this interface.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/variant.h"

namespace dac {

class TField;

// The engine column behind a field, with the sizes of the column catalog.
struct TFilterColumn {
  uint32_t ColumnId = 0;
  uint32_t cbMax = 0;
  // Bytes in a record buffer, null indicator included.
  uint32_t BufferMax = 0;
  // Bytes of the value a field reads or writes.
  uint32_t RealDataSize = 0;
  std::string ColumnName;
};

class IFilterColumnSource {
 public:
  // The column of field number FieldNo (1-based); null when the field has
  // no column of the table (a calculated or lookup field).
  virtual const TFilterColumn* FilterColumn(int32_t FieldNo) const = 0;
  // Value assigned to Field and converted into the engine form of Column:
  // Column.BufferMax bytes. A value the field cannot take raises the
  // field's own conversion error.
  virtual std::vector<uint8_t> FilterConstant(TField* Field, const TFilterColumn& Column, const Variant& Value) = 0;

 protected:
  ~IFilterColumnSource() = default;
};

}  // namespace dac
