// The update cycle: the pending row of a handle, its columns, posting it as
// an insert or an update, cancelling, deleting, and cutting long values.
#include <algorithm>
#include <cstring>

#include "platform/engine/cursor_core.h"

namespace drmengine {
namespace {

int32_t Duplicate(Cursor* c, const std::vector<Val>& vals) {
  // Name the unique index whose key the row repeats.
  std::string msg = sqlite3_errmsg(c->store->db.get());
  for (auto& ix : c->meta->indexes) {
    if (!(ix.flags & (DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_PRIMARY))) continue;
    std::string cols, key;
    for (auto& sg : ix.segments) {
      cols += (cols.empty() ? "" : ", ") + c->meta->SqlName() + "." + c->meta->Column(sg.columnId)->SqlName();
      key += (key.empty() ? "" : ", ") + ValText(vals[static_cast<size_t>(c->meta->ColumnIndex(sg.columnId))]);
    }
    if (msg.find(cols) != std::string::npos && (msg.size() - msg.find(cols)) == cols.size())
      return Fail(c->session, DRM_ERR_DUPLICATE_KEY,
                  "key value " + key + " already exists in unique index '" + ix.name + "' of " + Describe(c));
  }
  return Fail(c->session, DRM_ERR_DUPLICATE_KEY, "the row repeats a key value of a unique index of " + Describe(c));
}

int32_t WriteFailure(Cursor* c, int rc, const std::vector<Val>& vals, bool recordLevel) {
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) return Duplicate(c, vals);
  return FailSql(c->session, c->store, rc, "writing to " + Describe(c), recordLevel);
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
    if (chunk) {
      if (!col.IsLong())
        return Fail(s, DRM_ERR_INVALID_PARAMETER, "column '" + col.name + "' is not a long value and takes no chunks");
      if (target.kind != Val::Blob) target = Val::MakeBlob("");
      uint64_t end = uint64_t{offset} + length;
      if (end > 0x7FFFFFFEu)
        return Fail(s, DRM_ERR_FIELD_LENGTH, "long value of column '" + col.name + "' would exceed 2 GB");
      int32_t st = 0;
      uint64_t limit = col.Rm() == RM_TYPE_NOTE ? col.ReportedCbMax() : 0x7FFFFFFEu;
      if (target.s.size() < end)
        target.s.resize(static_cast<size_t>(std::min<uint64_t>(end, std::max<uint64_t>(limit, target.s.size()))), '\0');
      uint64_t n = length;
      if (end > limit) {
        n = offset >= limit ? 0 : limit - offset;
        st = DRM_WARN_BLOB_TRUNCATED;
      }
      if (n) std::memcpy(&target.s[offset], data, static_cast<size_t>(n));
      return st;
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
    Pending& p = *c->pending;
    auto& cols = c->meta->columns;
    if (c->store->txnDepth == 0) StopReaders(c->store);
    std::vector<Val> vals = p.vals;
    const std::string t = c->meta->SqlName();
    for (size_t i = 0; i < cols.size(); ++i) {
      if (cols[i].Rm() == RM_TYPE_AUTOINC && p.isNew &&
          (vals[i].IsNull() || (vals[i].kind == Val::Int && vals[i].i == 0))) {
        int rc = SQLITE_OK;
        StmtPtr q = Prepare(c->store, "SELECT coalesce(max(" + cols[i].SqlName() + "), 0) + 1 FROM " + t, &rc);
        if (q) rc = sqlite3_step(q.get());
        if (rc == SQLITE_ROW) vals[i] = Val::MakeInt(sqlite3_column_int64(q.get(), 0));
        if (rc != SQLITE_ROW)
          return FailSql(s, c->store, rc, "numbering column '" + cols[i].name + "' of " + Describe(c));
      }
      if ((cols[i].grBit & DRM_COLFLAG_REQUIRED) && vals[i].IsNull())
        return Fail(s, DRM_ERR_NULL_NOT_VALID, "column '" + cols[i].name + "' of " + Describe(c) + " requires a value");
    }
    int rc;
    if (p.isNew) {
      std::string names = "", qs = "";
      for (auto& col : cols) {
        names += ", " + col.SqlName();
        qs += ", ?";
      }
      sqlite3_stmt* st = CachedStmt(c, "INSERT INTO " + t + "(bm" + names + ") VALUES(NULL" + qs + ")", &rc);
      if (!st) return FailSql(s, c->store, rc, "writing to " + Describe(c));
      BindAll(st, vals);
      rc = sqlite3_step(st);
      sqlite3_reset(st);
      if (rc != SQLITE_DONE) return WriteFailure(c, rc, vals, false);
      int64_t bm = sqlite3_last_insert_rowid(c->store->db.get());
      ++c->store->shared->version;
      c->pending.reset();
      c->newView = false;
      c->forcedView = false;
      LoadByBm(c, bm);
      return 0;
    }
    // The stored row must still be what the edit started from.
    int64_t bm = p.bm;
    {
      sqlite3_stmt* st = CachedStmt(c, "SELECT " + SelectList(c) + " FROM " + t + " WHERE bm = ?", &rc);
      if (!st) return FailSql(s, c->store, rc, "reading " + Describe(c));
      sqlite3_reset(st);
      sqlite3_bind_int64(st, 1, bm);
      rc = sqlite3_step(st);
      if (rc == SQLITE_DONE) {
        sqlite3_reset(st);
        return Fail(s, DRM_ERR_NO_CURRENT_RECORD,
                    "record " + std::to_string(bm) + " of " + Describe(c) + " was deleted while it was edited");
      }
      if (rc != SQLITE_ROW) {
        sqlite3_reset(st);
        return FailSql(s, c->store, rc, "reading " + Describe(c), true);
      }
      bool same = true;
      for (size_t i = 0; i < cols.size() && same; ++i) same = ColumnVal(st, static_cast<int>(i + 1)) == p.orig[i];
      sqlite3_reset(st);
      if (!same)
        return Fail(
            s, DRM_ERR_RECORD_LOCKED,
            "record " + std::to_string(bm) + " of " + Describe(c) + " was changed by another user since it was read");
    }
    std::string sets;
    for (auto& col : cols) sets += (sets.empty() ? "" : ", ") + col.SqlName() + " = ?";
    if (sets.empty()) sets = "bm = bm";
    sqlite3_stmt* st = CachedStmt(c, "UPDATE " + t + " SET " + sets + " WHERE bm = ?", &rc);
    if (!st) return FailSql(s, c->store, rc, "writing to " + Describe(c));
    BindAll(st, vals);
    sqlite3_bind_int64(st, static_cast<int>(cols.size() + 1), bm);
    rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return WriteFailure(c, rc, vals, true);
    ++c->store->shared->version;
    CursorReleaseLock(c);
    c->pending.reset();
    c->forcedView = false;
    LoadByBm(c, bm);
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
    int rc;
    sqlite3_stmt* st = CachedStmt(c, "DELETE FROM " + c->meta->SqlName() + " WHERE bm = ?", &rc);
    if (!st) return FailSql(s, c->store, rc, "deleting from " + Describe(c));
    sqlite3_reset(st);
    sqlite3_bind_int64(st, 1, c->bm);
    rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return FailSql(s, c->store, rc, "deleting from " + Describe(c), true);
    if (sqlite3_changes(c->store->db.get()) == 0) {
      c->state = Cursor::Gap;
      return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "the current record of " + Describe(c) + " was already deleted");
    }
    ++c->store->shared->version;
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
