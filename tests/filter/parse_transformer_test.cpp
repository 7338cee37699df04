// The engine filter transformer: which parts of a filter become engine terms
// and in what order, what stays on the client, the constants handed to the
// conversion, Depth, the errors on malformed buffers, and a differential
// check that terms evaluated left to right AND the remainder select what the
// whole filter selects.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <random>

#include "errors/messages.h"
#include "errors/pv_errors.h"
#include "filter/filter_column_source.h"
#include "filter/parse_transformer.h"
#include "filter_test_support.h"

namespace dac::filtertest {
namespace {

// Columns for every field of the Company dataset except "Code", which plays
// a calculated field. Column ids are 100 + field number; column names are
// the field names in upper case, so a copied field node shows which name it
// got. A constant converts to a 4-byte index into Constants (zero bytes
// after it), except a text, which converts to its bytes.
class TFakeColumns final : public IFilterColumnSource {
 public:
  explicit TFakeColumns(TDataSet* Ds) {
    TFields* fields = Ds->Fields();
    for (int32_t i = 0; i < fields->Count(); ++i) {
      TField* f = fields->Fields(i);
      if (f->FieldName() == "Code") continue;
      TFilterColumn c;
      c.ColumnId = static_cast<uint32_t>(100 + f->FieldNo());
      const bool text = f->DataType() == ftString;
      c.cbMax = text ? static_cast<uint32_t>(f->Size()) : 8;
      c.BufferMax = c.cbMax + (text ? 2 : 1);
      c.RealDataSize = c.cbMax + (text ? 1 : 0);
      c.ColumnName = AnsiUpperCase(f->FieldName());
      FColumns[f->FieldNo()] = c;
      FNames[c.ColumnId] = f->FieldName();
    }
  }
  const TFilterColumn* FilterColumn(int32_t FieldNo) const override {
    auto it = FColumns.find(FieldNo);
    return it == FColumns.end() ? nullptr : &it->second;
  }
  std::vector<uint8_t> FilterConstant(TField* Field, const TFilterColumn& Column, const Variant& Value) override {
    Converted.push_back(Field->FieldName() + ":" + std::to_string(Value.VarType()) + ":" + VarToStr(Value));
    std::vector<uint8_t> out(Column.BufferMax, 0);
    if (Field->DataType() == ftString) {
      const std::string s = VarToStr(Value);
      std::copy(s.begin(), s.end(), out.begin());
    } else {
      Constants.push_back(Value);
      const auto index = static_cast<uint32_t>(Constants.size());  // from 1: never all zero bytes
      std::memcpy(out.data(), &index, sizeof index);
    }
    return out;
  }
  const std::string& NameOf(uint32_t ColumnId) const { return FNames.at(ColumnId); }

  std::vector<std::string> Converted;
  std::vector<Variant> Constants;

 private:
  std::map<int32_t, TFilterColumn> FColumns;
  std::map<uint32_t, std::string> FNames;
};

class TParseTransformerTest : public ::testing::Test {
 protected:
  TFreePtr<TMemoryDataSet> ds = MakeCompanies();
  TFakeColumns columns{ds.get()};

  std::unique_ptr<TParseTransformer> Transform(const std::string& Text, TFilterOptions Fo = {}) {
    ds->SetFilterOptions(Fo);
    TExprParser p(ds.get(), Text, Fo, {poExtSyntax});
    return std::make_unique<TParseTransformer>(ds.get(), &columns, p.FilterData());
  }

