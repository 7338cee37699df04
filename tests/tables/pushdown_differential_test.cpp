// The engine path against the client path: generated filters and locates
// over a table with every comparable column type and NULLs, run once with
// everything the transformer takes pushed to the engine and once evaluated
// on the client only; both must select the same records in the same order.
// Texts compare under the C locale, where both paths order bytes and fold
// ASCII letters only (a locale collation is a documented difference).

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "errors/pv_errors.h"
#include "filter/text_compare.h"
#include "platform/rtl/scope_guard.h"
#include "support/table_fixture.h"
#include "support/test_seed.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Bytes;
using tabletest::Row;
using tabletest::Z;

class TDiffTable : public TPvTable {
 public:
  void SetForceSimpleFilters(bool Value) { FForceSimpleFilters = Value; }
};

struct TColumnKind {
  const char* Name;
  enum { Text, Number, Boolean, Date } Kind;
};

const TColumnKind kColumns[] = {{"Code", TColumnKind::Text},     {"Name", TColumnKind::Text},
                                {"Small", TColumnKind::Number},  {"Qty", TColumnKind::Number},
                                {"Amount", TColumnKind::Number}, {"Price", TColumnKind::Number},
                                {"Dec", TColumnKind::Number},    {"Flag", TColumnKind::Boolean},
                                {"Day", TColumnKind::Date}};

const char* const kTexts[] = {"ab",   "AB",   "ab@x", "AB[x", "ab_",  "Abc", "abc",  "b",    "B_",
                              "\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89", "z", "a b", "@", "`q", "Zed"};
const char* const kNumbers[] = {"0", "1", "-1", "2", "3", "1.5", "2.25", "-0.5", "100", "-0.2505"};

class PushDownDifferential : public tabletest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    SetTextLocale("C");
  }
  void TearDown() override {
    SetTextLocale("");
    TableTest::TearDown();
  }

  void Mixed() {
    auto ids = Create("Mixed", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                {"Code", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 6},
                                {"Name", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 12},
                                {"Small", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2},
                                {"Qty", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                {"Amount", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8},
                                {"Price", DRM_COLTYP(RM_TYPE_CURRENCY, DRM_TYPE_CURRENCY), 8},
                                {"Dec", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 38, 12, 3},
                                {"Flag", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1},
                                {"Day", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 6}});
    std::mt19937 random(testseed::Seed(7));
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto maybe = [&](Bytes b) { return pick(7) == 0 ? std::optional<Bytes>() : std::optional<Bytes>(std::move(b)); };
    std::vector<Row> rows;
    for (int32_t i = 0; i < 80; ++i) {
      Row r;
      r.push_back(B(i));
      r.push_back(maybe(Z(kTexts[pick(16)])));
      r.push_back(maybe(Z(kTexts[pick(16)])));
      r.push_back(maybe(B(static_cast<int16_t>(pick(5) - 2))));
      r.push_back(maybe(B(int32_t{pick(5) - 1})));
      r.push_back(maybe(B(0.5 * (pick(7) - 2))));
      r.push_back(maybe(B(int64_t{2500} * (pick(7) - 2))));
      r.push_back(maybe(tabletest::Decimal(-3, 250 * (pick(9) - 3))));
      // 2: a flag byte another program wrote; it reads as true.
      r.push_back(maybe(B(static_cast<uint8_t>(pick(3)))));
      r.push_back(maybe(tabletest::Words({2020, static_cast<uint16_t>(1 + pick(3)), static_cast<uint16_t>(1 + pick(3))})));
      rows.push_back(r);
    }
    Insert("Mixed", ids, rows);
  }

  TFreePtr<TDiffTable> Open(bool Engine, TFilterOptions Options) {
    auto t = CreateUnowned<TDiffTable>();
    t->SetName("T1");
    t->SetDatabaseName(dir);
    t->SetTableName("Mixed");
    t->SetForceSimpleFilters(Engine);
    t->SetClientSideFilters(!Engine);
    t->SetFilterOptions(Options);
    t->Open();
    return t;
  }

  static std::vector<int32_t> Ids(TPvTable* t) {
    std::vector<int32_t> seen;
    for (t->First(); !t->Eof(); t->Next()) seen.push_back(t->FieldByName("Id")->AsInteger());
    return seen;
  }

  static std::string Quoted(const std::string& s) { return "'" + s + "'"; }

  std::string Comparison(std::mt19937& random) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const TColumnKind& c = kColumns[pick(9)];
    const std::string name = c.Name;
    if (pick(10) == 0) return name + (pick(2) ? " is null" : " is not null");
    static const char* const ops[] = {" = ", " <> ", " > ", " < ", " >= ", " <= "};
    const std::string op = ops[pick(6)];
    switch (c.Kind) {
      case TColumnKind::Text: {
        std::string v = kTexts[pick(16)];
        if (pick(3) == 0) {
          v = v.substr(0, 1 + static_cast<size_t>(pick(2)));
          // A prefix ending in a blank on fixed-length text is a documented
          // difference of the two paths (see the architecture notes).
          if (v.back() == ' ') v.pop_back();
          v += "*";
        }
        if (pick(6) == 0) return name + op + (name == "Code" ? "Name" : "Code");
        return name + op + Quoted(v);
      }
      case TColumnKind::Number: {
        // The parser takes no number constant for a currency field and no
        // fraction for an integer field: those compare with columns.
        const bool integer = name == "Small" || name == "Qty";
        if (pick(5) == 0 || name == "Price") {
          static const char* const others[] = {"Small", "Qty", "Amount", "Price", "Dec"};
          return name + op + others[pick(5)];
        }
        return name + op + kNumbers[pick(integer ? 5 : 10)];
      }
      case TColumnKind::Boolean: return pick(4) == 0 ? name : name + op + (pick(2) ? "True" : "False");
      case TColumnKind::Date:
        return name + op + Quoted(std::to_string(1 + pick(3)) + "/" + std::to_string(1 + pick(3)) + "/2020");
    }
    return name;
  }

  std::string Filter(std::mt19937& random) {
    std::string text = Comparison(random);
    const int more = static_cast<int>(random() % 3);
    for (int i = 0; i < more; ++i) text += (random() % 2 ? " and " : " or ") + Comparison(random);
    return text;
  }
};

