#include "errors/trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "errors/messages.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/text.h"

namespace dac {

bool Trace1590Open = false;
bool TraceOpen = false;
bool TraceLocate = false;
bool TraceGetRecord = false;
bool TraceEdit = false;
bool TraceRefresh = false;
bool TraceDataEvent = false;
bool TraceBlob = false;
bool TraceTiming = false;

namespace {

// The trace state is used from the components' thread only.
struct TTraceState {
  std::FILE* File = nullptr;
  bool OwnsFile = false;
  int64_t SeparatorCounter = 0;
  int64_t CounterFrequency = -1;
  TTraceCounter Counter = nullptr;
  TTimingList TimingList;
};

TTraceState& State() {
  static TTraceState state;
  return state;
}

int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t CounterNow() {
  TTraceState& s = State();
  return s.Counter ? s.Counter() : SteadyNanoseconds();
}

// The counter's ticks per second; the steady clock counts nanoseconds.
double Frequency() {
  int64_t f = State().CounterFrequency;
  return f < 0 ? 1e9 : static_cast<double>(f);
}

std::string FormatSeconds(double secs) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", secs);
  return buffer;
}

std::string StopTimingIn(TTimingList& list, std::string_view text) {
  // A closing line without a timed opening (timing switched on inside an
  // element) is written without a timing element.
  if (list.empty()) return std::string(text);
  TTimingObject& r = *list.front();
  if (!r.subroutineTimingList) {
    // The innermost open element. Its time is its own elapsed time, which
    // already includes the time of the elements nested in it.
    double secs = static_cast<double>(CounterNow() - r.start) / Frequency();
    std::string line = "<timing secs=\"" + FormatSeconds(secs) + "\"/>" + std::string(text);
    r.subroutineSecs = secs;
    --r.level;
    if (r.level == 0) list.erase(list.begin());
    return line;
  }
  std::string line = StopTimingIn(*r.subroutineTimingList, text);
  TTimingList& nested = *r.subroutineTimingList;
  if (nested.empty() || nested.front()->level == r.level) {
    // The nested element has closed: keep its seconds, drop its record.
    if (!nested.empty()) r.subroutineSecs += nested.front()->subroutineSecs;
    r.subroutineTimingList.reset();
  }
  return line;
}

void CloseFile() {
  TTraceState& s = State();
  if (s.File && s.OwnsFile) std::fclose(s.File);
  s.File = nullptr;
  s.OwnsFile = false;
}

bool EnvironmentFlag(const char* value) {
  return SameText(value, "1") || SameText(value, "true") || SameText(value, "yes") || SameText(value, "on");
}

}  // namespace

TTimingList& TraceTimingList() { return State().TimingList; }

void StartTiming(TTimingList& list, int32_t level) {
  if (State().CounterFrequency == 0) return;
  if (list.size() == 1) {
    TTimingObject& r = *list.front();
    if (!r.subroutineTimingList) r.subroutineTimingList = std::make_unique<TTimingList>();
    StartTiming(*r.subroutineTimingList, r.level);
    return;
  }
  auto record = std::make_unique<TTimingObject>();
  record->level = level + 1;
  record->start = CounterNow();
  list.push_back(std::move(record));
}

std::string StopTiming(std::string_view text) {
  if (State().CounterFrequency == 0) return std::string(STimingNotSupported) + std::string(text);
  return StopTimingIn(State().TimingList, text);
}

void TraceWrite(std::string_view text, bool withSeparator) {
  TTraceState& s = State();
  if (!s.File) throw EInOutError(STraceFileNotOpen);
  std::string line(text);
  if (TraceTiming) {
    if (text.size() >= 5 && text.substr(1, 4) == "diag" && text.find(STraceClose) == std::string_view::npos)
      StartTiming(s.TimingList, 0);
    else if (text == STraceClose)
      line = StopTiming(text);
  }
  if (withSeparator) {
    ++s.SeparatorCounter;
    line += STraceSeparator;
    line += IntToStr(s.SeparatorCounter);
    line += STraceSeparatorEnd;
  }
  line += '\n';
  if (std::fwrite(line.data(), 1, line.size(), s.File) != line.size() || std::fflush(s.File) != 0)
    throw EInOutError(STraceWriteFailed);
}

