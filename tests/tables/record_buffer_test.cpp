// What a record buffer holds between fetches and how it is released: the
// blob-cache slots own their copies, a slot reused by the next record keeps
// nothing of the previous one, and freeing a table never throws or leaks
// even when the trace cannot be written.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "errors/trace.h"
#include "support/table_fixture.h"

namespace {

using namespace dac;
using tabletest::B;
using tabletest::Bytes;
using tabletest::Row;

class TPvDataSetBuffers : public tabletest::TableTest {
 protected:
  void TearDown() override {
    TraceReset();
    TableTest::TearDown();
  }
  // Id and a long binary value.
  void BlobTable() {
    auto ids = Create("Blobs", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                                {"Data", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY), 0}});
    Insert("Blobs", ids, {Row{B(int32_t{1}), Bytes{1, 2, 3}}, Row{B(int32_t{2}), Bytes{4}}});
  }
};

TEST_F(TPvDataSetBuffers, BlobCacheSlotsOwnTheirCopies) {
  BlobTable();
  auto t = Table("Blobs");
  t->Open();
  TField* data = t->FieldByName("Data");
  const std::vector<uint8_t> bytes(1024, 7);
  t->PutCachedBlob(data, t->ActiveBuffer(), &bytes);
  ASSERT_NE(t->GetCachedBlob(data, t->ActiveBuffer()), nullptr);
  EXPECT_EQ(*t->GetCachedBlob(data, t->ActiveBuffer()), bytes);
  // Switched off after a value was cached: clearing still releases it (the
  // sanitizer build reports a leak otherwise).
  t->SetCacheBlobs(false);
  t->ClearBlobCache(t->ActiveBuffer());
  EXPECT_EQ(t->GetCachedBlob(data, t->ActiveBuffer()), nullptr);
  // While caching is off nothing is stored.
  t->PutCachedBlob(data, t->ActiveBuffer(), &bytes);
  EXPECT_EQ(t->GetCachedBlob(data, t->ActiveBuffer()), nullptr);
  // Only the active buffer caches.
  t->SetCacheBlobs(true);
  t->PutCachedBlob(data, t->Buffers(1), &bytes);
  EXPECT_EQ(t->GetCachedBlob(data, t->Buffers(1)), nullptr);
  // A cached copy left in a buffer is released when the table closes.
  t->PutCachedBlob(data, t->ActiveBuffer(), &bytes);
  t->Close();
}

TEST_F(TPvDataSetBuffers, FreeingATableSurvivesAFailingTrace) {
  BlobTable();
  for (const bool fileOpen : {false, true}) {
    SCOPED_TRACE(fileOpen ? "trace file on a full device" : "trace switched on without a file");
    auto t = Table("Blobs");
    t->Open();
    const std::vector<uint8_t> bytes(64, 1);
    t->PutCachedBlob(t->FieldByName("Data"), t->ActiveBuffer(), &bytes);
    if (fileOpen) TraceOpenFile("/dev/full");
    Trace1590Open = true;
    // Ends the table through Free(): it must neither terminate the process
    // nor leave a record buffer or a cached blob behind.
    t.reset();
    TraceReset();
  }
}

TEST_F(TPvDataSetBuffers, AVariableBinarySlotKeepsNothingOfThePreviousRecord) {
  auto ids = Create("Var", {{"Id", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4},
                            {"V", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_VARBINARY), 8}});
  Insert("Var", ids,
         {Row{B(int32_t{1}), Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}}, Row{B(int32_t{2}), Bytes{'x', 'y'}}});
  auto t = Table("Var");
  t->Open();
  TField* v = t->FieldByName("V");
  for (int pass = 0; pass < 2; ++pass) {
    t->First();
    t->Next();
    std::vector<uint8_t> slot(static_cast<size_t>(t->GetColumnCatalog()->Items(1)->RealDataSize) + 8, 0xEE);
    ASSERT_TRUE(t->GetFieldData(v, slot.data()));
    EXPECT_EQ(slot[0], 'x');
    EXPECT_EQ(slot[1], 'y');
    for (size_t i = 2; i < t->GetColumnCatalog()->Items(1)->RealDataSize; ++i) EXPECT_EQ(slot[i], 0) << i;
  }
}

TEST_F(TPvDataSetBuffers, UnsignedThirtyTwoBitValuesReadWhole) {
  auto ids = Create("U32", {{"U", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT32), 4}});
  Insert("U32", ids, {Row{B(uint32_t{4000000000u})}, Row{B(uint32_t{7})}});
  auto t = Table("U32");
  t->Open();
  TField* u = t->FieldByName("U");
  EXPECT_EQ(u->DataType(), ftLargeint);
  EXPECT_EQ(u->AsLargeInt(), 4000000000LL);
  t->Next();
  EXPECT_EQ(u->AsLargeInt(), 7);
}

}  // namespace

namespace {

using namespace dac;

class TPvDataSetTrace : public tabletest::TableTest {
 protected:
  void TearDown() override {
    TraceReset();
    TableTest::TearDown();
  }
};

TEST_F(TPvDataSetTrace, OpeningAndWalkingWriteTheCoreEntries) {
  NumberTable("Nums", {1, 2});
  const std::string path = root + "/trace.txt";
  TraceOpenFile(path);
  Trace1590Open = true;
  {
    auto t = Table("Nums");
    t->Open();
    t->Next();
  }
  TraceReset();
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* meth : {"TPvDataSet.OpenDatabase", "TPvDataSet.HasConstraints", "TPvDataSet.DoFiltering"})
    EXPECT_NE(text.find(std::string("<diag type=\"1590_open\" meth=\"") + meth + "\">"), std::string::npos) << meth;
}

}  // namespace
