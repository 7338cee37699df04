// Cursor machinery shared by the cursor calls: SQL of orders and keys, the
// statement cache, positioning, the read view, and opening and closing.
#include "platform/engine/cursor_core.h"

namespace drmengine {

// ---- SQL of orders and keys -----------------------------------------------------

std::string SegSql(const Cursor* c, int colIndex, bool nocase) {
  if (colIndex < 0) return "bm";
  std::string x = c->meta->columns[static_cast<size_t>(colIndex)].SqlName();
  return nocase ? x + " COLLATE NOCASE" : x;
}

std::string Lex(const std::vector<LexSeg>& segs, const std::vector<const Val*>& vals, bool forward, bool strict,
                std::vector<Val>& binds, size_t i) {
  if (i == segs.size()) return strict ? "0" : "1";
  const LexSeg& s = segs[i];
  const Val& v = *vals[i];
  bool greater = forward != s.desc;
  std::string beyond, eq;
  if (greater) {
    if (v.IsNull())
      beyond = s.expr + " IS NOT NULL";
    else {
      beyond = s.expr + " > ?";
      binds.push_back(v);
    }
  } else {
    if (v.IsNull())
      beyond = "0";
    else {
      beyond = s.neverNull ? s.expr + " < ?" : "(" + s.expr + " < ? OR " + s.expr + " IS NULL)";
      binds.push_back(v);
    }
  }
  if (i + 1 == segs.size() && strict) return "(" + beyond + ")";
  if (v.IsNull())
    eq = s.expr + " IS NULL";
  else {
    eq = s.expr + " = ?";
    binds.push_back(v);
  }
  std::string rest = Lex(segs, vals, forward, strict, binds, i + 1);
  return "(" + beyond + " OR (" + eq + " AND " + rest + "))";
}

std::string LeadBound(const LexSeg& s, const Val& v, bool forward, std::vector<Val>& binds) {
  if (v.IsNull() || forward == s.desc) return "";
  binds.push_back(v);
  return s.expr + " >= ? AND ";
}

std::string UpperLeadBound(const LexSeg& s, const Val& v, bool forward, std::vector<Val>& binds, bool& nullTail) {
  nullTail = false;
  if (v.IsNull() || forward != s.desc) return "";
  binds.push_back(v);
  // NULL sorts below every value but fails the bound: those rows come last
  // in this direction and are read by a scan of their own.
  nullTail = !s.neverNull;
  return s.expr + " <= ? AND ";
}

const std::string& SelectList(Cursor* c) {
  if (c->selectSql.empty()) {
    std::string s = "bm";
    for (auto& col : c->meta->columns) {
      s += ", ";
      s += col.SqlName();
    }
    c->selectSql = s;
  }
  return c->selectSql;
}

const std::string& OrderBy(Cursor* c, bool forward) {
  std::string& cached = forward ? c->orderFwd : c->orderBwd;
  if (cached.empty()) {
    std::string s;
    for (auto& o : c->order) {
      s += SegSql(c, o.colIndex, o.nocase);
      s += (o.desc != !forward) ? " DESC, " : ", ";
    }
    s += forward ? "bm" : "bm DESC";
    cached = s;
  }
  return cached;
}

std::vector<LexSeg> PositionSegs(const Cursor* c) {
  std::vector<LexSeg> segs;
  for (auto& o : c->order) segs.push_back({SegSql(c, o.colIndex, o.nocase), o.desc, false});
  segs.push_back({"bm", false, true});
  return segs;
}

// ---- Statements and rows --------------------------------------------------------

void LoadVal(Val& v, sqlite3_stmt* st, int col) {
  // One look-up of the column; its value is read as stored (no conversion).
  sqlite3_value* x = sqlite3_column_value(st, col);
  switch (sqlite3_value_type(x)) {
    case SQLITE_INTEGER:
      v.kind = Val::Int;
      v.i = sqlite3_value_int64(x);
      break;
    case SQLITE_FLOAT:
      v.kind = Val::Real;
      v.d = sqlite3_value_double(x);
      break;
    case SQLITE_TEXT:
      v.kind = Val::Text;
      v.s.assign(reinterpret_cast<const char*>(sqlite3_value_text(x)), static_cast<size_t>(sqlite3_value_bytes(x)));
      break;
    case SQLITE_BLOB: {
      v.kind = Val::Blob;
      const void* p = sqlite3_value_blob(x);
      v.s.assign(p ? static_cast<const char*>(p) : "", static_cast<size_t>(sqlite3_value_bytes(x)));
      break;
    }
    default: v.kind = Val::Null; break;
  }
}

sqlite3_stmt* CachedStmt(Cursor* c, const std::string& sql, int* rc) {
  auto it = c->stmts.find(sql);
  if (it != c->stmts.end()) return it->second.get();
  if (c->stmts.size() > 48) CursorResetStatements(c);
  StmtPtr st = Prepare(c->store, sql, rc);
  if (!st) return nullptr;
  return c->stmts.emplace(sql, std::move(st)).first->second.get();
}

int BindAll(sqlite3_stmt* st, const std::vector<Val>& binds, bool copy) {
  sqlite3_reset(st);
  for (size_t i = 0; i < binds.size(); ++i)
    if (int rc = BindVal(st, static_cast<int>(i + 1), binds[i], copy); rc != SQLITE_OK) return rc;
  return SQLITE_OK;
}

std::string Describe(const Cursor* c) { return "table '" + c->meta->name + "'"; }

std::string ValText(const Val& v) {
  switch (v.kind) {
    case Val::Null: return "NULL";
    case Val::Int: return std::to_string(v.i);
    case Val::Real: return std::to_string(v.d);
    case Val::Text: return "'" + v.s + "'";
    default: return "(" + std::to_string(v.s.size()) + " bytes)";
  }
}

// ---- Position -------------------------------------------------------------------

void TakeRow(Cursor* c, sqlite3_stmt* st, int dir) {
  c->bm = sqlite3_column_int64(st, 0);
  c->key.resize(c->order.size());
  for (size_t i = 0; i < c->order.size(); ++i) LoadVal(c->key[i], st, c->order[i].colIndex + 1);
  c->state = Cursor::OnRecord;
  c->live = st;
  c->liveDir = dir;
  c->liveVersion = c->store->shared->version;
  c->rowFromLive = true;
  c->rowCacheValid = false;
  c->liveNullTail = false;
}

void DropLive(Cursor* c) {
  if (c->live) sqlite3_reset(c->live);
  c->live = nullptr;
  c->rowFromLive = false;
  c->liveNullTail = false;
}

bool LoadByBm(Cursor* c, int64_t bm) {
  if (WindowLoad(c, bm)) return true;
  int rc;
  if (c->byBookmarkSql.empty())
    c->byBookmarkSql = "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE bm = ?";
  sqlite3_stmt* st = CachedStmt(c, c->byBookmarkSql, &rc);
  if (!st) return false;
  sqlite3_reset(st);
  if (sqlite3_bind_int64(st, 1, bm) != SQLITE_OK || sqlite3_step(st) != SQLITE_ROW) {
    sqlite3_reset(st);
    return false;
  }
  if (c->live && c->live != st) DropLive(c);
  c->bm = bm;
  c->rowCache.resize(c->meta->columns.size());
  for (size_t i = 0; i < c->meta->columns.size(); ++i) LoadVal(c->rowCache[i], st, static_cast<int>(i + 1));
  c->key.resize(c->order.size());
  for (size_t i = 0; i < c->order.size(); ++i) c->key[i] = c->rowCache[static_cast<size_t>(c->order[i].colIndex)];
  sqlite3_reset(st);
  c->live = nullptr;
  c->rowFromLive = false;
  c->rowCacheValid = true;
  c->rowCacheVersion = c->store->shared->version;
  c->state = Cursor::OnRecord;
  return true;
}

namespace {

constexpr size_t kMaxSeekShapes = 8;

// Bit i set when key value i is NULL; false when the key is too long for the
// mask (such a cursor builds its text every time).
bool NullPattern(const Cursor* c, uint64_t& mask) {
  mask = 0;
  if (c->key.size() >= 64) return false;
  for (size_t i = 0; i < c->key.size(); ++i)
    if (c->key[i].IsNull()) mask |= uint64_t{1} << i;
  return true;
}

// The values a re-seek from the current position binds, in the order its
// text names them: the row-value bound on the first two segments when the
// text has one, the lead bound on the first segment, then each segment's
// "beyond" and "equal" terms (the last one, the bookmark, only "beyond").
void SeekBinds(const Cursor* c, std::vector<Val>& binds, bool prefix) {
  const Val bmv = Val::MakeInt(c->bm);
  const size_t n = c->key.size() + 1;
  auto at = [&](size_t i) -> const Val& { return i < c->key.size() ? c->key[i] : bmv; };
  if (prefix) {
    binds.push_back(at(0));
    binds.push_back(at(1));
  }
  if (!at(0).IsNull()) binds.push_back(at(0));
  for (size_t i = 0; i < n; ++i) {
    const Val& v = at(i);
    if (v.IsNull()) continue;
    binds.push_back(v);
    if (i + 1 < n) binds.push_back(v);
  }
}

bool SameBinds(const std::vector<Val>& a, const std::vector<Val>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].kind != b[i].kind || a[i].i != b[i].i || a[i].s != b[i].s ||
        (a[i].kind == Val::Real && !(a[i].d == b[i].d)))
      return false;
  return true;
}

