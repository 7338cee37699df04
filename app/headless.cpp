#include "app/headless.h"


#include <filesystem>

#include "app/form1.h"
#include "platform/rtl/exceptions.h"

namespace quillbox {
namespace {

const char* const kParentStatus = "Applying SubFilter (";

// Characters, not bytes: the edit counts what the operator typed.
size_t CharacterCount(const std::string& Text) {
  size_t count = 0;
  for (char ch : Text)
    if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++count;
  return count;
}

void TakeValue(std::optional<std::string>& Slot, const std::string& Option, const std::vector<std::string>& Arguments,
               size_t& At) {
  if (Slot) throw TUsageError(Option + " is given twice");
  if (At + 1 >= Arguments.size()) throw TUsageError(Option + " needs a value");
  Slot = Arguments[++At];
}

std::string AbsolutePath(const std::string& Path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(Path, error);
  return error ? Path : absolute.lexically_normal().string();
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& Arguments) {
  TCommandLine options;
  for (size_t at = 0; at < Arguments.size(); ++at) {
    const std::string& a = Arguments[at];
    if (a == "--headless")
      options.Headless = true;
    else if (a == "--help" || a == "-h")
      options.Help = true;
    else if (a == "--dsn")
      TakeValue(options.DSN, a, Arguments, at);
    else if (a == "--output")
      TakeValue(options.Output, a, Arguments, at);
    else if (a == "--agency")
      TakeValue(options.Agency, a, Arguments, at);
    else
      throw TUsageError("unknown argument '" + a + "'");
  }
  if (options.Agency && CharacterCount(*options.Agency) > 2)
    throw TUsageError("--agency takes at most 2 characters, not '" + *options.Agency + "'");
  return options;
}

const char* UsageText() {
  return "usage: quillbox-companies [--headless] [--dsn LOCATION] [--output PATH] [--agency CODE]\n"
         "  --headless  run the export at once, without the window\n"
         "  --dsn       the database location (default S:\\ORVANE\\DATA\\SQLTABLE)\n"
         "  --output    the name list (default \\orvane\\quillbox\\companies.csv); cmplist.csv goes\n"
         "              to the current directory\n"
         "  --agency    the agency code, at most 2 characters (default 01)\n";
}

TProgressDisplay::TProgressDisplay(std::ostream& Out, bool Terminal, TClock Clock)
    : FOut(Out), FTerminal(Terminal), FClock(std::move(Clock)) {}

void TProgressDisplay::Show(const std::string& Status) {
  if (Status.rfind(kParentStatus, 0) == 0) {
    ShowParent(Status);
    return;
  }
  Finish();
  FOut << Status << '\n' << std::flush;
}

void TProgressDisplay::ShowParent(const std::string& Status) {
  ++FParents;
  const auto now = FClock();
  const auto interval = FTerminal ? std::chrono::milliseconds(100) : std::chrono::milliseconds(10000);
  if (FLastParentLine && now - *FLastParentLine < interval) return;
  FLastParentLine = now;
  const std::string line = Status + ": " + std::to_string(FParents) + " parents so far";
  if (FTerminal) {
    FOut << '\r' << line << "\x1b[K" << std::flush;
    FLineOpen = true;
  } else {
    FOut << line << '\n' << std::flush;
  }
}

void TProgressDisplay::Finish() {
  if (FLineOpen) FOut << '\n' << std::flush;
  FLineOpen = false;
}

int RunHeadless(const TCommandLine& Options, std::ostream& Out, std::ostream& Err, bool ErrIsTerminal) {
  TProgressDisplay progress(Err, ErrIsTerminal);
  dac::TFreePtr<TForm1> form = dac::CreateUnowned<TForm1>();
  if (Options.DSN) form->DSN = *Options.DSN;
  if (Options.Output) form->Path = *Options.Output;
  if (Options.Agency) form->AgyCode = *Options.Agency;
  form->OnStatus = [&](const std::string& Status) { progress.Show(Status); };
  try {
    form->Run();
  } catch (const dac::Exception& e) {
    progress.Finish();
    Err << "quillbox-companies: " << e.Message() << '\n';
    return kExitFailed;
  } catch (const std::exception& e) {
    progress.Finish();
    Err << "quillbox-companies: " << e.what() << '\n';
    return kExitFailed;
  }
  progress.Finish();
  const TExportCounts& counts = form->LastCounts();
  Err << "Done: " << counts.Parents << " parents, " << counts.Subsidiaries << " subsidiaries\n";
  Out << LocalOutputPath(form->Path) << ": " << counts.NameListLines << " lines\n"
      << AbsolutePath(form->CodedList) << ": " << counts.CodedListLines << " lines\n";
  return kExitDone;
}

}  // namespace quillbox
