// Opening tables over the real engine and reading them: field definitions
// from the column catalog, every column type in its field form (NULLs
// included), walks in both directions, record counts, record numbers and
// bookmarks, and the empty and one-record edge cases.

#include <gtest/gtest.h>

#include "errors/pv_errors.h"
#include "platform/db/numeric_fields.h"
#include "platform/rtl/datetime.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Bytes;
using tabletest::ColDef;
using tabletest::Decimal;
using tabletest::Row;
using tabletest::TimeStampForm;
using tabletest::Words;
using tabletest::Z;

class TPvTableRead : public tabletest::TableTest {
 protected:
  // Columns of (almost) every type; I32 identifies the row.
  void CreateAllTypes() {
    auto ids = Create("AllTypes", {
                                      {"B", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                                      {"I8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1},
                                      {"U8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1},
                                      {"I16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                                      {"U16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2},
                                      {"I32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                      {"CUR", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_CURRENCY), 8},
                                      {"F8", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
                                      {"TS", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8},
                                      {"TXT", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
                                      {"DT", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4},
                                      {"TM", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4},
                                      {"DEC", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 10, 10, 2},
                                      {"ZS", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12},
                                      {"LT", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT), 0},
                                  });
    const std::optional<Bytes> null;
    Insert("AllTypes", ids,
           {
               Row{B(uint8_t{1}), B(int8_t{-5}), B(uint8_t{200}), B(int16_t{-1234}), B(uint16_t{60000}),
                   B(int32_t{1}), B(int64_t{123456}), B(2.5), TimeStampForm(2024, 2, 29, 13, 45, 30),
                   Bytes{'a', 'b', 'c'}, Words({2023, 12, 31}), Words({8, 30, 15}), Decimal(-2, 123456),
                   Z("hello"), null},
               Row{null, null, null, null, null, B(int32_t{2}), null, null, null, null, null, null, null, null,
                   null},
               Row{B(uint8_t{0}), B(int8_t{127}), B(uint8_t{0}), B(int16_t{32767}), B(uint16_t{1}), B(int32_t{3}),
                   B(int64_t{-10000}), B(-0.125), TimeStampForm(0, 0, 0, 0, 0, 0), Z("0123456789"),
                   Words({0, 0, 0}), Words({0, 0, 0}), Decimal(-2, -1), Z("x  "), null},
           });
  }

  // Checks the record with the given I32 against what CreateAllTypes wrote.
  static void ExpectRow(TPvTable* t, int32_t id) {
    SCOPED_TRACE("row " + std::to_string(id));
    auto f = [t](const char* n) { return t->FieldByName(n); };
    ASSERT_EQ(f("I32")->AsInteger(), id);
    if (id == 1) {
      EXPECT_TRUE(f("B")->AsBoolean());
      EXPECT_EQ(f("I8")->AsInteger(), -5);  // the sign of a one-byte integer is kept
      EXPECT_EQ(f("U8")->AsInteger(), 200);
      EXPECT_EQ(f("I16")->AsInteger(), -1234);
      EXPECT_EQ(f("U16")->AsInteger(), 60000);
      EXPECT_EQ(f("CUR")->AsCurrency().Value, 123456);
      EXPECT_DOUBLE_EQ(f("F8")->AsFloat(), 2.5);
      EXPECT_DOUBLE_EQ(f("TS")->AsDateTime(), EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 0));
      EXPECT_EQ(f("TXT")->AsString(), "abc");  // blank padding removed
      EXPECT_DOUBLE_EQ(f("DT")->AsDateTime(), EncodeDate(2023, 12, 31));
      EXPECT_DOUBLE_EQ(f("TM")->AsDateTime(), EncodeTime(8, 30, 15, 0));
      EXPECT_EQ(f("DEC")->AsCurrency().Value, 12345600);
      EXPECT_EQ(f("ZS")->AsString(), "hello");
    } else if (id == 2) {
      for (const char* n : {"B", "I8", "U8", "I16", "U16", "CUR", "F8", "TS", "TXT", "DT", "TM", "DEC", "ZS"})
        EXPECT_TRUE(f(n)->IsNull()) << n;
    } else {
      EXPECT_FALSE(f("B")->IsNull());
      EXPECT_FALSE(f("B")->AsBoolean());
      EXPECT_EQ(f("I8")->AsInteger(), 127);
      EXPECT_EQ(f("U8")->AsInteger(), 0);
      EXPECT_EQ(f("I16")->AsInteger(), 32767);
      EXPECT_EQ(f("CUR")->AsCurrency().Value, -10000);
      EXPECT_DOUBLE_EQ(f("F8")->AsFloat(), -0.125);
      EXPECT_TRUE(f("TS")->IsNull());  // zero timestamps and dates read as NULL
      EXPECT_TRUE(f("DT")->IsNull());
      EXPECT_EQ(f("TXT")->AsString(), "0123456789");
      EXPECT_EQ(f("DEC")->AsCurrency().Value, -100);
      EXPECT_EQ(f("ZS")->AsString(), "x  ");  // NUL-terminated text keeps its blanks
    }
    EXPECT_TRUE(f("LT")->IsNull());
  }
};

TEST_F(TPvTableRead, FieldDefinitionsFollowTheColumnCatalog) {
  CreateAllTypes();
  auto t = Table("AllTypes");
  t->Open();
  TFieldDefs* d = t->FieldDefs();
  ASSERT_EQ(d->Count(), 15);
  auto type = [d](const char* n) { return d->Find(n)->DataType(); };
  EXPECT_EQ(type("B"), ftBoolean);
  EXPECT_EQ(type("I8"), ftSmallint);
  EXPECT_EQ(type("U8"), ftWord);
  EXPECT_EQ(type("I16"), ftSmallint);
  EXPECT_EQ(type("U16"), ftWord);
  EXPECT_EQ(type("I32"), ftInteger);
  EXPECT_EQ(type("CUR"), ftCurrency);
  EXPECT_EQ(type("F8"), ftFloat);
  EXPECT_EQ(type("TS"), ftDateTime);
  EXPECT_EQ(type("TXT"), ftString);
  EXPECT_EQ(d->Find("TXT")->Size(), 10);
  EXPECT_EQ(type("DT"), ftDate);
  EXPECT_EQ(type("TM"), ftTime);
  EXPECT_EQ(type("DEC"), ftBCD);
  EXPECT_EQ(d->Find("DEC")->Size(), 2);
  EXPECT_EQ(d->Find("DEC")->Precision(), 10);
  EXPECT_EQ(type("ZS"), ftString);
  EXPECT_EQ(type("LT"), ftMemo);
  // One blob field: its cache slot sits between the calculated-field area
  // and the record info.
  EXPECT_EQ(t->BlobCacheOfs(), t->GetColumnCatalog()->RecordSize() + static_cast<uint32_t>(t->CalcFieldsSize()));
  EXPECT_EQ(t->RecInfoOfs(), t->BlobCacheOfs() + sizeof(void*));
  EXPECT_EQ(t->BookmarkOfs(), t->RecInfoOfs() + 8);
  EXPECT_EQ(t->RecBufSize(), t->BookmarkOfs() + 4);
  EXPECT_TRUE(t->CanModify());
}

TEST_F(TPvTableRead, WalksForwardAndBackReadingEveryValue) {
  CreateAllTypes();
  auto t = Table("AllTypes");
  t->Open();
  EXPECT_EQ(t->RecordCount(), 3);
  // The first record is current right after opening: the fetch that
  // follows the move to the first record returns that record itself.
  ExpectRow(t.get(), 1);
  EXPECT_EQ(t->RecNo(), 1);
  t->Next();
  ExpectRow(t.get(), 2);
  t->Next();
  ExpectRow(t.get(), 3);
  EXPECT_EQ(t->RecNo(), 3);
  t->Next();
  EXPECT_TRUE(t->Eof());
  ExpectRow(t.get(), 3);

  t->Last();
  ExpectRow(t.get(), 3);
  EXPECT_EQ(t->RecNo(), 3);
  t->Prior();
  ExpectRow(t.get(), 2);
  EXPECT_EQ(t->RecNo(), 2);
  t->Prior();
  ExpectRow(t.get(), 1);
  t->Prior();
  EXPECT_TRUE(t->Bof());
  ExpectRow(t.get(), 1);
  EXPECT_EQ(t->RecNo(), 1);
  t->Close();
  EXPECT_EQ(t->Handle(), 0u);
}

TEST_F(TPvTableRead, LongWalkMatchesEngineOrderBothWays) {
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 57; ++i) values.push_back((i * 37) % 101);
  NumberTable("Many", values);
  auto t = Table("Many");
  t->Open();
  EXPECT_EQ(Walk(t.get()), values);
  std::vector<int32_t> back(values.rbegin(), values.rend());
  EXPECT_EQ(Walk(t.get(), false), back);
  t->First();
  EXPECT_EQ(t->MoveBy(56), 56);
  EXPECT_EQ(t->RecNo(), 57);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), values.back());
}

TEST_F(TPvTableRead, EmptyTable) {
  NumberTable("Empty", {});
  auto t = Table("Empty");
  t->Open();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_TRUE(t->Bof());
  EXPECT_TRUE(t->Eof());
  EXPECT_TRUE(t->IsDatasetEmpty());
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_TRUE(t->FieldByName("N")->IsNull());
  t->Last();
  t->Next();
  t->Prior();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_FALSE(t->GetCurrentRecord(t->TempBuffer()));
  EXPECT_TRUE(t->GetBookmark().empty());
  t->SetRecNo(1);  // no position to go to; nothing happens
  EXPECT_TRUE(t->IsEmpty());
}

TEST_F(TPvTableRead, OneRecordTable) {
  NumberTable("One", {42});
  auto t = Table("One");
  t->Open();
  EXPECT_FALSE(t->IsEmpty());
  EXPECT_FALSE(t->IsDatasetEmpty());
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 42);
  EXPECT_EQ(t->RecNo(), 1);
  t->Next();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 42);
  t->Last();
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_EQ(Walk(t.get()), std::vector<int32_t>{42});
  EXPECT_EQ(Walk(t.get(), false), std::vector<int32_t>{42});
  EXPECT_TRUE(t->GetCurrentRecord(t->TempBuffer()));
}

