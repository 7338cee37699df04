#include "platform/db/memory_dataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/db/binary_fields.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"

namespace dac {

namespace {

// Record info behind the calculated-field area: flag, pad, id, hint, pool.
constexpr int32_t kInfoFlag = 0;
constexpr int32_t kInfoId = 4;
constexpr int32_t kInfoHint = 8;
constexpr int32_t kInfoPool = 12;
constexpr int32_t kInfoSize = 16;

int32_t SlotSizeOf(TFieldType Type, int32_t Size) {
  switch (Type) {
    case ftString: case ftFixedChar: case ftWideString: return Size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: return 4;
    case ftLargeint: case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: return 8;
    case ftBCD: return static_cast<int32_t>(sizeof(TBcd));
    case ftBytes: case ftVarBytes: return Size;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftTypedBinary: return 0;
    default: return -1;
  }
}

bool IsBlobType(TFieldType Type) {
  return Type == ftBlob || Type == ftMemo || Type == ftGraphic || Type == ftFmtMemo || Type == ftTypedBinary;
}

// A stream over one blob value of one record buffer. Writing needs an edit
// state; the field hears of the change when the stream is freed.
class TMemoryBlobStream : public TStream {
 public:
  TMemoryBlobStream(TMemoryDataSet* DataSet, TBlobField* Field, TRecordBuffer Buffer, TBlobStreamMode Mode)
      : FDataSet(DataSet), FField(Field), FBuffer(Buffer), FMode(Mode) {
    if (Mode == bmWrite && FBuffer != nullptr) {
      FDataSet->BlobOf(FBuffer, FField).clear();
      FDataSet->SetSlotPresent(FBuffer, FField, false);
      FModified = true;
    }
  }

