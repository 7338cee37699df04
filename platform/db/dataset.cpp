#include "platform/db/dataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/db/binary_fields.h"
#include "platform/db/data_source.h"
#include "platform/db/date_time_fields.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/string_field.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

namespace {
constexpr int32_t kDefaultBufferCount = 10;
}  // namespace

TDataSet::TDataSet()
    : FFields(std::make_unique<TFields>(this)),
      FFieldDefs(std::make_unique<TFieldDefs>(this)),
      FConstraints(std::make_unique<TCheckConstraints>(this)) {}

TDataSet::~TDataSet() = default;

// ---- lifetime --------------------------------------------------------------------

void TDataSet::Shutdown() {
  auto close = [this] {
    // Whatever a failing close left behind must still go.
    Finally release([this] {
      ClearBuffers();
      SetBufListSize(0);
    });
    SetActive(false);
    release.Dismiss();
  };
  auto unlink = [this] {
    std::vector<TDataSource*> sources = FDataSources;
    FDataSources.clear();
    for (TDataSource* ds : sources) ds->DataSetFreed();
    // Fields of other owners stay behind unbound; our own go with our
    // components.
    for (TField* f : FFields->List()) f->FDataSet = nullptr;
    FFields->Clear();
    TComponent::Shutdown();
  };
  RunAll(close, unlink);
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  try {
    if (FStreamedActive) {
      FStreamedActive = false;
      SetActive(true);
    }
  } catch (...) {
    if (ComponentState().Contains(csDesigning))
      InternalHandleException();
    else
      throw;
  }
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

void TDataSet::InternalHandleException() { HandleDatabaseException(this); }

// ---- opening and closing ----------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (Value && FState == dsInactive) {
    if (ComponentState().Contains(csLoading)) {
      FStreamedActive = true;
      return;
    }
    DoBeforeOpen();
    FEnableEvent = deLayoutChange;
    FInternalCalcFields = false;
    // Completes the open, or closes the cursor again when it failed.
    Finally complete([this] {
      if (FState != dsOpening) OpenCursorComplete();
    });
    FDefaultFields = FieldCount() == 0;
    OpenCursor(false);
    complete.Run();
    FModified = false;
  } else if (!Value && FState != dsInactive) {
    DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    DoAfterClose();
    FModified = false;
  }
}

void TDataSet::OpenCursor(bool InfoQuery) {
  if (InfoQuery)
    InternalInitFieldDefs();
  else if (FState != dsOpening)
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  InternalOpen();
  FRecordCount = 0;
  RecalcBufListSize();
  FBOF = true;
  FEOF = FRecordCount == 0;
  // Complete only once the ring is filled: a failing first read closes the
  // cursor again instead of leaving a half-open dataset.
  FInternalOpenComplete = true;
}

