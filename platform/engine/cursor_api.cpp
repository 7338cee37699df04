// Table cursors: opening, order, moves, bookmarks, reading, the update
// cycle, filter terms, filter keys and ranges, direct record-manager calls.
//
// A cursor keeps one prepared statement stepping through the visible set in
// the current order; it re-seeks from the saved key of its position only
// when the direction changes or the data changed, so a forward scan costs one
// sqlite3_step per move and the cursor's memory does not grow with the table.
#include <cstring>

#include "platform/engine/engine_state.h"

namespace drmengine {

namespace {

const char* kOps[] = {"", "=", ">", "<", "<>", ">=", "<="};

std::string SegSql(const Cursor* c, int colIndex, bool nocase) {
  if (colIndex < 0) return "bm";
  std::string x = c->meta->columns[static_cast<size_t>(colIndex)].SqlName();
  return nocase ? x + " COLLATE NOCASE" : x;
}

struct LexSeg {
  std::string expr;
  bool desc = false;
  bool neverNull = false;
};

// Condition that a row's key over `segs` lies after (forward) or before the
// values `vals` in index order, or equals them when not strict. NULL sorts
// lowest in an ascending segment.
std::string Lex(const std::vector<LexSeg>& segs, const std::vector<const Val*>& vals, bool forward,
                bool strict, std::vector<Val>& binds, size_t i = 0) {
  if (i == segs.size()) return strict ? "0" : "1";
  const LexSeg& s = segs[i];
  const Val& v = *vals[i];
  bool greater = forward != s.desc;
  std::string beyond, eq;
  if (greater) {
    if (v.IsNull()) beyond = s.expr + " IS NOT NULL";
    else {
      beyond = s.expr + " > ?";
      binds.push_back(v);
    }
  } else {
    if (v.IsNull()) beyond = "0";
    else {
      beyond = s.neverNull ? s.expr + " < ?" : "(" + s.expr + " < ? OR " + s.expr + " IS NULL)";
      binds.push_back(v);
    }
  }
  if (i + 1 == segs.size() && strict) return "(" + beyond + ")";
  if (v.IsNull()) eq = s.expr + " IS NULL";
  else {
    eq = s.expr + " = ?";
    binds.push_back(v);
  }
  std::string rest = Lex(segs, vals, forward, strict, binds, i + 1);
  return "(" + beyond + " OR (" + eq + " AND " + rest + "))";
}

// A leading bound that lets the planner seek on the first segment.
std::string LeadBound(const LexSeg& s, const Val& v, bool forward, std::vector<Val>& binds) {
  if (v.IsNull() || forward == s.desc) return "";
  binds.push_back(v);
  return s.expr + " >= ? AND ";
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

void LoadVal(Val& v, sqlite3_stmt* st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER: v.kind = Val::Int; v.i = sqlite3_column_int64(st, col); break;
    case SQLITE_FLOAT: v.kind = Val::Real; v.d = sqlite3_column_double(st, col); break;
    case SQLITE_TEXT:
      v.kind = Val::Text;
      v.s.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                 static_cast<size_t>(sqlite3_column_bytes(st, col)));
      break;
    case SQLITE_BLOB: {
      v.kind = Val::Blob;
      const void* p = sqlite3_column_blob(st, col);
      v.s.assign(p ? static_cast<const char*>(p) : "", static_cast<size_t>(sqlite3_column_bytes(st, col)));
      break;
    }
    default: v.kind = Val::Null; break;
  }
}

sqlite3_stmt* CachedStmt(Cursor* c, const std::string& sql, int* rc) {
  auto it = c->stmts.find(sql);
  if (it != c->stmts.end()) return it->second;
  if (c->stmts.size() > 48) CursorResetStatements(c);
  sqlite3_stmt* st = Prepare(c->store, sql, rc);
  if (st) c->stmts[sql] = st;
  return st;
}

void BindAll(sqlite3_stmt* st, const std::vector<Val>& binds) {
  sqlite3_reset(st);
  for (size_t i = 0; i < binds.size(); ++i) BindVal(st, static_cast<int>(i + 1), binds[i]);
}

std::string Describe(const Cursor* c) { return "table '" + c->meta->name + "'"; }

// ---- Visible set --------------------------------------------------------------

bool LeadsNoCaseIndex(const Cursor* c, uint32_t colId) {
  for (auto& ix : c->meta->indexes)
    if (!ix.segments.empty() && ix.segments[0].columnId == colId && c->meta->SegmentNoCase(ix, ix.segments[0]))
      return true;
  return false;
}

int32_t TermSql(Cursor* c, const Term& t, std::string& out, std::vector<Val>& binds, std::string& what) {
  const ColumnMeta* col = c->meta->Column(t.columnId);
  if (!col) {
    what = "filter term names column id " + std::to_string(t.columnId) + ", which " + Describe(c) + " lacks";
    return DRM_ERR_INVALID_COLUMN_ID;
  }
  int code = t.code & 0x7F;
  bool nocase = (t.code & 0x80) && col->IsText();
  std::string x = col->SqlName();
  std::string xe = nocase ? x + " COLLATE NOCASE" : x;
  switch (t.kind) {
    case fisNull: out = code == DRM_CMP_EQ ? x + " IS NULL" : x + " IS NOT NULL"; return 0;
    case fisColumn: {
      const ColumnMeta* other = c->meta->Column(t.compColumnId);
      if (!other) {
        what = "filter term compares with column id " + std::to_string(t.compColumnId) + ", which " +
               Describe(c) + " lacks";
        return DRM_ERR_INVALID_COLUMN_ID;
      }
      out = "(" + xe + " " + kOps[code] + " " + other->SqlName() + ")";
      return 0;
    }
    case fisPartialConst:
      if (col->IsText() || col->Drm() == DRM_TYPE_BINARY || col->Drm() == DRM_TYPE_VARBINARY) {
        std::string p = t.constBytes;
        if (col->IsText()) {
          p = p.substr(0, strnlen(p.c_str(), p.size()));
          if (col->Drm() == DRM_TYPE_TEXT)
            while (!p.empty() && p.back() == ' ') p.pop_back();
        }
        if (t.constNull) {
          out = "0";
          return 0;
        }
        if (p.empty()) {
          out = code == DRM_CMP_NE ? "0" : x + " IS NOT NULL";
          return 0;
        }
        if (col->IsText() && (code == DRM_CMP_EQ || code == DRM_CMP_GE || code == DRM_CMP_NE)) {
          // Leading bytes equal, as a range so that an index can seek.
          if (nocase)
            for (char& ch : p)
              if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
          std::string upper = p;
          while (!upper.empty() && static_cast<unsigned char>(upper.back()) == 0xFF) upper.pop_back();
          if (!upper.empty()) upper.back() = static_cast<char>(upper.back() + 1);
          std::string match = "(" + xe + " >= ?";
          binds.push_back(Val::MakeText(p));
          if (!upper.empty()) {
            match += " AND " + xe + " < ?";
            binds.push_back(Val::MakeText(upper));
          }
          match += ")";
          out = code == DRM_CMP_NE ? "(" + x + " IS NOT NULL AND NOT " + match + ")" : match;
          return 0;
        }
        std::string sub = "substr(" + x + ", 1, " + std::to_string(p.size()) + ")";
        if (nocase) sub += " COLLATE NOCASE";
        out = "(" + sub + " " + kOps[code] + " ?)";
        binds.push_back(col->IsText() ? Val::MakeText(p) : Val::MakeBlob(p));
        return 0;
      }
      [[fallthrough]];
    case fisConst: {
      if (t.constNull) {
        out = "0";
        return 0;
      }
      Val v;
      int32_t r = ConstToVal(*col, t.constBytes.data(), static_cast<uint32_t>(t.constBytes.size()), v, what);
      if (r) return r;
      if (v.IsNull()) {
        out = "0";
        return 0;
      }
      if (code == DRM_CMP_EQ && !nocase && col->IsText() && LeadsNoCaseIndex(c, col->id)) {
        // Equal bytes are also equal without case: the second condition adds
        // nothing but lets a case-insensitive index on the column seek.
        out = "(+" + x + " = ? AND " + x + " COLLATE NOCASE = ?)";
        binds.push_back(v);
      } else {
        out = "(" + xe + " " + kOps[code] + " ?)";
      }
      binds.push_back(std::move(v));
      return 0;
    }
  }
  what = "filter term kind " + std::to_string(t.kind) + " is not known";
  return DRM_ERR_FILTER_NOT_SUPPORTED;
}

bool SegmentOfIndex(const Cursor* c, uint32_t colId, bool& nocase) {
  if (c->indexPos < 0) return false;
  auto& ix = c->meta->indexes[static_cast<size_t>(c->indexPos)];
  for (auto& sg : ix.segments)
    if (sg.columnId == colId) {
      nocase = c->meta->SegmentNoCase(ix, sg);
      return true;
    }
  return false;
}

// Key parts as index-order segments: the current index's leading segments,
// or the parts' own columns ascending when there is no index.
std::vector<LexSeg> KeySegs(const Cursor* c, const std::vector<KeyPart>& parts) {
  std::vector<LexSeg> segs;
  const IndexMeta* ix = c->indexPos >= 0 ? &c->meta->indexes[static_cast<size_t>(c->indexPos)] : nullptr;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (ix && i < ix->segments.size()) {
      auto& sg = ix->segments[i];
      segs.push_back({SegSql(c, c->meta->ColumnIndex(sg.columnId), c->meta->SegmentNoCase(*ix, sg)),
                      sg.descending, false});
    } else {
      const ColumnMeta* col = c->meta->Column(parts[i].columnId);
      int idx = c->meta->ColumnIndex(parts[i].columnId);
      segs.push_back({SegSql(c, idx, col && col->IsText() && col->CaseFolded()), false, false});
    }
  }
  return segs;
}

