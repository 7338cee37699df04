// The update cycle: the pending row of a handle, its columns, posting it as
// an insert or an update, cancelling, deleting, and cutting long values.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/engine/cursor_core.h"

namespace drmengine {
namespace {

// The largest value the cursor's storage takes, in bytes.
uint64_t StorageMax(Cursor* c) {
  return static_cast<uint64_t>(sqlite3_limit(c->store->db.get(), SQLITE_LIMIT_LENGTH, -1));
}

// The row being written: each column's value, from the pending row or drawn
// for it.
using RowVals = std::vector<const Val*>;

int32_t Duplicate(Cursor* c, const RowVals& vals) {
  // Name the unique index whose key the row repeats.
  std::string msg = sqlite3_errmsg(c->store->db.get());
  for (auto& ix : c->meta->indexes) {
    if (!(ix.flags & (DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_PRIMARY))) continue;
    std::string cols, key;
    for (auto& sg : ix.segments) {
      cols += (cols.empty() ? "" : ", ") + c->meta->SqlName() + "." + c->meta->Column(sg.columnId)->SqlName();
      key += (key.empty() ? "" : ", ") + ValText(*vals[static_cast<size_t>(c->meta->ColumnIndex(sg.columnId))]);
    }
    if (msg.find(cols) != std::string::npos && (msg.size() - msg.find(cols)) == cols.size())
      return Fail(c->session, DRM_ERR_DUPLICATE_KEY,
                  "key value " + key + " already exists in unique index '" + ix.name + "' of " + Describe(c));
  }
  return Fail(c->session, DRM_ERR_DUPLICATE_KEY, "the row repeats a key value of a unique index of " + Describe(c));
}

int32_t WriteFailure(Cursor* c, int rc, const RowVals& vals, bool recordLevel) {
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) return Duplicate(c, vals);
  return FailSql(c->session, c->store, rc, "writing to " + Describe(c), recordLevel);
}

// Binds the value of column `col` as parameter `param`; a value the storage
// refuses is a failure naming its column, never a NULL. The writes run and
// reset their statements while the values they bind live, so nothing is
// copied.
int32_t BindColumn(Cursor* c, sqlite3_stmt* st, int param, size_t col, const Val& v) {
  int rc = BindVal(st, param, v, false);
  if (rc == SQLITE_OK) return 0;
  const std::string name = "column '" + c->meta->columns[col].name + "' of " + Describe(c);
  if (rc == SQLITE_TOOBIG)
    return Fail(c->session, DRM_ERR_FIELD_LENGTH,
                "the value of " + name + " (" + std::to_string(v.s.size()) +
                    " bytes) is larger than the storage takes (" +
                    std::to_string(sqlite3_limit(c->store->db.get(), SQLITE_LIMIT_LENGTH, -1)) + " bytes)");
  return FailSql(c->session, c->store, rc, "writing " + name);
}

// Binds the row's values as parameters `first`, `first` + 1, ...
int32_t BindRow(Cursor* c, sqlite3_stmt* st, int first, const RowVals& vals) {
  for (size_t i = 0; i < vals.size(); ++i)
    if (int32_t r = BindColumn(c, st, first + static_cast<int>(i), i, *vals[i])) return r;
  return 0;
}

// Inserts the pending row. Auto-increment columns at `numbered` draw the
// highest number plus one; run inside the write step, so no other writer
// can draw the same number in between.
int32_t InsertRow(Cursor* c, const std::vector<size_t>& numbered, int64_t& bm) {
  Session* s = c->session;
  const Pending& p = *c->pending;
  const auto& cols = c->meta->columns;
  const std::string t = c->meta->SqlName();
  RowVals row;
  for (const Val& v : p.vals) row.push_back(&v);
  std::vector<Val> numbers(numbered.size());
  int rc = SQLITE_OK;
  for (size_t k = 0; k < numbered.size(); ++k) {
    const ColumnMeta& col = cols[numbered[k]];
    sqlite3_stmt* q = CachedStmt(c, "SELECT coalesce(max(" + col.SqlName() + "), 0) + 1 FROM " + t, &rc);
    if (!q) return FailSql(s, c->store, rc, "numbering column '" + col.name + "' of " + Describe(c));
    ResetAtEnd reset(q);
    rc = sqlite3_step(q);
    if (rc != SQLITE_ROW) return FailSql(s, c->store, rc, "numbering column '" + col.name + "' of " + Describe(c));
    numbers[k] = Val::MakeInt(sqlite3_column_int64(q, 0));
    row[numbered[k]] = &numbers[k];
  }
  if (c->insertSql.empty()) {
    std::string names, qs;
    for (auto& col : cols) {
      names += ", " + col.SqlName();
      qs += ", ?";
    }
    c->insertSql = "INSERT INTO " + t + "(bm" + names + ") VALUES(NULL" + qs + ")";
  }
  sqlite3_stmt* st = CachedStmt(c, c->insertSql, &rc);
  if (!st) return FailSql(s, c->store, rc, "writing to " + Describe(c));
  ResetAtEnd reset(st);
  if (int32_t r = BindRow(c, st, 1, row)) return r;
  rc = sqlite3_step(st);
  if (rc != SQLITE_DONE) return WriteFailure(c, rc, row, false);
  bm = sqlite3_last_insert_rowid(c->store->db.get());
  return 0;
}

// Rewrites the edited record, but only while it is still stored as the edit
// found it: one conditional statement, so that no other writer's change can
// come between the comparison and the write and be overwritten.
int32_t RewriteRow(Cursor* c) {
  Session* s = c->session;
  const Pending& p = *c->pending;
  const auto& cols = c->meta->columns;
  const std::string t = c->meta->SqlName();
  // Only the columns the edit changed are written: SQLite rewrites every
  // index over a column the statement sets, changed or not.
  std::vector<size_t> changed;
  for (size_t i = 0; i < cols.size(); ++i)
    if (!(p.vals[i] == p.orig[i])) changed.push_back(i);
  if (c->rewriteSql.empty() || changed != c->rewriteCols) {
    std::string sets, same;
    for (size_t i : changed) sets += (sets.empty() ? "" : ", ") + cols[i].SqlName() + " = ?";
    for (auto& col : cols) same += " AND " + col.SqlName() + " IS ?";
    if (sets.empty()) sets = "bm = bm";
    c->rewriteSql = "UPDATE " + t + " SET " + sets + " WHERE bm = ?" + same;
    c->rewriteCols = changed;
  }
  RowVals row, orig;
  for (const Val& v : p.vals) row.push_back(&v);
  for (const Val& v : p.orig) orig.push_back(&v);
  int rc = SQLITE_OK;
  {
    sqlite3_stmt* st = CachedStmt(c, c->rewriteSql, &rc);
    if (!st) return FailSql(s, c->store, rc, "writing to " + Describe(c));
    ResetAtEnd reset(st);
    int param = 1;
    for (size_t i : changed)
      if (int32_t r = BindColumn(c, st, param++, i, *row[i])) return r;
    if ((rc = sqlite3_bind_int64(st, param, p.bm)) != SQLITE_OK)
      return FailSql(s, c->store, rc, "writing to " + Describe(c));
    if (int32_t r = BindRow(c, st, param + 1, orig)) return r;
    rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return WriteFailure(c, rc, row, true);
  }
  if (sqlite3_changes(c->store->db.get()) > 0) return 0;
  // Nothing matched: the record is gone or no longer what was read.
  sqlite3_stmt* q = CachedStmt(c, "SELECT 1 FROM " + t + " WHERE bm = ?", &rc);
  if (!q) return FailSql(s, c->store, rc, "reading " + Describe(c));
  ResetAtEnd reset(q);
  if ((rc = sqlite3_bind_int64(q, 1, p.bm)) == SQLITE_OK) rc = sqlite3_step(q);
  const std::string record = "record " + std::to_string(p.bm) + " of " + Describe(c);
  if (rc == SQLITE_DONE) return Fail(s, DRM_ERR_NO_CURRENT_RECORD, record + " was deleted while it was edited");
  if (rc != SQLITE_ROW) return FailSql(s, c->store, rc, "reading " + Describe(c), true);
  return Fail(s, DRM_ERR_RECORD_LOCKED, record + " was changed by another user since it was read");
}

}  // namespace
}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t RareInitUpdate(uint32_t hSession, uint32_t hTable, int32_t mode) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    switch (mode) {
      case DRM_INITUPD_RELEASE:
      case DRM_INITUPD_KEEP: return 0;
      case DRM_INITUPD_VIEW_PENDING: c->forcedView = c->pending.has_value(); return 0;
      case DRM_INITUPD_VIEW_STORED: c->forcedView = false; return 0;
      case DRM_INITUPD_NEW:
      case DRM_INITUPD_CURRENT: break;
      default: return Fail(s, DRM_ERR_INVALID_PARAMETER, "update mode " + std::to_string(mode) + " is not known");
    }
    if (c->readOnly || c->ownerReadOnly)
      return Fail(s, DRM_ERR_PERMISSION_DENIED, Describe(c) + " is open for reading only");
    if (mode == DRM_INITUPD_NEW) {
      CursorReleaseLock(c);
      Pending p;
      p.isNew = true;
      for (auto& col : c->meta->columns) {
        Val v;
        if (col.Rm() == RM_TYPE_AUTOINC) v = Val::MakeInt(0);
        if (col.hasDefault) DefaultToVal(col, col.defaultText, v);
        p.vals.push_back(std::move(v));
      }
      c->pending = std::move(p);
      c->newView = true;
      c->forcedView = false;
      return 0;
    }
    if (c->state != Cursor::OnRecord)
      return Fail(s, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to edit");
    auto key = std::make_pair(c->meta->id, c->bm);
    auto& locks = c->store->shared->recordLocks;
    auto it = locks.find(key);
    if (it != locks.end() && it->second != c->handle)
      return Fail(s, DRM_ERR_RECORD_LOCKED,
                  "record " + std::to_string(c->bm) + " of " + Describe(c) + " is being edited through another handle");
    if (!LoadByBm(c, c->bm)) {
      c->state = Cursor::Gap;
      return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "the current record of " + Describe(c) + " was deleted");
    }
    CursorReleaseLock(c);
    Pending p;
    p.bm = c->bm;
    p.vals = c->rowCache;
    p.orig = c->rowCache;
    c->pending = std::move(p);
    locks[key] = c->handle;
    c->newView = false;
    return 0;
  });
}