TEST_F(PushDownDifferential, GeneratedFiltersSelectAlikeOnBothPaths) {
  Mixed();
  const uint32_t seed = testseed::Seed(2026);
  SCOPED_TRACE(testseed::Describe(seed));
  std::mt19937 random(seed);
  const TFilterOptions optionSets[] = {TFilterOptions{}, TFilterOptions{foCaseInsensitive},
                                       TFilterOptions{foNoPartialCompare},
                                       TFilterOptions{foCaseInsensitive, foNoPartialCompare}};
  int32_t compared = 0, pushedTerms = 0, refused = 0;
  for (const TFilterOptions& options : optionSets) {
    auto engine = Open(true, options);
    auto client = Open(false, options);
    for (int i = 0; i < 90; ++i) {
      const std::string text = Filter(random);
      SCOPED_TRACE(text + (options.Contains(foCaseInsensitive) ? " [ci]" : "") +
                   (options.Contains(foNoPartialCompare) ? " [nopartial]" : ""));
      // A filter the parser refuses fails on both paths alike.
      std::string clientError, engineError;
      try {
        client->SetFilter(text);
        client->SetFiltered(true);
      } catch (const Exception& e) {
        clientError = e.Message();
      }
      try {
        engine->SetFilter(text);
        engine->SetFiltered(true);
      } catch (const Exception& e) {
        engineError = e.Message();
      }
      EXPECT_EQ(engineError, clientError);
      if (!clientError.empty()) {
        ++refused;
        continue;
      }
      ASSERT_NE(engine->ParseTransformer(), nullptr);
      ASSERT_EQ(client->ParseTransformer(), nullptr);
      pushedTerms += engine->ParseTransformer()->DRMFilterCount();
      EXPECT_EQ(Ids(engine.get()), Ids(client.get()));
      ++compared;
    }
  }
  EXPECT_EQ(compared + refused, 360);
  EXPECT_LT(refused, 20) << "most generated filters are well-formed";
  EXPECT_GT(pushedTerms, 360) << "most comparisons reach the engine as terms";
}

TEST_F(PushDownDifferential, GeneratedLocatesFindAlikeOnBothPaths) {
  Mixed();
  const uint32_t seed = testseed::Seed(99);
  SCOPED_TRACE(testseed::Describe(seed));
  std::mt19937 random(seed);
  auto engine = Open(true, {});
  auto client = Open(false, {});
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int i = 0; i < 200; ++i) {
    TLocateOptions options;
    if (pick(2)) options.Include(loCaseInsensitive);
    if (pick(2)) options.Include(loPartialKey);
    std::string fields;
    std::vector<Variant> values;
    const int keys = 1 + pick(2);
    for (int k = 0; k < keys; ++k) {
      const TColumnKind& c = kColumns[pick(9)];
      if (fields.find(c.Name) != std::string::npos) continue;
      fields += (fields.empty() ? "" : ";") + std::string(c.Name);
      if (pick(8) == 0) {
        values.push_back(Variant::Null());
        continue;
      }
      switch (c.Kind) {
        case TColumnKind::Text: {
          std::string v = std::string(kTexts[pick(16)]).substr(0, 1 + static_cast<size_t>(pick(3)));
          // As in the filters: a key ending in a blank on fixed-length text
          // is a documented difference of the two paths.
          if (std::string(c.Name) == "Code")
            while (!v.empty() && v.back() == ' ') v.pop_back();
          values.emplace_back(v);
          break;
        }
        case TColumnKind::Number: values.emplace_back(int32_t{pick(4) - 1}); break;
        case TColumnKind::Boolean: values.emplace_back(pick(2) == 1); break;
        case TColumnKind::Date: values.emplace_back(Variant::FromDateTime(EncodeDate(2020, static_cast<uint16_t>(1 + pick(3)), static_cast<uint16_t>(1 + pick(3))))); break;
      }
    }
    const Variant key = values.size() == 1 ? values[0] : VarArrayOf(values);
    std::string shown;
    for (const Variant& v : values) shown += " [" + (v.IsNull() ? std::string("NULL") : v.AsString()) + "]";
    SCOPED_TRACE(fields + shown + " ci " + std::to_string(options.Contains(loCaseInsensitive)) + " partial " +
                 std::to_string(options.Contains(loPartialKey)));
    engine->Last();
    client->Last();
    const bool foundByEngine = engine->Locate(fields, key, options);
    const bool foundByClient = client->Locate(fields, key, options);
    EXPECT_EQ(foundByEngine, foundByClient);
    EXPECT_EQ(engine->FieldByName("Id")->AsInteger(), client->FieldByName("Id")->AsInteger());
  }
}

}  // namespace
