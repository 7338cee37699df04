// Opening and closing table cursors, their options and order, and moving
// them: first, last, next, previous, bookmarks, counts and percentages.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/engine/cursor_core.h"

namespace drmengine {

int32_t StoredRecordCount(Cursor* c, uint32_t& count) {
  int rc = SQLITE_OK;
  StmtPtr q = Prepare(c->store, "SELECT nrows FROM drm_tables WHERE id = ?", &rc);
  if (!q) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  if ((rc = sqlite3_bind_int64(q.get(), 1, c->meta->id)) == SQLITE_OK) rc = sqlite3_step(q.get());
  count = rc == SQLITE_ROW ? static_cast<uint32_t>(sqlite3_column_int64(q.get(), 0)) : 0;
  if (rc != SQLITE_ROW) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  return 0;
}

namespace {

// Counts the visible records, further restricted by `extra`.
int32_t CountVisible(Cursor* c, const std::string& extra, const std::vector<Val>& extraBinds, int64_t& n) {
  std::string what;
  if (c->visDirty)
    if (int32_t r = BuildVis(c, what)) return Fail(c->session, r, what);
  std::vector<Val> binds = c->visBinds;
  binds.insert(binds.end(), extraBinds.begin(), extraBinds.end());
  int rc;
  sqlite3_stmt* st = CachedStmt(c, "SELECT count(*) FROM " + c->meta->SqlName() + " WHERE " + c->vis + extra, &rc);
  if (!st) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  if ((rc = BindAll(st, binds)) == SQLITE_OK) rc = sqlite3_step(st);
  n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  sqlite3_reset(st);
  if (rc != SQLITE_ROW) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  return 0;
}

}  // namespace

}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t RareOpenTable(uint32_t hSession, uint32_t hDatabase, const char* tableName, uint32_t, int32_t mode,
                      uint32_t* hTable) noexcept {
  if (hTable) *hTable = 0;
  return SessionDatabaseEntry(__func__, hSession, hDatabase, [&](Engine& e, Session* s, DbHandle* d) -> int32_t {
    if (!tableName || !hTable) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no table name or handle place was given");
    return OpenTable(e, s, d, tableName, mode, *hTable);
  });
}

int32_t RareCloseTable(uint32_t hSession, uint32_t hTable) noexcept {
  return SessionEntry(__func__, hSession, [&](Engine& e, Session* s) -> int32_t {
    if (ResultCursor* r = e.FindResult(hTable)) {
      if (r->session != s) return NoTable(s, hTable);
      e.results.erase(hTable);
      return 0;
    }
    Cursor* c = e.FindCursor(hTable);
    if (!c || c->session != s) return NoTable(s, hTable);
    CloseCursor(e, c);
    return 0;
  });
}

int32_t RareSetTableOption(uint32_t hTable, int32_t option, const void* value) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (option == DRM_TBLOPT_SECURED) {
      c->securedFlag = value && *static_cast<const uint8_t*>(value) != 0;
      return 0;
    }
    if (option == DRM_TBLOPT_OWNER) {
      std::string owner = value ? static_cast<const char*>(value) : "";
      if (c->meta->owner.empty() || owner == c->meta->owner) {
        c->ownerReadOnly = false;
        return 0;
      }
      if (c->meta->accessMode == 1 || c->meta->accessMode == 3) {
        c->ownerReadOnly = true;
        return 0;
      }
      return Fail(c->session, DRM_ERR_ACCESS_DENIED,
                  "table '" + c->meta->name + "' is protected by an owner name and " +
                      (owner.empty() ? std::string("none was given") : "'" + owner + "' is not it"));
    }
    return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "table option " + std::to_string(option) + " is not 0 or 1");
  });
}

int32_t RareSetTableIndex(uint32_t hSession, uint32_t hTable, const char* indexName) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    std::string n = indexName ? indexName : "";
    int pos = -1;
    if (!n.empty()) {
      for (size_t i = 0; i < c->meta->indexes.size(); ++i)
        if (strcasecmp(c->meta->indexes[i].name.c_str(), n.c_str()) == 0) pos = static_cast<int>(i);
      if (pos < 0)
        return Fail(c->session, DRM_ERR_NO_SUCH_INDEX, "table '" + c->meta->name + "' has no index '" + n + "'");
    }
    c->rangeActive = false;
    for (int k = 2; k <= 4; ++k) c->slots[k].clear();
    CursorSetOrder(c, pos);
    return 0;
  });
}

// ---- Moves ------------------------------------------------------------------------