  std::string ConstText(const DRM_FilterStruct& T) const {
    const auto* p = static_cast<const uint8_t*>(T.pConst);
    if (T.ColumnId == 102 || T.ColumnId == 101 || T.ColumnId == 103 || T.ColumnId == 105)
      return "'" + std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), T.ConstLen)) + "'";
    uint32_t index = 0;
    std::memcpy(&index, p, sizeof index);
    return VarToStr(columns.Constants.at(index - 1));
  }

  // The term list as text: Name>5 AND Name~='x' (~ case-insensitive),
  // Name='Sm'* (partial), Qty=Price (column), Qty=NULL / Qty<>NULL.
  std::string Terms(const TParseTransformer& T) const {
    static const char* const ops[] = {"?", "=", ">", "<", "<>", ">=", "<="};
    std::string r;
    for (int32_t i = 0; i < T.DRMFilterCount(); ++i) {
      const DRM_FilterStruct& t = T.pDRMFilters()[i];
      r += columns.NameOf(t.ColumnId);
      if (t.CompareCode & 0x80) r += "~";
      r += ops[t.CompareCode & 0x7F];
      switch (t.IsColumn) {
        case fisConst: r += ConstText(t); break;
        case fisPartialConst: r += ConstText(t) + "*"; break;
        case fisColumn: r += columns.NameOf(t.CompColumnId); break;
        case fisNull: r += "NULL"; break;
        default: r += "?";
      }
      if (i + 1 < T.DRMFilterCount()) r += t.ExprWithNextTerm == 1 ? " AND " : t.ExprWithNextTerm == 2 ? " OR " : " ?? ";
      else EXPECT_EQ(t.ExprWithNextTerm, 0) << "the last term joins nothing";
    }
    return r;
  }
  static std::string Local(const TParseTransformer& T) {
    return T.pLocalFilterParseData() ? TBufferReader(T.pLocalFilterParseData()).Text() : "";
  }
  // "terms | remainder"
  std::string Split(const std::string& Text, TFilterOptions Fo = {}) {
    auto t = Transform(Text, Fo);
    return Terms(*t) + " | " + Local(*t);
  }
};

TEST_F(TParseTransformerTest, NoBufferNoTermsNoRemainder) {
  TParseTransformer t(ds.get(), &columns, nullptr);
  EXPECT_EQ(t.DRMFilterCount(), 0);
  EXPECT_EQ(t.pDRMFilters(), nullptr);
  EXPECT_EQ(t.pLocalFilterParseData(), nullptr);
  EXPECT_EQ(t.Depth(), 0);
}

// DRM_FilterStruct is packed: its members are copied (unary +) before the
// test macros bind them to references.
TEST_F(TParseTransformerTest, SingleComparisons) {
  EXPECT_EQ(Split("Qty > 5"), "Qty>5 | ");
  EXPECT_EQ(Split("Qty <> 5"), "Qty<>5 | ");
  EXPECT_EQ(Split("Qty < 5"), "Qty<5 | ");
  EXPECT_EQ(Split("Qty >= 5"), "Qty>=5 | ");
  EXPECT_EQ(Split("Qty <= 5"), "Qty<=5 | ");
  EXPECT_EQ(Split("Name = 'x'"), "Name='x' | ");
  EXPECT_EQ(Split("Qty = Price"), "Qty=Price | ");
  EXPECT_EQ(Split("Qty is null"), "Qty=NULL | ");
  EXPECT_EQ(Split("Qty is not null"), "Qty<>NULL | ");
  auto t = Transform("Qty > 5");
  ASSERT_EQ(t->DRMFilterCount(), 1);
  EXPECT_EQ(t->pDRMFilters()[0].IsColumn, fisConst);
  EXPECT_EQ(+t->pDRMFilters()[0].ConstLen, 8) << "the smaller of cbMax and BufferMax";
  EXPECT_EQ(+t->pDRMFilters()[0].CompColumnId, 0u);
}

TEST_F(TParseTransformerTest, PrefixAndLike) {
  auto t = Transform("Name = 'Sm*'");
  ASSERT_EQ(t->DRMFilterCount(), 1);
  EXPECT_EQ(t->pDRMFilters()[0].IsColumn, fisPartialConst);
  EXPECT_EQ(t->pDRMFilters()[0].CompareCode, 1);
  EXPECT_EQ(+t->pDRMFilters()[0].ConstLen, 2);
  EXPECT_EQ(Split("Name <> 'Sm*'"), "Name<>'Sm'* | ");
  EXPECT_EQ(Split("Name like 'abc'"), "Name='abc' | ");
  EXPECT_EQ(Split("Name like 'ab%'"), "Name='ab'* | ");
}