int32_t BuildVis(Cursor* c, std::string& what) {
  std::vector<std::string> parts;
  std::vector<Val> binds;
  bool locate = false;
  for (auto& [tag, f] : c->filters) {
    if (f.first == DRM_FILTER_SET_LOCATE) locate = true;
    if (f.second.empty()) continue;
    std::string acc;
    for (size_t i = 0; i < f.second.size(); ++i) {
      std::string t;
      int32_t r = TermSql(c, f.second[i], t, binds, what);
      if (r) return r;
      if (i == 0) acc = t;
      else acc = "(" + acc + ((f.second[i - 1].joint & 0x7F) == DRM_JOIN_OR ? " OR " : " AND ") + t + ")";
    }
    parts.push_back(acc);
  }
  if (c->rangeActive) {
    for (int side = 0; side < 2; ++side) {
      auto& p = side == 0 ? c->rangeStart : c->rangeEnd;
      if (p.empty()) {
        parts.push_back("0");
        continue;
      }
      std::vector<const Val*> vals;
      for (auto& kp : p) vals.push_back(&kp.value);
      parts.push_back(Lex(KeySegs(c, p), vals, side == 0, false, binds));
    }
  }
  auto& seek = c->slots[DRM_KEYSLOT_SEEK];
  if (!seek.empty() && !locate) {
    bool partial = false;
    for (auto& kp : seek) partial |= (kp.flags & DRM_KEYFLAG_PARTIAL) != 0;
    if (partial) {
      std::vector<const Val*> vals;
      for (auto& kp : seek) vals.push_back(&kp.value);
      auto segs = KeySegs(c, seek);
      std::string lead = LeadBound(segs[0], *vals[0], true, binds);
      parts.push_back(lead + Lex(segs, vals, true, false, binds));
    } else {
      for (auto& kp : seek) {
        const ColumnMeta* col = c->meta->Column(kp.columnId);
        bool nocase = false;
        if (!SegmentOfIndex(c, kp.columnId, nocase)) nocase = col->IsText() && col->CaseFolded();
        std::string x = SegSql(c, c->meta->ColumnIndex(kp.columnId), nocase);
        if (kp.value.IsNull()) parts.push_back(x + " IS NULL");
        else {
          parts.push_back(x + " = ?");
          binds.push_back(kp.value);
        }
      }
    }
  }
  std::string vis;
  for (auto& p : parts) vis += (vis.empty() ? "" : " AND ") + p;
  c->vis = vis.empty() ? "1" : vis;
  c->visBinds = std::move(binds);
  c->visDirty = false;
  return 0;
}

