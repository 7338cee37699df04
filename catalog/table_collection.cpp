#include "catalog/table_collection.h"

#include "engine/drm.h"

namespace dac {

TDRMTableCollection::TDRMTableCollection(TComponent* Owner)
    : TDrmAbstractCollection(Owner, ItemClass<TDRMTableItem>()) {}

void TDRMTableCollection::SetTableNames(int32_t SesID, uint32_t DbsId) { Fill(SesID, DbsId, false); }

void TDRMTableCollection::SetStoredProcs(int32_t SesID, uint32_t DbsId) { Fill(SesID, DbsId, true); }

void TDRMTableCollection::Fill(int32_t SesID, uint32_t DbsId, bool Procedures) {
  uint32_t info[DRM_TABLEINFO_SIZE / 4] = {};
  const auto ses = static_cast<uint32_t>(SesID);
  auto call = [&]() -> int32_t {
    return Procedures ? RareGetDatabaseProcedureInfo(ses, DbsId, info, DRM_TABLEINFO_SIZE)
                      : RareGetDatabaseTableInfo(ses, DbsId, info, DRM_TABLEINFO_SIZE);
  };
  auto row = [&](uint32_t cursor) {
    TDRMTableItem* item = Add();
    item->TableName = ReadText(SesID, cursor, info[DRM_TI_NAME / 4]);
    ReadNumber(SesID, cursor, info[DRM_TI_TYPE / 4], &item->TableType, 4);
    ReadNumber(SesID, cursor, info[DRM_TI_FLAGS / 4], &item->Flags, 4);
  };
  // The result cursor is closed here too: the engine would otherwise keep
  // it until the database closes.
  Walk(SesID, info, DRM_TABLEINFO_SIZE, call, row, true);
}

}  // namespace dac
