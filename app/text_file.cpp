#include "app/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/rtl/exceptions.h"

namespace quillbox {
namespace {

// What is buffered before a write reaches the system even without Flush.
constexpr size_t kBufferLimit = 64 * 1024;

}  // namespace

TTextFile::~TTextFile() {
  if (FHandle < 0) return;
  if (!FBuffer.empty()) (void)::write(FHandle, FBuffer.data(), FBuffer.size());
  ::close(FHandle);
}

void TTextFile::Fail(const char* What, int ErrorCode) const {
  throw dac::EInOutError(std::string("Cannot ") + What + " file \"" + FPath + "\": " + std::strerror(ErrorCode));
}

void TTextFile::Rewrite(const std::string& Path) {
  Close();
  FPath = Path;
  FHandle = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (FHandle < 0) Fail("create", errno);
}

void TTextFile::Write(const std::string& Text) {
  if (FHandle < 0) Fail("write to", EBADF);
  FBuffer.append(Text);
  if (FBuffer.size() >= kBufferLimit) Flush();
}

void TTextFile::WriteLine(const std::string& Text) {
  Write(Text);
  Write("\r\n");
}

void TTextFile::Flush() {
  if (FHandle < 0) Fail("flush", EBADF);
  size_t done = 0;
  while (done < FBuffer.size()) {
    const ssize_t n = ::write(FHandle, FBuffer.data() + done, FBuffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      FBuffer.erase(0, done);
      Fail("write to", error);
    }
    done += static_cast<size_t>(n);
  }
  FBuffer.clear();
}

void TTextFile::Close() {
  if (FHandle < 0) return;
  Flush();
  const int handle = FHandle;
  FHandle = -1;
  if (::close(handle) != 0) Fail("close", errno);
}

}  // namespace quillbox
