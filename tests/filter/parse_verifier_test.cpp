// The evaluator: null semantics, IN lists, prefix and case-insensitive
// compares, short-circuit AND/OR, arithmetic, default expressions, the
// evaluator's own errors on malformed buffers, and filtering an in-memory
// dataset through it.

#include <gtest/gtest.h>

#include "errors/messages.h"
#include "filter/filter_record_host.h"
#include "filter/stop_on_continue_operator.h"
#include "filter/text_compare.h"
#include "filter_test_support.h"
#include "platform/db/numeric_fields.h"
#include "platform/rtl/scope_guard.h"

namespace dac::filtertest {
namespace {

class TParseVerifierTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  bool Eval(const std::string& Text, TFilterOptions Fo = {}) { return filtertest::Eval(ds.get(), Text, Fo); }
  std::string EvalError(const std::string& Text) {
    return testsupport::MessageOf<Exception>([&] { Eval(Text); });
  }
};

TEST_F(TParseVerifierTest, NoBufferPassesEveryRecord) {
  EXPECT_TRUE(TParseVerifier(ds.get(), nullptr).Verify());
  TExprParser empty(ds.get(), "", {}, {poExtSyntax});
  EXPECT_TRUE(TParseVerifier(ds.get(), empty.FilterData()).Verify());
}

TEST_F(TParseVerifierTest, EveryComparisonWithNullIsFalse) {
  AddRecord(ds.get(), {{"Number", Variant("1")}});
  for (const char* text :
       {"Qty > 5", "Qty <> 5", "Qty = 5", "Qty < 5", "Qty >= 5", "Qty <= 5", "5 <> Qty", "Name <> 'a'", "Name = 'a'",
        "Name LIKE 'a'", "Qty IN (1, 2)", "Qty + 1 > 0", "Qty + 1 <> 0", "Name = 'Sm*'", "Name <> 'Sm*'", "Qty = Price",
        "Qty <> Price", "InactiveAcct", "Stamp > '1/1/2015'"})
    EXPECT_FALSE(Eval(text)) << text;
  EXPECT_FALSE(Eval("Name <> 'abc'", {foCaseInsensitive}));
  EXPECT_TRUE(Eval("Qty IS NULL AND Name IS NULL AND Number IS NOT NULL"));
  EXPECT_TRUE(Eval("Qty = NULL AND Number <> NULL"));
  // The comparison under NOT is false, so NOT makes it true.
  EXPECT_TRUE(Eval("NOT InactiveAcct"));
}

TEST_F(TParseVerifierTest, InLists) {
  AddRecord(ds.get(), {{"Qty", Variant(2)}, {"Name", Variant("b")}, {"Number", Variant("b")}});
  EXPECT_TRUE(Eval("Qty IN (1, 2)"));
  EXPECT_FALSE(Eval("Qty IN (1, 3)"));
  EXPECT_TRUE(Eval("Name IN ('a', Number)")) << "a field as an item";
  EXPECT_TRUE(Eval("Qty + 1 IN (3)"));
  EXPECT_TRUE(Eval("Qty IN (1) OR Qty IN (2)"));
}

TEST_F(TParseVerifierTest, PrefixCompares) {
  const std::vector<std::pair<const char*, bool>> names = {
      {"Smith", true}, {"Smythe", true}, {"Sa", false}, {"S", false}, {"sm", false}};
  for (const auto& [name, matches] : names) {
    ds->EmptyDataSet();
    AddRecord(ds.get(), {{"Name", Variant(name)}});
    EXPECT_EQ(Eval("Name = 'Sm*'"), matches) << name;
    EXPECT_EQ(Eval("Name LIKE 'Sm%'"), matches) << name;
    EXPECT_EQ(Eval("Name <> 'Sm*'"), !matches) << name;
  }
  // Without partial compares the mark is an ordinary character.
  EXPECT_FALSE(Eval("Name = 'Sm*'", {foNoPartialCompare}));
  ds->EmptyDataSet();
  AddRecord(ds.get(), {{"Name", Variant("Sm*")}});
  EXPECT_TRUE(Eval("Name = 'Sm*'", {foNoPartialCompare}));
  // A prefix that cuts a character in two compares bytes, as the engine's.
  ds->EmptyDataSet();
  AddRecord(ds.get(), {{"Name", Variant("\xC3\xA9t\xC3\xA9")}});
  EXPECT_TRUE(Eval("Name = '\xC3*'"));
  EXPECT_TRUE(Eval("Name = '\xC3*'", {foCaseInsensitive}));
  EXPECT_FALSE(Eval("Name <> '\xC3*'"));
  EXPECT_FALSE(Eval("Name = '\xC4*'"));
}

TEST_F(TParseVerifierTest, CaseInsensitiveCompares) {
  for (const auto& [name, equal] : std::vector<std::pair<const char*, bool>>{{"ABC", true},
                                                                             {"abd", false},
                                                                             {"abc ", false},
                                                                             {"\xC3\x84"
                                                                              "BC",
                                                                              false}}) {
    ds->EmptyDataSet();
    AddRecord(ds.get(), {{"Name", Variant(name)}});
    EXPECT_EQ(Eval("Name = 'abc'", {foCaseInsensitive}), equal) << name;
    EXPECT_EQ(Eval("Name <> 'abc'", {foCaseInsensitive}), !equal) << name;
    EXPECT_FALSE(Eval("Name = 'abc'")) << name;
  }
  ds->EmptyDataSet();
  AddRecord(ds.get(), {{"Name", Variant("\xC3\x84rger")}});
  // Under C only ASCII letters fold, as in the engine; a named locale folds
  // every letter.
  SetTextLocale("C");
  Finally restore([] { SetTextLocale(""); });
  EXPECT_FALSE(Eval("Name = '\xC3\xA4rger'", {foCaseInsensitive}));
  EXPECT_TRUE(Eval("Name = '\xC3\x84RGER'", {foCaseInsensitive}));
  SetTextLocale("en_US.UTF-8");
  EXPECT_TRUE(Eval("Name = '\xC3\xA4rger'", {foCaseInsensitive})) << "non-ASCII case folding";
  EXPECT_TRUE(Eval("Name = '\xC3\xA4r*'", {foCaseInsensitive}));
}

TEST_F(TParseVerifierTest, LikeIsEqualityAndTrailingBlanksCount) {
  AddRecord(ds.get(), {{"Name", Variant("abc")}, {"Number", Variant("abc ")}});
  EXPECT_TRUE(Eval("Name LIKE 'abc'"));
  EXPECT_FALSE(Eval("Name LIKE 'a_c'"));
  EXPECT_FALSE(Eval("Name LIKE 'ABC'"));
  EXPECT_FALSE(Eval("Number = 'abc'"));
  EXPECT_FALSE(Eval("Number = Name"));
  EXPECT_TRUE(Eval("Number > Name"));
}

TEST_F(TParseVerifierTest, ValuesOfEveryKindCompare) {
  AddRecord(ds.get(), {{"Qty", Variant(3)},
                       {"Price", Variant(2.5)},
                       {"Amount", Variant(Currency::FromDouble(2.5))},
                       {"Code", Variant(7)},
                       {"fHasParentCmp", Variant(0)},
                       {"InactiveAcct", Variant(true)},
                       {"Order Date", Variant::FromDateTime(42064)},
                       {"Stamp", Variant::FromDateTime(42064.75)},
                       {"Name", Variant("b")}});
  EXPECT_TRUE(Eval("Qty * 2 + 1 = 7 AND Price / 5 = 0.5 AND Qty - Price = 0.5"));
  EXPECT_TRUE(Eval("Amount = Price AND Amount < Qty AND Price >= Amount"));
  EXPECT_TRUE(Eval("Code = 7 AND Code <> 8 AND fHasParentCmp = 0 AND fHasParentCmp <= 0"));
  EXPECT_TRUE(Eval("InactiveAcct AND InactiveAcct = True AND NOT (InactiveAcct = False)"));
  EXPECT_TRUE(Eval("[Order Date] >= '1/1/2015' AND [Order Date] < '3/2/2015'"));
  EXPECT_FALSE(Eval("[Order Date] >= '3/2/2015'"));
  EXPECT_TRUE(Eval("Stamp - [Order Date] = 0.75 AND Stamp > [Order Date] + 0.5"));
  EXPECT_TRUE(Eval("Name + 'x' = 'bx' AND Name > 'a' AND Name < 'c'"));
}

TEST_F(TParseVerifierTest, SlotWidthsAndSigns) {
  // Field-against-constant conditions read the framework's string and
  // integer slots directly; these are the widths and signs they must get
  // right, and a text wider than the local buffer.
  ds->Close();
  ds->FieldDefs()->Add("Wide", ftString, 400);
  ds->Open();
  const std::string wide = std::string(300, 'w') + "!";
  AddRecord(ds.get(), {{"Code", Variant(65535)},
                       {"fHasParentCmp", Variant(-32768)},
                       {"Qty", Variant(-7)},
                       {"Wide", Variant(wide)},
                       {"AgyCode", Variant("01")}});
  EXPECT_TRUE(Eval("Code = 65535 AND Code > 32767 AND fHasParentCmp = -32768 AND fHasParentCmp < 0"));
  EXPECT_TRUE(Eval("Qty = -7 AND Qty < -6 AND Qty <> 7"));
  EXPECT_TRUE(Eval("Wide = '" + wide.substr(0, 250) + "*'"));
  EXPECT_TRUE(Eval("Wide > '" + std::string(250, 'w') + "' AND AgyCode = '01' AND AgyCode < '010'"));
  EXPECT_FALSE(Eval("AgyCode = '0' OR AgyCode = '01 '"));
}

// An integer field that counts how often its value is read and can be told
// to stop the evaluation.
class TCountingField : public TIntegerField {
 public:
  static int Reads;
  static bool Stop;

