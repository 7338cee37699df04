// Random calls through the C interface on a table of every common type:
// valid and stale handles, column ids out of range, buffers of any size,
// bytes that are no value of their column, filters and keys on random
// columns, transactions begun and ended at random. Whatever the call, the
// engine answers a status (with a text when it fails), never crashes (the
// sanitizer build runs this too), and leaves a sound file whose row count
// is the count of its rows.
#include <sqlite3.h>

#include <chrono>
#include <random>

#include "engine_fixture.h"
#include "support/test_seed.h"

using namespace enginetest;

namespace {

class InterfaceFuzz : public EngineTest {
 protected:
  std::mt19937 rng;
  std::vector<uint32_t> cols;
  uint32_t handles[3] = {};  // two open handles and a stale one
  int failures = 0, successes = 0;

  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(rng() % n); }

  std::vector<uint8_t> Bytes(uint32_t max) {
    std::vector<uint8_t> b(Pick(max + 1));
    static const uint8_t kUsual[] = {'a', 'Z', ' ', '0', 0x7f, 0xc3};
    for (auto& x : b) x = Pick(4) == 0 ? static_cast<uint8_t>(Pick(256)) : kUsual[Pick(sizeof kUsual)];
    return b;
  }

  uint32_t Column() { return Pick(8) == 0 ? Pick(40) : cols[Pick(static_cast<uint32_t>(cols.size()))]; }
  uint32_t Handle() { return handles[Pick(8) == 0 ? 2 : Pick(2)]; }

  // A failing call leaves a text for its session; a warning is no failure.
  // A call that names only a table charges a stale handle's failure to no
  // session (there is none to know of).
  uint32_t lastHandle = 0;
  void Check(int32_t status, const char* call, bool namesSession = true) {
    if (status >= 0) {
      ++successes;
      return;
    }
    ++failures;
    const uint32_t session = namesSession || lastHandle != handles[2] ? S : 0xFFFFFFFFu;
    ASSERT_FALSE(ExtErr(status, session).empty()) << call << " failed with " << status << " and no text";
  }

  DRM_FilterStruct Term(std::vector<std::vector<uint8_t>>& keep) {
    DRM_FilterStruct f{};
    f.IsColumn = static_cast<uint8_t>(Pick(5));  // 4: no such kind
    f.ColumnId = Column();
    f.ExprWithNextTerm = static_cast<uint8_t>(Pick(4));
    f.CompareCode = static_cast<uint8_t>(Pick(8) | (Pick(2) ? DRM_CMP_NOCASE : 0));
    f.CompColumnId = Column();
    keep.push_back(Bytes(24));
    f.pConst = keep.back().empty() ? nullptr : keep.back().data();
    f.ConstLen = static_cast<uint16_t>(keep.back().size());
    return f;
  }

  void Step() {
    const uint32_t h = lastHandle = Handle();
    const uint32_t moves[] = {DRM_MOVE_FIRST, DRM_MOVE_LAST, DRM_MOVE_NEXT, DRM_MOVE_PREVIOUS, 7u};
    uint8_t buffer[64];
    uint32_t length = 0;
    switch (Pick(16)) {
      case 0:
      case 1: return Check(RareMove(S, h, moves[Pick(5)]), "RareMove");
      case 2:
      case 3: {
        DRM_RetrieveStruct chunk{};
        chunk.Offset = Pick(12);
        return Check(RareRetrieveColumn(S, h, Column(), buffer, Pick(sizeof buffer + 1), &length,
                                        Pick(2) ? &chunk : nullptr),
                     "RareRetrieveColumn");
      }
      case 4: {
        const int32_t modes[] = {DRM_INITUPD_NEW, DRM_INITUPD_CURRENT, 1, DRM_INITUPD_VIEW_PENDING,
                                 DRM_INITUPD_VIEW_STORED};
        return Check(RareInitUpdate(S, h, modes[Pick(5)]), "RareInitUpdate");
      }
      case 5:
      case 6: {
        const auto data = Bytes(40);
        return Check(RareSetColumn(S, h, Column(), data.empty() ? nullptr : data.data(),
                                   static_cast<uint32_t>(data.size()), static_cast<int32_t>(Pick(2)),
                                   Pick(6) == 0 ? 1 : 0, Pick(4) == 0 ? Pick(16) : 0),
                     "RareSetColumn");
      }
      case 7: return Check(Pick(3) ? RareUpdateRecord(S, h) : RareCancelUpdate(S, h), "RareUpdateRecord");
      case 8: return Check(Pick(3) ? RareGetBookmark(S, h, buffer, Pick(9), &length) : RareDeleteRecord(S, h),
                           "RareGetBookmark/RareDeleteRecord");
      case 9: {
        const auto bm = Bytes(8);
        return Check(RareGotoBookmark(S, h, bm.empty() ? nullptr : bm.data(), static_cast<uint32_t>(bm.size())),
                     "RareGotoBookmark");
      }
      case 10: {
        const auto key = Bytes(20);
        const int32_t slot = static_cast<int32_t>(Pick(7)) - 1;
        if (Pick(3) == 0) return Check(RareCancelFilterKey(h, slot), "RareCancelFilterKey", false);
        return Check(RareMakeFilterKey(h, Column(), slot, key.empty() ? nullptr : key.data(),
                                       static_cast<uint16_t>(key.size()),
                                       Pick(2) ? DRM_KEYFLAG_FIRST : DRM_KEYFLAG_PARTIAL),
                     "RareMakeFilterKey", false);
      }
      case 11: {
        std::vector<std::vector<uint8_t>> keep;
        keep.reserve(8);
        std::vector<DRM_FilterStruct> terms;
        for (uint32_t n = Pick(4); n > 0; --n) terms.push_back(Term(keep));
        const int32_t mode = static_cast<int32_t>(Pick(2));
        int32_t tag = 0;
        const int32_t st = RareSetFilterOnColumns(h, terms.empty() ? nullptr : terms.data(),
                                                  static_cast<uint16_t>(terms.size()), &tag, mode);
        Check(st, "RareSetFilterOnColumns", false);
        if (st == 0 && Pick(2)) Check(RareRemoveFilterFromColumns(h, tag, mode == 1 ? 0 : 1), "RareRemove...", false);
        return;
      }
      case 12: {
        if (Pick(2)) return Check(RareCancelRange(h), "RareCancelRange", false);
        std::vector<std::vector<uint8_t>> keep;
        keep.reserve(4);
        DRM_FilterStruct start = Term(keep), end = Term(keep);
        return Check(RareSetRange(h, &start, static_cast<uint16_t>(Pick(2)), &end, static_cast<uint16_t>(Pick(2))),
                     "RareSetRange", false);
      }
      case 13: {
        const char* names[] = {"ByNum", "ByName", "Nope", nullptr};
        return Check(RareSetTableIndex(S, h, names[Pick(4)]), "RareSetTableIndex");
      }
      case 14: {
        uint32_t n = 0;
        switch (Pick(4)) {
          case 0: return Check(RareGetRecordCount(h, &n), "RareGetRecordCount", false);
          case 1: return Check(RareFindPercentage(h, &n), "RareFindPercentage", false);
          case 2: return Check(RareGetByPercentage(h, Pick(120)), "RareGetByPercentage", false);
          default: return Check(RareRefreshCurRecord(h), "RareRefreshCurRecord", false);
        }
      }
      default: {
        const int32_t ops[] = {DRM_TRANS_START, DRM_TRANS_COMMIT, DRM_TRANS_ROLLBACK};
        return Check(RareSetTransact(S, ops[Pick(3)], ""), "RareSetTransact");
      }
    }
  }