// ---- Position -----------------------------------------------------------------

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
}

void DropLive(Cursor* c) {
  if (c->live) sqlite3_reset(c->live);
  c->live = nullptr;
  c->rowFromLive = false;
}

// The visible set changed: its condition is rebuilt before the next read.
// Prepared statements stay cached by their text.
void SelectionChanged(Cursor* c) {
  DropLive(c);
  c->visDirty = true;
}


bool LoadByBm(Cursor* c, int64_t bm) {
  int rc;
  sqlite3_stmt* st = CachedStmt(c, "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE bm = ?", &rc);
  if (!st) return false;
  sqlite3_reset(st);
  sqlite3_bind_int64(st, 1, bm);
  if (sqlite3_step(st) != SQLITE_ROW) {
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

int32_t Fetch(Cursor* c, int dir, bool fromStart) {
  Session* s = c->session;
  std::string what;
  if (c->visDirty) {
    if (int32_t r = BuildVis(c, what)) return Fail(s, r, what);
  }
  std::vector<Val> binds = c->visBinds;
  std::string sql = "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE " + c->vis;
  if (!fromStart) {
    auto segs = PositionSegs(c);
    std::vector<const Val*> vals;
    for (auto& k : c->key) vals.push_back(&k);
    Val bmv = Val::MakeInt(c->bm);
    vals.push_back(&bmv);
    std::string lead = LeadBound(segs[0], *vals[0], dir > 0, binds);  // binds in text order
    sql += " AND " + lead + Lex(segs, vals, dir > 0, true, binds);
  }
  sql += " ORDER BY " + OrderBy(c, dir > 0);
  int rc = 0;
  sqlite3_stmt* st = CachedStmt(c, sql, &rc);
  if (!st) return FailSql(s, c->store, rc, "reading " + Describe(c));
  if (c->live && c->live != st) DropLive(c);
  BindAll(st, binds);
  rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    TakeRow(c, st, dir);
    return 0;
  }
  sqlite3_reset(st);
  c->live = nullptr;
  c->rowFromLive = false;
  if (rc == SQLITE_DONE)
    return Fail(s, DRM_ERR_NO_CURRENT_RECORD,
                Describe(c) + " has no " + (fromStart ? "visible record" : dir > 0 ? "record after the current one" : "record before the current one"));
  return FailSql(s, c->store, rc, "reading " + Describe(c));
}

int32_t Step(Cursor* c, int dir) {
  if (c->state == Cursor::BeforeFirst)
    return dir > 0 ? Fetch(c, 1, true)
                   : Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " has no record before the first one");
  if (c->live && c->rowFromLive && c->liveDir == dir && c->liveVersion == c->store->shared->version &&
      !c->visDirty) {
    int rc = sqlite3_step(c->live);
    if (rc == SQLITE_ROW) {
      TakeRow(c, c->live, dir);
      return 0;
    }
    DropLive(c);
    if (rc == SQLITE_DONE)
      return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD,
                  Describe(c) + " has no record " + (dir > 0 ? "after" : "before") + " the current one");
    return FailSql(c->session, c->store, rc, "reading " + Describe(c));
  }
  return Fetch(c, dir, false);
}

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
    status = Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": the cursor stands on no record");
    return nullptr;
  }
  if (c->rowFromLive && c->live && c->liveVersion == c->store->shared->version) {
    LoadVal(c->scratchVal, c->live, static_cast<int>(idx + 1));
    return &c->scratchVal;
  }
  if (!c->rowCacheValid || c->rowCacheVersion != c->store->shared->version) {
    if (!LoadByBm(c, c->bm)) {
      c->state = Cursor::Gap;
      status = Fail(c->session, DRM_ERR_NO_CURRENT_RECORD,
                    "the current record of " + Describe(c) + " was deleted");
      return nullptr;
    }
  }
  return &c->rowCache[idx];
}

// Reads a column of the row the scan statement stands on straight into the
// caller's buffer for the common fixed and text types. Returns 1 when the
// type needs the general path.
int32_t FastRead(const ColumnMeta& col, sqlite3_stmt* st, int i, char* out, uint32_t size, uint32_t* len) {
  int type = sqlite3_column_type(st, i);
  if (type == SQLITE_NULL) return DRM_WARN_NULL;
  auto putInt = [&](uint32_t n) -> int32_t {
    if (size < n) return 1;
    int64_t v = sqlite3_column_int64(st, i);
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
      double d = type == SQLITE_FLOAT ? sqlite3_column_double(st, i) : double(sqlite3_column_int64(st, i));
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
      // Stored as yyyymmdd or hhmmss; the engine form is three 16-bit parts.
      if (size < 6 || type != SQLITE_INTEGER) return 1;
      int64_t v = sqlite3_column_int64(st, i);
      uint16_t w[3] = {static_cast<uint16_t>(v / 10000), static_cast<uint16_t>(v / 100 % 100),
                       static_cast<uint16_t>(v % 100)};
      std::memcpy(out, w, sizeof w);
      *len = 6;
      return 0;
    }
    case DRM_TYPE_TEXT: {
      // Fixed text is stored without its trailing blanks and read back
      // blank-padded to the column width.
      if (type != SQLITE_TEXT || size < col.cbMax) return 1;
      uint32_t n = static_cast<uint32_t>(sqlite3_column_bytes(st, i));
      if (n > col.cbMax) return 1;
      std::memcpy(out, sqlite3_column_text(st, i), n);
      std::memset(out + n, ' ', col.cbMax - n);
      if (col.cbMax < size) out[col.cbMax] = 0;
      *len = col.cbMax;
      return 0;
    }
    case DRM_TYPE_ZSTRING: {
      if (type != SQLITE_TEXT) return 1;
      const unsigned char* p = sqlite3_column_text(st, i);
      uint32_t n = static_cast<uint32_t>(sqlite3_column_bytes(st, i));
      if (size < n + 1) return 1;
      std::memcpy(out, p, n);
      out[n] = 0;
      *len = n + 1;
      return 0;
    }
    default: return 1;
  }
}

