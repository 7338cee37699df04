#pragma once
// TDrmAbstractCollection: the base of the catalog collections. A catalog
// call of the engine returns a small result cursor; a collection walks it
// once and keeps its rows as typed items.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/rtl/collection.h"

namespace dac {

class TComponent;

class TDrmAbstractCollection : public TOwnedCollection {
 public:
  TDrmAbstractCollection(TComponent* Owner, TCollectionItemClass ItemClass);

  // True once a walk has completed; false after construction and Clear.
  bool Filled() const { return FFilled; }
  void SetFilled(bool Value) { FFilled = Value; }

  void Clear() override;

 protected:
  // The owner as a component (null when the owner is none or not one).
  TComponent* OwnerComponent();
  // A status other than 0 raises EPvDrmEngineError for the owner.
  void CheckCatalogStatus(int32_t SesID, int32_t Status);
  // Raises "Collection not filled" unless a walk has completed.
  void CheckFilled();

  // The walk shared by every fill operation: Clear; Call fills the info
  // structure (word 0 preset to InfoSize) and returns its status; then
  // every row of the result cursor is handed to ReadRow. CloseCursor closes
  // the result cursor after the last row.
  void Walk(int32_t SesID, uint32_t* Info, uint32_t InfoSize, const std::function<int32_t()>& Call,
            const std::function<void(uint32_t Cursor)>& ReadRow, bool CloseCursor);

  // Reads a name column of the current row (up to its first NUL).
  std::string ReadText(int32_t SesID, uint32_t Cursor, uint32_t ColumnId);
  // Reads a number column straight into Target with exactly Size bytes.
  void ReadNumber(int32_t SesID, uint32_t Cursor, uint32_t ColumnId, void* Target, uint32_t Size);

 private:
  bool FFilled = false;
};

}  // namespace dac
