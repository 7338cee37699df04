// Calculated and lookup fields, OnFilterRecord filtering and the Find
// operations.

#include <gtest/gtest.h>

#include "db_test_support.h"
#include "platform/db/numeric_fields.h"
#include "platform/db/string_field.h"

namespace dac::testing {
namespace {

int Id(TDataSet* ds) { return ds->FieldByName("ID")->AsInteger(); }

// People with persistent fields: the three data fields, a calculated
// DOUBLE = SALARY * 2 and a calculated text LABEL.
struct CalcPeople {
  TFreePtr<TMemoryDataSet> ds = MakePeople(12, false);
  int calcCalls = 0;
  CalcPeople() {
    ds->FieldDefs()->Update();
    for (int i = 0; i < ds->FieldDefs()->Count(); ++i) ds->FieldDefs()->Items(i)->CreateField(ds.get());
    TField* dbl = Create<TFloatField>(ds.get());
    dbl->SetFieldName("DOUBLE");
    dbl->SetFieldKind(fkCalculated);
    dbl->SetDataSet(ds.get());
    TField* label = Create<TStringField>(ds.get());
    label->SetFieldName("LABEL");
    label->SetSize(30);
    label->SetFieldKind(fkCalculated);
    label->SetDataSet(ds.get());
    ds->OnCalcFields = [this](TDataSet* d) {
      ++calcCalls;
      d->FieldByName("DOUBLE")->SetAsFloat(d->FieldByName("SALARY")->AsFloat() * 2);
      d->FieldByName("LABEL")->SetAsString("#" + d->FieldByName("ID")->AsString());
    };
    ds->Open();
  }
};

TEST(CalcFields, LayoutAndValuesPerRecord) {
  CalcPeople p;
  TDataSet* ds = p.ds.get();
  EXPECT_FALSE(ds->DefaultFields());
  TField* dbl = ds->FieldByName("DOUBLE");
  TField* label = ds->FieldByName("LABEL");
  EXPECT_EQ(dbl->FieldNo(), -1);
  EXPECT_EQ(dbl->Offset(), 0);
  EXPECT_EQ(label->Offset(), 9) << "8 bytes plus the present byte";
  EXPECT_EQ(ds->CalcFieldsSize(), 9 + 32);
  for (int i = 1; i <= 12; ++i) {
    EXPECT_EQ(Id(ds), i);
    EXPECT_DOUBLE_EQ(dbl->AsFloat(), i * 20.0);
    EXPECT_EQ(label->AsString(), "#" + std::to_string(i));
    ds->Next();
  }
  // Calculated fields cannot be written outside the calculation.
  ds->Edit();
  ds->FieldByName("SALARY")->SetAsFloat(1000);
  EXPECT_DOUBLE_EQ(dbl->AsFloat(), 2000.0) << "recalculated on field change";
  ds->SetAutoCalcFields(false);
  ds->FieldByName("SALARY")->SetAsFloat(3000);
  EXPECT_DOUBLE_EQ(dbl->AsFloat(), 2000.0) << "not recalculated without AutoCalcFields";
  ds->Post();
  EXPECT_DOUBLE_EQ(dbl->AsFloat(), 6000.0) << "a fresh read calculates";
  ds->Close();
  EXPECT_EQ(dbl->FieldNo(), 0) << "unbound after close";
  EXPECT_EQ(ds->FieldCount(), 5) << "persistent fields stay";
}

TEST(CalcFields, LookupField) {
  auto depts = CreateUnowned<TMemoryDataSet>();
  depts->FieldDefs()->Add("CODE", ftInteger);
  depts->FieldDefs()->Add("TITLE", ftString, 10);
  depts->Open();
  depts->AppendRecord({Variant(2), Variant("Two")});
  depts->AppendRecord({Variant(3), Variant("Three")});

  auto ds = MakePeople(4, false);
  ds->FieldDefs()->Update();
  for (int i = 0; i < ds->FieldDefs()->Count(); ++i) ds->FieldDefs()->Items(i)->CreateField(ds.get());
  TField* title = Create<TStringField>(ds.get());
  title->SetFieldName("DEPT");
  title->SetFieldKind(fkLookup);
  title->SetDataSet(ds.get());
  EXPECT_THROW(ds->Open(), EDatabaseError) << "lookup definition incomplete";
  EXPECT_FALSE(ds->Active());
  title->SetLookupDataSet(depts.get());
  title->SetKeyFields("ID");
  title->SetLookupKeyFields("CODE");
  title->SetLookupResultField("TITLE");
  ds->Open();
  EXPECT_EQ(title->FieldNo(), -1);
  std::string seen;
  while (!ds->Eof()) {
    seen += title->IsNull() ? "-" : title->AsString();
    seen += " ";
    ds->Next();
  }
  EXPECT_EQ(seen, "- Two Three - ");
  ds->Close();
  depts.reset();
  EXPECT_EQ(title->LookupDataSet(), nullptr) << "a freed lookup dataset is forgotten";
}

// The dataset a lookup field reads from is opened with the dataset that
// uses it; its names are checked there too.
TEST(CalcFields, LookupDataSetOpensWithTheUsingDataSet) {
  auto depts = CreateUnowned<TMemoryDataSet>();
  depts->FieldDefs()->Add("CODE", ftInteger);
  depts->FieldDefs()->Add("TITLE", ftString, 10);
  depts->Open();
  depts->AppendRecord({Variant(2), Variant("Two")});
  depts->Close();

  auto ds = MakePeople(3, false);
  ds->FieldDefs()->Update();
  for (int i = 0; i < ds->FieldDefs()->Count(); ++i) ds->FieldDefs()->Items(i)->CreateField(ds.get());
  TField* title = Create<TStringField>(ds.get());
  title->SetFieldName("DEPT");
  title->SetFieldKind(fkLookup);
  title->SetDataSet(ds.get());
  title->SetLookupDataSet(depts.get());
  title->SetKeyFields("ID");
  title->SetLookupKeyFields("CODE");
  title->SetLookupResultField("TITLE");
  ds->Open();
  EXPECT_TRUE(depts->Active());
  ds->Next();
  EXPECT_EQ(title->AsString(), "Two");
  // Closing the using dataset leaves the lookup dataset alone.
  ds->Close();
  EXPECT_TRUE(depts->Active());

  depts->Close();
  title->SetLookupResultField("NOPE");
  EXPECT_THROW(ds->Open(), EDatabaseError) << "unknown result field";
  EXPECT_FALSE(ds->Active());
  title->SetLookupResultField("TITLE");
  title->SetKeyFields("NOPE");
  EXPECT_THROW(ds->Open(), EDatabaseError) << "unknown key field";
  EXPECT_FALSE(ds->Active());
}

TEST(Filter, OnFilterRecordCountsAndMoves) {
  auto ds = MakePeople(25);
  ds->SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->AsInteger() % 3 == 0; });
  EXPECT_EQ(ds->RecordCount(), 25) << "not filtered yet";
  ds->SetFiltered(true);
  EXPECT_EQ(ds->RecordCount(), 8);
  EXPECT_EQ(Id(ds.get()), 3);
  std::string seen;
  while (!ds->Eof()) {
    seen += std::to_string(Id(ds.get())) + " ";
    ds->Next();
  }
  EXPECT_EQ(seen, "3 6 9 12 15 18 21 24 ");
  ds->Last();
  EXPECT_EQ(Id(ds.get()), 24);
  EXPECT_EQ(ds->RecNo(), 8);
  // An edited record that leaves the filter is no longer shown.
  ds->Edit();
  ds->FieldByName("ID")->SetAsInteger(25);
  ds->Post();
  EXPECT_EQ(Id(ds.get()), 21);
  EXPECT_EQ(ds->RecordCount(), 7);
  EXPECT_FALSE(ds->Locate("ID", Variant(4), {}));
  ds->SetFiltered(false);
  EXPECT_TRUE(ds->Locate("ID", Variant(4), {}));
  ds->SetFilter("ID > 3");
  EXPECT_THROW(ds->SetFiltered(true), EDatabaseError) << "text filters are not understood";
  EXPECT_FALSE(ds->Filtered());
}

