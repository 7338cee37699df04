#include "platform/db/binary_fields.h"

#include <cstring>

#include "platform/db/dataset.h"

namespace dac {

// ---- TBinaryField ----------------------------------------------------------------

TBytesField::TBytesField() {
  SetDataType(ftBytes);
  SetSizeDirect(16);
}

TVarBytesField::TVarBytesField() {
  SetDataType(ftVarBytes);
  SetSizeDirect(16);
}

void TBinaryField::CheckTypeSize(int32_t Value) const {
  if (Value < 1 || Value > 65535) DatabaseError(dbmsg::SInvalidFieldSize, DataSet());
}

std::string TBinaryField::GetAsString() {
  TBytes b = GetAsBytes();
  return std::string(b.begin(), b.end());
}

TBytes TBinaryField::GetAsBytes() { return TField::GetAsBytes(); }

Variant TBinaryField::GetAsVariant() {
  const uint8_t* buf = ReadNative();
  if (buf == nullptr) return Variant::Null();
  return Variant(TBytes(buf, buf + Size()));
}

void TBinaryField::SetAsBytes(const TBytes& V) {
  if (V.size() > static_cast<size_t>(Size()))
    DatabaseErrorFmt("Value of %d bytes does not fit field '%s' of %d bytes", DataSet(),
                     static_cast<int64_t>(V.size()), DisplayName(), Size());
  TField::SetAsBytes(V);
}

void TBinaryField::SetAsString(const std::string& V) { SetAsBytes(TBytes(V.begin(), V.end())); }

void TBinaryField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else
    SetAsBytes(V.AsBytes());
}

// ---- TBlobField ----------------------------------------------------------------

TBlobField::TBlobField() { SetDataType(ftBlob); }
TMemoField::TMemoField() { SetDataType(ftMemo); }
TGraphicField::TGraphicField() { SetDataType(ftGraphic); }

void TBlobField::SetBlobType(TFieldType Value) {
  switch (Value) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob: case ftWideMemo:
      SetDataType(Value);
      return;
    default:
      DatabaseErrorFmt("%s is not a blob type", DataSet(), FieldTypeName(Value));
  }
}

void TBlobField::CheckTypeSize(int32_t Value) const {
  if (Value < 0) DatabaseError(dbmsg::SInvalidFieldSize, DataSet());
}

TFreePtr<TStream> TBlobField::OpenStream(TBlobStreamMode Mode) {
  TFreePtr<TStream> s = CheckedDataSet()->CreateBlobStream(this, Mode);
  if (!s) DatabaseErrorFmt("Field '%s' offers no blob stream", DataSet(), DisplayName());
  return s;
}

bool TBlobField::GetIsNull() {
  if (!FModified) return !GetData(nullptr);
  return OpenStream(bmRead)->Size() == 0;
}

int64_t TBlobField::BlobSize() { return OpenStream(bmRead)->Size(); }

TBytes TBlobField::GetAsBytes() {
  TFreePtr<TStream> s = OpenStream(bmRead);
  int64_t n = s->Size();
  TBytes b(static_cast<size_t>(n));
  s->SetPosition(0);
  if (n > 0) s->ReadBuffer(b.data(), static_cast<int32_t>(n));
  return b;
}

std::string TBlobField::GetAsString() {
  TBytes b = GetAsBytes();
  return std::string(b.begin(), b.end());
}

Variant TBlobField::GetAsVariant() {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}

void TBlobField::GetText(std::string& Text, bool DisplayText) {
  if (DisplayText)
    Text = IsNull() ? "(blob)" : "(BLOB)";
  else
    Text = GetAsString();
}

void TMemoField::GetText(std::string& Text, bool DisplayText) {
  if (DisplayText)
    Text = IsNull() ? "(memo)" : "(MEMO)";
  else
    Text = GetAsString();
}

void TBlobField::SetAsBytes(const TBytes& V) {
  TFreePtr<TStream> s = OpenStream(bmWrite);
  if (!V.empty()) s->WriteBuffer(V.data(), static_cast<int32_t>(V.size()));
}

void TBlobField::SetAsString(const std::string& V) {
  TFreePtr<TStream> s = OpenStream(bmWrite);
  if (!V.empty()) s->WriteBuffer(V.data(), static_cast<int32_t>(V.size()));
}

void TBlobField::Clear() {
  // An empty write stream empties the value.
  OpenStream(bmWrite);
}

void TBlobField::SetAsVariant(const Variant& V) {
  if (V.IsClear())
    Clear();
  else if (V.IsArray())
    SetAsBytes(V.AsBytes());
  else
    SetAsString(V.AsString());
}

void TBlobField::LoadFromStream(TStream* Stream) {
  TFreePtr<TStream> s = OpenStream(bmWrite);
  s->CopyFrom(Stream, 0);
}

void TBlobField::SaveToStream(TStream* Stream) {
  TFreePtr<TStream> s = OpenStream(bmRead);
  Stream->CopyFrom(s.get(), 0);
}

}  // namespace dac
