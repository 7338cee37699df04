// Conversions between the engine value formats callers exchange and the
// values kept in storage. Stored forms are chosen so that SQLite's own
// ordering equals the engine's ordering: integers for dates, times,
// timestamps and decimals (scaled), text for text, blobs for bytes.
#include <strings.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "engine/drm_values.h"
#include "platform/engine/engine_core.h"
#include "platform/engine/value_rules.h"

namespace drmengine {

bool Val::operator==(const Val& o) const {
  if (kind != o.kind) return false;
  switch (kind) {
    case Null: return true;
    case Int: return i == o.i;
    case Real: return d == o.d || (std::isnan(d) && std::isnan(o.d));
    default: return s == o.s;
  }
}

int BindVal(sqlite3_stmt* st, int idx, const Val& v, bool copy) {
  const sqlite3_destructor_type keep = copy ? SQLITE_TRANSIENT : SQLITE_STATIC;
  switch (v.kind) {
    case Val::Null: return sqlite3_bind_null(st, idx);
    case Val::Int: return sqlite3_bind_int64(st, idx, v.i);
    case Val::Real: return sqlite3_bind_double(st, idx, v.d);
    case Val::Text: return sqlite3_bind_text64(st, idx, v.s.data(), v.s.size(), keep, SQLITE_UTF8);
    case Val::Blob: return sqlite3_bind_blob64(st, idx, v.s.data(), v.s.size(), keep);
  }
  return SQLITE_MISUSE;
}

Val ColumnVal(sqlite3_stmt* st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER: return Val::MakeInt(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: return Val::MakeReal(sqlite3_column_double(st, col));
    case SQLITE_TEXT: {
      auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
      return Val::MakeText(std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, col))));
    }
    case SQLITE_BLOB: {
      auto p = static_cast<const char*>(sqlite3_column_blob(st, col));
      int n = sqlite3_column_bytes(st, col);
      return Val::MakeBlob(n ? std::string(p, static_cast<size_t>(n)) : std::string());
    }
    default: return Val();
  }
}

bool ColumnMeta::CaseFolded() const {
  return collation.size() >= 5 && strncasecmp(collation.c_str(), "_CASE", 5) == 0 && collation.size() == 5;
}

uint32_t ColumnMeta::ReportedCbMax() const {
  switch (Drm()) {
    case DRM_TYPE_BOOLEAN:
    case DRM_TYPE_INT8: return 1;
    case DRM_TYPE_INT16: return Rm() == RM_TYPE_AUTOINC ? 4 : 2;
    case DRM_TYPE_INT32: return 4;
    case DRM_TYPE_CURRENCY: return 8;
    case DRM_TYPE_FLOAT: return 4;
    case DRM_TYPE_DOUBLE: return 8;
    case DRM_TYPE_TIMESTAMP: return 16;
    case DRM_TYPE_DATE:
    case DRM_TYPE_TIME: return 6;
    case DRM_TYPE_DECIMAL: return 38;
    case DRM_TYPE_LONGTEXT:
      if (Rm() == RM_TYPE_NOTE && cbMax == 0) return 32767;
      return cbMax;
    default: return cbMax;
  }
}

namespace {

template <typename T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <typename T>
void Append(std::string& out, T v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yy + (m <= 2));
}

size_t FixedSize(const ColumnMeta& c) {
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN:
    case DRM_TYPE_INT8: return 1;
    case DRM_TYPE_INT16: return c.Rm() == RM_TYPE_AUTOINC ? 4 : 2;
    case DRM_TYPE_INT32: return 4;
    case DRM_TYPE_CURRENCY: return 8;
    case DRM_TYPE_FLOAT: return 4;
    case DRM_TYPE_DOUBLE: return 8;
    case DRM_TYPE_TIMESTAMP: return 16;
    case DRM_TYPE_DATE:
    case DRM_TYPE_TIME: return 6;
    case DRM_TYPE_DECIMAL: return 38;
    default: return 0;
  }
}