TEST_F(TParseTransformerTest, CaseInsensitiveMarksTextEqualityTermsOnly) {
  EXPECT_EQ(Split("Name = 'abc' and Qty = 1 and Name = 'Sm*'", {foCaseInsensitive}),
            "Name~='abc' AND Qty=1 AND Name~='Sm'* | ");
  // The evaluator folds case only in equality compares with a text
  // constant; the engine must not fold where the client does not.
  EXPECT_EQ(Split("Name in ('a', 'b')", {foCaseInsensitive}), "Name='a' OR Name='b' | ");
  EXPECT_EQ(Split("Name > 'b' and Name = MyParentCmp", {foCaseInsensitive}), "Name>'b' AND Name=MyParentCmp | ");
  EXPECT_EQ(Split("Name <> 'b'", {foCaseInsensitive}), "Name~<>'b' | ");
  EXPECT_EQ(Split("Name = 'abc'"), "Name='abc' | ");
}

TEST_F(TParseTransformerTest, AndOrChains) {
  EXPECT_EQ(Split("Qty = 1 and Price = 2"), "Qty=1 AND Price=2 | ");
  EXPECT_EQ(Split("Qty = 1 and Price = 2 and fHasParentCmp = 3"), "Qty=1 AND Price=2 AND fHasParentCmp=3 | ");
  EXPECT_EQ(Split("Qty = 1 or Price = 2 or fHasParentCmp = 3"), "Qty=1 OR Price=2 OR fHasParentCmp=3 | ");
  EXPECT_EQ(Split("Qty = 1 or (Price = 2 and fHasParentCmp = 3)"), "Price=2 AND fHasParentCmp=3 OR Qty=1 | ");
  EXPECT_EQ(Split("(Qty = 1 and Price = 2) or (fHasParentCmp = 3 and Cost = 4)"),
            " | OR(AND(EQ(QTY#6, ftInteger:1), EQ(PRICE#7, ftFloat:2)), AND(EQ(FHASPARENTCMP#3, ftSmallint:3), "
            "EQ(COST#9, ftBCD:40000)))");
  EXPECT_EQ(Split("fHasParentCmp = 1 and (Qty = 1 or Price = 2)"),
            "fHasParentCmp=1 AND Qty=1 OR Price=2 AND fHasParentCmp=1 | ");
  EXPECT_EQ(Split("(Qty = 1 or Price = 2) and (fHasParentCmp = 3 or Cost = 4 or Qty = 5)"),
            "fHasParentCmp=3 OR Cost=4 OR Qty=5 | OR(EQ(QTY#6, ftInteger:1), EQ(PRICE#7, ftFloat:2))");
}

TEST_F(TParseTransformerTest, WhatStaysLocal) {
  EXPECT_EQ(Split("Qty + 1 > 5 and Name = 'x'"), "Name='x' | GT(ADD(QTY#6, ftFloat:1), ftFloat:5)");
  EXPECT_EQ(Split("not (Qty = 1)"), " | NOT(EQ(QTY#6, ftInteger:1))");
  EXPECT_EQ(Split("5 < Qty"), "Qty>5 | ") << "the parser turns a constant left of a field round";
  EXPECT_EQ(Split("Qty - Price < 1"), " | LT(SUB(QTY#6, PRICE#7), ftFloat:1)");
  // A field without a column keeps its own name in the remainder.
  EXPECT_EQ(Split("Code = 1 and Qty = 2"), "Qty=2 | EQ(Code#13, ftWord:1)");
  EXPECT_EQ(Split("Code is null"), " | ISBLANK(Code#13)");
  EXPECT_EQ(Split("Code = Qty"), " | EQ(Code#13, QTY#6)");
  EXPECT_EQ(Split("Qty = Code"), " | EQ(QTY#6, Code#13)");
  // OR with a local side cannot be split.
  EXPECT_EQ(Split("Qty = 1 or Qty + 1 = 3"), " | OR(EQ(QTY#6, ftInteger:1), EQ(ADD(QTY#6, ftFloat:1), ftFloat:3))");
  // AND of two remainders.
  EXPECT_EQ(Split("Qty = 1 and Qty * 2 = 3 and Price = 2 and not (Name = 'a')"),
            "Qty=1 AND Price=2 | AND(EQ(MUL(QTY#6, ftFloat:2), ftFloat:3), NOT(EQ(NAME#1, ftString:'a')))");
}

