// Record selection on the client over real engine tables: filters and their
// activation rules, OnFilterRecord, the find operations, Locate and Lookup,
// and the record and field constraints.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "filter/constraint_collection.h"
#include "filter/parse_transformer.h"
#include "platform/db/check_constraints.h"
#include "platform/desktop/application.h"
#include "support/message_of.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;
using tabletest::Z;
using testsupport::MessageOf;

// Shows failures nowhere, counting them.
class TCountingDisplay : public IExceptionDisplay {
 public:
  explicit TCountingDisplay(std::vector<std::string>& Shown) : FShown(Shown) {}
  void ShowException(const std::string& Message) override { FShown.push_back(Message); }

 private:
  std::vector<std::string>& FShown;
};

class TPvDataSetSelection : public tabletest::TableTest {
 protected:
  // Companies: Number (text), Name, AgyCode (text 2), fHasParentCmp
  // (Boolean), MyParentCmp (text), Amount (double); index ByNumber.
  void Companies() {
    auto ids = Create("Company", {{"Number", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
                                  {"Name", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 30},
                                  {"AgyCode", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 2},
                                  {"fHasParentCmp", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                                  {"MyParentCmp", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 10},
                                  {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8}});
    const std::optional<tabletest::Bytes> null;
    Insert("Company", ids,
           {Row{Z("100"), Z("Alpha Ltd"), Z("01"), B(uint8_t{0}), null, B(1.5)},
            Row{Z("101"), Z("Alpha Sub"), Z("01"), B(uint8_t{1}), Z("100"), B(2.0)},
            Row{Z("200"), Z("Beta Inc"), Z("02"), B(uint8_t{0}), null, null},
            Row{Z("300"), Z("gamma co"), Z("01"), B(uint8_t{0}), null, B(0.25)},
            Row{Z("301"), Z("Gamma Sub"), Z("01"), B(uint8_t{1}), Z("300"), B(7.0)}});
  }
  static std::vector<std::string> Numbers(TPvTable* t) {
    std::vector<std::string> seen;
    for (t->First(); !t->Eof(); t->Next()) seen.push_back(t->FieldByName("Number")->AsString());
    return seen;
  }
};

TEST_F(TPvDataSetSelection, FiltersShowOnlyTheRecordsThatPass) {
  Companies();
  auto t = Table("Company");
  t->SetFilter("AgyCode = '01' and fHasParentCmp = 0");
  t->SetFiltered(true);
  t->Open();
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"100", "300"}));
  // The flag compare is an engine term too: the engine skips subsidiaries
  // instead of handing each one over to be rejected.
  ASSERT_NE(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->ParseTransformer()->DRMFilterCount(), 2);
  EXPECT_EQ(t->ParseTransformer()->pLocalFilterParseData(), nullptr);
  EXPECT_EQ(t->RecordCount(), -1);  // a filtered table does not count
  // A new text on a filtered dataset applies at once, from the first record.
  t->Last();
  t->SetFilter("AgyCode = '01' and MyParentCmp = '300'");
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "301");
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"301"}));
  // Case-insensitive and prefix compares through the options and '*'.
  t->SetFilterOptions(TFilterOptions{foCaseInsensitive});
  t->SetFilter("Name = 'GAMMA*'");
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"300", "301"}));
  t->SetFilterOptions(TFilterOptions{});
  EXPECT_TRUE(Numbers(t.get()).empty());
  EXPECT_TRUE(t->IsEmpty());
  t->SetFilter("Name = 'Gamma*'");
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"301"}));
  // NULL never passes a comparison, <> included.
  t->SetFilter("Amount <> 2");
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"100", "300", "301"}));
  // Switching filtering off shows every record again.
  t->SetFiltered(false);
  EXPECT_EQ(Numbers(t.get()).size(), 5u);
}

TEST_F(TPvDataSetSelection, FilterActivationRules) {
  Companies();
  auto t = Table("Company");
  t->Open();
  t->Last();
  // Setting Filtered to its current value still goes to the first record.
  t->SetFiltered(false);
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "100");
  // A text that does not parse: the filter stays off and nothing is held.
  t->SetFilter("AgyCode = ");
  EXPECT_NE(MessageOf<EPvDatabaseError>([&] { t->SetFiltered(true); }).find("nothing"), std::string::npos);
  EXPECT_FALSE(t->Filtered());
  EXPECT_EQ(t->FilterParser(), nullptr);
  EXPECT_EQ(Numbers(t.get()).size(), 5u);
  // Opening a filtered dataset with a bad text fails the open.
  t->Close();
  t->SetFiltered(true);
  EXPECT_THROW(t->Open(), EPvDatabaseError);
  EXPECT_FALSE(t->Active());
  t->SetFilter("Amount > 1");
  t->Open();
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"100", "101", "301"}));
}

