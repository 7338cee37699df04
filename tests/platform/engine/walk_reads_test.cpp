// Walking a table of every column type reads what the storage holds: each
// value the engine answers is compared with the engine form of the stored
// value, read from the storage file with SQLite itself. The walks go
// forward, backward and through an index with a write between moves, so
// that the scan statement, its re-seeks and the by-bookmark reads are all
// compared.
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "engine/drm_values.h"

#include "engine_fixture.h"

using namespace enginetest;

namespace {

using Bytes = std::string;

template <typename T>
Bytes Form(T v, size_t n = sizeof(T)) {
  Bytes b(sizeof(T), '\0');
  std::memcpy(b.data(), &v, sizeof(T));
  return b.substr(0, n);
}

Bytes Words(std::initializer_list<uint16_t> w) {
  Bytes b;
  for (uint16_t x : w) b += Form(x);
  return b;
}

// Days since 1970-01-01 to year, month, day (proleptic Gregorian).
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

struct ColumnCase {
  Col col;
  // The engine form of row i's value; empty optional: leave it NULL.
  std::function<Bytes(int)> value;
  // The engine form of a stored value (a column of the SQLite row).
  std::function<Bytes(sqlite3_stmt*, int)> expect;
};

Bytes StoredInt(sqlite3_stmt* st, int i, size_t n) { return Form(sqlite3_column_int64(st, i), n); }
Bytes StoredBytes(sqlite3_stmt* st, int i) {
  const void* p = sqlite3_column_blob(st, i);
  return Bytes(p ? static_cast<const char*>(p) : "", static_cast<size_t>(sqlite3_column_bytes(st, i)));
}

std::vector<ColumnCase> EveryType() {
  auto intCase = [](const char* name, uint32_t typ, uint32_t cb, int64_t (*f)(int), size_t n) {
    return ColumnCase{{name, typ, cb}, [f, n](int i) { return Form(f(i), n); },
                      [n](sqlite3_stmt* st, int c) { return StoredInt(st, c, n); }};
  };
  std::vector<ColumnCase> cases = {
      intCase("B", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1, [](int i) -> int64_t { return i % 2; }, 1),
      intCase("I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1, [](int i) -> int64_t { return i * 3 - 90; }, 1),
      intCase("U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1, [](int i) -> int64_t { return i * 4; }, 1),
      intCase("I16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2, [](int i) -> int64_t { return i * 1000 - 30000; }, 2),
      intCase("U16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2, [](int i) -> int64_t { return i * 1000; }, 2),
      intCase("I32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4, [](int i) -> int64_t { return i * 100003 - 3000000; }, 4),
      intCase("Cur", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_CURRENCY), 8,
              [](int i) -> int64_t { return (i - 30) * 1234567890123LL; }, 8),
      {{"F", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4}, [](int i) { return Form(static_cast<float>(i) * 0.37f); },
       [](sqlite3_stmt* st, int c) { return Form(static_cast<float>(sqlite3_column_double(st, c))); }},
      {{"D", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8}, [](int i) { return Form(i * 1.25e10 - 7e11); },
       [](sqlite3_stmt* st, int c) { return Form(sqlite3_column_double(st, c)); }},
      {{"Dt", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4},
       [](int i) {
         return Words({static_cast<uint16_t>(1990 + i % 40), static_cast<uint16_t>(1 + i % 12),
                       static_cast<uint16_t>(1 + i % 28)});
       },
       [](sqlite3_stmt* st, int c) {
         const int64_t v = sqlite3_column_int64(st, c);
         return Words({static_cast<uint16_t>(v / 10000), static_cast<uint16_t>(v / 100 % 100),
                       static_cast<uint16_t>(v % 100)});
       }},
      {{"Tm", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4},
       [](int i) {
         return Words({static_cast<uint16_t>(i % 24), static_cast<uint16_t>(i * 7 % 60),
                       static_cast<uint16_t>(i * 11 % 60)});
       },
       [](sqlite3_stmt* st, int c) {
         const int64_t v = sqlite3_column_int64(st, c);
         return Words({static_cast<uint16_t>(v / 10000), static_cast<uint16_t>(v / 100 % 100),
                       static_cast<uint16_t>(v % 100)});
       }},
      {{"Ts", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
       [](int i) {
         return Words({static_cast<uint16_t>(1940 + i), static_cast<uint16_t>(1 + i % 12),
                       static_cast<uint16_t>(1 + i % 28), static_cast<uint16_t>(i % 24),
                       static_cast<uint16_t>(i % 60), static_cast<uint16_t>(59 - i % 60)}) +
                Form(static_cast<uint32_t>(i * 12345));
       },
       [](sqlite3_stmt* st, int c) {
         const int64_t v = sqlite3_column_int64(st, c);
         const int64_t secs = FloorDiv(v, 10000000);
         const uint32_t fraction = static_cast<uint32_t>(v - secs * 10000000);
         const int64_t days = FloorDiv(secs, 86400);
         const int64_t inDay = secs - days * 86400;
         int64_t y = 0;
         unsigned m = 0, d = 0;
         CivilFromDays(days, y, m, d);
         return Words({static_cast<uint16_t>(y), static_cast<uint16_t>(m), static_cast<uint16_t>(d),
                       static_cast<uint16_t>(inDay / 3600), static_cast<uint16_t>(inDay / 60 % 60),
                       static_cast<uint16_t>(inDay % 60)}) +
                Form(fraction);
       }},
      {{"Txt", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 8}, [](int i) { return Bytes("t" + std::to_string(i) + "   ").substr(0, 8); },
       [](sqlite3_stmt* st, int c) {
         Bytes b = StoredBytes(st, c);
         return b + Bytes(8 - b.size(), ' ');
       }},
      {{"Zs", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12}, [](int i) { return "zs " + std::to_string(i * 37) + '\0'; },
       [](sqlite3_stmt* st, int c) { return StoredBytes(st, c) + '\0'; }},
      {{"Bin", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 4},
       [](int i) { return Bytes{static_cast<char>(i), 0, static_cast<char>(i + 1), 0}; },
       [](sqlite3_stmt* st, int c) {
         Bytes b = StoredBytes(st, c);
         return b + Bytes(4 - b.size(), '\0');
       }},
      {{"Vb", DRM_COLTYP(RM_TYPE_LVAR, DRM_TYPE_VARBINARY), 6},
       [](int i) { return Bytes(static_cast<size_t>(i % 5), static_cast<char>(0x41 + i % 7)); },
       [](sqlite3_stmt* st, int c) { return StoredBytes(st, c); }},
      {{"Dec", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 8, 0, nullptr, nullptr, 12, 2},
       [](int i) {
         DRM_Numeric n{};
         n.Words[DRM_NUMERIC_EXPONENT] = static_cast<uint16_t>(-2);
         n.Words[DRM_NUMERIC_USED] = 4;
         const int64_t v = (i - 25) * 100012345LL;
         std::memcpy(&n.Words[DRM_NUMERIC_INTEGER], &v, 8);
         return Form(n);
       },
       [](sqlite3_stmt* st, int c) {
         DRM_Numeric n{};
         n.Words[DRM_NUMERIC_EXPONENT] = static_cast<uint16_t>(-2);
         n.Words[DRM_NUMERIC_USED] = 4;
         const int64_t v = sqlite3_column_int64(st, c);
         std::memcpy(&n.Words[DRM_NUMERIC_INTEGER], &v, 8);
         return Form(n);
       }},
      {{"Lb", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY), 0},
       [](int i) { return Bytes(static_cast<size_t>(i * 13), static_cast<char>(i)); },
       [](sqlite3_stmt* st, int c) { return StoredBytes(st, c); }},
  };
  return cases;
}

class WalkReadsTest : public EngineTest {
 protected:
  std::vector<ColumnCase> cases = EveryType();
  std::vector<uint32_t> ids;
  uint32_t t = 0;
  static constexpr int kRows = 60;

  void Fill() {
    std::vector<Col> cols;
    for (auto& c : cases) cols.push_back(c.col);
    ids = CreateTable("Every", cols);
    ASSERT_EQ(ids.size(), cases.size());
    t = Open("Every");
    for (int i = 0; i < kRows; ++i) {
      ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
      for (size_t k = 0; k < cases.size(); ++k) {
        if ((i + static_cast<int>(k)) % 7 == 0) continue;  // NULL, in a different row for every column
        const Bytes v = cases[k].value(i);
        ASSERT_EQ(RareSetColumn(S, t, ids[k], v.data(), static_cast<uint32_t>(v.size()), 0, 0, 0), 0)
            << cases[k].col.name << " row " << i << ": " << ExtErr(-1);
      }
      ASSERT_EQ(RareUpdateRecord(S, t), 0) << ExtErr(-1);
    }
  }

  // What the storage holds, by bookmark: the engine form of every column,
  // nullopt for NULL.
  std::map<uint32_t, std::vector<std::optional<Bytes>>> Stored() {
    std::map<uint32_t, std::vector<std::optional<Bytes>>> rows;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2((dbDir + "/engine.rdb").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT id FROM drm_tables WHERE name = 'Every'", -1, &q, nullptr);
    EXPECT_EQ(sqlite3_step(q), SQLITE_ROW);
    const int64_t table = sqlite3_column_int64(q, 0);
    sqlite3_finalize(q);
    std::string sql = "SELECT bm";
    for (uint32_t id : ids) sql += ", c" + std::to_string(id);
    sql += " FROM t" + std::to_string(table);
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(q) == SQLITE_ROW) {
      auto& row = rows[static_cast<uint32_t>(sqlite3_column_int64(q, 0))];
      for (size_t k = 0; k < cases.size(); ++k) {
        const int c = static_cast<int>(k + 1);
        if (sqlite3_column_type(q, c) == SQLITE_NULL)
          row.emplace_back();
        else
          row.emplace_back(cases[k].expect(q, c));
      }
    }
    sqlite3_finalize(q);
    sqlite3_close(db);
    return rows;
  }

  // Reads the current record through the engine and compares it.
  void CompareCurrent(uint32_t h, const std::map<uint32_t, std::vector<std::optional<Bytes>>>& stored) {
    uint32_t bm = 0, len = 0;
    ASSERT_EQ(RareGetBookmark(S, h, &bm, 4, &len), 0);
    auto it = stored.find(bm);
    ASSERT_NE(it, stored.end()) << bm;
    for (size_t k = 0; k < cases.size(); ++k) {
      char buf[2048];
      len = 0;
      const int32_t st = RareRetrieveColumn(S, h, ids[k], buf, sizeof buf, &len, nullptr);
      const auto& want = it->second[k];
      if (!want) {
        EXPECT_EQ(st, DRM_WARN_NULL) << cases[k].col.name << " of record " << bm;
        continue;
      }
      ASSERT_EQ(st, 0) << cases[k].col.name << " of record " << bm;
      EXPECT_EQ(Bytes(buf, len), *want) << cases[k].col.name << " of record " << bm;
    }
  }
};

TEST_F(WalkReadsTest, EveryColumnTypeReadsAsTheStorageHoldsIt) {
  Fill();
  const auto stored = Stored();
  ASSERT_EQ(stored.size(), static_cast<size_t>(kRows));
  int n = 0;
  for (int32_t st = RareMove(S, t, DRM_MOVE_FIRST); st == 0; st = RareMove(S, t, DRM_MOVE_NEXT), ++n)
    CompareCurrent(t, stored);
  EXPECT_EQ(n, kRows);
  n = 0;
  for (int32_t st = RareMove(S, t, DRM_MOVE_LAST); st == 0; st = RareMove(S, t, DRM_MOVE_PREVIOUS), ++n)
    CompareCurrent(t, stored);
  EXPECT_EQ(n, kRows);
  // In the order of an index over a column with NULLs, with a write through
  // another handle before every move (so every move re-seeks), and the
  // reads answered from the row loaded by bookmark.
  ASSERT_EQ(CreateIndex(t, "ByI32", {"+I32"}), 0);
  ASSERT_EQ(RareSetTableIndex(S, t, "ByI32"), 0);
  uint32_t other = Open("Every");
  for (int dir : {1, -1}) {
    n = 0;
    for (int32_t st = RareMove(S, t, dir > 0 ? DRM_MOVE_FIRST : DRM_MOVE_LAST); st == 0;
         st = RareMove(S, t, dir > 0 ? DRM_MOVE_NEXT : DRM_MOVE_PREVIOUS), ++n) {
      ASSERT_EQ(RareInitUpdate(S, other, DRM_INITUPD_NEW), 0);
      ASSERT_EQ(RareUpdateRecord(S, other), 0);
      ASSERT_EQ(RareMove(S, other, DRM_MOVE_LAST), 0);
      ASSERT_EQ(RareDeleteRecord(S, other), 0);
      CompareCurrent(t, stored);
      ASSERT_LE(n, kRows);
    }
    EXPECT_EQ(n, kRows) << "direction " << dir;
  }
}

}  // namespace
