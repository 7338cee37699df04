#include "platform/rtl/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"

namespace dac {

namespace {

std::string SystemReason(int error) { return std::strerror(error); }

// Largest single transfer, so that counts fit the int32_t interface.
constexpr int64_t kMaxChunk = std::numeric_limits<int32_t>::max();

}  // namespace

// ---------------------------------------------------------------------------
// TStream

int64_t TStream::Position() { return Seek(0, soCurrent); }

void TStream::SetPosition(int64_t Value) { Seek(Value, soBeginning); }

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t NewSize) {
  (void)NewSize;
  throw EStreamError(Format("%s does not support changing its size", ClassName()));
}

void TStream::ReadBuffer(void* Buffer, int32_t Count) {
  if (Count < 0) throw EReadError("Stream read error");
  auto* p = static_cast<uint8_t*>(Buffer);
  int32_t done = 0;
  // A stream may deliver less than asked while more is available; only a
  // read that makes no progress is short.
  while (done < Count) {
    int32_t n = Read(p + done, Count - done);
    if (n <= 0) throw EReadError("Stream read error");
    done += n;
  }
}

void TStream::WriteBuffer(const void* Buffer, int32_t Count) {
  if (Count < 0) throw EWriteError("Stream write error");
  const auto* p = static_cast<const uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    int32_t n = Write(p + done, Count - done);
    if (n <= 0) throw EWriteError("Stream write error");
    done += n;
  }
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Source == nullptr) throw EStreamError("No source stream to copy from");
  if (Count < 0) throw EReadError("Stream read error");
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  constexpr int32_t kBufferSize = 64 * 1024;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(Count, kBufferSize)));
  int64_t left = Count;
  while (left > 0) {
    auto n = static_cast<int32_t>(std::min<int64_t>(left, kBufferSize));
    Source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

std::string TStream::ReadString(int32_t Count) {
  if (Count <= 0) return std::string();
  std::string result(static_cast<size_t>(Count), '\0');
  int32_t done = 0;
  while (done < Count) {
    int32_t n = Read(result.data() + done, Count - done);
    if (n <= 0) break;
    done += n;
  }
  result.resize(static_cast<size_t>(done));
  return result;
}

void TStream::WriteString(const std::string& S) {
  size_t done = 0;
  while (done < S.size()) {
    auto n = static_cast<int32_t>(std::min<size_t>(S.size() - done, static_cast<size_t>(kMaxChunk)));
    WriteBuffer(S.data() + done, n);
    done += static_cast<size_t>(n);
  }
}

// ---------------------------------------------------------------------------
// TMemoryStream

int32_t TMemoryStream::Read(void* Buffer, int32_t Count) {
  auto size = static_cast<int64_t>(FData.size());
  if (Count <= 0 || FPosition >= size) return 0;
  auto n = static_cast<int32_t>(std::min<int64_t>(Count, size - FPosition));
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  int64_t end = FPosition + Count;
  if (end > static_cast<int64_t>(FData.size())) FData.resize(static_cast<size_t>(end), 0);
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  switch (Origin) {
    case soBeginning:
      base = 0;
      break;
    case soCurrent:
      base = FPosition;
      break;
    case soEnd:
      base = static_cast<int64_t>(FData.size());
      break;
    default:
      throw EStreamError("Invalid seek origin");
  }
  int64_t pos = base + Offset;
  if (pos < 0) throw EStreamError("Seek before the beginning of the stream");
  FPosition = pos;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  FData.resize(static_cast<size_t>(NewSize), 0);
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  int64_t size = Stream->Size();
  std::vector<uint8_t> data(static_cast<size_t>(size));
  int64_t done = 0;
  while (done < size) {
    auto n = static_cast<int32_t>(std::min<int64_t>(size - done, kMaxChunk));
    Stream->ReadBuffer(data.data() + done, n);
    done += n;
  }
  FData.swap(data);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream* Stream) const {
  size_t done = 0;
  while (done < FData.size()) {
    auto n = static_cast<int32_t>(std::min<size_t>(FData.size() - done, static_cast<size_t>(kMaxChunk)));
    Stream->WriteBuffer(FData.data() + done, n);
    done += static_cast<size_t>(n);
  }
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& AFileName, uint16_t Mode) : FFileName(AFileName) {
  if ((Mode & fmCreate) == fmCreate) {
    FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) {
      throw EFCreateError(Format("Unable to create file \"%s\": %s", AFileName, SystemReason(errno)));
    }
    return;
  }
  int flags = O_CLOEXEC;
  switch (Mode & 0x0003) {
    case fmOpenWrite:
      flags |= O_WRONLY;
      break;
    case fmOpenReadWrite:
      flags |= O_RDWR;
      break;
    default:
      flags |= O_RDONLY;
      break;
  }
  FHandle = ::open(AFileName.c_str(), flags);
  if (FHandle >= 0) {
    // Opening a directory succeeds on this platform but cannot be read as a
    // file.
    struct stat st {};
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      errno = EISDIR;
    }
  }
  if (FHandle < 0) {
    throw EFOpenError(Format("Unable to open file \"%s\": %s", AFileName, SystemReason(errno)));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int32_t TFileStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  for (;;) {
    ssize_t n = ::read(FHandle, Buffer, static_cast<size_t>(Count));
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno != EINTR) return -1;
  }
}

int32_t TFileStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  for (;;) {
    ssize_t n = ::write(FHandle, Buffer, static_cast<size_t>(Count));
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno != EINTR) return -1;
  }
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = SEEK_SET;
  switch (Origin) {
    case soBeginning:
      whence = SEEK_SET;
      break;
    case soCurrent:
      whence = SEEK_CUR;
      break;
    case soEnd:
      whence = SEEK_END;
      break;
    default:
      throw EStreamError("Invalid seek origin");
  }
  off_t pos = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (pos < 0) {
    throw EStreamError(Format("Seek failed on \"%s\": %s", FFileName, SystemReason(errno)));
  }
  return static_cast<int64_t>(pos);
}

void TFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) {
    int error = NewSize < 0 ? EINVAL : errno;
    throw EStreamError(Format("Unable to set the size of \"%s\": %s", FFileName, SystemReason(error)));
  }
  // Keep the position inside the file, as a truncated file expects.
  if (Position() > NewSize) Seek(NewSize, soBeginning);
}

}  // namespace dac
