// The encoded filter buffer: byte layout and header sizes, the rewrites on
// the way into the buffer, constant conversion and the size limit.

#include <gtest/gtest.h>

#include "errors/messages.h"
#include "filter_test_support.h"
#include "platform/db/numeric_fields.h"

namespace dac::filtertest {
namespace {

class TFilterExprTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  std::string Enc(const std::string& Text, TFilterOptions Fo = {}) { return Encoded(ds.get(), Text, Fo); }
  std::string Error(const std::string& Text, TFilterOptions Fo = {}) {
    return ParseError(ds.get(), Text, {poExtSyntax}, Fo);
  }
};

using TFilterExprLayout = TFilterExprTest;

TEST_F(TFilterExprLayout, ByteImageOfASimpleComparison) {
  TExprParser p(ds.get(), "Qty > 5", {}, {poExtSyntax});
  const std::vector<uint8_t> expected = {
      0x02, 0x00, 0x26, 0x00, 0xFF, 0xFF, 0x0A, 0x00, 0x1E, 0x00,  // header: 38 bytes, literals at 30
      0x02, 0x05, 0x06, 0x00, 0x0C, 0x00,                          // BINARY GT, nodes 6 and 12
      0x04, 0x0D, 0x06, 0x00, 0x00, 0x00,                          // FIELD index 6, name at 0
      0x05, 0x0E, 0x03, 0x00, 0x04, 0x00, 0x04, 0x00,              // CONST ftInteger, 4 bytes at 4
      'Q',  't',  'y',  0x00, 0x05, 0x00, 0x00, 0x00};             // literals
  ASSERT_EQ(p.DataSize(), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(std::vector<uint8_t>(p.FilterData(), p.FilterData() + p.DataSize()), expected);
}

TEST_F(TFilterExprLayout, HeaderSizesAddUp) {
  for (const char* text : {"Qty > 5", "InactiveAcct", "Name = 'Sm*' AND NOT (Qty IN (1, 2, 3) OR Price < 1.5)",
                           "Name IS NULL", "[Order Date] >= '1/1/2015' AND Stamp - 1 < '2/1/2015'"}) {
    TExprParser p(ds.get(), text, {foCaseInsensitive}, {poExtSyntax});
    const tCANExpr h = ReadCANExpr(p.FilterData());
    EXPECT_EQ(h.iVer, 2) << text;
    EXPECT_EQ(h.iNodes, 0xFFFF) << text;
    EXPECT_EQ(h.iNodeStart, 10) << text;
    // Walk the node area node by node: the sizes must land on iLiteralStart.
    uint16_t at = 0;
    const uint16_t area = static_cast<uint16_t>(h.iLiteralStart - h.iNodeStart);
    int nodes = 0;
    while (at < area) {
      static const uint16_t kSizes[] = {0, 4, 6, 10, 6, 8, 0, 0, 0, 0, 0, 6};
      const uint8_t cls = p.FilterData()[h.iNodeStart + at];
      ASSERT_TRUE(cls < 12 && kSizes[cls] != 0) << text;
      at = static_cast<uint16_t>(at + kSizes[cls]);
      ++nodes;
    }
    EXPECT_EQ(at, area) << text;
    EXPECT_GT(nodes, 1) << text;
    EXPECT_EQ(h.iTotalSize, p.DataSize()) << text;
    EXPECT_GT(h.iTotalSize, h.iLiteralStart) << text;
  }
}

TEST_F(TFilterExprLayout, InListElementsChainToZero) {
  TExprParser p(ds.get(), "Qty IN (1, 2, 3)", {}, {poExtSyntax});
  TBufferReader r(p.FilterData());
  EXPECT_EQ(r.Text(), "IN(Qty#6, [ftFloat:1, ftFloat:2, ftFloat:3])");
  uint16_t elem = r.Word(0, 1);
  int count = 0;
  while (true) {
    EXPECT_EQ(r.Node(elem)[0], nodeLISTELEM);
    EXPECT_EQ(r.Node(elem)[1], canLISTELEM2);
    ++count;
    if (r.Word(elem, 1) == 0) break;
    elem = r.Word(elem, 1);
  }
  EXPECT_EQ(count, 3);
}

using TFilterExprRewrites = TFilterExprTest;

TEST_F(TFilterExprRewrites, BareBooleanFieldBecomesNotEqualFalse) {
  EXPECT_EQ(Enc("InactiveAcct"), "NE(InactiveAcct#5, ftBoolean:0)");
  EXPECT_EQ(Enc("NOT InactiveAcct"), "NOT(NE(InactiveAcct#5, ftBoolean:0))");
  EXPECT_EQ(Enc("InactiveAcct OR Qty > 1"), "OR(NE(InactiveAcct#5, ftBoolean:0), GT(Qty#6, ftInteger:1))");
  EXPECT_EQ(Enc("InactiveAcct = True"), "EQ(InactiveAcct#5, ftBoolean:1)");
  EXPECT_EQ(Enc("InactiveAcct IS NULL"), "ISBLANK(InactiveAcct#5)");
}

TEST_F(TFilterExprRewrites, NullComparisons) {
  EXPECT_EQ(Enc("Name = NULL"), "ISBLANK(Name#1)");
  EXPECT_EQ(Enc("Name <> NULL"), "NOTBLANK(Name#1)");
  EXPECT_EQ(Enc("NULL = Qty"), "ISBLANK(Qty#6)");
  EXPECT_EQ(Error("Name LIKE NULL"), Pv("NULL only allowed with '=' and '<>'"));
  EXPECT_EQ(Error("Qty > NULL"), Pv("Constant is not correct for type ftInteger"));
}

TEST_F(TFilterExprRewrites, PrefixAndCaseInsensitiveCompares) {
  EXPECT_EQ(Enc("Name = 'Sm*'"), "COMPARE(EQ ci=0 prefix=2, Name#1, ftString:'Sm')");
  EXPECT_EQ(Enc("Name <> 'Sm%'"), "COMPARE(NE ci=0 prefix=2, Name#1, ftString:'Sm')");
  EXPECT_EQ(Enc("Name LIKE 'Sm*'"), "COMPARE(LIKE ci=0 prefix=2, Name#1, ftString:'Sm')");
  EXPECT_EQ(Enc("'Sm*' = Name"), "COMPARE(EQ ci=0 prefix=2, Name#1, ftString:'Sm')");
  EXPECT_EQ(Enc("Name = 'Gr\xC3\xB6*'"), "COMPARE(EQ ci=0 prefix=3, Name#1, ftString:'Gr\xC3\xB6')")
      << "the prefix counts characters";
  EXPECT_EQ(Enc("Name = 'Sm*'", {foNoPartialCompare}), "EQ(Name#1, ftString:'Sm*')");
  EXPECT_EQ(Enc("Name = '*'"), "EQ(Name#1, ftString:'*')") << "one character is never a prefix";
  EXPECT_EQ(Enc("Name > 'Sm*'"), "GT(Name#1, ftString:'Sm*')");
  EXPECT_EQ(Enc("Name = 'abc'", {foCaseInsensitive}), "COMPARE(EQ ci=1 prefix=0, Name#1, ftString:'abc')");
  EXPECT_EQ(Enc("Name = 'ab*'", {foCaseInsensitive, foNoPartialCompare}),
            "COMPARE(EQ ci=1 prefix=0, Name#1, ftString:'ab*')");
  EXPECT_EQ(Enc("Name = ''", {foCaseInsensitive}), "EQ(Name#1, ftString:'')");
  EXPECT_EQ(Enc("Name >= 'abc'", {foCaseInsensitive}), "GE(Name#1, ftString:'abc')");
  // A memo constant is no ftString constant: plain comparison.
  EXPECT_EQ(Enc("Notes = 'ab*'"), "EQ(Notes#16, ftString:'ab*')");
}

TEST_F(TFilterExprRewrites, OperandsAreExchangedWhenOnlyTheRightIsAField) {
  EXPECT_EQ(Enc("3 < Qty"), "GT(Qty#6, ftInteger:3)");
  EXPECT_EQ(Enc("3 >= Qty"), "LE(Qty#6, ftInteger:3)");
  EXPECT_EQ(Enc("3 <> Qty"), "NE(Qty#6, ftInteger:3)");
  EXPECT_EQ(Enc("Qty + 1 < Price"), "GT(Price#7, ADD(Qty#6, ftFloat:1))");
  EXPECT_EQ(Enc("Qty < Price"), "LT(Qty#6, Price#7)");
  EXPECT_EQ(Enc("'x' LIKE Name"), "LIKE(ftString:'x', Name#1)") << "LIKE is not exchanged";
}

using TFilterExprConstants = TFilterExprTest;

TEST_F(TFilterExprConstants, StoredForms) {
  EXPECT_EQ(Enc("fHasParentCmp = -32768"), "EQ(fHasParentCmp#3, ftSmallint:-32768)");
  EXPECT_EQ(Enc("Code = 65535"), "EQ(Code#13, ftWord:65535)");
  EXPECT_EQ(Enc("Cost = 12.3456"), "EQ(Cost#9, ftBCD:123456)");
  EXPECT_EQ(Enc("Price = 1.5"), "EQ(Price#7, ftFloat:1.5)");
  EXPECT_EQ(Enc("Stamp = '1/2/2015 12:00:00'"), "EQ(Stamp#11, ftDateTime:42006.5)");
  EXPECT_EQ(Enc("At = '18:00:00'"), "EQ(At#12, ftTime:0.75)");
  EXPECT_EQ(Enc("InactiveAcct = 'false'"), "EQ(InactiveAcct#5, ftBoolean:0)");
  TExprParser p(ds.get(), "Name = 'abc'", {}, {poExtSyntax});
  TBufferReader r(p.FilterData());
  EXPECT_EQ(r.Word(r.Word(0, 1), 1), 4) << "text size counts the NUL";
}

TEST_F(TFilterExprConstants, ValuesThatDoNotFitTheirType) {
  EXPECT_EQ(Error("Code = -1"), Pv("Constant is not correct for type ftWord"));
  EXPECT_EQ(Error("Code = 65536"), Pv("Constant is not correct for type ftWord"));
  EXPECT_EQ(Error("fHasParentCmp = 32768"), Pv("Constant is not correct for type ftSmallint"));
  EXPECT_EQ(Error("Qty = 'abc'"), Pv("Constant is not correct for type ftInteger"));
  EXPECT_EQ(Error("[Order Date] = '31/31/2015'"), Pv("Constant is not correct for type ftDate"));
  EXPECT_EQ(Error("Amount = 1"), Pv("Constant is not correct for type ftCurrency"));
  EXPECT_EQ(Error("Big = 1"), Pv("Constant is not correct for type ftLargeint"));
  EXPECT_EQ(Error("Qty IN (True)"), Pv("Constant is not correct for type ftUnknown"));
}

TEST_F(TFilterExprTest, OnlyDataAndInternalCalcFieldsMayBeUsed) {
  auto c = CreateUnowned<TMemoryDataSet>();
  c->SetName("Company");
  c->FieldDefs()->Add("Qty", ftInteger);
  c->FieldDefs()->Items(0)->CreateField(c.get());
  TField* twice = Create<TIntegerField>(c.get());
  twice->SetFieldName("Twice");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(c.get());
  c->Open();
  EXPECT_EQ(ParseError(c.get(), "Twice > 1"), Pv("Field 'Twice' cannot be used in a expression"));
  EXPECT_EQ(Encoded(c.get(), "Qty > 1"), "GT(Qty#0, ftInteger:1)");
}

TEST_F(TFilterExprTest, NewCompareNodeTypesTheConstantLikeTheField) {
  TFilterExpr expr(ds.get(), {}, {poExtSyntax}, "", nullptr);
  PExprNode root = expr.NewCompareNode(ds->FieldByName("Code"), canGE, Variant("7"));
  EXPECT_EQ(TBufferReader(expr.GetFilterData(root)).Text(), "GE(Code#13, ftWord:7)");
  EXPECT_EQ(expr.ExprBufSize(), 10 + expr.ExprNodeSize() + expr.ExprDataSize());
}

TEST_F(TFilterExprTest, LongLiteralsReachTheSizeLimit) {
  std::string text = "Name = '" + std::string(250, 'a') + "'";
  for (int i = 0; i < 300; ++i) text += " OR Name = '" + std::string(250, 'a') + "'";
  EXPECT_EQ(Error(text), Pv(Format(SExprTooLarge, 65536)));
}

}  // namespace
}  // namespace dac::filtertest