void TDataSet::OpenCursorComplete() {
  if (FInternalOpenComplete) {
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::CloseCursor() {
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  InternalClose();
  FInternalOpenComplete = false;
}

void TDataSet::DoBeforeClose() {
  if (!ComponentState().Contains(csDestroying)) Fire(BeforeClose);
}

void TDataSet::DoAfterClose() {
  if (!ComponentState().Contains(csDestroying)) Fire(AfterClose);
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(dbmsg::SInactiveDataset, this);
}

void TDataSet::CheckInactive() {
  if (!Active()) return;
  TComponentState cs = ComponentState();
  if (cs.Contains(csUpdating) || cs.Contains(csDesigning))
    Close();
  else
    DatabaseError(dbmsg::SActiveDataset, this);
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
    return;
  }
  Finally close([this] { CloseCursor(); });
  OpenCursor(true);
  close.Run();
}

// ---- fields -------------------------------------------------------------------------

void TDataSet::AddField(TField* Field) { FFields->Add(Field); }
void TDataSet::RemoveField(TField* Field) { FFields->Remove(Field); }

TField* TDataSet::FieldByName(const std::string& FieldName) const { return FFields->FieldByName(FieldName); }

void TDataSet::SetFieldDefs(TFieldDefs* Value) { FFieldDefs->Assign(Value); }
void TDataSet::SetConstraints(TCheckConstraints* Value) { FConstraints->Assign(Value); }

TFieldClass TDataSet::GetFieldClass(TFieldType FieldType) {
  switch (FieldType) {
    case ftString:
    case ftFixedChar: return &MakeField<TStringField>;
    case ftWideString: return &MakeField<TWideStringField>;
    case ftSmallint: return &MakeField<TSmallintField>;
    case ftInteger: return &MakeField<TIntegerField>;
    case ftWord: return &MakeField<TWordField>;
    case ftAutoInc: return &MakeField<TAutoIncField>;
    case ftLargeint: return &MakeField<TLargeintField>;
    case ftBoolean: return &MakeField<TBooleanField>;
    case ftFloat: return &MakeField<TFloatField>;
    case ftCurrency: return &MakeField<TCurrencyField>;
    case ftBCD: return &MakeField<TBCDField>;
    case ftDate: return &MakeField<TDateField>;
    case ftTime: return &MakeField<TTimeField>;
    case ftDateTime: return &MakeField<TDateTimeField>;
    case ftBytes: return &MakeField<TBytesField>;
    case ftVarBytes: return &MakeField<TVarBytesField>;
    case ftBlob:
    case ftTypedBinary: return &MakeField<TBlobField>;
    case ftMemo:
    case ftFmtMemo: return &MakeField<TMemoField>;
    case ftGraphic: return &MakeField<TGraphicField>;
    default: return nullptr;
  }
}

void TDataSet::CreateFields() {
  for (int32_t i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* d = FFieldDefs->Items(i);
    if (d->DataType() != ftUnknown) d->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  std::vector<TField*> list = FFields->List();
  for (TField* f : list) {
    f->FDataSet = nullptr;
    FFields->Remove(f);
    f->Free();
  }
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FBlobFieldCount = 0;
  for (TField* f : FFields->List()) {
    f->SetFieldDef(nullptr);
    if (!Binding) {
      f->SetFieldNo(0);
    } else if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
      // Calculated values sit in the calculated-field area in field order,
      // each behind a byte that marks it present.
      f->SetFieldNo(-1);
      f->SetOffset(FCalcFieldsSize);
      FCalcFieldsSize += f->DataSize() + 1;
    } else {
      int32_t i = FFieldDefs->IndexOf(f->FieldName());
      if (i < 0) DatabaseErrorFmt(dbmsg::SFieldNotFound, this, f->FieldName());
      TFieldDef* d = FFieldDefs->Items(i);
      f->SetFieldDef(d);
      f->SetFieldNo(d->FieldNo());
      if (d->InternalCalcField()) FInternalCalcFields = true;
      if (f->IsBlob()) {
        f->SetSizeDirect(d->Size());
        f->SetOffset(FBlobFieldCount);
        ++FBlobFieldCount;
      }
    }
    f->Bind(Binding);
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* f : FFields->List()) f->FreeBuffers();
}

Variant TDataSet::FieldValues(const std::string& FieldNames) {
  std::vector<TField*> list;
  GetFieldList(list, FieldNames);
  if (list.size() > 1) {
    Variant r = VarArrayCreate(0, static_cast<int>(list.size()) - 1);
    for (size_t i = 0; i < list.size(); ++i) r.PutElement(static_cast<int>(i), list[i]->Value());
    return r;
  }
  return FieldByName(FieldNames)->Value();
}

void TDataSet::SetFieldValues(const std::string& FieldNames, const Variant& Value) {
  if (!Value.IsArray()) {
    FieldByName(FieldNames)->SetValue(Value);
    return;
  }
  std::vector<TField*> list;
  GetFieldList(list, FieldNames);
  int lo = Value.ArrayLowBound(), hi = Value.ArrayHighBound();
  if (list.size() == 1 && lo < hi) {
    list[0]->SetValue(Value);
    return;
  }
  if (static_cast<int>(list.size()) > hi - lo + 1)
    DatabaseErrorFmt("%d values given for %d fields", this, hi - lo + 1, static_cast<int64_t>(list.size()));
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetValue(Value.GetElement(lo + static_cast<int>(i)));
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
  if (FieldNames.empty()) return;
  int pos = 1;
  while (pos <= static_cast<int>(FieldNames.size())) {
    std::string n = ExtractFieldName(FieldNames, pos);
    List.push_back(FieldByName(n));
  }
}

void TDataSet::GetFieldNames(TStrings* List) const { FFields->GetFieldNames(List); }

std::unique_ptr<TIndexDefs> TDataSet::GetIndexDefs(TIndexDefs* IndexDefs, TIndexOptions Types) {
  IndexDefs->Update();
  auto result = std::make_unique<TIndexDefs>(this);
  result->Assign(IndexDefs);
  int32_t i = 0;
  while (i < result->Count()) {
    TIndexDef* d = result->Items(i);
    bool keep = (Types.Empty() && d->Options().Empty()) || !(Types * d->Options()).Empty();
    if (keep) {
      try {
        std::vector<TField*> list;
        GetFieldList(list, d->Fields());
      } catch (const EDatabaseError&) {
        keep = false;
      }
    }
    if (keep)
      ++i;
    else
      result->Delete(i);
  }
  return result;
}

// ---- field values ------------------------------------------------------------------

bool TDataSet::GetFieldData(TField* Field, void* Buffer, bool NativeFormat) {
  if (NativeFormat || Buffer == nullptr) return GetFieldData(Field, Buffer);
  // The slot form first, into zero-filled scratch with room to spare.
  size_t n = static_cast<size_t>(std::max(Field->DataSize(), 0)) + 8;
  uint8_t local[64];
  std::vector<uint8_t> big;
  uint8_t* scratch = local;
  if (n > sizeof(local)) {
    big.assign(n, 0);
    scratch = big.data();
  } else {
    std::memset(local, 0, sizeof(local));
  }
  bool result = GetFieldData(Field, scratch);
  if (result) DataConvert(Field, scratch, Buffer, false);
  return result;
}

void TDataSet::SetFieldData(TField* Field, const void* Buffer, bool NativeFormat) {
  if (NativeFormat || Buffer == nullptr) {
    SetFieldData(Field, Buffer);
    return;
  }
  size_t n = static_cast<size_t>(std::max(Field->DataSize(), 0)) + 8;
  uint8_t local[64];
  std::vector<uint8_t> big;
  uint8_t* scratch = local;
  if (n > sizeof(local)) {
    big.assign(n, 0);
    scratch = big.data();
  } else {
    std::memset(local, 0, sizeof(local));
  }
  DataConvert(Field, Buffer, scratch, true);
  SetFieldData(Field, scratch);
}

void TDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
  switch (Field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (ToNative) {
        TDateTime v;
        std::memcpy(&v, Source, sizeof v);
        TTimeStamp ts = DateTimeToTimeStamp(v);
        if (Field->DataType() == ftDate) {
          std::memcpy(Dest, &ts.Date, sizeof ts.Date);
        } else if (Field->DataType() == ftTime) {
          std::memcpy(Dest, &ts.Time, sizeof ts.Time);
        } else {
          double ms = TimeStampToMSecs(ts);
          std::memcpy(Dest, &ms, sizeof ms);
        }
      } else {
        TTimeStamp ts;
        if (Field->DataType() == ftDate) {
          std::memcpy(&ts.Date, Source, sizeof ts.Date);
        } else if (Field->DataType() == ftTime) {
          std::memcpy(&ts.Time, Source, sizeof ts.Time);
          ts.Date = DateDelta;
        } else {
          double ms;
          std::memcpy(&ms, Source, sizeof ms);
          ts = MSecsToTimeStamp(ms);
        }
        TDateTime v = 0;
        if (ts.Date >= 1 && ts.Time >= 0 && ts.Time < MSecsPerDay) v = TimeStampToDateTime(ts);
        std::memcpy(Dest, &v, sizeof v);
      }
      return;
    }
    case ftBCD: {
      if (ToNative) {
        Currency c;
        std::memcpy(&c.Value, Source, sizeof c.Value);
        int precision = 32;
        if (auto* f = dynamic_cast<TBCDField*>(Field); f != nullptr && f->Precision() > 0)
          precision = f->Precision();
        int decimals = std::clamp(Field->Size(), 0, 4);
        TBcd b;
        if (!CurrToBCD(c, b, precision, decimals))
          DatabaseErrorFmt("Value %s does not fit the precision of field '%s'", this, CurrToStr(c),
                           Field->DisplayName());
        std::memcpy(Dest, &b, sizeof b);
      } else {
        TBcd b;
        std::memcpy(&b, Source, sizeof b);
        Currency c = BCDToCurr(b);
        std::memcpy(Dest, &c.Value, sizeof c.Value);
      }
      return;
    }
    default:
      std::memcpy(Dest, Source, static_cast<size_t>(std::max(Field->DataSize(), 0)));
      return;
  }
}