TEST_F(TPvTableRead, BookmarksReturnToTheirRecord) {
  NumberTable("Marks", {10, 20, 30, 40, 50});
  auto t = Table("Marks");
  t->Open();
  t->Next();
  TBookmark second = t->GetBookmark();
  ASSERT_EQ(second.size(), 4u);
  t->Last();
  TBookmark last = t->GetBookmark();
  EXPECT_EQ(t->CompareBookmarks(second, last), -1);
  EXPECT_EQ(t->CompareBookmarks(last, second), 1);
  EXPECT_EQ(t->CompareBookmarks(second, second), 0);
  t->GotoBookmark(second);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 20);
  t->Next();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
  EXPECT_TRUE(t->BookmarkValid(last));
  EXPECT_FALSE(t->BookmarkValid(TBookmark{}));
  EXPECT_FALSE(t->BookmarkValid(TBookmark{0xF0, 0xFF, 0xFF, 0x7F}));
  // A jump to a record that is gone is not an error: the dataset stays put.
  t->GotoBookmark(second);
  t->GotoBookmark(TBookmark{0xF0, 0xFF, 0xFF, 0x7F});
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 20);
  t->Next();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
  // Bookmarks compare as unsigned numbers.
  EXPECT_EQ(t->CompareBookmarks(TBookmark{0xFF, 0xFF, 0xFF, 0xFF}, TBookmark{0x01, 0, 0, 0}), 1);
  EXPECT_EQ(t->CompareBookmarks(TBookmark{}, TBookmark{0x01, 0, 0, 0}), -1);
}

