// The filter push-down over real engine tables: which filters go to the
// engine, that the engine's terms plus the client's remainder select exactly
// what the client alone selects (for many filters, on every column type the
// transformer converts), FForceSimpleFilters, and deactivation.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "filter/expr_parser.h"
#include "filter/parse_verifier.h"
#include "support/message_of.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Bytes;
using tabletest::Row;
using tabletest::Words;
using tabletest::Z;

class TPushTable : public TPvTable {
 public:
  void SetForceSimpleFilters(bool Value) { FForceSimpleFilters = Value; }
};

class TPvDrmDataSetPushDown : public tabletest::TableTest {
 protected:
  // Parts: Number (text 10), Name (text 20), Qty (int32), Small (int16),
  // Amount (double), Flag (Boolean), Day (date); 60 rows with nulls.
  void Parts() {
    auto ids = Create("Parts", {{"Number", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
                                {"Name", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 20},
                                {"Qty", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                {"Small", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                                {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
                                {"Flag", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                                {"Day", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4}});
    const char* const names[] = {"Alpha", "alpha co", "Beta", "Smith", "Smythe", "Sa", "SMITH", nullptr};
    const std::optional<Bytes> null;
    std::vector<Row> rows;
    for (int32_t i = 0; i < 60; ++i) {
      Row r;
      r.push_back(Z(std::to_string(100 + i)));
      r.push_back(names[i % 8] ? std::optional<Bytes>(Z(names[i % 8])) : null);
      r.push_back(i % 11 == 5 ? null : std::optional<Bytes>(B(int32_t{i % 7})));
      r.push_back(i % 13 == 4 ? null : std::optional<Bytes>(B(static_cast<int16_t>(i % 5))));
      r.push_back(i % 9 == 2 ? null : std::optional<Bytes>(B(0.5 * (i % 6))));
      r.push_back(i % 10 == 3 ? null : std::optional<Bytes>(B(static_cast<uint8_t>(i % 2))));
      r.push_back(i % 12 == 7 ? null
                              : std::optional<Bytes>(Words({2020, static_cast<uint16_t>(1 + i % 12),
                                                            static_cast<uint16_t>(1 + i % 28)})));
      rows.push_back(r);
    }
    Insert("Parts", ids, rows);
  }
  TFreePtr<TPushTable> PushTable() {
    auto t = CreateUnowned<TPushTable>();
    t->SetName("T1");
    t->SetDatabaseName(dir);
    t->SetTableName("Parts");
    return t;
  }
  static std::vector<std::string> Numbers(TPvTable* t) {
    std::vector<std::string> seen;
    for (t->First(); !t->Eof(); t->Next()) seen.push_back(t->FieldByName("Number")->AsString());
    return seen;
  }
  // What the client alone selects: every record of the unfiltered table
  // tested by the evaluator on the whole filter.
  std::vector<std::string> ClientSelects(const std::string& Text, TFilterOptions Fo) {
    auto t = Table("Parts");
    t->Open();
    TExprParser p(t.get(), Text, Fo, {poExtSyntax});
    TParseVerifier v(t.get(), p.FilterData());
    std::vector<std::string> seen;
    for (t->First(); !t->Eof(); t->Next())
      if (v.Verify()) seen.push_back(t->FieldByName("Number")->AsString());
    return seen;
  }
};

TEST_F(TPvDrmDataSetPushDown, WhichFiltersGoToTheEngine) {
  Parts();
  auto t = PushTable();
  t->Open();
  for (const char* text : {"Qty > 2", "Qty > 2 and Name = 'Beta'", "(Qty > 2 and Amount < 2)", "Qty = 1 or Qty = 2",
                           "Name = 'Sm*'", "Qty is null"})
    EXPECT_TRUE(t->FilterQualifiesForEngine(text)) << text;
  for (const char* text : {"(Qty > 2) and Amount < 2", "Name like 'Sm%'", "Qty in (1, 2)", "Qty between 1 and 2",
                           "Qty > 1 and Qty > 2 and Qty > 3 and Qty > 4 and Qty > 5", "Qty Between 1 and 2",
                           "Name = 'M\xC3\xBCller' or Qty iN (1, 2)"})
    EXPECT_FALSE(t->FilterQualifiesForEngine(text)) << text;
  EXPECT_TRUE(t->FilterQualifiesForEngine("Qty > 1 and Qty > 2 and Qty > 3 and Qty > 4"));
  EXPECT_TRUE(t->FilterQualifiesForEngine("Name = 'LIKE'")) << "the word needs blanks on both sides";
  EXPECT_TRUE(t->FilterQualifiesForEngine("Name = 'M\xC3\xBCller'"));
}

TEST_F(TPvDrmDataSetPushDown, ActivationAndDeactivation) {
  Parts();
  auto t = PushTable();
  t->SetFilter("Qty = 3 and Qty + 0 = 3");
  t->SetFiltered(true);
  t->Open();
  ASSERT_NE(t->ParseTransformer(), nullptr);
  EXPECT_NE(t->FilterTag(), 0);
  EXPECT_EQ(t->ParseTransformer()->DRMFilterCount(), 1);
  EXPECT_NE(t->ParseTransformer()->pLocalFilterParseData(), nullptr);
  EXPECT_EQ(Numbers(t.get()), ClientSelects("Qty = 3", {}));
  // A filter the client keeps leaves no engine filter behind.
  t->SetFilter("Qty in (3)");
  EXPECT_EQ(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->FilterTag(), 0);
  EXPECT_EQ(Numbers(t.get()), ClientSelects("Qty = 3", {}));
  t->SetFilter("Qty = 3");
  EXPECT_NE(t->FilterTag(), 0);
  t->SetFiltered(false);
  EXPECT_EQ(t->FilterTag(), 0);
  EXPECT_EQ(t->ParseTransformer(), nullptr);
  EXPECT_EQ(Numbers(t.get()).size(), 60u) << "the engine filter is gone";
  t->SetFiltered(true);
  t->Close();
  EXPECT_EQ(t->FilterTag(), 0);
  EXPECT_EQ(t->ParseTransformer(), nullptr);
}

TEST_F(TPvDrmDataSetPushDown, FailedActivationLeavesNothingBehind) {
  Parts();
  auto t = PushTable();
  t->Open();
  t->SetFilter("Qty = 'abc'");
  EXPECT_THROW(t->SetFiltered(true), Exception);
  EXPECT_EQ(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->FilterTag(), 0);
  EXPECT_FALSE(t->Filtered());
  EXPECT_EQ(Numbers(t.get()).size(), 60u);
}

TEST_F(TPvDrmDataSetPushDown, AConstantTheFieldRefusesFailsTheActivation) {
  Parts();
  auto t = PushTable();
  t->Open();
  t->SetFilter("Qty = 1 and Small > 100000");
  EXPECT_THROW(t->SetFiltered(true), Exception);
  EXPECT_EQ(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->FilterTag(), 0);
  EXPECT_EQ(Numbers(t.get()).size(), 60u);
  // The capture is off again: the next filter converts and selects normally.
  t->SetFilter("Small = 2");
  t->SetFiltered(true);
  EXPECT_NE(t->FilterTag(), 0);
  EXPECT_EQ(Numbers(t.get()), ClientSelects("Small = 2", {}));
}

TEST_F(TPvDrmDataSetPushDown, EngineAndRemainderSelectWhatTheClientSelects) {
  Parts();
  const std::vector<std::string> filters = {
      "Qty = 3", "Qty <> 3", "Qty > 3", "Qty >= 3", "Qty < 3", "Qty <= 3", "Small = 2", "Amount > 1",
      "Amount <= 1.5", "Flag = True", "Flag = False", "Flag", "Name = 'Beta'", "Name <> 'Beta'", "Name > 'Beta'",
      "Name = 'Sm*'", "Name <> 'Sm*'", "Name like 'Sm%'", "Name like 'alpha'", "Qty is null", "Qty is not null",
      "Name is null", "Day is null", "Qty = Small", "Qty <> Small", "Qty > Small", "Qty = 1 and Small = 1",
      "Qty = 1 or Small = 1", "Qty = 1 or Qty = 2 or Qty = 3", "Qty > 1 and Qty < 5 and Small <> 0",
      "Qty = 1 or (Small = 2 and Amount > 1)", "(Qty = 1 and Small = 2) or (Qty = 2 and Small = 1)",
      "Small = 1 and (Qty = 1 or Qty = 2)", "(Qty = 1 or Qty = 2) and (Small = 1 or Small = 2 or Small = 3)",
      "(Qty = 1 or Qty = 2) and Small = 1 and (Amount = 0 or Amount = 1)", "Qty + 1 > 5 and Name = 'Smith'",
      "not (Qty = 1) and Small = 2", "Qty in (1, 2, 3)", "Qty in (1, 2) and Small in (0, 4)", "Name in ('Sa', 'Beta')", "Name in ('smith', 'sa')", "Name >= 'smith'", "Name = 'smith'", "Name <> 'smith'",
      "Name = 'sm*'",
      "Day > '3/15/2020'", "Day = '5/5/2020'", "Day <= '6/1/2020' and Qty = 2",
      "Flag = True and Qty > 2", "Name = 'Smith' or Name = 'Sa*'",
      "Qty > 0 and Qty > 1 and Qty > 2 and Qty > 3 and Qty > 4", "Qty = 1 or Qty + 0 = 2",
      "(Qty = 1 and (Small = 2 or Amount = 1)) or Qty = 3"};
  for (bool force : {false, true})
    for (TFilterOptions fo : {TFilterOptions{}, TFilterOptions{foCaseInsensitive}}) {
      auto t = PushTable();
      t->SetForceSimpleFilters(force);
      t->SetFilterOptions(fo);
      t->SetFilter(filters[0]);
      t->SetFiltered(true);
      t->Open();
      for (const std::string& text : filters) {
        SCOPED_TRACE(text + (force ? " (forced)" : "") + (fo.Contains(foCaseInsensitive) ? " (ci)" : ""));
        t->SetFilter(text);
        if (force) {
          EXPECT_NE(t->ParseTransformer(), nullptr);
        }
        EXPECT_EQ(Numbers(t.get()), ClientSelects(text, fo));
      }
    }
}

TEST_F(TPvDrmDataSetPushDown, CaseInsensitiveTermsOnText) {
  Parts();
  auto t = PushTable();
  t->SetFilterOptions(TFilterOptions{foCaseInsensitive});
  t->SetFilter("Name = 'smith'");
  t->SetFiltered(true);
  t->Open();
  ASSERT_NE(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->ParseTransformer()->pDRMFilters()[0].CompareCode, 0x81);
  const auto seen = Numbers(t.get());
  EXPECT_EQ(seen, ClientSelects("Name = 'smith'", {foCaseInsensitive}));
  EXPECT_FALSE(seen.empty());
}

// One dataset activates filters on two tables in turn: the columns the
// push-down keeps between activations must follow the table, and a filter
// nested too deep must stay on the client without leaving a transformer.
TEST_F(TPvDrmDataSetPushDown, ColumnsFollowTheTableAcrossActivations) {
  Parts();
  auto ids = Create("Stock", {{"Qty", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                              {"Number", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 6}});
  Insert("Stock", ids, {{B(int32_t{3}), Z("s1")}, {B(int32_t{4}), Z("s2")}, {B(int32_t{3}), Z("s3")}});
  auto t = PushTable();
  t->SetFilter("Qty = 3");
  t->SetFiltered(true);
  t->Open();
  const std::vector<std::string> parts = Numbers(t.get());
  EXPECT_EQ(parts, ClientSelects("Qty = 3", {}));
  t->SetFilter("Qty = 4");
  t->SetFilter("Qty = 3");
  EXPECT_EQ(Numbers(t.get()), parts) << "a new text on the same table";
  t->Close();
  t->SetTableName("Stock");
  t->Open();
  ASSERT_NE(t->ParseTransformer(), nullptr);
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"s1", "s3"}));
  t->SetFilter("Qty > 0 and Qty > 1 and Qty > 2 and Qty > 3 and Qty < 9");
  EXPECT_EQ(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->FilterTag(), 0);
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"s2"}));
}