 protected:
  Variant GetAsVariant() override {
    ++Reads;
    if (Stop) throw EStopOnContinueOperator("stop");
    return TIntegerField::GetAsVariant();
  }
};
int TCountingField::Reads = 0;
bool TCountingField::Stop = false;

class TCountingDataSet : public TMemoryDataSet {
 public:
  TFieldClass GetFieldClass(TFieldType FieldType) override {
    if (FieldType == ftInteger) return &MakeField<TCountingField>;
    return TMemoryDataSet::GetFieldClass(FieldType);
  }
};

TEST(TParseVerifierShortCircuit, TheRightSideIsNotReadOnceTheLeftDecides) {
  auto c = CreateUnowned<TCountingDataSet>();
  c->FieldDefs()->Add("Flag", ftSmallint);
  c->FieldDefs()->Add("Counted", ftInteger);
  c->Open();
  AddRecord(c.get(), {{"Flag", Variant(0)}, {"Counted", Variant(1)}});
  const auto reads = [&](const char* text) {
    TCountingField::Reads = 0;
    Eval(c.get(), text);
    return TCountingField::Reads;
  };
  EXPECT_EQ(reads("Flag = 1 AND Counted = 1"), 0);
  EXPECT_EQ(reads("Flag = 0 OR Counted = 1"), 0);
  EXPECT_EQ(reads("Flag = 0 AND Counted = 1"), 1);
  EXPECT_EQ(reads("Flag = 1 OR Counted = 1"), 1);
  EXPECT_EQ(reads("Flag = 1 AND Counted = 1 AND Counted = 2 AND Counted = 3"), 0) << "a whole chain";
  EXPECT_EQ(reads("(Flag = 1 OR Flag = 2) AND (Counted = 1 OR Counted = 2)"), 0);
  // The stop exception answers "no", whatever the rest would say.
  TCountingField::Stop = true;
  Finally resume([] { TCountingField::Stop = false; });
  EXPECT_FALSE(Eval(c.get(), "Flag = 0 AND Counted = 1"));
  EXPECT_FALSE(Eval(c.get(), "Counted = 1 OR Flag = 0"));
}

TEST_F(TParseVerifierTest, DefaultExpressionStoresItsValue) {
  ds->Append();
  Finally cancel([&] { ds->Cancel(); });
  TExprParser p(ds.get(), "Price * 2", {}, {poDefaultExpr, poExtSyntax}, "Qty");
  ds->FieldByName("Price")->SetAsFloat(3);
  EXPECT_TRUE(TParseVerifier(ds.get(), p.FilterData()).Verify());
  EXPECT_EQ(ds->FieldByName("Qty")->AsInteger(), 6);
  TExprParser date(ds.get(), "'1/2/2015'", {}, {poDefaultExpr}, "Order Date");
  EXPECT_TRUE(TParseVerifier(ds.get(), date.FilterData()).Verify());
  EXPECT_EQ(ds->FieldByName("Order Date")->AsDateTime(), 42006);
}

TEST_F(TParseVerifierTest, ComparisonErrorsCarryTheDataSetOnce) {
  AddRecord(ds.get(), {{"Qty", Variant(1)}, {"Big", Variant(int64_t{5})}, {"Name", Variant("abc")}});
  // A 64-bit left value has no comparison: a general exception.
  try {
    Eval("Big = Qty");
    FAIL() << "no exception";
  } catch (const EDatabaseError&) {
    FAIL() << "a database error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Bad variant type. Component is Company");
  }
  const std::string conversion = EvalError("Qty = 1 AND (Qty = Name OR Qty = 2)");
  EXPECT_EQ(conversion, "Could not convert variant of type (String) into type (Integer). Component is Company");
}

