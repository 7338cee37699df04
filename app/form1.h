#pragma once
// TForm1, the export window's logic without a toolkit: the three edit texts
// with their defaults, the two tables it owns, and what "Go!" and "Quit" do.
// The Qt window (form1_window.h) shows it; the headless program uses it
// without a window. Both run the export through Go or Run, never a copy.
//
// Presses during a run: "Go!" is ignored while a run is in progress (one
// run at a time); "Quit" asks the run to stop at its next status text, and
// the window closes once the run has ended, so a closed window never hides
// a run that goes on.

#include <functional>
#include <string>

#include "app/company_export.h"
#include "platform/desktop/application.h"

namespace dac {
class TPvTable;
}

namespace quillbox {

inline constexpr const char* kDefaultLocation = "S:\\ORVANE\\DATA\\SQLTABLE";
inline constexpr const char* kDefaultNameList = "\\orvane\\quillbox\\companies.csv";
inline constexpr const char* kDefaultAgencyCode = "01";
inline constexpr const char* kIdleStatus = "Click Go to Go!";

class TForm1 : public dac::TForm, private IExportProgress {
 public:
  TForm1();

  // The edit texts: edtDSN, edtPath, edtAgyCode.
  std::string DSN;
  std::string Path;
  std::string AgyCode;
  // Where the coded list goes (the current directory's cmplist.csv).
  std::string CodedList = kCodedListFile;

  dac::TPvTable* tblCmp() const { return FCmp; }
  dac::TPvTable* tblSub() const { return FSub; }
  const std::string& Status() const { return FStatus; }
  bool Running() const { return FRunning; }
  const TExportCounts& LastCounts() const { return FCounts; }

  // The status line changed; the view shows it and repaints.
  std::function<void(const std::string&)> OnStatus;
  // The window is to close.
  std::function<void()> OnClose;

  // "Go!": runs the export unless one is running; a failure goes to the
  // application's error display and leaves the window open.
  void Go();
  // "Quit": closes the window when idle, otherwise asks the run to stop and
  // closes it when the run has ended.
  void Quit();
  // The run itself: raises its failure. The window closes at its end.
  void Run();

  void AfterConstruction() override;

 private:
  void ShowStatus(const std::string& Text) override;
  bool StopRequested() const override { return FStopRequested; }
  void Close();

  dac::TPvTable* FCmp = nullptr;
  dac::TPvTable* FSub = nullptr;
  std::string FStatus = kIdleStatus;
  bool FRunning = false;
  bool FStopRequested = false;
  TExportCounts FCounts;
};

}  // namespace quillbox
