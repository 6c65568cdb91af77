#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "platform/Shell.h"

namespace orvenna {

// The desktop shell on Qt Widgets. Construct and destroy it on the UI thread (the thread of
// the QApplication, which must outlive it); every Shell method may be called from any thread:
// off the UI thread the work is handed to the UI thread's event loop and waited for, so the
// UI thread must keep running its event loop while another thread calls in.
// A WindowHandle passed to this shell is a QWidget* (null: the main window).
class QtShell final : public Shell {
 public:
  QtShell();
  ~QtShell() override;

  // The window that is minimised and restored as "the application" and that owns the message
  // boxes; its minimisation raises OnApplicationMinimized. Null: none (minimise and restore
  // then do nothing). UI thread only.
  void SetMainWindow(QWidget* window);

  // From now on the display is gone (the process is ending on a broken connection): nothing is
  // shown any more, questions are answered No, choices cancelled, posted work is dropped, and
  // ProcessEventsUntil only keeps other threads from waiting for the UI thread. Any thread.
  void LoseDisplay();
  // True while the UI thread runs work that another thread waits for (a message box it asked
  // for, say).
  bool ServingAnotherThread() const { return servingAnotherThread_ > 0; }

  void PostToUiThread(std::function<void()> work) override;
  bool IsUiThread() const override;
  // Serves the UI thread's events until `done`; on any other thread it only polls `done`.
  void ProcessEventsUntil(const std::function<bool()>& done) override;

  void MinimizeApplication() override;
  void RestoreApplication() override;

  void PushBusyCursor() override;
  void PopCursor() override;

  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void ShowInformation(WindowHandle parent, const std::string& caption,
                       const std::string& text) override;
  int ChooseItem(WindowHandle parent, const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items, int current) override;

  std::string DocumentsFolder() override;
  void OpenWithDefaultProgram(const std::string& path, std::function<void()> failed) override;

 private:
  // Watches the main window's state changes for the moment it becomes minimised.
  class MinimizeWatcher final : public QObject {
   public:
    explicit MinimizeWatcher(QtShell& shell) : shell_(shell) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    QtShell& shell_;
  };

  template <typename Work>
  auto RunOnUiThread(Work work) -> decltype(work());
  QWidget* DialogParent(WindowHandle parent) const;

  QPointer<QWidget> mainWindow_;
  MinimizeWatcher watcher_{*this};
  std::atomic<bool> displayLost_{false};
  int servingAnotherThread_ = 0;  // UI thread only
};

}  // namespace orvenna
