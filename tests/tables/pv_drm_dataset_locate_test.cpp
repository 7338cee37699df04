// Filter keys on the current index, and Locate and Lookup through engine
// terms: which terms and keys go to the engine, what stays on the client,
// where the dataset stands afterwards, and that nothing of a locate or of a
// failed activation is left in the engine.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Row;
using tabletest::Z;

// Records what the dataset hands to the engine, and fails on request.
class TProbeTable : public TPvTable {
 public:
  void SetForceSimpleFilters(bool Value) { FForceSimpleFilters = Value; }
  struct TCall {
    int32_t Mode;
    std::vector<DRM_FilterStruct> Terms;
  };
  std::vector<TCall> Calls;
  // Fail after the engine accepted the terms (status returned instead of 0).
  int32_t FailAfterAccepting = 0;
  // Fail when a filter key is set into this slot (-1: never).
  int32_t FailKeySlot = -1;
  int32_t SeekKeysSet = 0;

 protected:
  int32_t SetEngineFilter(const DRM_FilterStruct* Terms, uint16_t Count, int32_t& Tag, int32_t Mode) override {
    Calls.push_back({Mode, std::vector<DRM_FilterStruct>(Terms, Terms + Count)});
    const int32_t status = TPvTable::SetEngineFilter(Terms, Count, Tag, Mode);
    return status == 0 && FailAfterAccepting != 0 ? FailAfterAccepting : status;
  }
  void SetFilterKeySlot(uint32_t ColumnId, int32_t Slot, const std::vector<uint8_t>& Value, uint16_t Length,
                        uint32_t Flags) override {
    if (Slot == DRM_KEYSLOT_SEEK) ++SeekKeysSet;
    TPvTable::SetFilterKeySlot(ColumnId, Slot, Value, Length, Flags);
    if (Slot == FailKeySlot) CheckStatus(DRM_ERR_INVALID_PARAMETER);
  }
};

