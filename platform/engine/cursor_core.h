// What the cursor files share: the SQL of the current order and of key
// conditions, the statement cache, and positioning and reading the current
// row.
//
// A cursor keeps one prepared statement stepping through the visible set in
// the current order; it re-seeks from the saved key of its position only
// when the direction changes or the data changed, so a forward scan costs one
// sqlite3_step per move and the cursor's memory does not grow with the table.
#pragma once

#include "platform/engine/entry.h"

namespace drmengine {

// ---- SQL of orders and keys (cursor_core.cpp) ------------------------------

// One segment of an order as SQL.
struct LexSeg {
  std::string expr;
  bool desc = false;
  bool neverNull = false;
};

// The expression of catalog column `colIndex` (-1: the bookmark), folded
// without case when asked.
std::string SegSql(const Cursor* c, int colIndex, bool nocase);
// Condition that a row's key over `segs` lies after (forward) or before the
// values `vals` in index order, or equals them when not strict. NULL sorts
// lowest in an ascending segment. Appends the values it binds.
std::string Lex(const std::vector<LexSeg>& segs, const std::vector<const Val*>& vals, bool forward, bool strict,
                std::vector<Val>& binds, size_t i = 0);
// A leading bound that lets the planner seek on the first segment ("" when
// none applies).
std::string LeadBound(const LexSeg& s, const Val& v, bool forward, std::vector<Val>& binds);
// The bound for a move toward lower values of the first segment: "<= v",
// which leaves out the rows whose first segment is NULL; `nullTail` tells
// that they still follow (they sort lowest).
std::string UpperLeadBound(const LexSeg& s, const Val& v, bool forward, std::vector<Val>& binds, bool& nullTail);
// "bm, c1, c2, …": the bookmark and every column in catalog order.
const std::string& SelectList(Cursor* c);
const std::string& OrderBy(Cursor* c, bool forward);
// The current order's segments followed by the bookmark.
std::vector<LexSeg> PositionSegs(const Cursor* c);

// ---- Statements and rows (cursor_core.cpp) ----------------------------------

void LoadVal(Val& v, sqlite3_stmt* st, int col);
// A prepared statement kept by the cursor under its text (owned by the
// cursor; null and `rc` when it cannot be prepared).
sqlite3_stmt* CachedStmt(Cursor* c, const std::string& sql, int* rc);
// Resets the statement and binds the values from parameter 1 on. Returns
// the SQLite result of the first bind that fails, or SQLITE_OK. Values
// bound without a copy must stay unchanged until the statement is bound
// again.
int BindAll(sqlite3_stmt* st, const std::vector<Val>& binds, bool copy = true);
// Resets a cached statement when the scope ends, so that it keeps no read
// snapshot (and no bound copies of values) once it was used.
class ResetAtEnd {
 public:
  explicit ResetAtEnd(sqlite3_stmt* st) noexcept : FSt(st) {}
  ResetAtEnd(const ResetAtEnd&) = delete;
  ResetAtEnd& operator=(const ResetAtEnd&) = delete;
  ~ResetAtEnd() {
    if (FSt) {
      sqlite3_reset(FSt);
      sqlite3_clear_bindings(FSt);
    }
  }

 private:
  sqlite3_stmt* FSt;
};
std::string Describe(const Cursor* c);
// A value as a message shows it.
std::string ValText(const Val& v);

// ---- Position (cursor_core.cpp) ---------------------------------------------

// The scan statement stands on a row: it becomes the current record.
void TakeRow(Cursor* c, sqlite3_stmt* st, int dir);
// Ends the scan; the position stays.
void DropLive(Cursor* c);
// Positions on the record with that bookmark; false when there is none.
bool LoadByBm(Cursor* c, int64_t bm);
// First (fromStart) or next record in direction `dir` (1 forward, -1 back).
int32_t Fetch(Cursor* c, int dir, bool fromStart);
int32_t Step(Cursor* c, int dir);
// Goes on, in direction `dir`, with the rows whose first order segment is
// NULL, after a scan bounded by UpperLeadBound ran out.
int32_t FetchNullTail(Cursor* c, int dir);
// The value of column `idx` a read sees: the pending row under the
// read-view rules, else the stored one. Null and a status when there is none.
const Val* ReadView(Cursor* c, size_t idx, int32_t& status);
// After positioning by bookmark the key of the new order must be known.
void RequireKey(Cursor* c);

// ---- Row window (cursor_window.cpp) ------------------------------------------

// A statement just positioned the cursor on a row, moving `dir` from the
// row `fromBm` (or from the start): the window records it.
void WindowNoteRow(Cursor* c, sqlite3_stmt* st, int64_t fromBm, int dir, bool fromStart);
// Whether a row just read may concern the window: only inside a transaction,
// or to drop what the window holds (checked inline: it runs per move).
inline bool WindowMayRecord(const Cursor* c) { return c->store->txnDepth > 0 || !c->window.rows.empty(); }
// A move `dir` from row `fromBm` found no further row.
void WindowNoteEnd(Cursor* c, int64_t fromBm, int dir);
// Moves one row from the window when it knows the answer (`answered`).
int32_t WindowStep(Cursor* c, int dir, bool& answered);
// Goes to the first (dir 1) or last visible row when the window holds it.
bool WindowEdge(Cursor* c, int dir);
// Whether the window still shows the visible set: nothing was committed,
// no transaction ended and the selection is the one it was read under.
inline bool WindowValid(const Cursor* c) {
  const RowWindow& w = c->window;
  return !w.rows.empty() && w.version == c->store->shared->version && w.txnEnds == c->store->txnEnds &&
         w.visSerial == c->visSerial && !c->visDirty;
}
// Column `idx` of the current row from the window, or null. The row the
// window last moved to is checked inline: the ring's re-reads after a post
// read every column of about twenty rows that way.
const Val* WindowSearchVal(Cursor* c, size_t idx);
inline const Val* WindowVal(Cursor* c, size_t idx) {
  const RowWindow::Row* cur = c->window.cur;
  if (cur && cur->bm == c->bm && WindowValid(c)) return &cur->vals[idx];
  return WindowSearchVal(c, idx);
}
// Positions on row `bm` from the window, as LoadByBm does; false when the
// window cannot tell.
bool WindowLoad(Cursor* c, int64_t bm);
// Whether the window is good now: a write asks before it changes anything.
bool WindowUsableBeforeWrite(const Cursor* c);
// Patches the cursor's own write of row `bm` (the cursor stands on it, its
// row loaded) into the window, or drops the window.
void WindowAfterPost(Cursor* c, bool wasUsable, bool isNew, int64_t bm);
void WindowAfterDelete(Cursor* c, bool wasUsable, int64_t bm);
void WindowDrop(Cursor* c);

// Remembers that a move `dir` from row `fromBm` found no further row, when
// the read transaction it was found in stays open.
void RememberEnd(Cursor* c, int64_t fromBm, int dir);
// Whether that same move is known to find no row now.
bool EndStillHolds(Cursor* c, int dir);

// Opens a cursor on a table of database `d`.
int32_t OpenTable(Engine& e, Session* s, DbHandle* d, const std::string& name, int32_t mode, uint32_t& hTable);
// The stored record count of the cursor's table (cursor_moves.cpp).
int32_t StoredRecordCount(Cursor* c, uint32_t& count);

// ---- Selection (cursor_filters.cpp) -----------------------------------------

// Rebuilds the SQL condition of the visible set from filters, range and key.
int32_t BuildVis(Cursor* c, std::string& what);

}  // namespace drmengine
