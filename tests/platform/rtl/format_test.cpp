#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/text.h"

namespace dac {
namespace {

TEST(Format, FillsTextAndIntegerPlaceholdersInOrder) {
  EXPECT_EQ(Format("P.SQL error %d", -5202), "P.SQL error -5202");
  EXPECT_EQ(Format("%s: %s", "Table1", std::string("Record locked")), "Table1: Record locked");
  EXPECT_EQ(Format("Index with number %d not found", 3u), "Index with number 3 not found");
  EXPECT_EQ(Format("100%% of %s", "rows"), "100% of rows");
}

TEST(Format, WidthPrecisionAndIndex) {
  EXPECT_EQ(Format("[%5d]", 42), "[   42]");
  EXPECT_EQ(Format("[%-5s]", "ab"), "[ab   ]");
  EXPECT_EQ(Format("%.3f", 1.23456), "1.235");
  EXPECT_EQ(Format("%1:s %0:s", "a", "b"), "b a");
  EXPECT_EQ(Format("%x", 255), "FF");
  EXPECT_EQ(Format("%.4d", 7), "0007");
}

TEST(Format, MismatchAndMissingArgumentsRaiseConvertError) {
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%s", 5), EConvertError);
  EXPECT_THROW(Format("%s %s", "one"), EConvertError);
  EXPECT_THROW(Format("trailing %"), EConvertError);
}

TEST(Text, TrimAndCaseHelpers) {
  EXPECT_EQ(Trim(" \t\r\nabc. \n"), "abc.");
  EXPECT_EQ(TrimRight("abc \x01"), "abc");
  EXPECT_EQ(CompareText("Company", "COMPANY"), 0);
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_TRUE(SameText("PvDefault", "pvdefault"));
  EXPECT_FALSE(SameText("PvDefault", "pvdefault1"));
  EXPECT_EQ(UpperCase("aZ9ä"), "AZ9ä");
}

TEST(Exceptions, CloneAndRaiseKeepTheDynamicType) {
  EConvertError original("bad value");
  const Exception& base = original;
  std::unique_ptr<Exception> copy = base.Clone();
  EXPECT_NE(dynamic_cast<EConvertError*>(copy.get()), nullptr);
  EXPECT_EQ(copy->Message(), "bad value");
  EXPECT_THROW(copy->Raise(), EConvertError);
  EXPECT_THROW(Abort(), EAbort);
}

}  // namespace
}  // namespace dac

namespace dac {
namespace {

TEST(Format, NumberPlaceholderGroupsThousands) {
  EXPECT_EQ(Format("%n", 1234567.5), "1,234,567.50");
  EXPECT_EQ(Format("%.0n", -1234.0), "-1,234");
  EXPECT_EQ(Format("%.1n", 999.0), "999.0");
}

}  // namespace
}  // namespace dac
