// The expression lexer and parser: tokens and comments, grammar and
// precedence, typing while building, aggregate scope, the finishing steps
// and every parse error with its exact text.

#include <gtest/gtest.h>

#include "errors/messages.h"
#include "filter_test_support.h"
#include "platform/rtl/format_settings.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/scope_guard.h"

namespace dac::filtertest {
namespace {

class TExprParserTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  std::string Error(const std::string& Text, TParserOptions Po = {poExtSyntax}, TFilterOptions Fo = {},
                    const std::string& FieldName = "") {
    return ParseError(ds.get(), Text, Po, Fo, FieldName);
  }
  std::string Enc(const std::string& Text, TFilterOptions Fo = {}, TParserOptions Po = {poExtSyntax},
                  const std::string& FieldName = "") {
    return Encoded(ds.get(), Text, Fo, Po, FieldName);
  }
};

using TExprParserTokens = TExprParserTest;

TEST_F(TExprParserTokens, CommentsAreSkippedOnceBeforeAToken) {
  EXPECT_EQ(Enc("/* lead */ Qty > 5 /* tail */"), "GT(Qty#6, ftInteger:5)");
  EXPECT_EQ(Enc("Qty /**/ > 5"), "GT(Qty#6, ftInteger:5)");
  // A second comment in a row is read as "/" and "*".
  EXPECT_EQ(Error("/*a*/ /*b*/ Qty > 5"), Pv("Expression expected but '/' found"));
  // The first "*" must close the comment; the end of the text names NUL.
  EXPECT_EQ(Error("Qty > 5 /* a * b */"), Pv("Invalid expression character: '*'"));
  EXPECT_EQ(Error("Qty > 5 /* open"), Pv(std::string("Invalid expression character: '") + '\0' + "'"));
}

TEST_F(TExprParserTokens, InvalidCharactersAndUnterminatedTokens) {
  EXPECT_EQ(Error("Qty ! 5"), Pv("Invalid expression character: '!'"));
  EXPECT_EQ(Error("Qty > 5;"), Pv("Invalid expression character: ';'"));
  EXPECT_EQ(Error("Name = 'abc"), Pv("Unterminated string constant"));
  EXPECT_EQ(Error("[Name = 'abc'"), Pv("Unterminated field name"));
}

TEST_F(TExprParserTokens, StringLiterals) {
  TExprParser p(ds.get(), "Name = 'O''Brien'", {}, {poExtSyntax});
  EXPECT_EQ(p.Root()->FRight->FData.AsString(), "O'Brien");
  // 300 characters keep their first 256 bytes; the encoded constant 255.
  TExprParser longer(ds.get(), "Name = '" + std::string(300, 'x') + "'", {}, {poExtSyntax});
  EXPECT_EQ(longer.Root()->FRight->FData.AsString(), std::string(256, 'x'));
  EXPECT_EQ(Enc("Name = '" + std::string(300, 'x') + "'"), "EQ(Name#1, ftString:'" + std::string(255, 'x') + "')");
  // Cutting never splits a character: 200 two-byte characters keep 128.
  std::string e;
  for (int i = 0; i < 200; ++i) e += "\xC3\xA9";
  TExprParser wide(ds.get(), "Name = '" + e + "'", {}, {poExtSyntax});
  EXPECT_EQ(wide.Root()->FRight->FData.AsString(), e.substr(0, 256));
  EXPECT_EQ(Enc("Name = '" + e + "'"), "EQ(Name#1, ftString:'" + e.substr(0, 254) + "')");
}

TEST_F(TExprParserTokens, NamesSymbolsAndKeywords) {
  EXPECT_EQ(Enc("[Order Date] >= '1/1/2015'"), "GE(Order Date#10, ftDate:42005)");
  // A bracketed name is always a field, keyword or not.
  EXPECT_EQ(Error("[OR] = 1"), "Company: Field 'OR' not found");
  // Dots belong to a symbol.
  EXPECT_EQ(Error("Orders.Total > 1"), "Company: Field 'Orders.Total' not found");
  EXPECT_EQ(Enc("Name IS  NOT   NULL"), "NOTBLANK(Name#1)");
  EXPECT_EQ(Enc("Name is null or qty IN (1) and Name like 'x'"),
            "OR(ISBLANK(Name#1), AND(IN(qty#6, [ftFloat:1]), LIKE(Name#1, ftString:'x')))");
  EXPECT_EQ(Error("Name IS NOTHING"), Pv("Invalid use of keyword"));
  EXPECT_EQ(Error("Name IS NOT 5"), Pv("Invalid use of keyword"));
  EXPECT_EQ(Error("Name IS"), Pv("Invalid use of keyword"));
  // A NUL byte ends the text.
  EXPECT_EQ(Enc(std::string("Qty > 5") + '\0' + " garbage ("), "GT(Qty#6, ftInteger:5)");
}

TEST_F(TExprParserTokens, MultiByteCharactersBelongToNames) {
  auto u = CreateUnowned<TMemoryDataSet>();
  u->FieldDefs()->Add(
      "Gr\xC3\xB6\xC3\x9F"
      "e",
      ftInteger);
  u->FieldDefs()->Add("\xC3\x84rger", ftInteger);
  u->Open();
  EXPECT_EQ(Encoded(u.get(),
                    "Gr\xC3\xB6\xC3\x9F"
                    "e > 1 AND \xC3\x84rger = 2"),
            "AND(GT(Gr\xC3\xB6\xC3\x9F"
            "e#0, ftInteger:1), EQ(\xC3\x84rger#1, ftInteger:2))");
}

TEST_F(TExprParserTokens, MinusIsSubtractionAfterAnOperandElseANumber) {
  EXPECT_EQ(Enc("Qty-1 > 5"), "GT(SUB(Qty#6, ftFloat:1), ftFloat:5)");
  EXPECT_EQ(Enc("Qty > -1"), "GT(Qty#6, ftInteger:-1)");
  // After a literal "-" subtracts; inside a number it is part of it.
  EXPECT_EQ(Enc("(Qty)-1 > 5"), "GT(SUB(Qty#6, ftFloat:1), ftFloat:5)");
  EXPECT_EQ(Error("Qty = 2-1"), Pv("Constant is not correct for type ftInteger"));
  // A digit after a name starts a number.
  EXPECT_EQ(Error("Qty 5"), Pv("Expression incorrectly terminated"));
}

TEST_F(TExprParserTokens, DecimalCommaStillSplitsListsAtCommaBlank) {
  TFormatSettings& fs = DefaultFormatSettings();
  const char saved = fs.DecimalSeparator;
  Finally restore([&] { fs.DecimalSeparator = saved; });
  fs.DecimalSeparator = ',';
  TExprParser two(ds.get(), "Price IN (1, 2)", {}, {poExtSyntax});
  ASSERT_EQ(two.Root()->FArgs.size(), 2u);
  TExprParser one(ds.get(), "Price IN (1,5)", {}, {poExtSyntax});
  ASSERT_EQ(one.Root()->FArgs.size(), 1u);
  EXPECT_EQ(one.Root()->FArgs[0]->FData.AsString(), "1,5");
}

using TExprParserGrammar = TExprParserTest;

TEST_F(TExprParserGrammar, PrecedenceAndAssociativity) {
  EXPECT_EQ(Enc("Qty = 1 AND Price = 2 OR Code = 3"),
            "OR(AND(EQ(Qty#6, ftInteger:1), EQ(Price#7, ftFloat:2)), EQ(Code#13, ftWord:3))");
  EXPECT_EQ(Enc("Qty = 1 OR Price = 2 AND Code = 3"),
            "OR(EQ(Qty#6, ftInteger:1), AND(EQ(Price#7, ftFloat:2), EQ(Code#13, ftWord:3)))");
  EXPECT_EQ(Enc("NOT Qty = 1 AND Qty = 2"), "AND(NOT(EQ(Qty#6, ftInteger:1)), EQ(Qty#6, ftInteger:2))");
  EXPECT_EQ(Enc("Qty - 1 - 2 * Price / 4 > 0"),
            "GT(SUB(SUB(Qty#6, ftFloat:1), DIV(MUL(ftFloat:2, Price#7), ftFloat:4)), ftFloat:0)");
  // A second NOT is a field name.
  EXPECT_EQ(Error("NOT NOT Qty = 1"), "Company: Field 'NOT' not found");
}

TEST_F(TExprParserGrammar, ErrorsNameTheTokenFound) {
  EXPECT_EQ(Error("Qty = 1 = 2"), Pv("Expression incorrectly terminated"));
  EXPECT_EQ(Error("Qty = 1 )"), Pv("Expression incorrectly terminated"));
  EXPECT_EQ(Error("Qty ="), Pv("Expression expected but nothing found"));
  EXPECT_EQ(Error("= 5"), Pv("Expression expected but '=' found"));
  EXPECT_EQ(Error("(Qty = 1"), Pv("')' expected but nothing found"));
  EXPECT_EQ(Error("(Qty = 1 'x'"), Pv("')' expected but ''x'' found"));
  EXPECT_EQ(Error("Qty IN 5"), Pv("'(' expected but '5' found"));
  EXPECT_EQ(Error("Qty IN ()"), Pv("IN predicate list may not be empty"));
  EXPECT_EQ(Error("Qty IN (1, 2"), Pv("')' expected but nothing found"));
  EXPECT_EQ(Error("Qty IN (1 Name)"), Pv("')' or ',' expected but 'Name' found"));
  EXPECT_EQ(Error("UPPER(Name"), Pv("')' expected but nothing found"));
  EXPECT_EQ(Error("UPPER(Name Qty) = 'X'"), Pv("')' or ',' expected but 'Qty' found"));
  EXPECT_EQ(Error("COUNT(* > 1"), Pv("Expression expected but '>' found"));
  EXPECT_EQ(Error("Qty + 1 > 5", {}), Pv("Arithmetic expressions not supported"));
  EXPECT_EQ(Error("Qty * 2 > 5", {}), Pv("Arithmetic expressions not supported"));
}

TEST_F(TExprParserGrammar, FunctionsAndAggregates) {
  EXPECT_EQ(Error("UPPER(Name) = 'X'"), Pv("Function expressions not allowed"));
  // A name followed by "(" is a call even where a field of that name
  // exists; in brackets it is the field.
  ds->Close();
  ds->FieldDefs()->Add("Year", ftInteger);
  ds->Open();
  EXPECT_EQ(Error("Year (Stamp) = 2015"), Pv("Function expressions not allowed"));
  EXPECT_EQ(Enc("[Year] = 2015"), "EQ(Year#18, ftInteger:2015)");
  // Without extended syntax there are no calls.
  EXPECT_EQ(Error("UPPER(Name) = 'X'", {}), "Company: Field 'UPPER' not found");
  EXPECT_EQ(Error("UPPER() = 'x'"), Pv("Type mismatch in expression"));
  EXPECT_EQ(Error("GETDATE() > Stamp"), Pv("Function expressions not allowed"));
  EXPECT_EQ(Error("SUM(Qty) > 5"), Pv("Aggregate expressions not allowed"));
  EXPECT_EQ(Error("count(*) > 5"), Pv("Aggregate expressions not allowed"));
  EXPECT_EQ(Error("SUM(Qty) > Qty"), Pv("Operation cannot mix aggregate value with record-varying value"));
  EXPECT_EQ(Error("Qty > 1 OR MAX(Qty) > 1"), Pv("Operation cannot mix aggregate value with record-varying value"));
  EXPECT_EQ(Error("Qty > 1", {poExtSyntax, poAggregate}), Pv("Expression is not an aggregate expression"));
  EXPECT_EQ(Error("SUM(Qty) * 2", {poExtSyntax, poAggregate}), Pv("Function expressions not allowed"));
}

TEST_F(TExprParserGrammar, NestingIsLimited) {
  const auto nested = [](int n) {
    return std::string(static_cast<size_t>(n), '(') + "Qty = 1" + std::string(static_cast<size_t>(n), ')');
  };
  EXPECT_EQ(Enc(nested(kMaxExprNesting)), "EQ(Qty#6, ftInteger:1)");
  const std::string tooDeep = Pv(Format(SExprTooDeep, kMaxExprNesting));
  EXPECT_EQ(Error(nested(kMaxExprNesting + 1)), tooDeep);
  EXPECT_EQ(Error(std::string(100000, '(')), tooDeep);
  EXPECT_EQ(Error("Qty IN (" + std::string(300, '(')), tooDeep);
}

TEST_F(TExprParserGrammar, LongChainsNeedNoStackButMustFitTheBuffer) {
  std::string chain = "Qty = 0";
  for (int i = 1; i < 1500; ++i) chain += " OR Qty = " + std::to_string(i);
  TExprParser p(ds.get(), chain, {}, {poExtSyntax});
  AddRecord(ds.get(), {{"Qty", Variant(1499)}});
  EXPECT_TRUE(TParseVerifier(ds.get(), p.FilterData()).Verify());
  for (int i = 1500; i < 3000; ++i) chain += " OR Qty = " + std::to_string(i);
  EXPECT_EQ(Error(chain), Pv(Format(SExprTooLarge, 65536)));
}

using TExprParserTyping = TExprParserTest;

TEST_F(TExprParserTyping, ConstantsTakeTheFieldsType) {
  TExprParser p(ds.get(), "Qty > 5", {}, {poExtSyntax});
  EXPECT_EQ(p.Root()->FRight->FDataType, ftInteger);
  EXPECT_EQ(Enc("5 < Qty"), "GT(Qty#6, ftInteger:5)");
  EXPECT_EQ(Enc("Price + 1 > 5"), "GT(ADD(Price#7, ftFloat:1), ftFloat:5)");
  EXPECT_EQ(Enc("[Order Date] IN ('1/1/2015', '1/2/2015')"), "IN(Order Date#10, [ftDate:42005, ftDate:42006])");
  EXPECT_EQ(Enc("Qty IN (1, '2')"), "IN(Qty#6, [ftFloat:1, ftString:'2'])");
}

TEST_F(TExprParserTyping, ArithmeticRules) {
  EXPECT_EQ(Enc("Name + 'x' = 'ax'"), "EQ(ADD(Name#1, ftString:'x'), ftString:'ax')");
  EXPECT_EQ(Enc("Stamp + 1 > '1/1/2015'"), "GT(ADD(Stamp#11, ftFloat:1), ftDateTime:42005)");
  EXPECT_EQ(Enc("[Order Date] - 1 > '1/1/2015'"), "GT(SUB(Order Date#10, ftFloat:1), ftDate:42005)");
  EXPECT_EQ(Enc("'1/3/2015' - [Order Date] > 1"), "GT(SUB(ftDate:42007, Order Date#10), ftFloat:1)");
  EXPECT_EQ(Enc("'1/3/2015' * 2 > Stamp"), "LT(Stamp#11, MUL(ftDateTime:42007, ftFloat:2))");
  for (const char* bad :
       {"Name - 'x' = 'a'", "InactiveAcct + 1 > 0", "1 + Stamp > 0", "Qty + NULL > 1", "Stamp + Stamp > 1"})
    EXPECT_EQ(Error(bad), Pv("Type mismatch in expression")) << bad;
}

TEST_F(TExprParserTyping, BinaryFieldsCompareOnlyForNullAndBlobLike) {
  EXPECT_EQ(Error("Data = 'x'"), Pv("Type mismatch in expression"));
  EXPECT_EQ(Error("Pic = 'x'"), Pv("Type mismatch in expression"));
  EXPECT_EQ(Error("Pic IN ('x')"), Pv("Type mismatch in expression"));
  EXPECT_EQ(Enc("Pic LIKE 'abc'"), "LIKE(Pic#17, ftString:'abc')");
  EXPECT_EQ(Enc("Data IS NOT NULL AND Pic IS NULL"), "AND(NOTBLANK(Data#15), ISBLANK(Pic#17))");
}

TEST_F(TExprParserTyping, FiltersMustBeBoolean) {
  EXPECT_EQ(Enc("InactiveAcct"), "NE(InactiveAcct#5, ftBoolean:0)");
  for (const char* bad : {"Name", "'abc'", "Qty + 1", "True", "NULL"})
    EXPECT_EQ(Error(bad), Pv("Incorrectly formed expression")) << bad;
}

TEST_F(TExprParserTyping, DefaultExpressions) {
  EXPECT_EQ(Enc("5", {}, {poDefaultExpr}, "Qty"), "ASSIGN(ftFloat:5, Qty#6)");
  EXPECT_EQ(Enc("Price * 2", {}, {poDefaultExpr, poExtSyntax}, "Qty"), "ASSIGN(MUL(Price#7, ftFloat:2), Qty#6)");
  EXPECT_EQ(Enc("'1/1/2015'", {}, {poDefaultExpr}, "Order Date"), "ASSIGN(ftDate:42005, Order Date#10)");
  EXPECT_EQ(Enc("'abc'", {}, {poDefaultExpr}, "Name"), "ASSIGN(ftString:'abc', Name#1)");
  EXPECT_EQ(Error("'abc'", {poDefaultExpr}, {}, "Qty"), Pv("Type mismatch in expression"));
  EXPECT_EQ(Error("5", {poDefaultExpr}, {}, "Nope"), "Company: Field 'Nope' not found");
}

TEST_F(TExprParserTyping, FieldLookupOptions) {
  // Every name stands for the given field, whose own name is encoded.
  EXPECT_EQ(Enc("Value > 0 AND Value < 9", {}, {poExtSyntax, poFieldNameGiven}, "Qty"),
            "AND(GT(Qty#6, ftInteger:0), LT(Qty#6, ftInteger:9))");
  // Origins name source columns; the name is kept as written.
  ds->FieldByName("Name")->SetOrigin("Company.\"Company Name\"");
  ds->FieldByName("Number")->SetOrigin("Db.Company.Nr");
  EXPECT_EQ(Enc("[Company Name] = 'x' AND Nr = '1'", {}, {poExtSyntax, poUseOrigNames}),
            "AND(EQ(Company Name#1, ftString:'x'), EQ(Nr#0, ftString:'1'))");
  // Origin names are exact; the framework's lookup is the fallback.
  EXPECT_EQ(Error("nr = '1'", {poExtSyntax, poUseOrigNames}), "Company: Field 'nr' not found");
  EXPECT_EQ(Enc("name = 'x'", {}, {poExtSyntax, poUseOrigNames}), "EQ(name#1, ftString:'x')");
  // Dependent fields: bit = field number - 1.
  TBits used;
  TExprParser p(ds.get(), "Qty > 1 AND Name = 'x' OR Qty < 0", {}, {poExtSyntax, poFieldDepend}, "", &used);
  EXPECT_TRUE(used.Bits(1));
  EXPECT_TRUE(used.Bits(6));
  EXPECT_FALSE(used.Bits(0));
  EXPECT_FALSE(used.Bits(7));
}

TEST(OriginColumnName, ItemsQuotesAndEscapes) {
  EXPECT_EQ(OriginColumnName("Company.Name"), "Name");
  EXPECT_EQ(OriginColumnName("Srv.Db.Company.Name"), "Name");
  EXPECT_EQ(OriginColumnName("\"My.Table\".\"My.Col\""), "My.Col");
  EXPECT_EQ(OriginColumnName("Tab.Co\\.l"), "Co.l");
  EXPECT_EQ(OriginColumnName(" . Tab..Col"), "Col");
  EXPECT_EQ(OriginColumnName("Name"), "") << "no table";
  EXPECT_EQ(OriginColumnName("a.b.c.d.e"), "") << "more than four items";
  EXPECT_EQ(OriginColumnName("Tab.\"\""), "") << "no column";
}

TEST_F(TExprParserTest, AFailedParseLeavesNoBuffer) {
  TExprParser p(ds.get(), "Qty > 1", {}, {poExtSyntax});
  EXPECT_EQ(p.DataSize(), 38);
  EXPECT_THROW(p.SetExprParams("Qty >", {}, {poExtSyntax}, ""), EDatabaseError);
  EXPECT_EQ(p.FilterData(), nullptr);
  EXPECT_EQ(p.DataSize(), 0);
  EXPECT_EQ(p.Root(), nullptr);
  p.SetExprParams("Name = 'a'", {}, {poExtSyntax}, "");
  EXPECT_EQ(TBufferReader(p.FilterData()).Text(), "EQ(Name#1, ftString:'a')");
  TExprParser empty(ds.get(), "", {}, {poExtSyntax});
  EXPECT_EQ(empty.FilterData(), nullptr);
}

}  // namespace
}  // namespace dac::filtertest