// ---- buffers the encoder never makes ----------------------------------------------------

class TBufferBuilder {
 public:
  uint16_t Node(uint8_t Class, uint8_t Op, std::vector<uint16_t> Words) {
    const auto at = static_cast<uint16_t>(FNodes.size());
    FNodes.push_back(Class);
    FNodes.push_back(Op);
    for (uint16_t w : Words) {
      FNodes.push_back(static_cast<uint8_t>(w & 0xFF));
      FNodes.push_back(static_cast<uint8_t>(w >> 8));
    }
    return at;
  }
  uint16_t Literal(std::vector<uint8_t> Bytes) {
    const auto at = static_cast<uint16_t>(FLiterals.size());
    FLiterals.insert(FLiterals.end(), Bytes.begin(), Bytes.end());
    return at;
  }
  const uint8_t* Build() {
    FBuffer.assign(10, 0);
    tCANExpr h{2, static_cast<uint16_t>(10 + FNodes.size() + FLiterals.size()), 0xFFFF, 10,
               static_cast<uint16_t>(10 + FNodes.size())};
    WriteCANExpr(FBuffer.data(), h);
    FBuffer.insert(FBuffer.end(), FNodes.begin(), FNodes.end());
    FBuffer.insert(FBuffer.end(), FLiterals.begin(), FLiterals.end());
    return FBuffer.data();
  }