// A filter set once per master record: texts that differ only in their
// constants select what the client selects, and a bad text fails as it
// would on a table that never saw the others.
TEST_F(TPvDrmDataSetPushDown, FiltersOfOneShapeSelectLikeFreshOnes) {
  Parts();
  auto t = PushTable();
  t->Open();
  t->SetFilter("Name = 'Beta' and Number = '102'");
  t->SetFiltered(true);
  for (const std::string text :
       {"Name = 'Beta' and Number = '102'", "Name = 'Sa' and Number = '105'", "Name = 'Smith' and Number = '3'",
        "Name = 'O''Brien' and Number = '104'", "Name = 'a LIKE b' and Number = '105'",
        "Name = 'Alpha' and Number = '100'", "Name = 'Smy*' and Number = '104'", "Name = 'SMITH' and Number = '106'"}) {
    t->SetFilter(text);
    EXPECT_EQ(Numbers(t.get()), ClientSelects(text, {})) << text;
    EXPECT_EQ(t->ParseTransformer() != nullptr, text.find(" LIKE ") == std::string::npos) << text;
  }
  auto errorOf = [](TPvTable* Table, const std::string& Text) {
    return testsupport::MessageOf<Exception>([&] { Table->SetFilter(Text); });
  };
  for (const std::string& bad : {std::string("Name = 'Beta' and Number = '1"), std::string("Name = 'Beta' and Numbr = '1'"),
                                 std::string("Name = 'Beta' and Number = '") + std::string(300, '7') + "'"}) {
    t->SetFilter("Name = 'Beta' and Number = '102'");
    auto fresh = PushTable();
    fresh->Open();
    fresh->SetFiltered(true);
    EXPECT_EQ(errorOf(t.get(), bad), errorOf(fresh.get(), bad)) << bad;
  }
}

