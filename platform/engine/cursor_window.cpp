// What a cursor remembers of its recent moves, so that moving there again
// costs no statement: the row window (rows a cursor read one after the other
// in its order while its connection held the write lock), and the end of the
// visible set it last ran into.
//
// Above the engine, a dataset keeps a ring of records around the current
// one and reads it again after every post, cancel or append: the record
// before the one just written, and the nine before that, are read once per
// posted record. Inside a write transaction nothing outside this process can
// change the table, and every write inside it bumps the file's version; so
// rows read then stay true until the version moves. The cursor's own writes
// are patched into the window instead of dropping it, when where the row
// now stands is certain.
//
// The window never answers outside a write transaction: there, another
// process's commits must become visible at the next re-seek.
#include <strings.h>

#include <cstring>
#include <optional>

#include "platform/engine/cursor_core.h"

namespace drmengine {

namespace {

constexpr size_t kWindowRows = 32;

using Row = RowWindow::Row;

bool HoldsWriteLock(const Cursor* c) {
  return c->store->txnDepth > 0 && sqlite3_txn_state(c->store->db.get(), "main") == SQLITE_TXN_WRITE;
}

void Stamp(Cursor* c) {
  RowWindow& w = c->window;
  w.version = c->store->shared->version;
  w.txnEnds = c->store->txnEnds;
  w.visSerial = c->visSerial;
}

// Where the row with bookmark `bm` stands in the window, or -1.
long Find(Cursor* c, int64_t bm) {
  RowWindow& w = c->window;
  if (w.pos < w.rows.size() && w.rows[w.pos].bm == bm) {
    w.cur = &w.rows[w.pos];
    return static_cast<long>(w.pos);
  }
  for (size_t i = 0; i < w.rows.size(); ++i)
    if (w.rows[i].bm == bm) {
      w.pos = i;
      w.cur = &w.rows[i];
      return static_cast<long>(i);
    }
  return -1;
}

// SQLite's order of two stored values under BINARY or NOCASE; nothing for
// an integer against a real (left to SQLite rather than guessed).
std::optional<int> CompareVals(const Val& a, const Val& b, bool nocase) {
  auto rank = [](const Val& v) { return v.kind == Val::Null ? 0 : v.kind == Val::Text ? 2 : v.kind == Val::Blob ? 3 : 1; };
  if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
  switch (a.kind) {
    case Val::Null: return 0;
    case Val::Int:
    case Val::Real:
      if (a.kind != b.kind) return std::nullopt;
      if (a.kind == Val::Int) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
      if (a.d != a.d || b.d != b.d) return std::nullopt;
      return a.d < b.d ? -1 : a.d > b.d ? 1 : 0;
    default: {
      const size_t n = std::min(a.s.size(), b.s.size());
      int r = 0;
      if (n) r = nocase && a.kind == Val::Text ? strncasecmp(a.s.data(), b.s.data(), n) : std::memcmp(a.s.data(), b.s.data(), n);
      if (r == 0) r = a.s.size() < b.s.size() ? -1 : a.s.size() > b.s.size() ? 1 : 0;
      return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
  }
}

// The order of two rows in the cursor's order (the bookmark last).
std::optional<int> CompareRows(const Cursor* c, const Row& a, const Row& b) {
  for (size_t i = 0; i < c->order.size(); ++i) {
    auto r = CompareVals(a.key[i], b.key[i], c->order[i].nocase);
    if (!r) return std::nullopt;
    if (*r != 0) return c->order[i].desc ? -*r : *r;
  }
  return a.bm < b.bm ? -1 : a.bm > b.bm ? 1 : 0;
}

void Clear(Cursor* c) {
  RowWindow& w = c->window;
  w.rows.clear();
  w.atStart = w.atEnd = false;
  w.pos = 0;
  w.cur = nullptr;
}

// Positions the cursor on window row `i`.
void Take(Cursor* c, size_t i) {
  RowWindow& w = c->window;
  const Row& r = w.rows[i];
  DropLive(c);
  c->bm = r.bm;
  c->key = r.key;
  c->state = Cursor::OnRecord;
  c->rowCacheValid = false;
  w.pos = i;
  w.cur = &r;
}

// The row the cursor was just positioned on by a statement, as a window row
// (the storage of `spare` is used again).
Row ReadRow(Cursor* c, sqlite3_stmt* st, Row spare) {
  spare.bm = c->bm;
  spare.key = c->key;
  const size_t n = c->meta->columns.size();
  spare.vals.resize(n);
  for (size_t i = 0; i < n; ++i) LoadVal(spare.vals[i], st, static_cast<int>(i + 1));
  return spare;
}

void Restart(Cursor* c, Row r, int dir, bool fromStart) {
  Clear(c);
  c->window.rows.push_back(std::move(r));
  c->window.cur = &c->window.rows.back();
  c->window.atStart = fromStart && dir > 0;
  c->window.atEnd = fromStart && dir < 0;
}

// Adds a row the cursor wrote beyond the last row (`back`) or before the
// first, the row at the other end making room when the window is full.
void AddAtEdge(RowWindow& w, Row r, bool back) {
  if (w.rows.size() >= kWindowRows) {
    if (back) {
      w.rows.pop_front();
      w.atStart = false;
    } else {
      w.rows.pop_back();
      w.atEnd = false;
    }
  }
  if (back)
    w.rows.push_back(std::move(r));
  else
    w.rows.push_front(std::move(r));
  w.pos = back ? w.rows.size() - 1 : 0;
  w.cur = back ? &w.rows.back() : &w.rows.front();
}

}  // namespace

void WindowNoteRow(Cursor* c, sqlite3_stmt* st, int64_t fromBm, int dir, bool fromStart) {
  RowWindow& w = c->window;
  if (c->visDirty || !HoldsWriteLock(c)) {
    if (!w.rows.empty()) Clear(c);
    return;
  }
  const long from = !fromStart && WindowValid(c) ? Find(c, fromBm) : -1;
  const bool extends = from >= 0 && (dir > 0 ? static_cast<size_t>(from) + 1 == w.rows.size() : from == 0);
  if (!extends) {
    Restart(c, ReadRow(c, st, Row{}), dir, fromStart);
    Stamp(c);
    return;
  }
  Row spare;
  if (w.rows.size() >= kWindowRows) {
    // The row farthest behind the move makes room.
    if (dir > 0) {
      spare = std::move(w.rows.front());
      w.rows.pop_front();
      w.cur = nullptr;
      w.atStart = false;
    } else {
      spare = std::move(w.rows.back());
      w.rows.pop_back();
      w.cur = nullptr;
      w.atEnd = false;
    }
  }
  if (dir > 0) {
    w.rows.push_back(ReadRow(c, st, std::move(spare)));
    w.pos = w.rows.size() - 1;
    w.cur = &w.rows.back();
  } else {
    w.rows.push_front(ReadRow(c, st, std::move(spare)));
    w.pos = 0;
    w.cur = &w.rows.front();
  }
  Stamp(c);
}

void WindowNoteEnd(Cursor* c, int64_t fromBm, int dir) {
  if (!WindowValid(c)) return;
  RowWindow& w = c->window;
  const long at = Find(c, fromBm);
  if (dir > 0 && at >= 0 && static_cast<size_t>(at) + 1 == w.rows.size()) w.atEnd = true;
  if (dir < 0 && at == 0) w.atStart = true;
}

int32_t WindowStep(Cursor* c, int dir, bool& answered) {
  answered = false;
  if (c->state != Cursor::OnRecord || !WindowValid(c)) return 0;
  RowWindow& w = c->window;
  const long at = Find(c, c->bm);
  if (at < 0) return 0;
  const long to = at + dir;
  if (to >= 0 && static_cast<size_t>(to) < w.rows.size()) {
    answered = true;
    Take(c, static_cast<size_t>(to));
    return 0;
  }
  if (dir > 0 ? !w.atEnd : !w.atStart) return 0;
  answered = true;
  DropLive(c);
  return Fail(c->session, DRM_ERR_NO_CURRENT_RECORD,
              Describe(c) + " has no record " + (dir > 0 ? "after" : "before") + " the current one");
}

bool WindowEdge(Cursor* c, int dir) {
  if (!WindowValid(c)) return false;
  RowWindow& w = c->window;
  if (dir > 0 ? !w.atStart : !w.atEnd) return false;
  Take(c, dir > 0 ? 0 : w.rows.size() - 1);
  return true;
}

const Val* WindowSearchVal(Cursor* c, size_t idx) {
  if (!WindowValid(c)) return nullptr;
  const long at = Find(c, c->bm);
  return at < 0 ? nullptr : &c->window.rows[static_cast<size_t>(at)].vals[idx];
}

bool WindowLoad(Cursor* c, int64_t bm) {
  if (!WindowValid(c)) return false;
  const long at = Find(c, bm);
  if (at < 0) return false;
  const Row& r = c->window.rows[static_cast<size_t>(at)];
  if (c->live) DropLive(c);
  c->bm = bm;
  c->rowCache = r.vals;
  c->key = r.key;
  c->rowFromLive = false;
  c->rowCacheValid = true;
  c->rowCacheVersion = c->store->shared->version;
  c->state = Cursor::OnRecord;
  return true;
}

bool WindowUsableBeforeWrite(const Cursor* c) { return WindowValid(c); }

void WindowAfterPost(Cursor* c, bool wasUsable, bool isNew, int64_t bm) {
  RowWindow& w = c->window;
  if (!wasUsable || c->state != Cursor::OnRecord || c->bm != bm || !c->rowCacheValid) {
    Clear(c);
    return;
  }
  Row r;
  r.bm = bm;
  r.key = c->key;
  r.vals = c->rowCache;
  // Whether a row belongs to the visible set is known for certain only when
  // every row does.
  const bool allVisible = c->vis == "1";
  const long at = isNew ? -1 : Find(c, bm);
  if (at >= 0) {
    const Row& old = w.rows[static_cast<size_t>(at)];
    auto same = CompareRows(c, r, old);
    if (!allVisible || !same || *same != 0) {
      Clear(c);
      return;
    }
    w.rows[static_cast<size_t>(at)].vals = std::move(r.vals);
    Stamp(c);
    return;
  }
  auto afterLast = CompareRows(c, r, w.rows.back());
  auto beforeFirst = CompareRows(c, r, w.rows.front());
  if (!afterLast || !beforeFirst || (*afterLast < 0 && *beforeFirst > 0)) {
    Clear(c);  // it landed among the rows, or where is not certain
    return;
  }
  const bool back = *afterLast > 0;
  if (back ? w.atEnd : w.atStart) {
    if (allVisible && isNew)
      AddAtEdge(w, std::move(r), back);
    else if (back)
      w.atEnd = false;
    else
      w.atStart = false;
  }
  Stamp(c);
}

void WindowAfterDelete(Cursor* c, bool wasUsable, int64_t bm) {
  RowWindow& w = c->window;
  if (!wasUsable) {
    Clear(c);
    return;
  }
  const long at = Find(c, bm);
  if (at >= 0) w.rows.erase(w.rows.begin() + at);
  w.cur = nullptr;
  if (w.rows.empty()) {
    Clear(c);
    return;
  }
  w.pos = 0;
  Stamp(c);
}

void WindowDrop(Cursor* c) { Clear(c); }

// ---- The end of the visible set --------------------------------------------

namespace {

// The pager's count of changes to the file as the connection's open read
// transaction sees it; -1 when no read transaction is open. The end of the
// set is remembered only while one stays open (another cursor's scan or a
// write transaction keeps it): the snapshot that found no further row is
// then the one every read still sees, and the count moves once a later
// snapshot takes in other connections' commits. Once the snapshot is gone,
// a commit made just after it could not be told from one made before, so
// the end is looked for again.
int64_t SnapshotVersion(Store* st) {
  sqlite3* db = st->db.get();
  if (sqlite3_txn_state(db, "main") == SQLITE_TXN_NONE) return -1;
  unsigned int v = 0;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_DATA_VERSION, &v) != SQLITE_OK) return -1;
  return v;
}

}  // namespace

void RememberEnd(Cursor* c, int64_t fromBm, int dir) {
  Cursor::EndSeen& e = c->endSeen;
  e.bm = fromBm;
  e.dir = dir;
  e.version = c->store->shared->version;
  e.txnEnds = c->store->txnEnds;
  e.visSerial = c->visSerial;
  e.dataVersion = c->visDirty ? -1 : SnapshotVersion(c->store);
}

bool EndStillHolds(Cursor* c, int dir) {
  const Cursor::EndSeen& e = c->endSeen;
  if (e.dataVersion < 0 || e.dir != dir || e.bm != c->bm || c->state != Cursor::OnRecord || c->visDirty ||
      e.version != c->store->shared->version || e.txnEnds != c->store->txnEnds || e.visSerial != c->visSerial)
    return false;
  return SnapshotVersion(c->store) == e.dataVersion;
}

}  // namespace drmengine
