// Filter terms and keys compare the numbers and texts they are given, not
// a rounded, refused or re-folded form of them.
#include <cstring>

#include "engine/drm_values.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

DRM_FilterStruct Term(uint8_t kind, uint32_t col, uint8_t code, const void* c, uint16_t len, uint32_t other = 0) {
  DRM_FilterStruct f{};
  f.IsColumn = kind;
  f.ColumnId = col;
  f.CompareCode = code;
  f.pConst = const_cast<void*>(c);
  f.ConstLen = len;
  f.CompColumnId = other;
  return f;
}

// mantissa x 10^exponent in the engine's decimal form.
DRM_Numeric Dec(int64_t mantissa, int16_t exponent) {
  DRM_Numeric n;
  n.Words[DRM_NUMERIC_EXPONENT] = static_cast<uint16_t>(exponent);
  n.Words[DRM_NUMERIC_USED] = DRM_NUMERIC_MAX_USED;
  std::memcpy(&n.Words[DRM_NUMERIC_INTEGER], &mantissa, sizeof mantissa);
  return n;
}

constexpr uint32_t kDec = DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL);

}  // namespace

class FilterExactnessTest : public EngineTest {
 protected:
  uint32_t t = 0, cId = 0, cD3 = 0, cD4 = 0, cCur = 0, cInt = 0, cName = 0;
  void SetUp() override {
    EngineTest::SetUp();
    auto ids = CreateTable("N", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                 {"D3", kDec, 38, 0, nullptr, nullptr, 12, 3},
                                 {"D4", kDec, 38, 0, nullptr, nullptr, 12, 4},
                                 {"Cur", DRM_COLTYP(RM_TYPE_CURRENCY, DRM_TYPE_CURRENCY), 8},
                                 {"Int", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                 {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12}});
    cId = ids[0], cD3 = ids[1], cD4 = ids[2], cCur = ids[3], cInt = ids[4], cName = ids[5];
    t = Open("N");
    struct R {
      int64_t d3, d4, cur;  // scaled: 10^3, 10^4, 10^4
      int32_t i;
      const char* name;
    };
    const std::vector<R> rows = {{1000, 10000, 10000, 1, "ab@x"}, {1001, 10010, 20000, 2, "ab[x"},
                                 {-1000, -10000, -10000, -1, "AB@Y"}, {2000, 20001, 5000, 1, "ab_"},
                                 {999999999, 0, 0, 0, "\xc3\xa9t\xc3\xa9"}};
    int32_t id = 0;
    for (auto& r : rows) {
      ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
      ASSERT_EQ(SetInt32(t, cId, ++id), 0);
      DRM_Numeric d3 = Dec(r.d3, -3), d4 = Dec(r.d4, -4);
      ASSERT_EQ(RareSetColumn(S, t, cD3, &d3, sizeof d3, 0, 0, 0), 0);
      ASSERT_EQ(RareSetColumn(S, t, cD4, &d4, sizeof d4, 0, 0, 0), 0);
      ASSERT_EQ(RareSetColumn(S, t, cCur, &r.cur, 8, 0, 0, 0), 0);
      ASSERT_EQ(SetInt32(t, cInt, r.i), 0);
      ASSERT_EQ(SetText(t, cName, r.name), 0);
      ASSERT_EQ(RareUpdateRecord(S, t), 0);
    }
  }
  std::vector<int32_t> Filtered(const DRM_FilterStruct& term) {
    int32_t tag = 0;
    const int32_t st = RareSetFilterOnColumns(t, &term, 1, &tag, DRM_FILTER_SET_DATASET);
    EXPECT_EQ(st, 0) << ExtErr(st);
    if (st) return {-1};
    auto out = Scan(t, cId);
    EXPECT_EQ(RareRemoveFilterFromColumns(t, tag, DRM_FILTER_REMOVE_DATASET), 0);
    return out;
  }
  using V = std::vector<int32_t>;
};

TEST_F(FilterExactnessTest, DecimalConstantsCompareExactlyWithoutRounding) {
  const DRM_Numeric half = Dec(10005, -4);  // 1.0005 on a scale-3 column
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_EQ, &half, sizeof half)), V{});
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_NE, &half, sizeof half)), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_GT, &half, sizeof half)), (V{2, 4, 5}));
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_GE, &half, sizeof half)), (V{2, 4, 5}));
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_LT, &half, sizeof half)), (V{1, 3}));
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_LE, &half, sizeof half)), (V{1, 3}));
  const DRM_Numeric negative = Dec(-10005, -4);  // -1.0005: floor is -1.001
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_LT, &negative, sizeof negative)), V{});
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_GT, &negative, sizeof negative)), (V{1, 2, 3, 4, 5}));
  const DRM_Numeric exact = Dec(10010, -4);  // 1.0010 is 1.001 exactly
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_EQ, &exact, sizeof exact)), V{2});
  const DRM_Numeric tiny = Dec(1, -30);
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_GT, &tiny, sizeof tiny)), (V{1, 2, 4, 5}));
}

