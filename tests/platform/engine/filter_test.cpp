#include "engine_fixture.h"

using namespace enginetest;

namespace {

DRM_FilterStruct Term(uint8_t kind, uint32_t col, uint8_t code, const void* c, uint16_t len, uint8_t joint = 0,
                      uint32_t other = 0) {
  DRM_FilterStruct f{};
  f.IsColumn = kind;
  f.ColumnId = col;
  f.CompareCode = code;
  f.pConst = const_cast<void*>(c);
  f.ConstLen = len;
  f.ExprWithNextTerm = joint;
  f.CompColumnId = other;
  return f;
}

}  // namespace

class FilterTest : public EngineTest {
 protected:
  uint32_t t = 0, cA = 0, cB = 0, cName = 0, cFix = 0;
  void SetUp() override {
    EngineTest::SetUp();
    auto ids = CreateTable("R", {{"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                                 {"B", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)},
                                 {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12},
                                 {"Fix", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 4}});
    cA = ids[0], cB = ids[1], cName = ids[2], cFix = ids[3];
    t = Open("R");
    struct R {
      int a, b;
      const char* name;
      const char* fix;
    };
    // A: 1..8, B: A mod 3 (NULL for 8), names mixed case.
    std::vector<R> rows = {{1, 1, "Smith", "x"}, {2, 2, "smythe", "ab"}, {3, 0, "Sa", "ab"}, {4, 1, "Taylor", "x"},
                           {5, 2, "Smith", "yy"}, {6, 0, "SMITH", "ab"}, {7, 1, nullptr, "x"}, {8, -99, "Zed", "x"}};
    for (auto& r : rows) {
      ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
      ASSERT_EQ(SetInt32(t, cA, r.a), 0);
      if (r.b != -99) {
        ASSERT_EQ(SetInt32(t, cB, r.b), 0);
      }
      if (r.name) {
        ASSERT_EQ(SetText(t, cName, r.name), 0);
      }
      ASSERT_EQ(SetText(t, cFix, r.fix), 0);
      ASSERT_EQ(RareUpdateRecord(S, t), 0);
    }
  }
  std::vector<int32_t> Filtered(const std::vector<DRM_FilterStruct>& terms, int32_t mode = DRM_FILTER_SET_DATASET) {
    int32_t tag = 0;
    EXPECT_EQ(RareSetFilterOnColumns(t, terms.data(), static_cast<uint16_t>(terms.size()), &tag, mode), 0) << ExtErr(-2001);
    EXPECT_GE(tag, 1);
    auto out = Scan(t, cA);
    EXPECT_EQ(RareRemoveFilterFromColumns(t, tag, mode == DRM_FILTER_SET_DATASET ? 0 : 1), 0);
    return out;
  }
};

TEST_F(FilterTest, TermsOfEveryKindEvaluateLeftToRight) {
  int32_t zero = 0, two = 2, one = 1, five = 5;
  // B = 2 OR A = 1 AND B = 1  ->  ((B=2) OR (A=1)) AND (B=1): only A=1.
  EXPECT_EQ(Filtered({Term(fisConst, cB, DRM_CMP_EQ, &two, 4, DRM_JOIN_OR), Term(fisConst, cA, DRM_CMP_EQ, &one, 4, DRM_JOIN_AND),
                      Term(fisConst, cB, DRM_CMP_EQ, &one, 4)}),
            (std::vector<int32_t>{1}));
  // A > 5 OR B = 0: the joint of the last term is ignored.
  EXPECT_EQ(Filtered({Term(fisConst, cA, DRM_CMP_GT, &five, 4, DRM_JOIN_OR), Term(fisConst, cB, DRM_CMP_EQ, &zero, 4, DRM_JOIN_AND)}),
            (std::vector<int32_t>{3, 6, 7, 8}));
  // Column against column: B < A. NULL B (record 8) never compares.
  EXPECT_EQ(Filtered({Term(fisColumn, cB, DRM_CMP_GE, nullptr, 0, 0, cA)}), (std::vector<int32_t>{1, 2}));
  // NULL tests, and not-equal is false for NULL.
  EXPECT_EQ(Filtered({Term(fisNull, cB, DRM_CMP_EQ, nullptr, 0)}), (std::vector<int32_t>{8}));
  EXPECT_EQ(Filtered({Term(fisNull, cName, DRM_CMP_NE, nullptr, 0)}).size(), 7u);
  EXPECT_EQ(Filtered({Term(fisConst, cB, DRM_CMP_NE, &one, 4)}), (std::vector<int32_t>{2, 3, 5, 6}));
  // No terms: every record.
  EXPECT_EQ(Filtered({}).size(), 8u);
}

TEST_F(FilterTest, TextComparesCaseAndPrefixes) {
  EXPECT_EQ(Filtered({Term(fisConst, cName, DRM_CMP_EQ, "Smith", 6)}), (std::vector<int32_t>{1, 5}));
  EXPECT_EQ(Filtered({Term(fisConst, cName, DRM_CMP_EQ | DRM_CMP_NOCASE, "smith", 6)}), (std::vector<int32_t>{1, 5, 6}));
  EXPECT_EQ(Filtered({Term(fisPartialConst, cName, DRM_CMP_EQ, "Sm", 2)}), (std::vector<int32_t>{1, 5}));
  EXPECT_EQ(Filtered({Term(fisPartialConst, cName, DRM_CMP_EQ | DRM_CMP_NOCASE, "sm", 2)}), (std::vector<int32_t>{1, 2, 5, 6}));
  EXPECT_EQ(Filtered({Term(fisPartialConst, cName, DRM_CMP_GE, "Sm", 2)}), (std::vector<int32_t>{1, 5}));  // prefix, not "at or after"
  EXPECT_EQ(Filtered({Term(fisPartialConst, cName, DRM_CMP_EQ, "Smithers", 3)}), (std::vector<int32_t>{1, 5}));
  EXPECT_EQ(Filtered({Term(fisPartialConst, cName, DRM_CMP_EQ, "", 0)}).size(), 7u);
  EXPECT_EQ(Filtered({Term(fisConst, cName, DRM_CMP_LT, "Sm", 3)}), (std::vector<int32_t>{3, 6}));
  // Fixed text ignores trailing blanks on both sides.
  EXPECT_EQ(Filtered({Term(fisConst, cFix, DRM_CMP_EQ, "ab  ", 4)}), (std::vector<int32_t>{2, 3, 6}));
}

TEST_F(FilterTest, MalformedTermsAndFilterBookkeeping) {
  int32_t tag = 0, one = 1;
  auto bad = Term(7, cA, DRM_CMP_EQ, &one, 4);
  EXPECT_EQ(RareSetFilterOnColumns(t, &bad, 1, &tag, 1), DRM_ERR_FILTER_NOT_SUPPORTED);
  bad = Term(fisConst, cA, 9, &one, 4);
  EXPECT_EQ(RareSetFilterOnColumns(t, &bad, 1, &tag, 1), DRM_ERR_FILTER_NOT_SUPPORTED);
  bad = Term(fisConst, 99, DRM_CMP_EQ, &one, 4);
  EXPECT_EQ(RareSetFilterOnColumns(t, &bad, 1, &tag, 1), DRM_ERR_INVALID_COLUMN_ID);
  EXPECT_EQ(RareRemoveFilterFromColumns(t, 12345, 0), DRM_ERR_INVALID_PARAMETER);
  // The engine copies constants: the caller's array may go away at once.
  int32_t tagA = 0, tagB = 0;
  {
    int32_t three = 3;
    auto f = Term(fisConst, cA, DRM_CMP_LE, &three, 4);
    ASSERT_EQ(RareSetFilterOnColumns(t, &f, 1, &tagA, DRM_FILTER_SET_DATASET), 0);
    three = 100;
  }
  // A locate filter is ANDed with the dataset filter.
  int32_t b0 = 0;
  auto g = Term(fisConst, cB, DRM_CMP_NE, &b0, 4);
  ASSERT_EQ(RareSetFilterOnColumns(t, &g, 1, &tagB, DRM_FILTER_SET_LOCATE), 0);
  EXPECT_NE(tagA, tagB);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{1, 2}));
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  ASSERT_EQ(RareRemoveFilterFromColumns(t, tagB, 1), 0);
  EXPECT_EQ(ReadInt(t, cA), 2);  // the found record stays current
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, cA), 3);
  TRmInfo info{};
  ASSERT_EQ(RareGetRmInfo(t, &info), 0);
  int32_t termCount = info.CurFilterLen;  // packed field: copy before binding a reference
  EXPECT_EQ(termCount, 1);
  EXPECT_EQ(info.KeyNum, -1);
}

