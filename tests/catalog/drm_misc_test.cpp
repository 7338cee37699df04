// Column value conversion against the real engine: rows are written in the
// engine's own forms through the C interface (or through DrmMiscPutRecord)
// and read back with DrmMiscGetRecord into a record buffer laid out from the
// column catalog.

#include "catalog/drm_misc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog/column_info_collection.h"
#include "errors/pv_errors.h"
#include "platform/engine/engine_fixture.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/component.h"
#include "platform/rtl/datetime.h"

namespace dac {
namespace {

using Bytes = std::vector<uint8_t>;

template <class T>
Bytes B(const T& v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

Bytes Words(std::initializer_list<uint16_t> w) {
  Bytes b;
  for (uint16_t x : w) {
    b.push_back(static_cast<uint8_t>(x & 0xFF));
    b.push_back(static_cast<uint8_t>(x >> 8));
  }
  return b;
}

Bytes TimeStampForm(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint32_t fraction) {
  Bytes b = Words({y, mo, d, h, mi, s});
  Bytes f = B(fraction);
  b.insert(b.end(), f.begin(), f.end());
  return b;
}

TDrmNumeric Numeric(int16_t e, uint16_t n, int64_t integer) {
  TDrmNumeric num;
  num.Words[1] = static_cast<uint16_t>(e);
  num.Words[2] = n;
  std::memcpy(&num.Words[3], &integer, 8);
  return num;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Z(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

// A row to write: column name to engine bytes; a column mapped to nullopt
// is set NULL, a column not named keeps the engine's initial value.
using Row = std::map<std::string, std::optional<Bytes>>;

constexpr int64_t kMsPerDay = 86400000;

class DrmMiscTest : public enginetest::EngineTest {
 protected:
  uint32_t T = 0;
  std::unique_ptr<TDRMColumnInfoCollection> cols;
  std::vector<uint8_t> buf;

  void SetUp() override {
    EngineTest::SetUp();
    using enginetest::Col;
    CreateTable("Vals", {
                            {"B", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                            {"I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1},
                            {"U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1},
                            {"I16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                            {"U16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2},
                            {"A16", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16), 4},
                            {"I32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                            {"CUR", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_CURRENCY), 8},
                            {"F4", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4},
                            {"F8", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
                            {"TS", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
                            {"BIN", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 4},
                            {"TXT", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 5},
                            {"LB", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY), 0},
                            {"LT", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT), 0},
                            {"DT", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4},
                            {"TM", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4},
                            {"DEC", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 10, 0, nullptr, nullptr, 10, 2},
                            {"BIG", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 18, 0, nullptr, nullptr, 18, 0},
                            {"ZS", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 10},
                            {"VB", DRM_COLTYP(RM_TYPE_LVAR, DRM_TYPE_VARBINARY), 6},
                            {"WIDE", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 20},
                        });
    T = Open("Vals");
    cols = std::make_unique<TDRMColumnInfoCollection>(nullptr);
    cols->SetColumnInfo(static_cast<int32_t>(S), T);
    buf.assign(cols->RecordSize(), 0xAA);
  }

  const TDRMColumnInfo* C(const std::string& name) {
    const TDRMColumnInfo* c = cols->FindItemName(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  uint32_t Id(const std::string& name) { return C(name)->ColumnId; }
  int32_t FieldNo(const std::string& name) { return C(name)->Index() + 1; }

  int32_t Insert(const Row& row) {
    int32_t s = RareInitUpdate(S, T, DRM_INITUPD_NEW);
    if (s != 0) return s;
    for (const auto& [name, value] : row) {
      s = value ? RareSetColumn(S, T, Id(name), value->data(), static_cast<uint32_t>(value->size()), 0, 0, 0)
                : RareSetColumn(S, T, Id(name), nullptr, 0, 0, 1, 0);
      if (s != 0) return s;
    }
    return RareUpdateRecord(S, T);
  }

  // Reads every row in bookmark order, each into a fresh copy of the buffer.
  std::vector<std::vector<uint8_t>> ReadAll() {
    std::vector<std::vector<uint8_t>> rows;
    int32_t s = RareMove(S, T, DRM_MOVE_FIRST);
    while (s == 0) {
      std::fill(buf.begin(), buf.end(), 0xAA);
      EXPECT_EQ(DrmMiscGetRecord(S, T, cols.get(), buf.data()), 0);
      rows.push_back(buf);
      s = RareMove(S, T, DRM_MOVE_NEXT);
    }
    return rows;
  }

  bool Present(const std::vector<uint8_t>& b, const std::string& name) {
    uint8_t ind = b[C(name)->Offset];
    EXPECT_TRUE(ind == 0 || ind == 1) << name << " indicator " << int(ind);
    return ind == 1;
  }
  template <class V>
  V Slot(const std::vector<uint8_t>& b, const std::string& name) {
    V v;
    std::memcpy(&v, b.data() + C(name)->Offset + 1, sizeof v);
    return v;
  }
  std::string SlotText(const std::vector<uint8_t>& b, const std::string& name) {
    return std::string(reinterpret_cast<const char*>(b.data() + C(name)->Offset + 1));
  }
  Bytes SlotBytes(const std::vector<uint8_t>& b, const std::string& name, size_t n) {
    const uint8_t* p = b.data() + C(name)->Offset + 1;
    return Bytes(p, p + n);
  }
  Bytes Raw(const std::string& name, uint32_t size, int32_t* status = nullptr) {
    Bytes b(size);
    uint32_t len = 0;
    int32_t s = RareRetrieveColumn(S, T, Id(name), b.data(), size, &len, nullptr);
    if (status) *status = s;
    b.resize(s == 0 ? len : 0);
    return b;
  }
};

TEST_F(DrmMiscTest, OneByteIntegersAreSignExtendedUnlessUnsigned) {
  const int8_t signedValues[] = {-128, -1, 0, 127};
  const uint8_t unsignedValues[] = {255, 128, 0, 1};
  for (int i = 0; i < 4; ++i)
    ASSERT_EQ(Insert({{"I8", B(signedValues[i])}, {"U8", B(unsignedValues[i])}, {"B", B(uint8_t(i == 0))}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(Present(rows[i], "I8"));
    EXPECT_EQ(Slot<int16_t>(rows[i], "I8"), signedValues[i]) << i;
    EXPECT_EQ(Slot<int16_t>(rows[i], "U8"), unsignedValues[i]) << i;
    // Boolean: the byte zero-extended to 16 bits.
    EXPECT_EQ(Slot<uint16_t>(rows[i], "B"), i == 0 ? 1 : 0) << i;
  }
}

TEST_F(DrmMiscTest, WiderIntegersFloatsAndCurrency) {
  ASSERT_EQ(Insert({{"I16", B(int16_t(-32768))}, {"U16", B(uint16_t(65535))}, {"I32", B(INT32_MIN)},
                    {"F4", B(0.1f)}, {"F8", B(-2.25)}, {"CUR", B(INT64_MIN)}}),
            0);
  ASSERT_EQ(Insert({{"I16", B(int16_t(32767))}, {"U16", B(uint16_t(0))}, {"I32", B(INT32_MAX)}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Slot<int16_t>(rows[0], "I16"), -32768);
  EXPECT_EQ(Slot<uint16_t>(rows[0], "U16"), 65535);
  EXPECT_EQ(Slot<int32_t>(rows[0], "I32"), INT32_MIN);
  EXPECT_EQ(Slot<int16_t>(rows[1], "I16"), 32767);
  EXPECT_EQ(Slot<int32_t>(rows[1], "I32"), INT32_MAX);
  // The auto-increment column (two-byte type, four bytes wide) got its
  // numbers; the slot holds the full four bytes.
  EXPECT_EQ(C("A16")->RealDataSize, 4u);
  EXPECT_EQ(Slot<int32_t>(rows[0], "A16"), 1);
  EXPECT_EQ(Slot<int32_t>(rows[1], "A16"), 2);
  // The float widened exactly to a double.
  EXPECT_EQ(Slot<double>(rows[0], "F4"), static_cast<double>(0.1f));
  EXPECT_EQ(Slot<double>(rows[0], "F8"), -2.25);
  EXPECT_EQ(Slot<int64_t>(rows[0], "CUR"), INT64_MIN);
}

TEST_F(DrmMiscTest, FixedTextLosesItsPaddingOtherTextAndBytesStay) {
  ASSERT_EQ(Insert({{"TXT", Z("ab")}, {"ZS", Z("hi  ")}, {"BIN", Bytes{1, 2, 0, 4}}, {"VB", Bytes{9, 8, 7}}}), 0);
  ASSERT_EQ(Insert({{"TXT", Text("abcde")}, {"ZS", Z("")}}), 0);
  ASSERT_EQ(Insert({{"TXT", Z("a b")}}), 0);
  ASSERT_EQ(Insert({{"TXT", Z("")}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(SlotBytes(rows[0], "TXT", 6), (Bytes{'a', 'b', 0, 0, 0, 0}));
  EXPECT_EQ(SlotText(rows[0], "ZS"), "hi  ");  // variable text keeps its blanks
  EXPECT_EQ(SlotBytes(rows[0], "BIN", 4), (Bytes{1, 2, 0, 4}));
  EXPECT_EQ(SlotBytes(rows[0], "VB", 3), (Bytes{9, 8, 7}));
  // A text filling the column gets its NUL after the last character.
  EXPECT_EQ(SlotBytes(rows[1], "TXT", 6), (Bytes{'a', 'b', 'c', 'd', 'e', 0}));
  EXPECT_TRUE(Present(rows[1], "ZS"));
  EXPECT_EQ(SlotText(rows[1], "ZS"), "");
  EXPECT_EQ(SlotText(rows[2], "TXT"), "a b");  // only trailing blanks go
  EXPECT_TRUE(Present(rows[3], "TXT"));
  EXPECT_EQ(SlotBytes(rows[3], "TXT", 6), Bytes(6, 0));
}

TEST_F(DrmMiscTest, WideFixedTextLosesExactlyItsTrailingBlanks) {
  // Blank runs shorter than, equal to and longer than a machine word, at
  // the end and inside.
  const std::vector<std::string> texts = {"a", "abcdefgh", "abcdefghijkl", "a        b", "a b      ",
                                          "", "abcdefghijklmnopqrst", " x"};
  for (const auto& t : texts) ASSERT_EQ(Insert({{"WIDE", Z(t)}}), 0) << t;
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string kept = texts[i];
    while (!kept.empty() && kept.back() == ' ') kept.pop_back();
    Bytes expected(kept.begin(), kept.end());
    expected.resize(21, 0);
    EXPECT_EQ(SlotBytes(rows[i], "WIDE", 21), expected) << "'" << texts[i] << "'";
  }
}

TEST_F(DrmMiscTest, DatesTimesAndTimestamps) {
  ASSERT_EQ(Insert({{"TS", TimeStampForm(2001, 1, 1, 12, 0, 0, 5000000)},
                    {"DT", Words({2024, 2, 29})},
                    {"TM", Words({0, 0, 0})}}),
            0);
  ASSERT_EQ(Insert({{"TS", TimeStampForm(1, 1, 1, 0, 0, 0, 0)},
                    {"DT", Words({9999, 12, 31})},
                    {"TM", Words({23, 59, 59})}}),
            0);
  ASSERT_EQ(Insert({{"TS", TimeStampForm(2001, 1, 1, 0, 0, 0, 9999999)}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 3u);
  // 2001-01-01 is day 730486.
  EXPECT_TRUE(Present(rows[0], "TS"));
  EXPECT_EQ(Slot<double>(rows[0], "TS"), 730486.0 * kMsPerDay + 12 * 3600000 + 500);
  EXPECT_EQ(Slot<int32_t>(rows[0], "DT"), 738945);
  // Midnight is a time, not a NULL.
  EXPECT_TRUE(Present(rows[0], "TM"));
  EXPECT_EQ(Slot<int32_t>(rows[0], "TM"), 0);
  EXPECT_EQ(Slot<double>(rows[1], "TS"), 1.0 * kMsPerDay);
  EXPECT_EQ(Slot<int32_t>(rows[1], "DT"), 3652059);
  EXPECT_EQ(Slot<int32_t>(rows[1], "TM"), (23 * 3600 + 59 * 60 + 59) * 1000);
  // The fraction is cut to whole milliseconds, not rounded.
  EXPECT_EQ(Slot<double>(rows[2], "TS"), 730486.0 * kMsPerDay + 999);
  EXPECT_FALSE(Present(rows[2], "DT"));
}

// Day numbers are counted in integers on the read path; they must be the
// framework's own count of the same date, across leap-year rules and
// month ends.
TEST_F(DrmMiscTest, DateDayNumbersMatchTheFrameworkCount) {
  const std::vector<std::array<uint16_t, 3>> dates = {
      {1, 1, 1},     {4, 2, 29},     {99, 12, 31},  {100, 3, 1},   {1600, 2, 29}, {1700, 2, 28},
      {1700, 3, 1},  {1899, 12, 30}, {1900, 2, 28}, {1900, 3, 1},  {1970, 1, 1},  {2000, 2, 29},
      {2000, 3, 1},  {2023, 1, 31},  {2023, 4, 30}, {2023, 6, 30}, {2023, 9, 30}, {2023, 11, 30},
      {2023, 12, 1}, {2100, 2, 28},  {2100, 3, 1},  {9999, 12, 31}};
  for (const auto& d : dates) ASSERT_EQ(Insert({{"DT", Words({d[0], d[1], d[2]})}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), dates.size());
  for (size_t i = 0; i < dates.size(); ++i) {
    SCOPED_TRACE(std::to_string(dates[i][0]) + "-" + std::to_string(dates[i][1]) + "-" + std::to_string(dates[i][2]));
    ASSERT_TRUE(Present(rows[i], "DT"));
    EXPECT_EQ(Slot<int32_t>(rows[i], "DT"),
              static_cast<int32_t>(EncodeDate(dates[i][0], dates[i][1], dates[i][2])) + DateDelta);
  }
}

TEST_F(DrmMiscTest, ZeroDatesAndTimestampsReadAsNull) {
  ASSERT_EQ(Insert({{"TS", TimeStampForm(0, 0, 0, 0, 0, 0, 0)}, {"DT", Words({0, 0, 0})}, {"I32", B(7)}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(Present(rows[0], "TS"));
  EXPECT_FALSE(Present(rows[0], "DT"));
  EXPECT_EQ(Slot<int32_t>(rows[0], "I32"), 7);
}

TEST_F(DrmMiscTest, DecimalsReadAsBcdOrTheNotConvertedMarker) {
  // 12.5 sent with one decimal, stored at the column's scale of 2.
  ASSERT_EQ(Insert({{"DEC", B(Numeric(-1, 1, 125))}, {"BIG", B(Numeric(0, 4, 999999999999999999LL))}}), 0);
  ASSERT_EQ(Insert({{"DEC", B(Numeric(-2, 4, -5))}, {"BIG", B(Numeric(0, 4, 922337203685477LL))}}), 0);
  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(Present(rows[0], "DEC"));
  EXPECT_EQ(BCDToStr(Slot<TBcd>(rows[0], "DEC")), "12.5");
  EXPECT_EQ(BCDToStr(Slot<TBcd>(rows[1], "DEC")), "-0.05");
  // Eighteen nines do not fit a currency value.
  EXPECT_TRUE(Present(rows[0], "BIG"));
  EXPECT_TRUE(IsBcdNotConvertible(Slot<TBcd>(rows[0], "BIG")));
  // The largest whole currency value still converts.
  EXPECT_EQ(BCDToStr(Slot<TBcd>(rows[1], "BIG")), "922337203685477");
}

TEST_F(DrmMiscTest, NullsBlobsAndFailedReads) {
  Row allNull;
  for (int32_t i = 0; i < cols->Count(); ++i)
    if (cols->Items(i)->ColumnName != "A16") {
      allNull[cols->Items(i)->ColumnName] = std::nullopt;
    }
  ASSERT_EQ(Insert(allNull), 0);
  ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(RareSetColumn(S, T, Id("LB"), "\x01\x02", 2, 0, 0, 0), 0);
  ASSERT_EQ(RareSetColumn(S, T, Id("LT"), "", 1, 0, 0, 0), 0);  // empty long text
  ASSERT_EQ(RareUpdateRecord(S, T), 0);

  auto rows = ReadAll();
  ASSERT_EQ(rows.size(), 2u);
  for (int32_t i = 0; i < cols->Count(); ++i) {
    const std::string name = cols->Items(i)->ColumnName;
    if (name != "A16") {
      EXPECT_FALSE(Present(rows[0], name)) << name;
    }
  }
  EXPECT_TRUE(Present(rows[1], "LB"));
  EXPECT_FALSE(Present(rows[1], "LT"));
  // Blobs keep no value in the record: their slot is the indicator and one
  // untouched byte.
  EXPECT_EQ(C("LB")->BufferMax, 2u);
  EXPECT_EQ(rows[1][C("LB")->Offset + 1], 0xAA);

  // Without a current record the engine's status comes back and the buffer
  // stays as it was.
  ASSERT_EQ(RareMove(S, T, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareDeleteRecord(S, T), 0);
  std::fill(buf.begin(), buf.end(), 0x55);
  EXPECT_EQ(DrmMiscGetRecord(S, T, cols.get(), buf.data()), DRM_ERR_NO_CURRENT_RECORD);
  EXPECT_EQ(buf, std::vector<uint8_t>(buf.size(), 0x55));
}

TEST_F(DrmMiscTest, PutRecordWritesTheEngineForms) {
  std::fill(buf.begin(), buf.end(), 0);
  // Sources are as long as the framework's field scratch (data size + 8):
  // a date or time slot value is 4 bytes but RealDataSize is 8.
  auto put = [&](const std::string& name, const auto& v) {
    uint8_t source[64] = {};
    std::memcpy(source, &v, sizeof v);
    PutColumnValue(nullptr, cols.get(), FieldNo(name), source, buf.data());
  };
  auto putNull = [&](const std::string& name) {
    PutColumnValue(nullptr, cols.get(), FieldNo(name), nullptr, buf.data());
  };
  put("B", uint16_t{1});
  put("I8", int16_t{-2});
  put("U8", int16_t{200});
  put("I16", int16_t{-300});
  putNull("U16");
  put("A16", int32_t{0});
  put("I32", int32_t{123456});
  put("CUR", int64_t{-5000});
  put("F4", 2.5);
  put("F8", 3.75);
  // 2001-01-01 12:00:00.500; a half millisecond rounds to even (500).
  put("TS", 730486.0 * kMsPerDay + 12 * 3600000 + 500.5);
  char bin[4] = {5, 6, 7, 8};
  put("BIN", bin);
  char txt[6] = "xy";
  put("TXT", txt);
  put("DT", int32_t{738945});
  put("TM", int32_t{(13 * 3600 + 14 * 60 + 15) * 1000 + 999});  // the 999 ms are dropped
  put("DEC", StrToBCD("-12.5"));
  put("BIG", StrToBCD("0.0001"));
  char zs[12] = "hello";
  put("ZS", zs);
  putNull("VB");

  ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(DrmMiscPutRecord(S, T, cols.get(), buf.data()), 0);
  ASSERT_EQ(RareUpdateRecord(S, T), 0);

  // The engine's forms, read directly.
  ASSERT_EQ(RareMove(S, T, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(Raw("B", 2), Bytes{1});
  EXPECT_EQ(Raw("I8", 2), B(int8_t(-2)));
  EXPECT_EQ(Raw("U8", 2), B(uint8_t(200)));
  EXPECT_EQ(Raw("F4", 8), B(2.5f));
  EXPECT_EQ(Raw("TS", 16), TimeStampForm(2001, 1, 1, 12, 0, 0, 5000000));
  EXPECT_EQ(Raw("TXT", 6), Text("xy   "));
  EXPECT_EQ(Raw("DT", 8), Words({2024, 2, 29}));
  EXPECT_EQ(Raw("TM", 8), Words({13, 14, 15}));
  EXPECT_EQ(Raw("BIN", 4), (Bytes{5, 6, 7, 8}));
  int32_t st = 0;
  Raw("U16", 2, &st);
  EXPECT_EQ(st, DRM_WARN_NULL);
  Raw("VB", 6, &st);
  EXPECT_EQ(st, DRM_WARN_NULL);

  // And back into slots, where the write rounded or dropped something.
  ASSERT_EQ(DrmMiscGetRecord(S, T, cols.get(), buf.data()), 0);
  EXPECT_EQ(Slot<int16_t>(buf, "U8"), 200);
  EXPECT_EQ(Slot<double>(buf, "TS"), 730486.0 * kMsPerDay + 12 * 3600000 + 500);
  EXPECT_EQ(Slot<int32_t>(buf, "TM"), (13 * 3600 + 14 * 60 + 15) * 1000);
  EXPECT_EQ(BCDToStr(Slot<TBcd>(buf, "DEC")), "-12.5");
  EXPECT_EQ(BCDToStr(Slot<TBcd>(buf, "BIG")), "0");  // scale 0 rounds a ten-thousandth away
  EXPECT_EQ(SlotText(buf, "ZS"), "hello");
  EXPECT_FALSE(Present(buf, "VB"));
}

TEST_F(DrmMiscTest, PutRecordWritesVarBytesAtTheirOwnLength) {
  std::fill(buf.begin(), buf.end(), 0);
  auto putBytes = [&](const Bytes& v) {
    uint8_t source[64] = {};
    if (!v.empty()) std::memcpy(source, v.data(), v.size());
    PutColumnValue(nullptr, cols.get(), FieldNo("VB"), source, buf.data());
    ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_NEW), 0);
    ASSERT_EQ(DrmMiscPutRecord(S, T, cols.get(), buf.data()), 0);
    ASSERT_EQ(RareUpdateRecord(S, T), 0);
  };
  putBytes(Bytes{9, 0, 7});
  putBytes(Bytes{});
  ASSERT_EQ(RareMove(S, T, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(Raw("VB", 6), (Bytes{9, 0, 7})) << "not the column's 6 bytes";
  ASSERT_EQ(RareMove(S, T, DRM_MOVE_NEXT), 0);
  int32_t st = -1;
  EXPECT_EQ(Raw("VB", 6, &st), Bytes{});
  EXPECT_EQ(st, 0) << "an empty value, not NULL";
}

TEST_F(DrmMiscTest, PutRecordFailures) {
  ASSERT_EQ(Insert({{"I32", B(1)}, {"BIG", B(Numeric(0, 4, 999999999999999999LL))}, {"DEC", B(Numeric(0, 1, 3))}}),
            0);
  ASSERT_EQ(RareMove(S, T, DRM_MOVE_FIRST), 0);
  std::fill(buf.begin(), buf.end(), 0xAA);
  ASSERT_EQ(DrmMiscGetRecord(S, T, cols.get(), buf.data()), 0);
  ASSERT_TRUE(IsBcdNotConvertible(Slot<TBcd>(buf, "BIG")));

  // Editing another column writes the record back without the unreadable
  // decimal, which keeps its stored value.
  const int32_t i32 = 2;
  PutColumnValue(nullptr, cols.get(), FieldNo("I32"), &i32, buf.data());
  ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(DrmMiscPutRecord(S, T, cols.get(), buf.data()), 0);
  ASSERT_EQ(RareUpdateRecord(S, T), 0);
  EXPECT_EQ(ReadInt(T, Id("I32")), 2);
  TDrmNumeric stored;
  std::memcpy(&stored, Raw("BIG", 38).data(), 38);
  EXPECT_EQ(stored.Words[3] | uint64_t(stored.Words[4]) << 16 | uint64_t(stored.Words[5]) << 32 |
                uint64_t(stored.Words[6]) << 48,
            999999999999999999ULL);

  // Decimals that cannot travel through a currency value.
  const int32_t decNo = FieldNo("DEC");
  for (const char* text : {"1234567890.123456", "999999999999999", "-999999999999999"}) {
    const TBcd big = StrToBCD(text);
    PutColumnValue(nullptr, cols.get(), decNo, &big, buf.data());
    ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_CURRENT), 0);
    try {
      DrmMiscPutRecord(S, T, cols.get(), buf.data());
      ADD_FAILURE() << text << " was written";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "BCD overflow") << text;
    }
    RareCancelUpdate(S, T);
  }
  // Fifteen digits with decimals fit.
  const TBcd fits = StrToBCD("1234567890.12345");
  PutColumnValue(nullptr, cols.get(), decNo, &fits, buf.data());
  ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_CURRENT), 0);
  EXPECT_NE(DrmMiscPutRecord(S, T, cols.get(), buf.data()), 0);  // beyond the column's precision 10
  RareCancelUpdate(S, T);

  // A value the engine refuses stops the write with its status.
  const TBcd small = StrToBCD("1");
  PutColumnValue(nullptr, cols.get(), decNo, &small, buf.data());
  const int64_t badTime = 25 * 3600000;
  PutColumnValue(nullptr, cols.get(), FieldNo("TM"), &badTime, buf.data());
  ASSERT_EQ(RareInitUpdate(S, T, DRM_INITUPD_CURRENT), 0);
  EXPECT_EQ(DrmMiscPutRecord(S, T, cols.get(), buf.data()), DRM_ERR_INVALID_DATE);
  RareCancelUpdate(S, T);
}

// The engine's decimal form and currency values, both ways.
TEST(DrmNumeric, CurrencyToNumericUsesTheFewestDecimals) {
  struct Case {
    int64_t raw;
    int16_t e;
    int64_t integer;
  } cases[] = {{125000, -1, 125}, {120000, 0, 12}, {1, -4, 1}, {-125000, -1, -125}, {0, 0, 0},
               {INT64_MAX, -4, INT64_MAX}, {10, -3, 1}};
  for (const auto& c : cases) {
    TDrmNumeric n;
    n.Words[7] = 0xFFFF;  // must be cleared
    ASSERT_TRUE(CurrencyToNumeric(n, Currency::FromRaw(c.raw))) << c.raw;
    EXPECT_EQ(n.Words[0], 0);
    EXPECT_EQ(static_cast<int16_t>(n.Words[1]), c.e) << c.raw;
    EXPECT_EQ(n.Words[2], 4);
    int64_t integer = 0;
    std::memcpy(&integer, &n.Words[3], 8);
    EXPECT_EQ(integer, c.integer) << c.raw;
    for (int i = 7; i < 19; ++i) EXPECT_EQ(n.Words[i], 0);
    Currency back;
    ASSERT_TRUE(NumericToCurrency(n, back));
    EXPECT_EQ(back.Raw(), c.raw);
  }
}

TEST(DrmNumeric, NumericToCurrencyReadsShortIntegersAndRejectsMalformedOnes) {
  Currency c = Currency::FromRaw(77);
  TDrmNumeric zero;  // n = 0
  EXPECT_TRUE(NumericToCurrency(zero, c));
  EXPECT_EQ(c.Raw(), 0);

  // One word 0xFFFE is -2; two words 0x8000 0x0000 is +32768.
  TDrmNumeric one = Numeric(-1, 1, 0xFFFE);
  EXPECT_TRUE(NumericToCurrency(one, c));
  EXPECT_EQ(c.Raw(), -2000);
  TDrmNumeric two = Numeric(0, 2, 0x8000);
  EXPECT_TRUE(NumericToCurrency(two, c));
  EXPECT_EQ(c.Raw(), 32768LL * 10000);
  TDrmNumeric three = Numeric(2, 3, 0xFFFFFFFFFFFFLL);  // -1 in three words, times 100
  EXPECT_TRUE(NumericToCurrency(three, c));
  EXPECT_EQ(c.Raw(), -1000000);
  // More decimals than a currency keeps are rounded by the engine.
  TDrmNumeric fine = Numeric(-6, 4, 123456);
  EXPECT_TRUE(NumericToCurrency(fine, c));
  EXPECT_EQ(c.Raw(), 1235);

  c = Currency::FromRaw(77);
  TDrmNumeric fiveWords = Numeric(0, 5, 1);
  EXPECT_FALSE(NumericToCurrency(fiveWords, c));
  TDrmNumeric w0 = Numeric(0, 1, 1);
  w0.Words[0] = 1;
  EXPECT_FALSE(NumericToCurrency(w0, c));
  TDrmNumeric tail = Numeric(0, 1, 1);
  tail.Words[18] = 1;
  EXPECT_FALSE(NumericToCurrency(tail, c));
  TDrmNumeric huge = Numeric(15, 1, 1);  // 10^15 is beyond a currency
  EXPECT_FALSE(NumericToCurrency(huge, c));
  EXPECT_EQ(c.Raw(), 77);  // untouched on failure
}

// Slot reads and writes for fields, on a hand-made catalog.
TEST(DrmMiscSlots, FieldReadsAndWrites) {
  TDRMColumnInfoCollection cols(nullptr);
  uint32_t offset = 0;
  for (uint32_t typ : {DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT),
                       DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT)}) {
    TDRMColumnInfo* c = cols.Add();
    c->ColTyp = typ;
    c->cbMax = 4;
    c->ComputeSizes();
    c->Offset = offset;
    offset += c->BufferMax;
  }
  std::vector<uint8_t> buf(offset, 0);
  auto owner = CreateUnowned<TComponent>();
  owner->SetName("Table1");

  const int32_t v = 0x01020304;
  PutColumnValue(owner.get(), &cols, 1, &v, buf.data());
  char text[5] = "abcd";
  PutColumnValue(owner.get(), &cols, 3, text, buf.data());
  EXPECT_FALSE(IsColumnNull(&cols, buf.data(), 0));
  EXPECT_TRUE(IsColumnNull(&cols, buf.data(), 1));
  EXPECT_TRUE(IsColumnNull(&cols, nullptr, 0));
  EXPECT_TRUE(IsBlobColumn(cols.Items(1)));
  EXPECT_FALSE(IsBlobColumn(cols.Items(2)));

  bool isNull = true;
  int32_t out = 0;
  GetColumnValue(owner.get(), &cols, 1, false, isNull, &out, buf.data());
  EXPECT_FALSE(isNull);
  EXPECT_EQ(out, v);
  char outText[5] = {};
  GetColumnValue(owner.get(), &cols, 3, false, isNull, outText, buf.data());
  EXPECT_STREQ(outText, "abcd");

  // NULL: the indicator goes, the bytes stay.
  PutColumnValue(owner.get(), &cols, 1, nullptr, buf.data());
  EXPECT_TRUE(IsColumnNull(&cols, buf.data(), 0));
  GetColumnValue(owner.get(), &cols, 1, false, isNull, nullptr, buf.data());
  EXPECT_TRUE(isNull);

  // While verifying, the buffer is the bare value.
  const int32_t bare = -9;
  GetColumnValue(owner.get(), &cols, 1, true, isNull, &out, reinterpret_cast<const uint8_t*>(&bare));
  EXPECT_FALSE(isNull);
  EXPECT_EQ(out, -9);

  for (int32_t bad : {0, 4, -1}) {
    try {
      GetColumnValue(owner.get(), &cols, bad, false, isNull, &out, buf.data());
      ADD_FAILURE() << bad;
    } catch (const EPvDatabaseError& e) {
      EXPECT_THAT(e.Message(), ::testing::StartsWith("Field index out of range"));
      EXPECT_THAT(e.Message(), ::testing::HasSubstr("Table1"));
      EXPECT_EQ(e.Owner(), owner.get());
    }
    EXPECT_THROW(PutColumnValue(owner.get(), &cols, bad, &v, buf.data()), EPvDatabaseError) << bad;
  }
}

// The decimal read packs the currency straight into a TBcd; it must be the
// very TBcd the currency's text reads as, byte for byte.
TEST(DrmNumeric, CurrencyToBcdMatchesTheTextForm) {
  std::vector<int64_t> raws = {0, 1, -1, 5, -5, 10, 9999, 10000, -10000, 125000, -5000, 123456789, 1000000000000,
                               INT64_MAX, INT64_MIN, INT64_MIN + 1, INT64_MAX - 9999};
  for (int64_t p = 1, i = 0; i < 18; ++i, p *= 10)
    for (int64_t k : {1LL, 7LL, 9LL, 12LL, 3050LL}) {
      if (p > INT64_MAX / 3050) break;
      raws.push_back(p * k);
      raws.push_back(-p * k);
      raws.push_back(p * k + 3);
    }
  for (int64_t raw : raws) {
    const Currency c = Currency::FromRaw(raw);
    const TBcd direct = CurrencyToBcd(c);
    const TBcd viaText = StrToBCD(CurrToStr(c));
    EXPECT_EQ(0, std::memcmp(&direct, &viaText, sizeof(TBcd))) << raw << " " << CurrToStr(c);
  }
}

}  // namespace
}  // namespace dac