size_t TextLen(const char* p, uint32_t len) {
  if (len == 0) return 0;  // p may be null then
  const void* z = std::memchr(p, 0, len);
  return z ? static_cast<size_t>(static_cast<const char*>(z) - p) : len;
}

// Decodes a fixed-format engine value. Shared by writes and constants.
int32_t DecodeFixed(const ColumnMeta& c, const uint8_t* p, Val& out, std::string& what) {
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN: out = Val::MakeInt(p[0]); return 0;
    case DRM_TYPE_INT8:
      out = Val::MakeInt(c.Rm() == RM_TYPE_UNSIGNED ? int64_t{p[0]} : int64_t{static_cast<int8_t>(p[0])});
      return 0;
    case DRM_TYPE_INT16:
      if (c.Rm() == RM_TYPE_AUTOINC)
        out = Val::MakeInt(Load<int32_t>(p));
      else if (c.Rm() == RM_TYPE_UNSIGNED)
        out = Val::MakeInt(Load<uint16_t>(p));
      else
        out = Val::MakeInt(Load<int16_t>(p));
      return 0;
    case DRM_TYPE_INT32:
      out = Val::MakeInt(c.Rm() == RM_TYPE_UNSIGNED ? int64_t{Load<uint32_t>(p)} : int64_t{Load<int32_t>(p)});
      return 0;
    case DRM_TYPE_CURRENCY: out = Val::MakeInt(Load<int64_t>(p)); return 0;
    case DRM_TYPE_FLOAT: out = Val::MakeReal(Load<float>(p)); return 0;
    case DRM_TYPE_DOUBLE: out = Val::MakeReal(Load<double>(p)); return 0;
    case DRM_TYPE_TIMESTAMP: {
      const auto ts = Load<DRM_TimeStamp>(p);
      if (!ts.Year && !ts.Month && !ts.Day && !ts.Hour && !ts.Minute && !ts.Second && !ts.Fraction) {
        out = Val();
        return 0;
      }
      if (!ValidDate(ts.Year, ts.Month, ts.Day) || ts.Hour > 23 || ts.Minute > 59 || ts.Second > 59 ||
          ts.Fraction >= DRM_FRACTION_PER_SECOND) {
        what = "timestamp " + std::to_string(ts.Year) + "-" + std::to_string(ts.Month) + "-" + std::to_string(ts.Day) +
               " " + std::to_string(ts.Hour) + ":" + std::to_string(ts.Minute) + ":" + std::to_string(ts.Second) +
               " is not a valid moment";
        return DRM_ERR_INVALID_DATE;
      }
      int64_t secs = DaysFromCivil(ts.Year, ts.Month, ts.Day) * 86400 + ts.Hour * 3600 + ts.Minute * 60 + ts.Second;
      out = Val::MakeInt(secs * DRM_FRACTION_PER_SECOND + ts.Fraction);
      return 0;
    }
    case DRM_TYPE_DATE: {
      const auto date = Load<DRM_Date>(p);
      if (!date.Year && !date.Month && !date.Day) {
        out = Val();
        return 0;
      }
      if (!ValidDate(date.Year, date.Month, date.Day)) {
        what = "date " + std::to_string(date.Year) + "-" + std::to_string(date.Month) + "-" + std::to_string(date.Day) +
               " does not exist";
        return DRM_ERR_INVALID_DATE;
      }
      out = Val::MakeInt(date.Year * 10000LL + date.Month * 100 + date.Day);
      return 0;
    }
    case DRM_TYPE_TIME: {
      const auto time = Load<DRM_Time>(p);
      if (time.Hour > 23 || time.Minute > 59 || time.Second > 59) {
        what = "time " + std::to_string(time.Hour) + ":" + std::to_string(time.Minute) + ":" +
               std::to_string(time.Second) + " does not exist";
        return DRM_ERR_INVALID_DATE;
      }
      out = Val::MakeInt(time.Hour * 10000LL + time.Minute * 100 + time.Second);
      return 0;
    }
    case DRM_TYPE_DECIMAL: {
      const auto num = Load<DRM_Numeric>(p);
      const uint16_t* w = num.Words;
      int16_t e = static_cast<int16_t>(w[DRM_NUMERIC_EXPONENT]);
      uint16_t n = w[DRM_NUMERIC_USED];
      bool extra = false;
      for (int k = DRM_NUMERIC_INTEGER + DRM_NUMERIC_MAX_USED; k < 19; ++k) extra |= w[k] != 0;
      if (w[0] != 0 || n > DRM_NUMERIC_MAX_USED || extra) {
        what = "malformed decimal value (header words or unused words not zero)";
        return DRM_ERR_INVALID_PARAMETER;
      }
      uint64_t u = 0;
      for (int k = 0; k < n; ++k) u |= uint64_t{w[DRM_NUMERIC_INTEGER + k]} << (16 * k);
      if (n > 0 && n < 4 && (w[DRM_NUMERIC_INTEGER + n - 1] & 0x8000)) u |= ~uint64_t{0} << (16 * n);  // sign-extend
      int64_t v = n ? static_cast<int64_t>(u) : 0;
      int32_t shift = e + DecimalScale(c);
      if (!IntPower10(v, shift)) {
        what = "decimal value does not fit column '" + c.name + "'";
        return DRM_ERR_FIELD_LENGTH;
      }
      if (c.Rm() == RM_TYPE_NUMERIC && c.precision > 0 && c.precision < 19) {
        int64_t lim = kPow10[c.precision];
        if (v >= lim || v <= -lim) {
          what = "decimal value has more than " + std::to_string(c.precision) + " digits for column '" + c.name + "'";
          return DRM_ERR_FIELD_LENGTH;
        }
      }
      out = Val::MakeInt(v);
      return 0;
    }
  }
  what = "column '" + c.name + "' has an unknown type";
  return DRM_ERR_INVALID_COLUMN_TYPE;
}

}  // namespace

