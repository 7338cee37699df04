// Shared set-up of the key, range and master-detail tests: an Orders table
// (Cust, Item, Qty) of 60 records with a two-segment case-sensitive index,
// a descending case-insensitive one and a unique one, and the same
// selections done by plain SQLite on the engine's storage file.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/db/field.h"
#include "support/table_fixture.h"

namespace tabletest {

inline const char* const kItems[] = {"apple", "Banana", "cherry", "DATE", "elder", "Fig", "grape", "Honey", "iris", "Apple"};

class OrdersTest : public TableTest {
 protected:
  // Orders: Cust, Item, Qty (unique). Indexes ByCustItem (+Cust +Item,
  // case-sensitive), ByItemDesc (-Item, case-insensitive), ByQty (unique).
  void SetUp() override {
    TableTest::SetUp();
    ids = Create("Orders", {{"Cust", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                            {"Item", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                            {"Qty", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    std::vector<Row> rows;
    for (int32_t c = 6; c >= 1; --c)
      for (int32_t i = 0; i < 10; ++i)
        rows.push_back(Row{B(c), Z(kItems[(c * 3 + i) % 10]), B(int32_t{c * 100 + i})});
    Insert("Orders", ids, rows);
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, "Orders", 0, 0, &t), 0);
    const char byCustItem[] = "+Cust\0+Item\0";
    const char byItemDesc[] = "-Item\0";
    const char byQty[] = "+Qty\0";
    ASSERT_EQ(RareCreateIndex(RS, t, "ByCustItem", DRM_IDXFLAG_CASE_SENSITIVE, byCustItem, sizeof byCustItem, 0), 0);
    ASSERT_EQ(RareCreateIndex(RS, t, "ByItemDesc", 0, byItemDesc, sizeof byItemDesc, 0), 0);
    ASSERT_EQ(RareCreateIndex(RS, t, "ByQty", DRM_IDXFLAG_UNIQUE | DRM_IDXFLAG_CASE_SENSITIVE, byQty, sizeof byQty,
                              0),
              0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
  }

  // Qty of every row SQLite selects from the Orders table ("{Cust}",
  // "{Item}" and "{Qty}" name the columns; "{T}" the table).
  std::vector<int32_t> Sql(std::string query) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2((dir + "/engine.rdb").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::vector<int32_t> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT id FROM drm_tables WHERE name = 'Orders'", -1, &st, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
    const std::string table = "t" + std::to_string(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    auto replace = [&](const std::string& from, const std::string& to) {
      for (size_t p = query.find(from); p != std::string::npos; p = query.find(from)) query.replace(p, from.size(), to);
    };
    replace("{T}", table);
    replace("{Cust}", "c" + std::to_string(ids[0]));
    replace("{Item}", "c" + std::to_string(ids[1]));
    replace("{Qty}", "c" + std::to_string(ids[2]));
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(st) == SQLITE_ROW) out.push_back(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }

  dac::TFreePtr<dac::TPvTable> Orders(const std::string& index) {
    auto t = Table("Orders");
    t->SetIndexName(index);
    t->Open();
    return t;
  }

  static int32_t Qty(dac::TPvTable* t) { return t->FieldByName("Qty")->AsInteger(); }
  static int32_t Qty(const dac::TFreePtr<dac::TPvTable>& t) { return Qty(t.get()); }

  static std::vector<int32_t> Forward(dac::TPvTable* t) {
    std::vector<int32_t> seen;
    for (t->First(); !t->Eof(); t->Next()) seen.push_back(Qty(t));
    return seen;
  }

  static std::vector<int32_t> Backward(dac::TPvTable* t) {
    std::vector<int32_t> seen;
    for (t->Last(); !t->Bof(); t->Prior()) seen.insert(seen.begin(), Qty(t));
    return seen;
  }

  // Forward and backward walks, RecordCount, RecNo and bookmarks all agree
  // with Expected.
  static void ExpectNavigation(dac::TPvTable* t, const std::vector<int32_t>& Expected) {
    EXPECT_EQ(Forward(t), Expected);
    EXPECT_EQ(Backward(t), Expected);
    EXPECT_EQ(t->RecordCount(), static_cast<int32_t>(Expected.size()));
    int32_t n = 0;
    for (t->First(); !t->Eof(); t->Next()) EXPECT_EQ(t->RecNo(), ++n);
    if (Expected.size() < 3) return;
    t->First();
    t->Next();
    t->Next();
    const dac::TBookmark third = t->GetBookmark();
    t->Last();
    t->GotoBookmark(third);
    EXPECT_EQ(Qty(t), Expected[2]);
    t->Next();
    EXPECT_EQ(Qty(t), Expected[3 % Expected.size()]);
  }

  std::vector<uint32_t> ids;
};

}  // namespace tabletest
