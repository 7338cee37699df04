// Process-wide state of the engine: handle tables, sessions, stores,
// database handles, table cursors and catalog result cursors. Every API call
// holds the engine lock for its duration (see entry.h).
#pragma once

#include <deque>
#include <map>
#include <optional>

#include "platform/engine/engine_core.h"
#include "platform/engine/engine_lock.h"

namespace drmengine {

struct Session;
struct Store;
struct Cursor;

// One database file as this process sees it, shared by every session.
struct SharedFile {
  std::string file;
  uint64_t version = 1;  // bumped by every committed or pending write in this process
  std::map<std::pair<int64_t, int64_t>, uint32_t> recordLocks;  // (table, bm) -> cursor
  struct TableUse {
    int handles = 0;
    uint32_t exclusiveCursor = 0;
  };
  std::map<int64_t, TableUse> tableUse;
  std::set<Cursor*> cursors;
  int stores = 0;
};

// One SQLite connection: a session's view of one database file.
struct Store {
  std::string file;      // storage file
  std::string location;  // as resolved, for messages
  UniqueFd lockFd;       // the open lock on `file`-open, released after...
  ConnectionPtr db;      // ...the connection closes (members end in reverse)
  int refs = 0;          // database handles using it
  bool exclusive = false;
  bool readOnly = false;
  SharedFile* shared = nullptr;
  Session* session = nullptr;
  int busyMs = 0;    // how long a write waits for the lock
  int txnDepth = 0;  // levels begun on this connection
  uint64_t txnEnds = 0;  // commits and rollbacks of the connection so far
  struct DdlEntry {
    int depth;
    std::string sql;
  };
  std::vector<DdlEntry> ddlLog;
};

struct DbHandle {
  uint32_t handle = 0;
  Session* session = nullptr;
  Store* store = nullptr;
  bool secured = false;
  // The account whose credentials opened the handle, or that the handle
  // made as the database's first; empty when it holds none.
  std::string account;
};

struct Session {
  uint32_t handle = 0;
  std::map<std::string, std::unique_ptr<Store>> stores;  // by storage file
  std::vector<std::string> savepoints;   // open transaction levels
  int32_t lastStatus = 0;
  std::string lastText;
};

// Key part of a filter-key slot.
struct KeyPart {
  uint32_t columnId = 0;
  Val value;
  uint32_t flags = 0;
  // A decimal key strictly between `value` and the next scaled integer.
  bool between = false;
};

struct Term {
  uint8_t kind = 0;
  uint32_t columnId = 0;
  uint8_t joint = 0;
  uint8_t code = 0;
  uint32_t compColumnId = 0;
  std::string constBytes;
  bool constNull = true;
};

struct OrderSeg {
  int colIndex = -1;  // -1: the bookmark
  bool desc = false;
  bool nocase = false;
};

struct Pending {
  bool isNew = false;
  int64_t bm = 0;
  std::vector<Val> vals;
  std::vector<Val> orig;
};

// Rows a cursor read one after the other in its order while its connection
// held the write lock, so that nothing but this process could change them.
// Moving among them, and reading them, needs no statement: the ring of
// records above the engine reads the same few rows again and again around a
// post (see cursor_window.cpp).
struct RowWindow {
  struct Row {
    int64_t bm = 0;
    std::vector<Val> key;   // values of the cursor's order
    std::vector<Val> vals;  // every column, in catalog order
  };
  std::deque<Row> rows;  // consecutive in the cursor's order and visible set
  bool atStart = false;  // the first row is the first visible one
  bool atEnd = false;    // the last row is the last visible one
  size_t pos = 0;        // where the current row was found last
  const Row* cur = nullptr;  // that row; reset whenever a row leaves
  // What the rows were read under; any change makes them unusable.
  uint64_t version = 0, txnEnds = 0, visSerial = 0;
};

struct Cursor {
  uint32_t handle = 0;
  Session* session = nullptr;
  DbHandle* dbh = nullptr;
  Store* store = nullptr;
  std::shared_ptr<TableMeta> meta;
  int32_t mode = 0;
  bool readOnly = false;
  bool ownerReadOnly = false;
  bool exclusive = false;
  bool securedFlag = false;
  int indexPos = -1;  // position in meta->indexes, -1 none
  std::vector<OrderSeg> order;
  std::string selectSql, orderFwd, orderBwd;  // cached SQL pieces, empty: rebuild
  std::string insertSql, rewriteSql;          // the update cycle's writes, likewise
  std::vector<size_t> rewriteCols;            // the columns `rewriteSql` sets
  std::string byBookmarkSql;                  // the current row by its bookmark, likewise

