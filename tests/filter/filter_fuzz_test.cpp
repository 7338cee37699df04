// Fuzzing the parser and the evaluator with random and mutated texts,
// unbalanced brackets, huge literals, deep nesting, NUL bytes and invalid
// UTF-8. The seed is fixed (DAC_TEST_SEED picks another) and the run is
// bounded in time: it must never crash, a rejected text must raise one of
// the parser's own messages, and an accepted one must evaluate or raise one
// of the runtime's exceptions.

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "errors/messages.h"
#include "filter_test_support.h"
#include "support/test_seed.h"

namespace dac::filtertest {
namespace {

const std::vector<std::string> kCorpus = {
    "AgyCode = '01' and fHasParentCmp = 0",
    "AgyCode = ' 1' and MyParentCmp = '42'",
    "Name = 'Sm*' OR Name LIKE 'O''Brien' AND NOT InactiveAcct",
    "Qty IN (1, 2, 3) AND Price * 2 > Qty - 1",
    "[Order Date] >= '1/1/2015' AND Stamp - [Order Date] < 1.5",
    "Name IS NOT NULL AND Qty IS NULL OR Code <> 7",
    "UPPER(Name) = 'X' OR SUM(Qty) > 1 OR COUNT(*) > 0",
    "/* note */ (Qty + 1) / 2 <= Cost AND Amount = NULL",
    "InactiveAcct = True AND Big = Qty",
    "Name + 'x' = 'abx' AND Pic LIKE 'a*' AND Data IS NULL",
};

const std::vector<std::string> kTokens = {"Qty",
                                          "Name",
                                          "AgyCode",
                                          "[Order Date]",
                                          "InactiveAcct",
                                          "Big",
                                          "Pic",
                                          "Data",
                                          "Nope",
                                          "Stamp",
                                          "Cost",
                                          "AND",
                                          "OR",
                                          "NOT",
                                          "IN",
                                          "IS",
                                          "NULL",
                                          "LIKE",
                                          "True",
                                          "False",
                                          "IS NOT NULL",
                                          "=",
                                          "<>",
                                          "<",
                                          "<=",
                                          ">",
                                          ">=",
                                          "+",
                                          "-",
                                          "*",
                                          "/",
                                          ",",
                                          "(",
                                          ")",
                                          "'abc'",
                                          "'Sm*'",
                                          "'1/1/2015'",
                                          "'",
                                          "[",
                                          "]",
                                          "5",
                                          "-1",
                                          "1.5",
                                          "1e308",
                                          "99999999999",
                                          "2-1",
                                          "UPPER(",
                                          "SUM(",
                                          "COUNT(*)",
                                          "GETDATE()",
                                          "/* x */",
                                          "/*",
                                          "*/",
                                          "!",
                                          ";",
                                          std::string(1, '\0'),
                                          "\xFF",
                                          "\x80",
                                          "\xC3\xA4",
                                          "\xC3",
                                          "\t",
                                          " "};

// The messages a parse may raise: the parser's and encoder's texts, the
// nesting and size limits, and the framework's unknown field.
bool IsKnownParseError(std::string Message) {
  const std::string suffix = ". Component is Company";
  if (Message.size() >= suffix.size() && Message.compare(Message.size() - suffix.size(), suffix.size(), suffix) == 0)
    Message.resize(Message.size() - suffix.size());
  else if (Message.rfind("Company: Field '", 0) == 0 && Message.ends_with("' not found"))
    return true;
  for (const char* format : {SExprInvalidChar,
                             SExprStringTerminated,
                             SExprNameTerminated,
                             SExprBadKeyword,
                             SExprLParenExpected,
                             SExprRParenExpected,
                             SExprRParenOrCommaExpected,
                             SExprExpected,
                             SExprEmptyInList,
                             SExprNoArith,
                             SExprTypeMis,
                             SExprNoAggOnCalcs,
                             SExprTermination,
                             SExprNotAgg,
                             SExprNoAggFilter,
                             SExprIncorrect,
                             SExprTooDeep,
                             SExprBadField,
                             SExprBadConst,
                             SExprBadNullTest,
                             SExprNoFunctions,
                             SExprTooLarge}) {
    const std::string f = format;
    const size_t hole = f.find('%');
    if (hole == std::string::npos) {
      if (Message == f) return true;
      continue;
    }
    const std::string head = f.substr(0, hole);
    const std::string tail = f.substr(hole + 2);
    if (Message.size() >= head.size() + tail.size() && Message.rfind(head, 0) == 0 && Message.ends_with(tail))
      return true;
  }
  return false;
}

class TExprParserFuzz : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  const uint32_t seed = testseed::Seed(20150101);
  std::mt19937 rng{seed};
  int accepted = 0, rejected = 0, evalErrors = 0;

  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }

  std::string RandomTokens() {
    std::string s;
    const size_t n = 1 + Pick(24);
    for (size_t i = 0; i < n; ++i) s += kTokens[Pick(kTokens.size())] + (Pick(3) ? " " : "");
    return s;
  }

  std::string Mutated() {
    std::string s = kCorpus[Pick(kCorpus.size())];
    const size_t edits = 1 + Pick(6);
    for (size_t e = 0; e < edits && !s.empty(); ++e) {
      const size_t at = Pick(s.size());
      switch (Pick(5)) {
        case 0: s[at] = static_cast<char>(Pick(256)); break;
        case 1: s.insert(at, 1, static_cast<char>(Pick(256))); break;
        case 2: s.erase(at, 1 + Pick(4)); break;
        case 3: s.insert(at, kTokens[Pick(kTokens.size())]); break;
        default: s.insert(at, s.substr(Pick(s.size()), 1 + Pick(8))); break;
      }
    }
    return s;
  }

