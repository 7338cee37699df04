// Reading a stored value straight into a caller's buffer in the engine form
// of its column, for the common fixed and text types: from the row a scan
// statement stands on, or from a row the cursor holds in memory.
#pragma once

#include <cstring>

#include "platform/engine/engine_core.h"

namespace drmengine {

// A column of the row a statement stands on.
struct StatementValue {
  sqlite3_value* v;
  int Type() const { return sqlite3_value_type(v); }
  bool IntReadable() const { return true; }  // SQLite converts as the general path does
  int64_t Int() const { return sqlite3_value_int64(v); }
  double Real() const { return sqlite3_value_double(v); }
  const char* Text() const { return reinterpret_cast<const char*>(sqlite3_value_text(v)); }
  uint32_t Bytes() const { return static_cast<uint32_t>(sqlite3_value_bytes(v)); }
};

// A value held in memory (never NULL here: the caller answers that).
struct StoredValue {
  const Val& v;
  int Type() const {
    switch (v.kind) {
      case Val::Int: return SQLITE_INTEGER;
      case Val::Real: return SQLITE_FLOAT;
      case Val::Text: return SQLITE_TEXT;
      case Val::Blob: return SQLITE_BLOB;
      default: return SQLITE_NULL;
    }
  }
  // Only an integer is read as one here; the general path converts others.
  bool IntReadable() const { return v.kind == Val::Int; }
  int64_t Int() const { return v.i; }
  double Real() const { return v.d; }
  const char* Text() const { return v.s.data(); }
  uint32_t Bytes() const { return static_cast<uint32_t>(v.s.size()); }
};

// Returns 1 when the stored value or the buffer size needs the general path.
// Inlined where it is called: it runs for every column of every record read.
template <class Source>
[[gnu::always_inline]] inline int32_t FastReadValue(const ColumnMeta& col, const Source& value, char* out, uint32_t size, uint32_t* len) {
  const int type = value.Type();
  if (type == SQLITE_NULL) return DRM_WARN_NULL;
  auto putInt = [&](uint32_t n) -> int32_t {
    if (size < n || !value.IntReadable()) return 1;
    int64_t v = value.Int();
    std::memcpy(out, &v, n);  // little-endian: the low bytes
    *len = n;
    return 0;
  };
  switch (col.Drm()) {
    case DRM_TYPE_BOOLEAN:
    case DRM_TYPE_INT8: return putInt(1);
    case DRM_TYPE_INT16: return putInt(col.Rm() == RM_TYPE_AUTOINC ? 4 : 2);
    case DRM_TYPE_INT32: return putInt(4);
    case DRM_TYPE_CURRENCY: return putInt(8);
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: {
      uint32_t n = col.Drm() == DRM_TYPE_FLOAT ? 4 : 8;
      if (size < n || (type != SQLITE_FLOAT && type != SQLITE_INTEGER)) return 1;
      double d = type == SQLITE_FLOAT ? value.Real() : double(value.Int());
      if (n == 4) {
        float f = static_cast<float>(d);
        std::memcpy(out, &f, 4);
      } else {
        std::memcpy(out, &d, 8);
      }
      *len = n;
      return 0;
    }
    case DRM_TYPE_DATE:
    case DRM_TYPE_TIME: {
      // Stored as yyyymmdd or hhmmss; the engine forms are three 16-bit parts.
      if (size < 6 || type != SQLITE_INTEGER) return 1;
      int64_t v = value.Int();
      if (col.Drm() == DRM_TYPE_DATE) {
        const DRM_Date d = StoredToDate(v);
        std::memcpy(out, &d, sizeof d);
      } else {
        const DRM_Time t = StoredToTime(v);
        std::memcpy(out, &t, sizeof t);
      }
      *len = 6;
      return 0;
    }
    case DRM_TYPE_TEXT: {
      // Fixed text is stored without its trailing blanks and read back
      // blank-padded to the column width.
      if (type != SQLITE_TEXT || size < col.cbMax) return 1;
      uint32_t n = value.Bytes();
      if (n > col.cbMax) return 1;
      std::memcpy(out, value.Text(), n);
      std::memset(out + n, ' ', col.cbMax - n);
      if (col.cbMax < size) out[col.cbMax] = 0;
      *len = col.cbMax;
      return 0;
    }
    case DRM_TYPE_ZSTRING: {
      if (type != SQLITE_TEXT) return 1;
      const char* p = value.Text();
      uint32_t n = value.Bytes();
      if (size < n + 1) return 1;
      std::memcpy(out, p, n);
      out[n] = 0;
      *len = n + 1;
      return 0;
    }
    default: return 1;
  }
}

}  // namespace drmengine
