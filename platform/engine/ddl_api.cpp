// Data definition (tables, columns, indexes, owner names) and the catalog
// calls that answer result cursors.
#include <cstring>

#include <strings.h>

#include <algorithm>

#include "platform/engine/cursor_core.h"

using namespace drmengine;

namespace {

const uint32_t kMaxColumns = 1000;
const uint64_t kMaxRecordBytes = 65535;

// Runs data-definition statements as one unit. On failure nothing of them
// is left and `why` holds SQLite's message (the undoing replaces the
// connection's own).
int RunDdl(Store* st, const std::string& body, std::string& why) {
  StopReaders(st);
  int rc = ExecDdl(st, "SAVEPOINT ddl;" + body + "RELEASE ddl;");
  if (rc != SQLITE_OK) {
    why = sqlite3_errmsg(st->db.get());
    Exec(st, "ROLLBACK TO ddl; RELEASE ddl;");
  }
  return rc;
}

// One number read from the storage; the SQLite result.
int ScalarInt(Store* st, const std::string& sql, int64_t& out) {
  int rc = SQLITE_OK;
  StmtPtr q = Prepare(st, sql, &rc);
  if (!q) return rc;
  rc = sqlite3_step(q.get());
  if (rc == SQLITE_DONE) return SQLITE_NOTFOUND;
  if (rc != SQLITE_ROW) return rc;
  out = sqlite3_column_int64(q.get(), 0);
  return SQLITE_OK;
}

int TableNameTaken(Store* st, const std::string& name, int64_t exceptId, bool& taken) {
  int rc = SQLITE_OK;
  StmtPtr q = Prepare(st, "SELECT id FROM drm_tables WHERE name = ? COLLATE NOCASE AND id <> ?", &rc);
  if (!q) return rc;
  if ((rc = sqlite3_bind_text64(q.get(), 1, name.data(), name.size(), SQLITE_TRANSIENT, SQLITE_UTF8)) != SQLITE_OK ||
      (rc = sqlite3_bind_int64(q.get(), 2, exceptId)) != SQLITE_OK)
    return rc;
  rc = sqlite3_step(q.get());
  taken = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

bool SegmentCaseSensitive(const TableMeta& m, const IndexMeta& ix, const SegmentMeta& sg) {
  const ColumnMeta* c = m.Column(sg.columnId);
  return (ix.flags & DRM_IDXFLAG_CASE_SENSITIVE) && !(c && c->CaseFolded());
}

uint32_t NewResult(Engine& e, Session* s, uint32_t db, std::vector<uint8_t> widths,
                   std::vector<std::vector<Val>> rows) {
  auto r = std::make_unique<ResultCursor>();
  r->handle = e.NewHandle();
  r->session = s;
  r->dbHandle = db;
  r->widths = std::move(widths);
  r->rows = std::move(rows);
  uint32_t h = r->handle;
  e.results[h] = std::move(r);
  return h;
}

int32_t CheckInfo(Session* s, uint32_t* info, uint32_t size, uint32_t need) {
  if (!info) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no information structure was given");
  if (size < need || info[0] != size)
    return Fail(s, DRM_ERR_BUFFER_TOO_SMALL,
                "the information structure must declare and be at least " + std::to_string(need) + " bytes; " +
                    std::to_string(info[0]) + " and " + std::to_string(size) + " were given");
  std::memset(info + 1, 0, size - 4);
  return 0;
}

}  // namespace

extern "C" {

int32_t RareCreateTable(uint32_t hSession, uint32_t hDatabase, const char* tableName, uint32_t* hTable) noexcept {
  if (hTable) *hTable = 0;
  return SessionDatabaseEntry(__func__, hSession, hDatabase, [&](Engine& e, Session* s, DbHandle* d) -> int32_t {
    std::string name = tableName ? tableName : "";
    if (!IsValidName(name))
      return Fail(s, DRM_ERR_INVALID_NAME, "'" + name + "' is not a valid table name (1 to 255 printable bytes)");
    if (!hTable) return Fail(s, DRM_ERR_INVALID_PARAMETER, "no place for the table handle was given");
    Store* st = d->store;
    if (st->readOnly) return Fail(s, DRM_ERR_PERMISSION_DENIED, "database '" + st->location + "' is read-only");
    // The name check, the new id and the definition are one write step:
    // no other process can take the name or the id in between.
    const std::string doing = "creating table '" + name + "'";
    StopReaders(st);
    WriteStep step(st);
    bool taken = false;
    int rc = step.Begin();
    if (rc == SQLITE_OK) rc = TableNameTaken(st, name, 0, taken);
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing);
    if (taken) return Fail(s, DRM_ERR_TABLE_EXISTS, "table '" + name + "' already exists in '" + st->location + "'");
    int64_t maxId = 0, lastId = 0;
    rc = ScalarInt(st, "SELECT coalesce(max(id), 0) FROM drm_tables", maxId);
    if (rc == SQLITE_OK)
      rc = ScalarInt(st, "SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'drm_tables'), 0)", lastId);
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing);
    const int64_t id = std::max(maxId, lastId) + 1;
    std::string t = "t" + std::to_string(id), ids = std::to_string(id);
    std::string body =
        "INSERT INTO drm_tables(id, name) VALUES(" + ids + ", " + QuoteLiteral(name) + ");" + "CREATE TABLE " + t +
        "(bm INTEGER PRIMARY KEY AUTOINCREMENT);" + "CREATE TRIGGER " + t + "_ins AFTER INSERT ON " + t +
        " BEGIN UPDATE drm_tables SET nrows = nrows + 1 WHERE id = " + ids + "; END;" + "CREATE TRIGGER " + t +
        "_del AFTER DELETE ON " + t + " BEGIN UPDATE drm_tables SET nrows = nrows - 1 WHERE id = " + ids + "; END;";
    std::string why;
    if ((rc = RunDdl(st, body, why)) != SQLITE_OK) return FailSql(s, st, rc, doing, false, why.c_str());
    if ((rc = step.Commit()) != SQLITE_OK) return FailSql(s, st, rc, doing);
    return OpenTable(e, s, d, name, DRM_TBLOPEN_EXCLUSIVE, *hTable);
  });
}