int32_t RareSetColumn(uint32_t hSession, uint32_t hTable, uint32_t columnId, const void* data, uint32_t length,
                      int32_t chunk, int32_t setNull, uint32_t offset) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    if (!c->pending) return Fail(s, DRM_ERR_NO_PENDING_ROW, Describe(c) + " has no row being edited");
    int idx = c->meta->ColumnIndex(columnId);
    if (idx < 0)
      return Fail(s, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
    const ColumnMeta& col = c->meta->columns[static_cast<size_t>(idx)];
    Val& target = c->pending->vals[static_cast<size_t>(idx)];
    if (setNull) {
      target = Val();
      return 0;
    }
    if (length && !data) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no data was given for column '" + col.name + "'");
    // A long value may be as long as the storage takes a value to be; a
    // note is cut to its own size first. Checked before anything is
    // allocated or copied.
    const uint64_t storageMax = StorageMax(c);
    const uint64_t noteMax = col.Rm() == RM_TYPE_NOTE ? col.ReportedCbMax() : UINT64_MAX;
    if (chunk) {
      if (!col.IsLong())
        return Fail(s, DRM_ERR_INVALID_PARAMETER, "column '" + col.name + "' is not a long value and takes no chunks");
      const uint64_t end = uint64_t{offset} + length;
      if (std::min(end, noteMax) > storageMax)
        return Fail(s, DRM_ERR_FIELD_LENGTH,
                    "writing " + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                        " of column '" + col.name + "' of " + Describe(c) + " would make a value of " +
                        std::to_string(end) + " bytes; a long value holds at most " + std::to_string(storageMax));
      if (target.kind != Val::Blob) target = Val::MakeBlob("");
      int32_t st = 0;
      if (target.s.size() < end)
        target.s.resize(static_cast<size_t>(std::min(end, std::max<uint64_t>(noteMax, target.s.size()))), '\0');
      uint64_t n = length;
      if (end > noteMax) {
        n = offset >= noteMax ? 0 : noteMax - offset;
        st = DRM_WARN_BLOB_TRUNCATED;
      }
      if (n) std::memcpy(&target.s[offset], data, static_cast<size_t>(n));
      return st;
    }
    if (col.IsLong()) {
      // Long text ends at its first NUL.
      uint64_t n = length;
      if (col.Drm() == DRM_TYPE_LONGTEXT && data)
        if (const void* nul = std::memchr(data, '\0', length)) n = static_cast<uint64_t>(static_cast<const char*>(nul) - static_cast<const char*>(data));
      if (std::min(n, noteMax) > storageMax)
        return Fail(s, DRM_ERR_FIELD_LENGTH,
                    std::to_string(n) + " bytes given for column '" + col.name + "' of " + Describe(c) +
                        "; a long value holds at most " + std::to_string(storageMax));
    }
    std::string what;
    Val v;
    int32_t r = EngineToVal(col, data, length, v, what);
    if (r < 0) return Fail(s, r, what);
    target = std::move(v);
    return r;
  });
}

