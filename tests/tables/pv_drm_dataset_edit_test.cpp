// Editing real engine tables through TPvTable: every column type written and
// read back (NULLs included), the engine's initial values of a new record,
// edit, post, cancel, delete and refresh, values a column cannot hold,
// failed posts, OnSetField, read-only fields, calculated fields,
// AppendRecord and InsertRecord, transactions and the edit trace. What was
// written is checked against what the engine itself holds.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "errors/pv_errors.h"
#include "errors/trace.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/string_field.h"
#include "platform/rtl/datetime.h"
#include "sessions/database.h"
#include "support/message_of.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Bytes;
using tabletest::ColDef;
using tabletest::Row;
using tabletest::Words;
using tabletest::Z;
using testsupport::MessageOf;
using ::testing::HasSubstr;

class TPvTableEdit : public tabletest::TableTest {
 protected:
  std::vector<uint32_t> ids;

  void CreateAllTypes() { ids = Create("AllTypes", tabletest::AllTypeColumns()); }

  // The engine bytes of column Id in the k-th record (bookmark order) of
  // Table, read through the raw session; nullopt for NULL.
  std::optional<Bytes> Raw(const std::string& Table, uint32_t Id, int k = 0) {
    uint32_t t = 0;
    EXPECT_EQ(RareOpenTable(RS, RD, Table.c_str(), 0, 0, &t), 0);
    EXPECT_EQ(RareMove(RS, t, DRM_MOVE_FIRST), 0);
    for (int i = 0; i < k; ++i) EXPECT_EQ(RareMove(RS, t, DRM_MOVE_NEXT), 0);
    uint8_t buffer[64] = {};
    uint32_t length = 0;
    const int32_t s = RareRetrieveColumn(RS, t, Id, buffer, sizeof buffer, &length, nullptr);
    RareCloseTable(RS, t);
    if (s == DRM_WARN_NULL) return std::nullopt;
    EXPECT_EQ(s, 0);
    return Bytes(buffer, buffer + length);
  }

  uint32_t EngineCount(const std::string& Table) {
    uint32_t t = 0, n = 0;
    EXPECT_EQ(RareOpenTable(RS, RD, Table.c_str(), 0, 0, &t), 0);
    EXPECT_EQ(RareGetRecordCount(t, &n), 0);
    RareCloseTable(RS, t);
    return n;
  }

  // A table Items(N int32 required, Name text 8) with a unique index on N.
  void CreateItems(const std::vector<std::pair<int32_t, std::string>>& Rows) {
    uint32_t t = 0;
    ASSERT_EQ(RareCreateTable(RS, RD, "Items", &t), 0);
    DRM_ColumnStruct c{};
    c.StructSize = sizeof c;
    c.ColTyp = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);
    c.cbMax = 4;
    c.grBit = DRM_COLFLAG_REQUIRED;
    uint32_t id = 0;
    ASSERT_EQ(RareCreateColumn(RS, t, "N", &c, &id), 0);
    ids = {id};
    c.ColTyp = DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT);
    c.cbMax = 8;
    c.grBit = 0;
    ASSERT_EQ(RareCreateColumn(RS, t, "Name", &c, &id), 0);
    ids.push_back(id);
    const char spec[] = "+N\0";
    ASSERT_EQ(RareCreateIndex(RS, t, "ByN", DRM_IDXFLAG_UNIQUE, spec, sizeof spec, 0), 0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
    std::vector<Row> rows;
    for (const auto& [n, name] : Rows) rows.push_back(Row{B(n), Z(name)});
    Insert("Items", ids, rows);
  }

  // A text of the Items table as the engine holds it: blank-padded.
  static Bytes Padded(const std::string& Text) {
    Bytes b(Text.begin(), Text.end());
    b.resize(8, ' ');
    return b;
  }

  static std::string Names(TPvTable* t) {
    std::string s;
    for (t->First(); !t->Eof(); t->Next()) s += (s.empty() ? "" : " ") + t->FieldByName("Name")->AsString();
    return s;
  }
};