Cursor::SeekShape* FindSeek(Cursor* c, bool forward, bool fromStart, uint64_t nullKeys, bool prefix) {
  for (auto& sh : c->seeks)
    if (sh.forward == forward && sh.fromStart == fromStart && (fromStart || sh.nullKeys == nullKeys) &&
        sh.prefix == prefix && sh.vis == c->vis)
      return &sh;
  return nullptr;
}

// A re-seek bounds only the first segment for SQLite to seek on; where that
// segment repeats a lot (an agency code, a parent number) SQLite would walk
// every row of the run before reaching the position. The first two segments
// are then bounded together as a row value, which SQLite seeks on too:
// "(s0, s1) >= (v0, v1)" going forward, "<=" going back. Both must ascend
// and both values be known. The bound only ever narrows what the keyset
// condition already selects, with one exception: going back, rows of the
// same first value whose second segment is NULL sort before the position
// but fail the row-value comparison. Such a re-seek asks first whether there
// are any (`SecondSegmentNulls`) and goes without the bound if so.
bool PrefixBoundFits(const Cursor* c) {
  return c->order.size() >= 2 && c->key.size() >= 2 && !c->order[0].desc && !c->order[1].desc &&
         !c->key[0].IsNull() && !c->key[1].IsNull();
}

// Whether rows of the current first-segment value have a NULL second
// segment. The answer holds a read transaction open (the statement is left
// standing on its one row) so that the re-seek that follows sees the same
// data; `ResetAtEnd` lets it go. -1 when it cannot be asked.
int SecondSegmentNulls(Cursor* c, sqlite3_stmt*& probe) {
  auto segs = PositionSegs(c);
  int rc = 0;
  probe = CachedStmt(c,
                     "SELECT EXISTS(SELECT 1 FROM " + c->meta->SqlName() + " WHERE " + segs[0].expr + " = ? AND " +
                         SegSql(c, c->order[1].colIndex, false) + " IS NULL)",
                     &rc);
  if (!probe) return -1;
  sqlite3_reset(probe);
  if (BindVal(probe, 1, c->key[0]) != SQLITE_OK || sqlite3_step(probe) != SQLITE_ROW) return -1;
  return sqlite3_column_int(probe, 0);
}

