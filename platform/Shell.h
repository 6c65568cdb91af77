#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvenna {

// An opaque handle of a window that dialogs are owned by (null: the main window).
using WindowHandle = void*;

// The desktop shell: the application's windows, the mouse cursor's look, message boxes,
// and the UI thread's queue. Callable from any thread unless a method says otherwise;
// work that must happen on the UI thread is handed to it and waited for.
class Shell {
 public:
  virtual ~Shell() = default;

  // Runs `work` on the UI thread later; returns at once.
  virtual void PostToUiThread(std::function<void()> work) = 0;
  virtual bool IsUiThread() const = 0;
  // On the UI thread: serves the UI thread's queue (posted work, windows) until `done`
  // answers true. Used to wait for another thread that may itself wait for the UI thread.
  virtual void ProcessEventsUntil(const std::function<bool()>& done) = 0;

  virtual void MinimizeApplication() = 0;
  virtual void RestoreApplication() = 0;

  // Saves the current mouse cursor and shows the busy cursor; PopCursor puts the saved one back.
  virtual void PushBusyCursor() = 0;
  virtual void PopCursor() = 0;

  // A warning box with Yes and No; true only when the user answers Yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
  // An information box with one OK button.
  virtual void ShowInformation(WindowHandle parent, const std::string& caption,
                               const std::string& text) = 0;
  // Lets the user choose one of `items`; the index chosen, or -1 when the user cancels.
  virtual int ChooseItem(WindowHandle parent, const std::string& caption, const std::string& prompt,
                         const std::vector<std::string>& items, int current) = 0;

  // The user's documents folder, without a trailing '/'.
  virtual std::string DocumentsFolder() = 0;
  // Opens a file with the desktop's default program for it. `failed` runs on the UI thread when
  // no program could open it: at once when none could start, or later when the desktop's opener
  // started but found no program for the file. UI thread.
  virtual void OpenWithDefaultProgram(const std::string& path, std::function<void()> failed) = 0;

  // Raised on the UI thread when the application has just been minimised.
  std::function<void()> OnApplicationMinimized;
};

}  // namespace orvenna