 private:
  std::vector<uint8_t> FNodes, FLiterals, FBuffer;
};

TEST_F(TParseVerifierTest, MalformedBuffersRaiseTheEvaluatorsMessages) {
  AddRecord(ds.get(), {{"Qty", Variant(1)}});
  const auto fails = [&](TBufferBuilder& b) {
    const uint8_t* buffer = b.Build();
    return testsupport::MessageOf<Exception>([&] { TParseVerifier(ds.get(), buffer).Verify(); });
  };
  const std::vector<uint8_t> one = {1, 0, 0, 0};
  {
    TBufferBuilder b;
    b.Node(99, 0, {});
    EXPECT_EQ(fails(b), Pv("Unknown node type: 99"));
  }
  {
    TBufferBuilder b;
    b.Node(nodeBINARY, canNOT, {6, 12});
    b.Node(nodeFIELD, canFIELD2, {6, 0});
    b.Node(nodeFIELD, canFIELD2, {6, 0});
    EXPECT_EQ(fails(b), Pv("Unknown node operation type: 9"));
  }
  {
    TBufferBuilder b;
    b.Node(nodeBINARY, canEQ, {6, 12});
    b.Node(nodeFIELD, canFIELD2, {6, 0});
    b.Node(nodeCONST, canCONST2, {ftCurrency, 8, b.Literal({0, 0, 0, 0, 0, 0, 0, 0})});
    EXPECT_EQ(fails(b), Pv("Bad data type"));
  }
  {
    TBufferBuilder b;
    b.Node(nodeFIELD, canFIELD2, {6, 0});
    EXPECT_EQ(fails(b), Pv("Bad operand type")) << "a field is no answer";
  }
  {
    TBufferBuilder b;  // Qty = (list of 1)
    b.Node(nodeBINARY, canEQ, {6, 12});
    b.Node(nodeFIELD, canFIELD2, {6, 0});
    b.Node(nodeLISTELEM, canLISTELEM2, {18, 0});
    b.Node(nodeCONST, canCONST2, {ftInteger, 4, b.Literal(one)});
    EXPECT_EQ(fails(b), Pv("Bad TRetStruct type"));
  }
  {
    TBufferBuilder b;  // 1 := 1
    b.Node(nodeBINARY, canASSIGN, {6, 14});
    b.Node(nodeCONST, canCONST2, {ftInteger, 4, b.Literal(one)});
    b.Node(nodeCONST, canCONST2, {ftInteger, 4, 0});
    EXPECT_EQ(fails(b), Pv("Bad TRetStruct type"));
  }
  {
    TBufferBuilder b;  // a node that is its own right operand
    b.Node(nodeBINARY, canOR, {6, 0});
    b.Node(nodeCONST, canCONST2, {ftBoolean, 2, b.Literal({0, 0})});
    EXPECT_EQ(fails(b), Pv(Format(SExprTooDeep, kMaxExprNesting)));
  }
}

