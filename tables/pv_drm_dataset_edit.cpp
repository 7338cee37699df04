// TPvDrmDataSet: writing field data and the record-editing operations.
//
// The engine edits one pending row per table handle: RareInitUpdate opens it
// (mode 0 a new row holding the columns' initial values, mode 2 the current
// row), RareSetColumn fills it, RareUpdateRecord writes it and
// RareCancelUpdate drops it. A failed write leaves the pending row as it was,
// so a post that fails keeps the record in edit state with the user's values
// and can be tried again or cancelled.
#include "tables/pv_drm_dataset.h"

#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>
#include <limits>

#include "catalog/drm_misc.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/text.h"
#include "sessions/session.h"
#include "tables/pv_drm_dataset_internal.h"

namespace dac {

using namespace drmdataset;

namespace {

// Process-wide, shared by every DRM dataset (one thread uses the layer): the
// end-of-data flag of the dataset that posted last, and the mark that a
// Post is posting a key buffer.
bool gPostedAtEnd = false;
bool gPostGuard = false;

template <class T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Day numbers (0001-01-01 = 1) the engine's date forms can hold.
constexpr int32_t kFirstDay = 1;
int32_t LastDay() {
  static const int32_t last = [] {
    TDateTime d = 0;
    TryEncodeDate(9999, 12, 31, d);
    return static_cast<int32_t>(d) + DateDelta;
  }();
  return last;
}

// "999.99" for a decimal of precision 5 and scale 2.
std::string DecimalLimit(int32_t Precision, int32_t Scale) {
  std::string s(static_cast<size_t>(std::max(Precision - Scale, 1)), '9');
  if (Scale > 0) s += DefaultFormatSettings().DecimalSeparator + std::string(static_cast<size_t>(Scale), '9');
  return s;
}

// Digits before the decimal separator of a decimal text.
int32_t IntegerDigits(const std::string& Text) {
  int32_t n = 0;
  bool leading = true;
  for (char ch : Text) {
    if (ch == DefaultFormatSettings().DecimalSeparator) break;
    if (ch < '0' || ch > '9') continue;
    if (leading && ch == '0') continue;
    leading = false;
    ++n;
  }
  return n;
}

}  // namespace

// ---- the cursor operations of the core ---------------------------------------------------

bool TPvDrmDataSet::HasCalculatedText() const {
  for (TField* f : Fields()->List())
    if (f->FieldKind() == fkCalculated && f->DataType() == ftString) return true;
  return false;
}

void TPvDrmDataSet::PvInternalEdit() {
  TTraceScope trace(TraceEdit, kTraceEdit, "TPvDrmDataSet.PvInternalEdit");
  THourGlass hourglass(GetDBSession());
  const uint32_t S = SesHandle();
  if (DrmMiscGetRecord(S, FHandle, FColumns.get(), ActiveBuffer()) != 0) PvDatabaseError(this, dbmsg::SRecordNotFound);
  CheckStatus(RareInitUpdate(S, FHandle, DRM_INITUPD_CURRENT));
  // An edit that does not get to its end releases the record it opened:
  // the framework stays in browse mode and would never cancel it.
  Finally release([this, S] { (void)RareCancelUpdate(S, FHandle); });
  const bool calculatedText = HasCalculatedText();
  if (calculatedText) (void)RareInitUpdate(S, FHandle, DRM_INITUPD_KEEP);
  // Read again under the record's lock: what the user edits is what the
  // conditional write of the post compares with.
  CheckStatus(DrmMiscGetRecord(S, FHandle, FColumns.get(), ActiveBuffer()));
  if (FApplyRangeCalled || calculatedText) {
    FApplyRangeCalled = false;
    if (!gPostedAtEnd && !(FEOF && FLastRecord)) Resync(TResyncMode{rmExact});
  }
  release.Dismiss();
  FEditing = true;
}

void TPvDrmDataSet::PvInternalInsert() {
  THourGlass hourglass(GetDBSession());
  const uint32_t S = SesHandle();
  const int32_t s = RareInitUpdate(S, FHandle, DRM_INITUPD_NEW);
  if (s == kNoInsertPossible) return;
  CheckStatus(s);
  // The new record starts with the engine's initial values of its columns.
  Finally drop([this, S] { (void)RareCancelUpdate(S, FHandle); });
  CheckStatus(DrmMiscGetRecord(S, FHandle, FColumns.get(), ActiveBuffer()));
  drop.Dismiss();
  FDidAnInitInsert = true;
  if (!(FIsDatasetEmpty && FScrolling && !(FBOF && FEOF))) FIsDatasetEmpty = false;
  FInserting = true;
}

void TPvDrmDataSet::PvInternalPost() {
  THourGlass hourglass(GetDBSession());
  if (!ConstraintsDisabled()) CheckRecordConstraints();
  gPostedAtEnd = FEOF;
  const uint32_t S = SesHandle();
  CheckStatus(DrmMiscPutRecord(S, FHandle, FColumns.get(), ActiveBuffer()));
  CheckStatus(RareUpdateRecord(S, FHandle));
  FDidAnInitInsert = false;
  PvInternalRefresh();
  FEditing = false;
}

void TPvDrmDataSet::PvInternalAddRecord(TRecordBuffer Buffer, bool Append) {
  // The new record is the active buffer, which the framework filled.
  (void)Buffer;
  (void)Append;
  PvInternalPost();
}

void TPvDrmDataSet::PvInternalCancel() {
  THourGlass hourglass(GetDBSession());
  const uint32_t S = SesHandle();
  (void)RareCancelUpdate(S, FHandle);
  if (FDidAnInitInsert) {
    FDidAnInitInsert = false;
    (void)RareInitUpdate(S, FHandle, DRM_INITUPD_RELEASE);
  }
  // Only a ring that holds nothing but the record being dropped leaves an
  // empty dataset: an append cancelled after existing records is at the end
  // of the data too, and those records are still there.
  const bool nothingElse = FRecordCount <= (State() == dsInsert ? 1 : 0);
  if (FInserting && FEOF) {
    FInserting = false;
    if (nothingElse) FIsDatasetEmpty = true;
  }
  FEditing = false;
  if (FEOF && FBOF && nothingElse) FIsDatasetEmpty = true;
}

void TPvDrmDataSet::PvInternalDelete() {
  THourGlass hourglass(GetDBSession());
  CheckStatus(RareDeleteRecord(SesHandle(), FHandle));
  FEditing = false;
}

void TPvDrmDataSet::PvInternalRefresh() {
  THourGlass hourglass(GetDBSession());
  // Nothing to do when the cursor stands on no record.
  (void)RareRefreshCurRecord(FHandle);
}

// ---- writing field data ---------------------------------------------------------------------

bool TPvDrmDataSet::IsIndexField(TField* Field) {
  const std::string name = GetActiveIndexName();
  TDRMIndexInfoCollection* indexes = GetIndexCatalog();
  for (int32_t i = 0; i < indexes->Count(); ++i) {
    const TDRMIndexInfo* seg = indexes->Items(i);
    if (seg->IndexName == name && FindField(seg->IndexedColumnName) == Field) return true;
  }
  return false;
}

void TPvDrmDataSet::TextTooLong(TField* Field, size_t Length) {
  PvDatabaseErrorFmt(this, STextTooLong, static_cast<int64_t>(Length), Field->DisplayName(), Field->Size());
}

const void* TPvDrmDataSet::ColumnValue(TField* Field, const void* Buffer, uint8_t (&Narrow)[4]) {
  const int32_t n = Field->FieldNo();
  if (Buffer == nullptr || n > FColumns->Count()) return Buffer;  // PutColumnValue names a bad number
  const TDRMColumnInfo* c = FColumns->Items(n - 1);
  const bool isUnsigned = DRM_COLTYP_RM(c->ColTyp) == RM_TYPE_UNSIGNED;
  auto refuse = [&](const std::string& Value, const std::string& Low, const std::string& High) {
    PvDatabaseErrorFmt(this, dbmsg::SRangeError, Value, Field->DisplayName(), Low, High);
  };
  switch (DRM_COLTYP_DRM(c->ColTyp)) {
    case DRM_TYPE_BOOLEAN: {
      // The slot is a 16-bit truth value and the column keeps one byte: a
      // true word whose low byte is zero (raw bytes written to the field)
      // must not arrive as false.
      const int16_t truth = Load<int16_t>(Buffer) != 0 ? 1 : 0;
      std::memcpy(Narrow, &truth, sizeof truth);
      return Narrow;
    }
    case DRM_TYPE_INT8: {
      // The slot is 16 bits wide; the column keeps one byte.
      const int32_t v = isUnsigned ? int32_t{Load<uint16_t>(Buffer)} : int32_t{Load<int16_t>(Buffer)};
      const int32_t lo = isUnsigned ? 0 : -128, hi = isUnsigned ? 255 : 127;
      if (v < lo || v > hi) refuse(IntToStr(v), IntToStr(lo), IntToStr(hi));
      return Buffer;
    }
    case DRM_TYPE_INT32: {
      if (Field->DataType() != ftLargeint || c->RealDataSize != sizeof(uint32_t)) return Buffer;
      // An unsigned column read as a 64-bit field: the slot keeps the
      // engine's four bytes.
      const int64_t v = Load<int64_t>(Buffer);
      if (v < 0 || v > int64_t{std::numeric_limits<uint32_t>::max()})
        refuse(IntToStr(v), "0", IntToStr(int64_t{std::numeric_limits<uint32_t>::max()}));
      const auto u = static_cast<uint32_t>(v);
      std::memcpy(Narrow, &u, sizeof u);
      return Narrow;
    }
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: {
      const double v = Load<double>(Buffer);
      const double max = DRM_COLTYP_DRM(c->ColTyp) == DRM_TYPE_FLOAT ? double{FLT_MAX} : DBL_MAX;
      if (!std::isfinite(v) || std::fabs(v) > max) refuse(FloatToStr(v), FloatToStr(-max), FloatToStr(max));
      return Buffer;
    }
    case DRM_TYPE_TIMESTAMP: {
      const double ms = Load<double>(Buffer);
      const double day = std::floor(ms / MSecsPerDay);
      if (!std::isfinite(ms) || day < kFirstDay || day > LastDay())
        PvDatabaseErrorFmt(this, SDateOutOfRange, Field->DisplayName());
      return Buffer;
    }
    case DRM_TYPE_DATE: {
      const int32_t day = Load<int32_t>(Buffer);
      if (day < kFirstDay || day > LastDay()) PvDatabaseErrorFmt(this, SDateOutOfRange, Field->DisplayName());
      return Buffer;
    }
    case DRM_TYPE_TIME: {
      const int32_t ms = Load<int32_t>(Buffer);
      if (ms < 0 || ms >= MSecsPerDay) refuse(IntToStr(ms), "0", IntToStr(MSecsPerDay - 1));
      return Buffer;
    }
    case DRM_TYPE_DECIMAL: {
      const auto bcd = Load<TBcd>(Buffer);
      if (c->Precision == 0 || IsBcdNotConvertible(bcd)) return Buffer;
      const std::string text = BCDToStr(bcd);
      if (IntegerDigits(text) > c->Precision - c->Scale) {
        const std::string limit = DecimalLimit(c->Precision, c->Scale);
        refuse(text, "-" + limit, limit);
      }
      return Buffer;
    }
    default: return Buffer;
  }
}

void TPvDrmDataSet::SetFieldData(TField* Field, const void* Buffer) {
  if (FPutFieldInBufferSrc != nullptr) {
    // A filter constant being converted: capture the native bytes only.
    std::vector<uint8_t>& capture = *FPutFieldInBufferSrc;
    capture[0] = Buffer != nullptr ? 1 : 0;
    if (Buffer != nullptr)
      std::memcpy(capture.data() + 1, Buffer, std::min(capture.size() - 1, static_cast<size_t>(Field->DataSize())));
    return;
  }
  if (FOnSetField) {
    bool Continue = false;
    FOnSetField(Field, Buffer, Continue);
    if (!Continue) return;
  }
  const TDataSetState state = State();
  switch (state) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc: break;
    default: PvDatabaseError(this, dbmsg::SNotEditing);
  }
  if (state == dsSetKey && (Field->FieldNo() < 0 || (FIndexFieldCount > 0 && !IsIndexField(Field))))
    PvDatabaseErrorFmt(this, SFieldNotIndexed, Field->DisplayName());
  TRecordBuffer b = nullptr;
  if (!GetStateBuffer(b)) return;
  if (Field->FieldNo() < 1) {
    // Calculated and lookup values sit in the calculated-field area behind
    // a byte that marks them present.
    uint8_t* q = b + FRecordSize + Field->Offset();
    q[0] = Buffer != nullptr ? 1 : 0;
    if (Buffer != nullptr) std::memcpy(q + 1, Buffer, static_cast<size_t>(Field->DataSize()));
  } else {
    if (state == dsCalcFields) PvDatabaseError(this, dbmsg::SNotEditing);
    if (Field->ReadOnly() && state != dsSetKey && state != dsFilter)
      PvDatabaseErrorFmt(this, dbmsg::SFieldReadOnly, Field->DisplayName());
    uint8_t narrow[4] = {};
    const void* value = ColumnValue(Field, Buffer, narrow);
    Field->Validate(Buffer);
    if (Field->FieldKind() != fkInternalCalc) {
      if (!ConstraintsDisabled() && Field->HasConstraints() && (state == dsEdit || state == dsInsert))
        CheckFieldConstraints(Field, value);
      PutColumnValue(this, FColumns.get(), Field->FieldNo(), value, b);
    }
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

// ---- public operations -------------------------------------------------------------------------

void TPvDrmDataSet::Post() {
  if (gPostGuard) return;
  TPvDataSet::Post();
  if (State() == dsSetKey) {
    gPostGuard = true;
    Finally clear([] { gPostGuard = false; });
    PostKeyBuffer(true);
  }
}

void TPvDrmDataSet::Cancel() {
  const int32_t c = FCurrentRecord;
  if (c >= 0 && c < FRecordCount && (State() == dsEdit || State() == dsInsert)) {
    // Stand on the record before the edited one and, unless the edit is at
    // the end of the data, on the edited one itself: the engine's view of a
    // dropped new row must not be what the resync after the cancel reads.
    // Buffers without a record of their own (an appended row) are skipped.
    auto standOn = [this](int32_t Index) {
      TRecordBuffer buffer = Buffers(Index);
      if (GetBookmarkFlag(buffer) == bfCurrent) (void)GotoEngineBookmark(buffer + BookmarkOfs(), false, false);
    };
    if (c > 0) {
      const bool atEnd = FEOF;
      standOn(c - 1);
      if (!atEnd) standOn(c);
    } else {
      standOn(0);
    }
    // The framework positions again from here on.
    CursorPosChanged();
  }
  TPvDataSet::Cancel();
  if (State() == dsSetKey) PostKeyBuffer(false);
}

void TPvDrmDataSet::AddRecordWith(const std::vector<Variant>& Values, bool Append) {
  CheckActive();
  // A pending edit is posted before the new row is opened: opening it
  // replaces whatever row the engine holds for this handle.
  CheckBrowseMode();
  THourGlass hourglass(GetDBSession());
  const int32_t s = RareInitUpdate(SesHandle(), FHandle, DRM_INITUPD_NEW);
  if (s == kNoInsertPossible) return;
  CheckStatus(s);
  // A failure drops the new row; an error of that drop is not the one the
  // caller needs to see.
  Finally cancel([this] { InternalCancel(); });
  FAddingRecord = true;
  Finally added([this] { FAddingRecord = false; });
  if (Append)
    TPvDataSet::AppendRecord(Values);
  else
    TPvDataSet::InsertRecord(Values);
  cancel.Dismiss();
}

void TPvDrmDataSet::InitRecord(TRecordBuffer Buffer) {
  TPvDataSet::InitRecord(Buffer);
  if (!FAddingRecord) return;
  // The framework has moved the cursor to place the record, so the engine
  // shows its new row only when asked to.
  const uint32_t S = SesHandle();
  CheckStatus(RareInitUpdate(S, FHandle, DRM_INITUPD_VIEW_PENDING));
  Finally stored([this, S] { (void)RareInitUpdate(S, FHandle, DRM_INITUPD_VIEW_STORED); });
  CheckStatus(DrmMiscGetRecord(S, FHandle, FColumns.get(), Buffer));
}

void TPvDrmDataSet::AppendRecord(const std::vector<Variant>& Values) { AddRecordWith(Values, true); }

void TPvDrmDataSet::InsertRecord(const std::vector<Variant>& Values) { AddRecordWith(Values, false); }

}  // namespace dac
