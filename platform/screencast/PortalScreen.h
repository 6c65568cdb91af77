#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Cursor.h"
#include "platform/Screen.h"
#include "platform/ScreenSharing.h"
#include "platform/pipewire/PipeWireStream.h"

namespace orvenna {

class ScreenCastSession;

// The screen of a Wayland desktop, read through its ScreenCast portal and PipeWire: a monitor
// or a window the user shares, whose newest picture every grab reads a region of (the
// desktop sends a picture only when something changes). Coordinates are the shared source's
// pixels, its top-left corner at 0, 0. The user's monitor choice is kept in `keptChoicePath`
// so that the desktop asks once.
class PortalScreen final : public Screen, public ScreenSharing {
 public:
  struct Options {
    std::string keptChoicePath;  // empty: nothing is kept, the desktop asks every time
    std::chrono::seconds chooserTimeout{300};
    std::chrono::milliseconds firstPictureTimeout = pipewire::kFirstFrameLimit;
  };
  explicit PortalScreen(Options options);
  ~PortalScreen() override;
  PortalScreen(const PortalScreen&) = delete;
  PortalScreen& operator=(const PortalScreen&) = delete;

  // The shared source's size; before anything is shared, the size of the monitor shared last
  // time (0 x 0 when none was).
  Size ScreenSize() const override;
  std::unique_ptr<ScreenGrabber> NewGrabber() override;

  ShareOutcome Share(SharedSource source, std::string& problem) override;
  void StopSharing() override;
  bool Sharing() const override;
  void ChooseAgain() override;
  bool PointerInPicture() const override;

  // The pointer as the shared stream describes it: false while nothing is shared or the stream
  // has not told where the pointer is; `image` holds 0 x 0 pixels when no bitmap came.
  bool Pointer(CursorImage& image) const;

  // What is being shared: a session of the portal and the stream of its PipeWire node.
  struct Capture;

 private:
  std::shared_ptr<Capture> Current() const;
  bool ChoosingAgain() const;
  // Keeps the monitor choice of `session`; a note for the user when it cannot be kept.
  std::string KeepChoice(const ScreenCastSession& session, Size size);
  // Starts a portal session for `source`, trying a kept token once, then asking.
  ShareOutcome StartSession(SharedSource source, Capture& capture, std::string& problem);

  const Options options_;
  mutable std::mutex mutex_;  // guards what follows
  std::shared_ptr<Capture> capture_;
  Size lastMonitorSize_;
  bool chooseAgain_ = false;      // the kept choice is not offered to the desktop
  bool keepingFailSaid_ = false;  // the user heard that the choice cannot be kept
};

// The pointer of a PortalScreen, from the stream's metadata. A desktop that draws the pointer
// into the picture itself gives none to draw again.
class PortalCursor final : public Cursor {
 public:
  explicit PortalCursor(const PortalScreen& screen) : screen_(screen) {}
  bool Query(CursorImage& image) override;
  // Where the stream last put the pointer; the middle of the screen before it told.
  Point Position() override;

 private:
  const PortalScreen& screen_;
};

}  // namespace orvenna