TEST_F(TParseTransformerTest, InLists) {
  EXPECT_EQ(Split("Qty in (1, 2, 3)"), "Qty=1 OR Qty=2 OR Qty=3 | ");
  EXPECT_EQ(Split("Code in (1, 2)"), " | IN(Code#13, [ftFloat:1, ftFloat:2])");
  EXPECT_EQ(Split("Qty in (1, 2) and Price = 3"), "Price=3 AND Qty=1 OR Qty=2 AND Price=3 | ");
  EXPECT_EQ(Split("InactiveAcct = True and Qty = 1"), "InactiveAcct=True AND Qty=1 | ");
}

TEST_F(TParseTransformerTest, ConstantsOfEveryTypeReachTheConversionTyped) {
  Transform("Qty = 5 and fHasParentCmp = 2 and Price = 1.5 and Cost = 2.25 and Name = 'x' and Stamp > '1/2/2015'");
  ASSERT_EQ(columns.Converted.size(), 6u);
  EXPECT_EQ(columns.Converted[0], "Qty:" + std::to_string(varInteger) + ":5");
  EXPECT_EQ(columns.Converted[1].substr(0, 14), "fHasParentCmp:");
  EXPECT_EQ(columns.Converted[2], "Price:" + std::to_string(varDouble) + ":1.5");
  EXPECT_EQ(columns.Converted[4], "Name:" + std::to_string(varString) + ":x");
  EXPECT_EQ(columns.Converted[5].substr(0, 6 + std::to_string(varDate).size()), "Stamp:" + std::to_string(varDate));
}

TEST_F(TParseTransformerTest, RemainderIsAValidBufferTheEvaluatorAccepts) {
  AddRecord(ds.get(), {{"Qty", Variant(3)}, {"Name", Variant("abc")}});
  auto t = Transform("Qty + 1 = 4 and not (Name = 'x') and Name = 'abc'");
  ASSERT_NE(t->pLocalFilterParseData(), nullptr);
  const tCANExpr h = ReadCANExpr(t->pLocalFilterParseData());
  EXPECT_EQ(h.iVer, kCANExprVersion);
  EXPECT_EQ(h.iNodeStart, kCANExprHeaderSize);
  EXPECT_TRUE(TParseVerifier(ds.get(), t->pLocalFilterParseData()).Verify());
  ds->Edit();
  ds->FieldByName("Qty")->SetValue(Variant(4));
  ds->Post();
  EXPECT_FALSE(TParseVerifier(ds.get(), t->pLocalFilterParseData()).Verify());
}

TEST_F(TParseTransformerTest, Depth) {
  EXPECT_EQ(Transform("Qty > 5")->Depth(), 1);
  EXPECT_EQ(Transform("Qty > 5 and Price > 1")->Depth(), 2);
  EXPECT_EQ(Transform("Qty > 1 and Qty > 2 and Qty > 3 and Qty > 4")->Depth(), 4);
  EXPECT_EQ(Transform("Qty > 1 and Qty > 2 and Qty > 3 and Qty > 4 and Qty > 5 and Qty > 6")->Depth(), 6);
  EXPECT_EQ(Transform("Qty > 1 or (Qty > 2 and (Qty > 3 or (Qty > 4 and Qty > 5)))")->Depth(), 5);
}