TEST_F(TPvTableEdit, EveryColumnTypeIsWrittenAndReadBack) {
  CreateAllTypes();
  auto t = Table("AllTypes");
  t->Open();
  ASSERT_TRUE(t->IsEmpty());
  auto f = [&](const char* n) { return t->FieldByName(n); };
  const TDateTime ts = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 500);
  t->Append();
  f("B")->SetAsBoolean(true);
  f("I8")->SetAsInteger(-100);
  f("U8")->SetAsInteger(250);
  f("I16")->SetAsInteger(-30000);
  f("U16")->SetAsInteger(65000);
  f("I32")->SetAsInteger(-2000000000);
  f("U32")->SetAsLargeInt(4000000000);
  f("CUR")->SetAsCurrency(Currency::FromRaw(123456));
  f("F4")->SetAsFloat(1.5);
  f("F8")->SetAsFloat(-2.25);
  f("TS")->SetAsDateTime(ts);
  f("TXT")->SetAsString("0123456789");  // exactly the column's length
  f("DT")->SetAsDateTime(EncodeDate(2023, 12, 31));
  f("TM")->SetAsDateTime(EncodeTime(8, 30, 15, 0));
  f("DEC")->SetAsString("12345678.91");
  f("ZS")->SetAsString("twelve chars");
  f("BIN")->SetAsBytes({1, 2, 3, 4});
  t->Post();
  // A second record left as it started: every column NULL.
  t->Append();
  t->Post();
  EXPECT_EQ(t->RecordCount(), 2);
  t->Close();

  // What the engine holds.
  EXPECT_EQ(Raw("AllTypes", ids[1]), B(int8_t{-100}));
  EXPECT_EQ(Raw("AllTypes", ids[2]), B(uint8_t{250}));
  EXPECT_EQ(Raw("AllTypes", ids[6]), B(uint32_t{4000000000u})) << "four bytes, unsigned";
  EXPECT_EQ(Raw("AllTypes", ids[7]), B(int64_t{123456}));
  EXPECT_EQ(Raw("AllTypes", ids[8]), B(1.5f));
  EXPECT_EQ(Raw("AllTypes", ids[12]), Words({2023, 12, 31}));
  EXPECT_EQ(Raw("AllTypes", ids[13]), Words({8, 30, 15}));
  EXPECT_EQ(Raw("AllTypes", ids[16]), (Bytes{1, 2, 3, 4}));
  Bytes stamp = *Raw("AllTypes", ids[10]);
  ASSERT_EQ(stamp.size(), 16u);
  EXPECT_EQ(Bytes(stamp.begin(), stamp.begin() + 12), Words({2024, 2, 29, 13, 45, 30}));
  uint32_t fraction = 0;
  std::memcpy(&fraction, stamp.data() + 12, 4);
  EXPECT_EQ(fraction, 5000000u) << "500 ms";
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_FALSE(Raw("AllTypes", ids[i], 1).has_value()) << i;

  // What a fresh table reads.
  auto r = Table("AllTypes");
  r->Open();
  auto g = [&](const char* n) { return r->FieldByName(n); };
  EXPECT_TRUE(g("B")->AsBoolean());
  EXPECT_EQ(g("I8")->AsInteger(), -100);
  EXPECT_EQ(g("U8")->AsInteger(), 250);
  EXPECT_EQ(g("I16")->AsInteger(), -30000);
  EXPECT_EQ(g("U16")->AsInteger(), 65000);
  EXPECT_EQ(g("I32")->AsInteger(), -2000000000);
  EXPECT_EQ(g("U32")->AsLargeInt(), 4000000000);
  EXPECT_EQ(g("CUR")->AsCurrency().Value, 123456);
  EXPECT_DOUBLE_EQ(g("F4")->AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(g("F8")->AsFloat(), -2.25);
  EXPECT_NEAR(g("TS")->AsDateTime(), ts, 1e-9);
  EXPECT_EQ(g("TXT")->AsString(), "0123456789");
  EXPECT_DOUBLE_EQ(g("DT")->AsDateTime(), EncodeDate(2023, 12, 31));
  EXPECT_DOUBLE_EQ(g("TM")->AsDateTime(), EncodeTime(8, 30, 15, 0));
  EXPECT_EQ(g("DEC")->AsString(), "12345678.91");
  EXPECT_EQ(g("ZS")->AsString(), "twelve chars");
  EXPECT_EQ(g("BIN")->AsBytes(), (TBytes{1, 2, 3, 4}));
  r->Next();
  for (TField* field : r->Fields()->List()) EXPECT_TRUE(field->IsNull()) << field->FieldName();

  // Clearing every field of the first record writes NULLs; the second gets
  // the unsigned column's extremes.
  r->First();
  r->Edit();
  for (TField* field : r->Fields()->List()) field->Clear();
  r->Post();
  r->Next();
  r->Edit();
  g("U32")->SetAsLargeInt(4294967295);
  r->Post();
  r->Close();
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_FALSE(Raw("AllTypes", ids[i]).has_value()) << i;
  EXPECT_EQ(Raw("AllTypes", ids[6], 1), B(uint32_t{4294967295u}));
}

