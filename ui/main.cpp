// orvenna: the desktop screen recorder. It reads no command-line arguments but --version and
// --help.
#include <QApplication>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "generated/Version.h"
#include "platform/StandardStreams.h"
#include "platform/screencast/KeptChoice.h"
#include "ui/About2.h"
#include "ui/AppIcon.h"
#include "ui/DesktopPlatform.h"
#include "ui/OptDlg.h"
#include "ui/StopSignals.h"
#include "ui/Unit1.h"

namespace {

// Qt ends the process with exit() when its connection to the X server breaks (the X server
// died or the session ended). A recording in progress is then stopped and saved, as the Stop
// button would, with no window shown, before the process ends.
orvenna::QtShell* shellAtExit = nullptr;
orvenna::TfrmMain* mainWindowAtExit = nullptr;

void SaveRecordingAtExit() {
  if (mainWindowAtExit == nullptr) return;
  shellAtExit->LoseDisplay();
  if (!mainWindowAtExit->SaveRecordingBeforeExit(shellAtExit->ServingAnotherThread())) {
    std::cerr << "orvenna: the display went away; the next start keeps any recording\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvenna;
  OpenStandardStreams();
  // A connection that breaks (the X server died, a reader of the messages went away) must fail
  // the write, not end the process: the recording in progress is still to be saved.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {  // needs no display
    std::cout << "orvenna " << kVersion << "\n";
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << "usage: orvenna [--version | --help]\n"
                 "Opens the screen recorder's window; every setting is made there. To record "
                 "from the command line, see orvenna-cli --help.\n";
    return 0;
  }
  std::string error;
  const std::optional<ScreenKind> kind = ScreenKindOfEnvironment("", error);
  if (!kind) {
    std::cerr << "orvenna: " << error << "\n";
    return 1;
  }
  std::unique_ptr<X11Screen> x11;
  if (*kind == ScreenKind::X11) {
    x11 = X11Screen::Open("", error);
    if (!x11) {
      std::cerr << "orvenna: " << error
                << "\norvenna: it needs an X display; to record without one, run orvenna-cli on a "
                   "virtual display (see scripts/run.sh)\n";
      return 1;
    }
  }
  // The recorder grabs and watches the X display, so its own windows live there too; on a
  // Wayland desktop they are the desktop's own native windows.
  qputenv("QT_QPA_PLATFORM", *kind == ScreenKind::X11 ? "xcb" : "wayland");
  int argumentCount = 1;  // the program's name only: arguments are not read
  QApplication application(argumentCount, argv);
  QApplication::setApplicationName(QStringLiteral("Orvenna ") + QLatin1String(kVersion));
  QApplication::setWindowIcon(AppIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("example.orvenna.Orvenna"));

  const std::unique_ptr<DesktopPlatform> desktop =
      x11 ? std::make_unique<DesktopPlatform>(std::move(x11))
          : std::make_unique<DesktopPlatform>(std::make_unique<PortalScreen>(
                PortalScreen::Options{.keptChoicePath = DefaultKeptChoicePath()}));
  // The windows are made in this order and kept for the whole run: the main window (which
  // makes the engine), the options dialog, the about box.
  TfrmMain frmMain(desktop->Services(), desktop->Recorded());
  desktop->Shell().SetMainWindow(&frmMain);
  TfrmOption frmOption(frmMain);
  frmMain.SetOptionsDialog(&frmOption);
  TForm2 form2;
  frmMain.SetAboutBox(&form2);
  frmMain.OnClosed = [] { QCoreApplication::quit(); };
  StopSignals stopSignals;
  stopSignals.OnSignal = [&frmMain] { frmMain.StopAndClose(); };
  frmMain.show();
  shellAtExit = &desktop->Shell();
  mainWindowAtExit = &frmMain;
  std::atexit(SaveRecordingAtExit);
  const int status = QApplication::exec();
  mainWindowAtExit = nullptr;  // the windows and the engine end with this function
  return status;
}