int32_t IntPower10(int64_t& v, int32_t power) {
  if (power == 0) return 1;
  if (power > 0) {
    for (int32_t k = 0; k < power; ++k) {
      if (v == 0) return 1;
      if (v > std::numeric_limits<int64_t>::max() / 10 || v < std::numeric_limits<int64_t>::min() / 10) return 0;
      v *= 10;
    }
    return 1;
  }
  if (power < -19) {
    v = 0;
    return 1;
  }
  // Divide with rounding half away from zero, done on the magnitude.
  int32_t p = -power;
  bool neg = v < 0;
  uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  if (p == 19) {
    uint64_t div = 10000000000000000000ULL;
    mag = mag >= div / 2 + (div % 2) ? 1 : 0;
  } else {
    uint64_t div = static_cast<uint64_t>(kPow10[p]);
    uint64_t q = mag / div, r = mag % div;
    if (r * 2 >= div) ++q;
    mag = q;
  }
  v = neg ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
  return 1;
}

int32_t ValidateColumnType(uint32_t colTyp, uint32_t cbMax, uint16_t precision, uint16_t scale, std::string& what) {
  uint32_t drm = colTyp & 0xFF;
  uint32_t rm = (colTyp >> 8) & 0xFF;
  switch (drm) {
    case DRM_TYPE_BOOLEAN:
    case DRM_TYPE_INT8:
    case DRM_TYPE_INT16:
    case DRM_TYPE_INT32:
    case DRM_TYPE_CURRENCY:
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE:
    case DRM_TYPE_TIMESTAMP:
    case DRM_TYPE_DATE:
    case DRM_TYPE_TIME: return 0;
    case DRM_TYPE_BINARY:
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING:
    case DRM_TYPE_VARBINARY:
      if (cbMax < 1 || cbMax > 65535) {
        what = "length " + std::to_string(cbMax) + " is outside 1 to 65535 for this type";
        return DRM_ERR_FIELD_LENGTH;
      }
      return 0;
    case DRM_TYPE_LONGBINARY:
    case DRM_TYPE_LONGTEXT:
      if (cbMax > 0x7FFFFFFEu) {
        what = "length " + std::to_string(cbMax) + " is too large for a long value";
        return DRM_ERR_FIELD_LENGTH;
      }
      return 0;
    case DRM_TYPE_DECIMAL:
      if (rm == RM_TYPE_NUMERIC && (precision < 1 || precision > 18 || scale > precision)) {
        what = "decimal precision " + std::to_string(precision) + " and scale " + std::to_string(scale) +
               " are outside 1 to 18 digits";
        return DRM_ERR_FIELD_LENGTH;
      }
      return 0;
  }
  what = "type code " + std::to_string(drm) + " (ColTyp 0x" + [&] {
    char b[16];
    std::snprintf(b, sizeof b, "%04X", colTyp);
    return std::string(b);
  }() + ") is not a known column type";
  return DRM_ERR_INVALID_COLUMN_TYPE;
}

