// A column's default must be a value the column can hold: refused at column
// creation otherwise, so a new row never starts with a value that wrapped,
// was cut, or was never a value of the type.
#include "engine_fixture.h"

using namespace enginetest;

namespace {

struct DefaultCase {
  uint32_t colTyp;
  uint32_t cbMax;
  uint16_t precision, scale;
  const char* text;
  bool ok;
};

}  // namespace

class ColumnDefaultTest : public EngineTest {
 protected:
  int32_t AddColumn(uint32_t t, const DefaultCase& k, int n) {
    DRM_ColumnStruct cs{};
    cs.StructSize = sizeof cs;
    cs.ColTyp = k.colTyp;
    cs.cbMax = k.cbMax;
    cs.Precision = k.precision;
    cs.Scale = k.scale;
    cs.pDefault = k.text;
    uint32_t id = 0;
    std::string name = "C" + std::to_string(n);
    return RareCreateColumn(S, t, name.c_str(), &cs, &id);
  }
};

TEST_F(ColumnDefaultTest, EveryTypeRefusesDefaultsOutsideItsRange) {
  const uint32_t kInt8 = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), kUInt8 = DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8),
                 kInt16 = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16),
                 kUInt16 = DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16),
                 kAuto16 = DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16),
                 kInt32 = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32),
                 kUInt32 = DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT32),
                 kFloat = DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), kDouble = DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE),
                 kDec = DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL),
                 kDecCur = DRM_COLTYP(RM_TYPE_CURRENCY, DRM_TYPE_DECIMAL),
                 kDate = DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE),
                 kStamp = DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP),
                 kText = DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), kZ = DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING),
                 kBin = DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY),
                 kVarBin = DRM_COLTYP(RM_TYPE_LVAR, DRM_TYPE_VARBINARY),
                 kNote = DRM_COLTYP(RM_TYPE_NOTE, DRM_TYPE_LONGTEXT),
                 kBool = DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN);
  const DefaultCase cases[] = {
      {kInt8, 1, 0, 0, "127", true},       {kInt8, 1, 0, 0, "-128", true},
      {kInt8, 1, 0, 0, "128", false},      {kInt8, 1, 0, 0, "300", false},
      {kInt8, 1, 0, 0, "-129", false},     {kUInt8, 1, 0, 0, "255", true},
      {kUInt8, 1, 0, 0, "256", false},     {kUInt8, 1, 0, 0, "-1", false},
      {kInt16, 2, 0, 0, "-32768", true},   {kInt16, 2, 0, 0, "32768", false},
      {kUInt16, 2, 0, 0, "65535", true},   {kUInt16, 2, 0, 0, "65536", false},
      {kUInt16, 2, 0, 0, "-1", false},     {kAuto16, 4, 0, 0, "70000", true},
      {kInt32, 4, 0, 0, "-2147483648", true},
      {kInt32, 4, 0, 0, "2147483648", false},
      {kUInt32, 4, 0, 0, "4294967295", true},
      {kUInt32, 4, 0, 0, "4294967296", false},
      {kUInt32, 4, 0, 0, "-1", false},
      {kFloat, 4, 0, 0, "3.4e38", true},   {kFloat, 4, 0, 0, "1e39", false},
      {kFloat, 4, 0, 0, "-1e39", false},   {kDouble, 8, 0, 0, "inf", false},
      {kDouble, 8, 0, 0, "nan", false},    {kDouble, 8, 0, 0, "-infinity", false},
      {kDec, 38, 8, 2, "999999.99", true}, {kDec, 38, 8, 2, "-999999.99", true},
      {kDec, 38, 8, 2, "123456789", false},
      {kDec, 38, 8, 2, "1000000", false},  {kDec, 38, 8, 2, "999999.995", false},  // rounds to 7 integer digits
      {kDecCur, 38, 0, 0, "12.3456", true},
      {kDate, 6, 0, 0, "2023-01-01", true},
      {kDate, 6, 0, 0, "2023-01-01junk", false},
      {kStamp, 16, 0, 0, "2024-02-29 13:45:30.-5", false},
      {kStamp, 16, 0, 0, "2024-02-29 13:45:30.+5", false},
      {kStamp, 16, 0, 0, "2024-02-29 13:45:30.123456789", true},
      {kText, 4, 0, 0, "abcd", true},      {kText, 4, 0, 0, "abcde", false},
      {kZ, 4, 0, 0, "abcd", true},         {kZ, 4, 0, 0, "abcde", false},
      {kBin, 2, 0, 0, "ab", true},         {kBin, 2, 0, 0, "abc", false},
      {kVarBin, 3, 0, 0, "abc", true},     {kVarBin, 3, 0, 0, "abcd", false},
      {kNote, 5, 0, 0, "hello", true},     {kNote, 5, 0, 0, "hello!", false},
      {kBool, 1, 0, 0, "TRUE", true},      {kBool, 1, 0, 0, "2", false},
  };
  CreateTable("U", {});
  uint32_t u = Open("U", DRM_TBLOPEN_EXCLUSIVE);
  int n = 0;
  for (const DefaultCase& k : cases) {
    int32_t st = AddColumn(u, k, ++n);
    EXPECT_EQ(st, k.ok ? 0 : DRM_ERR_INVALID_PARAMETER)
        << "type 0x" << std::hex << k.colTyp << std::dec << " default '" << k.text << "': " << ExtErr(st);
    if (!k.ok && st == DRM_ERR_INVALID_PARAMETER) {
      std::string why = ExtErr(st);
      EXPECT_NE(why.find(k.text), std::string::npos) << why;
      EXPECT_NE(why.find("C" + std::to_string(n)), std::string::npos) << why;
    }
  }
  RareCloseTable(S, u);
}

TEST_F(ColumnDefaultTest, AcceptedBoundariesReadBackUnchanged) {
  auto ids = CreateTable("T", {{"I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1, 0, "-128"},
                               {"U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1, 0, "255"},
                               {"U32", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT32), 4, 0, "4294967295"},
                               {"Txt", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 4, 0, "abcd"}});
  uint32_t t = Open("T");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  uint8_t b = 0;
  uint32_t len = 0, u32 = 0;
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[0], &b, 2, &len, nullptr), 0);
  EXPECT_EQ(static_cast<int8_t>(b), -128);
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[1], &b, 2, &len, nullptr), 0);
  EXPECT_EQ(b, 255);
  ASSERT_EQ(RareRetrieveColumn(S, t, ids[2], &u32, 4, &len, nullptr), 0);
  EXPECT_EQ(u32, 4294967295u);
  EXPECT_EQ(ReadText(t, ids[3]), "abcd");
}
