#pragma once
// The company-list run: the parent companies of one agency and, per parent,
// its subsidiaries, read through two table components and written to the
// name list and the coded list. The window and the headless program both
// run exactly this; they differ only in how they show the status texts.

#include <cstdint>
#include <string>

namespace dac {
class TPvTable;
}

namespace quillbox {

// The coded list's name, in the current directory.
inline constexpr const char* kCodedListFile = "cmplist.csv";
inline constexpr const char* kCodedListHeader = "Code,Name, SubCode, SubName, Status";

struct TExportSettings {
  std::string Location;    // the database location, as typed
  std::string NameList;    // the name list's path, as typed (mapped like a location)
  std::string AgencyCode;  // as typed
  std::string CodedList = kCodedListFile;
};

// Where the run reports its progress. ShowStatus sets the status text and
// lets the display catch up (a window repaints); StopRequested is asked
// after each status and ends the run with EAbort when true.
class IExportProgress {
 public:
  virtual ~IExportProgress() = default;
  virtual void ShowStatus(const std::string& Text) = 0;
  virtual bool StopRequested() const { return false; }
};

struct TExportCounts {
  int64_t Parents = 0;
  int64_t Subsidiaries = 0;
  int64_t NameListLines = 0;
  int64_t CodedListLines = 0;  // the header included
};

// The local path of a name-list path as typed: a drive letter through the
// engine's drive map, a rooted path with backslashes on the default drive, a
// path with slashes only as it is. EInOutError when the engine refuses it.
std::string LocalOutputPath(const std::string& Typed);

// Sets a filter text, switches filtering on and leaves the table on its
// first visible record, with one move to the first record, not three (a new
// text on a filtered table and switching filtering on each move there).
void ApplyCompanyFilter(dac::TPvTable* Table, const std::string& Filter);

// Runs the export on the two tables (closed, at their defaults). Failures
// propagate as they happen: the files keep what was written and flushed,
// tblCmp and tblSub stay as the failure left them.
TExportCounts RunCompanyExport(const TExportSettings& Settings, dac::TPvTable* tblCmp, dac::TPvTable* tblSub,
                               IExportProgress& Progress);

}  // namespace quillbox