int32_t RareUpdateRecord(uint32_t hSession, uint32_t hTable) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    if (!c->pending) return Fail(s, DRM_ERR_NO_PENDING_ROW, Describe(c) + " has no row being edited");
    if (c->readOnly || c->ownerReadOnly)
      return Fail(s, DRM_ERR_PERMISSION_DENIED, Describe(c) + " is open for reading only");
    const Pending& p = *c->pending;
    const auto& cols = c->meta->columns;
    // Auto-increment columns of a new row written as 0 or NULL draw a number.
    std::vector<size_t> numbered;
    for (size_t i = 0; i < cols.size(); ++i) {
      const Val& v = p.vals[i];
      if (p.isNew && cols[i].Rm() == RM_TYPE_AUTOINC && (v.IsNull() || (v.kind == Val::Int && v.i == 0)))
        numbered.push_back(i);
      else if ((cols[i].grBit & DRM_COLFLAG_REQUIRED) && v.IsNull())
        return Fail(s, DRM_ERR_NULL_NOT_VALID, "column '" + cols[i].name + "' of " + Describe(c) + " requires a value");
    }
    if (c->store->txnDepth == 0) StopReaders(c->store);
    const bool windowUsable = WindowUsableBeforeWrite(c);
    const bool isNew = p.isNew;
    WriteStep step(c->store);
    if (int rc = step.Begin()) return FailSql(s, c->store, rc, "writing to " + Describe(c), !isNew);
    int64_t bm = p.bm;
    if (int32_t r = isNew ? InsertRow(c, numbered, bm) : RewriteRow(c)) return r;
    if (int rc = step.Commit()) return FailSql(s, c->store, rc, "writing to " + Describe(c), !isNew);
    ++c->store->shared->version;
    CursorReleaseLock(c);
    c->pending.reset();
    c->newView = false;
    c->forcedView = false;
    LoadByBm(c, bm);
    WindowAfterPost(c, windowUsable, isNew, bm);
    return 0;
  });
}

