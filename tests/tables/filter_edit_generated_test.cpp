// A filtered table edited at random: records appended, changed into and out
// of the filter, deleted, between moves. After each step the table shows,
// in both directions, what SQLite selects with the same condition, whether
// the engine or the client evaluates the filter.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "filter/text_compare.h"
#include "support/orders_fixture.h"
#include "support/test_seed.h"

namespace {

using namespace dac;

class TPvTableFilterEdits : public tabletest::OrdersTest {
 protected:
  void SetUp() override {
    OrdersTest::SetUp();
    SetTextLocale("C");
  }
  void TearDown() override {
    SetTextLocale("");
    OrdersTest::TearDown();
  }
};

struct TFilterCase {
  const char* Filter;
  const char* Where;  // the same condition for SQLite
};

const TFilterCase kFilters[] = {
    {"Cust >= 3", "{Cust} >= 3"},
    {"Cust <> 2 and Qty < 400", "{Cust} <> 2 AND {Qty} < 400"},
    {"Item = 'cherry' or Cust = 5", "{Item} = 'cherry' OR {Cust} = 5"},
    {"Item > 'D' and Item < 'h'", "{Item} > 'D' AND {Item} < 'h'"},
    {"Qty >= 250 and Qty <= 520", "{Qty} >= 250 AND {Qty} <= 520"},
    {"Item = 'a*'", "substr({Item}, 1, 1) = 'a'"},
};

TEST_F(TPvTableFilterEdits, GeneratedEditsOfAFilteredTableShowWhatSqliteSelects) {
  const uint32_t seed = testseed::Seed(8128);
  SCOPED_TRACE(testseed::Describe(seed));
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  // Qty is unique: the 60 stored values are c * 100 + i (c 1..6, i 0..9).
  std::set<int32_t> used;
  for (int32_t c = 1; c <= 6; ++c)
    for (int32_t i = 0; i < 10; ++i) used.insert(c * 100 + i);
  auto freshQty = [&] {
    for (;;) {
      const int32_t q = pick(3) == 0 ? 2000 + pick(1000) : 250 + pick(271);
      if (used.insert(q).second) return q;
    }
  };
  for (const bool onClient : {false, true}) {
    for (const TFilterCase& f : kFilters) {
      SCOPED_TRACE(std::string(f.Filter) + (onClient ? " [client]" : " [engine]"));
      auto t = Table("Orders");
      t->SetIndexName("ByCustItem");
      t->SetFilter(f.Filter);
      t->SetFiltered(true);
      if (onClient) t->SetClientSideFilters(true);
      t->Open();
      const std::string query = std::string("SELECT {Qty} FROM {T} WHERE ") + f.Where + " ORDER BY {Cust}, {Item}, bm";
      std::string done;
      for (int step = 0; step < 25; ++step) {
        switch (pick(6)) {
          case 0:
            done += " append";
            t->Append();
            t->FieldByName("Cust")->SetAsInteger(1 + pick(7));
            t->FieldByName("Item")->SetAsString(tabletest::kItems[pick(10)]);
            t->FieldByName("Qty")->SetAsInteger(freshQty());
            t->Post();
            break;
          case 1:
          case 2:
            if (t->IsEmpty()) break;
            done += " edit";
            t->First();
            t->MoveBy(pick(6));
            t->Edit();
            if (pick(2))
              t->FieldByName("Cust")->SetAsInteger(1 + pick(7));
            else
              t->FieldByName("Item")->SetAsString(tabletest::kItems[pick(10)]);
            t->Post();
            break;
          case 3:
            if (t->IsEmpty()) break;
            done += " delete";
            t->Last();
            t->MoveBy(-pick(4));
            t->Delete();
            break;
          case 4: done += " last"; t->Last(); break;
          default: done += " first"; t->First(); break;
        }
        const std::vector<int32_t> expected = Sql(query);
        ASSERT_EQ(Forward(t.get()), expected) << "after" << done;
        ASSERT_EQ(Backward(t.get()), expected) << "after" << done;
      }
    }
  }
}

}  // namespace