TEST_F(FilterTest, KeyedSearchExactAndNearest) {
  ASSERT_EQ(CreateIndex(t, "ByNameA", {"+Name", "+A"}, 0), 0);  // case-insensitive
  ASSERT_EQ(RareSetTableIndex(S, t, "ByNameA"), 0);
  char key[13] = "smith";
  ASSERT_EQ(RareMakeFilterKey(t, cName, DRM_KEYSLOT_SEEK, key, 12, DRM_KEYFLAG_FIRST), 0);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{1, 5, 6}));
  int32_t five = 5;
  ASSERT_EQ(RareMakeFilterKey(t, cA, DRM_KEYSLOT_SEEK, &five, 4, 0), 0);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{5}));
  char none[13] = "smitt";
  ASSERT_EQ(RareMakeFilterKey(t, cName, DRM_KEYSLOT_SEEK, none, 12, DRM_KEYFLAG_FIRST), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), DRM_ERR_NO_CURRENT_RECORD);
  // Nearest: at or after the key in index order.
  ASSERT_EQ(RareMakeFilterKey(t, cName, DRM_KEYSLOT_SEEK, none, 12, DRM_KEYFLAG_FIRST | DRM_KEYFLAG_PARTIAL), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(ReadText(t, cName), "smythe");
  char after[13] = "zz";
  ASSERT_EQ(RareMakeFilterKey(t, cName, DRM_KEYSLOT_SEEK, after, 12, DRM_KEYFLAG_FIRST | DRM_KEYFLAG_PARTIAL), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_FIRST), DRM_ERR_NO_CURRENT_RECORD);
  char sm[13] = "Smith";
  int32_t two = 2;
  ASSERT_EQ(RareMakeFilterKey(t, cName, DRM_KEYSLOT_SEEK, sm, 12, DRM_KEYFLAG_FIRST | DRM_KEYFLAG_PARTIAL), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cA, DRM_KEYSLOT_SEEK, &two, 4, DRM_KEYFLAG_PARTIAL), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(ReadInt(t, cA), 5);
  // Cancelling the key keeps the record and shows everything again.
  ASSERT_EQ(RareCancelFilterKey(t, DRM_KEYSLOT_SEEK), 0);
  EXPECT_EQ(ReadInt(t, cA), 5);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, cA), 6);
  EXPECT_EQ(Scan(t, cA).size(), 8u);
  EXPECT_EQ(RareCancelFilterKey(t, 3), 0);  // empty slot
  EXPECT_EQ(RareMakeFilterKey(t, cA, 5, &two, 4, 1), DRM_ERR_INVALID_PARAMETER);
}