// The step past the last record a filtered walk read goes back to that
// record first: records another table adds or deletes meanwhile are seen
// as before.
TEST_F(TPvDrmDataSetPushDown, StepPastTheLastRecordReadSeesOtherTablesChanges) {
  Parts();
  auto t = PushTable();
  t->SetFilter("Qty = 3");
  t->SetFiltered(true);
  t->Open();
  const std::vector<std::string> before = Numbers(t.get());
  ASSERT_GE(before.size(), 2u);
  auto other = Table("Parts");
  other->Open();
  auto walkToLast = [&] {
    t->First();
    for (size_t i = 1; i < before.size(); ++i) t->Next();
    ASSERT_EQ(t->FieldByName("Number")->AsString(), before.back());
  };
  walkToLast();
  other->Append();
  other->FieldByName("Number")->SetAsString("999");
  other->FieldByName("Qty")->SetAsInteger(3);
  other->Post();
  t->Next();
  EXPECT_FALSE(t->Eof());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "999");
  t->Next();
  EXPECT_TRUE(t->Eof());
  walkToLast();
  t->Next();
  ASSERT_EQ(t->FieldByName("Number")->AsString(), "999");
  ASSERT_TRUE(other->Locate("Number", Variant(std::string("999")), {}));
  other->Delete();
  t->Next();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "999") << "the record stays in the buffer";
  EXPECT_EQ(Numbers(t.get()), before);
}

}  // namespace