Variant TDataSet::GetStateFieldValue(TDataSetState AState, TField* Field) {
  TDataSetState old = SetTempState(AState);
  Finally restore([this, old] { RestoreState(old); });
  return Field->AsVariant();
}

void TDataSet::SetStateFieldValue(TDataSetState AState, TField* Field, const Variant& Value) {
  TDataSetState old = SetTempState(AState);
  Finally restore([this, old] { RestoreState(old); });
  Field->SetAsVariant(Value);
}

TFreePtr<TStream> TDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  (void)Field;
  (void)Mode;
  return TFreePtr<TStream>();
}

// ---- state, events, controls --------------------------------------------------------

void TDataSet::SetState(TDataSetState Value) {
  if (Value == FState) return;
  FState = Value;
  if (Value == dsBrowse) FModified = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState old = FState;
  FState = Value;
  ++FDisableCount;
  return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
  if (FDisableCount > 0) --FDisableCount;
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deFieldChange) {
    auto* field = reinterpret_cast<TField*>(Info);
    if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) SetModified(true);
    if (FState != dsSetKey) {
      if (field->FieldKind() == fkData && FAutoCalcFields && (FCalcFieldsSize != 0 || FInternalCalcFields))
        CalculateFields(ActiveBuffer());
      field->Change();
    }
  } else if (Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
  if (!ControlsDisabled() && FState != dsBlockRead) {
    // A source may leave (or a new one register) while it handles the event.
    std::vector<TDataSource*> sources = FDataSources;
    for (TDataSource* ds : sources)
      if (std::find(FDataSources.begin(), FDataSources.end(), ds) != FDataSources.end())
        ds->ProcessEvent(Event, Info);
  }
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount > 0) --FDisableCount;
  if (FDisableCount == 0) {
    if (FState != FDisableState) DataEvent(deUpdateState, 0);
    if (FState != dsInactive && FDisableState != dsInactive) DataEvent(FEnableEvent, 0);
  }
}

