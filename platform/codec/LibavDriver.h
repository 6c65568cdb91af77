#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "platform/codec/CompressorDriver.h"
#include "platform/codec/LibavDriverDescription.h"

struct AVCodec;

namespace orvenna {

// A compressor driver over one libavcodec encoder. It accepts exactly the inputs for which
// the encoder really opens (the answer cached per size and depth) and keeps the choice of
// its configuration dialog for the rest of its life, for every later encoder.
// Any thread.
class LibavDriver : public CompressorDriver {
 public:
  // Null when the linked libavcodec lacks the encoder.
  static std::unique_ptr<LibavDriver> Create(LibavDriverDescription description);

  ICINFO Info() const override;
  Result Accepts(const BitmapInfoHeader& input) override;
  bool HasAbout() const override { return true; }
  bool HasConfigure() const override { return !description_.choices.empty(); }
  void About(Shell& shell, WindowHandle parent) override;
  void Configure(Shell& shell, WindowHandle parent) override;
  std::unique_ptr<FrameEncoder> NewEncoder(const BitmapInfoHeader& input,
                                           std::span<const RgbQuad> colours,
                                           const EncoderSettings& settings) override;

 private:
  LibavDriver(LibavDriverDescription description, const AVCodec& codec);

  // The encoder's pixel format for input of `bitsPerPixel`; AV_PIX_FMT_NONE when none.
  AVPixelFormat TargetFormat(int bitsPerPixel) const;
  // The user's choice, or the default one for frames of that size.
  const ConfigureChoice* Choice(int width, int height) const;

  const LibavDriverDescription description_;
  const AVCodec& codec_;
  std::atomic<int> choice_{-1};  // none picked yet

  std::mutex cacheMutex_;
  std::map<std::tuple<int, int, int>, bool> opens_;  // (width, height, bits) -> answer
};

}  // namespace orvenna