// Lets the probe's read transaction go when the re-seek is done, unless the
// statement cache finalized the probe in between.
class ProbeRelease {
 public:
  ProbeRelease(const Cursor* c, sqlite3_stmt*& probe, uint64_t generation) noexcept
      : FCursor(c), FProbe(probe), FGeneration(generation) {}
  ProbeRelease(const ProbeRelease&) = delete;
  ProbeRelease& operator=(const ProbeRelease&) = delete;
  ~ProbeRelease() {
    if (FProbe && FCursor->stmtGeneration == FGeneration) sqlite3_reset(FProbe);
  }

 private:
  const Cursor* FCursor;
  sqlite3_stmt*& FProbe;
  uint64_t FGeneration;
};

// Builds the re-seek text and its binds from scratch.
std::string SeekSql(Cursor* c, int dir, bool fromStart, std::vector<Val>& binds, bool& nullTail, bool prefix) {
  std::string sql = "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE " + c->vis;
  nullTail = false;
  if (!fromStart) {
    auto segs = PositionSegs(c);
    std::vector<const Val*> vals;
    for (auto& k : c->key) vals.push_back(&k);
    Val bmv = Val::MakeInt(c->bm);
    vals.push_back(&bmv);
    // Binds go in text order. The row-value bound comes first: of two
    // bounds SQLite rates alike it seeks on the one written first.
    std::string lead;
    if (prefix) {
      lead = "(" + segs[0].expr + ", " + segs[1].expr + (dir > 0 ? ") >= (?, ?) AND " : ") <= (?, ?) AND ");
      binds.push_back(*vals[0]);
      binds.push_back(*vals[1]);
    }
    std::string first = LeadBound(segs[0], *vals[0], dir > 0, binds);
    if (first.empty()) first = UpperLeadBound(segs[0], *vals[0], dir > 0, binds, nullTail);
    sql += " AND " + lead + first + Lex(segs, vals, dir > 0, true, binds);
  }
  sql += " ORDER BY " + OrderBy(c, dir > 0);
  return sql;
}

