#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/portal/PortalCall.h"

namespace orvenna {

// What the desktop is asked to share.
struct ScreenCastRequest {
  bool window = false;           // a window (picked in the desktop's chooser), else a monitor
  bool cursorAsMetadata = true;  // the pointer apart from the picture, where the desktop can
  std::string restoreToken;      // of an earlier grant: the desktop does not ask again
  // How long the user may take in the desktop's chooser.
  std::chrono::seconds chooserTimeout{300};
};

// One stream the desktop shares: its PipeWire node, and where it lies on the desktop.
struct ScreenCastStreamInfo {
  std::uint32_t node = 0;
  Rect place;                    // position and size as the portal tells them (0 when it does not)
  std::uint32_t sourceType = 0;  // 1 monitor, 2 window
};

// A session of the desktop's ScreenCast portal (version 4 or later), on a D-Bus connection of
// its own: CreateSession, SelectSources, Start and OpenPipeWireRemote, each answered through
// its request. The desktop shares the streams for as long as the session lives. Any one
// thread; every wait is bounded.
class ScreenCastSession {
 public:
  // Asks the desktop to share what `request` names. Null when it did not: `answer` says how
  // the asking ended (Cancelled: the user said no in the chooser), `failure` why, in words
  // that say what to install where the portal is missing.
  static std::unique_ptr<ScreenCastSession> Start(const ScreenCastRequest& request,
                                                  PortalAnswer& answer, std::string& failure);
  // Closes the session: the desktop stops sharing.
  ~ScreenCastSession();
  ScreenCastSession(const ScreenCastSession&) = delete;
  ScreenCastSession& operator=(const ScreenCastSession&) = delete;

  const std::vector<ScreenCastStreamInfo>& Streams() const { return streams_; }
  // The descriptor of the PipeWire connection that reaches the streams; the caller owns it
  // from then on (-1 the second time).
  int TakePipeWireFd();
  // To pass next time so that the desktop does not ask again; empty when it gave none.
  const std::string& RestoreToken() const { return restoreToken_; }
  // Whether the pointer comes as metadata of the stream (else it is in the picture, or not
  // there at all when `PointerInPicture` is false too).
  bool CursorAsMetadata() const { return cursorMode_ == 4; }
  bool PointerInPicture() const { return cursorMode_ == 2; }

 private:
  explicit ScreenCastSession(GDBusConnection* connection) : connection_(connection) {}
  bool Run(const ScreenCastRequest& request, PortalAnswer& answer, std::string& failure);

  GDBusConnection* connection_;
  std::string sessionHandle_;
  std::vector<ScreenCastStreamInfo> streams_;
  std::string restoreToken_;
  std::uint32_t cursorMode_ = 1;
  int pipewireFd_ = -1;
};

}  // namespace orvenna