void RequireKey(Cursor* c) {
  // After positioning by bookmark the key of the new order must be known.
  if (c->state != Cursor::BeforeFirst && c->key.size() != c->order.size()) LoadByBm(c, c->bm);
}

}  // namespace

// Ends every read statement of the connection, so that a write does not
// stand on an old snapshot and data definition finds no pending reads.
void StopReaders(Store* st) {
  for (Cursor* c : st->shared->cursors)
    if (c->store == st) DropLive(c);
}

void CursorResetStatements(Cursor* c) {
  for (auto& [sql, st] : c->stmts) sqlite3_finalize(st);
  c->stmts.clear();
  c->live = nullptr;
  c->rowFromLive = false;
}

void CursorSetOrder(Cursor* c, int indexPos) {
  c->indexPos = indexPos;
  c->order.clear();
  c->selectSql.clear();
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
    if (it != c->store->shared->recordLocks.end() && it->second == c->handle)
      c->store->shared->recordLocks.erase(it);
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

}  // namespace drmengine

using namespace drmengine;

#define GET_CURSOR(h)                                                                               \
  Cursor* c = e.FindCursor(h);                                                                      \
  if (!c)                                                                                           \
    return Fail(nullptr, DRM_ERR_INVALID_TABLE, "table handle " + std::to_string(h) + " is not open")

namespace {
int32_t CheckSession(Engine& e, uint32_t hSession, uint32_t hTable, Cursor*& c) {
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  c = e.FindCursor(hTable);
  if (!c || c->session != s)
    return Fail(s, DRM_ERR_INVALID_TABLE, "table handle " + std::to_string(hTable) + " is not open in this session");
  return 0;
}
}  // namespace

#define GET_SC(hs, ht)                                   \
  Cursor* c = nullptr;                                   \
  if (int32_t r_ = CheckSession(e, hs, ht, c)) return r_

extern "C" {

int32_t RareOpenTable(uint32_t hSession, uint32_t hDatabase, const char* tableName, uint32_t, int32_t mode,
                      uint32_t* hTable) {
  ENGINE_LOCK;
  if (hTable) *hTable = 0;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  DbHandle* d = e.FindDb(hDatabase);
  if (!d || d->session != s)
    return Fail(s, DRM_ERR_INVALID_DATABASE, "database handle " + std::to_string(hDatabase) + " is not open in this session");
  if (!tableName || !hTable) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no table name or handle place was given");
  if (mode != DRM_TBLOPEN_NORMAL && mode != DRM_TBLOPEN_EXCLUSIVE && mode != DRM_TBLOPEN_READONLY &&
      mode != DRM_TBLOPEN_READONLY_EXCLUSIVE)
    return Fail(s, DRM_ERR_INVALID_PARAMETER, "table open mode " + std::to_string(mode) + " is not 0, 3, 4 or 7");
  std::shared_ptr<TableMeta> meta;
  if (int32_t r = LoadTableMeta(s, d->store, tableName, meta)) return r;
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
  ++use.handles;
  if (exclusive) use.exclusiveCursor = cur->handle;
  sf->cursors.insert(cur.get());
  *hTable = cur->handle;
  e.cursors[cur->handle] = std::move(cur);
  return 0;
}

int32_t RareCloseTable(uint32_t hSession, uint32_t hTable) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  if (ResultCursor* r = e.FindResult(hTable)) {
    if (r->session != s) return Fail(s, DRM_ERR_INVALID_TABLE, "result cursor belongs to another session");
    e.results.erase(hTable);
    return 0;
  }
  Cursor* c = e.FindCursor(hTable);
  if (!c || c->session != s)
    return Fail(s, DRM_ERR_INVALID_TABLE, "table handle " + std::to_string(hTable) + " is not open in this session");
  CloseCursor(e, c);
  return 0;
}

int32_t RareSetTableOption(uint32_t hTable, int32_t option, const void* value) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
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
}

int32_t RareSetTableIndex(uint32_t hSession, uint32_t hTable, const char* indexName) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  std::string n = indexName ? indexName : "";
  int pos = -1;
  if (!n.empty()) {
    for (size_t i = 0; i < c->meta->indexes.size(); ++i)
      if (strcasecmp(c->meta->indexes[i].name.c_str(), n.c_str()) == 0) pos = static_cast<int>(i);
    if (pos < 0) return Fail(c->session, DRM_ERR_NO_SUCH_INDEX, "table '" + c->meta->name + "' has no index '" + n + "'");
  }
  c->rangeActive = false;
  for (int k = 2; k <= 4; ++k) c->slots[k].clear();
  CursorSetOrder(c, pos);
  return 0;
}

// ---- Moves ------------------------------------------------------------------------