void TDataSet::RegisterDataSource(TDataSource* DataSource) {
  FDataSources.push_back(DataSource);
  RecalcBufListSize();
}

void TDataSet::UnRegisterDataSource(TDataSource* DataSource) {
  auto it = std::find(FDataSources.begin(), FDataSources.end(), DataSource);
  if (it != FDataSources.end()) FDataSources.erase(it);
}

bool TDataSet::IsLinkedTo(TDataSource* DataSource) {
  // Walk the chain of masters; a chain longer than the number of datasets
  // that could take part would be a cycle already.
  for (int guard = 0; DataSource != nullptr && guard < 10000; ++guard) {
    TDataSet* ds = DataSource->DataSet();
    if (ds == nullptr) return false;
    if (ds == this) return true;
    DataSource = ds->GetDataSource();
  }
  return false;
}

void TDataSet::SetBlockReadSize(int32_t Value) {
  if (Value > 0) {
    CheckActive();
    FBlockReadSize = Value;
    SetState(dsBlockRead);
  } else {
    FBlockReadSize = 0;
    if (FState == dsBlockRead) SetState(dsBrowse);
  }
}

// ---- the ring -------------------------------------------------------------------------

TRecordBuffer TDataSet::ActiveBuffer() const {
  if (FActiveRecord < 0 || static_cast<size_t>(FActiveRecord) >= FBuffers.size()) return nullptr;
  return FBuffers[static_cast<size_t>(FActiveRecord)];
}

