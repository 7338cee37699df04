#include "catalog/column_info_collection.h"

#include <algorithm>

#include "engine/drm.h"

namespace dac {

namespace {
// A long value (record-manager type 21) is reported with this length
// whatever the engine says.
constexpr uint32_t kLongValueMax = 2000000000u;
}  // namespace

void TDRMColumnInfo::ComputeSizes() {
  const uint32_t t = DRM_COLTYP_DRM(ColTyp);
  const uint32_t h = DRM_COLTYP_RM(ColTyp);
  auto atLeast = [this](uint32_t n) { return std::max(cbMax, n); };
  switch (t) {
    case 1:
    case 2:
      BufferMax = atLeast(2) + 1;
      RealDataSize = 2;
      break;
    case 3:
      if (h == RM_TYPE_AUTOINC) {
        BufferMax = atLeast(4) + 1;
        RealDataSize = 4;
      } else {
        BufferMax = cbMax + 1;
        RealDataSize = cbMax;
      }
      break;
    case 6:
    case 7:
    case 8:
    case 101:
    case 102:
      BufferMax = atLeast(8) + 1;
      RealDataSize = 8;
      break;
    case 10:
      BufferMax = cbMax + 2;
      RealDataSize = cbMax + 1;
      break;
    case 11:
    case 12:
      BufferMax = 2;
      RealDataSize = 1;
      break;
    case 103:
      BufferMax = atLeast(34) + 1;
      RealDataSize = 34;
      break;
    case 104:
      BufferMax = cbMax + 3;
      RealDataSize = cbMax + 2;
      break;
    default:
      BufferMax = cbMax + 1;
      RealDataSize = cbMax;
      break;
  }
}

TDRMColumnInfoCollection::TDRMColumnInfoCollection(TComponent* Owner)
    : TDrmAbstractCollection(Owner, ItemClass<TDRMColumnInfo>()) {}

TDRMColumnInfo* TDRMColumnInfoCollection::FindItemName(const std::string& Name) const {
  for (int32_t i = Count() - 1; i >= 0; --i)
    if (Items(i)->ColumnName == Name) return Items(i);
  return nullptr;
}

void TDRMColumnInfoCollection::SetColumnInfo(int32_t SesID, uint32_t TableId) {
  uint32_t info[DRM_COLUMNINFO_SIZE / 4] = {};
  const auto ses = static_cast<uint32_t>(SesID);
  uint32_t offset = 0;
  FMaxColumnSize = 0;
  auto call = [&]() -> int32_t { return RareGetTableColumnInfo(ses, TableId, info, DRM_COLUMNINFO_SIZE); };
  auto row = [&](uint32_t cursor) {
    TDRMColumnInfo* c = Add();
    c->ColumnName = ReadText(SesID, cursor, info[DRM_CI_NAME / 4]);
    ReadNumber(SesID, cursor, info[DRM_CI_COLUMNID / 4], &c->ColumnId, 4);
    ReadNumber(SesID, cursor, info[DRM_CI_COLTYP / 4], &c->ColTyp, 4);
    ReadNumber(SesID, cursor, info[DRM_CI_CBMAX / 4], &c->cbMax, 4);
    if (DRM_COLTYP_RM(c->ColTyp) == RM_TYPE_BLOB) c->cbMax = kLongValueMax;
    ReadNumber(SesID, cursor, info[DRM_CI_GRBIT / 4], &c->grBit, 4);
    ReadNumber(SesID, cursor, info[DRM_CI_SCALE / 4], &c->Scale, 2);
    ReadNumber(SesID, cursor, info[DRM_CI_PRECISION / 4], &c->Precision, 2);
    ReadNumber(SesID, cursor, info[DRM_CI_BASETABLEID / 4], &c->BaseTableId, 4);
    ReadNumber(SesID, cursor, info[DRM_CI_PROCCOLTYPE / 4], &c->ProcColType, 4);
    ReadNumber(SesID, cursor, info[DRM_CI_SEQUENCEID / 4], &c->ColSequenceID, 4);
    c->ComputeSizes();
    c->Offset = offset;
    offset += c->BufferMax;
  };
  Walk(SesID, info, DRM_COLUMNINFO_SIZE, call, row, true);
  for (int32_t i = 0; i < Count(); ++i) FMaxColumnSize = std::max(FMaxColumnSize, Items(i)->BufferMax);
}

bool TDRMColumnInfoCollection::CanModify() {
  CheckFilled();
  for (int32_t i = 0; i < Count(); ++i)
    if ((Items(i)->grBit & DRM_COLFLAG_UPDATABLE) == 0) return false;
  return true;
}

uint32_t TDRMColumnInfoCollection::RecordSize() {
  CheckFilled();
  uint32_t size = 0;
  for (int32_t i = 0; i < Count(); ++i) size += Items(i)->BufferMax;
  return size;
}

}  // namespace dac
