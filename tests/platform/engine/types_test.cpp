#include <cmath>
#include <limits>

#include "engine/drm_values.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

// Writes `bytes` to the column of a new row, reads them back.
struct RoundTrip {
  int32_t writeStatus = 0, readStatus = 0;
  std::string back;
};

}  // namespace

class TypesTest : public EngineTest {
 protected:
  uint32_t t = 0;
  std::vector<uint32_t> ids;

  RoundTrip Put(size_t col, const std::string& bytes, uint32_t readSize) {
    RoundTrip r;
    EXPECT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
    r.writeStatus = RareSetColumn(S, t, ids[col], bytes.data(), static_cast<uint32_t>(bytes.size()), 0, 0, 0);
    if (r.writeStatus < 0) {
      RareCancelUpdate(S, t);
      return r;
    }
    EXPECT_EQ(RareUpdateRecord(S, t), 0) << ExtErr(-1);
    std::string buf(readSize, '\x7f');
    uint32_t len = 0;
    r.readStatus = RareRetrieveColumn(S, t, ids[col], buf.data(), readSize, &len, nullptr);
    r.back = buf.substr(0, len);
    return r;
  }
  template <typename T>
  static std::string Bytes(T v) {
    return std::string(reinterpret_cast<const char*>(&v), sizeof v);
  }
};

