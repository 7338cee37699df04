// Reading columns: of table cursors (through the read view) and of catalog
// answers, and the size of long values.
#include <algorithm>
#include <cstring>

#include "platform/engine/cursor_core.h"
#include "platform/engine/fast_read.h"

namespace drmengine {
namespace {

// Reads column i of the live row straight into out in the engine form of
// col. Returns 1 when the stored value or the buffer size needs the general
// path. The row's value is taken once and read through the sqlite3_value
// calls: the connection is opened without SQLite's own mutex and used only
// under the engine lock, so the value needs no protection of its own, and
// each sqlite3_column_* call would look the column up again.
int32_t FastRead(const ColumnMeta& col, sqlite3_stmt* st, int i, char* out, uint32_t size, uint32_t* len) {
  return FastReadValue(col, StatementValue{sqlite3_column_value(st, i)}, out, size, len);
}

}  // namespace
}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t RareRetrieveColumn(uint32_t hSession, uint32_t hTable, uint32_t columnId, void* buffer, uint32_t bufferSize,
                           uint32_t* length, const DRM_RetrieveStruct* chunk) noexcept {
  return SessionEntry(__func__, hSession, [&](Engine& e, Session* s) -> int32_t {
    uint32_t dummy = 0;
    if (!length) length = &dummy;
    *length = 0;
    if (bufferSize && !buffer)
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "no buffer was given for " + std::to_string(bufferSize) + " bytes");
    // Table cursors first: they are read per column of every record, catalog
    // answers only while a catalog is walked.
    Cursor* c = e.FindCursor(hTable);
    if (ResultCursor* r = c ? nullptr : e.FindResult(hTable)) {
      if (r->session != s) return NoTable(s, hTable);
      if (r->pos < 0 || r->pos >= static_cast<long>(r->rows.size()))
        return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "the catalog answer stands on no row");
      if (columnId < 1 || columnId > r->widths.size())
        return Fail(s, DRM_ERR_INVALID_COLUMN_ID, "the catalog answer has no column " + std::to_string(columnId));
      const Val& v = r->rows[static_cast<size_t>(r->pos)][columnId - 1];
      uint8_t w = r->widths[columnId - 1];
      if (w == 0) {
        if (bufferSize < v.s.size() + 1) {
          if (bufferSize) {
            std::memcpy(buffer, v.s.data(), bufferSize - 1);
            static_cast<char*>(buffer)[bufferSize - 1] = 0;
          }
          *length = bufferSize;
          return DRM_WARN_TRUNCATED;
        }
        std::memcpy(buffer, v.s.c_str(), v.s.size() + 1);
        *length = static_cast<uint32_t>(v.s.size() + 1);
        return 0;
      }
      if (bufferSize < w)
        return Fail(s, DRM_ERR_BUFFER_TOO_SMALL,
                    "catalog column " + std::to_string(columnId) + " needs " + std::to_string(w) + " bytes");
      if (w == 2) {
        uint16_t x = static_cast<uint16_t>(v.i);
        std::memcpy(buffer, &x, 2);
      } else {
        uint32_t x = static_cast<uint32_t>(v.i);
        std::memcpy(buffer, &x, 4);
      }
      *length = w;
      return 0;
    }
    if (!c || c->session != s) return NoTable(s, hTable);
    int idx = c->meta->ColumnIndex(columnId);
    if (idx < 0)
      return Fail(s, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
    const ColumnMeta& col = c->meta->columns[static_cast<size_t>(idx)];
    char* out = static_cast<char*>(buffer);
    if (!c->pending && !c->forcedView && c->rowFromLive && c->live && c->liveVersion == c->store->shared->version &&
        c->state == Cursor::OnRecord && !col.IsLong()) {
      int32_t r = FastRead(col, c->live, idx + 1, out, bufferSize, length);
      if (r != 1) return r;
    }
    int32_t status = 0;
    const Val* v = ReadView(c, static_cast<size_t>(idx), status);
    if (!v) return status;
    if (v->IsNull()) return DRM_WARN_NULL;
    if (!col.IsLong()) {
      int32_t r = FastReadValue(col, StoredValue{*v}, out, bufferSize, length);
      if (r != 1) return r;
    }
    if (col.IsLong()) {
      uint32_t total = static_cast<uint32_t>(v->s.size());
      if (bufferSize == 0) {
        *length = total;
        return 0;
      }
      uint32_t off = chunk ? chunk->Offset : 0;
      uint32_t n = off >= total ? 0 : std::min(bufferSize, total - off);
      if (n) std::memcpy(out, v->s.data() + off, n);
      *length = n;
      return 0;
    }
    std::string& bytes = c->scratch;
    ValToEngine(col, *v, bytes);
    if (col.Drm() == DRM_TYPE_ZSTRING) bytes.push_back('\0');
    if (bytes.size() > bufferSize) {
      if (bufferSize) std::memcpy(out, bytes.data(), bufferSize);
      *length = bufferSize;
      return DRM_WARN_TRUNCATED;
    }
    std::memcpy(out, bytes.data(), bytes.size());
    if (col.Drm() == DRM_TYPE_TEXT && bytes.size() < bufferSize) out[bytes.size()] = 0;
    *length = static_cast<uint32_t>(bytes.size());
    return 0;
  });
}

int32_t RareGetBlobSize(uint32_t hTable, uint32_t columnId, int32_t* size) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!size) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no place for the size was given");
    int idx = c->meta->ColumnIndex(columnId);
    if (idx < 0)
      return Fail(c->session, DRM_ERR_INVALID_COLUMN_ID,
                  Describe(c) + " has no column with id " + std::to_string(columnId));
    int32_t status = 0;
    const Val* v = ReadView(c, static_cast<size_t>(idx), status);
    if (!v) return status;
    *size = v->IsNull() ? 0 : static_cast<int32_t>(v->s.size());
    return 0;
  });
}

}  // extern "C"