TEST_F(TPvTableEdit, ANewRecordStartsWithTheEnginesInitialValues) {
  uint32_t t0 = 0;
  ASSERT_EQ(RareCreateTable(RS, RD, "Defaults", &t0), 0);
  DRM_ColumnStruct c{};
  c.StructSize = sizeof c;
  uint32_t id = 0;
  c.ColTyp = DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT16);
  c.cbMax = 4;
  ASSERT_EQ(RareCreateColumn(RS, t0, "Id", &c, &id), 0);
  c.ColTyp = DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32);
  c.pDefault = "42";
  ASSERT_EQ(RareCreateColumn(RS, t0, "N", &c, &id), 0);
  c.ColTyp = DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT);
  c.cbMax = 6;
  c.pDefault = "abc";
  ASSERT_EQ(RareCreateColumn(RS, t0, "S", &c, &id), 0);
  c.pDefault = nullptr;
  ASSERT_EQ(RareCreateColumn(RS, t0, "Plain", &c, &id), 0);
  ASSERT_EQ(RareCloseTable(RS, t0), 0);

  auto t = Table("Defaults");
  t->Open();
  t->Insert();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 42);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "abc");
  EXPECT_TRUE(t->FieldByName("Plain")->IsNull());
  EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 0) << "numbered when written";
  t->Post();
  EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 1);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 42);
  t->Append();
  t->FieldByName("N")->SetAsInteger(7);
  t->Post();
  EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 2);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "abc");
  // Records added with values start from the same initial values: the
  // columns the values leave out keep them, and are not written as NULL.
  t->AppendRecord({Variant(), Variant(8)});
  EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 3);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "abc");
  t->InsertRecord({Variant(), Variant(9)});
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 9);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "abc");
  EXPECT_TRUE(t->FieldByName("Plain")->IsNull());
}

TEST_F(TPvTableEdit, EditPostCancelDeleteAndRefresh) {
  CreateItems({{1, "one"}, {2, "two"}, {3, "three"}});
  auto t = Table("Items");
  t->Open();
  t->Next();
  t->Edit();
  EXPECT_EQ(t->State(), dsEdit);
  t->FieldByName("Name")->SetAsString("TWO");
  EXPECT_TRUE(t->Modified());
  t->Cancel();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "two");
  EXPECT_EQ(Raw("Items", ids[1], 1), Padded("two")) << "a cancelled edit writes nothing";
  t->Edit();
  t->FieldByName("Name")->SetAsString("TWO");
  t->Post();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 2) << "the posted record stays active";
  EXPECT_EQ(Names(t.get()), "one TWO three");

  // An insert in the middle, then deleting records.
  t->First();
  t->Next();
  t->Insert();
  t->FieldByName("N")->SetAsInteger(10);
  t->FieldByName("Name")->SetAsString("ten");
  t->Post();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "ten");
  EXPECT_EQ(EngineCount("Items"), 4u);
  t->First();
  t->Delete();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "TWO") << "the next record in index order becomes active";
  EXPECT_EQ(Names(t.get()), "TWO three ten");
  EXPECT_EQ(EngineCount("Items"), 3u);

  // Refresh shows what another handle wrote.
  uint32_t raw = 0;
  ASSERT_EQ(RareOpenTable(RS, RD, "Items", 0, 0, &raw), 0);
  ASSERT_EQ(RareMove(RS, raw, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareInitUpdate(RS, raw, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(RareSetColumn(RS, raw, ids[1], "zwei", 4, 0, 0, 0), 0);
  ASSERT_EQ(RareUpdateRecord(RS, raw), 0);
  RareCloseTable(RS, raw);
  t->First();
  t->Refresh();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "zwei");

  // Deleting every record leaves an empty dataset.
  while (!t->IsEmpty()) t->Delete();
  EXPECT_TRUE(t->Eof() && t->Bof());
  EXPECT_EQ(EngineCount("Items"), 0u);
}

TEST_F(TPvTableEdit, CancellingAnInsertDropsTheEnginesNewRow) {
  CreateItems({});
  auto t = Table("Items");
  t->Open();
  t->Insert();
  t->FieldByName("N")->SetAsInteger(1);
  t->Cancel();
  EXPECT_TRUE(t->IsEmpty()) << "the emptied dataset is marked empty";
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->RecordCount(), 0);
  // The dropped row is not written by a later post.
  t->Append();
  t->FieldByName("N")->SetAsInteger(2);
  t->FieldByName("Name")->SetAsString("two");
  t->Post();
  EXPECT_EQ(EngineCount("Items"), 1u);
  EXPECT_EQ(Raw("Items", ids[0]), B(int32_t{2}));
  // An append cancelled after existing records leaves them in view.
  t->Append();
  t->FieldByName("N")->SetAsInteger(3);
  t->Cancel();
  EXPECT_FALSE(t->IsEmpty());
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 2);
  EXPECT_EQ(Names(t.get()), "two");
  t->Insert();
  t->Cancel();
  EXPECT_EQ(Names(t.get()), "two");
  EXPECT_EQ(EngineCount("Items"), 1u);
}