TEST_F(TypesTest, FixedFormatsRoundTripTheirBoundaries) {
  ids = CreateTable("T", {{"B", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN)},
                          {"I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8)},
                          {"U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8)},
                          {"I16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16)},
                          {"U16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16)},
                          {"I32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                          {"Cur", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_CURRENCY)},
                          {"F", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT)},
                          {"D", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE)}});
  t = Open("T");
  EXPECT_EQ(Put(0, "\x01", 2).back, "\x01");
  EXPECT_EQ(Put(1, "\x80", 2).back, "\x80");
  EXPECT_EQ(Put(2, "\xff", 2).back, "\xff");
  for (int16_t v : {std::numeric_limits<int16_t>::min(), int16_t{-1}, std::numeric_limits<int16_t>::max()})
    EXPECT_EQ(Put(3, Bytes(v), 2).back, Bytes(v));
  EXPECT_EQ(Put(4, Bytes(uint16_t{65535}), 2).back, Bytes(uint16_t{65535}));
  for (int32_t v : {std::numeric_limits<int32_t>::min(), 0, std::numeric_limits<int32_t>::max()})
    EXPECT_EQ(Put(5, Bytes(v), 4).back, Bytes(v));
  for (int64_t v : {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()})
    EXPECT_EQ(Put(6, Bytes(v), 8).back, Bytes(v));
  for (float v : {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::denorm_min(), 1.5f})
    EXPECT_EQ(Put(7, Bytes(v), 8).back, Bytes(v));
  for (double v : {std::numeric_limits<double>::max(), -0.0, 1e-300})
    EXPECT_EQ(Put(8, Bytes(v), 8).back, Bytes(v));
  EXPECT_EQ(Put(5, "\x01\x02", 4).writeStatus, DRM_ERR_DATA_LENGTH);  // short fixed value
}

TEST_F(TypesTest, DatesTimesTimestampsAndDecimals) {
  ids = CreateTable("T", {{"Dt", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4},
                          {"Tm", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4},
                          {"Ts", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
                          {"Dec", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 8, 0, nullptr, nullptr, 10, 2},
                          {"Money", DRM_COLTYP(RM_TYPE_CURRENCY, DRM_TYPE_DECIMAL), 8, 0, nullptr, nullptr, 19, 4}});
  t = Open("T");
  auto date = [](uint16_t y, uint16_t m, uint16_t d) {
    uint16_t w[3] = {y, m, d};
    return std::string(reinterpret_cast<char*>(w), 6);
  };
  for (auto d : {date(1, 1, 1), date(2000, 2, 29), date(9999, 12, 31)}) EXPECT_EQ(Put(0, d, 8).back, d);
  EXPECT_EQ(Put(0, date(2001, 2, 29), 8).writeStatus, DRM_ERR_INVALID_DATE);
  EXPECT_EQ(Put(0, date(0, 0, 0), 8).readStatus, DRM_WARN_NULL);
  for (auto tm : {date(0, 0, 0), date(23, 59, 59)}) EXPECT_EQ(Put(1, tm, 8).back, tm);
  EXPECT_EQ(Put(1, date(24, 0, 0), 8).writeStatus, DRM_ERR_INVALID_DATE);
  auto stamp = [](std::vector<uint16_t> w, uint32_t frac) {
    std::string s(reinterpret_cast<char*>(w.data()), 12);
    return s + std::string(reinterpret_cast<char*>(&frac), 4);
  };
  for (auto ts : {stamp({1, 1, 1, 0, 0, 0}, 0), stamp({1969, 12, 31, 23, 59, 59}, 9999999), stamp({9999, 12, 31, 23, 59, 59}, 1)})
    EXPECT_EQ(Put(2, ts, 16).back, ts);
  EXPECT_EQ(Put(2, stamp({2020, 1, 1, 0, 0, 0}, 10000000), 16).writeStatus, DRM_ERR_INVALID_DATE);

  auto dec = [](int16_t e, int64_t v) {
    uint16_t w[19] = {};
    w[1] = static_cast<uint16_t>(e);
    w[2] = 4;
    std::memcpy(&w[3], &v, 8);
    return std::string(reinterpret_cast<char*>(w), 38);
  };
  EXPECT_EQ(Put(3, dec(-2, 12345), 38).back, dec(-2, 12345));
  EXPECT_EQ(Put(3, dec(-4, 1234567), 38).back, dec(-2, 12346));   // rounded to the column's scale
  EXPECT_EQ(Put(3, dec(-4, -1234550), 38).back, dec(-2, -12346));  // halves away from zero
  EXPECT_EQ(Put(3, dec(0, 99999999), 38).back, dec(-2, 9999999900));
  EXPECT_EQ(Put(3, dec(0, 100000000), 38).writeStatus, DRM_ERR_FIELD_LENGTH);  // 11 digits > precision 10
  EXPECT_EQ(Put(4, dec(-1, -5), 38).back, dec(-4, -5000));
  std::string bad = dec(0, 1);
  bad[0] = 1;
  EXPECT_EQ(Put(3, bad, 38).writeStatus, DRM_ERR_INVALID_PARAMETER);
}

TEST_F(TypesTest, TextAndByteFormats) {
  ids = CreateTable("T", {{"Fix", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 5},
                          {"Z", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 5},
                          {"Bin", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 4},
                          {"Var", DRM_COLTYP(RM_TYPE_LVAR, DRM_TYPE_VARBINARY), 4}});
  t = Open("T");
  EXPECT_EQ(Put(0, std::string("ab\0zz", 5), 6).back, "ab   ");  // ends at the NUL, blank-padded
  EXPECT_EQ(Put(0, "abcdef", 6).writeStatus, DRM_ERR_DATA_LENGTH);
  RoundTrip z = Put(1, std::string("hello\0", 6), 7);
  EXPECT_EQ(z.back, std::string("hello\0", 6));  // text and its NUL
  EXPECT_EQ(Put(1, " x  ", 7).back, std::string(" x  \0", 5));  // trailing blanks kept
  EXPECT_EQ(Put(1, "toolong", 7).writeStatus, DRM_ERR_DATA_LENGTH);
  EXPECT_EQ(Put(2, std::string("\0\1", 2), 4).back, std::string("\0\1\0\0", 4));
  EXPECT_EQ(Put(3, std::string("\0\1", 2), 4).back, std::string("\0\1", 2));
  EXPECT_EQ(Put(3, "12345", 4).writeStatus, DRM_ERR_DATA_LENGTH);
  RoundTrip shortRead = Put(1, "abcde", 3);
  EXPECT_EQ(shortRead.readStatus, DRM_WARN_TRUNCATED);
}

TEST_F(TypesTest, BlobsInChunksAndNotes) {
  ids = CreateTable("T", {{"Bin", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY)},
                          {"Memo", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT)},
                          {"Note", DRM_COLTYP(RM_TYPE_NOTE, DRM_TYPE_LONGTEXT), 8}});
  t = Open("T");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(RareSetColumn(S, t, ids[0], "abc", 3, 1, 0, 0), 0);
  ASSERT_EQ(RareSetColumn(S, t, ids[0], "xy", 2, 1, 0, 5), 0);  // gap zero-filled
  int32_t size = -1;
  ASSERT_EQ(RareGetBlobSize(t, ids[0], &size), 0);
  EXPECT_EQ(size, 7);
  ASSERT_EQ(RareTruncateBlob(t, ids[0], 6), 0);
  ASSERT_EQ(RareSetColumn(S, t, ids[1], "text\0junk", 9, 0, 0, 0), 0);  // long text ends at its NUL
  EXPECT_EQ(RareSetColumn(S, t, ids[2], "0123456789", 10, 0, 0, 0), DRM_WARN_BLOB_TRUNCATED);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);

  uint32_t len = 99;
  char buf[16] = {};
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[0], nullptr, 0, &len, nullptr), 0);
  EXPECT_EQ(len, 6u);
  DRM_RetrieveStruct at{8, 2};
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[0], buf, 3, &len, &at), 0);
  EXPECT_EQ(std::string(buf, len), std::string("c\0\0", 3));
  at.Offset = 6;
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[0], buf, 3, &len, &at), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[1], buf, sizeof buf, &len, nullptr), 0);
  EXPECT_EQ(std::string(buf, len), "text");
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[2], buf, sizeof buf, &len, nullptr), 0);
  EXPECT_EQ(std::string(buf, len), "01234567");
  ASSERT_EQ(RareGetBlobSize(t, ids[1], &size), 0);
  EXPECT_EQ(size, 4);

  // Empty and NULL are kept apart.
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(RareSetColumn(S, t, ids[1], "", 0, 0, 0, 0), 0);
  ASSERT_EQ(RareSetColumn(S, t, ids[0], nullptr, 0, 0, 1, 0), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[1], nullptr, 0, &len, nullptr), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(RareRetrieveColumn(S, t, ids[0], nullptr, 0, &len, nullptr), DRM_WARN_NULL);
  EXPECT_EQ(RareTruncateBlob(t, ids[0], 0), DRM_ERR_NO_PENDING_ROW);
}