TEST_F(TPvTableRead, RecordNumbersAtBothEndsAndSettingThem) {
  std::vector<int32_t> values;
  for (int32_t i = 1; i <= 30; ++i) values.push_back(i);
  NumberTable("Nums", values);
  auto t = Table("Nums");
  t->Open();
  EXPECT_EQ(t->RecNo(), 1);
  t->Last();
  EXPECT_EQ(t->RecNo(), 30);
  t->SetRecNo(1);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 1);
  t->SetRecNo(30);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 30);
  t->SetRecNo(15);
  const int32_t middle = t->FieldByName("N")->AsInteger();
  EXPECT_NEAR(middle, 15, 1);
  EXPECT_NEAR(t->RecNo(), 15, 1);
  // Moving on from there continues in table order.
  t->Next();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), middle + 1);
}

TEST_F(TPvTableRead, ColumnsDifferingOnlyInCaseGetSuffixes) {
  auto ids = Create("Cases", {
                                 {"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                 {"ID", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                 {"iD", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                             });
  Insert("Cases", ids, {Row{B(int32_t{1}), B(int32_t{2}), B(int32_t{3})}});
  auto t = Table("Cases");
  t->Open();
  ASSERT_EQ(t->FieldCount(), 3);
  EXPECT_EQ(t->Fields()->Fields(0)->FieldName(), "Id");
  EXPECT_EQ(t->Fields()->Fields(1)->FieldName(), "ID_1");
  EXPECT_EQ(t->Fields()->Fields(2)->FieldName(), "iD_2");
  EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 1);
  EXPECT_EQ(t->FieldByName("ID_1")->AsInteger(), 2);
  EXPECT_EQ(t->FieldByName("iD_2")->AsInteger(), 3);
}

TEST_F(TPvTableRead, ThirdClashingNameCountsOn) {
  Create("Clash", {
                      {"a", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                      {"A", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                      {"a_1", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                  });
  auto t = Table("Clash");
  t->FieldDefs()->Update();  // through a temporary handle, the table stays closed
  EXPECT_FALSE(t->Active());
  ASSERT_EQ(t->FieldDefs()->Count(), 3);
  EXPECT_EQ(t->FieldDefs()->Items(1)->Name(), "A_1");
  EXPECT_EQ(t->FieldDefs()->Items(2)->Name(), "a_1_1");
}

}  // namespace

namespace {

using namespace dac;

class TPvTableCalcFields : public tabletest::TableTest {};

TEST_F(TPvTableCalcFields, CalculatedFieldsLiveBehindTheRecordData) {
  NumberTable("Nums", {4, 5});
  auto t = Table("Nums");
  t->FieldDefs()->Update();
  t->FieldDefs()->Items(0)->CreateField(t.get());
  TField* twice = dac::Create<TIntegerField>(t.get());
  twice->SetFieldName("Twice");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(t.get());
  int calls = 0;
  t->OnCalcFields = [&](TDataSet* d) {
    ++calls;
    if (d->FieldByName("N")->AsInteger() == 5) return;  // left NULL
    d->FieldByName("Twice")->SetAsInteger(d->FieldByName("N")->AsInteger() * 2);
  };
  t->Open();
  EXPECT_EQ(t->CalcFieldsSize(), twice->DataSize() + 1);
  // No blob fields: the record info follows the calculated-field area.
  EXPECT_EQ(t->BlobCacheOfs(), t->RecInfoOfs());
  EXPECT_EQ(t->RecInfoOfs(), t->GetColumnCatalog()->RecordSize() + static_cast<uint32_t>(t->CalcFieldsSize()));
  EXPECT_EQ(twice->AsInteger(), 8);
  t->Next();
  EXPECT_TRUE(twice->IsNull());
  EXPECT_GE(calls, 2);
  // Writing a data field outside edit mode is refused.
  EXPECT_THROW(t->FieldByName("N")->SetAsInteger(1), EDatabaseError);
}

}  // namespace