// Remembers a freshly built shape, but only when binding alone reproduces
// the binds the full build made.
void RememberSeek(Cursor* c, bool forward, bool fromStart, uint64_t nullKeys, sqlite3_stmt* st, bool nullTail,
                  bool prefix, const std::vector<Val>& binds) {
  std::vector<Val> again = c->visBinds;
  if (!fromStart) SeekBinds(c, again, prefix);
  if (!SameBinds(again, binds)) return;
  if (c->seeks.size() >= kMaxSeekShapes) c->seeks.clear();
  c->seeks.push_back({forward, fromStart, nullKeys, c->vis, st, nullTail, prefix});
}

}  // namespace

int32_t Fetch(Cursor* c, int dir, bool fromStart) {
  Session* s = c->session;
  if (fromStart && WindowEdge(c, dir)) return 0;
  const int64_t fromBm = c->bm;
  std::string what;
  if (c->visDirty) {
    if (int32_t r = BuildVis(c, what)) return Fail(s, r, what);
  }
  const bool forward = dir > 0;
  uint64_t nullKeys = 0;
  const bool shaped = NullPattern(c, nullKeys);
  std::vector<Val> binds = c->visBinds;
  bool nullTail = false;
  sqlite3_stmt* st = nullptr;
  int rc = 0;
  bool prefix = !fromStart && PrefixBoundFits(c);
  sqlite3_stmt* probe = nullptr;
  if (prefix && !forward) prefix = SecondSegmentNulls(c, probe) == 0;
  // The probe's read transaction lasts until the re-seek has stepped; a
  // statement cache that overflows meanwhile finalizes the probe itself.
  const uint64_t generation = c->stmtGeneration;
  const ProbeRelease releaseProbe(c, probe, generation);
  if (const Cursor::SeekShape* sh = shaped ? FindSeek(c, forward, fromStart, nullKeys, prefix) : nullptr) {
    st = sh->st;
    nullTail = sh->nullTail;
    if (!fromStart) SeekBinds(c, binds, prefix);
  } else {
    const std::string sql = SeekSql(c, dir, fromStart, binds, nullTail, prefix);
    st = CachedStmt(c, sql, &rc);
    if (!st) return FailSql(s, c->store, rc, "reading " + Describe(c));
    // The cache was emptied to make room: the probe's answer no longer
    // shares the re-seek's read transaction, so start again.
    if (probe && c->stmtGeneration != generation) return Fetch(c, dir, fromStart);
    if (shaped) RememberSeek(c, forward, fromStart, nullKeys, st, nullTail, prefix, binds);
  }
  if (c->live && c->live != st) DropLive(c);
  // The statement may stay live, stepping on: it reads its binds in place,
  // kept by the cursor until the next re-seek binds the next ones.
  c->seekBinds = std::move(binds);
  if ((rc = BindAll(st, c->seekBinds, false)) == SQLITE_OK) rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    TakeRow(c, st, dir);
    c->liveNullTail = nullTail;
    if (WindowMayRecord(c)) WindowNoteRow(c, st, fromBm, dir, fromStart);
    return 0;
  }
  if (rc == SQLITE_DONE && !nullTail && !fromStart) RememberEnd(c, fromBm, dir);
  sqlite3_reset(st);
  c->live = nullptr;
  c->rowFromLive = false;
  if (rc == SQLITE_DONE && nullTail) return FetchNullTail(c, dir);
  if (rc == SQLITE_DONE && !fromStart) WindowNoteEnd(c, fromBm, dir);
  if (rc == SQLITE_DONE)
    return Fail(s, DRM_ERR_NO_CURRENT_RECORD,
                Describe(c) + " has no " +
                    (fromStart ? "visible record"
                     : dir > 0 ? "record after the current one"
                               : "record before the current one"));
  return FailSql(s, c->store, rc, "reading " + Describe(c));
}

