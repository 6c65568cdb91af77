#include "cli/CliPickers.h"

#include <QApplication>
#include <iostream>
#include <string>

#include "platform/Log.h"

namespace orvenna {
namespace {

void LogQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& text) {
  const std::string line = text.toStdString();
  switch (type) {
    case QtDebugMsg:
      Log(LogLevel::Debug, "qt", line);
      break;
    case QtInfoMsg:
    case QtWarningMsg:
      Log(LogLevel::Info, "qt", line);
      break;
    case QtCriticalMsg:
    case QtFatalMsg:
      std::cerr << "orvenna-cli: Qt: " << line << "\n";
      break;
  }
}

}  // namespace

CliPickers::CliPickers(CliLoop& loop) : loop_(loop) {}

CliPickers::~CliPickers() {
  loop_.SetEventPump(nullptr);
  qt_.reset();
  application_.reset();
}

void CliPickers::Attach(DesktopServices& desktop, ScreenKind kind) {
  if (application_) return;
  // Qt's notes (for instance on the session's runtime folder) go to the diagnostic log, so
  // that the program's own output stays its messages; Qt's fatal errors still show.
  qInstallMessageHandler(&LogQtMessage);
  // The pickers are windows of the desktop the recording is made from.
  const bool x11 = kind == ScreenKind::X11;
  qputenv("QT_QPA_PLATFORM", x11 ? "xcb" : "wayland");
  application_ = std::make_unique<QApplication>(argc_, argv_);
  qt_ = std::make_unique<QtUiFactory>();
  qt_->UsePickersOn(desktop.Services(), desktop.Windows());
  loop_.SetEventPump(&CliPickers::ServeWindowEvents);
}

void CliPickers::ServeWindowEvents() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

std::unique_ptr<RegionPicker> CliPickers::NewFreeHandPicker() {
  return qt_ ? qt_->NewFreeHandPicker() : nullptr;
}

std::unique_ptr<RegionPicker> CliPickers::NewObjectPicker() {
  return qt_ ? qt_->NewObjectPicker() : nullptr;
}

}  // namespace orvenna
