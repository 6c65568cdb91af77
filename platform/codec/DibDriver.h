#pragma once

#include "platform/codec/CompressorDriver.h"

namespace orvenna {

// An encoder that passes packed frames through unchanged (every frame a key frame); its
// output format is the input header with the colour table at 8 bits per pixel. Null when
// `input` is not storable. One thread at a time.
std::unique_ptr<FrameEncoder> NewDibEncoder(const BitmapInfoHeader& input,
                                            std::span<const RgbQuad> colours);

// The compressor 'DIB ': full frames, uncompressed. Any thread.
class DibDriver : public CompressorDriver {
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