TEST_F(TypesTest, DefaultsAndAutoIncrementOnNewRows) {
  ids = CreateTable("T", {{"Id", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT32)},
                          {"Qty", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2, 0, "7"},
                          {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 8, 0, ""},
                          {"When", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4, 0, "2024-02-29"},
                          {"Req", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4, DRM_COLFLAG_REQUIRED}});
  t = Open("T");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  EXPECT_EQ(ReadInt(t, ids[0]), 0);  // the new row is readable at once
  int16_t q = 0;
  uint32_t len;
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[1], &q, 2, &len, nullptr), 0);
  EXPECT_EQ(q, 7);
  EXPECT_EQ(ReadText(t, ids[2]), "");
  uint16_t d[3] = {};
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[3], d, 8, &len, nullptr), 0);
  EXPECT_EQ(d[0], 2024);
  EXPECT_EQ(d[2], 29);
  EXPECT_EQ(RareUpdateRecord(S, t), DRM_ERR_NULL_NOT_VALID);
  EXPECT_NE(ExtErr(DRM_ERR_NULL_NOT_VALID).find("Req"), std::string::npos);
  ASSERT_EQ(SetInt32(t, ids[4], 1), 0);  // the pending row survived the failure
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  EXPECT_EQ(ReadInt(t, ids[0]), 1);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, ids[0], 41), 0);
  ASSERT_EQ(SetInt32(t, ids[4], 1), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, ids[4], 1), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  EXPECT_EQ(ReadInt(t, ids[0]), 42);

  DRM_ColumnStruct cs{};
  cs.StructSize = sizeof cs;
  cs.ColTyp = DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE);
  cs.pDefault = "not a date";
  RareCloseTable(S, t);
  CreateTable("U", {});
  uint32_t u = Open("U", DRM_TBLOPEN_EXCLUSIVE);
  uint32_t id;
  EXPECT_EQ(RareCreateColumn(S, u, "Bad", &cs, &id), DRM_ERR_INVALID_PARAMETER);
}