int32_t RareCreateColumn(uint32_t hSession, uint32_t hTable, const char* columnName, const DRM_ColumnStruct* column,
                         uint32_t* columnId) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    int32_t r = 0;
    Session* s = c->session;
    if (!column || column->StructSize != sizeof(DRM_ColumnStruct))
      return Fail(s, DRM_ERR_INVALID_PARAMETER,
                  "the column descriptor must declare its size as " + std::to_string(sizeof(DRM_ColumnStruct)));
    std::string name = columnName ? columnName : "";
    const std::string tn = "table '" + c->meta->name + "'";
    if (!IsValidName(name))
      return Fail(s, DRM_ERR_INVALID_NAME, "'" + name + "' is not a valid column name (1 to 255 printable bytes)");
    for (auto& col : c->meta->columns)
      if (col.name == name) return Fail(s, DRM_ERR_COLUMN_EXISTS, tn + " already has a column '" + name + "'");
    std::string what;
    if ((r = ValidateColumnType(column->ColTyp, column->cbMax, column->Precision, column->Scale, what)))
      return Fail(s, r, "column '" + name + "': " + what);
    auto& use = c->store->shared->tableUse[c->meta->id];
    if (!c->exclusive && use.handles > 1)
      return Fail(s, DRM_ERR_DDL_NEEDS_EXCLUSIVE,
                  tn + " is open on other handles; columns are added through an exclusive handle");
    if (c->meta->columns.size() >= kMaxColumns)
      return Fail(s, DRM_ERR_TOO_MANY_COLUMNS, tn + " already has " + std::to_string(kMaxColumns) + " columns");
    ColumnMeta cm;
    cm.name = name;
    cm.colTyp = column->ColTyp;
    cm.cbMax = column->cbMax;
    cm.precision = column->Precision;
    cm.scale = column->Scale;
    cm.grBit = column->grBit & DRM_COLFLAG_REQUIRED;
    if (column->pDefault) {
      cm.hasDefault = true;
      cm.defaultText = column->pDefault;
      Val v;
      std::string why;
      if (!DefaultToVal(cm, cm.defaultText, v, &why))
        return Fail(s, DRM_ERR_INVALID_PARAMETER, "default '" + cm.defaultText + "' of column '" + name + "' " + why);
    }
    if (column->pCollation) cm.collation = column->pCollation;
    uint64_t bytes = cm.IsLong() ? 8 : cm.ReportedCbMax();
    for (auto& col : c->meta->columns) bytes += col.IsLong() ? 8 : col.ReportedCbMax();
    if (bytes > kMaxRecordBytes)
      return Fail(s, DRM_ERR_RECORD_TOO_LONG,
                  "with column '" + name + "' a record of " + tn + " would take " + std::to_string(bytes) + " bytes");
    Store* st = c->store;
    int64_t tid = c->meta->id;
    const std::string doing = "adding column '" + name + "' to " + tn;
    StopReaders(st);
    WriteStep step(st);
    int64_t cid = 0;
    int rc = step.Begin();
    if (rc == SQLITE_OK) rc = ScalarInt(st, "SELECT next_col FROM drm_tables WHERE id = " + std::to_string(tid), cid);
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing);
    std::string t = c->meta->SqlName(), cs = "c" + std::to_string(cid);
    std::string body =
        "ALTER TABLE " + t + " ADD COLUMN " + cs + ";" + "INSERT INTO drm_columns VALUES(" + std::to_string(tid) +
        ", " + std::to_string(cid) + ", " + QuoteLiteral(name) + ", " + std::to_string(cm.colTyp) + ", " +
        std::to_string(cm.cbMax) + ", " + std::to_string(cm.precision) + ", " + std::to_string(cm.scale) + ", " +
        std::to_string(cm.grBit) + ", " + (cm.hasDefault ? QuoteLiteral(cm.defaultText) : "NULL") + ", " +
        (column->pCollation ? QuoteLiteral(cm.collation) : "NULL") + ");" +
        "UPDATE drm_tables SET next_col = " + std::to_string(cid + 1) + " WHERE id = " + std::to_string(tid) + ";";
    if (cm.Rm() == RM_TYPE_AUTOINC) body += "CREATE INDEX a" + t + "_" + cs + " ON " + t + "(" + cs + ");";
    std::string why;
    if ((rc = RunDdl(st, body, why)) != SQLITE_OK) return FailSql(s, st, rc, doing, false, why.c_str());
    if ((rc = step.Commit()) != SQLITE_OK) return FailSql(s, st, rc, doing);
    ++st->shared->version;
    RefreshCursorsOf(st->shared, tid);
    if (columnId) *columnId = static_cast<uint32_t>(cid);
    return 0;
  });
}