int32_t FetchNullTail(Cursor* c, int dir) {
  Session* s = c->session;
  const int64_t fromBm = c->bm;
  const std::string lead = SegSql(c, c->order[0].colIndex, c->order[0].nocase);
  const std::string sql = "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE " + c->vis + " AND " +
                          lead + " IS NULL ORDER BY " + OrderBy(c, dir > 0);
  int rc = 0;
  sqlite3_stmt* st = CachedStmt(c, sql, &rc);
  if (!st) return FailSql(s, c->store, rc, "reading " + Describe(c));
  if (c->live && c->live != st) DropLive(c);
  if ((rc = BindAll(st, c->visBinds)) == SQLITE_OK) rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    TakeRow(c, st, dir);
    if (WindowMayRecord(c)) WindowNoteRow(c, st, fromBm, dir, false);
    return 0;
  }
  if (rc == SQLITE_DONE) RememberEnd(c, fromBm, dir);
  sqlite3_reset(st);
  c->live = nullptr;
  c->rowFromLive = false;
  if (rc == SQLITE_DONE) WindowNoteEnd(c, fromBm, dir);
  if (rc == SQLITE_DONE)
    return Fail(s, DRM_ERR_NO_CURRENT_RECORD,
                Describe(c) + " has no record " + (dir > 0 ? "after" : "before") + " the current one");
  return FailSql(s, c->store, rc, "reading " + Describe(c));
}

