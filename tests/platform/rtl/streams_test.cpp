#include "platform/rtl/streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/rtl/exceptions.h"

namespace dac {
namespace {

// Delivers at most 3 bytes per Read and has a size of its own choosing at
// origin 2, the way a blob stream does.
class TTrickleStream : public TStream {
 public:
  explicit TTrickleStream(std::string data) : FData(std::move(data)) {}
  int32_t Read(void* buffer, int32_t count) override {
    int32_t n = std::min<int32_t>({count, 3, static_cast<int32_t>(FData.size()) - FPos});
    if (n <= 0) return 0;
    std::memcpy(buffer, FData.data() + FPos, static_cast<size_t>(n));
    FPos += n;
    return n;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    ++seeks;
    if (origin == soBeginning) FPos = static_cast<int32_t>(offset);
    if (origin == soCurrent) FPos += static_cast<int32_t>(offset);
    if (origin == soEnd) FPos = static_cast<int32_t>(static_cast<int64_t>(FData.size()) - offset);
    return FPos;
  }
  int seeks = 0;

 private:
  std::string FData;
  int32_t FPos = 0;
};

TEST(StreamTest, MemoryReadWriteSeek) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.Position(), 5);
  EXPECT_EQ(m.Seek(-2, soEnd), 3);
  m.WriteBuffer("LOWORLD", 7);
  EXPECT_EQ(m.Size(), 10);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 10), "helLOWORLD");
  m.SetPosition(12);  // beyond the end: a write fills the gap with zeros
  m.WriteBuffer("!", 1);
  EXPECT_EQ(m.Size(), 13);
  EXPECT_EQ(m.Memory()[10], 0);
  char buf[4] = {};
  EXPECT_EQ(m.Read(buf, 4), 0);
  EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
  EXPECT_EQ(m.Position(), 13);
  m.SetSize(4);
  m.SetPosition(1);
  try {
    m.ReadBuffer(buf, 4);  // only 3 left
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(StreamTest, ReadBufferCollectsPartialReadsAndSizeSeeksBack) {
  TTrickleStream t("abcdefgh");
  t.SetPosition(1);
  EXPECT_EQ(t.Size(), 8);
  EXPECT_EQ(t.Position(), 1);  // Size went to the end and back
  char buf[8] = {};
  t.ReadBuffer(buf, 7);
  EXPECT_EQ(std::string(buf, 7), "bcdefgh");
  EXPECT_THROW(t.WriteBuffer("x", 1), EWriteError);
}

TEST(StreamTest, CopyFrom) {
  TTrickleStream src("0123456789");
  TMemoryStream dst;
  src.SetPosition(7);
  EXPECT_EQ(dst.CopyFrom(&src, 0), 10);  // 0: the whole source from its start
  EXPECT_EQ(dst.Size(), 10);
  src.SetPosition(2);
  dst.Clear();
  EXPECT_EQ(dst.CopyFrom(&src, 3), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(dst.Memory()), 3), "234");
  EXPECT_THROW(dst.CopyFrom(&src, 100), EReadError);
}

TEST(StreamTest, FileStreamRoundTripAndErrors) {
  std::string path = testing::TempDir() + "rtl_stream_" + std::to_string(::getpid()) + ".bin";
  {
    TFileStream f(path, fmCreate);
    f.WriteString("line one\n");
    EXPECT_EQ(f.Size(), 9);
    f.SetSize(4);
    EXPECT_EQ(f.Position(), 4);
  }
  TMemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(m.Size(), 4);
  {
    TFileStream f(path, fmOpenRead);
    EXPECT_EQ(f.ReadString(100), "line");
    EXPECT_EQ(f.Write("x", 1), -1);  // read-only handle
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  }
  ::unlink(path.c_str());
  try {
    TFileStream f(path, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    std::string msg = e.what();
    EXPECT_NE(msg.find(path), std::string::npos);
    EXPECT_NE(msg.find("No such file"), std::string::npos);
  }
  EXPECT_THROW(TFileStream(testing::TempDir(), fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(path + "/no/such/dir/x", fmCreate), EFCreateError);
}

}  // namespace
}  // namespace dac