TEST_F(FilterExactnessTest, DecimalConstantsBeyondThePrecisionCompareAsNumbers) {
  const DRM_Numeric billion = Dec(1000000000, 0);  // more digits than DECIMAL(12,3) holds
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_LT, &billion, sizeof billion)), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_EQ, &billion, sizeof billion)), V{});
  const DRM_Numeric huge = Dec(-9000000000000000000LL, 5);
  EXPECT_EQ(Filtered(Term(fisConst, cD3, DRM_CMP_GT, &huge, sizeof huge)), (V{1, 2, 3, 4, 5}));
  // Keys too: a seek for a value no column holds finds nothing, a nearest
  // key beyond every value selects nothing, without an error.
  ASSERT_EQ(CreateIndex(t, "ByD3", {"+D3"}), 0);
  ASSERT_EQ(RareSetTableIndex(S, t, "ByD3"), 0);
  EXPECT_EQ(RareMakeFilterKey(t, cD3, DRM_KEYSLOT_FILTER0, &billion, sizeof billion, DRM_KEYFLAG_FIRST), 0);
  EXPECT_EQ(RareMakeFilterKey(t, cD3, DRM_KEYSLOT_SEEK, &billion, sizeof billion,
                              DRM_KEYFLAG_FIRST | DRM_KEYFLAG_PARTIAL),
            0);
  EXPECT_EQ(Scan(t, cId), V{});
  const DRM_Numeric half = Dec(10005, -4);
  ASSERT_EQ(RareMakeFilterKey(t, cD3, DRM_KEYSLOT_SEEK, &half, sizeof half, DRM_KEYFLAG_FIRST | DRM_KEYFLAG_PARTIAL),
            0);
  EXPECT_EQ(Scan(t, cId), (V{2, 4, 5}));
  ASSERT_EQ(RareMakeFilterKey(t, cD3, DRM_KEYSLOT_SEEK, &half, sizeof half, DRM_KEYFLAG_FIRST), 0);
  EXPECT_EQ(Scan(t, cId), V{});
  ASSERT_EQ(RareCancelFilterKey(t, DRM_KEYSLOT_SEEK), 0);
  // An inclusive range [-1.0005, 1.0005] holds -1.000 and 1.000.
  const DRM_Numeric low = Dec(-10005, -4);
  ASSERT_EQ(RareMakeFilterKey(t, cD3, DRM_KEYSLOT_RANGE_START, &low, sizeof low, DRM_KEYFLAG_FIRST), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cD3, DRM_KEYSLOT_RANGE_END, &half, sizeof half, DRM_KEYFLAG_FIRST), 0);
  ASSERT_EQ(RareSetRange(t, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(Scan(t, cId), (V{3, 1}));
  ASSERT_EQ(RareCancelRange(t), 0);
}

TEST_F(FilterExactnessTest, ColumnsOfDifferentScalesCompareTheirValues) {
  // D3 1.000 = D4 1.0000, 1.001 = 1.0010, -1.000 = -1.0000.
  EXPECT_EQ(Filtered(Term(fisColumn, cD3, DRM_CMP_EQ, nullptr, 0, cD4)), (V{1, 2, 3}));
  EXPECT_EQ(Filtered(Term(fisColumn, cD4, DRM_CMP_GT, nullptr, 0, cD3)), (V{4}));
  // Currency 1.0000 equals the integer 1, and 2.0000 the integer 2.
  EXPECT_EQ(Filtered(Term(fisColumn, cCur, DRM_CMP_EQ, nullptr, 0, cInt)), (V{1, 2, 3, 5}));
  EXPECT_EQ(Filtered(Term(fisColumn, cInt, DRM_CMP_GT, nullptr, 0, cCur)), (V{4}));
}

TEST_F(FilterExactnessTest, CaseInsensitivePrefixEndingInAtSign) {
  // "ab@" without case: only the texts that start with it, not "ab[" or "ab_".
  EXPECT_EQ(Filtered(Term(fisPartialConst, cName, DRM_CMP_EQ | DRM_CMP_NOCASE, "ab@", 3)), (V{1, 3}));
  EXPECT_EQ(Filtered(Term(fisPartialConst, cName, DRM_CMP_NE | DRM_CMP_NOCASE, "AB@", 3)), (V{2, 4, 5}));
  // Folding is to lower case: "_" (0x5F) orders before every letter.
  // Folded to upper case, "ab[x" would order after "ABA".
  EXPECT_EQ(Filtered(Term(fisConst, cName, DRM_CMP_LT | DRM_CMP_NOCASE, "ABA", 4)), (V{1, 2, 3, 4}));
}

TEST_F(FilterExactnessTest, PartialOrderComparesLeadingBytes) {
  // The two-byte letter as a prefix: its two bytes, not two characters.
  EXPECT_EQ(Filtered(Term(fisPartialConst, cName, DRM_CMP_LE, "\xc3\xa9", 2)), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(Filtered(Term(fisPartialConst, cName, DRM_CMP_LT, "\xc3\xa9", 2)), (V{1, 2, 3, 4}));
  EXPECT_EQ(Filtered(Term(fisPartialConst, cName, DRM_CMP_GT, "\xc3\xa9", 2)), V{});
  EXPECT_EQ(Filtered(Term(fisPartialConst, cName, DRM_CMP_GT | DRM_CMP_NOCASE, "AB@", 3)), (V{2, 4, 5}));
}

// Moving back from a record found by bookmark seeks in the index and still
// reaches the records whose leading key is NULL (they sort first).
TEST_F(FilterExactnessTest, BackwardMovesAfterASeekReachTheNulls) {
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetInt32(t, cId, 6), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  ASSERT_EQ(CreateIndex(t, "ByInt", {"+Int"}), 0);
  ASSERT_EQ(RareSetTableIndex(S, t, "ByInt"), 0);
  EXPECT_EQ(Scan(t, cId), (V{6, 3, 5, 1, 4, 2}));
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  const uint32_t at4 = Bookmark(t);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  ASSERT_EQ(RareGotoBookmark(S, t, &at4, 4), 0);
  V back;
  while (RareMove(S, t, DRM_MOVE_PREVIOUS) == 0) back.push_back(ReadInt(t, cId));
  EXPECT_EQ(back, (V{1, 5, 3, 6}));
}