// Default texts are read whole: anything beyond the form of the type is
// refused when the column is created, so a typo never becomes a value.
TEST_F(TypesTest, DefaultTextsAreReadWholeOrRefused) {
  const uint32_t kInt = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), kDouble = DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE),
                 kDec = DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), kDate = DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE),
                 kTime = DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME),
                 kStamp = DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP);
  struct Case {
    uint32_t colTyp;
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {kInt, "+42", true},           {kInt, "-7", true},
      {kInt, "4 2", false},          {kInt, "12.5", false},
      {kInt, "", false},             {kInt, "99999999999999999999", false},
      {kDouble, "+1.5", true},       {kDouble, "-2.5e3", true},
      {kDouble, "1.5x", false},      {kDouble, "1e999", false},
      {kDec, "-12.345", true},       {kDec, "12.3.4", false},
      {kDec, "1234567890123456789", false},
      {kDate, "2024-2-29", true},    {kDate, "2023-02-29", false},
      {kDate, "2024-02-29 ", false}, {kDate, "20240-01-01", false},
      {kTime, "23:59:59", true},     {kTime, "24:00:00", false},
      {kTime, "12:00", false},       {kStamp, "2024-02-29 13:45:30", true},
      {kStamp, "2024-02-29 13:45:30.1234567", true},
      {kStamp, "2024-02-29 13:45:30.", false},
      {kStamp, "2024-02-29T13:45:30", false},
      {kStamp, "2024-02-29", false},
  };
  CreateTable("U", {});
  uint32_t u = Open("U", DRM_TBLOPEN_EXCLUSIVE);
  int n = 0;
  for (const Case& k : cases) {
    DRM_ColumnStruct cs{};
    cs.StructSize = sizeof cs;
    cs.ColTyp = k.colTyp;
    cs.Precision = 10;
    cs.Scale = 2;
    cs.pDefault = k.text;
    uint32_t id = 0;
    std::string name = "C" + std::to_string(++n);
    int32_t st = RareCreateColumn(S, u, name.c_str(), &cs, &id);
    EXPECT_EQ(st, k.ok ? 0 : DRM_ERR_INVALID_PARAMETER) << "default '" << k.text << "': " << ExtErr(st);
  }
  RareCloseTable(S, u);

  // What the accepted texts become.
  ids = CreateTable("T", {{"Dec", kDec, 38, 0, "-12.345", nullptr, 10, 2},
                          {"Stamp", kStamp, 16, 0, "2024-02-29 13:45:30.25"},
                          {"When", kDate, 6, 0, "2024-2-9"},
                          {"D", kDouble, 8, 0, "+1.5"}});
  t = Open("T");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  uint32_t len = 0;
  DRM_Numeric num;
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[0], &num, sizeof num, &len, nullptr), 0);
  int64_t integer = 0;
  std::memcpy(&integer, &num.Words[DRM_NUMERIC_INTEGER], sizeof integer);
  EXPECT_EQ(integer, -1235);  // halves away from zero at the column's scale
  EXPECT_EQ(static_cast<int16_t>(num.Words[DRM_NUMERIC_EXPONENT]), -2);
  DRM_TimeStamp ts;
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[1], &ts, sizeof ts, &len, nullptr), 0);
  EXPECT_EQ(ts.Year, 2024);
  EXPECT_EQ(ts.Second, 30);
  EXPECT_EQ(ts.Fraction, 2500000u);
  DRM_Date date;
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[2], &date, 8, &len, nullptr), 0);
  EXPECT_EQ(date.Month, 2);
  EXPECT_EQ(date.Day, 9);
  double d = 0;
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[3], &d, sizeof d, &len, nullptr), 0);
  EXPECT_EQ(d, 1.5);
}

TEST(IntPower10, MultipliesAndDividesInPlace) {
  auto run = [](int64_t v, int32_t p, int64_t& out) {
    uint16_t w[4];
    std::memcpy(w, &v, 8);
    int32_t ok = RareIntPower10(&w[0], &w[1], &w[2], &w[3], p);
    std::memcpy(&out, w, 8);
    return ok;
  };
  int64_t r;
  EXPECT_NE(run(123, 2, r), 0);
  EXPECT_EQ(r, 12300);
  EXPECT_NE(run(-125, -1, r), 0);
  EXPECT_EQ(r, -13);
  EXPECT_NE(run(124, -1, r), 0);
  EXPECT_EQ(r, 12);
  EXPECT_NE(run(5, 0, r), 0);
  EXPECT_EQ(r, 5);
  EXPECT_EQ(run(std::numeric_limits<int64_t>::max() / 5, 1, r), 0);
  EXPECT_EQ(r, std::numeric_limits<int64_t>::max() / 5);  // unchanged on overflow
}
