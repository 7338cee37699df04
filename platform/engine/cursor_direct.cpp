// Direct record-manager calls: whole record images by position or key, and
// the record-manager view of a cursor (key image, index number, filter).
#include <algorithm>
#include <cstring>

#include "platform/engine/cursor_core.h"

using namespace drmengine;

extern "C" {

int32_t RareRmCall(uint32_t hTable, int16_t operation, void* data, uint16_t* dataLen, void* keyBuf, uint8_t keyLen,
                   int8_t keyNum) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    Session* s = c->session;
    uint16_t room = dataLen ? *dataLen : 0;
    if (dataLen) *dataLen = 0;
    int32_t r = 0;
    switch (operation) {
      case DRM_RM_FIRST: r = Fetch(c, 1, true); break;
      case DRM_RM_LAST: r = Fetch(c, -1, true); break;
      case DRM_RM_NEXT:
        RequireKey(c);
        r = Step(c, 1);
        break;
      case DRM_RM_PREVIOUS:
        RequireKey(c);
        r = Step(c, -1);
        break;
      case DRM_RM_RECORD_COUNT: {
        uint32_t n = 0;
        if ((r = StoredRecordCount(c, n))) return r;
        if (!data || room < 4) return Fail(s, DRM_ERR_BUFFER_TOO_SMALL, "the record count needs 4 bytes");
        std::memcpy(data, &n, 4);
        *dataLen = 4;
        return 0;
      }
      case DRM_RM_GET_EQUAL: {
        if (keyNum < 0 || static_cast<size_t>(keyNum) >= c->meta->indexes.size())
          return Fail(s, DRM_ERR_NO_SUCH_INDEX, Describe(c) + " has no index number " + std::to_string(keyNum));
        auto& ix = c->meta->indexes[static_cast<size_t>(keyNum)];
        const ColumnMeta* col = c->meta->Column(ix.segments[0].columnId);
        Val v;
        std::string what;
        if ((r = ConstToVal(*col, keyBuf, keyLen, v, what)) < 0) return Fail(s, r, what);
        std::string x = SegSql(c, c->meta->ColumnIndex(col->id), c->meta->SegmentNoCase(ix, ix.segments[0]));
        int rc;
        sqlite3_stmt* st = CachedStmt(
            c, "SELECT bm FROM " + c->meta->SqlName() + " WHERE " + x + " = ? ORDER BY " + x + ", bm LIMIT 1", &rc);
        if (!st) return FailSql(s, c->store, rc, "searching " + Describe(c));
        if ((rc = BindAll(st, {v})) == SQLITE_OK) rc = sqlite3_step(st);
        int64_t bm = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
        sqlite3_reset(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return FailSql(s, c->store, rc, "searching " + Describe(c));
        if (!bm || !LoadByBm(c, bm))
          return Fail(s, DRM_ERR_NO_CURRENT_RECORD,
                      "no record of " + Describe(c) + " has key " + ValText(v) + " in index '" + ix.name + "'");
        break;
      }
      default:
        return Fail(s, DRM_ERR_NOT_SUPPORTED,
                    "direct operation " + std::to_string(operation) + " is not one of 1 to 6");
    }
    if (r) return r;
    // The record image: per column a null indicator and the engine value.
    std::string image;
    for (size_t i = 0; i < c->meta->columns.size(); ++i) {
      const ColumnMeta& col = c->meta->columns[i];
      int32_t st = 0;
      const Val* v = ReadView(c, i, st);
      if (!v) return st;
      image.push_back(v->IsNull() ? 0 : 1);
      if (col.IsLong()) continue;
      std::string bytes;
      if (!v->IsNull()) ValToEngine(col, *v, bytes);
      size_t width = col.Drm() == DRM_TYPE_ZSTRING ? col.cbMax + 1 : col.ReportedCbMax();
      bytes.resize(width, '\0');
      image += bytes;
    }
    if (!data || room < image.size()) {
      if (dataLen) *dataLen = static_cast<uint16_t>(std::min<size_t>(image.size(), 0xFFFF));
      return Fail(s, DRM_ERR_BUFFER_TOO_SMALL,
                  "the record image of " + Describe(c) + " needs " + std::to_string(image.size()) + " bytes");
    }
    std::memcpy(data, image.data(), image.size());
    *dataLen = static_cast<uint16_t>(image.size());
    return 0;
  });
}

int32_t RareGetRmInfo(uint32_t hTable, TRmInfo* info) noexcept {
  return TableEntry(__func__, hTable, [&](Engine&, Cursor* c) -> int32_t {
    if (!info) return Fail(c->session, DRM_ERR_INVALID_PARAMETER, "no information record was given");
    c->rmKey.clear();
    if (c->indexPos >= 0 && c->state == Cursor::OnRecord) {
      RequireKey(c);
      auto& ix = c->meta->indexes[static_cast<size_t>(c->indexPos)];
      for (size_t i = 0; i < ix.segments.size() && i < c->key.size(); ++i) {
        std::string b;
        const ColumnMeta* col = c->meta->Column(ix.segments[i].columnId);
        if (!c->key[i].IsNull()) ValToEngine(*col, c->key[i], b);
        c->rmKey += b;
      }
    }
    info->pKeyBuf = c->rmKey.empty() ? nullptr : c->rmKey.data();
    info->KeyLen = static_cast<uint8_t>(std::min<size_t>(c->rmKey.size(), 255));
    info->KeyNum = static_cast<int8_t>(c->indexPos);
    info->CurFilter = c->rmFilter.empty() ? nullptr : c->rmFilter.data();
    info->CurFilterLen = static_cast<int32_t>(c->rmFilter.size());
    return 0;
  });
}

}  // extern "C"
