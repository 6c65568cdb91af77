#pragma once

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/PosixFiles.h"
#include "platform/codec/LibavCompressionManager.h"
#include "platform/pulse/PulseMixer.h"
#include "platform/pulse/PulseWaveIn.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Screen.h"

namespace orvenna {

// The real services of a Linux desktop, wired up in one place: the X display's screen, cursor
// and hot keys, POSIX files in the user's temporary folder, the steady clock, the libavcodec
// compressors, and the PulseAudio sound input and mixer. The program brings its shell and its
// window factory (Qt for the desktop application, a plain loop for orvenna-cli). Must outlive
// the engine that uses it.
class DesktopServices {
 public:
  // Opens $DISPLAY; null with `error` set when it cannot be opened.
  static std::unique_ptr<DesktopServices> Open(Shell& shell, UiFactory& ui, std::string& error);
  // On a display the program has opened already.
  DesktopServices(std::unique_ptr<X11Screen> screen, Shell& shell, UiFactory& ui);
  DesktopServices(const DesktopServices&) = delete;
  DesktopServices& operator=(const DesktopServices&) = delete;

  const Platform& Services() const { return services_; }
  // Why the sound server cannot be reached, or "" when it can.
  std::string SoundServerProblem() { return mixer_.OfflineReason(); }

 private:
  std::unique_ptr<X11Screen> screen_;
  X11Cursor cursor_{""};
  X11HotKeys hotKeys_;
  PosixFiles files_;
  SteadyClock clock_;
  LibavCompressionManager codecs_;
  PulseWaveInDriver waveIn_;
  PulseMixerDriver mixer_;
  Platform services_;
};

}  // namespace orvenna
