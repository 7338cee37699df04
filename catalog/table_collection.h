#pragma once
// The tables or stored procedures of a database, read from the engine's
// catalog.

#include <cstdint>
#include <string>

#include "catalog/drm_collection.h"

namespace dac {

// One table or stored procedure.
class TDRMTableItem : public TCollectionItem {
 public:
  std::string TableName;
  uint32_t TableType = 0;
  // 0x80000000 marks a system table.
  uint32_t Flags = 0;
};

class TDRMTableCollection : public TDrmAbstractCollection {
 public:
  explicit TDRMTableCollection(TComponent* Owner);

  TDRMTableItem* Add() { return static_cast<TDRMTableItem*>(TCollection::Add()); }
  TDRMTableItem* Insert(int32_t Index) { return static_cast<TDRMTableItem*>(TCollection::Insert(Index)); }
  TDRMTableItem* FindItemID(int32_t ID) const { return static_cast<TDRMTableItem*>(TCollection::FindItemID(ID)); }
  TDRMTableItem* Items(int32_t Index) const { return static_cast<TDRMTableItem*>(TCollection::Items(Index)); }

  // Fill with the tables, or the stored procedures, of database DbsId.
  void SetTableNames(int32_t SesID, uint32_t DbsId);
  void SetStoredProcs(int32_t SesID, uint32_t DbsId);

 private:
  void Fill(int32_t SesID, uint32_t DbsId, bool Procedures);
};

}  // namespace dac
