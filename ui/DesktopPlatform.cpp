#include "ui/DesktopPlatform.h"

namespace orvenna {

DesktopPlatform::DesktopPlatform(std::unique_ptr<X11Screen> screen)
    : screen_(std::move(screen)), services_{*screen_, cursor_, hotKeys_, files_,
                                            clock_,   shell_,  ui_,      codecs_} {}

}  // namespace orvenna
