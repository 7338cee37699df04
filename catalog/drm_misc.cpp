#include "catalog/drm_misc.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "catalog/column_info_collection.h"
#include "engine/drm.h"
#include "engine/drm_values.h"
#include "errors/checks.h"
#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/format_settings.h"

namespace dac {

namespace {

// The engine's value forms (engine/drm_values.h).
using TEngineTimeStamp = DRM_TimeStamp;
using TEngineDate = DRM_Date;
using TEngineTime = DRM_Time;

// Fraction units of the engine per millisecond.
constexpr uint32_t kFractionPerMSec = 10000;
// Most digits a decimal may have to travel through a currency value.
constexpr int kMaxDecimalDigits = 15;

inline uint32_t DrmType(const TDRMColumnInfo* c) { return DRM_COLTYP_DRM(c->ColTyp); }
inline uint32_t RmType(const TDRMColumnInfo* c) { return DRM_COLTYP_RM(c->ColTyp); }
inline bool IsLongType(uint32_t drmType) { return drmType == DRM_TYPE_LONGBINARY || drmType == DRM_TYPE_LONGTEXT; }

template <class T>
inline T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
inline void Store(uint8_t* p, const T& v) {
  std::memcpy(p, &v, sizeof v);
}

// An engine value of which only the first length bytes arrived (the rest
// reads as zero), so that a short answer never reads past the slot.
template <class T>
inline T LoadReceived(const uint8_t* p, uint32_t length) {
  T v{};
  // The whole value is the common case: a copy of fixed size, no byte loop.
  if (length >= sizeof v)
    std::memcpy(&v, p, sizeof v);
  else
    std::memcpy(&v, p, length);
  return v;
}

// Zeroes bytes [from, to) of a value area, for values shorter than their slot.
inline void ZeroFrom(uint8_t* value, uint32_t from, uint32_t to) {
  if (from < to) std::memset(value + from, 0, to - from);
}

// Ends fixed text at its last non-blank byte, zeroing the blanks after it;
// returns the new length. Fixed text arrives padded to its column's width,
// often mostly blanks, so whole words of blanks are skipped at a time.
uint32_t TrimTrailingBlanks(uint8_t* value, uint32_t length) {
  constexpr uint64_t kBlanks = 0x2020202020202020ull;
  constexpr uint32_t kWord = sizeof kBlanks;
  static_assert(std::endian::native == std::endian::little, "the last bytes of a word are its high bytes");
  uint32_t end = length;
  while (end >= kWord) {
    uint64_t word;
    std::memcpy(&word, value + end - kWord, kWord);
    if (word != kBlanks) {
      // The blanks at the end of this word are its zero high bytes once
      // the blanks are cleared.
      end -= static_cast<uint32_t>(std::countl_zero(word ^ kBlanks)) / 8;
      ZeroFrom(value, end, length);
      return end;
    }
    end -= kWord;
  }
  while (end > 0 && value[end - 1] == ' ') --end;
  ZeroFrom(value, end, length);
  return end;
}

// Day number (0001-01-01 = 1) of a valid date; false for invalid parts.
// The same days TryEncodeDate counts, in integers: every date column of
// every record read comes through here.
bool DayNumberOf(int year, int month, int day, int32_t& result) {
  static constexpr int kDaysBefore[2][13] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
                                             {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  const int* before = kDaysBefore[leap ? 1 : 0];
  if (day > before[month] - before[month - 1]) return false;
  const int y = year - 1;
  result = y * 365 + y / 4 - y / 100 + y / 400 + before[month - 1] + day;
  return true;
}

// Milliseconds since midnight of a valid time; false for invalid parts.
bool MSecsOfTime(int hour, int minute, int second, int msec, int32_t& result) {
  if (hour > 23 || minute > 59 || second > 59 || msec > 999) return false;
  result = ((hour * 60 + minute) * 60 + second) * MSecsPerSec + msec;
  return true;
}

// Year, month and day of a day number; all 0 for a day number before day 1.
void SplitDayNumber(int32_t dayNumber, uint16_t& year, uint16_t& month, uint16_t& day) {
  if (dayNumber < 1) {
    year = month = day = 0;
    return;
  }
  DecodeDate(static_cast<TDateTime>(dayNumber - DateDelta), year, month, day);
}

// Number of decimals the shortest text of a currency value has (0..4).
int CurrencyDecimals(Currency value) {
  int64_t rest = value.Raw() % Currency::Scale;
  if (rest == 0) return 0;
  int decimals = 4;
  while (rest % 10 == 0) {
    rest /= 10;
    --decimals;
  }
  return decimals;
}

// Multiplies the 64-bit integer by 10^power through the engine; false when
// the engine refuses.
bool IntPower10(int64_t& value, int32_t power) {
  uint16_t w[4];
  std::memcpy(w, &value, sizeof w);
  if (RareIntPower10(&w[0], &w[1], &w[2], &w[3], power) == 0) return false;
  std::memcpy(&value, w, sizeof w);
  return true;
}

// Slot value (milliseconds since day 1) to engine timestamp.
TEngineTimeStamp EncodeTimeStamp(double msecs) {
  // Whole milliseconds, halves to even (the default rounding mode).
  const TTimeStamp ts = MSecsToTimeStamp(std::nearbyint(msecs));
  TEngineTimeStamp e{};
  SplitDayNumber(ts.Date, e.Year, e.Month, e.Day);
  int32_t ms = ts.Time;
  e.Hour = static_cast<uint16_t>(ms / 3600000);
  ms %= 3600000;
  e.Minute = static_cast<uint16_t>(ms / 60000);
  ms %= 60000;
  e.Second = static_cast<uint16_t>(ms / 1000);
  e.Fraction = static_cast<uint32_t>(ms % 1000) * kFractionPerMSec;
  return e;
}

// Slot TBcd to engine decimal. Raises "BCD overflow" for more than 15
// digits or a value the engine cannot scale.
TDrmNumeric EncodeDecimal(const TBcd& bcd) {
  const TFormatSettings& fs = DefaultFormatSettings();
  const std::string text = BCDToStr(bcd, fs);
  int digits = static_cast<int>(text.size());
  if (text.find(fs.DecimalSeparator) != std::string::npos) --digits;
  if (!text.empty() && text[0] == '-') --digits;
  if (digits > kMaxDecimalDigits) DatabaseError(SBcdOverflow);
  Currency c;
  // Fifteen integer digits can still exceed the currency range.
  if (!TryStrToCurr(text, c, fs)) DatabaseError(SBcdOverflow);
  TDrmNumeric numeric;
  if (!CurrencyToNumeric(numeric, c)) DatabaseError(SBcdOverflow);
  return numeric;
}

// Converts the engine value just read into the value area to its slot form.
// Returns false when the value reads as NULL.
bool ConvertRead(const TDRMColumnInfo* c, uint8_t* value, uint32_t length) {
  const uint32_t real = c->RealDataSize;
  switch (DrmType(c)) {
    case DRM_TYPE_BOOLEAN:
    case DRM_TYPE_INT16:
    case DRM_TYPE_INT32:
      ZeroFrom(value, length, real);
      return true;
    case DRM_TYPE_INT8:
      ZeroFrom(value, length, real);
      if (RmType(c) != RM_TYPE_UNSIGNED) Store<int16_t>(value, static_cast<int8_t>(value[0]));
      return true;
    case DRM_TYPE_FLOAT:
      Store<double>(value, LoadReceived<float>(value, length));
      return true;
    case DRM_TYPE_TIMESTAMP: {
      const auto e = LoadReceived<TEngineTimeStamp>(value, length);
      if (e.Year == 0 && e.Month == 0 && e.Day == 0 && e.Hour == 0 && e.Minute == 0 && e.Second == 0 &&
          e.Fraction == 0)
        return false;
      int32_t day = 0;
      int32_t ms = 0;
      const uint32_t msec = e.Fraction / kFractionPerMSec;
      if (!DayNumberOf(e.Year, e.Month, e.Day, day) ||
          msec > 999 || !MSecsOfTime(e.Hour, e.Minute, e.Second, static_cast<int>(msec), ms))
        return false;
      Store<double>(value, TimeStampToMSecs(TTimeStamp{ms, day}));
      return true;
    }
    case DRM_TYPE_TEXT: {
      // The value area is cbMax + 1 bytes: room for the terminating NUL.
      const uint32_t end = std::min(length, c->BufferMax - 2);
      value[end] = 0;
      TrimTrailingBlanks(value, end);
      return true;
    }
    case DRM_TYPE_DATE: {
      const auto e = LoadReceived<TEngineDate>(value, length);
      if (e.Year == 0 && e.Month == 0 && e.Day == 0) return false;
      int32_t day = 0;
      if (!DayNumberOf(e.Year, e.Month, e.Day, day)) return false;
      Store<int32_t>(value, day);
      return true;
    }
    case DRM_TYPE_TIME: {
      const auto e = LoadReceived<TEngineTime>(value, length);
      int32_t ms = 0;
      if (!MSecsOfTime(e.Hour, e.Minute, e.Second, 0, ms)) return false;
      Store<int32_t>(value, ms);
      return true;
    }
    case DRM_TYPE_DECIMAL: {
      const auto numeric = LoadReceived<TDrmNumeric>(value, length);
      Currency cur;
      const TBcd bcd = NumericToCurrency(numeric, cur) ? CurrencyToBcd(cur) : NotConvertibleBcd();
      Store<TBcd>(value, bcd);
      return true;
    }
    case DRM_TYPE_VARBINARY:
      // The slot is reused by every record: bytes past this value's length
      // would otherwise be the previous record's.
      ZeroFrom(value, length, c->RealDataSize);
      return true;
    default:
      return true;
  }
}

// The length of a variable-length byte value in its zero-filled slot: the
// slot keeps no length, and reads fill the rest of it with zeros, so the
// value ends after its last non-zero byte.
uint32_t VarBytesLength(const uint8_t* value, uint32_t area) {
  while (area > 0 && value[area - 1] == 0) --area;
  return area;
}

}  // namespace

bool IsBlobColumn(const TDRMColumnInfo* Column) { return IsLongType(DrmType(Column)); }

int32_t DrmMiscGetRecord(uint32_t S, uint32_t T, TDRMColumnInfoCollection* Columns, TRecordBuffer Buffer) {
  TTraceScope trace(TraceGetRecord, kTraceGetRecord, "DrmMiscGetRecord");
  const int32_t count = Columns->Count();
  for (int32_t i = 0; i < count; ++i) {
    const TDRMColumnInfo* c = Columns->Items(i);
    uint8_t* indicator = Buffer + c->Offset;
    uint8_t* value = indicator + 1;
    const bool blob = IsLongType(DrmType(c));
    // For a long value only its length is wanted.
    uint32_t length = 0;
    const int32_t s = RareRetrieveColumn(S, T, c->ColumnId, value, blob ? 0 : c->BufferMax - 1, &length, nullptr);
    if (s == DRM_WARN_NULL) {
      *indicator = 0;
      continue;
    }
    if (s != DRM_OK) return s;
    if (blob)
      *indicator = length != 0 ? 1 : 0;
    else
      *indicator = ConvertRead(c, value, length) ? 1 : 0;
  }
  return DRM_OK;
}

bool ColumnValueToEngine(const TDRMColumnInfo* c, const uint8_t* value, uint8_t* out) {
  switch (DrmType(c)) {
    case DRM_TYPE_FLOAT:
      Store<float>(out, static_cast<float>(Load<double>(value)));
      break;
    case DRM_TYPE_TIMESTAMP:
      Store(out, EncodeTimeStamp(Load<double>(value)));
      break;
    case DRM_TYPE_DATE: {
      TEngineDate e{};
      SplitDayNumber(Load<int32_t>(value), e.Year, e.Month, e.Day);
      Store(out, e);
      break;
    }
    case DRM_TYPE_TIME: {
      const int32_t ms = Load<int32_t>(value);
      TEngineTime e{};
      e.Hour = static_cast<uint16_t>(ms / 3600000);
      e.Minute = static_cast<uint16_t>(ms % 3600000 / 60000);
      e.Second = static_cast<uint16_t>(ms % 60000 / 1000);
      Store(out, e);
      break;
    }
    case DRM_TYPE_DECIMAL: {
      const auto bcd = Load<TBcd>(value);
      if (IsBcdNotConvertible(bcd)) return false;
      Store(out, EncodeDecimal(bcd));
      break;
    }
    default:
      std::memcpy(out, value, c->BufferMax - 1);
      break;
  }
  return true;
}

int32_t DrmMiscPutRecord(uint32_t S, uint32_t T, TDRMColumnInfoCollection* Columns, TRecordBuffer Buffer) {
  // Large enough for every engine form, also when a column reports less.
  std::vector<uint8_t> scratch(std::max<size_t>(Columns->MaxColumnSize(), sizeof(TDrmNumeric)));
  uint8_t* out = scratch.data();
  const int32_t count = Columns->Count();
  for (int32_t i = 0; i < count; ++i) {
    const TDRMColumnInfo* c = Columns->Items(i);
    if (IsBlobColumn(c)) continue;  // long values go through the blob streams
    const uint8_t* slot = Buffer + c->Offset;
    const uint32_t area = c->BufferMax - 1;
    uint32_t length = 0;
    int32_t setNull = 0;
    if (slot[0] == 0) {
      std::memset(out, 0, area);
      setNull = 1;
    } else {
      length = std::min(c->cbMax, area);
      // A value that could not be read cannot be written back either;
      // leaving it out keeps what the pending row holds.
      if (!ColumnValueToEngine(c, slot + 1, out)) continue;
      if (DrmType(c) == DRM_TYPE_VARBINARY) length = VarBytesLength(out, length);
    }
    const int32_t s = RareSetColumn(S, T, c->ColumnId, out, length, 0, setNull, 0);
    if (s != DRM_OK) return s;
  }
  return DRM_OK;
}

void GetColumnValue(TPersistent* DataSet, TDRMColumnInfoCollection* Columns, int32_t FieldNo, bool Verifying,
                    bool& IsNull, void* Dest, const uint8_t* Buffer) {
  if (FieldNo < 1 || FieldNo > Columns->Count()) PvDatabaseError(DataSet, SFieldIndexOutOfRange);
  const TDRMColumnInfo* c = Columns->Items(FieldNo - 1);
  if (Buffer == nullptr) {
    IsNull = true;
    return;
  }
  if (Verifying) {
    // The buffer holds the bare value being verified.
    if (Dest != nullptr) std::memcpy(Dest, Buffer, c->RealDataSize);
    IsNull = false;
    return;
  }
  if (Dest != nullptr) std::memcpy(Dest, Buffer + c->Offset + 1, c->RealDataSize);
  IsNull = Buffer[c->Offset] != 1;
}

void PutColumnValue(TPersistent* DataSet, TDRMColumnInfoCollection* Columns, int32_t FieldNo, const void* Source,
                    TRecordBuffer Buffer) {
  if (FieldNo < 1 || FieldNo > Columns->Count()) PvDatabaseError(DataSet, SFieldIndexOutOfRange);
  const TDRMColumnInfo* c = Columns->Items(FieldNo - 1);
  if (Buffer == nullptr) return;
  if (Source != nullptr) {
    std::memcpy(Buffer + c->Offset + 1, Source, c->RealDataSize);
    Buffer[c->Offset] = 1;
  } else {
    Buffer[c->Offset] = 0;
  }
}

bool IsColumnNull(TDRMColumnInfoCollection* Columns, const uint8_t* Buffer, int32_t Index) {
  if (Buffer == nullptr) return true;
  return Buffer[Columns->Items(Index)->Offset] == 0;
}

TBcd CurrencyToBcd(Currency Value) {
  const bool negative = Value.Value < 0;
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(Value.Value) : static_cast<uint64_t>(Value.Value);
  // Trailing zeros of the four decimals are dropped; a whole number has none.
  int places = 4;
  if (mag % 10000 == 0) {
    mag /= 10000;
    places = 0;
  } else {
    while (mag % 10 == 0) {
      mag /= 10;
      --places;
    }
  }
  int count = 0;  // digits of mag
  for (uint64_t m = mag; m != 0; m /= 10) ++count;
  // A fraction keeps its leading zeros (0.0005 is 0005 with 4 places); zero is one digit.
  const int width = std::max(count, std::max(places, 1));
  TBcd bcd;
  bcd.Precision = static_cast<uint8_t>(width);
  bcd.SignSpecialPlaces = static_cast<uint8_t>((negative ? 0x80 : 0) | places);
  // Digits from the right; the positions left of them stay zero.
  for (int i = width - 1; mag != 0; --i, mag /= 10) {
    const auto digit = static_cast<uint8_t>(mag % 10);
    bcd.Fraction[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(digit << 4) : digit;
  }
  return bcd;
}

bool NumericToCurrency(const TDrmNumeric& Numeric, Currency& Value) {
  const uint16_t* w = Numeric.Words;
  const uint16_t n = w[2];
  if (w[0] != 0 || n > 4) return false;
  for (int i = 7; i < 19; ++i)
    if (w[i] != 0) return false;
  if (n == 0) {
    Value = Currency();
    return true;
  }
  uint64_t bits = 0;
  for (int i = n - 1; i >= 0; --i) bits = (bits << 16) | w[3 + i];
  // Sign-extend from the top word in use.
  if (n < 4 && (w[2 + n] & 0x8000) != 0) bits |= ~uint64_t{0} << (16 * n);
  int64_t units = static_cast<int64_t>(bits);
  const int32_t exponent = static_cast<int16_t>(w[1]);
  if (!IntPower10(units, exponent + 4)) return false;
  Value = Currency::FromRaw(units);
  return true;
}

bool CurrencyToNumeric(TDrmNumeric& Numeric, Currency Value) {
  Numeric = TDrmNumeric();
  const int decimals = CurrencyDecimals(Value);
  int64_t integer = Value.Raw();
  if (!IntPower10(integer, decimals - 4)) return false;
  Numeric.Words[1] = static_cast<uint16_t>(-decimals);
  Numeric.Words[2] = 4;
  std::memcpy(&Numeric.Words[3], &integer, sizeof integer);
  return true;
}

}  // namespace dac
