#pragma once
// TMemoryDataSet: a dataset over records held in memory. Define the columns
// with FieldDefs (or persistent fields), open it, and append, edit and
// delete records like any dataset. Bookmarks are record ids that stay valid
// while other records come and go. Filtering is by OnFilterRecord only;
// filter expressions are not understood here.
//
// Records keep their values across Close and Open as long as the column
// layout does not change.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/dataset.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

class TMemoryDataSet : public TDataSet {
 public:
  TMemoryDataSet() = default;

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  // Drops every record.
  void EmptyDataSet();
  // Records held, ignoring any filter.
  int32_t StoredRecordCount() const { return static_cast<int32_t>(FRows.size()); }
  // Adds a record after the last one in the store without touching the
  // record buffers or the cursor, as another user of shared storage would:
  // the dataset meets the record at its next fetch. Values go to the fields
  // in order, as with AppendRecord; the dataset must be open.
  void AppendStoredRecord(const std::vector<Variant>& Values);

  bool BookmarkValid(const TBookmark& Bookmark) override;
  int32_t CompareBookmarks(const TBookmark& B1, const TBookmark& B2) override;
  bool GetCurrentRecord(TRecordBuffer Buffer) override;
  bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                 const std::string& ResultFields) override;
  bool GetFieldData(TField* Field, void* Buffer) override;
  using TDataSet::GetFieldData;
  void SetFieldData(TField* Field, const void* Buffer) override;
  using TDataSet::SetFieldData;
  TFreePtr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  void SetFilterText(const std::string& Value) override;
  void SetFiltered(bool Value) override;
  void SetRecNo(int32_t Value) override;

  // ---- used by the blob streams ----------------------------------------
  // The record buffer that belongs to the current state, or null.
  TRecordBuffer GetActiveRecBuf();
  std::string& BlobOf(TRecordBuffer Buffer, TField* Field);
  void SetSlotPresent(TRecordBuffer Buffer, TField* Field, bool Present);

 protected:
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  bool IsCursorOpen() override { return FCursorOpen; }
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  uint16_t GetRecordSize() override { return static_cast<uint16_t>(FRecordSize); }
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void ClearCalcFields(TRecordBuffer Buffer) override;
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = static_cast<int32_t>(FRows.size()); }
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalGotoBookmark(const void* Bookmark) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  bool GetCanModify() override { return !FReadOnly; }
  int32_t GetRecordCount() override;
  int32_t GetRecNo() override;
  bool FindRecord(bool Restart, bool GoForward) override;

 private:
  struct TMemRow {
    uint32_t Id = 0;
    std::vector<uint8_t> Data;
    std::vector<std::string> Blobs;
  };
  struct TSlot {
    int32_t Offset = 0;  // null-indicator byte, then the value
    int32_t Size = 0;    // value bytes (0 for blobs)
    int32_t Blob = -1;   // blob ordinal, -1 for other columns
    TFieldType Type = ftUnknown;
  };

  void BuildLayout();
  const TSlot& SlotOf(TField* Field) const;
  void LoadRow(TRecordBuffer Buffer, int32_t Index);
  void StoreRow(TRecordBuffer Buffer, TMemRow& Row);
  bool Accept(TRecordBuffer Buffer);
  // Field reads and writes go to Buffer, in the filter state, until the
  // returned guard ends.
  auto FilterOn(TRecordBuffer Buffer) {
    TRecordBuffer saved = FFilterBuffer;
    TDataSetState old = SetTempState(dsFilter);
    FFilterBuffer = Buffer;
    return Finally([this, saved, old] {
      FFilterBuffer = saved;
      RestoreState(old);
    });
  }
  // Index of the record with that id (hint tried first), -1 when gone.
  int32_t IndexOfId(uint32_t Id, int32_t Hint) const;
  int32_t InsertRow(TRecordBuffer Buffer, bool Append);
  void CheckRequired(TRecordBuffer Buffer);
  int32_t FindRow(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  uint32_t& IdAt(TRecordBuffer Buffer) const;
  int32_t& HintAt(TRecordBuffer Buffer) const;
  int32_t& PoolAt(TRecordBuffer Buffer) const;

  bool FReadOnly = false;
  bool FCursorOpen = false;
  bool FFindMode = false;
  int32_t FCursor = -1;  // -1 before the first record, Count after the last
  uint32_t FNextId = 0;
  int64_t FNextAutoInc = 0;
  std::vector<std::unique_ptr<TMemRow>> FRows;
  std::vector<TSlot> FSlots;  // by FieldNo - 1
  std::vector<TSlot> FRowLayout;  // the layout the stored rows were written with
  int32_t FRecordSize = 0;
  int32_t FBlobCount = 0;
  int32_t FRecInfoOfs = 0;
  int32_t FRecBufSize = 0;
  std::vector<std::vector<std::string>> FBlobPool;
  std::vector<int32_t> FFreePool;
  TRecordBuffer FFilterBuffer = nullptr;
  TRecordBuffer FScanBuffer = nullptr;
  TRecordBuffer FOldBuffer = nullptr;
};

}  // namespace dac
