#pragma once

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/PosixFiles.h"
#include "platform/ScreenSharing.h"
#include "platform/WindowFinder.h"
#include "platform/codec/LibavCompressionManager.h"
#include "platform/desktop/WaylandSession.h"
#include "platform/mux/LibavContainerWriter.h"
#include "platform/pulse/PulseMixer.h"
#include "platform/pulse/PulseWaveIn.h"
#include "platform/resample/PcmResampler.h"

namespace orvenna {

class X11Screen;
class PortalScreen;

// The real services of a Linux desktop, wired up in one place: the screen, cursor and hot keys
// of the X display or of a Wayland desktop's screen sharing, POSIX files in the user's temporary
// folder, the steady clock, the libavcodec compressors, and the PulseAudio sound input and
// mixer. The program brings its shell and its window factory (Qt for the desktop application, a
// plain loop for orvenna-cli). Must outlive the engine that uses it.
class DesktopServices {
 public:
  // The services that come with the screen.
  struct ScreenParts {
    std::unique_ptr<Screen> screen;
    std::unique_ptr<Cursor> cursor;
    std::unique_ptr<HotKeys> hotKeys;
    ScreenSharing* sharing = nullptr;
    std::string hotKeysProblem;  // why there are no global keys, or ""
  };

  // Opens the screen of `kind`: $DISPLAY, or the desktop's screen sharing (which asks the user
  // only when a recording first needs the screen). Null with `error` set when it cannot.
  static std::unique_ptr<DesktopServices> Open(ScreenKind kind, Shell& shell, UiFactory& ui,
                                               std::string& error);
  // On a display the program has opened already.
  DesktopServices(std::unique_ptr<X11Screen> screen, Shell& shell, UiFactory& ui);
  // On a Wayland desktop's screen sharing.
  DesktopServices(std::unique_ptr<PortalScreen> screen, Shell& shell, UiFactory& ui);
  ~DesktopServices();
  DesktopServices(const DesktopServices&) = delete;
  DesktopServices& operator=(const DesktopServices&) = delete;

  const Platform& Services() const { return services_; }
  // The screen sharing to ask before recording; null on an X display, which is always readable.
  ScreenSharing* Sharing() const { return sharing_; }
  // Why the sound server cannot be reached, or "" when it can.
  std::string SoundServerProblem() { return mixer_.OfflineReason(); }
  // Why the global keys (Shift+Esc, Esc, Ctrl+Enter) cannot be had on this desktop, or "".
  const std::string& HotKeysProblem() const { return hotKeysProblem_; }
  // The windows a window picker frames: those of the X display; none on a Wayland desktop,
  // which tells no program where the other windows are. Made on the first call. UI thread.
  WindowFinder& Windows();

 private:
  DesktopServices(ScreenParts parts, Shell& shell, UiFactory& ui);

  std::unique_ptr<Screen> screen_;
  std::unique_ptr<Cursor> cursor_;
  std::unique_ptr<HotKeys> hotKeys_;
  ScreenSharing* sharing_;
  std::string hotKeysProblem_;
  std::unique_ptr<WindowFinder> windows_;
  PosixFiles files_;
  SteadyClock clock_;
  LibavCompressionManager codecs_;
  PulseWaveInDriver waveIn_;
  PulseMixerDriver mixer_;
  PcmResamplingConverter audioConverter_;
  LibavContainerWriter containers_;
  Platform services_;
};

}  // namespace orvenna