TRecordBuffer TDataSet::TempBuffer() const { return FBuffers.empty() ? nullptr : FBuffers.back(); }

TRecordBuffer TDataSet::AllocRecordBuffer() {
  return static_cast<TRecordBuffer>(std::calloc(std::max<size_t>(GetRecordSize(), 1), 1));
}

void TDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  std::free(Buffer);
  Buffer = nullptr;
}

void TDataSet::SetBufferCount(int32_t Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount && (FBuffers.empty() || RingSize() == Value)) return;
  FBufferCount = Value;
  if (FBuffers.empty()) return;
  int32_t old = RingSize();
  SetBufListSize(Value + 1);
  if (Value > old) {
    GetNextRecords();
    if (FRecordCount < RingSize()) {
      FActiveRecord += GetPriorRecords();
      CursorPosChanged();
    }
  }
}

void TDataSet::RecalcBufListSize() {
  if (!IsCursorOpen()) return;
  int32_t count = kDefaultBufferCount;
  for (TDataSource* ds : FDataSources)
    for (int32_t j = 0; j < ds->DataLinkCount(); ++j) count = std::max(count, ds->DataLinks(j)->BufferCount());
  if (count == FBufferCount && RingSize() == count) return;
  FBufferCount = count;
  SetBufListSize(count + 1);
  GetNextRecords();
  if (FRecordCount < RingSize()) {
    FActiveRecord += GetPriorRecords();
    CursorPosChanged();
  }
}

void TDataSet::SetBufListSize(int32_t Entries) {
  if (Entries < 0) Entries = 0;
  int32_t cur = static_cast<int32_t>(FBuffers.size());
  if (Entries > cur) {
    FBuffers.reserve(static_cast<size_t>(Entries));
    while (static_cast<int32_t>(FBuffers.size()) < Entries) {
      TRecordBuffer b = AllocRecordBuffer();
      FBuffers.push_back(b);
    }
  } else if (Entries < cur) {
    int32_t ring = Entries > 0 ? Entries - 1 : 0;
    // Keep the active record inside the smaller ring.
    if (ring > 0 && FRecordCount > 0 && FActiveRecord > ring - 1) {
      int32_t shift = FActiveRecord - (ring - 1);
      std::rotate(FBuffers.begin(), FBuffers.begin() + shift, FBuffers.begin() + FRecordCount);
      FRecordCount -= shift;
      FActiveRecord -= shift;
      if (FCurrentRecord >= 0) FCurrentRecord = FCurrentRecord >= shift ? FCurrentRecord - shift : -1;
    }
    for (int32_t i = cur - 1; i >= Entries; --i) {
      TRecordBuffer b = FBuffers[static_cast<size_t>(i)];
      FBuffers.pop_back();
      FreeRecordBuffer(b);
    }
  }
  int32_t ring = RingSize();
  if (FRecordCount > ring) FRecordCount = ring;
  if (FActiveRecord >= std::max(FRecordCount, 1)) FActiveRecord = std::max(FRecordCount - 1, 0);
  if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FBOF = false;
  FEOF = false;
  FActiveRecord = 0;
}

void TDataSet::ShiftBuffersBackward() {
  int32_t ring = RingSize();
  std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.begin() + ring + 1);
}

void TDataSet::ShiftBuffersForward() {
  int32_t ring = RingSize();
  std::rotate(FBuffers.begin(), FBuffers.begin() + ring, FBuffers.begin() + ring + 1);
}

