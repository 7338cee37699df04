// Sessions, databases, named databases, transactions and error texts.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/engine/engine_state.h"

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
}  // namespace

Engine& TheEngine() {
  static Engine* e = new Engine();  // never destroyed: handles may outlive static teardown
  return *e;
}

int32_t Fail(Session* s, int32_t status, std::string text) {
  if (s) {
    s->lastStatus = status;
    s->lastText = std::move(text);
  } else {
    auto& e = TheEngine();
    e.noSessionStatus = status;
    e.noSessionText = std::move(text);
  }
  return status;
}

int32_t FailSql(Session* s, Store* st, int rc, const std::string& context, bool recordLevel) {
  std::string msg = st && st->db ? sqlite3_errmsg(st->db) : sqlite3_errstr(rc);
  int32_t status;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      status = recordLevel ? DRM_ERR_RECORD_LOCKED : DRM_ERR_LOCK_WRITE;
      msg = "another session or process holds the lock on '" + (st ? st->location : "") +
            "' beyond the wait time";
      break;
    case SQLITE_FULL: status = DRM_ERR_DISK_FULL; break;
    case SQLITE_NOMEM: status = DRM_ERR_OUT_OF_MEMORY; break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: status = DRM_ERR_NOT_DB_FILE; break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: status = DRM_ERR_PERMISSION_DENIED; break;
    case SQLITE_CANTOPEN: status = DRM_ERR_INVALID_PATH; break;
    case SQLITE_CONSTRAINT:
      status = rc == SQLITE_CONSTRAINT_NOTNULL ? DRM_ERR_NULL_NOT_VALID : DRM_ERR_DUPLICATE_KEY;
      break;
    default: status = DRM_ERR_DISK_IO; break;
  }
  return Fail(s, status, context + ": " + msg);
}

std::string QuoteLiteral(const std::string& s) {
  std::string r = "'";
  for (char ch : s) {
    if (ch == '\'') r += "''";
    else r.push_back(ch);
  }
  return r + "'";
}

int Exec(Store* st, const std::string& sql) {
  return sqlite3_exec(st->db, sql.c_str(), nullptr, nullptr, nullptr);
}

int ExecDdl(Store* st, const std::string& sql) {
  int rc = Exec(st, sql);
  if (rc == SQLITE_OK && st->txnDepth > 0) st->ddlLog.push_back({st->txnDepth, sql});
  return rc;
}

sqlite3_stmt* Prepare(Store* st, const std::string& sql, int* rcOut) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(st->db, sql.c_str(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rcOut) *rcOut = rc;
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  return stmt;
}

bool IsValidName(const std::string& n) {
  if (n.empty() || n.size() > 255) return false;
  for (unsigned char ch : n)
    if (ch < 0x20) return false;
  return true;
}

// ---- Metadata -------------------------------------------------------------------

