#pragma once
// Byte fields and blob fields.
//
// Bytes and VarBytes keep Size bytes in the slot (no length prefix). Blob,
// memo and graphic fields keep nothing in the slot: their value goes
// through the dataset's blob streams.

#include <memory>

#include "platform/db/field.h"
#include "platform/rtl/streams.h"

namespace dac {

class TBinaryField : public TField {
 public:
  void SetAsString(const std::string& V) override;
  void SetAsBytes(const TBytes& V) override;
  void SetAsVariant(const Variant& V) override;

 protected:
  int32_t GetDataSize() const override { return Size(); }
  std::string GetAsString() override;
  TBytes GetAsBytes() override;
  Variant GetAsVariant() override;
  void CheckTypeSize(int32_t Value) const override;
};

class TBytesField : public TBinaryField {
 public:
  TBytesField();
};

class TVarBytesField : public TBinaryField {
 public:
  TVarBytesField();
};

class TBlobField : public TField {
 public:
  TBlobField();
  bool IsBlob() const override { return true; }
  // Set by a blob stream that wrote; cleared when the record is posted or
  // cancelled.
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  int64_t BlobSize();
  TFieldType BlobType() const { return DataType(); }
  void SetBlobType(TFieldType Value);
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream);
  void Clear() override;
  void SetAsString(const std::string& V) override;
  void SetAsBytes(const TBytes& V) override;
  void SetAsVariant(const Variant& V) override;
  void FreeBuffers() override { FModified = false; }

 protected:
  int32_t GetDataSize() const override { return 0; }
  bool GetIsNull() override;
  std::string GetAsString() override;
  TBytes GetAsBytes() override;
  Variant GetAsVariant() override;
  void GetText(std::string& Text, bool DisplayText) override;
  void CheckTypeSize(int32_t Value) const override;
  // The stream of the dataset; raises when the dataset offers none.
  TFreePtr<TStream> OpenStream(TBlobStreamMode Mode);

 private:
  bool FModified = false;
};

class TMemoField : public TBlobField {
 public:
  TMemoField();

 protected:
  void GetText(std::string& Text, bool DisplayText) override;
};

class TGraphicField : public TBlobField {
 public:
  TGraphicField();
};

}  // namespace dac
