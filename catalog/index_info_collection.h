#pragma once
// The index segments of a table, read from the engine's catalog: one item
// per segment, the segments of one index sharing its IndexName.

#include <cstdint>
#include <string>

#include "catalog/drm_collection.h"

namespace dac {

class TDRMIndexInfo : public TCollectionItem {
 public:
  std::string IndexName;
  // 0x1 unique, 0x2 primary, 0x10000 case-sensitive.
  uint32_t grBitIndex = 0;
  int32_t IndexedColumnNo = 0;
  uint32_t IndexedColumnId = 0;
  // 0x1 descending.
  uint32_t grBitColumn = 0;
  std::string IndexedColumnName;
};

class TDRMIndexInfoCollection : public TDrmAbstractCollection {
 public:
  explicit TDRMIndexInfoCollection(TComponent* Owner);

  TDRMIndexInfo* Add() { return static_cast<TDRMIndexInfo*>(TCollection::Add()); }
  TDRMIndexInfo* Insert(int32_t Index) { return static_cast<TDRMIndexInfo*>(TCollection::Insert(Index)); }
  TDRMIndexInfo* FindItemID(int32_t ID) const { return static_cast<TDRMIndexInfo*>(TCollection::FindItemID(ID)); }
  TDRMIndexInfo* Items(int32_t Index) const { return static_cast<TDRMIndexInfo*>(TCollection::Items(Index)); }

  // Fill with the segments of every index of table handle TableId.
  void SetIndexInfo(int32_t SesID, uint32_t TableId);

  // The number of distinct index names (compared without regard to case).
  int32_t IndexCount();
  // The Number-th distinct index name, 0 first; EListError when none.
  void GetIndexNameByNumber(int32_t Number, std::string& Name);
};

}  // namespace dac
