// TFilterShapeCache: a text that differs from the remembered one only in its
// text constants gets exactly the buffer the parser would make of it, and
// every text whose buffer could differ in more than the constants is left
// to the parser.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/filter_shape.h"
#include "filter_test_support.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/scope_guard.h"

namespace dac::filtertest {
namespace {

class TFilterShapeCacheTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  TFilterShapeCache cache;

  std::vector<uint8_t> Parsed(const std::string& Text, TFilterOptions Fo = {}) {
    TExprParser p(ds.get(), Text, Fo, {poExtSyntax});
    return {p.FilterData(), p.FilterData() + p.DataSize()};
  }
  void Remember(const std::string& Text, TFilterOptions Fo = {}) {
    TExprParser p(ds.get(), Text, Fo, {poExtSyntax});
    cache.Remember(ds.get(), Text, Fo, p);
  }
  // The reused buffer, empty when the cache leaves the text to the parser.
  std::vector<uint8_t> Reused(const std::string& Text, TFilterOptions Fo = {}) {
    const uint8_t* data = cache.Reuse(ds.get(), Text, Fo);
    if (data == nullptr) return {};
    return {data, data + ReadCANExpr(data).iTotalSize};
  }
};

TEST_F(TFilterShapeCacheTest, SplitsTheTextAtItsConstants) {
  std::string shape;
  std::vector<std::string> constants;
  ASSERT_TRUE(TFilterShapeCache::SplitConstants("AgyCode = '01' and MyParentCmp = 'O''Neil'", shape, constants));
  EXPECT_EQ(shape, "AgyCode = '' and MyParentCmp = ''");
  EXPECT_EQ(constants, (std::vector<std::string>{"01", "O'Neil"}));
  ASSERT_TRUE(TFilterShapeCache::SplitConstants("Qty > 5", shape, constants));
  EXPECT_EQ(shape, "Qty > 5");
  EXPECT_TRUE(constants.empty());
  // Where a quote may not start a constant, or a constant may change how
  // the text parses, the text is not split.
  for (const std::string& text :
       {std::string("Name = 'abc"), std::string("Name = ''"), std::string("Name = 'ab*'"), std::string("Name = 'ab%'"),
        "Name = '" + std::string(256, 'x') + "'", std::string("/* it's */ Name = 'a'"), std::string("[Name] = 'a'"),
        std::string("Name = 'a'\0 or Qty = 1", 22)})
    EXPECT_FALSE(TFilterShapeCache::SplitConstants(text, shape, constants)) << text;
  ASSERT_TRUE(TFilterShapeCache::SplitConstants("Name = '" + std::string(255, 'x') + "'", shape, constants));
  ASSERT_TRUE(TFilterShapeCache::SplitConstants("Name = '*a'", shape, constants));
}

TEST_F(TFilterShapeCacheTest, ReusedBufferIsTheParsersByteForByte) {
  struct TCase {
    std::vector<std::string> Texts;
    TFilterOptions Options;
  };
  const std::vector<TCase> cases = {
      {{"AgyCode = '01' and MyParentCmp = '1000'", "AgyCode = ' 1' and MyParentCmp = '7'",
        "AgyCode = '02' and MyParentCmp = 'O''Neil 123456'", "AgyCode = '01' and MyParentCmp = '1000'"},
       {}},
      // Constants written before the field, in lists, under NOT and OR, next
      // to the rewritten Boolean field, compared without case, and as LIKE.
      {{"'x' = Name or Number in ('1', '22', '333') and not (MyParentCmp <> 'p')",
        "'longer value' = Name or Number in ('4444', '5', '66') and not (MyParentCmp <> 'q r')"},
       {}},
      {{"InactiveAcct and Name = 'a' and Qty > 5", "InactiveAcct and Name = 'bbbbbbbb' and Qty > 5"}, {}},
      {{"Name = 'Smith' and Number = 'n'", "Name = 'sMYTHE' and Number = 'nn'"}, {foCaseInsensitive}},
      {{"Name like 'Sm_th' or Notes = 'memo'", "Name like 'Jo_n' or Notes = 'other memo'"}, {}},
      {{"Name = '\xC3\xA9t\xC3\xA9'", "Name = '" + std::string(255, 'y') + "'", "Name = 'z'"}, {}},
  };
  for (const TCase& c : cases) {
    Remember(c.Texts[0], c.Options);
    for (size_t i = 1; i < c.Texts.size(); ++i) {
      const std::vector<uint8_t> reused = Reused(c.Texts[i], c.Options);
      ASSERT_FALSE(reused.empty()) << c.Texts[i];
      EXPECT_EQ(reused, Parsed(c.Texts[i], c.Options)) << c.Texts[i];
    }
  }
}

TEST_F(TFilterShapeCacheTest, LeavesToTheParserWhatCouldParseDifferently) {
  Remember("AgyCode = '01' and MyParentCmp = '1000'");
  // Another shape, or constants that cut, widen to a prefix or vanish.
  EXPECT_TRUE(Reused("AgyCode = '01' and  MyParentCmp = '1000'").empty());
  EXPECT_TRUE(Reused("AgyCode = '01' and MyParentCmp = '10*'").empty());
  EXPECT_TRUE(Reused("AgyCode = '' and MyParentCmp = '1000'").empty());
  EXPECT_TRUE(Reused("AgyCode = '01' and MyParentCmp = 'abc").empty());
  // Other options, another decimal separator, other fields.
  EXPECT_TRUE(Reused("AgyCode = '02' and MyParentCmp = '1'", {foCaseInsensitive}).empty());
  {
    TFormatSettings& settings = DefaultFormatSettings();
    const char separator = settings.DecimalSeparator;
    Finally restore([&] { settings.DecimalSeparator = separator; });
    settings.DecimalSeparator = separator == ',' ? '.' : ',';
    EXPECT_TRUE(Reused("AgyCode = '02' and MyParentCmp = '1'").empty());
  }
  EXPECT_FALSE(Reused("AgyCode = '02' and MyParentCmp = '1'").empty());
  // The same names on a dataset whose fields stand elsewhere.
  auto other = CreateUnowned<TMemoryDataSet>();
  other->FieldDefs()->Add("MyParentCmp", ftString, 10);
  other->FieldDefs()->Add("AgyCode", ftString, 2);
  other->Open();
  EXPECT_EQ(cache.Reuse(other.get(), "AgyCode = '03' and MyParentCmp = '1'", {}), nullptr);
}

TEST_F(TFilterShapeCacheTest, RemembersOnlyWhereEachConstantIsOneTextNode) {
  // Equal constants: which node holds which cannot be told.
  Remember("AgyCode = '01' and MyParentCmp = '01'");
  EXPECT_TRUE(Reused("AgyCode = '01' and MyParentCmp = '02'").empty());
  // Converted to the field's type: its value decides the encoding.
  Remember("Qty = '5' and Name = 'a'");
  EXPECT_TRUE(Reused("Qty = 'x' and Name = 'a'").empty());
  // A text constant that the text does not spell out as one.
  Remember("Name = 5 and Number = '6'");
  EXPECT_TRUE(Reused("Name = 5 and Number = '7'").empty());
  // A failed parse leaves nothing to reuse.
  cache.Clear();
  EXPECT_TRUE(Reused("Name = 'a'").empty());
}

}  // namespace
}  // namespace dac::filtertest