std::string TraceElement(std::string_view type, std::string_view meth) {
  return "<diag type=\"" + std::string(type) + "\" meth=\"" + std::string(meth) + "\">";
}

void SetTraceCounterFrequency(int64_t ticksPerSecond) { State().CounterFrequency = ticksPerSecond; }

int64_t TraceCounterFrequency() { return State().CounterFrequency; }

void SetTraceCounter(TTraceCounter counter) { State().Counter = counter; }

void TraceOpenFile(const std::string& path) {
  CloseFile();
  TTraceState& s = State();
  if (path == "-") {
    s.File = stderr;
    return;
  }
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw EInOutError(Format(STraceOpenFailed, path));
  s.File = f;
  s.OwnsFile = true;
}

void TraceCloseFile() { CloseFile(); }

bool TraceFileIsOpen() { return State().File != nullptr; }

bool TraceConfigureFromEnvironment() {
  const char* kinds = std::getenv("DAC_TRACE");
  const char* timing = std::getenv("DAC_TRACE_TIMING");
  bool withTiming = timing && EnvironmentFlag(timing);
  struct Kind {
    const char* Name;
    bool* Switch;
  };
  const Kind table[] = {{kTrace1590Open, &Trace1590Open}, {kTraceOpen, &TraceOpen},
                        {kTraceLocate, &TraceLocate},     {kTraceGetRecord, &TraceGetRecord},
                        {kTraceEdit, &TraceEdit},         {kTraceRefresh, &TraceRefresh},
                        {kTraceDataEvent, &TraceDataEvent}, {kTraceBlob, &TraceBlob}};
  std::vector<bool*> chosen;
  std::string_view rest = kinds ? kinds : "";
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string word = Trim(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (SameText(word, "all")) {
      for (const Kind& k : table) chosen.push_back(k.Switch);
      withTiming = true;
    } else if (SameText(word, "timing")) {
      withTiming = true;
    } else {
      for (const Kind& k : table)
        if (SameText(word, k.Name)) chosen.push_back(k.Switch);
    }
  }
  if (chosen.empty()) return false;
  const char* file = std::getenv("DAC_TRACE_FILE");
  TraceOpenFile(file && *file ? file : "-");
  for (bool* b : chosen) *b = true;
  if (withTiming) TraceTiming = true;
  return true;
}

void TraceReset() {
  Trace1590Open = TraceOpen = TraceLocate = TraceGetRecord = TraceEdit = false;
  TraceRefresh = TraceDataEvent = TraceBlob = TraceTiming = false;
  CloseFile();
  TTraceState& s = State();
  s.SeparatorCounter = 0;
  s.CounterFrequency = -1;
  s.Counter = nullptr;
  s.TimingList.clear();
}

std::string TraceEscape(std::string_view text) {
  std::string r;
  r.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      default: r += c;
    }
  }
  return r;
}

std::string TraceState(std::string_view name, bool value) {
  return "<state name=\"" + TraceEscape(name) + "\">" + (value ? "true" : "false") + "</state>";
}

std::string TraceStateVal(std::string_view name, std::string_view value) {
  return "<state name=\"" + TraceEscape(name) + "\" val=\"" + TraceEscape(value) + "\" />";
}

std::string TraceDatum(std::string_view name, std::string_view value) {
  return "<datum name=\"" + TraceEscape(name) + "\">" + TraceEscape(value) + "</datum>";
}

void TraceDump(std::string_view label, const std::vector<std::string>& lines) {
  TraceWrite("<dump count=\"" + TraceEscape(label) + "\">");
  for (const std::string& line : lines) TraceWrite(line);
  TraceWrite("</dump>");
}

TTraceScope::TTraceScope(bool enabled, const char* type, const char* meth, bool withSeparator) {
  if (!enabled) return;
  TraceWrite(TraceElement(type, meth), withSeparator);
  FActive = true;
}

TTraceScope::~TTraceScope() {
  if (!FActive) return;
  try {
    TraceWrite(STraceClose);
  } catch (...) {
    // The closing line is best effort: the operation's own outcome matters.
  }
}

}  // namespace dac