void TDataSet::SetCurrentRecord(int32_t Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer b = FBuffers[static_cast<size_t>(Index)];
  switch (GetBookmarkFlag(b)) {
    case bfCurrent:
    case bfInserted: InternalSetToRecord(b); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  int32_t ring = RingSize();
  if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
  bool ok = GetRecord(FBuffers[static_cast<size_t>(ring)], gmNext, true) == grOK;
  if (ok) {
    if (FRecordCount == 0) ActivateBuffers();
    if (FRecordCount == ring) {
      ShiftBuffersBackward();
    } else {
      ++FRecordCount;
      FCurrentRecord = FRecordCount - 1;
      std::swap(FBuffers[static_cast<size_t>(FCurrentRecord)], FBuffers[static_cast<size_t>(ring)]);
    }
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  int32_t ring = RingSize();
  if (FRecordCount > 0) SetCurrentRecord(0);
  bool ok = GetRecord(FBuffers[static_cast<size_t>(ring)], gmPrior, true) == grOK;
  if (ok) {
    if (FRecordCount == 0) ActivateBuffers();
    ShiftBuffersForward();
    if (FRecordCount < ring) ++FRecordCount;
    FCurrentRecord = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int32_t TDataSet::GetNextRecords() {
  int32_t n = 0;
  while (FRecordCount < RingSize() && GetNextRecord()) ++n;
  return n;
}

int32_t TDataSet::GetPriorRecords() {
  int32_t n = 0;
  while (FRecordCount < RingSize() && GetPriorRecord()) ++n;
  return n;
}

// ---- navigation -------------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  Finally changed([this] {
    FBOF = true;
    DataEvent(deDataSetChange, 0);
  });
  InternalFirst();
  GetNextRecords();
  changed.Run();
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  Finally changed([this] {
    FEOF = true;
    DataEvent(deDataSetChange, 0);
  });
  InternalLast();
  GetPriorRecords();
  if (FRecordCount > 0) FActiveRecord = FRecordCount - 1;
  changed.Run();
  DoAfterScroll();
}

int32_t TDataSet::MoveBy(int32_t Distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if (Distance == 0 || (Distance > 0 && FEOF) || (Distance < 0 && FBOF)) return 0;
  int32_t moved = 0;
  int32_t scrolled = 0;  // ring shifts, reported to the links
  Finally finish([&] {
    DataEvent(deDataSetScroll, scrolled);
    DoAfterScroll();
  });
  if (Distance > 0) {
    FBOF = false;
    while (Distance > 0 && !FEOF) {
      if (FActiveRecord < FRecordCount - 1) {
        ++FActiveRecord;
        --Distance;
        ++moved;
      } else if (const bool full = FRecordCount == RingSize(); GetNextRecord()) {
        // A full ring shifts its buffers under the active slot; one with
        // room (a record appeared after the last one read) takes the
        // record into the next slot, and the active record moves onto it.
        if (full)
          --scrolled;
        else
          ++FActiveRecord;
        --Distance;
        ++moved;
      } else {
        FEOF = true;
      }
    }
  } else {
    FEOF = false;
    while (Distance < 0 && !FBOF) {
      if (FActiveRecord > 0) {
        --FActiveRecord;
        ++Distance;
        --moved;
      } else if (GetPriorRecord()) {
        ++Distance;
        ++scrolled;
        --moved;
      } else {
        FBOF = true;
      }
    }
  }
  finish.Run();
  return moved;
}

void TDataSet::Resync(TResyncMode Mode) {
  int32_t ring = RingSize();
  if (ring == 0) return;
  TRecordBuffer temp = FBuffers[static_cast<size_t>(ring)];
  // Read into the temporary buffer first: the ring stays intact until a
  // record has been found.
  if (GetRecord(temp, gmCurrent, false) != grOK) {
    if (Mode.Contains(rmExact)) DatabaseError(dbmsg::SRecordNotFound, this);
    if (GetRecord(temp, gmNext, false) != grOK && GetRecord(temp, gmPrior, false) != grOK) {
      ClearBuffers();
      DataEvent(deDataSetChange, 0);
      return;
    }
  }
  std::swap(FBuffers[0], FBuffers[static_cast<size_t>(ring)]);
  int32_t count = Mode.Contains(rmCenter) ? (ring - 1) / 2 : FActiveRecord;
  FCurrentRecord = 0;
  FEOF = false;
  FBOF = false;
  FRecordCount = 1;
  FActiveRecord = 0;
  int32_t i = 0;
  while (i < count && GetPriorRecord()) ++i;
  FActiveRecord = i;
  GetNextRecords();
  if (FRecordCount < ring) FActiveRecord += GetPriorRecords();
  DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  DoBeforeRefresh();
  UpdateCursorPos();
  InternalRefresh();
  Resync({});
  DoAfterRefresh();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

// ---- bookmarks ------------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() const {
  if (IsEmpty()) return false;
  if (FState != dsBrowse && FState != dsEdit && FState != dsInsert) return false;
  TRecordBuffer b = ActiveBuffer();
  return b != nullptr && const_cast<TDataSet*>(this)->GetBookmarkFlag(b) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable()) return {};
  TBookmark b(static_cast<size_t>(FBookmarkSize));
  GetBookmarkData(ActiveBuffer(), b.data());
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(Bookmark.data());
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

// ---- editing -------------------------------------------------------------------------

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::TryDoing(void (TDataSet::*Op)(), const TDataSetErrorEvent& OnError) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*Op)();
      return;
    } catch (EDatabaseError& E) {
      TDataAction action = daFail;
      if (OnError) OnError(this, E, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::OpenInsertSlot(bool DoAppend) {
  int32_t ring = RingSize();
  if (!DoAppend) {
    TBookmark before;
    bool hadRecords = FRecordCount > 0;
    if (hadRecords) {
      before.resize(static_cast<size_t>(FBookmarkSize));
      GetBookmarkData(ActiveBuffer(), before.data());
      // Move the records from the active one on by one slot; the last one
      // falls out of a full ring into the temporary buffer.
      std::rotate(FBuffers.begin() + FActiveRecord, FBuffers.begin() + ring, FBuffers.begin() + ring + 1);
    }
    InitRecord(ActiveBuffer());
    CursorPosChanged();
    if (!hadRecords) {
      SetBookmarkFlag(ActiveBuffer(), bfBOF);
    } else {
      FBOF = false;
      SetBookmarkData(ActiveBuffer(), before.data());
    }
    if (FRecordCount < ring) ++FRecordCount;
  } else {
    ClearBuffers();
    InternalLast();
    GetPriorRecords();
    if (FRecordCount > 0) FActiveRecord = FRecordCount - 1;
    if (FRecordCount == ring)
      ShiftBuffersBackward();
    else if (FRecordCount > 0)
      ++FActiveRecord;
    InitRecord(ActiveBuffer());
    CursorPosChanged();
    SetBookmarkFlag(ActiveBuffer(), bfEOF);
    if (FRecordCount < ring) ++FRecordCount;
  }
}

void TDataSet::DoInsertAppend(bool DoAppend) {
  BeginInsertAppend();
  OpenInsertSlot(DoAppend);
  InternalInsert();
  if (DoAppend) {
    FBOF = false;
    FEOF = true;
  }
  EndInsertAppend();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  {
    // A failing OnNewRecord drops the new record: staying in insert mode
    // over a resynced ring would post a copy of whatever record ended up
    // active.
    Finally abandon([this] { AbandonInsert(true); });
    DoOnNewRecord();
    abandon.Dismiss();
  }
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::AbandonInsert(bool CancelCursor) {
  if (CancelCursor) {
    UpdateCursorPos();
    InternalCancel();
  }
  FreeFieldBuffers();
  if (FRecordCount <= 1) {
    ClearBuffers();
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
  } else {
    SetState(dsBrowse);
    UpdateCursorPos();
    Resync({});
  }
}

void TDataSet::DoInsertAppendRecord(const std::vector<Variant>& Values, bool DoAppend) {
  BeginInsertAppend();
  OpenInsertSlot(DoAppend);
  if (DoAppend) {
    FBOF = false;
    FEOF = true;
  }
  {
    Finally abandon([this] { AbandonInsert(false); });
    SetState(dsInsert);
    SetFields(Values);
    DoBeforePost();
    InternalAddRecord(ActiveBuffer(), DoAppend);
    abandon.Dismiss();
  }
  CursorPosChanged();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
  DoAfterScroll();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  size_t n = std::min(Values.size(), static_cast<size_t>(FieldCount()));
  for (size_t i = 0; i < n; ++i) FFields->Fields(static_cast<int32_t>(i))->AssignValue(Values[i]);
}

void TDataSet::ClearFields() {
  if (!dsEditModes.Contains(FState)) DatabaseError(dbmsg::SNotEditing, this);
  DataEvent(deCheckBrowseMode, 0);
  FreeFieldBuffers();
  InternalInitRecord(ActiveBuffer());
  if (FState != dsSetKey) GetCalcFields(ActiveBuffer());
  DataEvent(deRecordChange, 0);
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  CheckBrowseMode();
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  if (FRecordCount == 0) {
    Append();
    return;
  }
  DoBeforeEdit();
  TryDoing(&TDataSet::InternalEdit, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::UpdateRecord() {
  if (!dsEditModes.Contains(FState)) DatabaseError(dbmsg::SNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforePost();
  TryDoing(&TDataSet::InternalPost, OnPostError);
  CursorPosChanged();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  if (FState == dsInsert && FRecordCount == 1) {
    ClearBuffers();
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
  } else {
    SetState(dsBrowse);
    Resync({});
  }
  DoAfterCancel();
}

void TDataSet::Delete() {
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (IsEmpty()) DatabaseError(dbmsg::SDataSetEmpty, this);
  if (!CanModify()) DatabaseError(dbmsg::SDataSetReadOnly, this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  TryDoing(&TDataSet::InternalDelete, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterDelete();
  DoAfterScroll();
}

// ---- calculated fields -----------------------------------------------------------------

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize > 0 || FInternalCalcFields) CalculateFields(Buffer);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  if (FState == dsInternalCalc) return;
  TDataSetState old = FState;
  FState = dsCalcFields;
  Finally restore([this, old] { FState = old; });
  ClearCalcFields(Buffer);
  for (TField* f : FFields->List())
    if (f->FieldKind() == fkLookup) f->CalcLookupValue();
  DoOnCalcFields();
}

void TDataSet::DoOnCalcFields() { Fire(OnCalcFields); }

// ---- provider support ---------------------------------------------------------------

std::unique_ptr<EUpdateError> TDataSet::PSGetUpdateException(const Exception& E, const EUpdateError* Prev) {
  return std::make_unique<EUpdateError>(E.Message(), "", 0, Prev != nullptr ? Prev->ErrorCode() : 0,
                                        E.Clone());
}

void TDataSet::PSEndTransaction(bool Commit) {
  (void)Commit;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
bool TDataSet::PSInTransaction() { DatabaseError(dbmsg::SProviderNotSupported, this); }
bool TDataSet::PSIsSQLBased() { DatabaseError(dbmsg::SProviderNotSupported, this); }
void TDataSet::PSStartTransaction() { DatabaseError(dbmsg::SProviderNotSupported, this); }
bool TDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  (void)UpdateKind;
  (void)Delta;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
std::string TDataSet::PSGetTableName() { DatabaseError(dbmsg::SProviderNotSupported, this); }
void TDataSet::PSSetCommandText(const std::string& CommandText) {
  (void)CommandText;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
void TDataSet::PSSetParams(TParams* Params) {
  (void)Params;
  DatabaseError(dbmsg::SProviderNotSupported, this);
}
std::string TDataSet::PSGetKeyFields() { DatabaseError(dbmsg::SProviderNotSupported, this); }
void TDataSet::PSExecute() { DatabaseError(dbmsg::SProviderNotSupported, this); }

}  // namespace dac
