// Internal structures of the record engine: sessions, stores (one SQLite
// connection per session and database file), table metadata, cursors and
// the value conversions between the engine formats and stored values.
#pragma once

#include <sqlite3.h>

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/drm.h"
#include "engine/drm_values.h"

namespace drmengine {

// ---- Owned SQLite objects and descriptors -----------------------------------
// Releasing them never throws and never fails loudly: there is nobody left
// to tell.

struct StmtFinalizer {
  void operator()(sqlite3_stmt* st) const noexcept { sqlite3_finalize(st); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// sqlite3_close_v2: a connection whose statements are still alive closes
// when the last of them is finalized.
struct ConnectionCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : FFd(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : FFd(o.Release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }
  int Get() const noexcept { return FFd; }
  bool Valid() const noexcept { return FFd >= 0; }
  int Release() noexcept {
    int fd = FFd;
    FFd = -1;
    return fd;
  }
  void Reset(int fd = -1) noexcept {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }

 private:
  int FFd = -1;
};

// ---- Numbers in text ------------------------------------------------------------

// The whole text as a number; false when it is not one or does not fit.
template <typename T>
bool ParseNumber(std::string_view text, T& out, int base = 10) {
  const char* first = text.data();
  const char* last = first + text.size();
  T v{};
  auto r = std::from_chars(first, last, v, base);
  if (r.ec != std::errc() || r.ptr != last || first == last) return false;
  out = v;
  return true;
}
inline bool ParseNumber(std::string_view text, double& out) {
  const char* first = text.data();
  const char* last = first + text.size();
  double v = 0;
  auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last || first == last) return false;
  out = v;
  return true;
}

// Control characters are the bytes below 0x20 and DEL (0x7F); bytes above
// are text (UTF-8).
bool IsControlCharacter(char ch);
bool HasControlCharacter(std::string_view text);

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

// Binds a value; the SQLite result (SQLITE_TOOBIG for a value over the
// connection's length limit, which would otherwise be bound as NULL). A
// value bound without a copy must outlive the statement's use of it.
int BindVal(sqlite3_stmt* st, int idx, const Val& v, bool copy = true);
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
  int ColumnIndex(uint32_t cid) const { return cid < indexById.size() ? indexById[cid] : -1; }
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
// A constant or key compared with column `c` as the number it is: for a
// decimal column the value floor(constant x 10^scale), clamped to +-10^18,
// and `between` set when the constant lies strictly between that and the
// next scaled integer (never rounded, never refused for its precision);
// ConstToVal for every other column.
int32_t ComparableConst(const ColumnMeta& c, const void* data, uint32_t len, Val& out, bool& between,
                        std::string& what);
// The power of ten a column's stored integers are scaled by (0 integers,
// 4 currency, the scale of decimals), kRealScale for floating point,
// kNotNumeric for the rest.
inline constexpr int32_t kRealScale = -1;
inline constexpr int32_t kNotNumeric = -2;
int32_t NumericScaleOf(const ColumnMeta& c);
// A default text to the stored value; false, with the reason in `why`, when
// it is not a whole value of the column's type within the column's range
// and length (`out` is then left alone).
bool DefaultToVal(const ColumnMeta& c, const std::string& text, Val& out, std::string* why = nullptr);
int32_t ValidateColumnType(uint32_t colTyp, uint32_t cbMax, uint16_t precision, uint16_t scale,
                           std::string& what);
int32_t IntPower10(int64_t& v, int32_t power);  // 1 success, 0 overflow
// Stored dates are integers yyyymmdd, times hhmmss.
DRM_Date StoredToDate(int64_t v);
DRM_Time StoredToTime(int64_t v);

// ---- Locations and the named-database registry (locations.cpp) -----------

std::string DataDir();
std::string ConfigDir();
// Resolves a database name or path to a directory (or storage file) path.
// Returns 0 or a status with a detail text.
int32_t ResolveLocation(const std::string& name, std::string& path, std::string& what);
// The local path of a location (Windows-style or POSIX), existing or not:
// 0, or -1203 (another host's share) or -1023 (an unknown share) with `what`.
int32_t MapLocation(const std::string& windowsOrPosix, std::string& path, std::string& what);
bool HostIsLocal(const std::string& host);
// True when a location is a path (a separator or a drive prefix), false when
// it is the name of a named database.
bool NamesAPath(const std::string& location);
int BusyWaitMs();

struct NamedDatabase {
  std::string name;
  uint8_t flags[10] = {};
  std::string dictPath;
  std::string dataPath;
  // A line of the registry that cannot be read keeps its name (the text up
  // to the first tab) and is written back unchanged; `problem` says why it
  // cannot be used, naming the file and the line.
  std::string unreadLine;
  std::string problem;
  size_t line = 0;  // 1-based, in the file as read
  bool Readable() const { return problem.empty(); }
};
using RegistryFn = std::function<int32_t(std::vector<NamedDatabase>& list)>;
// Registry access under a file lock, waited for at most BusyWaitMs(); the
// callback may change the list and returns a status; the list is rewritten
// when `write` is set and the status is 0. Failures of its own: -1102 when
// the lock was not had in time, 2307 when the file or lock cannot be opened
// or read, 2306 when it cannot be rewritten; `what` says which.
int32_t WithRegistry(bool write, const RegistryFn& fn, std::string& what);
// The first entry of that name, compared without case; null when none.
const NamedDatabase* FindNamed(const std::vector<NamedDatabase>& list, const std::string& name);
// 1 to 20 characters, no control characters, no path separators or ':'.
bool IsValidDatabaseName(const std::string& name);

}  // namespace drmengine
