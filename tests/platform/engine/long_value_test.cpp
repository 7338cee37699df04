// Long values the storage cannot hold are refused when they are given, with
// a status and a text, before anything is allocated for them; a record whose
// values together are more than the storage takes is refused when it is
// written and keeps its pending row. No write answers 0 without storing
// what it was given.
#include <sys/mman.h>

#include "child_process.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

// The largest long value of the system SQLite, which the engine keeps.
constexpr uint32_t kStorageMax = 1000000000u;

}  // namespace

class LongValueTest : public EngineTest {
 protected:
  uint32_t t = 0, cBin = 0, cMemo = 0, cNote = 0, cText = 0;

  void SetUp() override {
    EngineTest::SetUp();
    auto ids = CreateTable("L", {{"Bin", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY)},
                                 {"Memo", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT)},
                                 {"Note", DRM_COLTYP(RM_TYPE_NOTE, DRM_TYPE_LONGTEXT), 64},
                                 {"Text", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 30000}});
    cBin = ids[0];
    cMemo = ids[1];
    cNote = ids[2];
    cText = ids[3];
  }
  // Opens the database again with the storage's limit lowered to `bytes`,
  // so that the limit is reached with small values.
  void LowerLimit(const char* bytes) {
    ASSERT_EQ(RareCloseDatabase(S, D), 0);
    setenv("DAC_ENGINE_MAX_LENGTH", bytes, 1);
    ASSERT_EQ(RareOpenDatabase(S, dbDir.c_str(), &D, 0, "", ""), 0);
    unsetenv("DAC_ENGINE_MAX_LENGTH");
  }
  int32_t BlobSize(uint32_t col) {
    int32_t size = -1;
    EXPECT_EQ(RareGetBlobSize(t, col, &size), 0);
    return size;
  }
  uint32_t Count() {
    uint32_t n = 0;
    EXPECT_EQ(RareGetRecordCount(t, &n), 0);
    return n;
  }
};

// Run in a child whose address space is capped far below the values asked
// for: an engine that allocated for them would answer -1011 (or die), not
// the refusal.
TEST_F(LongValueTest, ValuesBeyondTheMaximumAreRefusedBeforeAnythingIsAllocated) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves the address space a cap would need";
#else
  t = Open("L");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  // The child writes through the parent's session: the calls it makes touch
  // no storage, only the pending row.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A whole value one byte over the maximum, from pages never touched.
    const size_t huge = size_t{kStorageMax} + 1;
    void* pages = mmap(nullptr, huge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (pages == MAP_FAILED) _exit(10);
    if (!CapAddressSpace(size_t{256} << 20)) _exit(10);
    const char byte = 1;
    int32_t st = RareSetColumn(S, t, cBin, &byte, 1, 1, 0, 0x7FFFFFF0u);
    if (st != DRM_ERR_FIELD_LENGTH) _exit(11);
    std::string why = ExtErr(st);
    if (why.find("'Bin'") == std::string::npos || why.find(std::to_string(kStorageMax)) == std::string::npos) _exit(12);
    if (RareSetColumn(S, t, cBin, &byte, 1, 1, 0, kStorageMax) != DRM_ERR_FIELD_LENGTH) _exit(13);
    if (RareSetColumn(S, t, cBin, pages, static_cast<uint32_t>(huge), 0, 0, 0) != DRM_ERR_FIELD_LENGTH) _exit(14);
    // Refused writes leave the value as it was; the engine still answers.
    if (RareSetColumn(S, t, cBin, &byte, 1, 1, 0, 0) != 0) _exit(15);
    int32_t size = 0;
    if (RareGetBlobSize(t, cBin, &size) != 0 || size != 1) _exit(16);
    // A note is cut to its own size wherever the chunk lands.
    if (RareSetColumn(S, t, cNote, &byte, 1, 1, 0, 0x7FFFFFF0u) != DRM_WARN_BLOB_TRUNCATED) _exit(17);
    // Text ends at its first NUL: a huge buffer holding a short text is fine.
    if (RareSetColumn(S, t, cMemo, pages, static_cast<uint32_t>(huge), 0, 0, 0) != 0) _exit(18);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no mapping or cap, 11: huge offset, 12: its text, 13: offset at the "
                                       "maximum, 14: whole value, 15-16: the value after, 17: note, 18: text";
#endif
}

// With the storage's limit lowered, the refusals are reached with values
// small enough to write in a test, and so are the failures of the write
// itself that used to store NULL and answer 0.
TEST_F(LongValueTest, ARecordTheStorageCannotTakeIsRefusedAndKeepsItsPendingRow) {
  LowerLimit("16384");
  t = Open("L");
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  const std::string big(20000, 'b'), half(10000, 'h');
  int32_t st = RareSetColumn(S, t, cBin, big.data(), static_cast<uint32_t>(big.size()), 0, 0, 0);
  EXPECT_EQ(st, DRM_ERR_FIELD_LENGTH);
  EXPECT_NE(ExtErr(st).find("16384"), std::string::npos) << ExtErr(st);
  EXPECT_EQ(RareSetColumn(S, t, cBin, half.data(), 1000, 1, 0, 16000), DRM_ERR_FIELD_LENGTH);

  // Each value fits; together they are more than a record may be.
  ASSERT_EQ(RareSetColumn(S, t, cBin, half.data(), static_cast<uint32_t>(half.size()), 0, 0, 0), 0);
  ASSERT_EQ(RareSetColumn(S, t, cMemo, half.data(), static_cast<uint32_t>(half.size()), 0, 0, 0), 0);
  st = RareUpdateRecord(S, t);
  EXPECT_EQ(st, DRM_ERR_RECORD_TOO_LONG);
  EXPECT_NE(ExtErr(st).find("table 'L'"), std::string::npos) << ExtErr(st);
  EXPECT_EQ(Count(), 0u);
  EXPECT_EQ(BlobSize(cBin), 10000);  // the pending row is intact
  ASSERT_EQ(SetNull(t, cMemo), 0);
  ASSERT_EQ(RareUpdateRecord(S, t), 0);
  std::string back(half.size(), '\0');
  uint32_t len = 0;
  ASSERT_EQ(RareRetrieveColumn(S, t, cBin, back.data(), static_cast<uint32_t>(back.size()), &len, nullptr), 0);
  EXPECT_EQ(len, half.size());
  EXPECT_EQ(back, half);

  // A value of an ordinary column the storage refuses is not stored as NULL.
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_NEW), 0);
  ASSERT_EQ(SetText(t, cText, big), 0);  // within the column's own size
  st = RareUpdateRecord(S, t);
  EXPECT_EQ(st, DRM_ERR_FIELD_LENGTH);
  EXPECT_NE(ExtErr(st).find("'Text'"), std::string::npos) << ExtErr(st);
  EXPECT_EQ(Count(), 1u);
  ASSERT_EQ(RareCancelUpdate(S, t), 0);

  // The same holds for an edit of a stored record.
  ASSERT_EQ(RareMove(S, t, DRM_MOVE_FIRST), 0);
  ASSERT_EQ(RareInitUpdate(S, t, DRM_INITUPD_CURRENT), 0);
  ASSERT_EQ(SetText(t, cText, big), 0);
  EXPECT_EQ(RareUpdateRecord(S, t), DRM_ERR_FIELD_LENGTH);
  ASSERT_EQ(RareCancelUpdate(S, t), 0);
  EXPECT_EQ(ReadText(t, cText), "<null>");
  EXPECT_EQ(BlobSize(cBin), 10000);
}
