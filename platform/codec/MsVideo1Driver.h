#pragma once

#include "platform/codec/CompressorDriver.h"

namespace orvenna {

// The compressor 'MSVC': MS Video 1 in its 16-bit form, coded by MsVideo1Coder. Pictures
// need sides that are multiples of 4; the quality setting trades size for error, and frames
// between key frames code only the blocks that changed. Any thread.
class MsVideo1Driver : public CompressorDriver {
 public:
  ICINFO Info() const override;
  Result Accepts(const BitmapInfoHeader& input) override;
  bool HasAbout() const override { return true; }
  bool HasConfigure() const override { return false; }
  void About(Shell& shell, WindowHandle parent) override;
  void Configure(Shell&, WindowHandle) override {}
  std::unique_ptr<FrameEncoder> NewEncoder(const BitmapInfoHeader& input,
                                           std::span<const RgbQuad> colours,
                                           const EncoderSettings& settings) override;
};

}  // namespace orvenna