TEST_F(TPvTableEdit, ValuesTheColumnCannotHoldAreRefusedNamingTheField) {
  CreateAllTypes();
  Insert("AllTypes", ids, {Row{B(uint8_t{1}), B(int8_t{1}), B(uint8_t{1}), B(int16_t{1}), B(uint16_t{1}),
                               B(int32_t{1}), B(uint32_t{1})}});
  auto t = Table("AllTypes");
  t->Open();
  t->Edit();
  t->FieldByName("TXT")->SetAsString("kept");
  auto refused = [&](const char* field, auto write) {
    // Some values the framework's fields refuse themselves (EDatabaseError).
    const std::string m = MessageOf<EDatabaseError>(write);
    EXPECT_THAT(m, HasSubstr(std::string("'") + field + "'")) << field;
  };
  refused("TXT", [&] { t->FieldByName("TXT")->SetAsString("01234567890"); });
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { t->FieldByName("ZS")->SetAsString("thirteen char"); }),
              HasSubstr("Value of 13 characters does not fit field 'ZS' of 12 characters"));
  refused("I8", [&] { t->FieldByName("I8")->SetAsInteger(128); });
  refused("I8", [&] { t->FieldByName("I8")->SetAsInteger(-129); });
  refused("U8", [&] { t->FieldByName("U8")->SetAsInteger(256); });
  refused("U32", [&] { t->FieldByName("U32")->SetAsLargeInt(-1); });
  refused("U32", [&] { t->FieldByName("U32")->SetAsLargeInt(4294967296); });
  refused("F4", [&] { t->FieldByName("F4")->SetAsFloat(1e39); });
  refused("DT", [&] { t->FieldByName("DT")->SetAsDateTime(EncodeDate(1, 1, 1) - 1); });
  refused("TS", [&] { t->FieldByName("TS")->SetAsDateTime(EncodeDate(9999, 12, 31) + 1); });
  refused("DEC", [&] { t->FieldByName("DEC")->SetAsString("123456789.5"); });
  refused("BIN", [&] { t->FieldByName("BIN")->SetAsBytes({1, 2, 3, 4, 5}); });
  // Nothing was cut or stored: the record still holds the user's values and
  // posts them.
  EXPECT_EQ(t->State(), dsEdit);
  EXPECT_EQ(t->FieldByName("TXT")->AsString(), "kept");
  EXPECT_EQ(t->FieldByName("I8")->AsInteger(), 1);
  EXPECT_EQ(t->FieldByName("U32")->AsLargeInt(), 1);
  t->FieldByName("I8")->SetAsInteger(-128);
  t->FieldByName("U8")->SetAsInteger(255);
  t->FieldByName("DEC")->SetAsString("-99999999.99");
  t->Post();
  t->Close();
  EXPECT_EQ(Raw("AllTypes", ids[11]), Bytes({'k', 'e', 'p', 't', ' ', ' ', ' ', ' ', ' ', ' '}));
  EXPECT_EQ(Raw("AllTypes", ids[1]), B(int8_t{-128}));
  EXPECT_EQ(Raw("AllTypes", ids[2]), B(uint8_t{255}));
}

