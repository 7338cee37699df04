#include "catalog/drm_collection.h"

#include <cstring>

#include "engine/drm.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

namespace {
// Names arrive in a buffer of this size; the text ends at its first NUL.
constexpr uint32_t kNameBufferSize = 1024;
}  // namespace

TDrmAbstractCollection::TDrmAbstractCollection(TComponent* Owner, TCollectionItemClass ItemClass)
    : TOwnedCollection(Owner, std::move(ItemClass)) {}

void TDrmAbstractCollection::Clear() {
  FFilled = false;
  TOwnedCollection::Clear();
}

TComponent* TDrmAbstractCollection::OwnerComponent() { return dynamic_cast<TComponent*>(GetOwner()); }

void TDrmAbstractCollection::CheckCatalogStatus(int32_t SesID, int32_t Status) {
  if (Status != 0) throw EPvDrmEngineError(OwnerComponent(), Status, SesID, 0);
}

void TDrmAbstractCollection::CheckFilled() {
  if (!FFilled) PvDatabaseError(GetOwner(), SCollectionNotFilled);
}

void TDrmAbstractCollection::Walk(int32_t SesID, uint32_t* Info, uint32_t InfoSize,
                                  const std::function<int32_t()>& Call,
                                  const std::function<void(uint32_t Cursor)>& ReadRow, bool CloseCursor) {
  Clear();
  std::memset(Info, 0, InfoSize);
  Info[0] = InfoSize;
  CheckCatalogStatus(SesID, Call());
  const uint32_t cursor = Info[1];
  const auto ses = static_cast<uint32_t>(SesID);
  int32_t s = 0;
  {
    // A walk that fails part-way keeps the rows read so far, unfilled, and
    // does not leave its result cursor open.
    Finally close([&] {
      if (CloseCursor) (void)RareCloseTable(ses, cursor);
    });
    s = RareMove(ses, cursor, DRM_MOVE_FIRST);
    while (s == 0) {
      ReadRow(cursor);
      s = RareMove(ses, cursor, DRM_MOVE_NEXT);
    }
  }
  if (s != DRM_ERR_NO_CURRENT_RECORD) CheckCatalogStatus(SesID, s);
  FFilled = true;
}

std::string TDrmAbstractCollection::ReadText(int32_t SesID, uint32_t Cursor, uint32_t ColumnId) {
  char buffer[kNameBufferSize] = {};
  uint32_t length = 0;
  CheckCatalogStatus(SesID, RareRetrieveColumn(static_cast<uint32_t>(SesID), Cursor, ColumnId, buffer,
                                               kNameBufferSize, &length, nullptr));
  return std::string(buffer, strnlen(buffer, kNameBufferSize));
}

void TDrmAbstractCollection::ReadNumber(int32_t SesID, uint32_t Cursor, uint32_t ColumnId, void* Target,
                                        uint32_t Size) {
  uint32_t length = 0;
  CheckCatalogStatus(SesID,
                     RareRetrieveColumn(static_cast<uint32_t>(SesID), Cursor, ColumnId, Target, Size, &length, nullptr));
}

}  // namespace dac
