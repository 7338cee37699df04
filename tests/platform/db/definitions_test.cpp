// Field and index definitions, check constraints, type names and the
// database-error text.

#include <gtest/gtest.h>

#include "db_test_support.h"
#include "platform/db/check_constraints.h"
#include "platform/db/index_defs.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/params.h"

namespace dac::testing {
namespace {

TEST(Types, OrdinalsAndNames) {
  EXPECT_EQ(ftFixedChar, 23);
  EXPECT_EQ(ftLargeint, 25);
  EXPECT_EQ(ftDataSet, 29);
  EXPECT_EQ(ftWideMemo, 39);
  EXPECT_EQ(FieldTypeName(ftString), "ftString");
  EXPECT_EQ(FieldTypeName(ftTypedBinary), "ftTypedBinary");
  EXPECT_EQ(FieldTypeName(ftWideMemo), "ftWideMemo");
  EXPECT_EQ(DataEventName(deDisabledStateChange), "deDisabledStateChange");
  EXPECT_EQ(DataSetStateName(dsOpening), "dsOpening");
  EXPECT_EQ(dsOpening, 12);
}

TEST(Types, DatabaseErrorNamesTheComponent) {
  auto c = CreateUnowned<TComponent>();
  try {
    DatabaseError("boom", c.get());
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "boom") << "no name, no prefix";
  }
  c->SetName("Table1");
  try {
    DatabaseErrorFmt("Field '%s' not found", c.get(), std::string("X"));
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table1: Field 'X' not found");
  }
  // The update error keeps its own copy of the original error.
  EUpdateError u("msg", "ctx", 5, 3, std::make_unique<EDatabaseError>("inner"));
  EUpdateError copy = u;
  auto clone = copy.Clone();
  auto* uc = dynamic_cast<EUpdateError*>(clone.get());
  ASSERT_NE(uc, nullptr);
  EXPECT_EQ(uc->ErrorCode(), 5);
  EXPECT_EQ(uc->PreviousError(), 3);
  ASSERT_NE(uc->OriginalException(), nullptr);
  EXPECT_NE(uc->OriginalException(), u.OriginalException());
  EXPECT_EQ(uc->OriginalException()->Message(), "inner");
}

TEST(FieldDefs, AddFindAssignAndUpdate) {
  auto ds = MakePeople(0, false);
  TFieldDefs* defs = ds->FieldDefs();
  EXPECT_EQ(defs->Items(2)->FieldNo(), 3);
  EXPECT_EQ(defs->IndexOf("name"), 1);
  EXPECT_EQ(defs->Find("salary")->DataType(), ftFloat);
  try {
    defs->Find("NOPE");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Field 'NOPE' not found");
  }
  EXPECT_THROW(defs->Add("Name", ftString, 5), EDatabaseError) << "duplicate ignoring case";
  EXPECT_TRUE(defs->Items(0)->Required());
  defs->Add("AMOUNT", ftBCD, 2);
  defs->Items(3)->SetPrecision(12);
  defs->Items(3)->SetAttributes({faReadonly});
  auto other = CreateUnowned<TMemoryDataSet>();
  other->SetFieldDefs(defs);
  ASSERT_EQ(other->FieldDefs()->Count(), 4);
  TFieldDef* amount = other->FieldDefs()->Items(3);
  EXPECT_EQ(amount->Precision(), 12) << "precision survives Assign";
  EXPECT_TRUE(amount->Attributes().Contains(faReadonly));
  EXPECT_EQ(amount->Size(), 2);
  EXPECT_EQ(amount->FieldNo(), 4);
  other->Open();
  auto* f = dynamic_cast<TBCDField*>(other->FieldByName("AMOUNT"));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Precision(), 12);
  EXPECT_TRUE(f->ReadOnly());
  EXPECT_TRUE(other->FieldByName("ID")->Required());
  other->Close();
  EXPECT_EQ(other->FieldCount(), 0) << "default fields go with the close";
  defs->SetUpdated(false);
  defs->Update();
  EXPECT_TRUE(defs->Updated());
  defs->Items(1)->SetSize(40);
  EXPECT_FALSE(defs->Updated()) << "a change marks the definitions stale";
}

// A dataset whose index list comes from a "cursor" that can fail.
class TIndexedDataSet : public TMemoryDataSet {
 public:
  int Reads = 0;
  int Changes = 0;
  bool Fail = false;
  TIndexDefs* Defs = nullptr;

 protected:
  void DefChanged(TObject* Sender) override {
    if (Sender == Defs) ++Changes;
  }
  void UpdateIndexDefs() override {
    ++Reads;
    Defs->Clear();
    if (Fail) throw EDatabaseError("catalog unavailable");
    Defs->Add("PK", "ID", {ixPrimary, ixUnique});
    Defs->Add("ByName", "NAME;ID", {ixCaseInsensitive});
    Defs->Add("Expr", "NAME", {ixExpression});
    Defs->Add("Desc", "SALARY", {ixDescending});
  }
};

