// Record numbers of a table: read inside calculated fields without moving
// the engine, clamped to a real record's range on large tables, and a table
// opened empty that sees records another session added.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/db/numeric_fields.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;

class TPvDrmDataSetRecNo : public tabletest::TableTest {
 protected:
  // Appends values to table Nums through the raw engine session, in one
  // transaction (fast for many rows).
  void Append(const std::string& table, int32_t from, int32_t to) {
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, table.c_str(), 0, 0, &t), 0);
    ASSERT_EQ(RareSetTransact(RS, DRM_TRANS_START, "bulk"), 0);
    for (int32_t v = from; v <= to; ++v) {
      ASSERT_EQ(RareInitUpdate(RS, t, DRM_INITUPD_NEW), 0);
      ASSERT_EQ(RareSetColumn(RS, t, 1, &v, 4, 0, 0, 0), 0);
      ASSERT_EQ(RareUpdateRecord(RS, t), 0);
    }
    ASSERT_EQ(RareSetTransact(RS, DRM_TRANS_COMMIT, "bulk"), 0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
  }
};

TEST_F(TPvDrmDataSetRecNo, ReadingRecNoInCalculatedFieldsDoesNotDisturbTheWalk) {
  std::vector<int32_t> values;
  for (int32_t i = 1; i <= 25; ++i) values.push_back(i);
  NumberTable("Nums", values);
  auto t = Table("Nums");
  t->FieldDefs()->Update();
  t->FieldDefs()->Items(0)->CreateField(t.get());
  TField* number = dac::Create<TIntegerField>(t.get());
  number->SetFieldName("Number");
  number->SetFieldKind(fkCalculated);
  number->SetDataSet(t.get());
  t->OnCalcFields = [&](TDataSet* d) { d->FieldByName("Number")->SetAsInteger(d->RecNo()); };
  t->Open();
  std::vector<int32_t> seen, numbers;
  for (t->First(); !t->Eof(); t->Next()) {
    seen.push_back(t->FieldByName("N")->AsInteger());
    numbers.push_back(number->AsInteger());
  }
  EXPECT_EQ(seen, values);
  // Each record's own number, never the one of the record fetched before.
  for (size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_GE(numbers[i], 1) << i;
    EXPECT_LE(numbers[i], 25) << i;
    if (i > 0) {
      EXPECT_GE(numbers[i], numbers[i - 1]) << i;
    }
  }
  EXPECT_EQ(numbers.back(), 25);
}

TEST_F(TPvDrmDataSetRecNo, EstimatesStayWithinTheRecords) {
  NumberTable("Nums", {});
  Append("Nums", 1, 30000);
  auto t = Table("Nums");
  t->Open();
  for (int i = 1; i <= 5; ++i) {
    EXPECT_GE(t->RecNo(), 1) << "record " << i;
    t->Next();
  }
  t->Last();
  EXPECT_EQ(t->RecNo(), 30000);
}

TEST_F(TPvDrmDataSetRecNo, ATableOpenedEmptySeesRecordsAddedLater) {
  NumberTable("Nums", {});
  auto t = Table("Nums");
  t->Open();
  EXPECT_TRUE(t->IsEmpty());
  Append("Nums", 1, 1);
  t->Refresh();
  EXPECT_FALSE(t->IsEmpty());
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 1);

  auto u = Table("Nums");
  u->SetName("T2");
  NumberTable("Empty", {});
  u->SetTableName("Empty");
  u->Open();
  EXPECT_TRUE(u->IsEmpty());
  Append("Empty", 5, 5);
  u->Last();
  EXPECT_FALSE(u->IsEmpty());
  EXPECT_EQ(u->FieldByName("N")->AsInteger(), 5);
}

}  // namespace