int32_t RareMove(uint32_t hSession, uint32_t hTable, uint32_t moveCode) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  if (ResultCursor* r = e.FindResult(hTable)) {
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
  if (!c || c->session != s)
    return Fail(s, DRM_ERR_INVALID_TABLE, "table handle " + std::to_string(hTable) + " is not open in this session");
  c->newView = false;
  switch (moveCode) {
    case DRM_MOVE_FIRST: return Fetch(c, 1, true);
    case DRM_MOVE_LAST: return Fetch(c, -1, true);
    case DRM_MOVE_NEXT: RequireKey(c); return Step(c, 1);
    case DRM_MOVE_PREVIOUS: RequireKey(c); return Step(c, -1);
  }
  return Fail(s, DRM_ERR_INVALID_PARAMETER, "move code 0x" + [&] {
    char b[16];
    std::snprintf(b, sizeof b, "%X", moveCode);
    return std::string(b);
  }() + " is not first, last, next or previous");
}

int32_t RareGetBookmark(uint32_t hSession, uint32_t hTable, void* buffer, uint32_t bufferSize, uint32_t* length) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  if (!buffer || bufferSize < 4)
    return Fail(c->session, DRM_ERR_BUFFER_TOO_SMALL, "a bookmark needs 4 bytes, " + std::to_string(bufferSize) + " were given");
  if (c->state != Cursor::OnRecord)
    return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to take a bookmark of");
  uint32_t b = static_cast<uint32_t>(c->bm);
  std::memcpy(buffer, &b, 4);
  if (length) *length = 4;
  return 0;
}

int32_t RareGotoBookmark(uint32_t hSession, uint32_t hTable, const void* bookmark, uint32_t length) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  if (!bookmark || length != 4)
    return Fail(c->session, DRM_ERR_INVALID_BOOKMARK, "a bookmark is 4 bytes, " + std::to_string(length) + " were given");
  uint32_t b;
  std::memcpy(&b, bookmark, 4);
  if (b == 0 || b > 0x7FFFFFFFu || !LoadByBm(c, b))
    return Fail(c->session, DRM_ERR_RECORD_GONE, Describe(c) + " has no record with bookmark " + std::to_string(b));
  return 0;
}

int32_t RareGetRecordCount(uint32_t hTable, uint32_t* count) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (!count) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no place for the record count was given");
  sqlite3_stmt* q = Prepare(c->store, "SELECT nrows FROM drm_tables WHERE id = ?");
  if (!q) return FailSql(c->session, c->store, sqlite3_errcode(c->store->db), "counting " + Describe(c));
  sqlite3_bind_int64(q, 1, c->meta->id);
  int rc = sqlite3_step(q);
  *count = rc == SQLITE_ROW ? static_cast<uint32_t>(sqlite3_column_int64(q, 0)) : 0;
  sqlite3_finalize(q);
  if (rc != SQLITE_ROW) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  return 0;
}

namespace {
int32_t CountVisible(Cursor* c, const std::string& extra, const std::vector<Val>& extraBinds, int64_t& n) {
  std::string what;
  if (c->visDirty)
    if (int32_t r = BuildVis(c, what)) return Fail(c->session, r, what);
  std::vector<Val> binds = c->visBinds;
  binds.insert(binds.end(), extraBinds.begin(), extraBinds.end());
  int rc;
  sqlite3_stmt* st = CachedStmt(c, "SELECT count(*) FROM " + c->meta->SqlName() + " WHERE " + c->vis + extra, &rc);
  if (!st) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  BindAll(st, binds);
  rc = sqlite3_step(st);
  n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
  sqlite3_reset(st);
  if (rc != SQLITE_ROW) return FailSql(c->session, c->store, rc, "counting " + Describe(c));
  return 0;
}
}  // namespace

int32_t RareFindPercentage(uint32_t hTable, uint32_t* percentage) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
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
}

int32_t RareGetByPercentage(uint32_t hTable, uint32_t percentage) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  int64_t total = 0;
  if (int32_t r = CountVisible(c, "", {}, total)) return r;
  if (total == 0) return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " shows no records");
  int64_t k = (static_cast<int64_t>(percentage) * total * 2 + 10000) / 20000;
  if (k < 1) k = 1;
  if (k > total) k = total;
  c->newView = false;
  std::vector<Val> binds = c->visBinds;
  int rc;
  sqlite3_stmt* st = CachedStmt(c, "SELECT " + SelectList(c) + " FROM " + c->meta->SqlName() + " WHERE " + c->vis +
                                       " ORDER BY " + OrderBy(c, true) + " LIMIT 1 OFFSET ?",
                                &rc);
  if (!st) return FailSql(c->session, c->store, rc, "positioning " + Describe(c));
  binds.push_back(Val::MakeInt(k - 1));
  if (c->live && c->live != st) DropLive(c);
  BindAll(st, binds);
  rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) {
    sqlite3_reset(st);
    return rc == SQLITE_DONE ? Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + " shows fewer records than asked")
                             : FailSql(c->session, c->store, rc, "positioning " + Describe(c));
  }
  TakeRow(c, st, 0);  // direction 0: the next step re-seeks
  return 0;
}

int32_t RareRefreshCurRecord(uint32_t hTable) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (c->state != Cursor::OnRecord)
    return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to refresh");
  if (!LoadByBm(c, c->bm)) {
    c->state = Cursor::Gap;
    return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD, "the current record of " + Describe(c) + " was deleted");
  }
  return 0;
}

// ---- Reading ---------------------------------------------------------------------