int32_t EngineToVal(const ColumnMeta& c, const void* data, uint32_t len, Val& out, std::string& what) {
  const char* p = static_cast<const char*>(data);
  if (len && !p) {
    what = "no data buffer given for column '" + c.name + "'";
    return DRM_ERR_INVALID_PARAMETER;
  }
  size_t fixed = FixedSize(c);
  if (fixed) {
    if (len < fixed) {
      what = std::to_string(len) + " bytes given for column '" + c.name + "', which needs " + std::to_string(fixed);
      return DRM_ERR_DATA_LENGTH;
    }
    int32_t s = DecodeFixed(c, reinterpret_cast<const uint8_t*>(p), out, what);
    if (s && what.find(c.name) == std::string::npos) what += " (column '" + c.name + "')";
    return s;
  }
  switch (c.Drm()) {
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING: {
      size_t n = TextLen(p, len);
      if (n > c.cbMax) {
        what = std::to_string(n) + " characters given for column '" + c.name + "' of length " + std::to_string(c.cbMax);
        return DRM_ERR_DATA_LENGTH;
      }
      std::string s(p, n);
      out = Val::MakeText(c.Drm() == DRM_TYPE_TEXT ? RTrimBlanks(std::move(s)) : std::move(s));
      return 0;
    }
    case DRM_TYPE_BINARY:
    case DRM_TYPE_VARBINARY: {
      if (len > c.cbMax) {
        what = std::to_string(len) + " bytes given for column '" + c.name + "' of length " + std::to_string(c.cbMax);
        return DRM_ERR_DATA_LENGTH;
      }
      std::string s(p, len);
      if (c.Drm() == DRM_TYPE_BINARY) s.resize(c.cbMax, '\0');
      out = Val::MakeBlob(std::move(s));
      return 0;
    }
    case DRM_TYPE_LONGBINARY:
    case DRM_TYPE_LONGTEXT: {
      size_t n = c.Drm() == DRM_TYPE_LONGTEXT ? TextLen(p, len) : len;
      int32_t st = 0;
      if (c.Rm() == RM_TYPE_NOTE && n > c.ReportedCbMax()) {
        n = c.ReportedCbMax();
        st = DRM_WARN_BLOB_TRUNCATED;
      }
      out = Val::MakeBlob(std::string(p ? p : "", n));
      return st;
    }
  }
  what = "column '" + c.name + "' has an unknown type";
  return DRM_ERR_INVALID_COLUMN_TYPE;
}