TEST(Filter, FindFirstNextPriorLast) {
  auto ds = MakePeople(10);
  ds->SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->AsInteger() % 4 == 0; });
  EXPECT_TRUE(ds->FindFirst());
  EXPECT_TRUE(ds->Found());
  EXPECT_EQ(Id(ds.get()), 4);
  EXPECT_TRUE(ds->FindNext());
  EXPECT_EQ(Id(ds.get()), 8);
  EXPECT_FALSE(ds->FindNext());
  EXPECT_FALSE(ds->Found());
  EXPECT_EQ(Id(ds.get()), 8) << "a failed find stays";
  EXPECT_TRUE(ds->FindPrior());
  EXPECT_EQ(Id(ds.get()), 4);
  EXPECT_TRUE(ds->FindLast());
  EXPECT_EQ(Id(ds.get()), 8);
  EXPECT_EQ(ds->RecordCount(), 10) << "finding does not filter";
}

// A handler or a name that fails in the middle of a filtered read, a find,
// a lookup or a calculation leaves the dataset in the state it was in.
TEST(Filter, FailuresInsideTemporaryStatesRestoreTheState) {
  auto ds = MakePeople(25);
  auto expectBrowsing = [&](const char* what) {
    EXPECT_EQ(ds->State(), dsBrowse) << what;
    EXPECT_FALSE(ds->ControlsDisabled()) << what;
  };
  bool fail = false;
  ds->SetOnFilterRecord([&fail](TDataSet* d, bool& accept) {
    if (fail && d->FieldByName("ID")->AsInteger() >= 15) throw EDatabaseError("filter failed");
    accept = true;
  });
  ds->SetFiltered(true);
  fail = true;
  EXPECT_THROW(ds->MoveBy(20), EDatabaseError);
  expectBrowsing("filtered read");
  ds->SetFiltered(false);
  expectBrowsing("filter off");
  EXPECT_THROW(ds->FindLast(), EDatabaseError);
  expectBrowsing("find");
  ds->SetOnFilterRecord(nullptr);
  EXPECT_THROW(ds->Lookup("ID", Variant(3), "NOPE"), EDatabaseError);
  expectBrowsing("lookup");
  EXPECT_EQ(ds->Lookup("ID", Variant(3), "NAME").AsString(), "Name3");
}

TEST(CalcFields, FailingOnCalcFieldsRestoresTheState) {
  CalcPeople p;
  TDataSet* ds = p.ds.get();
  ds->Edit();
  TDataSetNotifyEvent calc = ds->OnCalcFields;
  ds->OnCalcFields = [](TDataSet*) { throw EDatabaseError("calc failed"); };
  EXPECT_THROW(ds->FieldByName("SALARY")->SetAsFloat(1), EDatabaseError);
  EXPECT_EQ(ds->State(), dsEdit);
  ds->OnCalcFields = calc;
  ds->Cancel();
  EXPECT_EQ(ds->State(), dsBrowse);
}

}  // namespace
}  // namespace dac::testing
