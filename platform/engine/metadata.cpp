// Table descriptions: reading them from the metadata tables of a storage
// file, and the look-ups on them.
#include <strings.h>

#include "platform/engine/engine_state.h"

namespace drmengine {

namespace {

// An index's segments as kept in drm_indexes: "+3,-5", column ids ascending
// or descending. False when the text is not of that form.
bool ParseSegments(std::string_view text, std::vector<SegmentMeta>& out) {
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view part = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (part.empty()) continue;
    if (part[0] != '+' && part[0] != '-') return false;
    SegmentMeta sg;
    sg.descending = part[0] == '-';
    if (!ParseNumber(part.substr(1), sg.columnId)) return false;
    out.push_back(sg);
  }
  return true;
}

}  // namespace

int32_t LoadTableMetaById(Store* st, int64_t id, std::shared_ptr<TableMeta>& out) {
  auto m = std::make_shared<TableMeta>();
  StmtPtr q = Prepare(st, "SELECT id, name, owner, access FROM drm_tables WHERE id = ?");
  if (!q) return DRM_ERR_DISK_IO;
  int rc = sqlite3_bind_int64(q.get(), 1, id);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.get());
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? DRM_ERR_NO_SUCH_TABLE : DRM_ERR_DISK_IO;
  m->id = sqlite3_column_int64(q.get(), 0);
  m->name = ColumnText(q.get(), 1);
  m->owner = ColumnText(q.get(), 2);
  m->accessMode = sqlite3_column_int(q.get(), 3);

  q = Prepare(st,
              "SELECT col_id, name, coltyp, cbmax, prec, scale, grbit, dflt, collation "
              "FROM drm_columns WHERE table_id = ? ORDER BY col_id");
  if (!q) return DRM_ERR_DISK_IO;
  if (sqlite3_bind_int64(q.get(), 1, id) != SQLITE_OK) return DRM_ERR_DISK_IO;
  uint32_t seq = 0;
  // A description read only in part would show a table without some of
  // its columns: every step's result counts.
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    sqlite3_stmt* r = q.get();
    ColumnMeta c;
    c.id = static_cast<uint32_t>(sqlite3_column_int64(r, 0));
    c.seq = ++seq;
    c.name = ColumnText(r, 1);
    c.colTyp = static_cast<uint32_t>(sqlite3_column_int64(r, 2));
    c.cbMax = static_cast<uint32_t>(sqlite3_column_int64(r, 3));
    c.precision = static_cast<uint16_t>(sqlite3_column_int(r, 4));
    c.scale = static_cast<uint16_t>(sqlite3_column_int(r, 5));
    c.grBit = static_cast<uint32_t>(sqlite3_column_int64(r, 6));
    if (sqlite3_column_type(r, 7) != SQLITE_NULL) {
      c.hasDefault = true;
      c.defaultText = ColumnText(r, 7);
    }
    if (sqlite3_column_type(r, 8) != SQLITE_NULL) c.collation = ColumnText(r, 8);
    m->columns.push_back(std::move(c));
  }
  if (rc != SQLITE_DONE) return DRM_ERR_DISK_IO;

  q = Prepare(st, "SELECT idx_no, name, flags, segs FROM drm_indexes WHERE table_id = ? ORDER BY idx_no");
  if (!q) return DRM_ERR_DISK_IO;
  if (sqlite3_bind_int64(q.get(), 1, id) != SQLITE_OK) return DRM_ERR_DISK_IO;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    IndexMeta ix;
    ix.number = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 0));
    ix.name = ColumnText(q.get(), 1);
    ix.flags = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 2));
    if (!ParseSegments(ColumnText(q.get(), 3), ix.segments)) return DRM_ERR_NOT_DB_FILE;
    m->indexes.push_back(std::move(ix));
  }
  if (rc != SQLITE_DONE) return DRM_ERR_DISK_IO;
  for (size_t i = 0; i < m->columns.size(); ++i) {
    uint32_t cid = m->columns[i].id;
    if (cid >= m->indexById.size()) m->indexById.resize(cid + 1, -1);
    m->indexById[cid] = static_cast<int>(i);
  }
  out = std::move(m);
  return 0;
}

int32_t LoadTableMeta(Session* s, Store* st, const std::string& name, std::shared_ptr<TableMeta>& out) {
  int rc = SQLITE_OK;
  StmtPtr q = Prepare(st, "SELECT id FROM drm_tables WHERE name = ? COLLATE NOCASE", &rc);
  if (!q) return FailSql(s, st, rc, "reading the table list of '" + st->location + "'");
  rc = sqlite3_bind_text64(q.get(), 1, name.data(), name.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.get());
  int64_t id = rc == SQLITE_ROW ? sqlite3_column_int64(q.get(), 0) : 0;
  q.reset();
  if (rc == SQLITE_DONE) return Fail(s, DRM_ERR_NO_SUCH_TABLE, "table '" + name + "' is not in '" + st->location + "'");
  if (rc != SQLITE_ROW) return FailSql(s, st, rc, "reading the table list of '" + st->location + "'");
  int32_t r = LoadTableMetaById(st, id, out);
  if (r) return Fail(s, r, "the description of table '" + name + "' cannot be read");
  return 0;
}

const ColumnMeta* TableMeta::Column(uint32_t cid) const {
  int i = ColumnIndex(cid);
  return i < 0 ? nullptr : &columns[static_cast<size_t>(i)];
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
    std::string indexName = c->indexPos >= 0 ? c->meta->indexes[static_cast<size_t>(c->indexPos)].name : "";
    c->meta = m;
    int pos = -1;
    for (size_t i = 0; i < m->indexes.size(); ++i)
      if (!indexName.empty() && strcasecmp(m->indexes[i].name.c_str(), indexName.c_str()) == 0)
        pos = static_cast<int>(i);
    if (c->pending) {
      c->pending->vals.resize(m->columns.size());
      c->pending->orig.resize(m->columns.size());
    }
    CursorSetOrder(c, pos);
  }
}

}  // namespace drmengine