int32_t ConstToVal(const ColumnMeta& c, const void* data, uint32_t len, Val& out, std::string& what) {
  if (!data) {
    out = Val();
    return 0;
  }
  size_t fixed = FixedSize(c);
  if (fixed && len < fixed) {
    // Short constants of integer columns are read as little-endian integers of
    // their given size; other fixed types need their whole form.
    auto drm = c.Drm();
    if ((drm == DRM_TYPE_INT8 || drm == DRM_TYPE_INT16 || drm == DRM_TYPE_INT32 || drm == DRM_TYPE_BOOLEAN) &&
        len > 0) {
      uint8_t buf[8] = {};
      std::memcpy(buf, data, len);
      bool neg = c.Rm() != RM_TYPE_UNSIGNED && (buf[len - 1] & 0x80);
      if (neg) std::memset(buf + len, 0xFF, sizeof buf - len);
      out = Val::MakeInt(Load<int64_t>(buf));
      return 0;
    }
    what = std::to_string(len) + " bytes given as a constant for column '" + c.name + "', which needs " +
           std::to_string(fixed);
    return DRM_ERR_DATA_LENGTH;
  }
  if (fixed) return DecodeFixed(c, static_cast<const uint8_t*>(data), out, what);
  const char* p = static_cast<const char*>(data);
  switch (c.Drm()) {
    case DRM_TYPE_TEXT: out = Val::MakeText(RTrimBlanks(std::string(p, TextLen(p, len)))); return 0;
    case DRM_TYPE_ZSTRING: out = Val::MakeText(std::string(p, TextLen(p, len))); return 0;
    case DRM_TYPE_BINARY: {
      std::string s(p, std::min<uint32_t>(len, c.cbMax));
      s.resize(c.cbMax, '\0');
      out = Val::MakeBlob(std::move(s));
      return 0;
    }
    case DRM_TYPE_VARBINARY: out = Val::MakeBlob(std::string(p, len)); return 0;
  }
  what = "column '" + c.name + "' cannot be compared with a constant";
  return DRM_ERR_FILTER_NOT_SUPPORTED;
}

int32_t DecimalConstToScaled(const ColumnMeta& c, const void* data, uint32_t len, Val& out, bool& between,
                             std::string& what) {
  between = false;
  if (!data) {
    out = Val();
    return 0;
  }
  if (len < sizeof(DRM_Numeric)) {
    what = std::to_string(len) + " bytes given as a constant for column '" + c.name + "', which needs " +
           std::to_string(sizeof(DRM_Numeric));
    return DRM_ERR_DATA_LENGTH;
  }
  const auto num = Load<DRM_Numeric>(static_cast<const uint8_t*>(data));
  const uint16_t* w = num.Words;
  const int16_t e = static_cast<int16_t>(w[DRM_NUMERIC_EXPONENT]);
  const uint16_t n = w[DRM_NUMERIC_USED];
  bool extra = false;
  for (int k = DRM_NUMERIC_INTEGER + DRM_NUMERIC_MAX_USED; k < 19; ++k) extra |= w[k] != 0;
  if (w[0] != 0 || n > DRM_NUMERIC_MAX_USED || extra) {
    what = "malformed decimal value (header words or unused words not zero)";
    return DRM_ERR_INVALID_PARAMETER;
  }
  uint64_t u = 0;
  for (int k = 0; k < n; ++k) u |= uint64_t{w[DRM_NUMERIC_INTEGER + k]} << (16 * k);
  if (n > 0 && n < 4 && (w[DRM_NUMERIC_INTEGER + n - 1] & 0x8000)) u |= ~uint64_t{0} << (16 * n);
  const int64_t v = n ? static_cast<int64_t>(u) : 0;
  // Every value a column holds lies strictly inside +-10^18 scaled units, so
  // a constant beyond compares as that bound does.
  const int64_t bound = kPow10[18];
  const int32_t shift = e + DecimalScale(c);
  int64_t scaled = v;
  if (shift >= 0) {
    if (!IntPower10(scaled, shift) || scaled > bound || scaled < -bound) scaled = v < 0 ? -bound : bound;
  } else if (-shift > 18) {
    // |v| < 10^19: the quotient is 0 or -1.
    scaled = v < 0 ? -1 : 0;
    between = v != 0;
  } else {
    const int64_t d = kPow10[-shift];
    int64_t q = v / d;
    const int64_t r = v % d;
    if (r < 0) --q;  // floor
    scaled = q;
    between = r != 0;
  }
  out = Val::MakeInt(scaled);
  return 0;
}

int32_t ComparableConst(const ColumnMeta& c, const void* data, uint32_t len, Val& out, bool& between,
                        std::string& what) {
  if (c.Drm() == DRM_TYPE_DECIMAL) return DecimalConstToScaled(c, data, len, out, between, what);
  between = false;
  return ConstToVal(c, data, len, out, what);
}