  // Position.
  enum State { BeforeFirst, OnRecord, Gap } state = BeforeFirst;
  int64_t bm = 0;
  std::vector<Val> key;  // values of `order` (without the trailing bookmark)

  // Scan statement standing on the current row (one of `stmts`).
  sqlite3_stmt* live = nullptr;
  int liveDir = 0;
  uint64_t liveVersion = 0;
  bool rowFromLive = false;
  bool liveNullTail = false;  // rows with a NULL first segment follow the scan
  std::vector<Val> rowCache;  // columns of the current row when not live
  bool rowCacheValid = false;
  uint64_t rowCacheVersion = 0;

  // Selection.
  std::map<int32_t, std::pair<int32_t, std::vector<Term>>> filters;  // tag -> (mode, terms)
  int32_t nextTag = 1;
  std::vector<KeyPart> slots[5];
  bool rangeActive = false;
  std::vector<KeyPart> rangeStart, rangeEnd;
  bool visDirty = true;
  uint64_t visSerial = 0;  // bumped whenever `vis` is built again
  std::string vis;
  std::vector<Val> visBinds;
  std::map<std::string, StmtPtr> stmts;  // prepared statements by their text
  uint64_t stmtGeneration = 0;           // bumped whenever `stmts` is emptied

  // Re-seek statements by the shape that fixes their text: building the text
  // costs far more than binding, and a walk, a key search or an append
  // re-seeks with the same shape again and again. Entries point into
  // `stmts` and are dropped with them.
  struct SeekShape {
    bool forward = true;
    bool fromStart = true;
    uint64_t nullKeys = 0;  // bit i: key value i is NULL
    std::string vis;        // the visible set's condition the text holds
    sqlite3_stmt* st = nullptr;
    bool nullTail = false;
    bool prefix = false;  // the text bounds the first two segments together
  };
  std::vector<SeekShape> seeks;

  // Update cycle.
  std::optional<Pending> pending;
  bool newView = false;
  bool forcedView = false;

  // Direct record-manager info.
  std::string rmKey;
  std::vector<DRM_FilterStruct> rmFilter;
  std::vector<std::string> rmFilterConsts;

  std::string scratch;
  Val scratchVal;
  RowWindow window;
  // A move that found no row beyond `bm` in direction `dir`, and what the
  // data looked like then: the same move from there again (after a jump
  // back by bookmark, say) is answered without a seek while nothing changed.
  struct EndSeen {
    int64_t bm = 0;
    int dir = 0;
    uint64_t version = 0, txnEnds = 0, visSerial = 0;
    int64_t dataVersion = -1;
  } endSeen;
  // Binds of the statement a re-seek left live: it reads them in place.
  std::vector<Val> seekBinds;
};

// Rows of a catalog answer, walked like a table.
struct ResultCursor {
  uint32_t handle = 0;
  Session* session = nullptr;
  uint32_t dbHandle = 0;
  std::vector<uint8_t> widths;  // 0 text, 2 or 4 bytes for numbers
  std::vector<std::vector<Val>> rows;
  long pos = -1;
};

struct Engine {
  EngineLock lock;
  uint32_t nextHandle = 1;
  std::map<uint32_t, std::unique_ptr<Session>> sessions;
  std::map<uint32_t, std::unique_ptr<DbHandle>> databases;
  std::map<uint32_t, std::unique_ptr<Cursor>> cursors;
  std::map<uint32_t, std::unique_ptr<ResultCursor>> results;
  std::map<std::string, std::unique_ptr<SharedFile>> files;
  int32_t noSessionStatus = 0;
  std::string noSessionText;

