// Looking up index definitions by field list.

#include "dataset/pv_index_defs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "platform/db/memory_dataset.h"

namespace dac {
namespace {

struct TDefinition {
  std::string Name, Fields;
  TIndexOptions Options;
};

// A dataset whose index definitions come from a list, counting rebuilds.
class TIndexedDataSet : public TMemoryDataSet {
 public:
  TPvIndexDefs* Defs = nullptr;
  std::vector<TDefinition> Definitions;
  int Rebuilds = 0;

 protected:
  void UpdateIndexDefs() override {
    ++Rebuilds;
    Defs->Clear();
    for (const auto& s : Definitions) Defs->Add(s.Name, s.Fields, s.Options);
  }
};

class TPvIndexDefsTest : public ::testing::Test {
 protected:
  TFreePtr<TIndexedDataSet> ds = CreateUnowned<TIndexedDataSet>();
  TPvIndexDefs defs{ds.get()};

  void SetUp() override {
    ds->SetName("Table1");
    ds->Defs = &defs;
  }
  std::string Found(const std::string& fields, bool caseInsensitive = false) {
    TIndexDef* d = defs.GetIndexForFields(fields, caseInsensitive);
    return d ? d->Name() : "<none>";
  }
};

TEST_F(TPvIndexDefsTest, ExactMatchFirstThenLeadingFields) {
  ds->Definitions = {
      {"ByNamesake", "Namesake", {}},
      {"ByExpr", "Name", {ixExpression}},
      {"ByNameCity", "Name;City", {}},
      {"ByAB", "A;B", {}},
      {"ByA", "a", {}},
      {"ByCode", "Code", {ixDescending}},
  };
  // No index is exactly "Name" (the expression index never counts); the
  // one that starts with Name; serves, not the one whose name only begins
  // with the same letters.
  EXPECT_EQ(Found("Name"), "ByNameCity");
  EXPECT_EQ(Found("NAME;city"), "ByNameCity");
  // An exact match wins over an earlier prefix match.
  EXPECT_EQ(Found("A"), "ByA");
  EXPECT_EQ(Found("Code"), "ByCode");
  EXPECT_EQ(Found("Nam"), "<none>");
  EXPECT_EQ(Found("City"), "<none>");
  EXPECT_EQ(Found("Name;City;Zip"), "<none>");
  // The definitions were read once, on the first lookup.
  EXPECT_EQ(ds->Rebuilds, 1);
  defs.SetUpdated(false);
  ds->Definitions.push_back({"ByCity", "City", {}});
  EXPECT_EQ(Found("City"), "ByCity");
  EXPECT_EQ(ds->Rebuilds, 2);
}

TEST_F(TPvIndexDefsTest, CaseInsensitiveLookupSkipsCaseSensitiveIndexes) {
  ds->Definitions = {
      {"Exact", "Name;City", {ixUnique}},
      {"CiLonger", "Name;City;Zip", {ixCaseInsensitive}},
      {"CiExact", "Name;City", {ixCaseInsensitive, ixExpression}},
  };
  EXPECT_EQ(Found("Name;City", false), "Exact");
  EXPECT_EQ(Found("Name;City", true), "CiLonger");
  EXPECT_EQ(Found("Zip", true), "<none>");
}

TEST_F(TPvIndexDefsTest, FindIndexForFieldsRaisesNamingTheDataSet) {
  ds->Definitions = {{"ByName", "Name", {}}};
  EXPECT_EQ(defs.FindIndexForFields("name")->Name(), "ByName");
  try {
    defs.FindIndexForFields("Zip;Name");
    ADD_FAILURE() << "no failure";
  } catch (const EPvDatabaseError& e) {
    EXPECT_THAT(e.Message(), ::testing::StartsWith("No index for fields 'Zip;Name'"));
    EXPECT_THAT(e.Message(), ::testing::HasSubstr("Table1"));
    EXPECT_EQ(e.Owner(), ds.get());
  }
}

}  // namespace
}  // namespace dac
