// Internal structures of the record engine: sessions, stores (one SQLite
// connection per session and database file), table metadata, cursors and
// the value conversions between the engine formats and stored values.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/drm.h"

namespace drmengine {

// A stored value as SQLite keeps it.
struct Val {
  enum Kind : uint8_t { Null, Int, Real, Text, Blob } kind = Null;
  int64_t i = 0;
  double d = 0;
  std::string s;  // Text and Blob bytes

  static Val MakeInt(int64_t v) { Val r; r.kind = Int; r.i = v; return r; }
  static Val MakeReal(double v) { Val r; r.kind = Real; r.d = v; return r; }
  static Val MakeText(std::string v) { Val r; r.kind = Text; r.s = std::move(v); return r; }
  static Val MakeBlob(std::string v) { Val r; r.kind = Blob; r.s = std::move(v); return r; }
  bool IsNull() const { return kind == Null; }
  bool operator==(const Val& o) const;
};

void BindVal(sqlite3_stmt* st, int idx, const Val& v);
Val ColumnVal(sqlite3_stmt* st, int col);

struct ColumnMeta {
  uint32_t id = 0;
  uint32_t seq = 0;  // 1-based position
  std::string name;
  uint32_t colTyp = 0;
  uint32_t cbMax = 0;  // as created
  uint16_t precision = 0;
  uint16_t scale = 0;
  uint32_t grBit = 0;
  bool hasDefault = false;
  std::string defaultText;
  std::string collation;

  uint32_t Drm() const { return colTyp & 0xFF; }
  uint32_t Rm() const { return (colTyp >> 8) & 0xFF; }
  bool IsLong() const { return Drm() == DRM_TYPE_LONGBINARY || Drm() == DRM_TYPE_LONGTEXT; }
  bool IsText() const {
    return Drm() == DRM_TYPE_TEXT || Drm() == DRM_TYPE_ZSTRING || Drm() == DRM_TYPE_LONGTEXT;
  }
  bool CaseFolded() const;  // "_CASE" collation
  uint32_t ReportedCbMax() const;
  std::string SqlName() const { return "c" + std::to_string(id); }
};

struct SegmentMeta {
  uint32_t columnId = 0;
  bool descending = false;
};

struct IndexMeta {
  uint32_t number = 0;  // stable per table
  std::string name;
  uint32_t flags = 0;
  std::vector<SegmentMeta> segments;
};

struct TableMeta {
  int64_t id = 0;
  std::string name;
  std::string owner;
  int32_t accessMode = 0;
  std::vector<ColumnMeta> columns;  // creation order
  std::vector<IndexMeta> indexes;   // creation order
  std::vector<int> indexById;       // column id -> position in `columns`, -1 none
  std::string SqlName() const { return "t" + std::to_string(id); }
  const ColumnMeta* Column(uint32_t id) const;
  int ColumnIndex(uint32_t id) const;
  const IndexMeta* Index(const std::string& name) const;  // without regard to case
  bool SegmentNoCase(const IndexMeta& ix, const SegmentMeta& seg) const;
};

// ---- Value conversion (values.cpp) ---------------------------------------

// Engine bytes of a whole value to the stored value. Returns a status; for
// 5203 the value was cut. `what` receives a detail text on failure.
int32_t EngineToVal(const ColumnMeta& c, const void* data, uint32_t len, Val& out,
                    std::string& what);
// Stored value to engine bytes (the full engine form for fixed types).
void ValToEngine(const ColumnMeta& c, const Val& v, std::string& out);
// A filter/key constant (lenient about lengths) to a comparable stored value.
int32_t ConstToVal(const ColumnMeta& c, const void* data, uint32_t len, Val& out,
                   std::string& what);
// A default text to the stored value; false when it cannot be parsed.
bool DefaultToVal(const ColumnMeta& c, const std::string& text, Val& out);
int32_t ValidateColumnType(uint32_t colTyp, uint32_t cbMax, uint16_t precision, uint16_t scale,
                           std::string& what);
int32_t IntPower10(int64_t& v, int32_t power);  // 1 success, 0 overflow

// ---- Locations and the named-database registry (locations.cpp) -----------

std::string DataDir();
std::string ConfigDir();
// Resolves a database name or path to a directory (or storage file) path.
// Returns 0 or a status with a detail text.
int32_t ResolveLocation(const std::string& name, std::string& path, std::string& what);
std::string MapPath(const std::string& windowsOrPosix);
bool HostIsLocal(const std::string& host);
int BusyWaitMs();

struct NamedDatabase {
  std::string name;
  uint8_t flags[10] = {};
  std::string dictPath;
  std::string dataPath;
};
// Registry access under a file lock; the callback may change the list and
// returns a status; the list is rewritten when `write` is set and the status is 0.
int32_t WithRegistry(bool write,
                     int32_t (*fn)(std::vector<NamedDatabase>& list, void* ctx), void* ctx,
                     std::string& what);

}  // namespace drmengine