int32_t Step(Cursor* c, int dir) {
  if (c->state == Cursor::BeforeFirst)
    return dir > 0 ? Fetch(c, 1, true)
                   : Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " has no record before the first one");
  if (!c->window.rows.empty()) {
    bool answered = false;
    const int32_t fromWindow = WindowStep(c, dir, answered);
    if (answered) return fromWindow;
  }
  if (c->live && c->rowFromLive && c->liveDir == dir && c->liveVersion == c->store->shared->version && !c->visDirty) {
    const int64_t fromBm = c->bm;
    int rc = sqlite3_step(c->live);
    if (rc == SQLITE_ROW) {
      const bool nullTail = c->liveNullTail;
      sqlite3_stmt* st = c->live;
      TakeRow(c, st, dir);
      c->liveNullTail = nullTail;
      if (WindowMayRecord(c)) WindowNoteRow(c, st, fromBm, dir, false);
      return 0;
    }
    const bool nullTail = c->liveNullTail;
    if (rc == SQLITE_DONE && !nullTail) RememberEnd(c, fromBm, dir);
    DropLive(c);
    if (rc == SQLITE_DONE && nullTail) return FetchNullTail(c, dir);
    if (rc == SQLITE_DONE) WindowNoteEnd(c, fromBm, dir);
    if (rc == SQLITE_DONE)
      return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD,
                  Describe(c) + " has no record " + (dir > 0 ? "after" : "before") + " the current one");
    return FailSql(c->session, c->store, rc, "reading " + Describe(c));
  }
  if (EndStillHolds(c, dir)) {
    DropLive(c);
    return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD,
                Describe(c) + " has no record " + (dir > 0 ? "after" : "before") + " the current one");
  }
  return Fetch(c, dir, false);
}

namespace {

// The failures of ReadView, kept out of its way: it runs for every column
// read that is not answered from the scan statement.
[[gnu::cold, gnu::noinline]] int32_t NoRecordToRead(Cursor* c, bool deleted) {
  if (!deleted) return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": the cursor stands on no record");
  c->state = Cursor::Gap;
  return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, "the current record of " + Describe(c) + " was deleted");
}

}  // namespace

// The row a read sees: the pending row under the read-view rules, else the
// stored one. Returns nullptr and a status when there is none.
const Val* ReadView(Cursor* c, size_t idx, int32_t& status) {
  status = 0;
  if (c->pending) {
    const Pending& p = *c->pending;
    if (c->forcedView || (p.isNew && c->newView) || (!p.isNew && c->state == Cursor::OnRecord && c->bm == p.bm))
      return &p.vals[idx];
  }
  if (c->state != Cursor::OnRecord) {
    status = NoRecordToRead(c, false);
    return nullptr;
  }
  if (c->rowFromLive && c->live && c->liveVersion == c->store->shared->version) {
    LoadVal(c->scratchVal, c->live, static_cast<int>(idx + 1));
    return &c->scratchVal;
  }
  if (!c->rowCacheValid || c->rowCacheVersion != c->store->shared->version) {
    if (const Val* v = WindowVal(c, idx)) return v;
    if (!LoadByBm(c, c->bm)) {
      status = NoRecordToRead(c, true);
      return nullptr;
    }
  }
  return &c->rowCache[idx];
}

void RequireKey(Cursor* c) {
  if (c->state != Cursor::BeforeFirst && c->key.size() != c->order.size()) LoadByBm(c, c->bm);
}

// ---- Cursor life ------------------------------------------------------------------

// Ends every read statement of the connection, so that a write does not
// stand on an old snapshot and data definition finds no pending reads.
void StopReaders(Store* st) {
  for (Cursor* c : st->shared->cursors)
    if (c->store == st) DropLive(c);
}

void CursorResetStatements(Cursor* c) {
  WindowDrop(c);
  ++c->stmtGeneration;
  c->live = nullptr;  // one of the statements
  c->seeks.clear();   // they point into `stmts`
  c->stmts.clear();
  c->rowFromLive = false;
}