int32_t RareCancelUpdate(uint32_t hSession, uint32_t hTable) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    CursorReleaseLock(c);
    c->pending.reset();
    c->newView = false;
    c->forcedView = false;
    return 0;
  });
}

int32_t RareDeleteRecord(uint32_t hSession, uint32_t hTable) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    if (c->readOnly || c->ownerReadOnly)
      return Fail(s, DRM_ERR_PERMISSION_DENIED, Describe(c) + " is open for reading only");
    if (c->state != Cursor::OnRecord)
      return Fail(s, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to delete");
    auto key = std::make_pair(c->meta->id, c->bm);
    auto& locks = c->store->shared->recordLocks;
    auto it = locks.find(key);
    if (it != locks.end() && it->second != c->handle)
      return Fail(s, DRM_ERR_RECORD_LOCKED,
                  "record " + std::to_string(c->bm) + " of " + Describe(c) + " is being edited through another handle");
    RequireKey(c);
    if (c->store->txnDepth == 0) StopReaders(c->store);
    const bool windowUsable = WindowUsableBeforeWrite(c);
    int rc;
    sqlite3_stmt* st = CachedStmt(c, "DELETE FROM " + c->meta->SqlName() + " WHERE bm = ?", &rc);
    if (!st) return FailSql(s, c->store, rc, "deleting from " + Describe(c));
    sqlite3_reset(st);
    if ((rc = sqlite3_bind_int64(st, 1, c->bm)) == SQLITE_OK) rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return FailSql(s, c->store, rc, "deleting from " + Describe(c), true);
    if (sqlite3_changes(c->store->db.get()) == 0) {
      c->state = Cursor::Gap;
      return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "the current record of " + Describe(c) + " was already deleted");
    }
    ++c->store->shared->version;
    WindowAfterDelete(c, windowUsable, c->bm);
    if (c->pending && !c->pending->isNew && c->pending->bm == c->bm) {
      CursorReleaseLock(c);
      c->pending.reset();
    }
    c->state = Cursor::Gap;
    c->rowCacheValid = false;
    DropLive(c);
    return 0;
  });
}

int32_t RareTruncateBlob(uint32_t hTable, uint32_t columnId, uint32_t length) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!c->pending) return Fail(c->session, DRM_ERR_NO_PENDING_ROW, Describe(c) + " has no row being edited");
    int idx = c->meta->ColumnIndex(columnId);
    if (idx < 0)
      return Fail(c->session, DRM_ERR_INVALID_COLUMN_ID,
                  Describe(c) + " has no column with id " + std::to_string(columnId));
    if (!c->meta->columns[static_cast<size_t>(idx)].IsLong())
      return Fail(c->session, DRM_ERR_INVALID_PARAMETER,
                  "column '" + c->meta->columns[static_cast<size_t>(idx)].name + "' is not a long value");
    Val& v = c->pending->vals[static_cast<size_t>(idx)];
    if (v.kind == Val::Blob && v.s.size() > length) v.s.resize(length);
    return 0;
  });
}

}  // extern "C"