// ---- filtering a dataset ------------------------------------------------------------------

TEST_F(TParseVerifierTest, FiltersAnInMemoryDataSet) {
  const std::vector<std::tuple<const char*, const char*, int>> rows = {
      {"1", "01", 0}, {"2", "01", 1}, {"3", "02", 0}, {"4", "01", 0}, {"5", " 1", 0}};
  for (const auto& [number, agency, parent] : rows)
    AddRecord(ds.get(),
              {{"Number", Variant(number)}, {"AgyCode", Variant(agency)}, {"fHasParentCmp", Variant(parent)}});
  TExprParser parser(ds.get(), "AgyCode = '01' and fHasParentCmp = 0", ds->FilterOptions(), {poExtSyntax});
  TParseVerifier verifier(ds.get(), parser.FilterData());
  int tested = 0;
  ds->SetOnFilterRecord([&](TDataSet* d, bool& accept) {
    EXPECT_EQ(d->State(), dsFilter);
    ++tested;
    accept = verifier.Verify();
  });
  ds->SetFiltered(true);
  ds->First();
  std::string seen;
  for (; !ds->Eof(); ds->Next()) seen += ds->FieldByName("Number")->AsString();
  EXPECT_EQ(seen, "14");
  EXPECT_GE(tested, 5);
}

// Presents the record whose number a "buffer" holds, by moving to it.
class TRecNoHost : public TMemoryDataSet, public IFilterRecordHost {
 public:
  int Begins = 0, Ends = 0;
  TFilterRecordState BeginFilterRecord(TRecordBuffer Buffer) override {
    ++Begins;
    TFilterRecordState saved{State(), reinterpret_cast<TRecordBuffer>(static_cast<intptr_t>(RecNo()))};
    SetRecNo(*reinterpret_cast<int32_t*>(Buffer));
    return saved;
  }
  void EndFilterRecord(const TFilterRecordState& Saved) override {
    ++Ends;
    SetRecNo(static_cast<int32_t>(reinterpret_cast<intptr_t>(Saved.Buffer)));
  }
};

TEST(TParseVerifierRecord, VerifyRecordPresentsTheBufferAndRestores) {
  auto h = CreateUnowned<TRecNoHost>();
  h->SetName("Company");
  h->FieldDefs()->Add("Qty", ftInteger);
  h->FieldDefs()->Add("Big", ftLargeint);
  h->Open();
  for (int i = 1; i <= 3; ++i) AddRecord(h.get(), {{"Qty", Variant(i * 10)}, {"Big", Variant(int64_t{i})}});
  h->First();
  TExprParser p(h.get(), "Qty = 20", {}, {poExtSyntax});
  TParseVerifier v(h.get(), p.FilterData());
  int32_t second = 2, third = 3;
  EXPECT_TRUE(v.VerifyRecord(reinterpret_cast<TRecordBuffer>(&second)));
  EXPECT_FALSE(v.VerifyRecord(reinterpret_cast<TRecordBuffer>(&third)));
  EXPECT_EQ(h->RecNo(), 1);
  TExprParser bad(h.get(), "Big = Qty", {}, {poExtSyntax});
  EXPECT_THROW(TParseVerifier(h.get(), bad.FilterData()).VerifyRecord(reinterpret_cast<TRecordBuffer>(&third)),
               Exception);
  EXPECT_EQ(h->RecNo(), 1) << "restored after a failure";
  EXPECT_EQ(h->Begins, h->Ends);

  auto plain = MakeCompanies();
  TExprParser q(plain.get(), "Qty = 1", {}, {poExtSyntax});
  EXPECT_EQ(testsupport::MessageOf<EDatabaseError>(
                [&] { TParseVerifier(plain.get(), q.FilterData()).VerifyRecord(nullptr); }),
            Pv("Dataset cannot present a record buffer to a filter"));
}

}  // namespace
}  // namespace dac::filtertest
