#include "platform/fake/FakeScreen.h"

namespace orvenna {
namespace {

class FakeGrabber final : public ScreenGrabber {
 public:
  explicit FakeGrabber(FakeScreen& screen) : screen_(screen) {}

  Result Grab(const Rect& area, RasterOp op, ImageView& image) override {
    if (screen_.failGrabs) {
      if (screen_.onFailedGrab) screen_.onFailedGrab();
      return Result::Failed("the fake screen fails its grabs", screen_.failureKind);
    }
    const int grab = screen_.grabs++;
    pixels_.resize(static_cast<std::size_t>(area.width) * area.height);
    const Size size = screen_.ScreenSize();
    for (int y = 0; y < area.height; ++y) {
      for (int x = 0; x < area.width; ++x) {
        const int sx = area.left + x;
        const int sy = area.top + y;
        const bool inside = sx >= 0 && sy >= 0 && sx < size.width && sy < size.height;
        std::uint32_t pixel = inside ? FakeScreen::PixelAt(sx, sy, grab) : 0;
        if (op == RasterOp::NotSrcCopy) pixel ^= 0x00FFFFFF;
        pixels_[static_cast<std::size_t>(y) * area.width + x] = pixel;
      }
    }
    if (screen_.onGrab) screen_.onGrab(area);
    image = ImageView{reinterpret_cast<std::uint8_t*>(pixels_.data()), area.width, area.height,
                      static_cast<std::ptrdiff_t>(area.width) * 4};
    return Result::Ok();
  }

 private:
  FakeScreen& screen_;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace

std::unique_ptr<ScreenGrabber> FakeScreen::NewGrabber() {
  return std::make_unique<FakeGrabber>(*this);
}

}  // namespace orvenna