void CursorSetOrder(Cursor* c, int indexPos) {
  c->indexPos = indexPos;
  c->order.clear();
  c->selectSql.clear();
  c->insertSql.clear();
  c->byBookmarkSql.clear();
  c->rewriteSql.clear();
  c->orderFwd.clear();
  c->orderBwd.clear();
  if (indexPos >= 0) {
    auto& ix = c->meta->indexes[static_cast<size_t>(indexPos)];
    for (auto& sg : ix.segments)
      c->order.push_back({c->meta->ColumnIndex(sg.columnId), sg.descending, c->meta->SegmentNoCase(ix, sg)});
  }
  CursorResetStatements(c);
  c->visDirty = true;
  c->key.clear();
  if (c->state == Cursor::OnRecord) {
    if (!LoadByBm(c, c->bm)) c->state = Cursor::BeforeFirst;
  } else {
    c->state = Cursor::BeforeFirst;
  }
}

void CursorReleaseLock(Cursor* c) {
  if (c->pending && !c->pending->isNew) {
    auto k = std::make_pair(c->meta->id, c->pending->bm);
    auto it = c->store->shared->recordLocks.find(k);
    if (it != c->store->shared->recordLocks.end() && it->second == c->handle) c->store->shared->recordLocks.erase(it);
  }
}

void CloseCursor(Engine& e, Cursor* c) {
  CursorReleaseLock(c);
  CursorResetStatements(c);
  SharedFile* sf = c->store->shared;
  auto& use = sf->tableUse[c->meta->id];
  --use.handles;
  if (use.exclusiveCursor == c->handle) use.exclusiveCursor = 0;
  if (use.handles <= 0) sf->tableUse.erase(c->meta->id);
  sf->cursors.erase(c);
  e.ForgetCursor(c->handle);
}

int32_t OpenTable(Engine& e, Session* s, DbHandle* d, const std::string& name, int32_t mode, uint32_t& hTable) {
  if (mode != DRM_TBLOPEN_NORMAL && mode != DRM_TBLOPEN_EXCLUSIVE && mode != DRM_TBLOPEN_READONLY &&
      mode != DRM_TBLOPEN_READONLY_EXCLUSIVE)
    return Fail(s, DRM_ERR_INVALID_PARAMETER, "table open mode " + std::to_string(mode) + " is not 0, 3, 4 or 7");
  std::shared_ptr<TableMeta> meta;
  if (int32_t r = LoadTableMeta(s, d->store, name, meta)) return r;
  SharedFile* sf = d->store->shared;
  auto& use = sf->tableUse[meta->id];
  bool exclusive = mode == DRM_TBLOPEN_EXCLUSIVE || mode == DRM_TBLOPEN_READONLY_EXCLUSIVE;
  if (use.exclusiveCursor)
    return Fail(s, DRM_ERR_TABLE_LOCKED, "table '" + meta->name + "' is opened exclusively by another handle");
  if (exclusive && use.handles > 0)
    return Fail(s, DRM_ERR_TABLE_IN_USE,
                "table '" + meta->name + "' is open on " + std::to_string(use.handles) + " other handle(s)");
  auto cur = std::make_unique<Cursor>();
  cur->handle = e.NewHandle();
  cur->session = s;
  cur->dbh = d;
  cur->store = d->store;
  cur->meta = meta;
  cur->mode = mode;
  cur->exclusive = exclusive;
  cur->readOnly = mode == DRM_TBLOPEN_READONLY || mode == DRM_TBLOPEN_READONLY_EXCLUSIVE || d->store->readOnly;
  Cursor* c = cur.get();
  // The handle table owns the cursor; the file's list only points at it, so
  // it may not keep a cursor the table failed to take.
  sf->cursors.insert(c);
  try {
    e.cursors.emplace(c->handle, std::move(cur));
  } catch (...) {
    sf->cursors.erase(c);
    throw;
  }
  ++use.handles;
  if (exclusive) use.exclusiveCursor = c->handle;
  hTable = c->handle;
  return 0;
}

}  // namespace drmengine
