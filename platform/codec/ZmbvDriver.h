#pragma once

#include <atomic>

#include "platform/codec/CompressorDriver.h"

namespace orvenna {

// The compressor 'ZMBV': lossless, coded by ZmbvCoder, for pictures of any size and depth.
// Its configuration dialog picks the deflate level, kept for every later encoder.
// Any thread.
class ZmbvDriver : public CompressorDriver {
 public:
  ICINFO Info() const override;
  Result Accepts(const BitmapInfoHeader& input) override;
  bool HasAbout() const override { return true; }
  bool HasConfigure() const override { return true; }
  void About(Shell& shell, WindowHandle parent) override;
  void Configure(Shell& shell, WindowHandle parent) override;
  std::unique_ptr<FrameEncoder> NewEncoder(const BitmapInfoHeader& input,
                                           std::span<const RgbQuad> colours,
                                           const EncoderSettings& settings) override;

 private:
  std::atomic<int> choice_{0};
};

}  // namespace orvenna
