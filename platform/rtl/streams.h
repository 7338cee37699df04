#pragma once
// TStream and its memory and file descendants.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/object.h"

namespace dac {

// Seek origins, numbered 0, 1, 2.
enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  // Reads up to Count bytes into Buffer; returns the number read (0 at the
  // end, -1 when the system reports a failure).
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  // Writes up to Count bytes from Buffer; returns the number written.
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  // Seek(0, soCurrent).
  virtual int64_t Position();
  // Seek(Value, soBeginning).
  virtual void SetPosition(int64_t Value);
  // Seeks to the end and back, so it reaches a descendant's own idea of the
  // end.
  virtual int64_t Size();
  // The base cannot change the size: EStreamError.
  virtual void SetSize(int64_t NewSize);

  // Read/Write that transfer exactly Count bytes or raise EReadError "Stream
  // read error" / EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, int32_t Count);
  void WriteBuffer(const void* Buffer, int32_t Count);
  // Copies Count bytes from Source at its position; Count 0 copies all of
  // Source from its beginning. Returns the number copied. A short source
  // raises EReadError.
  int64_t CopyFrom(TStream* Source, int64_t Count);

  // Convenience: the bytes from the position to the end / write bytes.
  std::string ReadString(int32_t Count);
  void WriteString(const std::string& S);
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  int32_t Read(void* Buffer, int32_t Count) override;
  // Writing beyond the end grows the stream; a gap is zero-filled.
  int32_t Write(const void* Buffer, int32_t Count) override;
  // A position before the beginning raises EStreamError; beyond the end is
  // allowed (reads give 0 bytes, a write fills the gap).
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  // Truncates or zero-extends; the position is kept.
  void SetSize(int64_t NewSize) override;

  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  const std::vector<uint8_t>& Bytes() const { return FData; }
  // Empty, position 0.
  void Clear();
  // Replaces the content with the whole of Stream (from its beginning);
  // position 0.
  void LoadFromStream(TStream* Stream);
  // Writes the whole content to Stream at its position.
  void SaveToStream(TStream* Stream) const;
  // EFOpenError / EFCreateError with the path and the system's reason.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// File open modes. fmCreate creates or truncates the file and opens it for
// reading and writing.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFF00;

// A stream over an operating-system file.
class TFileStream : public TStream {
 public:
  // Opening fails with EFOpenError "Unable to open file \"%s\": %s", creating
  // with EFCreateError "Unable to create file \"%s\": %s" (path, system
  // reason). Share flags are accepted and not enforced.
  TFileStream(const std::string& AFileName, uint16_t Mode);
  ~TFileStream() override;

  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  // A failed seek raises EStreamError with the system's reason.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Truncates or extends the file (EStreamError on failure).
  void SetSize(int64_t NewSize) override;

  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

}  // namespace dac
