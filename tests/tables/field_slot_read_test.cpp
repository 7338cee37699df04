// Fields of a table read their values straight from the record slot while
// the table browses. These tests compare every read with the same read
// through the dataset's GetFieldData, over every column type with values and
// NULLs, and check that the states whose reads come from another buffer
// (key editing, editing, calculated fields) never take the direct path.

#include <gtest/gtest.h>

#include "platform/db/numeric_fields.h"
#include "platform/rtl/datetime.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Bytes;
using tabletest::Decimal;
using tabletest::Row;
using tabletest::TimeStampForm;
using tabletest::Words;
using tabletest::Z;

class TPvTableFieldSlots : public tabletest::TableTest {
 protected:
  // Every column type the layer reads into a slot, I32 numbering the rows.
  void CreateEveryType() {
    auto ids = Create("Every", {
                                   {"I32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                   {"B", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                                   {"I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1},
                                   {"U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1},
                                   {"I16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                                   {"U16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2},
                                   {"U32", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT32), 4},
                                   {"CUR", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_CURRENCY), 8},
                                   {"F4", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4},
                                   {"F8", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
                                   {"TS", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
                                   {"BIN", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 4},
                                   {"TXT", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
                                   {"DT", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4},
                                   {"TM", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4},
                                   {"DEC", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 10, 10, 2},
                                   {"ZS", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12},
                                   {"VB", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_VARBINARY), 8},
                                   {"LT", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT), 0},
                               });
    const std::optional<Bytes> null;
    Insert("Every", ids,
           {
               Row{B(int32_t{1}), B(uint8_t{1}), B(int8_t{-5}), B(uint8_t{200}), B(int16_t{-1234}),
                   B(uint16_t{60000}), B(uint32_t{4000000000u}), B(int64_t{123456}), B(1.5f), B(2.5),
                   TimeStampForm(2024, 2, 29, 13, 45, 30), Bytes{1, 2, 3, 4}, Bytes{'a', 'b', 'c'},
                   Words({2023, 12, 31}), Words({8, 30, 15}), Decimal(-2, 123456), Z("hello"), Bytes{9, 8, 7}, null},
               Row{B(int32_t{2}), null, null, null, null, null, null, null, null, null, null, null, null, null, null,
                   null, null, null, null},
               Row{B(int32_t{3}), B(uint8_t{0}), B(int8_t{127}), B(uint8_t{0}), B(int16_t{32767}), B(uint16_t{1}),
                   B(uint32_t{7}), B(int64_t{-10000}), B(-0.25f), B(-0.125), TimeStampForm(0, 0, 0, 0, 0, 0),
                   Bytes{0, 0, 0, 0}, Z("0123456789"), Words({0, 0, 0}), Words({0, 0, 0}), Decimal(-2, -1),
                   Z("x  "), Bytes{5}, null},
           });
  }

  // The value and text of a field read through the dataset, with its slot
  // switched off for the read.
  static std::pair<Variant, std::string> ThroughDataSet(TField* f) {
    const int32_t slot = f->RecordSlot();
    f->SetRecordSlot(-1);
    std::pair<Variant, std::string> r{f->Value(), f->IsNull() ? std::string("<null>") : f->Text()};
    f->SetRecordSlot(slot);
    return r;
  }

  // Every field of the current record reads the same both ways.
  static void ExpectSameBothWays(TPvTable* t) {
    for (TField* f : t->Fields()->List()) {
      SCOPED_TRACE(f->FieldName() + " of row " + std::to_string(t->FieldByName("I32")->AsInteger()));
      const auto [value, text] = ThroughDataSet(f);
      EXPECT_EQ(f->IsNull(), value.IsNull());
      EXPECT_TRUE(f->Value().Identical(value)) << f->Value().AsString() << " / " << value.AsString();
      EXPECT_EQ(f->IsNull() ? std::string("<null>") : f->Text(), text);
    }
  }
};

TEST_F(TPvTableFieldSlots, OnlyFieldsWhoseSlotHoldsTheirValueReadItDirectly) {
  CreateEveryType();
  auto t = Table("Every");
  t->Open();
  for (TField* f : t->Fields()->List()) {
    const std::string n = f->FieldName();
    // The unsigned 32-bit column is widened into a 64-bit field, and a long
    // column's slot holds only whether it has a value.
    if (n == "U32" || n == "LT")
      EXPECT_EQ(f->RecordSlot(), -1) << n;
    else
      EXPECT_GE(f->RecordSlot(), 0) << n;
  }
  EXPECT_EQ(t->FieldByName("U32")->AsLargeInt(), 4000000000);
  t->Close();
  for (TField* f : t->Fields()->List()) EXPECT_EQ(f->RecordSlot(), -1) << f->FieldName();
}

