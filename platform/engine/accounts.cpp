// Accounts of secured databases. Passwords are kept only as the strings of
// a salted, memory-hard hash (libsodium's crypto_pwhash_str, Argon2id at
// its interactive limits), so neither the storage file nor its log ever
// holds a password. A database with accounts is secured: opening it needs
// the credentials of one, and so does changing its accounts.
#include <sodium.h>

#include <cstring>

#include "platform/engine/entry.h"

namespace drmengine {

namespace {

const char* const kSeparator = "___";

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// The database part of credentials that may carry an administration part
// after "___". Database credentials never hold "___" themselves, so a run
// of more underscores at the split belongs to them except its last three:
// "ann_" + "___" + "admin" is "ann____admin".
std::string DatabasePart(const std::string& text) {
  size_t k = text.find(kSeparator);
  if (k == std::string::npos) return text;
  size_t run = k;
  while (run < text.size() && text[run] == '_') ++run;
  return text.substr(0, run - 3);
}

int32_t HashPassword(Session* s, const std::string& password, std::string& hash) {
  char out[crypto_pwhash_STRBYTES];
  if (!SodiumReady() || crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return Fail(s, DRM_ERR_OUT_OF_MEMORY, "the password hash could not be computed (it needs " +
                                              std::to_string(crypto_pwhash_MEMLIMIT_INTERACTIVE >> 20) + " MiB)");
  hash = out;
  sodium_memzero(out, sizeof out);
  return 0;
}

// True when the password matches a stored hash string. Anything else in the
// column (a hash of another form, a password stored in clear by an early
// build) never matches.
bool Verifies(const std::string& stored, const std::string& password) {
  if (!SodiumReady() || stored.size() >= crypto_pwhash_STRBYTES) return false;
  return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool AccountExists(Store* st, const std::string& name) {
  StmtPtr q = Prepare(st, "SELECT 1 FROM drm_users WHERE name = ?");
  if (!q) return false;
  // A name that cannot be bound is no account: the right is denied.
  if (sqlite3_bind_text(q.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT) != SQLITE_OK)
    return false;
  return sqlite3_step(q.get()) == SQLITE_ROW;
}

// Adds, replaces or removes one account and reports whether the database
// has accounts afterwards. Runs as one unit so that the check of the
// handle's right and the change see the same accounts.
int32_t ChangeAccount(Session* s, DbHandle* d, const std::string& user, const std::string* hash, bool& securedAfter) {
  Store* st = d->store;
  const std::string where = "the accounts of '" + st->location + "'";
  StopReaders(st);
  SavepointScope unit(st, "accounts");
  int rc = unit.Result();
  if (rc != SQLITE_OK) return FailSql(s, st, rc, "changing " + where);
  int64_t before = CountAccounts(st);
  if (before < 0) return FailSql(s, st, sqlite3_errcode(st->db.get()), "reading " + where);
  if (before > 0 && (d->account.empty() || !AccountExists(st, d->account)))
    return Fail(s, DRM_ERR_ACCESS_DENIED,
                "database '" + st->location +
                    "' is secured: changing its accounts needs a handle opened with the credentials of one of them");
  StmtPtr q = Prepare(st, hash ? "INSERT OR REPLACE INTO drm_users VALUES(?, ?)" : "DELETE FROM drm_users WHERE name = ?",
                      &rc);
  if (q) {
    rc = sqlite3_bind_text(q.get(), 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
    if (rc == SQLITE_OK && hash)
      rc = sqlite3_bind_text(q.get(), 2, hash->data(), static_cast<int>(hash->size()), SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) rc = sqlite3_step(q.get());
  }
  if (rc != SQLITE_DONE) return FailSql(s, st, rc, "changing " + where);
  q.reset();
  int64_t after = CountAccounts(st);
  rc = unit.Release();
  if (rc != SQLITE_OK) return FailSql(s, st, rc, "changing " + where);
  securedAfter = after > 0;
  return 0;
}

}  // namespace

int64_t CountAccounts(Store* st) {
  StmtPtr q = Prepare(st, "SELECT count(*) FROM drm_users");
  if (!q || sqlite3_step(q.get()) != SQLITE_ROW) return -1;
  return sqlite3_column_int64(q.get(), 0);
}

int32_t CheckAccount(Store* st, const char* user, const char* password, std::string& account, std::string& why) {
  const std::string u = DatabasePart(user ? user : ""), p = DatabasePart(password ? password : "");
  if (u.empty()) {
    why = "database '" + st->location + "' is secured and no user name was given";
    return DRM_ERR_USER_NAME_MISSING;
  }
  int rc = SQLITE_OK;
  StmtPtr q = Prepare(st, "SELECT password FROM drm_users WHERE name = ?", &rc);
  if (!q) {
    why = "the accounts of '" + st->location + "' cannot be read: " + sqlite3_errstr(rc);
    return DRM_ERR_DISK_IO;
  }
  rc = sqlite3_bind_text(q.get(), 1, u.data(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) {
    why = "the accounts of '" + st->location + "' cannot be read: " + sqlite3_errstr(rc);
    return DRM_ERR_DISK_IO;
  }
  if (sqlite3_step(q.get()) != SQLITE_ROW) {
    why = "user '" + u + "' has no account in database '" + st->location + "'";
    return DRM_ERR_INVALID_ACCOUNT;
  }
  if (!Verifies(ColumnText(q.get(), 0), p)) {
    why = "the password for user '" + u + "' of database '" + st->location + "' is wrong";
    return DRM_ERR_INVALID_PASSWORD;
  }
  account = u;
  return 0;
}

}  // namespace drmengine

using namespace drmengine;

extern "C" int32_t DrmEngineSetUser(uint32_t hSession, uint32_t hDatabase, const char* user,
                                    const char* password) noexcept {
  return SessionDatabaseEntry(__func__, hSession, hDatabase, [&](Engine&, Session* s, DbHandle* d) -> int32_t {
    const std::string name = user ? user : "";
    // What the login split could never give back is refused here rather
    // than stored as an account nobody can use.
    if (!IsValidName(name) || name.find(kSeparator) != std::string::npos)
      return Fail(s, DRM_ERR_INVALID_NAME,
                  "'" + name + "' is not a valid user name (1 to 255 bytes, no control characters, no \"___\")");
    if (password && std::strstr(password, kSeparator))
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "a password may not contain \"___\", which separates credentials");
    if (d->store->readOnly)
      return Fail(s, DRM_ERR_PERMISSION_DENIED, "database '" + d->store->location + "' is read-only");
    std::string hash;
    if (password)
      if (int32_t r = HashPassword(s, password, hash)) return r;
    bool securedAfter = false;
    if (int32_t r = ChangeAccount(s, d, name, password ? &hash : nullptr, securedAfter)) return r;
    // The handle that makes a database's first account holds its credentials.
    if (!d->secured && securedAfter) d->account = name;
    d->secured = securedAfter;
    return 0;
  });
}