int32_t RareCreateIndex(uint32_t hSession, uint32_t hTable, const char* indexName, uint32_t flags, const char* keySpec,
                        uint32_t keySpecLen, uint32_t) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    const std::string tn = "table '" + c->meta->name + "'";
    std::string name = indexName ? indexName : "";
    if (!IsValidName(name))
      return Fail(s, DRM_ERR_INVALID_NAME, "'" + name + "' is not a valid index name (1 to 255 printable bytes)");
    if (c->meta->Index(name)) return Fail(s, DRM_ERR_INDEX_EXISTS, tn + " already has an index '" + name + "'");
    if (flags & DRM_IDXFLAG_PRIMARY)
      for (auto& ix : c->meta->indexes)
        if (ix.flags & DRM_IDXFLAG_PRIMARY)
          return Fail(s, DRM_ERR_PRIMARY_EXISTS, tn + " already has the primary index '" + ix.name + "'");
    if (!keySpec) return Fail(s, DRM_ERR_INVALID_PARAMETER, "index '" + name + "' has no key description");
    IndexMeta ix;
    ix.name = name;
    ix.flags = flags & (DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_PRIMARY | DRM_IDXFLAG_CASE_SENSITIVE);
    uint32_t p = 0;
    while (p < keySpecLen && keySpec[p] != '\0') {
      char dir = keySpec[p++];
      uint32_t start = p;
      while (p < keySpecLen && keySpec[p] != '\0') ++p;
      std::string colName(keySpec + start, p - start);
      ++p;
      if (dir != '+' && dir != '-')
        return Fail(s, DRM_ERR_INVALID_PARAMETER,
                    "key description of index '" + name + "' has an entry without '+' or '-'");
      const ColumnMeta* col = nullptr;
      for (auto& cc : c->meta->columns)
        if (cc.name == colName) col = &cc;
      if (!col)
        return Fail(s, DRM_ERR_NO_SUCH_COLUMN, tn + " has no column '" + colName + "' for index '" + name + "'");
      if (col->IsLong())
        return Fail(s, DRM_ERR_CANNOT_INDEX_LONG,
                    "column '" + colName + "' holds long values and cannot be in index '" + name + "'");
      ix.segments.push_back({col->id, dir == '-'});
    }
    if (ix.segments.empty()) return Fail(s, DRM_ERR_INVALID_PARAMETER, "index '" + name + "' names no columns");
    Store* st = c->store;
    int64_t tid = c->meta->id;
    const std::string doing = "creating index '" + name + "' of " + tn;
    StopReaders(st);
    WriteStep step(st);
    int64_t no = 0;
    int rc = step.Begin();
    if (rc == SQLITE_OK) rc = ScalarInt(st, "SELECT next_idx FROM drm_tables WHERE id = " + std::to_string(tid), no);
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing);
    std::string t = c->meta->SqlName(), segs, cols;
    for (auto& sg : ix.segments) {
      segs += std::string(segs.empty() ? "" : ",") + (sg.descending ? "-" : "+") + std::to_string(sg.columnId);
      const ColumnMeta* col = c->meta->Column(sg.columnId);
      bool nocase = col->IsText() && !SegmentCaseSensitive(*c->meta, ix, sg);
      cols += std::string(cols.empty() ? "" : ", ") + col->SqlName() + (nocase ? " COLLATE NOCASE" : "") +
              (sg.descending ? " DESC" : "");
    }
    bool unique = ix.flags & (DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_PRIMARY);
    std::string body = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX x" + t + "_" + std::to_string(no) +
                       " ON " + t + "(" + cols + ");" + "INSERT INTO drm_indexes VALUES(" + std::to_string(tid) + ", " +
                       std::to_string(no) + ", " + QuoteLiteral(name) + ", " + std::to_string(ix.flags) + ", " +
                       QuoteLiteral(segs) + ");" + "UPDATE drm_tables SET next_idx = " + std::to_string(no + 1) +
                       " WHERE id = " + std::to_string(tid) + ";";
    std::string why;
    rc = RunDdl(st, body, why);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT)
      return Fail(s, DRM_ERR_DUPLICATE_KEY,
                  "records of " + tn + " repeat key values, so unique index '" + name + "' cannot be built");
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing, false, why.c_str());
    if ((rc = step.Commit()) != SQLITE_OK) return FailSql(s, st, rc, doing);
    RefreshCursorsOf(st->shared, tid);
    return 0;
  });
}

