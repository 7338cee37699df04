// The engine object, failure recording and the SQL helpers every part uses.
#include <new>

#include "platform/engine/entry.h"

namespace drmengine {

namespace {

// SQLite counts every allocation under a process-wide lock unless told not
// to, and the engine reads no such counts. The setting is taken only before
// SQLite's first use in the process, hence when the library is loaded.
[[gnu::constructor]] void ConfigureSqlite() { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); }

}  // namespace

Engine& TheEngine() {
  // Never destroyed: handles may outlive static teardown.
  static Engine* e = new Engine();
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

namespace {

// What a refused lock means. Outside a transaction, and inside one that has
// not read yet, a write waits for the lock up to the wait time. A
// transaction that has read cannot wait (SQLite answers at once, since
// waiting could deadlock two such transactions), and once another writer
// has committed after it read, it can never write: it must be rolled back.
std::string LockConflictText(Store* st, int rc) {
  const std::string where = "'" + (st ? st->location : std::string()) + "'";
  if ((rc & 0xFF) == SQLITE_LOCKED) return where + " is locked by another statement of this session";
  if (rc == SQLITE_BUSY_SNAPSHOT)
    return "another session or process changed " + where +
           " after this transaction read from it, so the transaction cannot write; roll it back and repeat it";
  if (st && st->db && st->txnDepth > 0 && sqlite3_txn_state(st->db.get(), "main") == SQLITE_TXN_READ)
    return "another session or process is writing to " + where +
           ", and this transaction has read from it, so it cannot wait for the lock; roll it back and repeat it";
  return "another session or process held the lock on " + where + " beyond the wait time of " +
         std::to_string(st ? st->busyMs : 0) + " ms";
}

}  // namespace

WriteStep::~WriteStep() {
  if (FOpen) Exec(FStore, "ROLLBACK");
}

int WriteStep::Begin() {
  if (FStore->txnDepth > 0 || !sqlite3_get_autocommit(FStore->db.get())) return SQLITE_OK;
  int rc = Exec(FStore, "BEGIN IMMEDIATE");
  FOpen = rc == SQLITE_OK;
  return rc;
}

int WriteStep::Commit() {
  if (!FOpen) return SQLITE_OK;
  int rc = Exec(FStore, "COMMIT");
  if (rc != SQLITE_OK) return rc;  // the destructor rolls back
  FOpen = false;
  return SQLITE_OK;
}

int32_t FailSql(Session* s, Store* st, int rc, const std::string& context, bool recordLevel, const char* message) {
  std::string msg = message ? message : st && st->db ? sqlite3_errmsg(st->db.get()) : sqlite3_errstr(rc);
  int32_t status;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      status = recordLevel ? DRM_ERR_RECORD_LOCKED : DRM_ERR_LOCK_WRITE;
      msg = LockConflictText(st, rc);
      break;
    case SQLITE_TOOBIG:
      status = DRM_ERR_RECORD_TOO_LONG;
      msg = "the record would exceed the largest value the storage takes (" +
            std::to_string(st && st->db ? sqlite3_limit(st->db.get(), SQLITE_LIMIT_LENGTH, -1) : 0) + " bytes)";
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

int32_t FailFromException(Engine& e, uint32_t blame, const char* call) noexcept {
  int32_t status = DRM_ERR_INTERNAL;
  const char* what = "an exception of unknown type";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    status = DRM_ERR_OUT_OF_MEMORY;
    what = nullptr;
  } catch (const std::exception& x) {
    what = x.what();
  } catch (...) {
  }
  // Looked up again: the call may have ended the session it started with.
  Session* s = blame ? e.FindSession(blame) : nullptr;
  (s ? s->lastStatus : e.noSessionStatus) = status;
  std::string& text = s ? s->lastText : e.noSessionText;
  try {
    text = what ? std::string("internal error in ") + call + ": " + what : std::string(call) + " ran out of memory";
  } catch (...) {
    text.clear();
  }
  return status;
}

int32_t StatusOfException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return DRM_ERR_OUT_OF_MEMORY;
  } catch (...) {
    return DRM_ERR_INTERNAL;
  }
}

int32_t NoSession(uint32_t hSession) {
  return Fail(nullptr, DRM_ERR_INVALID_SESSION, "session " + std::to_string(hSession) + " is not open");
}

int32_t NoDatabase(Session* s, uint32_t hDatabase) {
  return Fail(s, DRM_ERR_INVALID_DATABASE,
              "database handle " + std::to_string(hDatabase) + " is not open" + (s ? " in this session" : ""));
}

int32_t NoTable(Session* s, uint32_t hTable) {
  return Fail(s, DRM_ERR_INVALID_TABLE,
              "table handle " + std::to_string(hTable) + " is not open" + (s ? " in this session" : ""));
}

std::string QuoteLiteral(const std::string& s) {
  std::string r = "'";
  for (char ch : s) {
    if (ch == '\'')
      r += "''";
    else
      r.push_back(ch);
  }
  return r + "'";
}

int Exec(Store* st, const std::string& sql) {
  return sqlite3_exec(st->db.get(), sql.c_str(), nullptr, nullptr, nullptr);
}

int ExecDdl(Store* st, const std::string& sql) {
  int rc = Exec(st, sql);
  if (rc == SQLITE_OK && st->txnDepth > 0) st->ddlLog.push_back({st->txnDepth, sql});
  return rc;
}

SavepointScope::SavepointScope(Store* st, std::string name)
    : FStore(st), FName(std::move(name)), FResult(Exec(st, "SAVEPOINT " + FName)), FOpen(FResult == SQLITE_OK) {}

SavepointScope::~SavepointScope() {
  if (!FOpen) return;
  // No allocation that could throw: the statement text is built beforehand.
  std::string sql;
  try {
    sql = "ROLLBACK TO " + FName + "; RELEASE " + FName;
  } catch (...) {
    return;
  }
  Exec(FStore, sql);
}

int SavepointScope::Release() {
  int rc = Exec(FStore, "RELEASE " + FName);
  if (rc == SQLITE_OK) FOpen = false;
  return rc;
}

StmtPtr Prepare(Store* st, const std::string& sql, int* rcOut) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v3(st->db.get(), sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw,
                              nullptr);
  StmtPtr stmt(raw);
  if (rcOut) *rcOut = rc;
  if (rc != SQLITE_OK) stmt.reset();
  return stmt;
}

std::string ColumnText(sqlite3_stmt* st, int col) {
  const unsigned char* p = sqlite3_column_text(st, col);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st, col)))
           : std::string();
}

bool IsControlCharacter(char ch) {
  auto u = static_cast<unsigned char>(ch);
  return u < 0x20 || u == 0x7F;
}

bool HasControlCharacter(std::string_view text) {
  for (char ch : text)
    if (IsControlCharacter(ch)) return true;
  return false;
}

bool IsValidName(const std::string& n) { return !n.empty() && n.size() <= 255 && !HasControlCharacter(n); }

}  // namespace drmengine
