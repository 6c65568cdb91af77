#pragma once

#include <string>

#include "platform/Shell.h"

namespace orvenna {

// What the desktop is asked to share.
enum class SharedSource { Monitor, Window };

// How a request to share ended.
enum class ShareOutcome {
  Shared,     // the screen (or window) can be read now
  Cancelled,  // the user said no in the desktop's chooser
  Failed,     // the desktop could not share it; the problem says why
};

// A screen that a program may read only once the user has agreed to share it, in a chooser of
// the desktop's own (a Wayland desktop). The screen's grabbers read what is shared; before
// sharing and after it stops they fail. Share and StopSharing are not called while a grab runs.
class ScreenSharing {
 public:
  virtual ~ScreenSharing() = default;

  // Asks the desktop to share `source` and waits, bounded, for its first picture. A monitor
  // the user shared before is shared again without asking; a window is chosen each time.
  // Whatever was shared before stops first. Blocks for as long as the user takes in the
  // chooser: from a UI thread, use ShareWhileServingEvents. `problem` says why when not shared;
  // when shared, it is empty or a note for the user (the choice could not be kept).
  virtual ShareOutcome Share(SharedSource source, std::string& problem) = 0;
  // Ends the sharing (the desktop's sharing indicator goes away).
  virtual void StopSharing() = 0;
  virtual bool Sharing() const = 0;
  // The next monitor sharing shows the desktop's chooser again. The kept choice stays until a
  // new one is made there: a chooser that is cancelled leaves it as it was.
  virtual void ChooseAgain() = 0;
  // Whether the desktop draws the pointer into the picture itself (it offers no pointer
  // metadata), so that a recording cannot leave the cursor out.
  virtual bool PointerInPicture() const = 0;
};

// Share on a thread of its own while `shell` serves the UI thread's events, so that the
// program's windows stay alive while the user answers the desktop's chooser.
ShareOutcome ShareWhileServingEvents(ScreenSharing& sharing, Shell& shell, SharedSource source,
                                     std::string& problem);

}  // namespace orvenna