int32_t NumericScaleOf(const ColumnMeta& c) {
  switch (c.Drm()) {
    case DRM_TYPE_INT8:
    case DRM_TYPE_INT16:
    case DRM_TYPE_INT32:
    case DRM_TYPE_BOOLEAN: return 0;
    case DRM_TYPE_CURRENCY: return 4;
    case DRM_TYPE_DECIMAL: return DecimalScale(c);
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: return kRealScale;
    default: return kNotNumeric;
  }
}

void ValToEngine(const ColumnMeta& c, const Val& v, std::string& out) {
  out.clear();
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN:
    case DRM_TYPE_INT8: out.push_back(static_cast<char>(v.i)); return;
    case DRM_TYPE_INT16:
      if (c.Rm() == RM_TYPE_AUTOINC)
        Append(out, static_cast<int32_t>(v.i));
      else
        Append(out, static_cast<int16_t>(v.i));
      return;
    case DRM_TYPE_INT32: Append(out, static_cast<int32_t>(v.i)); return;
    case DRM_TYPE_CURRENCY: Append(out, v.i); return;
    case DRM_TYPE_FLOAT: Append(out, static_cast<float>(v.kind == Val::Real ? v.d : double(v.i))); return;
    case DRM_TYPE_DOUBLE: Append(out, v.kind == Val::Real ? v.d : double(v.i)); return;
    case DRM_TYPE_TIMESTAMP: {
      int64_t frac = v.i % DRM_FRACTION_PER_SECOND, secs = v.i / DRM_FRACTION_PER_SECOND;
      if (frac < 0) {
        frac += DRM_FRACTION_PER_SECOND;
        --secs;
      }
      int64_t days = secs / 86400, sod = secs % 86400;
      if (sod < 0) {
        sod += 86400;
        --days;
      }
      int y;
      unsigned m, d;
      CivilFromDays(days, y, m, d);
      DRM_TimeStamp ts;
      ts.Year = static_cast<uint16_t>(y);
      ts.Month = static_cast<uint16_t>(m);
      ts.Day = static_cast<uint16_t>(d);
      ts.Hour = static_cast<uint16_t>(sod / 3600);
      ts.Minute = static_cast<uint16_t>(sod / 60 % 60);
      ts.Second = static_cast<uint16_t>(sod % 60);
      ts.Fraction = static_cast<uint32_t>(frac);
      Append(out, ts);
      return;
    }
    case DRM_TYPE_DATE: Append(out, StoredToDate(v.i)); return;
    case DRM_TYPE_TIME: Append(out, StoredToTime(v.i)); return;
    case DRM_TYPE_DECIMAL: {
      DRM_Numeric num;
      num.Words[DRM_NUMERIC_EXPONENT] = static_cast<uint16_t>(static_cast<int16_t>(-DecimalScale(c)));
      num.Words[DRM_NUMERIC_USED] = DRM_NUMERIC_MAX_USED;
      uint64_t u = static_cast<uint64_t>(v.i);
      for (int k = 0; k < DRM_NUMERIC_MAX_USED; ++k)
        num.Words[DRM_NUMERIC_INTEGER + k] = static_cast<uint16_t>(u >> (16 * k));
      Append(out, num);
      return;
    }
    case DRM_TYPE_TEXT:
      out = v.s;
      if (out.size() < c.cbMax) out.resize(c.cbMax, ' ');
      return;
    default: out = v.s; return;
  }
}

DRM_Date StoredToDate(int64_t v) {
  DRM_Date d;
  d.Year = static_cast<uint16_t>(v / 10000);
  d.Month = static_cast<uint16_t>(v / 100 % 100);
  d.Day = static_cast<uint16_t>(v % 100);
  return d;
}

DRM_Time StoredToTime(int64_t v) {
  DRM_Time t;
  t.Hour = static_cast<uint16_t>(v / 10000);
  t.Minute = static_cast<uint16_t>(v / 100 % 100);
  t.Second = static_cast<uint16_t>(v % 100);
  return t;
}

}  // namespace drmengine