int32_t RareRetrieveColumn(uint32_t hSession, uint32_t hTable, uint32_t columnId, void* buffer, uint32_t bufferSize,
                           uint32_t* length, const DRM_RetrieveStruct* chunk) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  uint32_t dummy = 0;
  if (!length) length = &dummy;
  *length = 0;
  if (bufferSize && !buffer) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no buffer was given for " + std::to_string(bufferSize) + " bytes");
  // Table cursors first: they are read per column of every record, catalog
  // answers only while a catalog is walked.
  Cursor* c = e.FindCursor(hTable);
  if (ResultCursor* r = c ? nullptr : e.FindResult(hTable)) {
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
    if (bufferSize < w) return Fail(s, DRM_ERR_BUFFER_TOO_SMALL, "catalog column " + std::to_string(columnId) + " needs " + std::to_string(w) + " bytes");
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
  if (!c || c->session != s)
    return Fail(s, DRM_ERR_INVALID_TABLE, "table handle " + std::to_string(hTable) + " is not open in this session");
  int idx = c->meta->ColumnIndex(columnId);
  if (idx < 0) return Fail(s, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
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
}

// ---- Update cycle ------------------------------------------------------------------

int32_t RareInitUpdate(uint32_t hSession, uint32_t hTable, int32_t mode) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
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
  if (c->state != Cursor::OnRecord) return Fail(s, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to edit");
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
}

int32_t RareSetColumn(uint32_t hSession, uint32_t hTable, uint32_t columnId, const void* data, uint32_t length,
                      int32_t chunk, int32_t setNull, uint32_t offset) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  Session* s = c->session;
  if (!c->pending) return Fail(s, DRM_ERR_NO_PENDING_ROW, Describe(c) + " has no row being edited");
  int idx = c->meta->ColumnIndex(columnId);
  if (idx < 0) return Fail(s, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
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
    if (end > 0x7FFFFFFEu) return Fail(s, DRM_ERR_FIELD_LENGTH, "long value of column '" + col.name + "' would exceed 2 GB");
    int32_t st = 0;
    uint64_t limit = col.Rm() == RM_TYPE_NOTE ? col.ReportedCbMax() : 0x7FFFFFFEu;
    if (target.s.size() < end) target.s.resize(static_cast<size_t>(std::min<uint64_t>(end, std::max<uint64_t>(limit, target.s.size()))), '\0');
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
}

namespace {

std::string ValText(const Val& v) {
  switch (v.kind) {
    case Val::Null: return "NULL";
    case Val::Int: return std::to_string(v.i);
    case Val::Real: return std::to_string(v.d);
    case Val::Text: return "'" + v.s + "'";
    default: return "(" + std::to_string(v.s.size()) + " bytes)";
  }
}

int32_t Duplicate(Cursor* c, const std::vector<Val>& vals) {
  // Name the unique index whose key the row repeats.
  std::string msg = sqlite3_errmsg(c->store->db);
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

int32_t RareUpdateRecord(uint32_t hSession, uint32_t hTable) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  Session* s = c->session;
  if (!c->pending) return Fail(s, DRM_ERR_NO_PENDING_ROW, Describe(c) + " has no row being edited");
  if (c->readOnly || c->ownerReadOnly) return Fail(s, DRM_ERR_PERMISSION_DENIED, Describe(c) + " is open for reading only");
  Pending& p = *c->pending;
  auto& cols = c->meta->columns;
  if (c->store->txnDepth == 0) StopReaders(c->store);
  std::vector<Val> vals = p.vals;
  const std::string t = c->meta->SqlName();
  for (size_t i = 0; i < cols.size(); ++i) {
    if (cols[i].Rm() == RM_TYPE_AUTOINC && p.isNew && (vals[i].IsNull() || (vals[i].kind == Val::Int && vals[i].i == 0))) {
      sqlite3_stmt* q = Prepare(c->store, "SELECT coalesce(max(" + cols[i].SqlName() + "), 0) + 1 FROM " + t);
      int rc = q ? sqlite3_step(q) : SQLITE_ERROR;
      if (rc == SQLITE_ROW) vals[i] = Val::MakeInt(sqlite3_column_int64(q, 0));
      sqlite3_finalize(q);
      if (rc != SQLITE_ROW) return FailSql(s, c->store, rc, "numbering column '" + cols[i].name + "' of " + Describe(c));
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
    int64_t bm = sqlite3_last_insert_rowid(c->store->db);
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
      return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "record " + std::to_string(bm) + " of " + Describe(c) + " was deleted while it was edited");
    }
    if (rc != SQLITE_ROW) {
      sqlite3_reset(st);
      return FailSql(s, c->store, rc, "reading " + Describe(c), true);
    }
    bool same = true;
    for (size_t i = 0; i < cols.size() && same; ++i) same = ColumnVal(st, static_cast<int>(i + 1)) == p.orig[i];
    sqlite3_reset(st);
    if (!same)
      return Fail(s, DRM_ERR_RECORD_LOCKED,
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
}

int32_t RareCancelUpdate(uint32_t hSession, uint32_t hTable) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  CursorReleaseLock(c);
  c->pending.reset();
  c->newView = false;
  c->forcedView = false;
  return 0;
}

int32_t RareDeleteRecord(uint32_t hSession, uint32_t hTable) {
  ENGINE_LOCK;
  GET_SC(hSession, hTable);
  Session* s = c->session;
  if (c->readOnly || c->ownerReadOnly) return Fail(s, DRM_ERR_PERMISSION_DENIED, Describe(c) + " is open for reading only");
  if (c->state != Cursor::OnRecord) return Fail(s, DRM_ERR_NO_CURRENT_RECORD, Describe(c) + ": no current record to delete");
  auto key = std::make_pair(c->meta->id, c->bm);
  auto& locks = c->store->shared->recordLocks;
  auto it = locks.find(key);
  if (it != locks.end() && it->second != c->handle)
    return Fail(s, DRM_ERR_RECORD_LOCKED, "record " + std::to_string(c->bm) + " of " + Describe(c) + " is being edited through another handle");
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
  if (sqlite3_changes(c->store->db) == 0) {
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
}

int32_t RareGetBlobSize(uint32_t hTable, uint32_t columnId, int32_t* size) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (!size) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no place for the size was given");
  int idx = c->meta->ColumnIndex(columnId);
  if (idx < 0) return Fail(c->session, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
  int32_t status = 0;
  const Val* v = ReadView(c, static_cast<size_t>(idx), status);
  if (!v) return status;
  *size = v->IsNull() ? 0 : static_cast<int32_t>(v->s.size());
  return 0;
}

int32_t RareTruncateBlob(uint32_t hTable, uint32_t columnId, uint32_t length) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (!c->pending) return Fail(c->session, DRM_ERR_NO_PENDING_ROW, Describe(c) + " has no row being edited");
  int idx = c->meta->ColumnIndex(columnId);
  if (idx < 0) return Fail(c->session, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
  if (!c->meta->columns[static_cast<size_t>(idx)].IsLong())
    return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "column '" + c->meta->columns[static_cast<size_t>(idx)].name + "' is not a long value");
  Val& v = c->pending->vals[static_cast<size_t>(idx)];
  if (v.kind == Val::Blob && v.s.size() > length) v.s.resize(length);
  return 0;
}

// ---- Filters, keys and ranges --------------------------------------------------------

int32_t RareSetFilterOnColumns(uint32_t hTable, const DRM_FilterStruct* terms, uint16_t count, int32_t* tag, int32_t mode) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  Session* s = c->session;
  if (!tag || (count && !terms)) return Fail(s, DRM_ERR_INVALID_PARAMETER, "filter terms or the tag place are missing");
  std::vector<Term> list;
  for (uint16_t i = 0; i < count; ++i) {
    const DRM_FilterStruct& f = terms[i];
    Term t;
    t.kind = f.IsColumn;
    t.columnId = f.ColumnId;
    t.joint = f.ExprWithNextTerm;
    t.code = f.CompareCode;
    t.compColumnId = f.CompColumnId;
    int code = f.CompareCode & 0x7F;
    if (t.kind > fisNull || code < 1 || code > 6 || (t.kind == fisNull && code != 1 && code != 4))
      return Fail(s, DRM_ERR_FILTER_NOT_SUPPORTED,
                  "filter term " + std::to_string(i + 1) + " has kind " + std::to_string(t.kind) + " and compare code " +
                      std::to_string(f.CompareCode) + ", which this engine does not evaluate");
    const ColumnMeta* col = c->meta->Column(f.ColumnId);
    if (!col) return Fail(s, DRM_ERR_INVALID_COLUMN_ID, "filter term " + std::to_string(i + 1) + " names column id " + std::to_string(f.ColumnId) + ", which " + Describe(c) + " lacks");
    if (col->IsLong() && t.kind != fisNull)
      return Fail(s, DRM_ERR_FILTER_NOT_SUPPORTED, "column '" + col->name + "' holds long values, which filter terms can only test for NULL");
    if (t.kind == fisColumn && !c->meta->Column(f.CompColumnId))
      return Fail(s, DRM_ERR_INVALID_COLUMN_ID, "filter term " + std::to_string(i + 1) + " compares with column id " + std::to_string(f.CompColumnId) + ", which " + Describe(c) + " lacks");
    if ((t.kind == fisConst || t.kind == fisPartialConst) && f.pConst) {
      t.constNull = false;
      t.constBytes.assign(static_cast<const char*>(f.pConst), f.ConstLen);
      if (t.kind == fisConst) {
        Val v;
        std::string what;
        if (int32_t r = ConstToVal(*col, t.constBytes.data(), f.ConstLen, v, what); r < 0) return Fail(s, r, what);
      }
    }
    list.push_back(std::move(t));
  }
  int32_t newTag = c->nextTag++;
  c->filters[newTag] = {mode == DRM_FILTER_SET_LOCATE ? DRM_FILTER_SET_LOCATE : DRM_FILTER_SET_DATASET, std::move(list)};
  if (mode == DRM_FILTER_SET_DATASET) {
    c->rmFilter.assign(terms, terms + count);
    c->rmFilterConsts.clear();
    for (auto& f : c->rmFilter) {
      c->rmFilterConsts.emplace_back(f.pConst ? std::string(static_cast<const char*>(f.pConst), f.ConstLen) : std::string());
    }
    for (size_t i = 0; i < c->rmFilter.size(); ++i)
      if (c->rmFilter[i].pConst) c->rmFilter[i].pConst = c->rmFilterConsts[i].data();
  }
  SelectionChanged(c);
  *tag = newTag;
  return 0;
}

int32_t RareRemoveFilterFromColumns(uint32_t hTable, int32_t tag, int32_t) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  auto it = c->filters.find(tag);
  if (it == c->filters.end()) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "filter tag " + std::to_string(tag) + " is not set on " + Describe(c));
  if (it->second.first == DRM_FILTER_SET_DATASET) {
    c->rmFilter.clear();
    c->rmFilterConsts.clear();
  }
  c->filters.erase(it);
  SelectionChanged(c);
  return 0;
}

