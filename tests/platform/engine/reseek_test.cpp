// Re-seeks from a saved position, in both directions, on an index whose
// first segment repeats a lot and whose segments hold NULLs: each move must
// land where a plain walk of the whole order says it should.
#include <random>

#include "engine_fixture.h"
#include "support/test_seed.h"

using namespace enginetest;

namespace {

class ReseekTest : public EngineTest {
 protected:
  uint32_t t = 0;
  std::vector<uint32_t> ids;

  void Fill(uint32_t flags, uint32_t seed) {
    ids = CreateTable("T", {{"A", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 4},
                            {"B", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32)}});
    t = Open("T");
    ASSERT_EQ(CreateIndex(t, "AB", {"+A", "+B"}, flags), 0);
    ASSERT_EQ(RareSetTableIndex(S, t, "AB"), 0);
    static const char* as[] = {"a", "A", "b", "c"};
    std::mt19937 rng(seed);
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
      if (rng() % 10 == 0)
        ASSERT_EQ(SetNull(t, ids[0]), 0);
      else
        ASSERT_EQ(SetText(t, ids[0], as[rng() % 4]), 0);
      if (rng() % 6 == 0)
        ASSERT_EQ(SetNull(t, ids[1]), 0);
      else
        ASSERT_EQ(SetInt32(t, ids[1], static_cast<int32_t>(rng() % 7)), 0);
      ASSERT_EQ(RareUpdateRecord(S, t), 0);
    }
  }

  // The bookmarks of the whole order, read in one forward scan.
  std::vector<uint32_t> Order() {
    std::vector<uint32_t> out;
    for (int32_t st = RareMove(S, t, DRM_MOVE_FIRST); st == 0; st = RareMove(S, t, DRM_MOVE_NEXT))
      out.push_back(Bookmark(t));
    return out;
  }

  // Jumps to random records by bookmark and moves from there, changing
  // direction often: every such move re-seeks from the saved key.
  void WalkAgainst(const std::vector<uint32_t>& order, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int jump = 0; jump < 150; ++jump) {
      long at = static_cast<long>(rng() % order.size());
      ASSERT_EQ(RareGotoBookmark(S, t, &order[static_cast<size_t>(at)], 4), 0);
      for (int step = 0; step < 6; ++step) {
        const int dir = rng() % 2 ? 1 : -1;
        const int32_t st = RareMove(S, t, dir > 0 ? DRM_MOVE_NEXT : DRM_MOVE_PREVIOUS);
        const long to = at + dir;
        if (to < 0 || to >= static_cast<long>(order.size())) {
          ASSERT_EQ(st, DRM_ERR_NO_CURRENT_RECORD) << "jump " << jump << " step " << step;
          break;
        }
        ASSERT_EQ(st, 0) << "jump " << jump << " step " << step;
        ASSERT_EQ(Bookmark(t), order[static_cast<size_t>(to)]) << "jump " << jump << " step " << step;
        at = to;
      }
    }
  }
};

TEST_F(ReseekTest, CaseSensitiveIndexWithNullsInBothSegments) {
  SCOPED_TRACE(testseed::Describe(testseed::Seed(7)));
  Fill(DRM_IDXFLAG_CASE_SENSITIVE, testseed::Seed(7));
  const auto order = Order();
  ASSERT_EQ(order.size(), 300u);
  WalkAgainst(order, testseed::Seed(11));
  // The same with the NULL second segments gone: the bound on both
  // segments then applies going back as well.
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  int32_t st = 0;
  while (st == 0) {
    if (ReadInt(t, ids[1]) == -1) {
      ASSERT_EQ(RareDeleteRecord(S, t), 0);
      st = RareMove(S, t, DRM_MOVE_NEXT);
      if (st != 0) st = RareMove(S, t, DRM_MOVE_FIRST);
      continue;
    }
    st = RareMove(S, t, DRM_MOVE_NEXT);
  }
  const auto fewer = Order();
  ASSERT_LT(fewer.size(), 300u);
  WalkAgainst(fewer, testseed::Seed(13));
}

TEST_F(ReseekTest, CaseInsensitiveIndex) {
  SCOPED_TRACE(testseed::Describe(testseed::Seed(17)));
  Fill(0, testseed::Seed(17));
  const auto order = Order();
  WalkAgainst(order, testseed::Seed(19));
}

}  // namespace