int32_t RareDeleteIndex(uint32_t hSession, uint32_t hTable, const char* indexName) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    std::string name = indexName ? indexName : "";
    const IndexMeta* ix = c->meta->Index(name);
    if (!ix) return Fail(s, DRM_ERR_NO_SUCH_INDEX, "table '" + c->meta->name + "' has no index '" + name + "'");
    for (Cursor* o : c->store->shared->cursors)
      if (o != c && o->meta->id == c->meta->id && o->indexPos >= 0 &&
          strcasecmp(o->meta->indexes[static_cast<size_t>(o->indexPos)].name.c_str(), name.c_str()) == 0)
        return Fail(s, DRM_ERR_INDEX_IN_USE, "index '" + ix->name + "' is the current index of another handle");
    std::string t = c->meta->SqlName();
    int64_t tid = c->meta->id;
    std::string body = "DROP INDEX x" + t + "_" + std::to_string(ix->number) + ";" +
                       "DELETE FROM drm_indexes WHERE table_id = " + std::to_string(tid) +
                       " AND idx_no = " + std::to_string(ix->number) + ";";
    std::string why;
    int rc = RunDdl(c->store, body, why);
    if (rc != SQLITE_OK) return FailSql(s, c->store, rc, "deleting index '" + name + "'", false, why.c_str());
    RefreshCursorsOf(c->store->shared, tid);
    return 0;
  });
}

int32_t RareDeleteTable(uint32_t hSession, uint32_t hDatabase, const char* tableName) noexcept {
  return SessionDatabaseEntry(__func__, hSession, hDatabase, [&](Engine&, Session* s, DbHandle* d) -> int32_t {
    int32_t r = 0;
    std::shared_ptr<TableMeta> meta;
    if ((r = LoadTableMeta(s, d->store, tableName ? tableName : "", meta))) return r;
    auto it = d->store->shared->tableUse.find(meta->id);
    if (it != d->store->shared->tableUse.end() && it->second.handles > 0)
      return Fail(s, DRM_ERR_TABLE_HAS_HANDLES,
                  "table '" + meta->name + "' is still open on " + std::to_string(it->second.handles) + " handle(s)");
    std::string ids = std::to_string(meta->id);
    std::string body = "DROP TABLE " + meta->SqlName() + ";" + "DELETE FROM drm_columns WHERE table_id = " + ids + ";" +
                       "DELETE FROM drm_indexes WHERE table_id = " + ids + ";" +
                       "DELETE FROM drm_tables WHERE id = " + ids + ";";
    std::string why;
    int rc = RunDdl(d->store, body, why);
    if (rc != SQLITE_OK) return FailSql(s, d->store, rc, "deleting table '" + meta->name + "'", false, why.c_str());
    ++d->store->shared->version;
    return 0;
  });
}

