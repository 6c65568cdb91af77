#include "platform/qt/QtShell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <type_traits>
#include <utility>

namespace orvenna {
namespace {

bool OnUiThreadNow() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

// Runs `work` on the UI thread and returns its result: directly when already there, otherwise
// through the UI thread's event loop, blocking the calling thread until the work is done.
// Once the display is lost the work is skipped and the result is a value-initialised one
// (no, false, nothing), also for work that was already waiting for the UI thread.
template <typename Work>
auto QtShell::RunOnUiThread(Work work) -> decltype(work()) {
  using Result = decltype(work());
  if (OnUiThreadNow()) return displayLost_ ? Result() : work();
  auto unlessLost = [this, &work]() -> Result {
    if (displayLost_) return Result();
    struct Serving {
      int& count;
      explicit Serving(int& running) : count(running) { ++count; }
      ~Serving() { --count; }
    } serving(servingAnotherThread_);
    return work();
  };
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), unlessLost,
                              Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&result, &unlessLost] { result = unlessLost(); },
        Qt::BlockingQueuedConnection);
    return result;
  }
}

QtShell::QtShell() = default;

QtShell::~QtShell() {
  if (mainWindow_) mainWindow_->removeEventFilter(&watcher_);
}

void QtShell::SetMainWindow(QWidget* window) {
  if (mainWindow_) mainWindow_->removeEventFilter(&watcher_);
  mainWindow_ = window;
  if (mainWindow_) mainWindow_->installEventFilter(&watcher_);
}

bool QtShell::MinimizeWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowStateChange && watched == shell_.mainWindow_) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool nowMinimized = shell_.mainWindow_->windowState().testFlag(Qt::WindowMinimized);
    const bool wasMinimized = change->oldState().testFlag(Qt::WindowMinimized);
    if (nowMinimized && !wasMinimized && shell_.OnApplicationMinimized) {
      shell_.OnApplicationMinimized();
    }
  }
  return false;
}

void QtShell::PostToUiThread(std::function<void()> work) {
  if (!work) return;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, work = std::move(work)] {
        if (!displayLost_) work();
      },
      Qt::QueuedConnection);
}

bool QtShell::IsUiThread() const {
  return OnUiThreadNow();
}

void QtShell::ProcessEventsUntil(const std::function<bool()>& done) {
  constexpr int kPollMilliseconds = 5;
  if (!OnUiThreadNow()) {
    while (!done()) QThread::msleep(kPollMilliseconds);
    return;
  }
  if (displayLost_) {
    // The event loop would end the process again on the broken connection: only the work that
    // other threads hand to this thread is served (and skipped), so that none of them waits
    // for ever.
    while (!done()) {
      QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
      QThread::msleep(kPollMilliseconds);
    }
    return;
  }
  // `done` may turn true without any event reaching this thread: the timer wakes the wait at
  // least every few ms. A loop of our own rather than a nested QEventLoop, which a quitting
  // application would end before `done` holds.
  QTimer wake;
  wake.start(kPollMilliseconds);
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtShell::LoseDisplay() {
  displayLost_ = true;
}

void QtShell::MinimizeApplication() {
  RunOnUiThread([this] {
    if (mainWindow_) mainWindow_->showMinimized();
  });
}

void QtShell::RestoreApplication() {
  RunOnUiThread([this] {
    if (!mainWindow_) return;
    // Leaves a maximised window maximised, as restoring a minimised application does.
    mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
  });
}

void QtShell::PushBusyCursor() {
  RunOnUiThread([] { QGuiApplication::setOverrideCursor(Qt::WaitCursor); });
}

void QtShell::PopCursor() {
  RunOnUiThread([] { QGuiApplication::restoreOverrideCursor(); });
}

QWidget* QtShell::DialogParent(WindowHandle parent) const {
  return parent != nullptr ? static_cast<QWidget*>(parent) : mainWindow_.data();
}

bool QtShell::AskYesNo(const std::string& caption, const std::string& text) {
  return RunOnUiThread([&] {
    const auto answer =
        QMessageBox::warning(mainWindow_.data(), ToQString(caption), ToQString(text),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return answer == QMessageBox::Yes;
  });
}

void QtShell::ShowInformation(WindowHandle parent, const std::string& caption,
                              const std::string& text) {
  RunOnUiThread(
      [&] { QMessageBox::information(DialogParent(parent), ToQString(caption), ToQString(text)); });
}

int QtShell::ChooseItem(WindowHandle parent, const std::string& caption, const std::string& prompt,
                        const std::vector<std::string>& items, int current) {
  if (items.empty()) return -1;
  return RunOnUiThread([&] {
    if (displayLost_) return -1;
    QStringList list;
    for (const std::string& item : items) list << ToQString(item);
    const int start = std::clamp(current, 0, static_cast<int>(list.size()) - 1);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(DialogParent(parent), ToQString(caption),
                                                 ToQString(prompt), list, start, false, &ok);
    if (!ok) return -1;
    // Equal texts cannot be told apart by the dialog's answer: prefer the starting one.
    if (list[start] == chosen) return start;
    return static_cast<int>(list.indexOf(chosen));
  });
}

std::string QtShell::DocumentsFolder() {
  // QStandardPaths may be used from any thread: no need to wait for the UI thread.
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
  return folder.toStdString();
}

// The desktop's opener (xdg-open) finds the program for the file only after it has started, and
// says it found none by its exit status: that status is waited for, not the start. Where the
// opener is missing, Qt's own ways of opening a file are tried. The opener belongs to the
// application, so that a player it runs in the foreground is not tied to this shell.
void QtShell::OpenWithDefaultProgram(const std::string& path, std::function<void()> failed) {
  RunOnUiThread([&] {
    const QUrl url = QUrl::fromLocalFile(ToQString(path));
    auto* opener = new QProcess(QCoreApplication::instance());
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, url, failed](QProcess::ProcessError error) {
                       if (error != QProcess::FailedToStart) return;
                       if (!QDesktopServices::openUrl(url)) failed();
                       opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int exitCode, QProcess::ExitStatus status) {
                       if (status != QProcess::NormalExit || exitCode != 0) failed();
                       opener->deleteLater();
                     });
    opener->start(QStringLiteral("xdg-open"), {url.toString()});
  });
}

}  // namespace orvenna
