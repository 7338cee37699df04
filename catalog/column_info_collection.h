#pragma once
// The columns of a table, read from the engine's catalog, with the place
// each column takes in a record buffer: one null-indicator byte, then the
// value, the columns one after another in catalog order.

#include <cstdint>
#include <string>

#include "catalog/drm_collection.h"

namespace dac {

class TDRMColumnInfo : public TCollectionItem {
 public:
  std::string ColumnName;
  uint32_t ColumnId = 0;
  // Low byte: DRM type; second byte: record-manager type.
  uint32_t ColTyp = 0;
  uint32_t cbMax = 0;
  // 0x04 required, 0x10 read-only, 0x20 updatable.
  uint32_t grBit = 0;
  uint16_t Scale = 0;
  uint16_t Precision = 0;
  uint32_t BaseTableId = 0;
  uint32_t ProcColType = 0;
  uint32_t ColSequenceID = 0;
  // Bytes in a record buffer, null indicator included.
  uint32_t BufferMax = 0;
  // Bytes of the value a field reads or writes.
  uint32_t RealDataSize = 0;
  // Position of the null indicator within the record data.
  uint32_t Offset = 0;

  // BufferMax and RealDataSize from ColTyp and cbMax.
  void ComputeSizes();
};

class TDRMColumnInfoCollection : public TDrmAbstractCollection {
 public:
  explicit TDRMColumnInfoCollection(TComponent* Owner);

  TDRMColumnInfo* Add() { return static_cast<TDRMColumnInfo*>(TCollection::Add()); }
  TDRMColumnInfo* Insert(int32_t Index) { return static_cast<TDRMColumnInfo*>(TCollection::Insert(Index)); }
  TDRMColumnInfo* FindItemID(int32_t ID) const { return static_cast<TDRMColumnInfo*>(TCollection::FindItemID(ID)); }
  TDRMColumnInfo* Items(int32_t Index) const { return static_cast<TDRMColumnInfo*>(TCollection::Items(Index)); }

  // The last column whose name equals Name exactly; null when none does.
  TDRMColumnInfo* FindItemName(const std::string& Name) const;
  // Fill with the columns of table handle TableId.
  void SetColumnInfo(int32_t SesID, uint32_t TableId);

  // The largest BufferMax, 0 without columns.
  uint32_t MaxColumnSize() const { return FMaxColumnSize; }
  void SetMaxColumnSize(uint32_t Value) { FMaxColumnSize = Value; }
  // True when every column is updatable (also without columns).
  bool CanModify();
  // The sum of all BufferMax.
  uint32_t RecordSize();

 private:
  uint32_t FMaxColumnSize = 0;
};

}  // namespace dac