int32_t RareMakeFilterKey(uint32_t hTable, uint32_t columnId, int32_t slot, const void* value, uint16_t length, uint32_t flags) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (slot < 0 || slot > 4) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "filter-key slot " + std::to_string(slot) + " is not 0 to 4");
  const ColumnMeta* col = c->meta->Column(columnId);
  if (!col) return Fail(c->session, DRM_ERR_INVALID_COLUMN_ID, Describe(c) + " has no column with id " + std::to_string(columnId));
  if (col->IsLong()) return Fail(c->session, DRM_ERR_CANNOT_INDEX_LONG, "column '" + col->name + "' holds long values and cannot be a key part");
  KeyPart kp;
  kp.columnId = columnId;
  kp.flags = flags;
  std::string what;
  if (int32_t r = ConstToVal(*col, value, length, kp.value, what); r < 0) return Fail(c->session, r, what);
  if (flags & DRM_KEYFLAG_FIRST) c->slots[slot].clear();
  c->slots[slot].push_back(std::move(kp));
  if (slot == DRM_KEYSLOT_SEEK) SelectionChanged(c);
  return 0;
}

int32_t RareCancelFilterKey(uint32_t hTable, int32_t slot) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (slot < 0 || slot > 4) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "filter-key slot " + std::to_string(slot) + " is not 0 to 4");
  bool had = !c->slots[slot].empty();
  c->slots[slot].clear();
  if (slot == DRM_KEYSLOT_SEEK && had) SelectionChanged(c);
  return 0;
}

