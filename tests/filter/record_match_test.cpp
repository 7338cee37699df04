// Matching the active record against Locate keys: nulls, partial keys,
// the float tolerance and the per-type rules.

#include <gtest/gtest.h>

#include "filter/record_match.h"
#include "filter_test_support.h"

namespace dac::filtertest {
namespace {

class MatchRecordTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  MatchRecordTest() {
    AddRecord(ds.get(), {{"Name", Variant("Smith")},
                         {"Number", Variant("42  ")},
                         {"Qty", Variant(7)},
                         {"Price", Variant(1.0)},
                         {"Amount", Variant(Currency::FromRaw(12345))},
                         {"InactiveAcct", Variant(true)},
                         {"Order Date", Variant::FromDateTime(42005)}});
  }
  bool Match(const char* Field, const Variant& Value, TLocateOptions Options = {}) {
    return MatchFieldValue(ds->FieldByName(Field), Value, Options);
  }
};

TEST_F(MatchRecordTest, FloatsWithinFiveTenMillionths) {
  EXPECT_TRUE(Match("Price", Variant(1.0000004)));
  EXPECT_TRUE(Match("Price", Variant(0.9999996)));
  EXPECT_FALSE(Match("Price", Variant(1.0000006)));
  EXPECT_FALSE(Match("Price", Variant(0.9999994)));
  EXPECT_TRUE(Match("Amount", Variant(Currency::FromRaw(12345))));
  EXPECT_TRUE(Match("Amount", Variant(1.23451))) << "the key as currency: four decimals";
  EXPECT_FALSE(Match("Amount", Variant(1.2346))) << "no tolerance for currency";
}

TEST_F(MatchRecordTest, PartialKeys) {
  EXPECT_TRUE(Match("Name", Variant("Sm"), {loPartialKey}));
  EXPECT_FALSE(Match("Name", Variant("Sm")));
  EXPECT_FALSE(Match("Name", Variant(""), {loPartialKey})) << "an empty key matches nothing";
  EXPECT_FALSE(Match("Name", Variant("Smithson"), {loPartialKey}));
  EXPECT_TRUE(Match("Name", Variant("sMi"), {loPartialKey, loCaseInsensitive}));
  EXPECT_FALSE(Match("Name", Variant("sMi"), {loPartialKey}));
  EXPECT_FALSE(Match("Name", Variant("smith"), {loCaseInsensitive})) << "without a partial key case counts";
  EXPECT_TRUE(Match("Number", Variant("42"))) << "trailing blanks of the field go";
  EXPECT_FALSE(Match("Number", Variant("42 "), {}));
  // A key that cuts a character in two compares bytes, as the engine's.
  ds->EmptyDataSet();
  AddRecord(ds.get(), {{"Name", Variant("\xC3\xA9t\xC3\xA9")}});
  EXPECT_TRUE(Match("Name", Variant("\xC3"), {loPartialKey}));
  EXPECT_TRUE(Match("Name", Variant("\xC3\xA9t\xC3"), {loPartialKey, loCaseInsensitive}));
  EXPECT_FALSE(Match("Name", Variant("\xC4"), {loPartialKey}));
}

TEST_F(MatchRecordTest, NullsAndOtherTypes) {
  EXPECT_TRUE(Match("Code", Variant::Null()));
  EXPECT_FALSE(Match("Qty", Variant::Null()));
  EXPECT_FALSE(Match("Code", Variant(0)));
  EXPECT_TRUE(Match("Qty", Variant("7")));
  EXPECT_TRUE(Match("InactiveAcct", Variant("True")));
  EXPECT_TRUE(Match("Order Date", Variant("1/1/2015")));
  EXPECT_FALSE(Match("Order Date", Variant("1/2/2015")));
}

TEST_F(MatchRecordTest, EveryKeyFieldMustMatch) {
  EXPECT_TRUE(MatchRecord(ds.get(), "Qty;Name", VarArrayOf({Variant(7), Variant("Smith")}), {}));
  EXPECT_FALSE(MatchRecord(ds.get(), "Qty;Name", VarArrayOf({Variant(8), Variant("Smith")}), {}));
  EXPECT_TRUE(MatchRecord(ds.get(), "Name", Variant("Smi"), {loPartialKey}));
  EXPECT_THROW(MatchRecord(ds.get(), "Nope", Variant(1), {}), EDatabaseError);
}

}  // namespace
}  // namespace dac::filtertest