TEST_F(TPvDataSetSelection, ARaisingOnFilterRecordLeavesTheRecordVisible) {
  Companies();
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay(std::make_unique<TCountingDisplay>(shown));
  auto t = Table("Company");
  int calls = 0;
  t->SetOnFilterRecord([&](TDataSet* d, bool& Accept) {
    ++calls;
    const std::string number = d->FieldByName("Number")->AsString();
    if (number == "200") throw EDatabaseError("cannot judge 200");
    Accept = number != "101";
  });
  t->SetFiltered(true);
  t->Open();
  EXPECT_EQ(Numbers(t.get()), (std::vector<std::string>{"100", "200", "300", "301"}));
  EXPECT_GE(calls, 5);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "cannot judge 200");
  t->Close();
  SetExceptionDisplay(std::move(previous));
}

TEST_F(TPvDataSetSelection, FindUsesTheFilterTextAndLeavesTheDatasetUnfiltered) {
  Companies();
  auto t = Table("Company");
  t->Open();
  t->SetFilter("fHasParentCmp = 1");
  EXPECT_TRUE(t->FindFirst());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "101");
  EXPECT_FALSE(t->Filtered());
  EXPECT_TRUE(t->FindNext());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "301");
  EXPECT_FALSE(t->FindNext());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "301");
  EXPECT_TRUE(t->FindPrior());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "101");
  t->SetFilter("AgyCode = '01'");
  EXPECT_TRUE(t->FindLast());
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "301");
  EXPECT_FALSE(t->Filtered());
  // Every record is still there.
  EXPECT_EQ(Numbers(t.get()).size(), 5u);
}

TEST_F(TPvDataSetSelection, LocateSearchesAndMatchesByTheRules) {
  Companies();
  auto t = Table("Company");
  t->Open();
  EXPECT_TRUE(t->Locate("Number", Variant(std::string("300")), {}));
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "gamma co");
  // The active record matches: it stays.
  EXPECT_TRUE(t->Locate("Number", Variant(std::string("300")), {}));
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "gamma co");
  // Two key fields: the first mismatch decides.
  EXPECT_FALSE(t->Locate("AgyCode;Number", VarArrayOf({Variant(std::string("02")), Variant(std::string("300"))}), {}));
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "300");  // not found: no move
  EXPECT_TRUE(t->Locate("AgyCode;Number", VarArrayOf({Variant(std::string("01")), Variant(std::string("301"))}), {}));
  // A prefix matches only with loPartialKey; case only with loCaseInsensitive.
  EXPECT_FALSE(t->Locate("Name", Variant(std::string("Beta")), {}));
  EXPECT_TRUE(t->Locate("Name", Variant(std::string("Beta")), TLocateOptions{loPartialKey}));
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "200");
  EXPECT_FALSE(t->Locate("Name", Variant(std::string("GAMMA")), TLocateOptions{loPartialKey}));
  EXPECT_TRUE(t->Locate("Name", Variant(std::string("GAMMA")), TLocateOptions{loPartialKey, loCaseInsensitive}));
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "300");
  // An empty partial key matches nothing; NULL matches only NULL.
  EXPECT_FALSE(t->Locate("Name", Variant(std::string()), TLocateOptions{loPartialKey}));
  EXPECT_TRUE(t->Locate("Amount", Variant::Null(), {}));
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "200");
  // Floats within 5e-7.
  EXPECT_TRUE(t->Locate("Amount", Variant(0.25 + 4e-7), {}));
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "300");
  EXPECT_FALSE(t->Locate("Amount", Variant(1.5 + 6e-7), {}));
  // On a filtered dataset only the visible records are searched.
  t->SetFilter("fHasParentCmp = 0");
  t->SetFiltered(true);
  EXPECT_FALSE(t->Locate("Number", Variant(std::string("301")), {}));
  EXPECT_TRUE(t->Locate("Number", Variant(std::string("200")), {}));
  // The ring continues from the record found.
  t->Next();
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "300");
}