TEST_F(TParseTransformerTest, RepeatedTermsOwnTheirConstants) {
  auto t = Transform("fHasParentCmp = 1 and (Qty = 1 or Price = 2)");
  ASSERT_EQ(t->DRMFilterCount(), 4);
  EXPECT_EQ(t->pDRMFilters()[0].ExprWithNextTerm, 1);
  EXPECT_EQ(t->pDRMFilters()[3].ExprWithNextTerm, 0);
  EXPECT_NE(+t->pDRMFilters()[0].pConst, +t->pDRMFilters()[3].pConst);
  EXPECT_EQ(std::memcmp(t->pDRMFilters()[0].pConst, t->pDRMFilters()[3].pConst, t->pDRMFilters()[0].ConstLen), 0);
}

TEST_F(TParseTransformerTest, LongChainsTransform) {
  std::string text = "Qty = 0";
  for (int i = 1; i < 1500; ++i) text += " or Qty = " + std::to_string(i);
  auto t = Transform(text);
  EXPECT_EQ(t->DRMFilterCount(), 1500);
  EXPECT_EQ(t->pLocalFilterParseData(), nullptr);
  text = "Qty + 0 = 0";
  for (int i = 1; i < 1000; ++i) text += " and Qty + " + std::to_string(i) + " = 0";
  t = Transform(text);
  EXPECT_EQ(t->DRMFilterCount(), 0);
  AddRecord(ds.get(), {{"Qty", Variant(0)}});
  EXPECT_FALSE(TParseVerifier(ds.get(), t->pLocalFilterParseData()).Verify());
}

TEST_F(TParseTransformerTest, RemainderKeepsInListsAndPrefixCompares) {
  AddRecord(ds.get(), {{"Code", Variant(2)}, {"Name", Variant("Smith")}});
  auto t = Transform("Code in (1, 2) and not (Name = 'Sm*')");
  EXPECT_EQ(t->DRMFilterCount(), 0);
  EXPECT_FALSE(TParseVerifier(ds.get(), t->pLocalFilterParseData()).Verify());
  t = Transform("Code in (1, 2) and not (Name = 'Sa*')");
  EXPECT_TRUE(TParseVerifier(ds.get(), t->pLocalFilterParseData()).Verify());
}

TEST_F(TParseTransformerTest, ConversionFailurePropagates) {
  class TFailing final : public IFilterColumnSource {
   public:
    explicit TFailing(IFilterColumnSource* Inner) : FInner(Inner) {}
    const TFilterColumn* FilterColumn(int32_t FieldNo) const override { return FInner->FilterColumn(FieldNo); }
    std::vector<uint8_t> FilterConstant(TField*, const TFilterColumn&, const Variant&) override {
      throw EDatabaseError("'x' is not a valid integer");
    }
    IFilterColumnSource* FInner;
  } failing(&columns);
  TExprParser p(ds.get(), "Qty = 1 and Price = 2", {}, {poExtSyntax});
  EXPECT_EQ(testsupport::MessageOf<EDatabaseError>([&] { TParseTransformer t(ds.get(), &failing, p.FilterData()); }),
            "'x' is not a valid integer");
}

// ---- errors on malformed buffers -------------------------------------------------------

class TParseTransformerErrors : public TParseTransformerTest {
 protected:
  std::vector<uint8_t> Buffer(const std::string& Text) {
    TExprParser p(ds.get(), Text, {}, {poExtSyntax});
    const tCANExpr h = ReadCANExpr(p.FilterData());
    return std::vector<uint8_t>(p.FilterData(), p.FilterData() + h.iTotalSize);
  }
  uint8_t* Node(std::vector<uint8_t>& B, uint16_t Offset) { return B.data() + kCANExprHeaderSize + Offset; }
  uint16_t Operand(std::vector<uint8_t>& B, uint16_t Offset, int Index) {
    return ReadCANWord(Node(B, Offset) + 2 + 2 * Index);
  }
  std::string Error(const std::vector<uint8_t>& B) {
    return testsupport::MessageOf<EPvDatabaseError>([&] { TParseTransformer t(ds.get(), &columns, B.data()); });
  }
};