TEST(IndexDefs, UpdateFindAndExtraction) {
  auto ds = CreateUnowned<TIndexedDataSet>();
  ds->SetName("T");
  ds->FieldDefs()->Add("ID", ftInteger);
  ds->FieldDefs()->Add("NAME", ftString, 10);
  TIndexDefs defs(ds.get());
  ds->Defs = &defs;
  ds->Fail = true;
  EXPECT_THROW(defs.Update(), EDatabaseError);
  EXPECT_FALSE(defs.Updated()) << "a failed read is tried again";
  ds->Fail = false;
  int before = ds->Changes;
  defs.Update();
  EXPECT_EQ(ds->Changes, before + 1) << "one report for the whole rebuild";
  defs.Update();
  EXPECT_EQ(ds->Reads, 2);
  EXPECT_EQ(defs.Count(), 4);
  EXPECT_EQ(defs.Find("pk")->Fields(), "ID");
  try {
    defs.Find("Missing");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T: Index 'Missing' not found");
  }
  EXPECT_EQ(defs.GetIndexForFields("name;id", false)->Name(), "ByName");
  EXPECT_EQ(defs.GetIndexForFields("NAME", false), nullptr) << "expression indexes never match";
  EXPECT_EQ(defs.GetIndexForFields("SALARY", false)->Name(), "Desc");
  EXPECT_EQ(defs.GetIndexForFields("ID", true), nullptr) << "PK is not case-insensitive";
  EXPECT_THROW(defs.FindIndexForFields("NOPE"), EDatabaseError);
  // Standard extraction: options meet the types, and every field exists.
  ds->Open();
  auto unique = ds->GetIndexDefs(&defs, {ixUnique});
  ASSERT_EQ(unique->Count(), 1);
  EXPECT_EQ(unique->Items(0)->Name(), "PK");
  auto ci = ds->GetIndexDefs(&defs, {ixCaseInsensitive, ixDescending});
  ASSERT_EQ(ci->Count(), 1) << "Desc names a field the dataset does not have";
  EXPECT_EQ(ci->Items(0)->Name(), "ByName");
  // A definition can live outside any collection and be copied.
  TIndexDef loose("Loose", "A;B", {ixUnique});
  defs.AddIndexDef()->Assign(&loose);
  EXPECT_EQ(defs.Find("Loose")->Options(), TIndexOptions({ixUnique}));
  ds->Close();
}

TEST(CheckConstraints, ItemsAndAssign) {
  auto ds = CreateUnowned<TMemoryDataSet>();
  TCheckConstraint* c = ds->Constraints()->Add();
  c->SetCustomConstraint("ID > 0");
  c->SetErrorMessage("ID must be positive");
  c->SetImportedConstraint("ID < 100");
  c->SetFromDictionary(true);
  auto other = CreateUnowned<TMemoryDataSet>();
  other->SetConstraints(ds->Constraints());
  ASSERT_EQ(other->Constraints()->Count(), 1);
  TCheckConstraint* d = other->Constraints()->Items(0);
  EXPECT_EQ(d->CustomConstraint(), "ID > 0");
  EXPECT_EQ(d->ErrorMessage(), "ID must be positive");
  EXPECT_EQ(d->ImportedConstraint(), "ID < 100");
  EXPECT_TRUE(d->FromDictionary());
  EXPECT_EQ(d->DisplayName(), "ID > 0");
}

TEST(Params, FindAndTypes) {
  TParams params;
  params.CreateParam(ftInteger, "Id", ptInput)->SetValue(Variant(3));
  TParam* p = params.AddParam();
  p->SetName("When");
  p->SetValue(Variant::FromDateTime(1.5));
  EXPECT_EQ(p->DataType(), ftDateTime) << "type taken from the value";
  EXPECT_EQ(params.ParamByName("id")->Value().AsInteger(), 3);
  EXPECT_EQ(params.FindParam("nope"), nullptr);
  EXPECT_THROW(params.ParamByName("nope"), EDatabaseError);
}

TEST(Provider, DefaultsRaiseOrReturnNothing) {
  auto ds = MakePeople(1);
  EXPECT_FALSE(ds->PSIsSQLSupported());
  EXPECT_EQ(ds->PSGetQuoteChar(), "");
  EXPECT_THROW(ds->PSStartTransaction(), EDatabaseError);
  EXPECT_THROW(ds->PSGetTableName(), EDatabaseError);
  EUpdateError prev("p", "", 9, 0, nullptr);
  auto e = ds->PSGetUpdateException(EDatabaseError("failed"), &prev);
  EXPECT_EQ(e->Message(), "failed");
  EXPECT_EQ(e->PreviousError(), 9);
  ASSERT_NE(e->OriginalException(), nullptr);
  EXPECT_EQ(e->OriginalException()->Message(), "failed");
}

}  // namespace
}  // namespace dac::testing