TEST_F(FilterTest, RangesAreInclusiveAndFollowTheIndex) {
  ASSERT_EQ(CreateIndex(t, "ByBDescA", {"-B", "+A"}), 0);
  ASSERT_EQ(RareSetTableIndex(S, t, "ByBDescA"), 0);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{2, 5, 1, 4, 7, 3, 6, 8}));
  int32_t two = 2, one = 1, four = 4;
  // Master-detail: B = 1.
  ASSERT_EQ(RareCancelRange(t), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_START, &one, 4, 0x101), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_END, &one, 4, 0x101), 0);
  ASSERT_EQ(RareSetRange(t, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{1, 4, 7}));
  // From (2, 5) to (1, 4), descending B: inclusive at both ends.
  int32_t five = 5;
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_START, &two, 4, 0x101), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cA, DRM_KEYSLOT_RANGE_START, &five, 4, 0x100), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_END, &one, 4, 0x101), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cA, DRM_KEYSLOT_RANGE_END, &four, 4, 0x100), 0);
  ASSERT_EQ(RareSetRange(t, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{5, 1, 4}));
  uint32_t pct = 0;
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareFindPercentage(t, &pct), 0);
  EXPECT_EQ(pct, 3333u);
  // A NULL part matches NULL.
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_START, nullptr, 4, 0x101), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_END, nullptr, 4, 0x101), 0);
  ASSERT_EQ(RareSetRange(t, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(Scan(t, cA), (std::vector<int32_t>{8}));
  // A side without parts selects nothing.
  ASSERT_EQ(RareCancelFilterKey(t, DRM_KEYSLOT_RANGE_END), 0);
  ASSERT_EQ(RareSetRange(t, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_FIRST), DRM_ERR_NO_CURRENT_RECORD);
  ASSERT_EQ(RareCancelRange(t), 0);
  EXPECT_EQ(Scan(t, cA).size(), 8u);
  // A bookmark jump reaches records outside the range.
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_LAST), 0);
  uint32_t b8 = Bookmark(t);
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_START, &one, 4, 0x101), 0);
  ASSERT_EQ(RareMakeFilterKey(t, cB, DRM_KEYSLOT_RANGE_END, &one, 4, 0x101), 0);
  ASSERT_EQ(RareSetRange(t, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(RareGotoBookmark(S, t, &b8, 4), 0);
  EXPECT_EQ(ReadInt(t, cA), 8);
}

// A changed filter of the same form but other constants re-seeks with the
// new constants: re-seek statements are kept by their form, the values are
// bound afresh each time.
TEST_F(FilterTest, ReSeeksBindTheCurrentFilterConstants) {
  int32_t two = 2, five = 5, zero = 0;
  auto setGreater = [&](const int32_t& bound) {
    int32_t tag = 0;
    DRM_FilterStruct term = Term(fisConst, cA, DRM_CMP_GT, &bound, 4);
    EXPECT_EQ(RareSetFilterOnColumns(t, &term, 1, &tag, DRM_FILTER_SET_DATASET), 0) << ExtErr(-2001);
    return tag;
  };
  int32_t tag = setGreater(two);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, cA), 4);
  ASSERT_EQ(RareRemoveFilterFromColumns(t, tag, 0), 0);
  tag = setGreater(five);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_NEXT), 0);
  EXPECT_EQ(ReadInt(t, cA), 6);
  ASSERT_EQ(RareRemoveFilterFromColumns(t, tag, 0), 0);
  tag = setGreater(two);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), 0);
  EXPECT_EQ(ReadInt(t, cA), 5);
  ASSERT_EQ(RareRemoveFilterFromColumns(t, tag, 0), 0);
  tag = setGreater(zero);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(ReadInt(t, cA), 1);
  ASSERT_EQ(RareRemoveFilterFromColumns(t, tag, 0), 0);
  tag = setGreater(five);
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  EXPECT_EQ(ReadInt(t, cA), 6);
  EXPECT_EQ(RareMove(S, t, DRM_MOVE_PREVIOUS), DRM_ERR_NO_CURRENT_RECORD);
}