TEST_F(TParseTransformerErrors, UnknownOperator) {
  auto b = Buffer("Qty > 5");
  Node(b, 0)[1] = 38;
  EXPECT_EQ(Error(b), Pv(Format(SExprUnknownOperation, 38)));
}

TEST_F(TParseTransformerErrors, UnknownNodeTypes) {
  auto b = Buffer("Qty > 5");
  Node(b, Operand(b, 0, 0))[0] = 12;
  EXPECT_EQ(Error(b), Pv(Format(SExprUnknownNodeType, 12)));
  b = Buffer("Qty > 5");
  Node(b, 0)[0] = nodeUNARY;
  EXPECT_EQ(Error(b), Pv(Format(SExprUnknownNodeType, int{nodeUNARY})));
  // A node class the remainder copy cannot size.
  b = Buffer("not (Qty > 5)");
  Node(b, Operand(b, 0, 0))[0] = nodeTUPLE;
  EXPECT_EQ(Error(b), Pv(Format(SExprUnknownNodeType, int{nodeTUPLE})));
}

TEST_F(TParseTransformerErrors, BadDataType) {
  auto b = Buffer("Qty > 5");
  WriteCANWord(Node(b, Operand(b, 0, 1)) + 2, ftLargeint);
  EXPECT_EQ(Error(b), Pv(SExprBadDataType));
}

TEST_F(TParseTransformerErrors, MalformedInLists) {
  auto b = Buffer("Qty in (1, 2)");
  Node(b, Operand(b, 0, 0))[0] = nodeCONST;
  EXPECT_EQ(Error(b), Pv(Format(SExprUnknownOperation, int{canIN})));
  b = Buffer("Qty in (1, 2)");
  const uint16_t second = Operand(b, Operand(b, 0, 1), 1);
  const uint16_t value = Operand(b, second, 0);
  Node(b, value)[0] = nodeFIELD;
  EXPECT_EQ(Error(b), Pv(Format(SExprUnknownOperation, int{Node(b, value)[1]})));
}

// ---- differential: the engine's left-to-right reading of the terms AND the remainder ----

class TParseTransformerDifferential : public TParseTransformerTest {
 protected:
  // The engine's reading: ((t0 j0 t1) j1 t2)..., comparisons with NULL false.
  bool EngineAccepts(const TParseTransformer& T) {
    bool acc = true;
    uint8_t joint = 1;
    for (int32_t i = 0; i < T.DRMFilterCount(); ++i) {
      const DRM_FilterStruct& t = T.pDRMFilters()[i];
      TField* f = ds->FieldByName(columns.NameOf(t.ColumnId));
      bool v = false;
      if (t.IsColumn == fisNull) {
        v = f->IsNull() == ((t.CompareCode & 0x7F) == 1);
      } else if (!f->IsNull()) {
        double right = 0;
        bool rightNull = false;
        if (t.IsColumn == fisColumn) {
          TField* g = ds->FieldByName(columns.NameOf(t.CompColumnId));
          rightNull = g->IsNull();
          if (!rightNull) right = g->AsFloat();
        } else {
          uint32_t index = 0;
          std::memcpy(&index, t.pConst, sizeof index);
          right = columns.Constants.at(index - 1).AsDouble();
        }
        const double left = f->AsFloat();
        if (!rightNull) {
          switch (t.CompareCode & 0x7F) {
            case 1: v = left == right; break;
            case 2: v = left > right; break;
            case 3: v = left < right; break;
            case 4: v = left != right; break;
            case 5: v = left >= right; break;
            case 6: v = left <= right; break;
            default: ADD_FAILURE();
          }
        }
      }
      acc = i == 0 ? v : joint == 1 ? (acc && v) : (acc || v);
      joint = t.ExprWithNextTerm;
    }
    return acc && TParseVerifier(ds.get(), T.pLocalFilterParseData()).Verify();
  }
};