class TPvDrmDataSetLocate : public tabletest::TableTest {
 protected:
  // Company: AgyCode (text 4), Number (int32), fHasParentCmp (int16),
  // Name (zstring 20), Active (Boolean); index_1 on AgyCode, Number.
  void Company() {
    auto ids = Create("Company", {{"AgyCode", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 4},
                                  {"Number", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                  {"fHasParentCmp", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                                  {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 20},
                                  {"Active", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1}});
    const char* const names[] = {"Acme", "O'Brien", "beta", "Beta", nullptr, "Gamma"};
    std::vector<Row> rows;
    for (int32_t i = 0; i < 30; ++i) {
      Row r;
      r.push_back(Z(i % 3 == 0 ? "X1" : i % 3 == 1 ? "X2" : "Y1"));
      r.push_back(B(int32_t{100 + i}));
      r.push_back(B(static_cast<int16_t>(i % 2)));
      r.push_back(names[i % 6] ? std::optional<tabletest::Bytes>(Z(names[i % 6])) : std::nullopt);
      r.push_back(B(static_cast<uint8_t>(i % 4 == 3)));
      rows.push_back(r);
    }
    Insert("Company", ids, rows);
    uint32_t t = 0;
    ASSERT_EQ(RareOpenTable(RS, RD, "Company", 0, 0, &t), 0);
    const char spec[] = "+AgyCode\0+Number\0";
    ASSERT_EQ(RareCreateIndex(RS, t, "index_1", DRM_IDXFLAG_CASE_SENSITIVE, spec, sizeof spec, 0), 0);
    ASSERT_EQ(RareCloseTable(RS, t), 0);
  }
  TFreePtr<TProbeTable> Probe(const std::string& Index = "index_1") {
    auto t = CreateUnowned<TProbeTable>();
    t->SetName("T1");
    t->SetDatabaseName(dir);
    t->SetTableName("Company");
    t->SetIndexName(Index);
    return t;
  }
  static int32_t Number(TPvTable* t) { return t->FieldByName("Number")->AsInteger(); }
  static std::vector<int32_t> Numbers(TPvTable* t) {
    std::vector<int32_t> seen;
    for (t->First(); !t->Eof(); t->Next()) seen.push_back(Number(t));
    return seen;
  }
  // Nothing of a filter or locate is left in the engine cursor.
  static void ExpectNoEngineFilter(TPvTable* t) {
    TRmInfo info{};
    ASSERT_EQ(RareGetRmInfo(t->Handle(), &info), 0);
    const int32_t terms = info.CurFilterLen;
    EXPECT_EQ(terms, 0);
  }
};

TEST_F(TPvDrmDataSetLocate, EqualityTermsOnTheIndexBecomeFilterKeys) {
  Company();
  auto t = Probe();
  t->SetFilter("AgyCode = 'X1' and fHasParentCmp = 0");
  t->SetFiltered(true);
  t->Open();
  ASSERT_NE(t->ParseTransformer(), nullptr);
  EXPECT_EQ(t->ParseTransformer()->DRMFilterCount(), 2);
  const uint8_t joint = t->ParseTransformer()->pDRMFilters()[0].ExprWithNextTerm;
  EXPECT_EQ(joint, DRM_JOIN_AND);
  EXPECT_EQ(t->ParseTransformer()->pLocalFilterParseData(), nullptr);
  ASSERT_EQ(t->FilterKeyNotes().size(), 2u);
  for (const auto& key : t->FilterKeyNotes()) EXPECT_EQ(key.ColumnName, "AgyCode");
  EXPECT_EQ(t->FilterKeyNotes()[0].Slot, DRM_KEYSLOT_FILTER0);
  EXPECT_EQ(t->FilterKeyNotes()[1].Slot, DRM_KEYSLOT_FILTER1);
  // The first key; partial, as the index has a second segment the terms do not fix.
  EXPECT_EQ(t->FilterKeyNotes()[0].Flags, DRM_KEYFLAG_FIRST | DRM_KEYFLAG_PARTIAL);
  EXPECT_EQ(Numbers(t.get()), (std::vector<int32_t>{100, 106, 112, 118, 124}));
  // Both segments fixed by equalities: two keys per slot, none partial after the last.
  t->SetFilter("AgyCode = 'X2' and Number = 104");
  ASSERT_EQ(t->FilterKeyNotes().size(), 4u);
  EXPECT_EQ(t->FilterKeyNotes()[2].ColumnName, "Number");
  EXPECT_EQ(t->FilterKeyNotes()[2].Flags, 0u);
  EXPECT_EQ(Numbers(t.get()), (std::vector<int32_t>{104}));
  // A comparison first, or a column off the index: no keys.
  t->SetFilter("Number > 120 and AgyCode = 'X1'");
  EXPECT_TRUE(t->FilterKeyNotes().empty());
  EXPECT_EQ(Numbers(t.get()), (std::vector<int32_t>{121, 124, 127}));
  t->SetFiltered(false);
  EXPECT_TRUE(t->FilterKeyNotes().empty());
  EXPECT_EQ(Numbers(t.get()).size(), 30u);
}

TEST_F(TPvDrmDataSetLocate, AFailedActivationLeavesNothingInTheEngine) {
  Company();
  for (int32_t failKey : {-1, DRM_KEYSLOT_FILTER0, DRM_KEYSLOT_FILTER1}) {
    SCOPED_TRACE(failKey);
    auto t = Probe();
    t->Open();
    t->FailAfterAccepting = failKey == -1 ? DRM_ERR_FILTER_NOT_SUPPORTED : 0;
    t->FailKeySlot = failKey;
    t->SetFilter("AgyCode = 'X1' and Number + 0 > 110");
    EXPECT_THROW(t->SetFiltered(true), Exception);
    EXPECT_EQ(t->ParseTransformer(), nullptr);
    EXPECT_EQ(t->FilterTag(), 0);
    EXPECT_TRUE(t->FilterKeyNotes().empty());
    EXPECT_FALSE(t->Filtered());
    ExpectNoEngineFilter(t.get());
    EXPECT_EQ(Numbers(t.get()).size(), 30u);
    // The next activation works normally.
    t->FailAfterAccepting = 0;
    t->FailKeySlot = -1;
    t->SetFiltered(true);
    EXPECT_EQ(Numbers(t.get()), (std::vector<int32_t>{112, 115, 118, 121, 124, 127}));
  }
}

TEST_F(TPvDrmDataSetLocate, LocateOnTheIndexPushesTermsAndKeys) {
  Company();
  auto t = Probe();
  t->Open();
  ASSERT_TRUE(t->Locate("AgyCode;Number", VarArrayOf({Variant("Y1"), Variant(int32_t{108})}), {}));
  EXPECT_EQ(Number(t.get()), 108);
  ASSERT_EQ(t->Calls.size(), 1u);
  EXPECT_EQ(t->Calls[0].Mode, DRM_FILTER_SET_LOCATE);
  ASSERT_EQ(t->Calls[0].Terms.size(), 2u);
  for (const DRM_FilterStruct& term : t->Calls[0].Terms) {
    const uint8_t kind = term.IsColumn, code = term.CompareCode, joint = term.ExprWithNextTerm;
    EXPECT_EQ(kind, fisConst);
    EXPECT_EQ(code, DRM_CMP_EQ);
    EXPECT_EQ(joint, DRM_JOIN_AND);
  }
  EXPECT_EQ(t->SeekKeysSet, 2);
  ExpectNoEngineFilter(t.get());
  t->Next();
  EXPECT_EQ(Number(t.get()), 111) << "the walk goes on in index order from the record found";
  EXPECT_EQ(Numbers(t.get()).size(), 30u) << "key slot 4 is cancelled";
  // Partial and case-insensitive on text: a prefix term without case.
  t->First();
  t->Calls.clear();
  ASSERT_TRUE(t->Locate("AgyCode", "y", {loPartialKey, loCaseInsensitive}));
  EXPECT_EQ(Number(t.get()), 102);
  ASSERT_EQ(t->Calls.size(), 1u);
  const uint8_t kind = t->Calls[0].Terms[0].IsColumn, code = t->Calls[0].Terms[0].CompareCode;
  EXPECT_EQ(kind, fisPartialConst);
  EXPECT_EQ(code, DRM_CMP_GE | DRM_CMP_NOCASE);
  // Lookup reads the record found without moving the active one.
  t->First();
  EXPECT_EQ(t->Lookup("Number", int32_t{113}, "AgyCode").AsString(), "X2");
  EXPECT_EQ(Number(t.get()), 100);
}

TEST_F(TPvDrmDataSetLocate, BooleanKeysAndNullKeys) {
  Company();
  auto t = Probe("");
  t->Open();
  // A Boolean key goes to the client as "(Active=True)"; no term for it.
  ASSERT_TRUE(t->Locate("Active", true, {}));
  EXPECT_EQ(Number(t.get()), 103);
  ASSERT_EQ(t->Calls.size(), 1u);
  EXPECT_TRUE(t->Calls[0].Terms.empty());
  // With a second key: one term for Number, the Boolean on the client.
  t->Calls.clear();
  ASSERT_TRUE(t->Locate("Number;Active", VarArrayOf({Variant(int32_t{111}), Variant(true)}), {}));
  EXPECT_EQ(Number(t.get()), 111);
  ASSERT_EQ(t->Calls[0].Terms.size(), 1u);
  EXPECT_FALSE(t->Locate("Number;Active", VarArrayOf({Variant(int32_t{112}), Variant(true)}), {}));
  EXPECT_EQ(Number(t.get()), 111);
  // A NULL key pushes a NULL test.
  t->Calls.clear();
  ASSERT_TRUE(t->Locate("Name", Variant::Null(), {}));
  EXPECT_EQ(Number(t.get()), 104);
  const uint8_t kind = t->Calls[0].Terms[0].IsColumn, code = t->Calls[0].Terms[0].CompareCode;
  EXPECT_EQ(kind, fisNull);
  EXPECT_EQ(code, DRM_CMP_EQ);
  ExpectNoEngineFilter(t.get());
}

TEST_F(TPvDrmDataSetLocate, ALocateThatFindsNothingLeavesTheDatasetWhereItWas) {
  Company();
  auto t = Probe();
  t->SetFilter("fHasParentCmp = 1");
  t->SetFiltered(true);
  t->Open();
  t->First();
  t->Next();
  t->Next();
  const int32_t before = Number(t.get());
  EXPECT_FALSE(t->Locate("AgyCode;Number", VarArrayOf({Variant("X1"), Variant(int32_t{100})}), {}))
      << "100 exists but the dataset's filter hides it";
  EXPECT_EQ(Number(t.get()), before);
  t->Next();
  EXPECT_GT(Number(t.get()), before);
  EXPECT_NE(t->FilterTag(), 0) << "the dataset's own filter stays";
  EXPECT_EQ(Numbers(t.get()).size(), 15u);
}

TEST_F(TPvDrmDataSetLocate, TextValuesWithQuotesInTheLocateTextFilter) {
  Company();
  auto t = Probe();
  t->Open();
  // AgyCode leads the index but Name does not follow it: both keys go to
  // the client's text filter, "(AgyCode='X2') AND (Name='O''Brien')".
  ASSERT_TRUE(t->Locate("AgyCode;Name", VarArrayOf({Variant("X2"), Variant("O'Brien")}), {}));
  EXPECT_EQ(Number(t.get()), 101);
  EXPECT_TRUE(t->Calls[0].Terms.empty());
  EXPECT_FALSE(t->Locate("AgyCode;Name", VarArrayOf({Variant("X2"), Variant("O'Brien') or (Number=1")}), {}));
  EXPECT_EQ(Number(t.get()), 101);
}

}  // namespace