int32_t RareSetRange(uint32_t hTable, const DRM_FilterStruct*, uint16_t, const DRM_FilterStruct*, uint16_t) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  // The key slots are authoritative; the term lists only repeat them.
  c->rangeStart = c->slots[DRM_KEYSLOT_RANGE_START];
  c->rangeEnd = c->slots[DRM_KEYSLOT_RANGE_END];
  c->rangeActive = true;
  SelectionChanged(c);
  return 0;
}

int32_t RareCancelRange(uint32_t hTable) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (c->rangeActive) {
    c->rangeActive = false;
    SelectionChanged(c);
  }
  return 0;
}

// ---- Direct record-manager access ----------------------------------------------------

int32_t RareRmCall(uint32_t hTable, int16_t operation, void* data, uint16_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  Session* s = c->session;
  uint16_t room = dataLen ? *dataLen : 0;
  if (dataLen) *dataLen = 0;
  int32_t r = 0;
  switch (operation) {
    case DRM_RM_FIRST: r = Fetch(c, 1, true); break;
    case DRM_RM_LAST: r = Fetch(c, -1, true); break;
    case DRM_RM_NEXT: RequireKey(c); r = Step(c, 1); break;
    case DRM_RM_PREVIOUS: RequireKey(c); r = Step(c, -1); break;
    case DRM_RM_RECORD_COUNT: {
      uint32_t n = 0;
      if ((r = RareGetRecordCount(hTable, &n))) return r;
      if (!data || room < 4) return Fail(s, DRM_ERR_BUFFER_TOO_SMALL, "the record count needs 4 bytes");
      std::memcpy(data, &n, 4);
      *dataLen = 4;
      return 0;
    }
    case DRM_RM_GET_EQUAL: {
      if (keyNum < 0 || static_cast<size_t>(keyNum) >= c->meta->indexes.size())
        return Fail(s, DRM_ERR_NO_SUCH_INDEX, Describe(c) + " has no index number " + std::to_string(keyNum));
      auto& ix = c->meta->indexes[static_cast<size_t>(keyNum)];
      const ColumnMeta* col = c->meta->Column(ix.segments[0].columnId);
      Val v;
      std::string what;
      if ((r = ConstToVal(*col, keyBuf, keyLen, v, what)) < 0) return Fail(s, r, what);
      std::string x = SegSql(c, c->meta->ColumnIndex(col->id), c->meta->SegmentNoCase(ix, ix.segments[0]));
      int rc;
      sqlite3_stmt* st = CachedStmt(c, "SELECT bm FROM " + c->meta->SqlName() + " WHERE " + x + " = ? ORDER BY " + x + ", bm LIMIT 1", &rc);
      if (!st) return FailSql(s, c->store, rc, "searching " + Describe(c));
      BindAll(st, {v});
      rc = sqlite3_step(st);
      int64_t bm = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
      sqlite3_reset(st);
      if (!bm || !LoadByBm(c, bm))
        return Fail(s, DRM_ERR_NO_CURRENT_RECORD, "no record of " + Describe(c) + " has key " + ValText(v) + " in index '" + ix.name + "'");
      break;
    }
    default:
      return Fail(s, DRM_ERR_NOT_SUPPORTED, "direct operation " + std::to_string(operation) + " is not one of 1 to 6");
  }
  if (r) return r;
  // The record image: per column a null indicator and the engine value.
  std::string image;
  for (size_t i = 0; i < c->meta->columns.size(); ++i) {
    const ColumnMeta& col = c->meta->columns[i];
    int32_t st = 0;
    const Val* v = ReadView(c, i, st);
    if (!v) return st;
    image.push_back(v->IsNull() ? 0 : 1);
    if (col.IsLong()) continue;
    std::string bytes;
    if (!v->IsNull()) ValToEngine(col, *v, bytes);
    size_t width = col.Drm() == DRM_TYPE_ZSTRING ? col.cbMax + 1 : col.ReportedCbMax();
    bytes.resize(width, '\0');
    image += bytes;
  }
  if (!data || room < image.size()) {
    if (dataLen) *dataLen = static_cast<uint16_t>(std::min<size_t>(image.size(), 0xFFFF));
    return Fail(s, DRM_ERR_BUFFER_TOO_SMALL, "the record image of " + Describe(c) + " needs " + std::to_string(image.size()) + " bytes");
  }
  std::memcpy(data, image.data(), image.size());
  *dataLen = static_cast<uint16_t>(image.size());
  return 0;
}

int32_t RareGetRmInfo(uint32_t hTable, TRmInfo* info) {
  ENGINE_LOCK;
  GET_CURSOR(hTable);
  if (!info) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no information record was given");
  c->rmKey.clear();
  if (c->indexPos >= 0 && c->state == Cursor::OnRecord) {
    RequireKey(c);
    auto& ix = c->meta->indexes[static_cast<size_t>(c->indexPos)];
    for (size_t i = 0; i < ix.segments.size() && i < c->key.size(); ++i) {
      std::string b;
      const ColumnMeta* col = c->meta->Column(ix.segments[i].columnId);
      if (!c->key[i].IsNull()) ValToEngine(*col, c->key[i], b);
      c->rmKey += b;
    }
  }
  info->pKeyBuf = c->rmKey.empty() ? nullptr : c->rmKey.data();
  info->KeyLen = static_cast<uint8_t>(std::min<size_t>(c->rmKey.size(), 255));
  info->KeyNum = static_cast<int8_t>(c->indexPos);
  info->CurFilter = c->rmFilter.empty() ? nullptr : c->rmFilter.data();
  info->CurFilterLen = static_cast<int32_t>(c->rmFilter.size());
  return 0;
}

}  // extern "C"
