#pragma once
// An output text file as the run writes it: created or emptied when opened,
// lines ending in CR LF, written through a buffer that Flush hands to the
// system. Every failure (create, write, flush, close) raises EInOutError
// naming the file and the system's reason at that operation.

#include <string>

namespace quillbox {

class TTextFile {
 public:
  TTextFile() = default;
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;
  // Closes without raising; what was not flushed is written if it can be.
  ~TTextFile();

  void Rewrite(const std::string& Path);
  void Write(const std::string& Text);
  void WriteLine(const std::string& Text = std::string());
  void Flush();
  void Close();
  bool IsOpen() const { return FHandle >= 0; }
  const std::string& Path() const { return FPath; }

 private:
  [[noreturn]] void Fail(const char* What, int ErrorCode) const;

  std::string FPath;
  std::string FBuffer;
  int FHandle = -1;
};

}  // namespace quillbox