int32_t RareMove(uint32_t hSession, uint32_t hTable, uint32_t moveCode) noexcept {
  return SessionEntry(__func__, hSession, [&](Engine& e, Session* s) -> int32_t {
    if (ResultCursor* r = e.FindResult(hTable)) {
      // Catalog answers, like table cursors, belong to their session.
      if (r->session != s) return NoTable(s, hTable);
      long n = static_cast<long>(r->rows.size());
      long to;
      switch (moveCode) {
        case DRM_MOVE_FIRST: to = 0; break;
        case DRM_MOVE_LAST: to = n - 1; break;
        case DRM_MOVE_NEXT: to = r->pos + 1; break;
        case DRM_MOVE_PREVIOUS: to = r->pos - 1; break;
        default: return Fail(s, DRM_ERR_INVALID_PARAMETER, "move code " + std::to_string(moveCode) + " is not known");
      }
      if (to < 0 || to >= n) return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "the catalog answer has no further row");
      r->pos = to;
      return 0;
    }
    Cursor* c = e.FindCursor(hTable);
    if (!c || c->session != s) return NoTable(s, hTable);
    c->newView = false;
    switch (moveCode) {
      case DRM_MOVE_FIRST: return Fetch(c, 1, true);
      case DRM_MOVE_LAST: return Fetch(c, -1, true);
      case DRM_MOVE_NEXT: RequireKey(c); return Step(c, 1);
      case DRM_MOVE_PREVIOUS: RequireKey(c); return Step(c, -1);
    }
    return Fail(
        s, DRM_ERR_INVALID_PARAMETER, "move code 0x" + [&] {
          char b[16];
          std::snprintf(b, sizeof b, "%X", moveCode);
          return std::string(b);
        }() + " is not first, last, next or previous");
  });
}

int32_t RareGetBookmark(uint32_t hSession, uint32_t hTable, void* buffer, uint32_t bufferSize,
                        uint32_t* length) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!buffer || bufferSize < 4)
      return Fail(c->session, DRM_ERR_BUFFER_TOO_SMALL,
                  "a bookmark needs 4 bytes, " + std::to_string(bufferSize) + " were given");
    if (c->state != Cursor::OnRecord)
      return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to take a bookmark of");
    uint32_t b = static_cast<uint32_t>(c->bm);
    std::memcpy(buffer, &b, 4);
    if (length) *length = 4;
    return 0;
  });
}

int32_t RareGotoBookmark(uint32_t hSession, uint32_t hTable, const void* bookmark, uint32_t length) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!bookmark || length != 4)
      return Fail(c->session, DRM_ERR_INVALID_BOOKMARK,
                  "a bookmark is 4 bytes, " + std::to_string(length) + " were given");
    uint32_t b;
    std::memcpy(&b, bookmark, 4);
    if (b == 0 || b > 0x7FFFFFFFu || !LoadByBm(c, b))
      return Fail(c->session, DRM_ERR_RECORD_GONE, Describe(c) + " has no record with bookmark " + std::to_string(b));
    return 0;
  });
}

int32_t RareGetRecordCount(uint32_t hTable, uint32_t* count) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!count) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no place for the record count was given");
    return StoredRecordCount(c, *count);
  });
}

int32_t RareFindPercentage(uint32_t hTable, uint32_t* percentage) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!percentage) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no place for the percentage was given");
    if (c->state != Cursor::OnRecord)
      return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record");
    RequireKey(c);
    int64_t total = 0, upTo = 0;
    if (int32_t r = CountVisible(c, "", {}, total)) return r;
    if (total == 0) return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " shows no records");
    auto segs = PositionSegs(c);
    std::vector<const Val*> vals;
    for (auto& k : c->key) vals.push_back(&k);
    Val bmv = Val::MakeInt(c->bm);
    vals.push_back(&bmv);
    std::vector<Val> binds;
    std::string cond = " AND " + Lex(segs, vals, false, false, binds);
    if (int32_t r = CountVisible(c, cond, binds, upTo)) return r;
    *percentage = static_cast<uint32_t>((upTo * 20000 + total) / (2 * total));
    return 0;
  });
}

int32_t RareGetByPercentage(uint32_t hTable, uint32_t percentage) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    int64_t total = 0;
    if (int32_t r = CountVisible(c, "", {}, total)) return r;
    if (total == 0) return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " shows no records");
    int64_t k = (static_cast<int64_t>(percentage) * total * 2 + 10000) / 20000;
    if (k < 1) k = 1;
    if (k > total) k = total;
    c->newView = false;
    std::vector<Val> binds = c->visBinds;
    int rc;
    sqlite3_stmt* st = CachedStmt(c,
                                  "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE " + c->vis +
                                      " ORDER BY " + OrderBy(c, true) + " LIMIT 1 OFFSET ?",
                                  &rc);
    if (!st) return FailSql(c->session, c->store, rc, "positioning " + Describe(c));
    binds.push_back(Val::MakeInt(k - 1));
    if (c->live && c->live != st) DropLive(c);
    if ((rc = BindAll(st, binds)) == SQLITE_OK) rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
      sqlite3_reset(st);
      return rc == SQLITE_DONE
                 ? Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " shows fewer records than asked")
                 : FailSql(c->session, c->store, rc, "positioning " + Describe(c));
    }
    TakeRow(c, st, 0);  // direction 0: the next step re-seeks
    return 0;
  });
}

int32_t RareRefreshCurRecord(uint32_t hTable) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (c->state != Cursor::OnRecord)
      return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to refresh");
    if (!LoadByBm(c, c->bm)) {
      c->state = Cursor::Gap;
      return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, "the current record of " + Describe(c) + " was deleted");
    }
    return 0;
  });
}

}  // extern "C"