  // Texts that mostly parse, so that the evaluator gets its share.
  std::string Operand(int Depth) {
    static const char* const fields[] = {"Qty",  "Name",          "AgyCode",      "Price", "Amount",       "Cost",
                                         "Code", "fHasParentCmp", "[Order Date]", "Stamp", "InactiveAcct", "Number"};
    static const char* const literals[] = {"0",    "2",  "-1",         "2.5",  "'Smith'", "'Sm*'",
                                           "'01'", "''", "'1/1/2015'", "True", "NULL",    "'abc%'"};
    switch (Depth > 2 ? Pick(2) : Pick(4)) {
      case 0: return fields[Pick(std::size(fields))];
      case 1: return literals[Pick(std::size(literals))];
      case 2: return Operand(Depth + 1) + " " + "+-*/"[Pick(4)] + " " + Operand(Depth + 1);
      default: return "(" + Operand(Depth + 1) + ")";
    }
  }
  std::string Condition(int Depth) {
    static const char* const relations[] = {" = ", " <> ", " < ", " <= ", " > ", " >= ", " LIKE "};
    switch (Depth > 3 ? Pick(3) : Pick(6)) {
      case 0: return Operand(0) + relations[Pick(std::size(relations))] + Operand(0);
      case 1: return Operand(0) + (Pick(2) ? " IS NULL" : " IS NOT NULL");
      case 2: return Operand(0) + " IN (" + Operand(1) + ", " + Operand(1) + ")";
      case 3: return "NOT " + Condition(Depth + 1);
      case 4: return "(" + Condition(Depth + 1) + ")";
      default: return Condition(Depth + 1) + (Pick(2) ? " AND " : " OR ") + Condition(Depth + 1);
    }
  }

  std::string Extreme() {
    switch (Pick(6)) {
      case 0: return std::string(1 + Pick(2000), '(') + "Qty = 1" + std::string(Pick(2000), ')');
      case 1: return "Name = '" + std::string(1 + Pick(100000), 'x') + (Pick(2) ? "'" : "");
      case 2: return std::string(Pick(50), ')') + kCorpus[Pick(kCorpus.size())];
      case 3: {
        std::string s = "Qty = 0";
        for (size_t i = Pick(4000); i > 0; --i) s += Pick(2) ? " OR Qty = 1" : " AND Name <> 'z'";
        return s;
      }
      case 4: {
        std::string s = "Qty IN (";
        for (size_t i = Pick(5000); i > 0; --i) s += std::to_string(i) + ", ";
        return s + "0)";
      }
      default: {
        std::string s;
        for (size_t i = 1 + Pick(64); i > 0; --i) s += static_cast<char>(Pick(256));
        return s;
      }
    }
  }

  void Try(const std::string& Text, TParserOptions Po, const std::string& FieldName) {
    std::unique_ptr<TExprParser> parser;
    try {
      parser = std::make_unique<TExprParser>(ds.get(), Text, TFilterOptions{}, Po, FieldName);
    } catch (const EDatabaseError& e) {
      ++rejected;
      ASSERT_TRUE(IsKnownParseError(e.Message()))
          << "text: " << ::testing::PrintToString(Text) << "\nmessage: " << e.Message();
      return;
    }
    ++accepted;
    const bool assigns = Po.Contains(poDefaultExpr);
    for (ds->First(); !ds->Eof(); ds->Next()) {
      if (assigns) ds->Edit();
      try {
        TParseVerifier(ds.get(), parser->FilterData()).Verify();
      } catch (const Exception&) {
        ++evalErrors;  // conversions, division by zero, "Bad variant type": the runtime's own
      }
      if (assigns) ds->Cancel();
    }
  }
};

TEST_F(TExprParserFuzz, RandomAndMutatedTextsRaiseOnlyKnownErrors) {
  SCOPED_TRACE(testseed::Describe(seed));
  AddRecord(ds.get(), {{"Name", Variant("Smith")},
                       {"Qty", Variant(2)},
                       {"AgyCode", Variant("01")},
                       {"fHasParentCmp", Variant(0)},
                       {"InactiveAcct", Variant(false)},
                       {"Order Date", Variant::FromDateTime(42005)},
                       {"Big", Variant(int64_t{3})}});
  AddRecord(ds.get(), {{"Number", Variant("2")}});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
  const TParserOptions options[] = {
      {poExtSyntax}, {}, {poExtSyntax, poAggregate}, {poDefaultExpr, poExtSyntax}, {poExtSyntax, poFieldNameGiven}};
  int runs = 0;
  for (; runs < 200000 && std::chrono::steady_clock::now() < deadline; ++runs) {
    std::string text;
    switch (Pick(10)) {
      case 0: text = Extreme(); break;
      case 1:
      case 2: text = RandomTokens(); break;
      case 3:
      case 4:
      case 5: text = Condition(0); break;
      default: text = Mutated(); break;
    }
    const size_t o = Pick(std::size(options));
    Try(text, options[o], o >= 3 ? "Qty" : "");
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(runs, 100);
  EXPECT_GT(accepted, 0);
  EXPECT_GT(rejected, 0);
  RecordProperty("runs", runs);
}

}  // namespace
}  // namespace dac::filtertest