  int32_t Read(void* Buffer, int32_t Count) override {
    if (FBuffer == nullptr || Count <= 0) return 0;
    const std::string& s = FDataSet->BlobOf(FBuffer, FField);
    if (FPosition >= static_cast<int64_t>(s.size())) return 0;
    int32_t n = static_cast<int32_t>(std::min<int64_t>(Count, static_cast<int64_t>(s.size()) - FPosition));
    std::memcpy(Buffer, s.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
  }

  int32_t Write(const void* Buffer, int32_t Count) override {
    if (FMode == bmRead) throw EWriteError("Stream write error");
    if (FBuffer == nullptr || Count <= 0) return 0;
    std::string& s = FDataSet->BlobOf(FBuffer, FField);
    size_t end = static_cast<size_t>(FPosition) + static_cast<size_t>(Count);
    if (s.size() < end) s.resize(end, '\0');
    std::memcpy(s.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition += Count;
    FDataSet->SetSlotPresent(FBuffer, FField, true);
    FModified = true;
    return Count;
  }

  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    int64_t size = FBuffer != nullptr ? static_cast<int64_t>(FDataSet->BlobOf(FBuffer, FField).size()) : 0;
    int64_t p = Origin == soBeginning ? Offset : Origin == soCurrent ? FPosition + Offset : size + Offset;
    if (p < 0) throw EStreamError("Invalid stream position");
    FPosition = p;
    return p;
  }

  void SetSize(int64_t NewSize) override {
    if (FMode == bmRead) throw EWriteError("Stream write error");
    if (FBuffer == nullptr) return;
    FDataSet->BlobOf(FBuffer, FField).resize(static_cast<size_t>(NewSize), '\0');
    FDataSet->SetSlotPresent(FBuffer, FField, NewSize > 0);
    FModified = true;
  }

  void BeforeDestruction() override {
    TStream::BeforeDestruction();
    if (FModified) {
      FField->SetModified(true);
      TDataSetState s = FDataSet->State();
      if (s != dsCalcFields && s != dsFilter && s != dsNewValue)
        FDataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
    }
  }

 private:
  TMemoryDataSet* FDataSet;
  TBlobField* FField;
  TRecordBuffer FBuffer;
  TBlobStreamMode FMode;
  int64_t FPosition = 0;
  bool FModified = false;
};

}  // namespace

// ---- layout and buffers ------------------------------------------------------------

uint32_t& TMemoryDataSet::IdAt(TRecordBuffer Buffer) const {
  return *reinterpret_cast<uint32_t*>(Buffer + FRecInfoOfs + kInfoId);
}
int32_t& TMemoryDataSet::HintAt(TRecordBuffer Buffer) const {
  return *reinterpret_cast<int32_t*>(Buffer + FRecInfoOfs + kInfoHint);
}
int32_t& TMemoryDataSet::PoolAt(TRecordBuffer Buffer) const {
  return *reinterpret_cast<int32_t*>(Buffer + FRecInfoOfs + kInfoPool);
}

void TMemoryDataSet::BuildLayout() {
  FSlots.clear();
  FRecordSize = 0;
  FBlobCount = 0;
  for (int32_t i = 0; i < FieldDefs()->Count(); ++i) {
    TFieldDef* d = FieldDefs()->Items(i);
    int32_t size = SlotSizeOf(d->DataType(), d->Size());
    if (size < 0) DatabaseErrorFmt(dbmsg::SFieldTypeNotSupported, this, FieldTypeName(d->DataType()));
    TSlot s;
    s.Offset = FRecordSize;
    s.Size = size;
    s.Type = d->DataType();
    if (IsBlobType(d->DataType())) s.Blob = FBlobCount++;
    FSlots.push_back(s);
    FRecordSize += 1 + size;
  }
  // Keep the values 8-byte aligned for the record info behind them.
  FRecordSize = (FRecordSize + 7) & ~7;
}

const TMemoryDataSet::TSlot& TMemoryDataSet::SlotOf(TField* Field) const {
  int32_t no = Field->FieldNo();
  if (no < 1 || no > static_cast<int32_t>(FSlots.size())) DatabaseError(dbmsg::SFieldIndexError, this);
  return FSlots[static_cast<size_t>(no - 1)];
}

TRecordBuffer TMemoryDataSet::AllocRecordBuffer() {
  auto* b = static_cast<TRecordBuffer>(std::calloc(static_cast<size_t>(FRecBufSize), 1));
  if (b == nullptr) throw EOutOfMemory("Out of memory");
  int32_t slot;
  if (!FFreePool.empty()) {
    slot = FFreePool.back();
    FFreePool.pop_back();
  } else {
    slot = static_cast<int32_t>(FBlobPool.size());
    FBlobPool.emplace_back();
  }
  FBlobPool[static_cast<size_t>(slot)].assign(static_cast<size_t>(FBlobCount), std::string());
  PoolAt(b) = slot;
  return b;
}

void TMemoryDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (Buffer == nullptr) return;
  int32_t slot = PoolAt(Buffer);
  FBlobPool[static_cast<size_t>(slot)].clear();
  FFreePool.push_back(slot);
  std::free(Buffer);
  Buffer = nullptr;
}

std::string& TMemoryDataSet::BlobOf(TRecordBuffer Buffer, TField* Field) {
  const TSlot& s = SlotOf(Field);
  if (s.Blob < 0) DatabaseErrorFmt("Field '%s' is not a blob field", this, Field->DisplayName());
  return FBlobPool[static_cast<size_t>(PoolAt(Buffer))][static_cast<size_t>(s.Blob)];
}

void TMemoryDataSet::SetSlotPresent(TRecordBuffer Buffer, TField* Field, bool Present) {
  Buffer[SlotOf(Field).Offset] = Present ? 1 : 0;
}

void TMemoryDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, static_cast<size_t>(FRecordSize));
  for (std::string& s : FBlobPool[static_cast<size_t>(PoolAt(Buffer))]) s.clear();
}

void TMemoryDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + FRecordSize, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TMemoryDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  std::memcpy(Data, &IdAt(Buffer), sizeof(uint32_t));
}

void TMemoryDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  if (Data != nullptr) std::memcpy(&IdAt(Buffer), Data, sizeof(uint32_t));
}

TBookmarkFlag TMemoryDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[FRecInfoOfs + kInfoFlag]);
}

void TMemoryDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[FRecInfoOfs + kInfoFlag] = Value;
}

void TMemoryDataSet::LoadRow(TRecordBuffer Buffer, int32_t Index) {
  const TMemRow& row = *FRows[static_cast<size_t>(Index)];
  std::memcpy(Buffer, row.Data.data(), static_cast<size_t>(FRecordSize));
  if (FBlobCount > 0) FBlobPool[static_cast<size_t>(PoolAt(Buffer))] = row.Blobs;
  SetBookmarkFlag(Buffer, bfCurrent);
  IdAt(Buffer) = row.Id;
  HintAt(Buffer) = Index;
}

void TMemoryDataSet::StoreRow(TRecordBuffer Buffer, TMemRow& Row) {
  Row.Data.assign(Buffer, Buffer + FRecordSize);
  if (FBlobCount > 0) Row.Blobs = FBlobPool[static_cast<size_t>(PoolAt(Buffer))];
}

int32_t TMemoryDataSet::IndexOfId(uint32_t Id, int32_t Hint) const {
  if (Hint >= 0 && Hint < static_cast<int32_t>(FRows.size()) && FRows[static_cast<size_t>(Hint)]->Id == Id)
    return Hint;
  for (size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i]->Id == Id) return static_cast<int32_t>(i);
  return -1;
}

// ---- open and close ------------------------------------------------------------------

void TMemoryDataSet::InternalInitFieldDefs() {
  // The definitions are the application's; with none, persistent data
  // fields describe the columns.
  if (FieldDefs()->Count() > 0) return;
  for (TField* f : Fields()->List())
    if (f->FieldKind() == fkData) FieldDefs()->Add(f->FieldName(), f->DataType(), f->Size(), f->Required());
}

void TMemoryDataSet::InternalOpen() {
  InternalInitFieldDefs();
  BuildLayout();
  auto sameLayout = [&] {
    if (FRowLayout.size() != FSlots.size()) return false;
    for (size_t i = 0; i < FSlots.size(); ++i)
      if (FRowLayout[i].Offset != FSlots[i].Offset || FRowLayout[i].Size != FSlots[i].Size ||
          FRowLayout[i].Type != FSlots[i].Type)
        return false;
    return true;
  };
  if (!sameLayout()) FRows.clear();
  FRowLayout = FSlots;
  if (DefaultFields()) CreateFields();
  {
    Finally dropDefaultFields([this] {
      if (DefaultFields()) DestroyFields();
    });
    BindFields(true);
    dropDefaultFields.Dismiss();
  }
  FRecInfoOfs = (FRecordSize + CalcFieldsSize() + 7) & ~7;
  FRecBufSize = FRecInfoOfs + kInfoSize;
  SetBookmarkSize(sizeof(uint32_t));
  if (Filtered() && !Filter().empty()) {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    DatabaseError("Filter expressions are not supported by this dataset", this);
  }
  FScanBuffer = AllocRecordBuffer();
  FOldBuffer = AllocRecordBuffer();
  FCursor = -1;
  FCursorOpen = true;
}

void TMemoryDataSet::InternalClose() {
  if (FScanBuffer != nullptr) FreeRecordBuffer(FScanBuffer);
  if (FOldBuffer != nullptr) FreeRecordBuffer(FOldBuffer);
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FCursorOpen = false;
  FCursor = -1;
  FBlobPool.clear();
  FFreePool.clear();
}

void TMemoryDataSet::EmptyDataSet() {
  if (!Active()) {
    FRows.clear();
    return;
  }
  CheckBrowseMode();
  FRows.clear();
  First();
}