int32_t RareRenameTable(uint32_t hTable, const char* newName) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    std::string name = newName ? newName : "";
    if (!IsValidName(name)) return Fail(s, DRM_ERR_INVALID_NAME, "'" + name + "' is not a valid table name");
    if (c->store->shared->tableUse[c->meta->id].handles > 1)
      return Fail(s, DRM_ERR_TABLE_IN_USE,
                  "table '" + c->meta->name + "' is open on other handles and cannot be renamed");
    Store* st = c->store;
    const std::string doing = "renaming table '" + c->meta->name + "'";
    StopReaders(st);
    WriteStep step(st);
    bool taken = false;
    int rc = step.Begin();
    if (rc == SQLITE_OK) rc = TableNameTaken(st, name, c->meta->id, taken);
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing);
    if (taken) return Fail(s, DRM_ERR_TABLE_EXISTS, "a table named '" + name + "' already exists");
    std::string why;
    rc = RunDdl(
        st, "UPDATE drm_tables SET name = " + QuoteLiteral(name) + " WHERE id = " + std::to_string(c->meta->id) + ";",
        why);
    if (rc != SQLITE_OK) return FailSql(s, st, rc, doing, false, why.c_str());
    if ((rc = step.Commit()) != SQLITE_OK) return FailSql(s, st, rc, doing);
    RefreshCursorsOf(c->store->shared, c->meta->id);
    return 0;
  });
}

int32_t RareSetOwnerOnTable(uint32_t hTable, const char* owner, int32_t accessMode) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    std::string o = owner ? owner : "";
    if (o.size() > 8) return Fail(s, DRM_ERR_INVALID_NAME, "owner name '" + o + "' is longer than 8 characters");
    if (accessMode < 0 || accessMode > 3)
      return Fail(s, DRM_ERR_INVALID_PARAMETER, "access mode " + std::to_string(accessMode) + " is not 0 to 3");
    if (c->ownerReadOnly || c->readOnly)
      return Fail(s, DRM_ERR_ACCESS_DENIED, "the handle on table '" + c->meta->name + "' lacks the owner's rights");
    std::string why;
    int rc = RunDdl(c->store,
                    "UPDATE drm_tables SET owner = " + QuoteLiteral(o) + ", access = " + std::to_string(accessMode) +
                        " WHERE id = " + std::to_string(c->meta->id) + ";",
                    why);
    if (rc != SQLITE_OK)
      return FailSql(s, c->store, rc, "setting the owner of table '" + c->meta->name + "'", false, why.c_str());
    RefreshCursorsOf(c->store->shared, c->meta->id);
    return 0;
  });
}

// ---- Catalog ------------------------------------------------------------------------------

int32_t RareGetDatabaseTableInfo(uint32_t hSession, uint32_t hDatabase, uint32_t* info, uint32_t infoSize) noexcept {
  return SessionDatabaseEntry(__func__, hSession, hDatabase, [&](Engine& e, Session* s, DbHandle* d) -> int32_t {
    int32_t r = 0;
    if ((r = CheckInfo(s, info, infoSize, DRM_TABLEINFO_SIZE))) return r;
    std::vector<std::vector<Val>> rows;
    int rc = SQLITE_OK;
    StmtPtr q = Prepare(d->store, "SELECT name FROM drm_tables ORDER BY name COLLATE NOCASE", &rc);
    if (!q) return FailSql(s, d->store, rc, "listing the tables of '" + d->store->location + "'");
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
      rows.push_back({Val::MakeText(ColumnText(q.get(), 0)), Val::MakeInt(0), Val::MakeInt(0)});
    if (rc != SQLITE_DONE) return FailSql(s, d->store, rc, "listing the tables of '" + d->store->location + "'");
    info[DRM_TI_CURSOR / 4] = NewResult(e, s, hDatabase, {0, 4, 4}, std::move(rows));
    info[DRM_TI_NAME / 4] = 1;
    info[DRM_TI_TYPE / 4] = 2;
    info[DRM_TI_FLAGS / 4] = 3;
    return 0;
  });
}