TEST_F(TPvTableEdit, AFailedPostKeepsTheEditAndTheEngineRow) {
  CreateItems({{1, "one"}, {2, "two"}});
  auto t = Table("Items");
  t->SetIndexName("ByN");
  t->Open();
  // Required column left NULL.
  t->Edit();
  t->FieldByName("Name")->SetAsString("uno");
  t->FieldByName("N")->Clear();
  try {
    t->Post();
    FAIL() << "posted a NULL required column";
  } catch (const EPvDrmEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), DRM_ERR_NULL_NOT_VALID);
    EXPECT_THAT(e.Message(), HasSubstr("'N'"));
  }
  EXPECT_EQ(t->State(), dsEdit);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "uno");
  EXPECT_EQ(Raw("Items", ids[1]), Padded("one"));
  EXPECT_EQ(*Raw("Items", ids[0]), B(int32_t{1}));
  // A duplicate key of the unique index.
  t->FieldByName("N")->SetAsInteger(2);
  EXPECT_THROW(t->Post(), EPvDrmEngineError);
  EXPECT_EQ(t->State(), dsEdit);
  EXPECT_EQ(*Raw("Items", ids[0]), B(int32_t{1}));
  // Put right, the same edit posts.
  t->FieldByName("N")->SetAsInteger(5);
  t->Post();
  EXPECT_EQ(Names(t.get()), "two uno");

  // The same for a new record, which stays in insert mode.
  t->Append();
  t->FieldByName("N")->SetAsInteger(2);
  t->FieldByName("Name")->SetAsString("dup");
  EXPECT_THROW(t->Post(), EPvDrmEngineError);
  EXPECT_EQ(t->State(), dsInsert);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "dup");
  EXPECT_EQ(EngineCount("Items"), 2u);
  t->Cancel();
  EXPECT_EQ(Names(t.get()), "two uno");
  EXPECT_EQ(EngineCount("Items"), 2u);
}

TEST_F(TPvTableEdit, OnSetFieldDecidesWhetherAWriteIsStored) {
  CreateItems({{1, "one"}});
  auto t = Table("Items");
  t->Open();
  std::vector<std::string> seen;
  bool allow = false;
  t->SetOnSetField([&](TField* Field, const void* Buffer, bool& Continue) {
    seen.push_back(Field->FieldName() + (Buffer == nullptr ? "=NULL" : ""));
    if (allow) Continue = true;
  });
  int changes = 0;
  t->FieldByName("Name")->SetOnChange([&](TField*) { ++changes; });
  t->Edit();
  t->FieldByName("Name")->SetAsString("uno");
  t->FieldByName("Name")->Clear();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "one") << "both writes discarded";
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(t->Modified());
  EXPECT_EQ(seen, (std::vector<std::string>{"Name", "Name=NULL"}));
  allow = true;
  t->FieldByName("Name")->SetAsString("uno");
  EXPECT_EQ(changes, 1) << "the field-change event follows a stored write";
  EXPECT_TRUE(t->Modified());
  t->Post();
  EXPECT_EQ(Names(t.get()), "uno");
}

TEST_F(TPvTableEdit, ReadOnlyFieldsAreWritableOnlyInKeyState) {
  CreateItems({{1, "one"}});
  auto t = Table("Items");
  t->SetDefaultIndex(false);  // no active index: every field may take a key value
  t->Open();
  TField* name = t->FieldByName("Name");
  name->SetReadOnly(true);
  t->Edit();
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { name->SetAsString("x"); }),
              HasSubstr("Field 'Name' cannot be modified"));
  t->Cancel();
  // In key state the write goes to the key buffer.
  const TDataSetState old = t->SetTempState(dsSetKey);
  EXPECT_NO_THROW(name->SetAsString("x"));
  t->RestoreState(old);
  // Writing outside an edit state is refused.
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { t->FieldByName("N")->SetAsInteger(3); }),
              HasSubstr("Dataset not in edit or insert mode"));
}

TEST_F(TPvTableEdit, KeyStateAcceptsOnlyTheActiveIndexFields) {
  CreateItems({{1, "one"}});
  auto t = Table("Items");
  t->SetIndexName("ByN");
  t->Open();
  const TDataSetState old = t->SetTempState(dsSetKey);
  EXPECT_NO_THROW(t->FieldByName("N")->SetAsInteger(1));
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { t->FieldByName("Name")->SetAsString("x"); }),
              HasSubstr("Field 'Name' is not indexed and cannot be modified"));
  t->RestoreState(old);
}