// ---- reading -----------------------------------------------------------------------

bool TMemoryDataSet::Accept(TRecordBuffer Buffer) {
  if (!(Filtered() || FFindMode) || !OnFilterRecord()) return true;
  bool accept = true;
  auto filtering = FilterOn(Buffer);
  OnFilterRecord()(this, accept);
  return accept;
}

TGetResult TMemoryDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  (void)DoCheck;
  const int32_t n = static_cast<int32_t>(FRows.size());
  for (;;) {
    switch (GetMode) {
      case gmCurrent:
        if (FCursor < 0 || FCursor >= n) return grError;
        break;
      case gmNext:
        if (FCursor < n) ++FCursor;
        if (FCursor >= n) {
          FCursor = n;
          return grEOF;
        }
        break;
      case gmPrior:
        if (FCursor >= 0) --FCursor;
        if (FCursor < 0) {
          FCursor = -1;
          return grBOF;
        }
        break;
    }
    LoadRow(Buffer, FCursor);
    GetCalcFields(Buffer);
    if (Accept(Buffer)) return grOK;
    if (GetMode == gmCurrent) return grError;
  }
}

TRecordBuffer TMemoryDataSet::GetActiveRecBuf() {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
      return CalcBuffer();
    case dsFilter:
      return FFilterBuffer;
    case dsOldValue:
    case dsCurValue: {
      TRecordBuffer a = ActiveBuffer();
      if (a == nullptr || IsEmpty() || GetBookmarkFlag(a) != bfCurrent) return nullptr;
      int32_t i = IndexOfId(IdAt(a), HintAt(a));
      if (i < 0) return nullptr;
      LoadRow(FOldBuffer, i);
      ClearCalcFields(FOldBuffer);
      return FOldBuffer;
    }
    default:
      return nullptr;
  }
}

bool TMemoryDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer rec = GetActiveRecBuf();
  if (rec == nullptr) return false;
  const uint8_t* p;
  size_t size;
  if (Field->FieldNo() > 0) {
    const TSlot& s = SlotOf(Field);
    p = rec + s.Offset;
    size = static_cast<size_t>(std::min(s.Size, Field->DataSize()));
  } else if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
    p = rec + FRecordSize + Field->Offset();
    size = static_cast<size_t>(Field->DataSize());
  } else {
    return false;
  }
  if (p[0] == 0) return false;
  if (Buffer != nullptr) std::memcpy(Buffer, p + 1, size);
  return true;
}

void TMemoryDataSet::SetFieldData(TField* Field, const void* Buffer) {
  TDataSetState st = State();
  if (!dsWriteModes.Contains(st)) DatabaseError(dbmsg::SNotEditing, this);
  TRecordBuffer rec = GetActiveRecBuf();
  if (rec == nullptr) DatabaseError(dbmsg::SNotEditing, this);
  if (Field->ReadOnly() && (st == dsEdit || st == dsInsert))
    DatabaseErrorFmt(dbmsg::SFieldReadOnly, this, Field->DisplayName());
  if (st == dsEdit || st == dsInsert) Field->Validate(Buffer);
  uint8_t* p;
  size_t size;
  if (Field->FieldNo() > 0) {
    const TSlot& s = SlotOf(Field);
    p = rec + s.Offset;
    size = static_cast<size_t>(std::min(s.Size, Field->DataSize()));
  } else if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
    p = rec + FRecordSize + Field->Offset();
    size = static_cast<size_t>(Field->DataSize());
  } else {
    DatabaseErrorFmt(dbmsg::SFieldReadOnly, this, Field->DisplayName());
  }
  if (Buffer != nullptr) {
    p[0] = 1;
    std::memcpy(p + 1, Buffer, size);
  } else {
    std::memset(p, 0, size + 1);
  }
  if (st != dsCalcFields && st != dsInternalCalc && st != dsFilter && st != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

TFreePtr<TStream> TMemoryDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (blob == nullptr || Field->FieldNo() < 1)
    DatabaseErrorFmt("Field '%s' is not a blob field", this, Field->DisplayName());
  if (Mode != bmRead) {
    if (!dsWriteModes.Contains(State())) DatabaseError(dbmsg::SNotEditing, this);
    if (Field->ReadOnly() && (State() == dsEdit || State() == dsInsert))
      DatabaseErrorFmt(dbmsg::SFieldReadOnly, this, Field->DisplayName());
  }
  return TFreePtr<TStream>(new TMemoryBlobStream(this, blob, GetActiveRecBuf(), Mode));
}