TEST_F(TPvTableFieldSlots, EveryTypeReadsTheSameAsThroughTheDataSet) {
  CreateEveryType();
  auto t = Table("Every");
  t->Open();
  int32_t rows = 0;
  for (t->First(); !t->Eof(); t->Next(), ++rows) ExpectSameBothWays(t.get());
  EXPECT_EQ(rows, 3);
  for (t->Last(); !t->Bof(); t->Prior()) ExpectSameBothWays(t.get());
  // Spot checks that the comparison compares values.
  t->First();
  EXPECT_EQ(t->FieldByName("I8")->AsInteger(), -5);
  EXPECT_DOUBLE_EQ(t->FieldByName("TS")->AsDateTime(), EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 0));
  EXPECT_DOUBLE_EQ(t->FieldByName("F4")->AsFloat(), 1.5);
  EXPECT_EQ(t->FieldByName("DEC")->AsCurrency().Value, 12345600);
  EXPECT_EQ(t->FieldByName("TXT")->AsString(), "abc");
  EXPECT_EQ(t->FieldByName("VB")->AsBytes(), (TBytes{9, 8, 7, 0, 0, 0, 0, 0}));
  t->Next();
  EXPECT_TRUE(t->FieldByName("ZS")->IsNull());
  EXPECT_EQ(t->FieldByName("ZS")->AsString(), "");
}

TEST_F(TPvTableFieldSlots, AnEmptyTableReadsNull) {
  CreateEveryType();
  auto t = Table("Every");
  t->Open();
  while (!t->IsEmpty()) t->Delete();
  for (TField* f : t->Fields()->List()) {
    EXPECT_TRUE(f->IsNull()) << f->FieldName();
    EXPECT_TRUE(f->Value().IsNull()) << f->FieldName();
  }
}

TEST_F(TPvTableFieldSlots, OtherStatesReadTheirOwnBuffer) {
  CreateEveryType();
  auto t = Table("Every");
  t->Open();
  TField* id = t->FieldByName("I32");
  TField* text = t->FieldByName("TXT");
  ASSERT_GE(id->RecordSlot(), 0);
  // Key editing reads the key buffer, not the record.
  t->SetKey();
  id->SetAsInteger(3);
  EXPECT_EQ(id->AsInteger(), 3);
  EXPECT_TRUE(text->IsNull());
  t->Cancel();
  EXPECT_EQ(id->AsInteger(), 1);
  // Editing reads the record being edited, and after a cancel the record.
  t->Edit();
  text->SetAsString("changed");
  EXPECT_EQ(text->AsString(), "changed");
  t->Cancel();
  EXPECT_EQ(text->AsString(), "abc");
  // After a post the browsing read sees the stored value.
  t->Edit();
  text->SetAsString("posted");
  t->Post();
  EXPECT_EQ(text->AsString(), "posted");
  t->Refresh();
  EXPECT_EQ(text->AsString(), "posted");
}

// A calculated field computed from a data field reads it from the record
// being fetched (dsCalcFields), not from the active one.
TEST_F(TPvTableFieldSlots, CalculatedFieldsSeeTheRecordBeingFetched) {
  CreateEveryType();
  auto t = Table("Every");
  t->FieldDefs()->Update();
  t->FieldDefs()->Find("I32")->CreateField(t.get());
  TField* doubled = dac::Create<TIntegerField>(t.get());
  doubled->SetFieldName("Doubled");
  doubled->SetFieldKind(fkCalculated);
  doubled->SetDataSet(t.get());
  t->OnCalcFields = [](TDataSet* d) {
    d->FieldByName("Doubled")->SetAsInteger(d->FieldByName("I32")->AsInteger() * 2);
  };
  t->Open();
  ASSERT_GE(t->FieldByName("I32")->RecordSlot(), 0);
  std::vector<int32_t> seen;
  for (t->First(); !t->Eof(); t->Next()) seen.push_back(doubled->AsInteger());
  EXPECT_EQ(seen, (std::vector<int32_t>{2, 4, 6}));
  for (t->Last(); !t->Bof(); t->Prior()) seen.push_back(doubled->AsInteger());
  EXPECT_EQ(seen, (std::vector<int32_t>{2, 4, 6, 6, 4, 2}));
}

}  // namespace
