#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/ScreenSharing.h"
#include "platform/Shell.h"

namespace orvenna {

// What the desktop application asks of a desktop that shares its screen only on request (a
// Wayland desktop): the monitor, shared once and kept while recordings and the preview read
// it, or a window, chosen afresh for every pick. It remembers which of the two is shared, so
// that a recording of the monitor never reads a window shared for an earlier pick.
// UI thread only.
class ScreenRequests {
 public:
  ScreenRequests(ScreenSharing& sharing, Shell& shell) : sharing_(sharing), shell_(shell) {}
  ScreenRequests(const ScreenRequests&) = delete;
  ScreenRequests& operator=(const ScreenRequests&) = delete;

  // Has `source` shared, serving the UI thread's events while the desktop asks the user. A
  // monitor that is still shared is kept as it is. A request made while another one waits for
  // the desktop fails at once: one chooser at a time. OnRefused is raised when not shared.
  ShareOutcome Share(SharedSource source);
  // Whether a request waits for the desktop just now (its chooser may be open).
  bool Asking() const { return asking_; }
  // Ends the sharing, if any.
  void StopSharing();
  // The next monitor sharing shows the desktop's chooser again.
  void ChooseAgain() { sharing_.ChooseAgain(); }
  // Whether the shared picture holds the pointer, which a recording then cannot leave out.
  bool PointerInPicture() const { return sharing_.PointerInPicture(); }

  // Raised on the UI thread when a request ended without sharing: Cancelled (the user said
  // no) or Failed, with the desktop's reason.
  std::function<void(ShareOutcome outcome, const std::string& problem)> OnRefused;
  // Raised on the UI thread when a request shared, with a note for the user.
  std::function<void(const std::string& note)> OnNote;

 private:
  ScreenSharing& sharing_;
  Shell& shell_;
  std::optional<SharedSource> shared_;  // what the last granted request shared
  bool asking_ = false;
};

}  // namespace orvenna
