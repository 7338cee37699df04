#include "app/company_text.h"

#include <gtest/gtest.h>

using namespace quillbox;

TEST(CompanyText, AgencyCodeIsTrimmedAndAOneCharacterCodeGetsItsLeadingBlank) {
  EXPECT_EQ(StoredAgencyCode("01"), "01");
  EXPECT_EQ(StoredAgencyCode("1"), " 1");
  EXPECT_EQ(StoredAgencyCode(" 1"), " 1");
  EXPECT_EQ(StoredAgencyCode("1 "), " 1");
  EXPECT_EQ(StoredAgencyCode("  "), "");
  EXPECT_EQ(StoredAgencyCode(""), "");
}

TEST(CompanyText, FiltersQuoteTheirConstantsDoublingInnerQuotes) {
  EXPECT_EQ(ParentFilter("01"), "AgyCode = '01' and fHasParentCmp = 0");
  EXPECT_EQ(ParentFilter(""), "AgyCode = '' and fHasParentCmp = 0");
  EXPECT_EQ(SubsidiaryFilter(" 1", "100001"), "AgyCode = ' 1' and MyParentCmp = '100001'");
  EXPECT_EQ(SubsidiaryFilter("0'", "10'6"), "AgyCode = '0''' and MyParentCmp = '10''6'");
  EXPECT_EQ(QuoteConstant("''"), "''''''");
}

TEST(CompanyText, NamesLoseOuterBlanksAndControlsAndCommasAndInnerControlsBecomeSpaces) {
  EXPECT_EQ(CleanName("  Acme, Inc.  "), "Acme  Inc.");
  EXPECT_EQ(CleanName("Acme  North"), "Acme  North");
  EXPECT_EQ(CleanName("\t\r\nAcme\r\nSouth\x7f,\x01"), "Acme  South  ");
  EXPECT_EQ(CleanName("Caf\xC3\xA9 Z\xC3\xBCrich,LLC"), "Caf\xC3\xA9 Z\xC3\xBCrich LLC");
  EXPECT_EQ(CleanName(",,"), "  ");
  EXPECT_EQ(CleanName(" \t "), "");
}