int32_t LoadTableMetaById(Store* st, int64_t id, std::shared_ptr<TableMeta>& out) {
  auto m = std::make_shared<TableMeta>();
  sqlite3_stmt* q = Prepare(st, "SELECT id, name, owner, access FROM drm_tables WHERE id = ?");
  if (!q) return DRM_ERR_DISK_IO;
  sqlite3_bind_int64(q, 1, id);
  int rc = sqlite3_step(q);
  if (rc != SQLITE_ROW) {
    sqlite3_finalize(q);
    return rc == SQLITE_DONE ? DRM_ERR_NO_SUCH_TABLE : DRM_ERR_DISK_IO;
  }
  m->id = sqlite3_column_int64(q, 0);
  m->name = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
  m->owner = reinterpret_cast<const char*>(sqlite3_column_text(q, 2));
  m->accessMode = sqlite3_column_int(q, 3);
  sqlite3_finalize(q);

  q = Prepare(st,
              "SELECT col_id, name, coltyp, cbmax, prec, scale, grbit, dflt, collation "
              "FROM drm_columns WHERE table_id = ? ORDER BY col_id");
  if (!q) return DRM_ERR_DISK_IO;
  sqlite3_bind_int64(q, 1, id);
  uint32_t seq = 0;
  while (sqlite3_step(q) == SQLITE_ROW) {
    ColumnMeta c;
    c.id = static_cast<uint32_t>(sqlite3_column_int64(q, 0));
    c.seq = ++seq;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
    c.colTyp = static_cast<uint32_t>(sqlite3_column_int64(q, 2));
    c.cbMax = static_cast<uint32_t>(sqlite3_column_int64(q, 3));
    c.precision = static_cast<uint16_t>(sqlite3_column_int(q, 4));
    c.scale = static_cast<uint16_t>(sqlite3_column_int(q, 5));
    c.grBit = static_cast<uint32_t>(sqlite3_column_int64(q, 6));
    if (sqlite3_column_type(q, 7) != SQLITE_NULL) {
      c.hasDefault = true;
      c.defaultText = reinterpret_cast<const char*>(sqlite3_column_text(q, 7));
    }
    if (sqlite3_column_type(q, 8) != SQLITE_NULL)
      c.collation = reinterpret_cast<const char*>(sqlite3_column_text(q, 8));
    m->columns.push_back(std::move(c));
  }
  sqlite3_finalize(q);

  q = Prepare(st, "SELECT idx_no, name, flags, segs FROM drm_indexes WHERE table_id = ? ORDER BY idx_no");
  if (!q) return DRM_ERR_DISK_IO;
  sqlite3_bind_int64(q, 1, id);
  while (sqlite3_step(q) == SQLITE_ROW) {
    IndexMeta ix;
    ix.number = static_cast<uint32_t>(sqlite3_column_int64(q, 0));
    ix.name = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
    ix.flags = static_cast<uint32_t>(sqlite3_column_int64(q, 2));
    std::string segs = reinterpret_cast<const char*>(sqlite3_column_text(q, 3));
    size_t p = 0;
    while (p < segs.size()) {
      size_t comma = segs.find(',', p);
      std::string part = segs.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
      if (!part.empty()) {
        SegmentMeta sg;
        sg.descending = part[0] == '-';
        sg.columnId = static_cast<uint32_t>(std::stoul(part.substr(1)));
        ix.segments.push_back(sg);
      }
      if (comma == std::string::npos) break;
      p = comma + 1;
    }
    m->indexes.push_back(std::move(ix));
  }
  sqlite3_finalize(q);
  for (size_t i = 0; i < m->columns.size(); ++i) {
    uint32_t cid = m->columns[i].id;
    if (cid >= m->indexById.size()) m->indexById.resize(cid + 1, -1);
    m->indexById[cid] = static_cast<int>(i);
  }
  out = std::move(m);
  return 0;
}