// ---- positioning -----------------------------------------------------------------------

void TMemoryDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  int32_t i = IndexOfId(IdAt(Buffer), HintAt(Buffer));
  if (i >= 0) FCursor = i;
}

void TMemoryDataSet::InternalGotoBookmark(const void* Bookmark) {
  uint32_t id;
  std::memcpy(&id, Bookmark, sizeof id);
  int32_t i = IndexOfId(id, -1);
  if (i < 0) DatabaseError(dbmsg::SRecordNotFound, this);
  FCursor = i;
}

bool TMemoryDataSet::BookmarkValid(const TBookmark& Bookmark) {
  if (Bookmark.size() != sizeof(uint32_t) || !FCursorOpen) return false;
  uint32_t id;
  std::memcpy(&id, Bookmark.data(), sizeof id);
  return IndexOfId(id, -1) >= 0;
}

int32_t TMemoryDataSet::CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
  if (B1.empty() || B2.empty()) return B1.empty() ? (B2.empty() ? 0 : -1) : 1;
  uint32_t a, b;
  std::memcpy(&a, B1.data(), sizeof a);
  std::memcpy(&b, B2.data(), sizeof b);
  if (a == b) return 0;
  int32_t ia = IndexOfId(a, -1), ib = IndexOfId(b, -1);
  if (ia >= 0 && ib >= 0) return ia < ib ? -1 : 1;
  return a < b ? -1 : 1;
}

bool TMemoryDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  return GetRecord(Buffer, gmCurrent, false) == grOK;
}

int32_t TMemoryDataSet::GetRecordCount() {
  if (!(Filtered() && OnFilterRecord())) return static_cast<int32_t>(FRows.size());
  int32_t count = 0;
  for (int32_t i = 0; i < static_cast<int32_t>(FRows.size()); ++i) {
    LoadRow(FScanBuffer, i);
    GetCalcFields(FScanBuffer);
    if (Accept(FScanBuffer)) ++count;
  }
  return count;
}

int32_t TMemoryDataSet::GetRecNo() {
  CheckActive();
  // 0 is "no record number": an empty dataset, or a record not posted yet.
  if (State() == dsInsert) return 0;
  TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (b == nullptr || IsEmpty() || GetBookmarkFlag(b) != bfCurrent) return 0;
  int32_t i = IndexOfId(IdAt(b), HintAt(b));
  if (i < 0) return 0;
  if (!(Filtered() && OnFilterRecord())) return i + 1;
  int32_t n = 0;
  for (int32_t k = 0; k <= i; ++k) {
    LoadRow(FScanBuffer, k);
    GetCalcFields(FScanBuffer);
    if (Accept(FScanBuffer)) ++n;
  }
  return n;
}

void TMemoryDataSet::SetRecNo(int32_t Value) {
  CheckBrowseMode();
  int32_t target = -1;
  int32_t seen = 0;
  for (int32_t i = 0; i < static_cast<int32_t>(FRows.size()) && target < 0; ++i) {
    if (Filtered() && OnFilterRecord()) {
      LoadRow(FScanBuffer, i);
      GetCalcFields(FScanBuffer);
      if (!Accept(FScanBuffer)) continue;
    }
    if (++seen == Value) target = i;
  }
  if (target < 0) DatabaseErrorFmt("Record number %d is out of range", this, Value);
  DoBeforeScroll();
  FCursor = target;
  Resync({rmCenter});
  DoAfterScroll();
}

