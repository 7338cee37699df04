// Sessions, databases and their stores, transactions and error texts.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/engine/entry.h"

namespace drmengine {

namespace {
const char* kStorageName = "engine.rdb";

const char* kSchema =
    "CREATE TABLE IF NOT EXISTS drm_info(key TEXT PRIMARY KEY, value);"
    "CREATE TABLE IF NOT EXISTS drm_tables(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL, owner TEXT NOT NULL DEFAULT '', access INTEGER NOT NULL DEFAULT 0,"
    " next_col INTEGER NOT NULL DEFAULT 1, next_idx INTEGER NOT NULL DEFAULT 1,"
    " nrows INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS drm_columns(table_id INTEGER NOT NULL, col_id INTEGER NOT NULL,"
    " name TEXT NOT NULL, coltyp INTEGER NOT NULL, cbmax INTEGER NOT NULL, prec INTEGER NOT NULL,"
    " scale INTEGER NOT NULL, grbit INTEGER NOT NULL, dflt TEXT, collation TEXT,"
    " PRIMARY KEY(table_id, col_id));"
    "CREATE TABLE IF NOT EXISTS drm_indexes(table_id INTEGER NOT NULL, idx_no INTEGER NOT NULL,"
    " name TEXT NOT NULL, flags INTEGER NOT NULL, segs TEXT NOT NULL,"
    " PRIMARY KEY(table_id, idx_no));"
    "CREATE TABLE IF NOT EXISTS drm_users(name TEXT PRIMARY KEY, password TEXT NOT NULL);"
    "INSERT OR IGNORE INTO drm_info VALUES('format', 'record-engine-1');";

// ---- Stores ---------------------------------------------------------------------

// Opens the connection of a storage file, read-only when it exists but
// cannot be written. Returns 0 or a status with a text.
int32_t OpenConnection(Session* s, const std::string& file, Store& st) {
  bool existed = ::access(file.c_str(), F_OK) == 0;
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  st.db.reset(raw);  // a failed open still hands out a handle to close
  if (rc != SQLITE_OK && existed) {
    raw = nullptr;
    rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    st.db.reset(raw);
    st.readOnly = true;
  }
  if (rc != SQLITE_OK) {
    std::string why = st.db ? sqlite3_errmsg(st.db.get()) : sqlite3_errstr(rc);
    return Fail(s, existed ? DRM_ERR_PERMISSION_DENIED : DRM_ERR_INVALID_PATH,
                "cannot open or create the storage file '" + file + "': " + why);
  }
  st.busyMs = BusyWaitMs();
  sqlite3_busy_timeout(st.db.get(), st.busyMs);
  // The largest value, and record, the storage takes: SQLite's own limit,
  // or less when the environment asks for less (so that tests reach it).
  if (const char* max = std::getenv("DAC_ENGINE_MAX_LENGTH")) {
    int bytes = 0;
    if (ParseNumber(std::string_view(max), bytes) && bytes > 0) sqlite3_limit(st.db.get(), SQLITE_LIMIT_LENGTH, bytes);
  }
  sqlite3_extended_result_codes(st.db.get(), 1);
  // Inside a transaction every write statement keeps a journal of the pages
  // it changes, so that it can be undone alone. SQLite keeps that journal in
  // memory only up to a small size and then moves it to a temporary file,
  // where each later write costs several disk writes. Held in memory, it is
  // emptied when its statement ends, so it stays as small as one statement.
  sqlite3_exec(st.db.get(), "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
  // Rows a cursor keeps in memory are good only within the write
  // transaction they were read in: every end of one is counted.
  sqlite3_commit_hook(
      st.db.get(),
      [](void* store) {
        ++static_cast<Store*>(store)->txnEnds;
        return 0;
      },
      &st);
  sqlite3_rollback_hook(st.db.get(), [](void* store) { ++static_cast<Store*>(store)->txnEnds; }, &st);
  return 0;
}

// Is the file empty (a new database), one of ours, or something else?
int32_t CheckFormat(Session* s, Store& st, bool& ours) {
  const std::string& file = st.file;
  int rc = SQLITE_OK;
  int objects = -1;
  if (StmtPtr q = Prepare(&st, "SELECT count(*) FROM sqlite_master", &rc)) {
    rc = sqlite3_step(q.get());
    if (rc == SQLITE_ROW) objects = sqlite3_column_int(q.get(), 0), rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) {
    if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT)
      return Fail(s, DRM_ERR_NOT_DB_FILE,
                  "'" + file + "' is not a database of this engine (" + sqlite3_errmsg(st.db.get()) + ")");
    return FailSql(s, &st, rc, "opening '" + file + "'");
  }
  ours = false;
  if (objects > 0) {
    StmtPtr q = Prepare(&st, "SELECT value FROM drm_info WHERE key = 'format'");
    ours = q && sqlite3_step(q.get()) == SQLITE_ROW;
    if (!ours)
      return Fail(s, DRM_ERR_NOT_DB_FILE,
                  "'" + file + "' holds data of another program, not a database of this engine");
  }
  return 0;
}

// ---- Transaction levels ------------------------------------------------------
//
// Level n of the session's transaction is the savepoint "sn" on every
// connection, level 1 opened by BEGIN: so that a rollback can go back to
// the start of any level, the outermost included, without ending the
// SQLite transaction and giving up its write lock.

std::string LevelName(int level) { return "s" + std::to_string(level); }

// Opens levels `from` to `to` on the connection.
int EnterLevels(Store* st, int from, int to) {
  for (int level = from; level <= to; ++level) {
    int rc = Exec(st, (level == 1 ? "BEGIN; SAVEPOINT " : "SAVEPOINT ") + LevelName(level));
    if (rc != SQLITE_OK) return rc;
    st->txnDepth = level;
  }
  return SQLITE_OK;
}

// Makes the logged definitions again, all or none: on failure nothing of
// the attempt is left, in the data or in the log. `why` receives SQLite's
// message of the failure.
int Replay(Store* st, const std::vector<Store::DdlEntry>& redo, std::string& why) {
  const size_t logged = st->ddlLog.size();
  int rc = Exec(st, "SAVEPOINT replay");
  for (size_t i = 0; i < redo.size() && rc == SQLITE_OK; ++i) rc = ExecDdl(st, redo[i].sql);
  if (rc == SQLITE_OK) rc = Exec(st, "RELEASE replay");
  if (rc != SQLITE_OK) {
    why = sqlite3_errmsg(st->db.get());
    Exec(st, "ROLLBACK TO replay; RELEASE replay");
    st->ddlLog.resize(logged);
  }
  return rc;
}

// Rolls the connection back to the start of `level`. Data definition is not
// undone by a rollback: what was defined at this level or above is defined
// again before the write lock is given back, in the same SQLite
// transaction, so no other writer comes in between (to take the write lock,
// a table name or an id) and a process killed on the way leaves the
// definitions whole or not at all. When they cannot be made again, the
// level is rolled back with its definitions and the failure is returned.
int32_t RollbackStore(Session* s, Store* st, int level, const std::string& name) {
  for (Cursor* c : st->shared->cursors)
    if (c->store == st) CursorResetStatements(c);
  std::vector<Store::DdlEntry> redo, keep;
  for (auto& d : st->ddlLog) (d.depth >= level ? redo : keep).push_back(d);
  st->ddlLog = std::move(keep);
  const std::string sp = LevelName(level);
  int32_t result = 0;
  if (redo.empty()) {
    Exec(st, level == 1 ? "ROLLBACK" : "ROLLBACK TO " + sp + "; RELEASE " + sp);
    st->txnDepth = level - 1;
  } else {
    const int outer = level - 1;
    int rc = Exec(st, level == 1 ? "ROLLBACK TO " + sp : "ROLLBACK TO " + sp + "; RELEASE " + sp);
    bool rejoin = false;
    if (rc != SQLITE_OK && sqlite3_get_autocommit(st->db.get())) {
      // SQLite ended the transaction itself (after a full disk or an I/O
      // error): define again in a transaction of its own, then follow the
      // session's open levels again.
      rc = Exec(st, "BEGIN IMMEDIATE");
      rejoin = outer > 0;
      redo.insert(redo.begin(), st->ddlLog.begin(), st->ddlLog.end());
      st->ddlLog.clear();
      st->txnDepth = 0;
    } else {
      st->txnDepth = outer;  // the definitions made again belong to the outer level
    }
    std::string why;
    if (rc == SQLITE_OK) {
      rc = Replay(st, redo, why);
      if (rc == SQLITE_OK && st->txnDepth == 0) rc = Exec(st, "COMMIT");
    } else {
      why = sqlite3_errmsg(st->db.get());
    }
    if (rc != SQLITE_OK) {
      if (st->txnDepth == 0 && !sqlite3_get_autocommit(st->db.get())) Exec(st, "ROLLBACK");
      result = FailSql(s, st, rc,
                       "rolled back transaction level '" + name + "' of '" + st->location +
                           "', but the table definitions made in it were not kept: defining them again failed",
                       false, why.c_str());
    }
    if (rejoin && EnterLevels(st, 1, outer) != SQLITE_OK && !result)
      result = FailSql(s, st, SQLITE_ERROR, "rejoining the transaction on '" + st->location + "'");
  }
  ++st->shared->version;
  std::set<int64_t> tables;
  for (Cursor* c : st->shared->cursors) tables.insert(c->meta->id);
  for (int64_t t : tables) RefreshCursorsOf(st->shared, t);
  return result;
}

// The storage file of a location: the folder's engine.rdb, or the file the
// location names. Only the engine's own storage file may be made into a
// database; another file must already be one, and a file that is not a
// regular one (a pipe, a device) is never opened at all.
int32_t StorageFile(Session* s, const std::string& location, std::string& file, bool& ownFile) {
  struct stat sb;
  file = location;
  if (::stat(location.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode)) file = location + "/" + kStorageName;
  size_t slash = file.rfind('/');
  ownFile = file.substr(slash == std::string::npos ? 0 : slash + 1) == kStorageName;
  if (::stat(file.c_str(), &sb) == 0) {
    if (!S_ISREG(sb.st_mode))
      return Fail(s, DRM_ERR_NOT_DB_FILE, "'" + file + "' is not a regular file and so not a database");
    return 0;
  }
  // A new storage file, and so its -wal and -shm companions, which take
  // its mode: readable and writable by its owner only. When the folder is
  // not writable the open that follows says so.
  UniqueFd created(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  return 0;
}

int32_t OpenStore(Engine& e, Session* s, const std::string& location, bool exclusive, Store*& out) {
  std::string file;
  bool ownFile = false;
  if (int32_t r = StorageFile(s, location, file, ownFile)) return r;

  auto found = s->stores.find(file);
  if (found != s->stores.end()) {
    Store* st = found->second.get();
    if (st->exclusive || exclusive)
      return Fail(s, DRM_ERR_DATABASE_LOCKED,
                  "database '" + location +
                      "' is already open exclusively or cannot be opened "
                      "exclusively while it is open");
    ++st->refs;
    out = st;
    return 0;
  }

  // Until it joins the session, the store's connection and lock close with
  // it on every early return.
  auto st = std::make_unique<Store>();
  st->file = file;
  st->location = location;
  st->session = s;
  if (int32_t r = OpenConnection(s, file, *st)) return r;
  bool ours = false;
  if (int32_t r = CheckFormat(s, *st, ours)) return r;
  if (!ours && !ownFile)
    return Fail(s, DRM_ERR_NOT_DB_FILE,
                "'" + file + "' is not a database of this engine; only a folder's own '" + kStorageName +
                    "' is made into one");

  // Who else has it open: a shared lock per open, an exclusive one for an
  // exclusive open, on a lock file beside the storage.
  st->lockFd.Reset(::open((file + "-open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!st->lockFd.Valid()) st->lockFd.Reset(::open((file + "-open").c_str(), O_RDONLY | O_CLOEXEC));
  if (st->lockFd.Valid() && ::flock(st->lockFd.Get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
    return Fail(s, DRM_ERR_DATABASE_LOCKED,
                exclusive ? "database '" + location + "' is open elsewhere and cannot be opened exclusively"
                          : "database '" + location + "' is opened exclusively by another session or process");

  if (!st->readOnly) {
    Exec(st.get(), "PRAGMA journal_mode=WAL");
    Exec(st.get(), "PRAGMA synchronous=NORMAL");
    Exec(st.get(), "PRAGMA cache_size=-16384");
    if (!ours) {
      int rc = Exec(st.get(), std::string("BEGIN;") + kSchema + "COMMIT;");
      if (rc != SQLITE_OK) {
        Exec(st.get(), "ROLLBACK");
        return FailSql(s, st.get(), rc, "creating the database in '" + location + "'");
      }
    }
  } else if (!ours) {
    return Fail(s, DRM_ERR_PERMISSION_DENIED, "'" + location + "' holds no database and is not writable");
  }

  auto& sf = e.files[file];
  if (!sf) {
    sf = std::make_unique<SharedFile>();
    sf->file = file;
  }
  st->shared = sf.get();
  ++sf->stores;
  st->exclusive = exclusive;
  st->refs = 1;
  // Join a transaction that is already open in this session.
  if (int rc = EnterLevels(st.get(), 1, static_cast<int>(s->savepoints.size())); rc != SQLITE_OK)
    return FailSql(s, st.get(), rc, "joining the open transaction on '" + location + "'");
  out = st.get();
  s->stores[file] = std::move(st);
  return 0;
}

// Closes the store; a transaction still open on it is rolled back as an
// explicit rollback would, and the failure of that is returned.
int32_t CloseStore(Engine& e, Session* s, Store* st) {
  for (auto it = e.cursors.begin(); it != e.cursors.end();) {
    Cursor* c = it->second.get();
    ++it;
    if (c->store == st) CloseCursor(e, c);
  }
  int32_t r = 0;
  if (st->txnDepth > 0 && st->shared)
    r = RollbackStore(s, st, 1, s->savepoints.empty() ? std::string() : s->savepoints.front());
  if (st->shared && --st->shared->stores == 0) e.files.erase(st->shared->file);
  // Dropping the store closes its connection and its open lock.
  s->stores.erase(s->stores.find(st->file));
  return r;
}

int32_t CloseDb(Engine& e, DbHandle* d) {
  Session* s = d->session;
  for (auto it = e.cursors.begin(); it != e.cursors.end();) {
    Cursor* c = it->second.get();
    ++it;
    if (c->dbh == d) CloseCursor(e, c);
  }
  for (auto it = e.results.begin(); it != e.results.end();) {
    if (it->second->dbHandle == d->handle)
      it = e.results.erase(it);
    else
      ++it;
  }
  Store* st = d->store;
  e.databases.erase(d->handle);
  return --st->refs == 0 ? CloseStore(e, s, st) : 0;
}

int32_t StartTransaction(Session* s, const std::string& name) {
  for (auto& n : s->savepoints)
    if (n == name)
      return Fail(s, DRM_ERR_SAVEPOINT_IN_USE, "transaction level '" + name + "' is already open in this session");
  const int level = static_cast<int>(s->savepoints.size()) + 1;
  std::vector<Store*> done;
  for (auto& [f, st] : s->stores) {
    int rc = EnterLevels(st.get(), level, level);
    if (rc != SQLITE_OK) {
      int32_t r = FailSql(s, st.get(), rc, "starting transaction level '" + name + "'");
      if (level == 1 && !sqlite3_get_autocommit(st->db.get())) Exec(st.get(), "ROLLBACK");
      for (Store* d : done) {
        Exec(d, level == 1 ? "ROLLBACK" : "RELEASE " + LevelName(level));
        d->txnDepth = level - 1;
      }
      return r;
    }
    done.push_back(st.get());
  }
  s->savepoints.push_back(name);
  return 0;
}

int32_t CommitLevel(Session* s, int level, const std::string& name) {
  for (auto& [f, st] : s->stores) {
    if (st->txnDepth < level) continue;
    int rc = Exec(st.get(), level == 1 ? "COMMIT" : "RELEASE " + LevelName(level));
    if (rc != SQLITE_OK) return FailSql(s, st.get(), rc, "committing transaction level '" + name + "'");
    st->txnDepth = level - 1;
    for (auto& d : st->ddlLog)
      if (d.depth >= level) d.depth = level - 1;
    if (level == 1) st->ddlLog.clear();
  }
  return 0;
}

// Rolls every connection back to the start of `level`; the first failure
// is returned, and the level is ended on every connection all the same.
int32_t RollbackLevel(Session* s, int level, const std::string& name) {
  int32_t result = 0;
  for (auto& [f, store] : s->stores) {
    if (store->txnDepth < level) continue;
    int32_t r = RollbackStore(s, store.get(), level, name);
    if (r && !result) result = r;
  }
  return result;
}

}  // namespace

}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t RareBeginSession(uint32_t* hSession, const char*, const char*, const char*) noexcept {
  return Entry(__func__, [&](Engine& e) -> int32_t {
    if (!hSession) return Fail(nullptr, DRM_ERR_INVALID_PARAMETER, "no place for the session handle was given");
    *hSession = 0;
    auto s = std::make_unique<Session>();
    s->handle = e.NewHandle();
    uint32_t h = s->handle;
    e.sessions[h] = std::move(s);
    *hSession = h;
    return 0;
  });
}

int32_t RareEndSession(uint32_t hSession) noexcept {
  return SessionEntry(__func__, hSession, [&](Engine& e, Session* s) -> int32_t {
    for (auto it = e.results.begin(); it != e.results.end();) {
      if (it->second->session == s)
        it = e.results.erase(it);
      else
        ++it;
    }
    // The open transaction ends as an explicit rollback of it would.
    int32_t r = s->savepoints.empty() ? 0 : RollbackLevel(s, 1, s->savepoints.front());
    s->savepoints.clear();
    std::vector<DbHandle*> dbs;
    for (auto& [h, d] : e.databases)
      if (d->session == s) dbs.push_back(d.get());
    for (DbHandle* d : dbs) CloseDb(e, d);
    if (r) {
      // The session is gone: its failure is kept where sessionless ones are.
      Fail(nullptr, r, s->lastText);
    }
    e.ForgetSession(hSession);
    return r;
  });
}

int32_t RareSetSessionOption(uint32_t hSession, int32_t option, int32_t value) noexcept {
  return SessionEntry(__func__, hSession, [&](Engine&, Session* s) -> int32_t {
    if (option == DRM_SESOPT_RESERVED6) return 0;
    if (option == DRM_SESOPT_ISOLATION) {
      if (value == DRM_ISOLATION_READ_COMMITTED || value == DRM_ISOLATION_SERIALIZABLE) return 0;
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "isolation level " + std::to_string(value) + " is not one of 2 and 8");
    }
    return Fail(s, DRM_ERR_INVALID_SESSION_OPTION, "option number " + std::to_string(option) + " is not known");
  });
}

int32_t RareSetTransact(uint32_t hSession, int32_t operation, const char* savepoint) noexcept {
  return SessionEntry(__func__, hSession, [&](Engine&, Session* s) -> int32_t {
    std::string name = savepoint ? savepoint : "";
    if (operation == DRM_TRANS_START) return StartTransaction(s, name);
    if (operation != DRM_TRANS_COMMIT && operation != DRM_TRANS_ROLLBACK)
      return Fail(s, DRM_ERR_INVALID_PARAMETER,
                  "transaction operation " + std::to_string(operation) + " is not 3, 4 or 5");
    int level = -1;
    for (size_t i = s->savepoints.size(); i-- > 0;)
      if (s->savepoints[i] == name) {
        level = static_cast<int>(i) + 1;
        break;
      }
    if (level < 0) return 0;  // already ended together with an outer level
    if (operation == DRM_TRANS_COMMIT) {
      if (int32_t r = CommitLevel(s, level, name)) return r;
      s->savepoints.resize(static_cast<size_t>(level - 1));
      return 0;
    }
    // The level ends whether or not its table definitions could be kept.
    int32_t r = RollbackLevel(s, level, name);
    s->savepoints.resize(static_cast<size_t>(level - 1));
    return r;
  });
}

int32_t RareOpenDatabase(uint32_t hSession, const char* target, uint32_t* hDatabase, int32_t mode, const char* user,
                         const char* password) noexcept {
  if (hDatabase) *hDatabase = 0;
  return SessionEntry(__func__, hSession, [&](Engine& e, Session* s) -> int32_t {
    if (!target || !hDatabase)
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "no database target or handle place was given");
    if (mode & ~(DRM_DBOPEN_EXCLUSIVE | DRM_DBOPEN_OEM))
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "database open mode " + std::to_string(mode) + " is not 0, 2, 4 or 6");
    std::string t = target;
    std::string host, name = t;
    size_t tab = t.find('\t');
    if (tab != std::string::npos) {
      host = t.substr(0, tab);
      name = t.substr(tab + 1);
    }
    if (!HostIsLocal(host))
      return Fail(s, DRM_ERR_NO_SUCH_DATABASE,
                  "host '" + host + "' is not this computer; this engine opens local databases only");
    std::string location, what;
    if (int32_t r = ResolveLocation(name, location, what)) return Fail(s, r, what);
    Store* st = nullptr;
    if (int32_t r = OpenStore(e, s, location, (mode & DRM_DBOPEN_EXCLUSIVE) != 0, st)) return r;
    auto d = std::make_unique<DbHandle>();
    d->handle = e.NewHandle();
    d->session = s;
    d->store = st;
    // Accounts that cannot be counted are no reason to let anyone in.
    if (int64_t accounts = CountAccounts(st); accounts != 0) {
      d->secured = true;
      std::string why;
      int32_t fail = accounts < 0 ? DRM_ERR_DISK_IO : CheckAccount(st, user, password, d->account, why);
      if (accounts < 0) why = "the accounts of '" + st->location + "' cannot be read";
      if (fail) {
        if (--st->refs == 0) CloseStore(e, s, st);
        return Fail(s, fail, why);
      }
    }
    uint32_t h = d->handle;
    e.databases[h] = std::move(d);
    *hDatabase = h;
    return 0;
  });
}

int32_t RareCloseDatabase(uint32_t hSession, uint32_t hDatabase) noexcept {
  return SessionDatabaseEntry(__func__, hSession, hDatabase,
                              [&](Engine& e, Session*, DbHandle* d) -> int32_t { return CloseDb(e, d); });
}

int32_t RareIsDatabaseSecured(uint32_t hDatabase, uint16_t* secured) noexcept {
  return DatabaseEntry(__func__, hDatabase, [&](Engine&, DbHandle* d) -> int32_t {
    if (!secured) return Fail(d->session, DRM_ERR_INVALID_PARAMETER, "no place for the answer was given");
    *secured = d->secured ? 1 : 0;
    return 0;
  });
}

int32_t RareGetExtErrStr(uint32_t hSession, int32_t status, char* buffer, uint32_t bufferSize,
                         uint32_t* length) noexcept {
  return Entry(__func__, [&](Engine& e) -> int32_t {
    const std::string* text = nullptr;
    if (hSession == 0xFFFFFFFFu || hSession == 0) {
      if (e.noSessionStatus == status) text = &e.noSessionText;
    } else if (Session* s = e.FindSession(hSession)) {
      if (s->lastStatus == status) text = &s->lastText;
    } else if (e.noSessionStatus == status) {
      text = &e.noSessionText;
    }
    if (!buffer || bufferSize == 0) {
      if (length) *length = 0;
      return buffer ? DRM_ERR_BUFFER_TOO_SMALL : DRM_ERR_INVALID_PARAMETER;
    }
    size_t n = text ? std::min<size_t>({text->size(), DRM_EXT_ERR_MAX - 1, bufferSize - 1}) : 0;
    if (n) std::memcpy(buffer, text->data(), n);
    buffer[n] = '\0';
    if (length) *length = static_cast<uint32_t>(n);
    return 0;
  });
}

// Arithmetic only: it takes no lock, cannot throw, and answers 1 or 0
// rather than a status.
int32_t RareIntPower10(uint16_t* w0, uint16_t* w1, uint16_t* w2, uint16_t* w3, int32_t power) noexcept {
  if (!w0 || !w1 || !w2 || !w3) return 0;
  uint64_t u = uint64_t{*w0} | uint64_t{*w1} << 16 | uint64_t{*w2} << 32 | uint64_t{*w3} << 48;
  int64_t v = static_cast<int64_t>(u);
  if (!IntPower10(v, power)) return 0;
  u = static_cast<uint64_t>(v);
  *w0 = static_cast<uint16_t>(u);
  *w1 = static_cast<uint16_t>(u >> 16);
  *w2 = static_cast<uint16_t>(u >> 32);
  *w3 = static_cast<uint16_t>(u >> 48);
  return 1;
}

}  // extern "C"