TEST_F(TParseTransformerDifferential, TermsAndRemainderSelectWhatTheFilterSelects) {
  const char* const filters[] = {
      "A = 1 or (B = 2 and C = 3)",
      "(A = 1 and B = 2) or C = 3",
      "A = 1 and (B = 2 or C = 3)",
      "(A = 1 or B = 2) and C = 3",
      "(A = 1 or B = 2) and (C = 3 or A = 2 or B = 1)",
      "A = 1 and (B = 2 or C = 3) and (A = 2 or C = 1)",
      "(A = 1 and (B = 2 or C = 3)) or A = 3",
      "A = 3 or (A = 1 and (B = 2 or C = 3))",
      "(B = 1 or (A = 2 and C = 3)) or (A = 1 and (B = 2 or C = 3))",
      "(A = 1 and (B = 2 or C = 3)) and (C = 1 or B = 3)",
      "(A = 1 and (B = 2 or C = 3)) and (A = 2 and (B = 1 or C = 1))",
      "(A = 1 or (B = 2 and C = 3)) and (A = 2 or (B = 1 and C = 1))",
      "(A = 1 or (B = 2 and C = 3)) or (A = 2 or (B = 1 and C = 1))",
      "A in (1, 2) and (B in (2, 3) or C is null)",
      "(A is null or B > 1) and (C <> 2 or A = B)",
      "A + 1 = 2 or (B = 2 and C = 3)",
      "(A + 1 = 2 and B = 1) or (C = 3 and A = B)",
      "A + 0 = 1 and (B = 2 or C = 3) and B * 1 >= 1",
      "(A = 1 or B + 0 = 2) and (C = 3 or A = 2)",
      "not (A = 1) and (B = 1 or C = 1)",
      "A >= 1 and A <= 2 and (B < 2 or C > 1) and (A <> 2 or C = 3)",
  };
  // A, B, C: Qty, Price, fHasParentCmp over {null, 1, 2, 3}.
  std::vector<Variant> values{Variant(), Variant(1), Variant(2), Variant(3)};
  for (const Variant& a : values)
    for (const Variant& b : values)
      for (const Variant& c : values) AddRecord(ds.get(), {{"Qty", a}, {"Price", b}, {"fHasParentCmp", c}});
  for (const char* filter : filters) {
    std::string text = filter;
    for (auto [from, to] : {std::pair<char, const char*>{'A', "Qty"}, {'B', "Price"}, {'C', "fHasParentCmp"}})
      for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
        if ((at == 0 || text[at - 1] == ' ' || text[at - 1] == '(') && (at + 1 == text.size() || text[at + 1] == ' ' || text[at + 1] == ')'))
          text.replace(at, 1, to);
    auto t = Transform(text);
    TExprParser whole(ds.get(), text, {}, {poExtSyntax});
    TParseVerifier reference(ds.get(), whole.FilterData());
    int32_t checked = 0;
    for (ds->First(); !ds->Eof(); ds->Next(), ++checked)
      ASSERT_EQ(EngineAccepts(*t), reference.Verify()) << text << " | " << Terms(*t) << " | " << Local(*t);
    EXPECT_EQ(checked, 64);
  }
}

