#pragma once
// Diagnostic trace log: XML-like lines, one element per traced operation.
//
// Each kind of trace has its own process-wide switch; all start off and the
// component layer never turns one on by itself. With every switch off nothing
// is written or measured and the trace file is never touched.
//
// An emitting operation brackets its work with a TTraceScope:
//
//   TTraceScope trace(TraceBlob, kTraceBlob, "TPvBlobStream.Seek");
//
// which writes <diag type="blob" meth="TPvBlobStream.Seek"> when the switch
// is on, and "</diag>" when the scope ends, also when an exception leaves it.
// With TraceTiming on, the closing line carries the element's elapsed time:
// <timing secs="0.012"/></diag>.
//
// Configuration
//   Programming interface: set the switches below directly, open the file
//   with TraceOpenFile(path) (path "-" writes to standard error) and close it
//   with TraceCloseFile().
//   Environment, read only when the application calls
//   TraceConfigureFromEnvironment() (typically once at start-up):
//     DAC_TRACE_FILE    file that receives the trace (created or truncated);
//                       without it the trace goes to standard error
//     DAC_TRACE         comma-separated kinds to switch on: 1590_open, open,
//                       locate, getRecord, edit, refresh, dataEvent, blob,
//                       timing, or all (every kind and timing); case ignored
//     DAC_TRACE_TIMING  1 (or true/yes/on) also switches timing on
//   Nothing is opened when DAC_TRACE names no kind.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dac {

// The switches, one per kind of entry, and the timing switch.
extern bool Trace1590Open;
extern bool TraceOpen;
extern bool TraceLocate;
extern bool TraceGetRecord;
extern bool TraceEdit;
extern bool TraceRefresh;
extern bool TraceDataEvent;
extern bool TraceBlob;
extern bool TraceTiming;

// Entry types written into the opening element.
inline constexpr const char* kTrace1590Open = "1590_open";
inline constexpr const char* kTraceOpen = "open";
inline constexpr const char* kTraceLocate = "locate";
inline constexpr const char* kTraceGetRecord = "getRecord";
inline constexpr const char* kTraceEdit = "edit";
inline constexpr const char* kTraceRefresh = "refresh";
inline constexpr const char* kTraceDataEvent = "dataEvent";
inline constexpr const char* kTraceBlob = "blob";

// One record of the timing list: an open element being timed.
struct TTimingObject {
  int64_t start = 0;  // counter value at the opening element
  int32_t level = 0;  // nesting level, 1 for the outermost element
  // Records of nested elements, or none.
  std::unique_ptr<std::vector<std::unique_ptr<TTimingObject>>> subroutineTimingList;
  double subroutineSecs = 0;  // seconds of finished nested elements
};
using TTimingList = std::vector<std::unique_ptr<TTimingObject>>;

// Writes one line (and a line end) to the trace file. With TraceTiming on an
// opening "diag" element starts a timing record and a closing "</diag>" is
// preceded by its timing element. With the separator the line is followed by
// a numbered separator comment. Raises EInOutError when the file is not open
// or the write fails.
void TraceWrite(std::string_view text, bool withSeparator = false);

// The opening element: <diag type="TYPE" meth="METH">.
std::string TraceElement(std::string_view type, std::string_view meth);

// Timing. StartTiming adds a record one level below the innermost open one;
// StopTiming closes the innermost and returns the closing line for text.
void StartTiming(TTimingList& list, int32_t level);
std::string StopTiming(std::string_view text);
TTimingList& TraceTimingList();

// Ticks per second of the counter used for timings; 0 means timing is not
// supported (closing lines then carry <timing supported="false"/>). Until
// set, the steady clock's nanosecond resolution is used.
void SetTraceCounterFrequency(int64_t ticksPerSecond);
int64_t TraceCounterFrequency();
// Replaces the counter (for tests); nullptr restores the steady clock.
using TTraceCounter = int64_t (*)();
void SetTraceCounter(TTraceCounter counter);

// The trace file. Opening replaces (and closes) a file opened before.
// Raises EInOutError when the file cannot be created.
void TraceOpenFile(const std::string& path);
void TraceCloseFile();
bool TraceFileIsOpen();

// Sets the switches and the file from the environment (see above). Returns
// true when at least one kind of entry was switched on.
bool TraceConfigureFromEnvironment();

// Every switch off, the file closed, the timing list emptied, the separator
// counter and the counter frequency back to their start values.
void TraceReset();

// Dump lines, written inside an element.
std::string TraceState(std::string_view name, bool value);                    // <state name="N">true</state>
std::string TraceStateVal(std::string_view name, std::string_view value);     // <state name="N" val="V" />
std::string TraceDatum(std::string_view name, std::string_view value);        // <datum name="N">V</datum>
// Writes <dump count="LABEL">, the lines, then </dump>.
void TraceDump(std::string_view label, const std::vector<std::string>& lines);
// Escapes &, <, >, " for use inside an element or attribute.
std::string TraceEscape(std::string_view text);

// Brackets a traced operation. The switch is read once, on entry: when it is
// on the opening element is written at construction and "</diag>" on leaving,
// whether the scope ends normally or by an exception. A failure to write the
// closing line is swallowed (a destructor must not throw).
class TTraceScope {
 public:
  TTraceScope(bool enabled, const char* type, const char* meth, bool withSeparator = false);
  ~TTraceScope();
  TTraceScope(const TTraceScope&) = delete;
  TTraceScope& operator=(const TTraceScope&) = delete;

  bool Active() const { return FActive; }

 private:
  bool FActive = false;
};

}  // namespace dac
