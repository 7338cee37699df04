#pragma once
// The program's command line and its run without a window.
//
//   quillbox-companies [--headless] [--dsn LOCATION] [--output PATH] [--agency CODE]
//
// The options give the edit texts their starting values; --headless runs
// the export at once, without a window, through the same TForm1::Run.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillbox {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCommandLine {
  bool Headless = false;
  bool Help = false;
  std::optional<std::string> DSN;
  std::optional<std::string> Output;
  std::optional<std::string> Agency;
};

// Raises TUsageError for an unknown option, a missing value, a repeated
// option or an agency code longer than the two characters its edit holds.
TCommandLine ParseCommandLine(const std::vector<std::string>& Arguments);
const char* UsageText();

// Status texts on a terminal or into a log. Each status is a line, except
// the per-parent "Applying SubFilter (...)" texts: a terminal sees them
// rewritten in place at most ten times a second, a log one line with the
// count of parents done at most every ten seconds.
class TProgressDisplay {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  TProgressDisplay(std::ostream& Out, bool Terminal, TClock Clock = std::chrono::steady_clock::now);
  void Show(const std::string& Status);
  // Ends a line rewritten in place.
  void Finish();

 private:
  void ShowParent(const std::string& Status);

  std::ostream& FOut;
  bool FTerminal;
  TClock FClock;
  int64_t FParents = 0;
  bool FLineOpen = false;
  std::optional<std::chrono::steady_clock::time_point> FLastParentLine;
};

// Runs the export without a window: progress and failures on Err, where
// both files went and their line counts on Out. The exit status: 0 both
// files written, 1 the run failed.
int RunHeadless(const TCommandLine& Options, std::ostream& Out, std::ostream& Err, bool ErrIsTerminal);

}  // namespace quillbox