int32_t RareGetDatabaseProcedureInfo(uint32_t hSession, uint32_t hDatabase, uint32_t* info,
                                     uint32_t infoSize) noexcept {
  return SessionDatabaseEntry(__func__, hSession, hDatabase, [&](Engine& e, Session* s, DbHandle*) -> int32_t {
    int32_t r = 0;
    if ((r = CheckInfo(s, info, infoSize, DRM_TABLEINFO_SIZE))) return r;
    info[DRM_TI_CURSOR / 4] = NewResult(e, s, hDatabase, {0, 4, 4}, {});
    info[DRM_TI_NAME / 4] = 1;
    info[DRM_TI_TYPE / 4] = 2;
    info[DRM_TI_FLAGS / 4] = 3;
    return 0;
  });
}

int32_t RareGetTableColumnInfo(uint32_t hSession, uint32_t hTable, uint32_t* info, uint32_t infoSize) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine& e, Cursor* c) -> int32_t {
    int32_t r = 0;
    Session* s = c->session;
    if ((r = CheckInfo(s, info, infoSize, DRM_COLUMNINFO_SIZE))) return r;
    bool updatable = !c->readOnly && !c->ownerReadOnly;
    std::vector<std::vector<Val>> rows;
    for (auto& col : c->meta->columns) {
      uint32_t grBit = (col.grBit & DRM_COLFLAG_REQUIRED) | (updatable ? DRM_COLFLAG_UPDATABLE : 0);
      rows.push_back({Val::MakeText(col.name), Val::MakeInt(col.id), Val::MakeInt(col.colTyp),
                      Val::MakeInt(col.ReportedCbMax()), Val::MakeInt(grBit), Val::MakeInt(col.scale),
                      Val::MakeInt(col.precision), Val::MakeInt(c->meta->id), Val::MakeInt(0), Val::MakeInt(col.seq)});
    }
    info[DRM_CI_CURSOR / 4] = NewResult(e, s, c->dbh->handle, {0, 4, 4, 4, 4, 2, 2, 4, 4, 4}, std::move(rows));
    for (uint32_t k = 0; k < 10; ++k) info[DRM_CI_NAME / 4 + k] = k + 1;
    return 0;
  });
}

int32_t RareGetTableIndexInfo(uint32_t hSession, uint32_t hTable, const char* indexName, uint32_t* info,
                              uint32_t infoSize) noexcept {
  return SessionTableEntry(__func__, hSession, hTable, [&](Engine& e, Cursor* c) -> int32_t {
    int32_t r = 0;
    Session* s = c->session;
    if ((r = CheckInfo(s, info, infoSize, DRM_INDEXINFO_SIZE))) return r;
    std::string only = indexName ? indexName : "";
    if (!only.empty() && !c->meta->Index(only))
      return Fail(s, DRM_ERR_NO_SUCH_INDEX, "table '" + c->meta->name + "' has no index '" + only + "'");
    std::vector<std::vector<Val>> rows;
    for (auto& ix : c->meta->indexes) {
      if (!only.empty() && strcasecmp(ix.name.c_str(), only.c_str()) != 0) continue;
      for (size_t i = 0; i < ix.segments.size(); ++i) {
        auto& sg = ix.segments[i];
        uint32_t gc = (sg.descending ? DRM_SEGFLAG_DESCENDING : 0) |
                      (SegmentCaseSensitive(*c->meta, ix, sg) ? DRM_SEGFLAG_CASE_SENSITIVE : 0);
        rows.push_back({Val::MakeText(ix.name), Val::MakeInt(ix.flags), Val::MakeInt(static_cast<int64_t>(i)),
                        Val::MakeInt(sg.columnId), Val::MakeInt(gc),
                        Val::MakeText(c->meta->Column(sg.columnId)->name)});
      }
    }
    info[DRM_II_CURSOR / 4] = NewResult(e, s, c->dbh->handle, {0, 4, 4, 4, 4, 0}, std::move(rows));
    for (uint32_t k = 0; k < 6; ++k) info[DRM_II_INDEXNAME / 4 + k] = k + 1;
    return 0;
  });
}

}  // extern "C"
