// quillbox-companies: the company-list export. With a display it shows the
// window; with --headless (or built without Qt) it runs the export at once.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/headless.h"
#include "sessions/session_list.h"

#ifdef QUILLBOX_WITH_WINDOW
#include <QApplication>

#include "app/form1_window.h"
#include "platform/desktop/qt/qt_desktop_services.h"
#endif

namespace {

#ifdef QUILLBOX_WITH_WINDOW
int RunWindow(const quillbox::TCommandLine& Options, int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QString::fromUtf8(quillbox::kWindowTitle));
  dac::InstallQtDesktopServices();
  int status = 0;
  {
    quillbox::TForm1Window window;
    if (Options.DSN) window.edtDSN()->setText(QString::fromStdString(*Options.DSN));
    if (Options.Output) window.edtPath()->setText(QString::fromStdString(*Options.Output));
    if (Options.Agency) window.edtAgyCode()->setText(QString::fromStdString(*Options.Agency));
    window.show();
    status = QApplication::exec();
  }
  dac::UninstallQtDesktopServices();
  return status;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  quillbox::TCommandLine options;
  try {
    options = quillbox::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const quillbox::TUsageError& e) {
    std::cerr << "quillbox-companies: " << e.what() << '\n' << quillbox::UsageText();
    return quillbox::kExitUsage;
  }
  if (options.Help) {
    std::cout << quillbox::UsageText();
    return quillbox::kExitDone;
  }
  dac::InitializeSessions();
  int status = quillbox::kExitDone;
#ifdef QUILLBOX_WITH_WINDOW
  if (!options.Headless)
    status = RunWindow(options, argc, argv);
  else
#endif
    status = quillbox::RunHeadless(options, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
  dac::FinalizeSessions();
  return status;
}
