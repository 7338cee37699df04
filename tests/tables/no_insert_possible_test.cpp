// An engine that answers -4991 ("no insert possible") when a new row is
// opened: Insert, AppendRecord and InsertRecord then do nothing, silently.
// The engine of this system never gives that answer, so this test puts its
// own RareInitUpdate in front of the engine's (the executable's definition
// wins over the shared library's) and passes every call through unless a
// test asks for the refusal.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "support/table_fixture.h"

namespace {
bool gRefuseNewRows = false;
}  // namespace

extern "C" DRM_API int32_t RareInitUpdate(uint32_t hSession, uint32_t hTable, int32_t mode) DRM_NOEXCEPT {
  using TEngineCall = int32_t (*)(uint32_t, uint32_t, int32_t);
  static const auto engine = reinterpret_cast<TEngineCall>(dlsym(RTLD_NEXT, "RareInitUpdate"));
  if (gRefuseNewRows && mode == DRM_INITUPD_NEW) return DRM_ERR_NO_INSERT_POSSIBLE;
  return engine(hSession, hTable, mode);
}

namespace {

using namespace dac;

class TPvTableNoInsert : public tabletest::TableTest {
 protected:
  void TearDown() override {
    gRefuseNewRows = false;
    TableTest::TearDown();
  }
  uint32_t EngineCount() {
    uint32_t t = 0, n = 0;
    EXPECT_EQ(RareOpenTable(RS, RD, "Nums", 0, 0, &t), 0);
    EXPECT_EQ(RareGetRecordCount(t, &n), 0);
    RareCloseTable(RS, t);
    return n;
  }
};

TEST_F(TPvTableNoInsert, AppendRecordAndInsertRecordAddNothingSilently) {
  NumberTable("Nums", {1, 2});
  auto t = Table("Nums");
  t->Open();
  t->Next();
  gRefuseNewRows = true;
  EXPECT_NO_THROW(t->AppendRecord({Variant(3)}));
  EXPECT_NO_THROW(t->InsertRecord({Variant(4)}));
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), 2) << "the dataset did not move";
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(EngineCount(), 2u);
  gRefuseNewRows = false;
  t->AppendRecord({Variant(3)});
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(TPvTableNoInsert, InsertStartsNoEngineRow) {
  NumberTable("Nums", {1});
  auto t = Table("Nums");
  t->Open();
  gRefuseNewRows = true;
  EXPECT_NO_THROW(t->Insert());
  // The framework shows an empty new record; the engine holds no new row,
  // and cancelling leaves everything as it was.
  EXPECT_TRUE(t->FieldByName("N")->IsNull());
  t->Cancel();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(Walk(t.get()), (std::vector<int32_t>{1}));
  EXPECT_EQ(EngineCount(), 1u);
}

}  // namespace