int32_t LoadTableMeta(Session* s, Store* st, const std::string& name,
                      std::shared_ptr<TableMeta>& out) {
  sqlite3_stmt* q = Prepare(st, "SELECT id FROM drm_tables WHERE name = ? COLLATE NOCASE");
  if (!q) return FailSql(s, st, sqlite3_errcode(st->db), "reading the table list of '" + st->location + "'");
  sqlite3_bind_text(q, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(q);
  int64_t id = rc == SQLITE_ROW ? sqlite3_column_int64(q, 0) : 0;
  sqlite3_finalize(q);
  if (rc == SQLITE_DONE)
    return Fail(s, DRM_ERR_NO_SUCH_TABLE, "table '" + name + "' is not in '" + st->location + "'");
  if (rc != SQLITE_ROW) return FailSql(s, st, rc, "reading the table list of '" + st->location + "'");
  int32_t r = LoadTableMetaById(st, id, out);
  if (r) return Fail(s, r, "the description of table '" + name + "' cannot be read");
  return 0;
}

const ColumnMeta* TableMeta::Column(uint32_t cid) const {
  int i = ColumnIndex(cid);
  return i < 0 ? nullptr : &columns[static_cast<size_t>(i)];
}
int TableMeta::ColumnIndex(uint32_t cid) const {
  return cid < indexById.size() ? indexById[cid] : -1;
}
const IndexMeta* TableMeta::Index(const std::string& n) const {
  for (auto& ix : indexes)
    if (strcasecmp(ix.name.c_str(), n.c_str()) == 0) return &ix;
  return nullptr;
}
bool TableMeta::SegmentNoCase(const IndexMeta& ix, const SegmentMeta& seg) const {
  const ColumnMeta* c = Column(seg.columnId);
  if (!c || !c->IsText()) return false;
  return !(ix.flags & DRM_IDXFLAG_CASE_SENSITIVE) || c->CaseFolded();
}

void RefreshCursorsOf(SharedFile* sf, int64_t tableId) {
  for (Cursor* c : sf->cursors) {
    if (c->meta->id != tableId) continue;
    std::shared_ptr<TableMeta> m;
    if (LoadTableMetaById(c->store, tableId, m) != 0) continue;
    std::string indexName = c->indexPos >= 0 ? c->meta->indexes[c->indexPos].name : "";
    c->meta = m;
    int pos = -1;
    for (size_t i = 0; i < m->indexes.size(); ++i)
      if (!indexName.empty() && strcasecmp(m->indexes[i].name.c_str(), indexName.c_str()) == 0)
        pos = static_cast<int>(i);
    if (c->pending) c->pending->vals.resize(m->columns.size()), c->pending->orig.resize(m->columns.size());
    CursorSetOrder(c, pos);
  }
}

// ---- Stores ---------------------------------------------------------------------

namespace {

int32_t OpenStore(Session* s, const std::string& location, bool exclusive, Store*& out) {
  auto& e = TheEngine();
  struct stat sb;
  std::string file = location;
  if (::stat(location.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode)) file = location + "/" + kStorageName;

  auto found = s->stores.find(file);
  if (found != s->stores.end()) {
    Store* st = found->second;
    if (st->exclusive || exclusive)
      return Fail(s, DRM_ERR_DATABASE_LOCKED,
                  "database '" + location + "' is already open exclusively or cannot be opened "
                  "exclusively while it is open");
    ++st->refs;
    out = st;
    return 0;
  }

  auto st = std::make_unique<Store>();
  st->file = file;
  st->location = location;
  st->session = s;
  bool existed = ::access(file.c_str(), F_OK) == 0;
  int rc = sqlite3_open_v2(file.c_str(), &st->db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(st->db);
    st->db = nullptr;
    if (existed) {
      rc = sqlite3_open_v2(file.c_str(), &st->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
      st->readOnly = true;
    }
    if (rc != SQLITE_OK) {
      std::string why = st->db ? sqlite3_errmsg(st->db) : sqlite3_errstr(rc);
      sqlite3_close(st->db);
      return Fail(s, existed ? DRM_ERR_PERMISSION_DENIED : DRM_ERR_INVALID_PATH,
                  "cannot open or create the storage file '" + file + "': " + why);
    }
  }
  struct Closer {
    Store* p;
    bool keep = false;
    ~Closer() {
      if (!keep) {
        sqlite3_close(p->db);
        if (p->lockFd >= 0) ::close(p->lockFd);
      }
    }
  } closer{st.get()};

  sqlite3_busy_timeout(st->db, BusyWaitMs());
  sqlite3_extended_result_codes(st->db, 1);

  // Is this one of our databases?
  sqlite3_stmt* q = nullptr;
  rc = sqlite3_prepare_v2(st->db, "SELECT count(*) FROM sqlite_master", -1, &q, nullptr);
  int objects = -1;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(q);
    if (rc == SQLITE_ROW) objects = sqlite3_column_int(q, 0), rc = SQLITE_OK;
  }
  sqlite3_finalize(q);
  if (rc != SQLITE_OK) {
    if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT)
      return Fail(s, DRM_ERR_NOT_DB_FILE, "'" + file + "' is not a database of this engine (" +
                                               sqlite3_errmsg(st->db) + ")");
    return FailSql(s, st.get(), rc, "opening '" + file + "'");
  }
  bool ours = false;
  if (objects > 0) {
    rc = sqlite3_prepare_v2(st->db, "SELECT value FROM drm_info WHERE key = 'format'", -1, &q, nullptr);
    ours = rc == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW;
    sqlite3_finalize(q);
    if (!ours)
      return Fail(s, DRM_ERR_NOT_DB_FILE,
                  "'" + file + "' holds data of another program, not a database of this engine");
  }

  // Who else has it open: a shared lock per open, an exclusive one for an
  // exclusive open, on a lock file beside the storage.
  st->lockFd = ::open((file + "-open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (st->lockFd < 0) st->lockFd = ::open((file + "-open").c_str(), O_RDONLY | O_CLOEXEC);
  if (st->lockFd >= 0 && ::flock(st->lockFd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
    return Fail(s, DRM_ERR_DATABASE_LOCKED,
                exclusive ? "database '" + location + "' is open elsewhere and cannot be opened exclusively"
                          : "database '" + location + "' is opened exclusively by another session or process");

  if (!st->readOnly) {
    Exec(st.get(), "PRAGMA journal_mode=WAL");
    Exec(st.get(), "PRAGMA synchronous=NORMAL");
    Exec(st.get(), "PRAGMA cache_size=-16384");
    if (!ours) {
      rc = Exec(st.get(), std::string("BEGIN;") + kSchema + "COMMIT;");
      if (rc != SQLITE_OK) {
        Exec(st.get(), "ROLLBACK");
        return FailSql(s, st.get(), rc, "creating the database in '" + location + "'");
      }
    }
  } else if (!ours) {
    return Fail(s, DRM_ERR_PERMISSION_DENIED,
                "'" + location + "' holds no database and is not writable");
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
  if (!s->savepoints.empty()) {
    Exec(st.get(), "BEGIN");
    st->txnDepth = 1;
    for (size_t i = 1; i < s->savepoints.size(); ++i) {
      Exec(st.get(), "SAVEPOINT s" + std::to_string(i + 1));
      st->txnDepth = static_cast<int>(i + 1);
    }
  }
  closer.keep = true;
  out = st.release();
  s->stores[file] = out;
  return 0;
}

void CloseStore(Engine& e, Session* s, Store* st) {
  for (auto it = e.cursors.begin(); it != e.cursors.end();) {
    Cursor* c = it->second.get();
    ++it;
    if (c->store == st) CloseCursor(e, c);
  }
  if (st->txnDepth > 0) Exec(st, "ROLLBACK");
  sqlite3_close_v2(st->db);
  if (st->lockFd >= 0) ::close(st->lockFd);
  if (st->shared && --st->shared->stores == 0) e.files.erase(st->shared->file);
  s->stores.erase(st->file);
  delete st;
}

void CloseDb(Engine& e, DbHandle* d) {
  Session* s = d->session;
  for (auto it = e.cursors.begin(); it != e.cursors.end();) {
    Cursor* c = it->second.get();
    ++it;
    if (c->dbh == d) CloseCursor(e, c);
  }
  for (auto it = e.results.begin(); it != e.results.end();) {
    if (it->second->dbHandle == d->handle) it = e.results.erase(it);
    else ++it;
  }
  Store* st = d->store;
  if (--st->refs == 0) CloseStore(e, s, st);
  e.databases.erase(d->handle);
}

}  // namespace

}  // namespace drmengine

using namespace drmengine;

extern "C" {

int32_t RareBeginSession(uint32_t* hSession, const char*, const char*, const char*) {
  ENGINE_LOCK;
  if (!hSession) return Fail(nullptr, DRM_ERR_INVALID_PARAMETER, "no place for the session handle was given");
  *hSession = 0;
  auto s = std::make_unique<Session>();
  s->handle = e.NewHandle();
  *hSession = s->handle;
  e.sessions[s->handle] = std::move(s);
  return 0;
}

int32_t RareEndSession(uint32_t hSession) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  for (auto it = e.results.begin(); it != e.results.end();) {
    if (it->second->session == s) it = e.results.erase(it);
    else ++it;
  }
  std::vector<DbHandle*> dbs;
  for (auto& [h, d] : e.databases)
    if (d->session == s) dbs.push_back(d.get());
  for (DbHandle* d : dbs) CloseDb(e, d);
  e.ForgetSession(hSession);
  return 0;
}

int32_t RareSetSessionOption(uint32_t hSession, int32_t option, int32_t value) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  if (option == DRM_SESOPT_RESERVED6) return 0;
  if (option == DRM_SESOPT_ISOLATION) {
    if (value == DRM_ISOLATION_READ_COMMITTED || value == DRM_ISOLATION_SERIALIZABLE) return 0;
    return Fail(s, DRM_ERR_INVALID_PARAMETER, "isolation level " + std::to_string(value) + " is not one of 2 and 8");
  }
  return Fail(s, DRM_ERR_INVALID_SESSION_OPTION, "option number " + std::to_string(option) + " is not known");
}

int32_t RareSetTransact(uint32_t hSession, int32_t operation, const char* savepoint) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  std::string name = savepoint ? savepoint : "";
  if (operation == DRM_TRANS_START) {
    for (auto& n : s->savepoints)
      if (n == name)
        return Fail(s, DRM_ERR_SAVEPOINT_IN_USE, "transaction level '" + name + "' is already open in this session");
    int depth = static_cast<int>(s->savepoints.size()) + 1;
    std::vector<Store*> done;
    for (auto& [f, st] : s->stores) {
      int rc = Exec(st, depth == 1 ? "BEGIN" : "SAVEPOINT s" + std::to_string(depth));
      if (rc != SQLITE_OK) {
        for (Store* d : done) {
          Exec(d, depth == 1 ? "ROLLBACK" : "RELEASE s" + std::to_string(depth));
          d->txnDepth = depth - 1;
        }
        return FailSql(s, st, rc, "starting transaction level '" + name + "'");
      }
      st->txnDepth = depth;
      done.push_back(st);
    }
    s->savepoints.push_back(name);
    return 0;
  }
  if (operation != DRM_TRANS_COMMIT && operation != DRM_TRANS_ROLLBACK)
    return Fail(s, DRM_ERR_INVALID_PARAMETER, "transaction operation " + std::to_string(operation) + " is not 3, 4 or 5");
  int level = -1;
  for (int i = static_cast<int>(s->savepoints.size()) - 1; i >= 0; --i)
    if (s->savepoints[i] == name) {
      level = i + 1;
      break;
    }
  if (level < 0) return 0;  // already ended together with an outer level
  bool commit = operation == DRM_TRANS_COMMIT;
  if (commit) {
    for (auto& [f, st] : s->stores) {
      if (st->txnDepth < level) continue;
      int rc = Exec(st, level == 1 ? "COMMIT" : "RELEASE s" + std::to_string(level));
      if (rc != SQLITE_OK) return FailSql(s, st, rc, "committing transaction level '" + name + "'");
      st->txnDepth = level - 1;
      for (auto& d : st->ddlLog)
        if (d.depth >= level) d.depth = level - 1;
      if (level == 1) st->ddlLog.clear();
    }
  } else {
    for (auto& [f, st] : s->stores) {
      if (st->txnDepth < level) continue;
      for (Cursor* c : st->shared->cursors)
        if (c->store == st) CursorResetStatements(c);
      if (level == 1) Exec(st, "ROLLBACK");
      else Exec(st, "ROLLBACK TO s" + std::to_string(level) + "; RELEASE s" + std::to_string(level));
      st->txnDepth = level - 1;
      // Data definition is not undone by a rollback: replay it.
      std::vector<Store::DdlEntry> redo;
      std::vector<Store::DdlEntry> keep;
      for (auto& d : st->ddlLog) (d.depth >= level ? redo : keep).push_back(d);
      st->ddlLog = keep;
      for (auto& d : redo) ExecDdl(st, d.sql);
      ++st->shared->version;
      std::set<int64_t> tables;
      for (Cursor* c : st->shared->cursors) tables.insert(c->meta->id);
      for (int64_t t : tables) RefreshCursorsOf(st->shared, t);
    }
  }
  s->savepoints.resize(static_cast<size_t>(level - 1));
  return 0;
}

int32_t RareOpenDatabase(uint32_t hSession, const char* target, uint32_t* hDatabase, int32_t mode,
                         const char* user, const char* password) {
  ENGINE_LOCK;
  if (hDatabase) *hDatabase = 0;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  if (!target || !hDatabase) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no database target or handle place was given");
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
  int32_t r = ResolveLocation(name, location, what);
  if (r) return Fail(s, r, what);
  Store* st = nullptr;
  r = OpenStore(s, location, (mode & DRM_DBOPEN_EXCLUSIVE) != 0, st);
  if (r) return r;
  auto d = std::make_unique<DbHandle>();
  d->handle = e.NewHandle();
  d->session = s;
  d->store = st;
  // Secured databases check the account; credentials may carry an
  // administration part after "___", which a local engine does not need.
  sqlite3_stmt* q = Prepare(st, "SELECT count(*) FROM drm_users");
  int users = 0;
  if (q && sqlite3_step(q) == SQLITE_ROW) users = sqlite3_column_int(q, 0);
  sqlite3_finalize(q);
  if (users > 0) {
    d->secured = true;
    std::string u = user ? user : "", p = password ? password : "";
    if (auto k = u.find("___"); k != std::string::npos) u = u.substr(0, k);
    if (auto k = p.find("___"); k != std::string::npos) p = p.substr(0, k);
    int32_t fail = 0;
    std::string why;
    if (u.empty()) {
      fail = DRM_ERR_USER_NAME_MISSING;
      why = "database '" + location + "' is secured and no user name was given";
    } else {
      q = Prepare(st, "SELECT password FROM drm_users WHERE name = ?");
      sqlite3_bind_text(q, 1, u.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(q) != SQLITE_ROW) {
        fail = DRM_ERR_INVALID_ACCOUNT;
        why = "user '" + u + "' has no account in database '" + location + "'";
      } else if (p != reinterpret_cast<const char*>(sqlite3_column_text(q, 0))) {
        fail = DRM_ERR_INVALID_PASSWORD;
        why = "the password for user '" + u + "' of database '" + location + "' is wrong";
      }
      sqlite3_finalize(q);
    }
    if (fail) {
      if (--st->refs == 0) CloseStore(e, s, st);
      return Fail(s, fail, why);
    }
  }
  *hDatabase = d->handle;
  e.databases[d->handle] = std::move(d);
  return 0;
}

int32_t RareCloseDatabase(uint32_t hSession, uint32_t hDatabase) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  DbHandle* d = e.FindDb(hDatabase);
  if (!d || d->session != s)
    return Fail(s, DRM_ERR_INVALID_DATABASE, "database handle " + std::to_string(hDatabase) + " is not open in this session");
  CloseDb(e, d);
  return 0;
}

int32_t RareIsDatabaseSecured(uint32_t hDatabase, uint16_t* secured) {
  ENGINE_LOCK;
  DbHandle* d = e.FindDb(hDatabase);
  if (!d) return Fail(nullptr, DRM_ERR_INVALID_DATABASE, "database handle " + std::to_string(hDatabase) + " is not open");
  if (!secured) return Fail(d->session, DRM_ERR_INVALID_PARAMETER, "no place for the answer was given");
  *secured = d->secured ? 1 : 0;
  return 0;
}

int32_t DrmEngineSetUser(uint32_t hSession, uint32_t hDatabase, const char* user, const char* password) {
  ENGINE_LOCK;
  Session* s = e.FindSession(hSession);
  if (!s) return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
  DbHandle* d = e.FindDb(hDatabase);
  if (!d || d->session != s)
    return Fail(s, DRM_ERR_INVALID_DATABASE, "database handle " + std::to_string(hDatabase) + " is not open in this session");
  if (!user || !*user) return Fail(s, DRM_ERR_INVALID_NAME, "a user name is required");
  sqlite3_stmt* q = Prepare(d->store, password ? "INSERT OR REPLACE INTO drm_users VALUES(?, ?)"
                                               : "DELETE FROM drm_users WHERE name = ?");
  sqlite3_bind_text(q, 1, user, -1, SQLITE_TRANSIENT);
  if (password) sqlite3_bind_text(q, 2, password, -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(q);
  sqlite3_finalize(q);
  if (rc != SQLITE_DONE) return FailSql(s, d->store, rc, "changing the accounts of '" + d->store->location + "'");
  return 0;
}

int32_t RareGetExtErrStr(uint32_t hSession, int32_t status, char* buffer, uint32_t bufferSize,
                         uint32_t* length) {
  ENGINE_LOCK;
  std::string text;
  if (hSession == 0xFFFFFFFFu || hSession == 0) {
    if (e.noSessionStatus == status) text = e.noSessionText;
  } else if (Session* s = e.FindSession(hSession)) {
    if (s->lastStatus == status) text = s->lastText;
  } else if (e.noSessionStatus == status) {
    text = e.noSessionText;
  }
  if (text.size() + 1 > DRM_EXT_ERR_MAX) text.resize(DRM_EXT_ERR_MAX - 1);
  if (!buffer || bufferSize == 0) {
    if (length) *length = 0;
    return buffer ? DRM_ERR_BUFFER_TOO_SMALL : DRM_ERR_INVALID_PARAMETER;
  }
  if (text.size() + 1 > bufferSize) text.resize(bufferSize - 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  if (length) *length = static_cast<uint32_t>(text.size());
  return 0;
}

int32_t RareIntPower10(uint16_t* w0, uint16_t* w1, uint16_t* w2, uint16_t* w3, int32_t power) {
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

// ---- Named databases ------------------------------------------------------------

namespace {
struct NamedOp {
  std::string name, newName, dict, data;
  uint8_t flags[10] = {};
  bool haveFlags = false;
  NamedDatabase result;
  std::string what;
};

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

int32_t CheckNamedPaths(NamedOp& op) {
  if (op.dict.empty()) {
    op.what = "a dictionary path is required for named database '" + op.name + "'";
    return 2305;
  }
  std::string dictDir = MapPath(op.dict);
  if (op.flags[2]) {
    // Create dictionary: the folder is made when missing.
    std::string cur;
    for (size_t i = 1; i <= dictDir.size(); ++i)
      if (i == dictDir.size() || dictDir[i] == '/') ::mkdir(dictDir.substr(0, i).c_str(), 0777);
  }
  struct stat sb;
  if (::stat(dictDir.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode)) {
    op.what = "the dictionary folder '" + dictDir + "' of named database '" + op.name + "' does not exist";
    return 2305;
  }
  if (!op.data.empty()) {
    std::string dataDir = MapPath(op.data);
    if (::stat(dataDir.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode)) {
      op.what = "the data folder '" + dataDir + "' of named database '" + op.name + "' does not exist";
      return 2305;
    }
  }
  return 0;
}

bool ValidDbName(const std::string& n) {
  if (n.empty() || n.size() > 20) return false;
  for (unsigned char ch : n)
    if (ch < 0x20 || ch == '\\' || ch == '/' || ch == ':' || ch == '\t') return false;
  return true;
}
}  // namespace

int32_t SQLGetDatabaseInfo2(const char* name, uint8_t* flags, uint16_t* dictPathSize, char* dictPath,
                            uint16_t* dataPathSize, char* dataPath, const char*, const char*) {
  ENGINE_LOCK;
  if (!name || !flags || !dictPathSize || !dictPath || !dataPathSize || !dataPath)
    return Fail(nullptr, 2302, "a buffer or size of the named-database query is missing");
  NamedOp op;
  op.name = name;
  std::string what;
  bool found = false;
  struct Ctx {
    NamedOp* op;
    bool* found;
  } ctx{&op, &found};
  int32_t r = WithRegistry(false, [](std::vector<NamedDatabase>& list, void* p) -> int32_t {
    auto* c = static_cast<Ctx*>(p);
    for (auto& d : list)
      if (SameName(d.name, c->op->name)) {
        c->op->result = d;
        *c->found = true;
      }
    return 0;
  }, &ctx, what);
  if (r) return Fail(nullptr, r, what);
  if (!found) return Fail(nullptr, 2301, "'" + op.name + "' is not a named database of this computer");
  std::string data = op.result.dataPath.empty() ? op.result.dictPath : op.result.dataPath;
  if (op.result.dictPath.size() + 1 > *dictPathSize || data.size() + 1 > *dataPathSize) {
    *dictPathSize = static_cast<uint16_t>(op.result.dictPath.size() + 1);
    *dataPathSize = static_cast<uint16_t>(data.size() + 1);
    return Fail(nullptr, 2302, "the path buffers are smaller than the paths of '" + op.name + "'");
  }
  std::memcpy(flags, op.result.flags, 10);
  std::memcpy(dictPath, op.result.dictPath.c_str(), op.result.dictPath.size() + 1);
  std::memcpy(dataPath, data.c_str(), data.size() + 1);
  *dictPathSize = static_cast<uint16_t>(op.result.dictPath.size() + 1);
  *dataPathSize = static_cast<uint16_t>(data.size() + 1);
  return 0;
}

int32_t SQLAddDatabaseName2(const char* name, const uint8_t* flags, uint16_t dictPathLen, const char* dictPath,
                            uint16_t dataPathLen, const char* dataPath, int32_t, const char*, const char*) {
  ENGINE_LOCK;
  if (!name || !ValidDbName(name))
    return Fail(nullptr, 2304, std::string("'") + (name ? name : "") + "' is not a valid database name (1 to 20 characters, no separators)");
  NamedOp op;
  op.name = name;
  if (flags) std::memcpy(op.flags, flags, 10);
  op.dict = dictPath ? std::string(dictPath, strnlen(dictPath, dictPathLen)) : "";
  op.data = dataPath ? std::string(dataPath, strnlen(dataPath, dataPathLen)) : "";
  if (int32_t r = CheckNamedPaths(op)) return Fail(nullptr, r, op.what);
  std::string what;
  int32_t r = WithRegistry(true, [](std::vector<NamedDatabase>& list, void* p) -> int32_t {
    auto* o = static_cast<NamedOp*>(p);
    for (auto& d : list)
      if (SameName(d.name, o->name)) {
        o->what = "a named database '" + d.name + "' already exists";
        return 2303;
      }
    NamedDatabase d;
    d.name = o->name;
    std::memcpy(d.flags, o->flags, 10);
    d.dictPath = o->dict;
    d.dataPath = o->data;
    list.push_back(d);
    return 0;
  }, &op, what);
  if (r) return Fail(nullptr, r, what.empty() ? op.what : what);
  return 0;
}

int32_t SQLModifyDatabaseInfo2(const char* oldName, const char* newName, uint16_t dictPathLen,
                               const char* dictPath, uint16_t dataPathLen, const char* dataPath,
                               const uint8_t* flags, const char*, const char*) {
  ENGINE_LOCK;
  if (!oldName || !newName || !ValidDbName(newName))
    return Fail(nullptr, 2304, std::string("'") + (newName ? newName : "") + "' is not a valid database name");
  NamedOp op;
  op.name = oldName;
  op.newName = newName;
  if (flags) std::memcpy(op.flags, flags, 10);
  op.dict = dictPath ? std::string(dictPath, strnlen(dictPath, dictPathLen)) : "";
  op.data = dataPath ? std::string(dataPath, strnlen(dataPath, dataPathLen)) : "";
  if (int32_t r = CheckNamedPaths(op)) return Fail(nullptr, r, op.what);
  std::string what;
  int32_t r = WithRegistry(true, [](std::vector<NamedDatabase>& list, void* p) -> int32_t {
    auto* o = static_cast<NamedOp*>(p);
    NamedDatabase* target = nullptr;
    for (auto& d : list) {
      if (SameName(d.name, o->name)) target = &d;
      else if (SameName(d.name, o->newName)) {
        o->what = "a named database '" + d.name + "' already exists";
        return 2303;
      }
    }
    if (!target) {
      o->what = "'" + o->name + "' is not a named database of this computer";
      return 2301;
    }
    target->name = o->newName;
    std::memcpy(target->flags, o->flags, 10);
    target->dictPath = o->dict;
    target->dataPath = o->data;
    return 0;
  }, &op, what);
  if (r) return Fail(nullptr, r, what.empty() ? op.what : what);
  return 0;
}

int32_t RareListDatabaseNames(char* buffer, uint32_t bufferSize, uint32_t* length) {
  ENGINE_LOCK;
  std::string all, what;
  int32_t r = WithRegistry(false, [](std::vector<NamedDatabase>& list, void* p) -> int32_t {
    auto* out = static_cast<std::string*>(p);
    for (auto& d : list) {
      out->append(d.name);
      out->push_back('\0');
    }
    return 0;
  }, &all, what);
  if (r) return Fail(nullptr, r, what);
  all.push_back('\0');
  if (length) *length = static_cast<uint32_t>(all.size());
  if (!buffer || bufferSize < all.size())
    return Fail(nullptr, DRM_ERR_BUFFER_TOO_SMALL,
                "the list of named databases needs " + std::to_string(all.size()) + " bytes");
  std::memcpy(buffer, all.data(), all.size());
  return 0;
}

int32_t SQLDropDatabaseName2(const char* name, int32_t, const char*, const char*) {
  ENGINE_LOCK;
  NamedOp op;
  op.name = name ? name : "";
  std::string what;
  int32_t r = WithRegistry(true, [](std::vector<NamedDatabase>& list, void* p) -> int32_t {
    auto* o = static_cast<NamedOp*>(p);
    for (size_t i = 0; i < list.size(); ++i)
      if (SameName(list[i].name, o->name)) {
        list.erase(list.begin() + static_cast<long>(i));
        return 0;
      }
    o->what = "'" + o->name + "' is not a named database of this computer";
    return 2301;
  }, &op, what);
  if (r) return Fail(nullptr, r, what.empty() ? op.what : what);
  return 0;
}

}  // extern "C"