  int64_t SqliteCount(const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2((dbDir + "/engine.rdb").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    int64_t n = -1;
    if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
  }
};

TEST_F(InterfaceFuzz, RandomCallsAnswerStatusesAndLeaveASoundFile) {
  const uint32_t seed = testseed::Seed(424242);
  SCOPED_TRACE(testseed::Describe(seed));
  rng.seed(seed);
  cols = CreateTable("T", {{"Num", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                           {"Small", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                           {"Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 6},
                           {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12},
                           {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
                           {"Price", DRM_COLTYP(RM_TYPE_CURRENCY, DRM_TYPE_CURRENCY), 8},
                           {"Dec", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 38, 0, nullptr, nullptr, 12, 3},
                           {"Flag", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                           {"Day", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 6},
                           {"Memo", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT)}});
  uint32_t t = Open("T");
  ASSERT_EQ(CreateIndex(t, "ByNum", {"+Num"}, DRM_IDXFLAG_CASE_SENSITIVE), 0);
  ASSERT_EQ(CreateIndex(t, "ByName", {"+Name", "-Num"}, 0), 0);
  for (int32_t i = 0; i < 20; ++i) {
    ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
    ASSERT_EQ(SetInt32(t, cols[0], i), 0);
    ASSERT_EQ(SetText(t, cols[3], "n" + std::to_string(i % 7)), 0);
    ASSERT_EQ(RareUpdateRecord(S, t), 0);
  }
  // No bytes at all for a text: found by the sanitizers in this test.
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  EXPECT_GE(RareSetColumn(S, t, cols[3], nullptr, 0, 0, 0, 0), 0);
  ASSERT_EQ(RareCancelUpdate(S, t), 0);
  handles[0] = t;
  handles[1] = Open("T");
  handles[2] = Open("T");
  ASSERT_EQ(RareCloseTable(S, handles[2]), 0);  // now stale

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int calls = 0;
  for (; calls < 100000 && std::chrono::steady_clock::now() < deadline; ++calls) {
    Step();
    if (HasFatalFailure()) return;
  }
  RareSetTransact(S, DRM_TRANS_COMMIT, "");
  EXPECT_GT(successes, calls / 10);
  EXPECT_GT(failures, calls / 10);

  // The file is sound, and the count the engine keeps is the rows' count.
  ASSERT_EQ(RareCloseTable(S, handles[1]), 0);
  ASSERT_EQ(RareCloseTable(S, handles[0]), 0);
  t = Open("T");
  uint32_t count = 0;
  ASSERT_EQ(RareGetRecordCount(t, &count), 0);
  EXPECT_EQ(SqliteCount("SELECT count(*) FROM t" +
                        std::to_string(SqliteCount("SELECT id FROM drm_tables WHERE name = 'T'"))),
            count);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dbDir + "/engine.rdb").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
  sqlite3_finalize(st);
  sqlite3_close(db);
  RecordProperty("calls", calls);
  RecordProperty("failures", failures);
}

}  // namespace
