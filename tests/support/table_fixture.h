// Shared set-up of the table tests: the session fixture (private engine
// directories, fresh session layer) plus a raw engine session that creates
// tables and writes rows through the engine's C interface only, so that
// what the table component reads is checked against what the engine holds.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalog/drm_misc.h"
#include "support/session_fixture.h"
#include "tables/pv_table.h"

namespace tabletest {

using Bytes = std::vector<uint8_t>;

template <class T>
Bytes B(const T& v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

inline Bytes Words(std::initializer_list<uint16_t> w) {
  Bytes b;
  for (uint16_t x : w) {
    b.push_back(static_cast<uint8_t>(x & 0xFF));
    b.push_back(static_cast<uint8_t>(x >> 8));
  }
  return b;
}

inline Bytes TimeStampForm(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  Bytes b = Words({y, mo, d, h, mi, s});
  Bytes f = B(uint32_t{0});
  b.insert(b.end(), f.begin(), f.end());
  return b;
}

inline Bytes Decimal(int16_t e, int64_t integer) {
  dac::TDrmNumeric num;
  num.Words[1] = static_cast<uint16_t>(e);
  num.Words[2] = 4;
  std::memcpy(&num.Words[3], &integer, 8);
  return B(num);
}

inline Bytes Z(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

struct ColDef {
  std::string name;
  uint32_t colTyp;
  uint32_t cbMax = 0;
  uint16_t precision = 0, scale = 0;
};

// A column of every type the layer reads and writes: Boolean, signed and
// unsigned integers of 1, 2 and 4 bytes, currency, 4- and 8-byte floats, a
// timestamp, fixed text of 10, date, time, a decimal (10, 2), a
// NUL-terminated text of 12 and 4 binary bytes.
inline std::vector<ColDef> AllTypeColumns() {
  return {
    {"B", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
    {"I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1},
    {"U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1},
    {"I16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
    {"U16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2},
    {"I32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
    {"U32", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT32), 4},
    {"CUR", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_CURRENCY), 8},
    {"F4", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4},
    {"F8", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
    {"TS", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
    {"TXT", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
    {"DT", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4},
    {"TM", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4},
    {"DEC", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 10, 10, 2},
    {"ZS", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12},
    {"BIN", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 4},
  };
}

// A row: per column (by position) the engine bytes, nullopt for NULL; a
// shorter row leaves the remaining columns untouched.
using Row = std::vector<std::optional<Bytes>>;

class TableTest : public sessiontest::SessionTest {
 protected:
  uint32_t RS = 0, RD = 0;  // the raw engine session and database
  std::string dir;

  void SetUp() override {
    SessionTest::SetUp();
    dir = DbDir("db");
    ASSERT_EQ(RareBeginSession(&RS, "", "", ""), 0);
    ASSERT_EQ(RareOpenDatabase(RS, ("\t" + dir).c_str(), &RD, 0, "", ""), 0);
  }
  void TearDown() override {
    if (RS != 0) RareEndSession(RS);
    SessionTest::TearDown();
  }

  std::vector<uint32_t> Create(const std::string& table, const std::vector<ColDef>& cols) {
    uint32_t t = 0;
    std::vector<uint32_t> ids;
    EXPECT_EQ(RareCreateTable(RS, RD, table.c_str(), &t), 0);
    for (const ColDef& c : cols) {
      DRM_ColumnStruct cs{};
      cs.StructSize = sizeof cs;
      cs.ColTyp = c.colTyp;
      cs.cbMax = c.cbMax;
      cs.Precision = c.precision;
      cs.Scale = c.scale;
      uint32_t id = 0;
      EXPECT_EQ(RareCreateColumn(RS, t, c.name.c_str(), &cs, &id), 0) << c.name;
      ids.push_back(id);
    }
    EXPECT_EQ(RareCloseTable(RS, t), 0);
    return ids;
  }

  void Insert(const std::string& table, const std::vector<uint32_t>& ids, const std::vector<Row>& rows) {
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, table.c_str(), 0, 0, &t), 0);
    for (const Row& row : rows) {
      ASSERT_EQ(RareInitUpdate(RS, t, DRM_INITUPD_NEW), 0);
      for (size_t i = 0; i < row.size(); ++i) {
        if (row[i])
          ASSERT_EQ(RareSetColumn(RS, t, ids[i], row[i]->data(), static_cast<uint32_t>(row[i]->size()), 0, 0, 0), 0)
              << i;
        else
          ASSERT_EQ(RareSetColumn(RS, t, ids[i], nullptr, 0, 0, 1, 0), 0) << i;
      }
      ASSERT_EQ(RareUpdateRecord(RS, t), 0);
    }
    ASSERT_EQ(RareCloseTable(RS, t), 0);
  }

  // A table of one int32 column "N" holding the values, in that order.
  void NumberTable(const std::string& table, const std::vector<int32_t>& values) {
    auto ids = Create(table, {{"N", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4}});
    std::vector<Row> rows;
    for (int32_t v : values) rows.push_back({B(v)});
    Insert(table, ids, rows);
  }

  dac::TFreePtr<dac::TPvTable> Table(const std::string& name) {
    auto t = dac::CreateUnowned<dac::TPvTable>();
    t->SetName("T1");
    t->SetDatabaseName(dir);
    t->SetTableName(name);
    return t;
  }

  // The values of field N from the current record to the end.
  static std::vector<int32_t> Walk(dac::TPvTable* t, bool Forward = true) {
    std::vector<int32_t> seen;
    if (Forward) {
      for (t->First(); !t->Eof(); t->Next()) seen.push_back(t->FieldByName("N")->AsInteger());
    } else {
      for (t->Last(); !t->Bof(); t->Prior()) seen.push_back(t->FieldByName("N")->AsInteger());
    }
    return seen;
  }
};

}  // namespace tabletest