// A plan transforms a buffer of the same shape as the walk would: the same
// conversions in the same order, the same terms and depth.
TEST_F(TParseTransformerTest, APlanTransformsABufferOfTheSameShapeAsTheWalkDoes) {
  struct TCase {
    std::string First, Second;
    TFilterOptions Options;
  };
  const std::vector<TCase> cases = {
      {"AgyCode = '01' and MyParentCmp = '1000'", "AgyCode = ' 1' and MyParentCmp = '7'", {}},
      {"Name = 'x' and (Number = 'a' or Number = 'b')", "Name = 'yy' and (Number = 'c' or Number = 'dd')", {}},
      {"Number in ('1', '2') and Qty > 5 and Name <> 'n'", "Number in ('33', '4') and Qty > 5 and Name <> 'mm'", {}},
      {"Name = 'Ab' and Number = 'c' and Qty <= 3", "Name = 'xY' and Number = 'zz' and Qty <= 3",
       {foCaseInsensitive}},
      {"Number = 'S*' and Name = Number", "Number = 'Tu*' and Name = Number", {}},
  };
  for (const TCase& c : cases) {
    const std::unique_ptr<TParseTransformer> first = Transform(c.First, c.Options);
    const std::optional<TParseTransformer::TPlan> plan = first->Plan();
    ASSERT_TRUE(plan.has_value()) << c.First;
    TExprParser second(ds.get(), c.Second, c.Options, {poExtSyntax});
    columns.Converted.clear();
    const TParseTransformer walked(ds.get(), &columns, second.FilterData());
    const std::vector<std::string> walkConversions = columns.Converted;
    columns.Converted.clear();
    const std::unique_ptr<TParseTransformer> planned =
        TParseTransformer::FromPlan(ds.get(), &columns, second.FilterData(), *plan);
    ASSERT_NE(planned, nullptr) << c.Second;
    EXPECT_EQ(columns.Converted, walkConversions) << c.Second;
    EXPECT_EQ(planned->Depth(), walked.Depth());
    EXPECT_EQ(planned->pLocalFilterParseData(), nullptr);
    ASSERT_EQ(planned->DRMFilterCount(), walked.DRMFilterCount()) << c.Second;
    for (int32_t i = 0; i < walked.DRMFilterCount(); ++i) {
      const DRM_FilterStruct& a = planned->pDRMFilters()[i];
      const DRM_FilterStruct& b = walked.pDRMFilters()[i];
      // The structure is packed: its fields are compared as values, never
      // bound by reference (which would be misaligned).
      EXPECT_EQ(+a.IsColumn, +b.IsColumn);
      EXPECT_EQ(+a.ColumnId, +b.ColumnId);
      EXPECT_EQ(+a.CompareCode, +b.CompareCode);
      EXPECT_EQ(+a.ExprWithNextTerm, +b.ExprWithNextTerm);
      EXPECT_EQ(+a.CompColumnId, +b.CompColumnId);
      ASSERT_EQ(+a.ConstLen, +b.ConstLen) << c.Second << " term " << i;
      ASSERT_EQ(a.pConst == nullptr, b.pConst == nullptr);
      // The fake converts other values to the number of its conversions.
      const bool text = ds->FieldByName(columns.NameOf(a.ColumnId))->DataType() == ftString;
      if (a.pConst != nullptr && text) {
        EXPECT_EQ(std::memcmp(a.pConst, b.pConst, a.ConstLen), 0) << c.Second << " term " << i;
      }
    }
  }
}

TEST_F(TParseTransformerTest, NoPlanWhileARemainderStaysOnTheClient) {
  EXPECT_FALSE(Transform("Qty + 1 > 2 and Name = 'a'")->Plan().has_value());
  EXPECT_TRUE(Transform("Qty > 2 and Name = 'a'")->Plan().has_value());
  // A plan made for other nodes does not fit.
  const std::optional<TParseTransformer::TPlan> plan = Transform("Name = 'a' and Qty > 2")->Plan();
  ASSERT_TRUE(plan.has_value());
  TExprParser other(ds.get(), "Qty > 2", {}, {poExtSyntax});
  EXPECT_EQ(TParseTransformer::FromPlan(ds.get(), &columns, other.FilterData(), *plan), nullptr);
}

}  // namespace
}  // namespace dac::filtertest
