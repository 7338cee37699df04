#include "app/form1.h"

#include "platform/rtl/scope_guard.h"
#include "tables/pv_table.h"

namespace quillbox {

TForm1::TForm1() : DSN(kDefaultLocation), Path(kDefaultNameList), AgyCode(kDefaultAgencyCode) {}

void TForm1::AfterConstruction() {
  dac::TForm::AfterConstruction();
  SetName("Form1");
  FCmp = dac::Create<dac::TPvTable>(this);
  FCmp->SetName("tblCmp");
  FSub = dac::Create<dac::TPvTable>(this);
  FSub->SetName("tblSub");
}

void TForm1::ShowStatus(const std::string& Text) {
  FStatus = Text;
  if (OnStatus) OnStatus(Text);
  dac::Application()->ProcessMessages();
}

void TForm1::Run() {
  if (FRunning) return;
  FRunning = true;
  FStopRequested = false;
  bool finished = false;
  {
    dac::Finally idle([this] { FRunning = false; });
    // A run that Quit stopped closes the window once it has ended.
    dac::Finally closeWhenStopped([&] {
      if (FStopRequested && !finished) Close();
    });
    FCounts = RunCompanyExport(TExportSettings{DSN, Path, AgyCode, CodedList}, FCmp, FSub, *this);
    finished = true;
  }
  Close();
}

void TForm1::Go() {
  if (FRunning) return;
  try {
    Run();
  } catch (...) {
    dac::Application()->HandleException(this);
  }
}

void TForm1::Quit() {
  if (FRunning) {
    FStopRequested = true;
    return;
  }
  Close();
}

void TForm1::Close() {
  if (OnClose) OnClose();
}

}  // namespace quillbox