TEST_F(TPvDataSetSelection, LocateOnAnEmptyTableAndLookup) {
  Companies();
  NumberTable("Empty", {});
  auto empty = Table("Empty");
  empty->SetName("E1");
  empty->Open();
  EXPECT_FALSE(empty->Locate("N", Variant(1), {}));

  auto t = Table("Company");
  t->Open();
  t->Next();
  const Variant name = t->Lookup("Number", Variant(std::string("300")), "Name");
  EXPECT_EQ(name.AsString(), "gamma co");
  const Variant both = t->Lookup("Number", Variant(std::string("200")), "Name;AgyCode");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.GetElement(0).AsString(), "Beta Inc");
  EXPECT_EQ(both.GetElement(1).AsString(), "02");
  EXPECT_TRUE(t->Lookup("Number", Variant(std::string("999")), "Name").IsNull());
  // The active record did not move, and the walk goes on from it.
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "101");
  t->Next();
  EXPECT_EQ(t->FieldByName("Number")->AsString(), "200");
}

TEST_F(TPvDataSetSelection, RecordAndFieldConstraints) {
  Companies();
  auto t = Table("Company");
  TCheckConstraint* c = t->Constraints()->Add();
  c->SetCustomConstraint("Amount < 5");
  c->SetErrorMessage("Amount too large");
  t->Open();
  EXPECT_EQ(t->ParseConstrains()->Count(), 1);
  t->CheckRecordConstraints();  // 100: 1.5
  t->Last();                    // 301: 7.0
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { t->CheckRecordConstraints(); }).find("Amount too large"), 0u);
  t->DisableConstraints();
  t->CheckRecordConstraints();
  t->EnableConstraints();
  EXPECT_FALSE(t->ConstraintsDisabled());
  t->Close();
  EXPECT_EQ(t->ParseConstrains()->Count(), 0);

  // A field constraint that names no field is the field's own condition.
  auto u = Table("Company");
  u->SetName("T2");
  u->FieldDefs()->Update();
  for (int32_t i = 0; i < u->FieldDefs()->Count(); ++i) u->FieldDefs()->Items(i)->CreateField(u.get());
  TField* amount = u->FieldByName("Amount");
  amount->SetCustomConstraint("x >= 0");
  amount->SetConstraintErrorMessage("Amount must not be negative");
  u->Open();
  ASSERT_EQ(u->ParseConstrains()->Count(), 1);
  EXPECT_EQ(u->ParseConstrains()->Items(0)->FieldNum() + 1, amount->FieldNo());
  const double ok = 3.0, bad = -1.0;
  u->CheckFieldConstraints(amount, &ok);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { u->CheckFieldConstraints(amount, &bad); })
                .find("Amount must not be negative"),
            0u);
  // The dataset is back in its state afterwards.
  EXPECT_EQ(u->State(), dsBrowse);

  // A constraint that does not parse fails the open and leaves nothing.
  auto v = Table("Company");
  v->SetName("T3");
  v->Constraints()->Add()->SetCustomConstraint("Amount <");
  EXPECT_THROW(v->Open(), EPvDatabaseError);
  EXPECT_FALSE(v->Active());
  EXPECT_EQ(v->ParseConstrains()->Count(), 0);
}

}  // namespace

namespace {

using namespace dac;

class TPvDataSetDefaults : public tabletest::TableTest {};

TEST_F(TPvDataSetDefaults, DefaultExpressionsFillNewRecordsAndConstraintsGuardPosts) {
  auto ids = Create("Orders", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                               {"Qty", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                               {"Status", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 8}});
  (void)ids;
  auto t = Table("Orders");
  t->FieldDefs()->Update();
  for (int32_t i = 0; i < t->FieldDefs()->Count(); ++i) t->FieldDefs()->Items(i)->CreateField(t.get());
  t->FieldByName("Qty")->SetDefaultExpression("1");
  t->FieldByName("Status")->SetDefaultExpression("'new'");
  TCheckConstraint* c = t->Constraints()->Add();
  c->SetCustomConstraint("Qty > 0");
  c->SetErrorMessage("Quantity must be positive");
  t->Open();
  t->Append();
  EXPECT_EQ(t->FieldByName("Qty")->AsInteger(), 1);
  EXPECT_EQ(t->FieldByName("Status")->AsString(), "new");
  t->FieldByName("Id")->SetAsInteger(1);
  t->Post();
  t->Append();
  t->FieldByName("Id")->SetAsInteger(2);
  t->FieldByName("Qty")->SetAsInteger(0);
  EXPECT_EQ(MessageOf<EPvDatabaseError>([&] { t->Post(); }).find("Quantity must be positive"), 0u);
  EXPECT_EQ(t->State(), dsInsert);  // the user's values stay for a correction
  t->FieldByName("Qty")->SetAsInteger(3);
  t->Post();
  EXPECT_EQ(t->RecordCount(), 2);
}

}  // namespace
