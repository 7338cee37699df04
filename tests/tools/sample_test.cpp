#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tools/drmcli/sample.h"

using namespace drmcli;

TEST(Sample, SplitMix64FollowsItsPublishedSequence) {
  // First outputs for seed 0 of the reference generator.
  SplitMix64 r(0);
  EXPECT_EQ(r.Next(), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(r.Next(), 0x6E789E6AA1B965F4ull);
  SplitMix64 b(7);
  for (int i = 0; i < 1000; ++i) EXPECT_LT(b.Below(7), 7u);
}

TEST(Sample, SameSeedSameRowsOtherSeedOtherRows) {
  auto a = GenerateCompanies(300, 42);
  auto b = GenerateCompanies(300, 42);
  auto c = GenerateCompanies(300, 43);
  ASSERT_EQ(a.size(), 300u);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  // A shorter run is a prefix of a longer one up to the cut parent.
  auto shorter = GenerateCompanies(100, 42);
  for (size_t i = 0; i < shorter.size(); ++i) EXPECT_EQ(shorter[i].Number, a[i].Number);
}

TEST(Sample, ParentsAndSubsidiariesAreConsistent) {
  const auto rows = GenerateCompanies(2000, 1);
  ASSERT_EQ(rows.size(), 2000u);
  std::map<std::string, const CompanyRow*> byNumber;
  for (const CompanyRow& r : rows) {
    EXPECT_TRUE(byNumber.emplace(r.Number, &r).second) << "duplicate number " << r.Number;
    EXPECT_EQ(r.Number.size(), 6u);
  }
  std::map<std::string, int> subsOf;
  std::set<std::string> agencies;
  int inactive = 0;
  for (const CompanyRow& r : rows) {
    agencies.insert(r.AgyCode);
    ASSERT_EQ(r.AgyCode.size(), 2u);
    EXPECT_GE(r.AgyCode, "01");
    EXPECT_LE(r.AgyCode, "07");
    EXPECT_FALSE(r.Name.empty());
    EXPECT_LE(r.Name.size(), 50u);
    inactive += r.InactiveAcct;
    if (!r.fHasParentCmp) {
      EXPECT_EQ(r.MyParentCmp, "");
      subsOf[r.Number];
      continue;
    }
    auto parent = byNumber.find(r.MyParentCmp);
    ASSERT_NE(parent, byNumber.end()) << r.Number << " names a missing parent";
    EXPECT_FALSE(parent->second->fHasParentCmp) << "parents are top-level companies";
    EXPECT_EQ(parent->second->AgyCode, r.AgyCode) << "a subsidiary belongs to its parent's agency";
    if (parent->second->InactiveAcct) {
      EXPECT_TRUE(r.InactiveAcct);
    }
    ++subsOf[r.MyParentCmp];
  }
  EXPECT_EQ(agencies.size(), 7u);
  int none = 0, several = 0;
  for (auto& [number, n] : subsOf) {
    none += n == 0;
    several += n >= 2;
  }
  EXPECT_GT(none, 100);
  EXPECT_GT(several, 50);
  EXPECT_GT(inactive, 40);
  EXPECT_LT(inactive, 400);
}

TEST(Sample, ValuesFollowTheSchema) {
  TableSchema s = CompanySchema();
  for (const char* needed : {"Number", "Name", "InactiveAcct", "AgyCode", "fHasParentCmp", "MyParentCmp"})
    EXPECT_NE(s.FindColumn(needed), nullptr) << needed;
  const IndexDef* index1 = nullptr;
  bool uniqueNumber = false;
  for (const IndexDef& ix : s.Indexes) {
    if (ix.Name == "index_1") index1 = &ix;
    if (ix.Unique && ix.Segments.size() == 1 && ix.Segments[0].Column == "Number") uniqueNumber = true;
  }
  ASSERT_NE(index1, nullptr);
  EXPECT_EQ(index1->Segments[0].Column, "AgyCode");
  EXPECT_TRUE(uniqueNumber);
  for (const CompanyRow& r : GenerateCompanies(50, 9)) {
    auto v = CompanyValues(r);
    ASSERT_EQ(v.size(), s.Columns.size());
    for (size_t i = 0; i < v.size(); ++i) {
      const ColumnDef& c = s.Columns[i];
      if (c.Type == "string") {
        EXPECT_LE(v[i].size(), c.CbMax) << c.Name << " = " << v[i];
      }
    }
  }
}