  uint32_t NewHandle() { return nextHandle++; }
  uint32_t lastSessionHandle = 0;
  Session* lastSession = nullptr;
  Session* FindSession(uint32_t h) {
    if (h && h == lastSessionHandle) return lastSession;
    auto it = sessions.find(h);
    if (it == sessions.end()) return nullptr;
    lastSessionHandle = h;
    lastSession = it->second.get();
    return lastSession;
  }
  void ForgetSession(uint32_t h) {
    if (h == lastSessionHandle) lastSessionHandle = 0, lastSession = nullptr;
    sessions.erase(h);
  }
  DbHandle* FindDb(uint32_t h) {
    auto it = databases.find(h);
    return it == databases.end() ? nullptr : it->second.get();
  }
  // The last cursor found: moves and reads name the same handle many times
  // in a row.
  uint32_t lastCursorHandle = 0;
  Cursor* lastCursor = nullptr;
  Cursor* FindCursor(uint32_t h) {
    if (h && h == lastCursorHandle) return lastCursor;
    auto it = cursors.find(h);
    if (it == cursors.end()) return nullptr;
    lastCursorHandle = h;
    lastCursor = it->second.get();
    return lastCursor;
  }
  void ForgetCursor(uint32_t h) {
    if (h == lastCursorHandle) lastCursorHandle = 0, lastCursor = nullptr;
    cursors.erase(h);
  }
  ResultCursor* FindResult(uint32_t h) {
    auto it = results.find(h);
    return it == results.end() ? nullptr : it->second.get();
  }
};

Engine& TheEngine();

// One write as an atomic step. Outside a transaction the step is a
// transaction of its own that takes the write lock when it begins (waiting
// up to the store's wait time), so what the step reads to decide how to
// write (the row an update compares, the highest number an insert draws)
// cannot change before it writes; it is rolled back unless it commits.
// Inside an open transaction that transaction is the unit: the step adds
// nothing, and a failing statement undoes only itself.
class WriteStep {
 public:
  explicit WriteStep(Store* st) noexcept : FStore(st) {}
  WriteStep(const WriteStep&) = delete;
  WriteStep& operator=(const WriteStep&) = delete;
  ~WriteStep();
  // SQLITE_OK, or the SQLite result of taking the lock.
  int Begin();
  // SQLITE_OK, or the SQLite result of the commit (the step is then undone).
  int Commit();

 private:
  Store* FStore;
  bool FOpen = false;
};

// Records the failure as the session's last one and returns the status.
int32_t Fail(Session* s, int32_t status, std::string text);
// Maps an SQLite failure to a status and records it with SQLite's message
// (the connection's current one unless `message` is given).
int32_t FailSql(Session* s, Store* st, int rc, const std::string& context, bool recordLevel = false,
                const char* message = nullptr);

// SQL helpers.
std::string QuoteLiteral(const std::string& s);
int Exec(Store* st, const std::string& sql);
// Executes a data-definition statement; inside a transaction it is logged
// so that it can be replayed after a rollback.
int ExecDdl(Store* st, const std::string& sql);
// A savepoint of a connection: rolled back when the scope ends unless it
// was released. Result() is SQLite's answer to opening it; nothing else
// may be done when that is not SQLITE_OK.
class SavepointScope {
 public:
  SavepointScope(Store* st, std::string name);
  ~SavepointScope();
  SavepointScope(const SavepointScope&) = delete;
  SavepointScope& operator=(const SavepointScope&) = delete;
  int Result() const { return FResult; }
  // Ends the savepoint keeping its changes; returns SQLite's answer.
  int Release();

 private:
  Store* FStore;
  std::string FName;
  int FResult;
  bool FOpen;
};
// A statement of the connection; null (and the SQLite result in `rc`) when
// it cannot be prepared.
StmtPtr Prepare(Store* st, const std::string& sql, int* rc = nullptr);
// A text column of the current row ("" for NULL).
std::string ColumnText(sqlite3_stmt* st, int col);

// Metadata.
int32_t LoadTableMeta(Session* s, Store* st, const std::string& name,
                      std::shared_ptr<TableMeta>& out);
int32_t LoadTableMetaById(Store* st, int64_t id, std::shared_ptr<TableMeta>& out);
// After data definition on a table, every cursor of this process on it
// rereads its metadata.
void RefreshCursorsOf(SharedFile* sf, int64_t tableId);

// Cursor operations shared by the API files.
void CursorResetStatements(Cursor* c);
void StopReaders(Store* st);
void CursorSetOrder(Cursor* c, int indexPos);
void CursorReleaseLock(Cursor* c);
void CloseCursor(Engine& e, Cursor* c);
// Names of tables, columns, indexes: 1 to 255 bytes without control
// characters (below 0x20, and DEL).
bool IsValidName(const std::string& n);

// Accounts of secured databases (accounts.cpp).
// The number of accounts; -1 when they cannot be read.
int64_t CountAccounts(Store* st);
// Checks credentials against the stored password hashes. On success
// `account` is the user's account name; otherwise a status and `why`.
int32_t CheckAccount(Store* st, const char* user, const char* password, std::string& account, std::string& why);

}  // namespace drmengine
