// Record constraints and default expressions: how each kind is parsed,
// the retry with the field's own name, and evaluation on a record.

#include <gtest/gtest.h>

#include "filter/constraint_collection.h"
#include "filter_test_support.h"

namespace dac::filtertest {
namespace {

class TConstraintCollectionTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  TConstraintCollection checks{nullptr};
  TConstraintCollection defaults{nullptr};
};

TEST_F(TConstraintCollectionTest, CheckConstraintsCompareWholeValues) {
  TConstraintItem* item = checks.AddCheckConstraint(ds.get(), "Name = 'Sm*' AND Qty > 0", "bad name");
  EXPECT_EQ(item->FieldNum(), -1);
  EXPECT_EQ(item->ErrorMessage(), "bad name");
  EXPECT_EQ(TBufferReader(item->Parser()->FilterData()).Text(),
            "AND(EQ(Name#1, ftString:'Sm*'), GT(Qty#6, ftInteger:0))")
      << "no prefix compares in constraints";
  AddRecord(ds.get(), {{"Name", Variant("Sm*")}, {"Qty", Variant(1)}});
  EXPECT_TRUE(item->Verify(ds.get()));
  ds->Edit();
  ds->FieldByName("Name")->SetAsString("Smith");
  EXPECT_FALSE(item->Verify(ds.get()));
  ds->Cancel();
}

TEST_F(TConstraintCollectionTest, FieldConstraintsFallBackToTheFieldsName) {
  TField* qty = ds->FieldByName("Qty");
  TConstraintItem* plain = checks.AddFieldConstraint(ds.get(), qty, "Qty < 100", "too many");
  EXPECT_EQ(plain->FieldNum(), -1);
  TConstraintItem* own = checks.AddFieldConstraint(ds.get(), qty, "Value > 0 AND Value < 10", "out of range");
  EXPECT_EQ(own->FieldNum(), qty->Index());
  EXPECT_EQ(TBufferReader(own->Parser()->FilterData()).Text(), "AND(GT(Qty#6, ftInteger:0), LT(Qty#6, ftInteger:10))");
  AddRecord(ds.get(), {{"Qty", Variant(12)}});
  EXPECT_TRUE(plain->Verify(ds.get()));
  EXPECT_FALSE(own->Verify(ds.get()));
  // When even the field's own name does not make it parse, nothing is added.
  EXPECT_THROW(checks.AddFieldConstraint(ds.get(), qty, "Value >", "x"), EDatabaseError);
  EXPECT_EQ(checks.Count(), 2);
}

TEST_F(TConstraintCollectionTest, DefaultExpressionsAssign) {
  TField* when = ds->FieldByName("Order Date");
  when->SetDefaultExpression("'1/2/2015'");
  TField* qty = ds->FieldByName("Qty");
  qty->SetDefaultExpression("7");
  TConstraintItem* d1 = defaults.AddDefaultExpression(ds.get(), when);
  TConstraintItem* d2 = defaults.AddDefaultExpression(ds.get(), qty);
  EXPECT_EQ(d1->FieldNum(), when->Index());
  EXPECT_EQ(d2->ErrorMessage(), "");
  ds->Append();
  for (int32_t i = 0; i < defaults.Count(); ++i) defaults[i]->Verify(ds.get());
  EXPECT_EQ(when->AsDateTime(), 42006);
  EXPECT_EQ(qty->AsInteger(), 7);
  ds->Cancel();
  qty->SetDefaultExpression("'many'");
  EXPECT_THROW(defaults.AddDefaultExpression(ds.get(), qty), EDatabaseError);
  EXPECT_EQ(defaults.Count(), 2);
}

TEST_F(TConstraintCollectionTest, TypedAccess) {
  TConstraintItem* a = checks.Add();
  TConstraintItem* b = checks.Insert(0);
  EXPECT_EQ(checks[0], b);
  EXPECT_EQ(checks.Items(1), a);
  EXPECT_EQ(checks.FindItemID(a->ID()), a);
  EXPECT_EQ(a->Parser(), nullptr);
  EXPECT_TRUE(a->Verify(ds.get())) << "nothing parsed passes";
}

}  // namespace
}  // namespace dac::filtertest
