#include "catalog/index_info_collection.h"

#include <vector>

#include "engine/drm.h"
#include "errors/error_text.h"
#include "errors/messages.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/text.h"

namespace dac {

namespace {
// Index names in catalog order, each counted once (ignoring case).
std::vector<std::string> DistinctNames(const TDRMIndexInfoCollection& c) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < c.Count(); ++i) {
    const std::string& n = c.Items(i)->IndexName;
    bool seen = false;
    for (const auto& s : names)
      if (SameText(s, n)) {
        seen = true;
        break;
      }
    if (!seen) names.push_back(n);
  }
  return names;
}
}  // namespace

TDRMIndexInfoCollection::TDRMIndexInfoCollection(TComponent* Owner)
    : TDrmAbstractCollection(Owner, ItemClass<TDRMIndexInfo>()) {}

void TDRMIndexInfoCollection::SetIndexInfo(int32_t SesID, uint32_t TableId) {
  uint32_t info[DRM_INDEXINFO_SIZE / 4] = {};
  const auto ses = static_cast<uint32_t>(SesID);
  auto call = [&]() -> int32_t { return RareGetTableIndexInfo(ses, TableId, nullptr, info, DRM_INDEXINFO_SIZE); };
  auto row = [&](uint32_t cursor) {
    TDRMIndexInfo* x = Add();
    x->IndexName = ReadText(SesID, cursor, info[DRM_II_INDEXNAME / 4]);
    ReadNumber(SesID, cursor, info[DRM_II_GRBITINDEX / 4], &x->grBitIndex, 4);
    ReadNumber(SesID, cursor, info[DRM_II_SEGMENT / 4], &x->IndexedColumnNo, 4);
    ReadNumber(SesID, cursor, info[DRM_II_COLUMNID / 4], &x->IndexedColumnId, 4);
    ReadNumber(SesID, cursor, info[DRM_II_GRBITCOLUMN / 4], &x->grBitColumn, 4);
    x->IndexedColumnName = ReadText(SesID, cursor, info[DRM_II_COLUMNNAME / 4]);
  };
  Walk(SesID, info, DRM_INDEXINFO_SIZE, call, row, true);
}

int32_t TDRMIndexInfoCollection::IndexCount() {
  CheckFilled();
  return static_cast<int32_t>(DistinctNames(*this).size());
}

void TDRMIndexInfoCollection::GetIndexNameByNumber(int32_t Number, std::string& Name) {
  CheckFilled();
  std::vector<std::string> names = DistinctNames(*this);
  if (Number >= 0 && Number < static_cast<int32_t>(names.size())) {
    Name = names[static_cast<size_t>(Number)];
    return;
  }
  std::string text = Format(SIndexNumberNotFound, Number);
  if (TComponent* owner = OwnerComponent()) AppendWithSeparator(text, DescribeDrmError(0, owner));
  throw EListError(text);
}

}  // namespace dac
