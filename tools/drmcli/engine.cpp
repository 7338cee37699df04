#include "tools/drmcli/engine.h"

#include <cstring>

#include "engine/drm.h"
#include "errors/status_tables.h"

namespace drmcli {
namespace {

constexpr uint32_t kNoSession = 0xFFFFFFFFu;

std::string ExtendedText(uint32_t session, int32_t status) {
  std::string buf(DRM_EXT_ERR_MAX, '\0');
  uint32_t len = 0;
  RareGetExtErrStr(session, status, buf.data(), static_cast<uint32_t>(buf.size()), &len);
  buf.resize(strnlen(buf.data(), buf.size()));
  return buf;
}

}  // namespace

DrmError::DrmError(int32_t status, const std::string& call, const std::string& meaning,
                   const std::string& extended)
    : std::runtime_error(call + " failed with status " + std::to_string(status) +
                         (meaning.empty() ? "" : " (" + meaning + ")") +
                         (extended.empty() ? "" : ": " + extended)),
      FStatus(status),
      FCall(call),
      FMeaning(meaning),
      FExtended(extended) {}

std::string StatusMeaning(int32_t status) {
  if (const char* t = dac::DbNamesStatusText(status)) return t;
  return dac::DrmStatusText(status);
}

void Check(int32_t status, uint32_t session, const char* call) {
  if (status == 0) return;
  throw DrmError(status, call, StatusMeaning(status),
                 ExtendedText(session ? session : kNoSession, status));
}

// ---- Session ---------------------------------------------------------------

Session::Session() { drmcli::Check(RareBeginSession(&FHandle, "", "", ""), kNoSession, "RareBeginSession"); }

Session::~Session() {
  if (FHandle) RareEndSession(FHandle);
}

void Session::Transact(int32_t operation) {
  if (operation == DRM_TRANS_START)
    Check(RareSetSessionOption(FHandle, DRM_SESOPT_ISOLATION, DRM_ISOLATION_READ_COMMITTED),
          "RareSetSessionOption");
  Check(RareSetTransact(FHandle, operation, "drmcli"), "RareSetTransact");
}

// ---- Catalog cursors -----------------------------------------------------------

void WalkCursor(Session& session, uint32_t cursor, const std::function<void(uint32_t)>& row) {
  struct Closer {
    Session& s;
    uint32_t c;
    ~Closer() { RareCloseTable(s.Handle(), c); }
  } closer{session, cursor};
  for (uint32_t code = DRM_MOVE_FIRST;; code = DRM_MOVE_NEXT) {
    int32_t st = RareMove(session.Handle(), cursor, code);
    if (st == DRM_ERR_NO_CURRENT_RECORD) break;
    session.Check(st, "RareMove");
    row(cursor);
  }
}

std::string CatalogText(Session& session, uint32_t cursor, uint32_t columnId) {
  char buf[1024] = {};
  uint32_t len = 0;
  int32_t st = RareRetrieveColumn(session.Handle(), cursor, columnId, buf, sizeof buf - 1, &len, nullptr);
  if (st == DRM_WARN_NULL) return "";
  session.Check(st, "RareRetrieveColumn");
  return std::string(buf, strnlen(buf, std::min<size_t>(len, sizeof buf - 1)));
}

uint32_t CatalogNumber(Session& session, uint32_t cursor, uint32_t columnId) {
  uint32_t v = 0, len = 0;
  int32_t st = RareRetrieveColumn(session.Handle(), cursor, columnId, &v, 4, &len, nullptr);
  if (st == DRM_WARN_NULL) return 0;
  session.Check(st, "RareRetrieveColumn");
  return v;
}

static uint16_t CatalogNumber16(Session& session, uint32_t cursor, uint32_t columnId) {
  uint16_t v = 0;
  uint32_t len = 0;
  int32_t st = RareRetrieveColumn(session.Handle(), cursor, columnId, &v, 2, &len, nullptr);
  if (st == DRM_WARN_NULL) return 0;
  session.Check(st, "RareRetrieveColumn");
  return v;
}

// ---- Database ---------------------------------------------------------------------

Database::Database(Session& session, const std::string& location, bool exclusive) : FSession(session) {
  // This engine serves local databases only: the host part names this computer.
  std::string target = "localhost\t" + location;
  FSession.Check(RareOpenDatabase(FSession.Handle(), target.c_str(), &FHandle,
                                  exclusive ? DRM_DBOPEN_EXCLUSIVE : DRM_DBOPEN_NORMAL, "", ""),
                 "RareOpenDatabase");
}

Database::~Database() {
  if (FHandle) RareCloseDatabase(FSession.Handle(), FHandle);
}

std::vector<TableInfo> Database::Tables() {
  uint32_t info[DRM_TABLEINFO_SIZE / 4] = {};
  info[0] = DRM_TABLEINFO_SIZE;
  FSession.Check(RareGetDatabaseTableInfo(FSession.Handle(), FHandle, info, DRM_TABLEINFO_SIZE),
                 "RareGetDatabaseTableInfo");
  std::vector<TableInfo> tables;
  WalkCursor(FSession, info[DRM_TI_CURSOR / 4], [&](uint32_t c) {
    TableInfo t;
    t.Name = CatalogText(FSession, c, info[DRM_TI_NAME / 4]);
    t.Type = CatalogNumber(FSession, c, info[DRM_TI_TYPE / 4]);
    t.Flags = CatalogNumber(FSession, c, info[DRM_TI_FLAGS / 4]);
    tables.push_back(t);
  });
  return tables;
}

bool Database::HasTable(const std::string& name) {
  uint32_t t = 0;
  int32_t st = RareOpenTable(FSession.Handle(), FHandle, name.c_str(), 0, DRM_TBLOPEN_READONLY, &t);
  if (st == DRM_ERR_NO_SUCH_TABLE) return false;
  FSession.Check(st, "RareOpenTable");
  RareCloseTable(FSession.Handle(), t);
  return true;
}

void Database::DropTable(const std::string& name) {
  int32_t st = RareDeleteTable(FSession.Handle(), FHandle, name.c_str());
  if (st == DRM_ERR_NO_SUCH_TABLE) return;
  FSession.Check(st, "RareDeleteTable");
}

// ---- Table --------------------------------------------------------------------------

Table::Table(Database& db, const std::string& name, int32_t mode) : FDb(db), FName(name) {
  Check(RareOpenTable(db.Owner().Handle(), db.Handle(), name.c_str(), 0, mode, &FHandle),
        "RareOpenTable");
}

Table::Table(Database& db, uint32_t handle, std::string name)
    : FDb(db), FHandle(handle), FName(std::move(name)) {}

Table::~Table() {
  if (FHandle) RareCloseTable(FDb.Owner().Handle(), FHandle);
}

std::vector<ColumnInfo> Table::Columns() {
  Session& s = FDb.Owner();
  uint32_t info[DRM_COLUMNINFO_SIZE / 4] = {};
  info[0] = DRM_COLUMNINFO_SIZE;
  Check(RareGetTableColumnInfo(s.Handle(), FHandle, info, DRM_COLUMNINFO_SIZE), "RareGetTableColumnInfo");
  std::vector<ColumnInfo> cols;
  WalkCursor(s, info[DRM_CI_CURSOR / 4], [&](uint32_t c) {
    ColumnInfo col;
    col.Name = CatalogText(s, c, info[DRM_CI_NAME / 4]);
    col.Id = CatalogNumber(s, c, info[DRM_CI_COLUMNID / 4]);
    col.ColTyp = CatalogNumber(s, c, info[DRM_CI_COLTYP / 4]);
    col.CbMax = CatalogNumber(s, c, info[DRM_CI_CBMAX / 4]);
    col.GrBit = CatalogNumber(s, c, info[DRM_CI_GRBIT / 4]);
    col.Scale = CatalogNumber16(s, c, info[DRM_CI_SCALE / 4]);
    col.Precision = CatalogNumber16(s, c, info[DRM_CI_PRECISION / 4]);
    cols.push_back(col);
  });
  return cols;
}

std::vector<IndexInfo> Table::Indexes() {
  Session& s = FDb.Owner();
  uint32_t info[DRM_INDEXINFO_SIZE / 4] = {};
  info[0] = DRM_INDEXINFO_SIZE;
  Check(RareGetTableIndexInfo(s.Handle(), FHandle, nullptr, info, DRM_INDEXINFO_SIZE),
        "RareGetTableIndexInfo");
  std::vector<IndexInfo> indexes;
  WalkCursor(s, info[DRM_II_CURSOR / 4], [&](uint32_t c) {
    std::string name = CatalogText(s, c, info[DRM_II_INDEXNAME / 4]);
    if (indexes.empty() || indexes.back().Name != name) {
      indexes.push_back(IndexInfo{name, CatalogNumber(s, c, info[DRM_II_GRBITINDEX / 4]), {}});
    }
    IndexSegmentInfo seg;
    seg.ColumnId = CatalogNumber(s, c, info[DRM_II_COLUMNID / 4]);
    seg.Flags = CatalogNumber(s, c, info[DRM_II_GRBITCOLUMN / 4]);
    seg.Column = CatalogText(s, c, info[DRM_II_COLUMNNAME / 4]);
    indexes.back().Segments.push_back(seg);
  });
  return indexes;
}

void Table::SetIndex(const std::string& name) {
  Check(RareSetTableIndex(FDb.Owner().Handle(), FHandle, name.c_str()), "RareSetTableIndex");
}

bool Table::Move(uint32_t code) {
  int32_t st = RareMove(FDb.Owner().Handle(), FHandle, code);
  if (st == DRM_ERR_NO_CURRENT_RECORD) return false;
  Check(st, "RareMove");
  return true;
}

bool Table::Read(const ColumnInfo& column, std::string& bytes) {
  uint32_t session = FDb.Owner().Handle();
  uint32_t len = 0;
  if (column.IsLong()) {
    int32_t st = RareRetrieveColumn(session, FHandle, column.Id, nullptr, 0, &len, nullptr);
    if (st == DRM_WARN_NULL) return false;
    Check(st, "RareRetrieveColumn");
    bytes.assign(len, '\0');
    uint32_t done = 0;
    while (done < bytes.size()) {
      DRM_RetrieveStruct chunk{sizeof(DRM_RetrieveStruct), done};
      uint32_t got = 0;
      Check(RareRetrieveColumn(session, FHandle, column.Id, bytes.data() + done,
                               static_cast<uint32_t>(bytes.size() - done), &got, &chunk),
            "RareRetrieveColumn");
      if (got == 0) break;
      done += got;
    }
    bytes.resize(done);
    return true;
  }
  bytes.assign(column.ReadSize(), '\0');
  int32_t st = RareRetrieveColumn(session, FHandle, column.Id, bytes.data(),
                                  static_cast<uint32_t>(bytes.size()), &len, nullptr);
  if (st == DRM_WARN_NULL) return false;
  Check(st, "RareRetrieveColumn");
  bytes.resize(std::min<size_t>(len, bytes.size()));
  return true;
}

uint32_t Table::RecordCount() {
  uint32_t n = 0;
  Check(RareGetRecordCount(FHandle, &n), "RareGetRecordCount");
  return n;
}

void Table::InitInsert() {
  Check(RareInitUpdate(FDb.Owner().Handle(), FHandle, DRM_INITUPD_NEW), "RareInitUpdate");
}

void Table::SetValue(const ColumnInfo& column, const std::string& bytes) {
  Check(RareSetColumn(FDb.Owner().Handle(), FHandle, column.Id, bytes.data(),
                      static_cast<uint32_t>(bytes.size()), 0, 0, 0),
        "RareSetColumn");
}

void Table::SetNull(const ColumnInfo& column) {
  char zero[8] = {};
  Check(RareSetColumn(FDb.Owner().Handle(), FHandle, column.Id, zero, 0, 0, 1, 0), "RareSetColumn");
}

void Table::Post() { Check(RareUpdateRecord(FDb.Owner().Handle(), FHandle), "RareUpdateRecord"); }

void Table::Cancel() { RareCancelUpdate(FDb.Owner().Handle(), FHandle); }

}  // namespace drmcli
