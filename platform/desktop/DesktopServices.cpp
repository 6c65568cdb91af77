#include "platform/desktop/DesktopServices.h"

namespace orvenna {

std::unique_ptr<DesktopServices> DesktopServices::Open(Shell& shell, UiFactory& ui,
                                                       std::string& error) {
  auto screen = X11Screen::Open("", error);
  if (!screen) return nullptr;
  return std::make_unique<DesktopServices>(std::move(screen), shell, ui);
}

DesktopServices::DesktopServices(std::unique_ptr<X11Screen> screen, Shell& shell, UiFactory& ui)
    : screen_(std::move(screen)),
      hotKeys_("", shell),
      codecs_(shell),
      mixer_([&shell](std::function<void()> work) { shell.PostToUiThread(std::move(work)); }),
      services_{
          .screen = *screen_,
          .cursor = cursor_,
          .hotKeys = hotKeys_,
          .files = files_,
          .clock = clock_,
          .shell = shell,
          .ui = ui,
          .codecs = codecs_,
          .waveIn = waveIn_,
          .mixer = mixer_,
      } {}

}  // namespace orvenna