// ---- writing ---------------------------------------------------------------------------

void TMemoryDataSet::CheckRequired(TRecordBuffer Buffer) {
  for (TField* f : Fields()->List()) {
    if (f->FieldKind() != fkData || !f->Required() || f->DataType() == ftAutoInc || f->FieldNo() < 1) continue;
    if (Buffer[SlotOf(f).Offset] == 0) DatabaseErrorFmt(dbmsg::SFieldRequired, this, f->DisplayName());
  }
}

int32_t TMemoryDataSet::InsertRow(TRecordBuffer Buffer, bool Append) {
  // Auto-increment columns take the next number unless a value was given.
  for (const TSlot& s : FSlots) {
    if (s.Type != ftAutoInc) continue;
    if (Buffer[s.Offset] != 0) {
      int32_t v;
      std::memcpy(&v, Buffer + s.Offset + 1, sizeof v);
      FNextAutoInc = std::max<int64_t>(FNextAutoInc, v);
    } else {
      int32_t v = static_cast<int32_t>(++FNextAutoInc);
      Buffer[s.Offset] = 1;
      std::memcpy(Buffer + s.Offset + 1, &v, sizeof v);
    }
  }
  CheckRequired(Buffer);
  int32_t at = static_cast<int32_t>(FRows.size());
  TBookmarkFlag flag = GetBookmarkFlag(Buffer);
  if (!Append && flag == bfInserted) {
    int32_t i = IndexOfId(IdAt(Buffer), HintAt(Buffer));
    if (i >= 0) at = i;
  } else if (!Append && flag == bfBOF) {
    at = 0;
  }
  auto row = std::make_unique<TMemRow>();
  row->Id = ++FNextId;
  StoreRow(Buffer, *row);
  FRows.insert(FRows.begin() + at, std::move(row));
  FCursor = at;
  return at;
}

void TMemoryDataSet::AppendStoredRecord(const std::vector<Variant>& Values) {
  CheckActive();
  // The values are written into the scan buffer in the filter state, which
  // reads and writes that buffer without events or edit checks.
  InternalInitRecord(FScanBuffer);
  SetBookmarkFlag(FScanBuffer, bfEOF);
  // A cursor after the last record stays after it.
  const bool afterLast = FCursor >= static_cast<int32_t>(FRows.size());
  const int32_t cursor = FCursor;
  Finally keepCursor([&] { FCursor = afterLast ? static_cast<int32_t>(FRows.size()) : cursor; });
  auto filtering = FilterOn(FScanBuffer);
  SetFields(Values);
  InsertRow(FScanBuffer, true);
}

void TMemoryDataSet::InternalPost() {
  TRecordBuffer rec = ActiveBuffer();
  if (State() == dsEdit) {
    CheckRequired(rec);
    int32_t i = IndexOfId(IdAt(rec), HintAt(rec));
    if (i < 0) DatabaseError(dbmsg::SRecordNotFound, this);
    StoreRow(rec, *FRows[static_cast<size_t>(i)]);
    FCursor = i;
  } else {
    InsertRow(rec, GetBookmarkFlag(rec) == bfEOF);
  }
}

void TMemoryDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) { InsertRow(Buffer, Append); }

void TMemoryDataSet::InternalDelete() {
  TRecordBuffer rec = ActiveBuffer();
  int32_t i = IndexOfId(IdAt(rec), HintAt(rec));
  if (i < 0) DatabaseError(dbmsg::SRecordNotFound, this);
  FRows.erase(FRows.begin() + i);
  // The cursor now stands on the record that followed.
  FCursor = i;
}

}  // namespace dac