TEST_F(TPvTableEdit, CalculatedTextIsRecomputedWhileEditing) {
  NumberTable("Nums", {4, 5});
  auto t = Table("Nums");
  t->FieldDefs()->Update();
  t->FieldDefs()->Items(0)->CreateField(t.get());
  TField* label = dac::Create<TStringField>(t.get());
  label->SetFieldName("Label");
  label->SetFieldKind(fkCalculated);
  label->SetDataSet(t.get());
  t->OnCalcFields = [&](TDataSet* d) {
    d->FieldByName("Label")->SetAsString("n=" + d->FieldByName("N")->AsString());
  };
  t->Open();
  t->Next();
  EXPECT_EQ(label->AsString(), "n=5");
  // With a calculated text field the edit resyncs the ring exactly.
  t->Edit();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 5);
  t->FieldByName("N")->SetAsInteger(50);
  EXPECT_EQ(label->AsString(), "n=50");
  t->Post();
  EXPECT_EQ(label->AsString(), "n=50");
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{4, 50}));
  // A calculated field cannot be set from outside the calculation.
  t->Edit();
  label->SetAsString("x");
  EXPECT_EQ(label->AsString(), "x") << "the calculated slot takes the value while editing";
  t->Cancel();
  EXPECT_EQ(label->AsString(), "n=50");
}

TEST_F(TPvTableEdit, AppendRecordAndInsertRecordCancelOnFailure) {
  CreateItems({{1, "one"}});
  auto t = Table("Items");
  t->SetIndexName("ByN");
  t->Open();
  t->AppendRecord({Variant(3), Variant("three")});
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "three");
  t->InsertRecord({Variant(2), Variant("two")});
  EXPECT_EQ(Names(t.get()), "one two three");
  // A value the column cannot hold: nothing added, the first error raised.
  EXPECT_THAT(MessageOf<EPvDatabaseError>([&] { t->AppendRecord({Variant(4), Variant("far too long")}); }),
              HasSubstr("does not fit field 'Name'"));
  EXPECT_EQ(t->State(), dsBrowse);
  // An engine refusal (duplicate key) at the write.
  EXPECT_THROW(t->InsertRecord({Variant(2), Variant("again")}), EPvDrmEngineError);
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(Names(t.get()), "one two three");
  EXPECT_EQ(EngineCount("Items"), 3u);
  // The dropped rows do not come back with the next record.
  t->AppendRecord({Variant(4), Variant("four")});
  EXPECT_EQ(Names(t.get()), "one two three four");
  EXPECT_EQ(EngineCount("Items"), 4u);
  // An open edit is posted first, not replaced by the new row.
  t->First();
  t->Edit();
  t->FieldByName("Name")->SetAsString("uno");
  t->AppendRecord({Variant(5), Variant("five")});
  EXPECT_EQ(Names(t.get()), "uno two three four five");
  EXPECT_EQ(EngineCount("Items"), 5u);
}

TEST_F(TPvTableEdit, PostsInsideATransactionGoWithIt) {
  CreateItems({{1, "one"}});
  auto t = Table("Items");
  t->Open();
  TPvDatabase* db = t->Database();
  db->StartTransaction();
  t->AppendRecord({Variant(2), Variant("two")});
  t->First();
  t->Edit();
  t->FieldByName("Name")->SetAsString("uno");
  t->Post();
  db->Rollback();
  t->Refresh();
  EXPECT_EQ(Names(t.get()), "one");
  db->StartTransaction();
  t->AppendRecord({Variant(3), Variant("three")});
  db->Commit();
  EXPECT_EQ(EngineCount("Items"), 2u);
}

TEST_F(TPvTableEdit, EditStartIsTraced) {
  CreateItems({{1, "one"}});
  auto t = Table("Items");
  t->Open();
  const std::string path = root + "/trace.xml";
  TraceOpenFile(path);
  TraceEdit = true;
  t->Edit();
  t->Cancel();
  TraceEdit = false;
  TraceCloseFile();
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "<diag type=\"edit\" meth=\"TPvDrmDataSet.PvInternalEdit\">\n</diag>\n");
}

}  // namespace
