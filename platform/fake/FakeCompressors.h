#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/VideoCompression.h"

namespace orvenna {

// A compressor for unit tests: it accepts the frames its rule accepts and "encodes" a frame
// by copying its pixels, so a file written with it holds the frames as they were grabbed.
struct FakeCompressorBehaviour {
  std::uint32_t fcc = 0;
  std::string name;  // short name
  std::string description;
  std::function<bool(const BitmapInfoHeader&)> accepts = [](const BitmapInfoHeader&) {
    return true;
  };
  bool opens = true;      // false: Open fails
  int failEncodeAt = -1;  // the encode call (0-based) that fails, -1 never
  bool hasAbout = true;
  bool hasConfigure = false;
};

// A compression manager over FakeCompressorBehaviours, in the order added. Any thread.
class FakeCompressionManager final : public VideoCompressionManager {
 public:
  void Add(FakeCompressorBehaviour behaviour) { behaviours_.push_back(std::move(behaviour)); }
  // The compressor's description, to change its behaviour between recordings; null if absent.
  FakeCompressorBehaviour* Find(std::uint32_t fcc);

  bool Info(std::uint32_t fccType, int index, ICINFO& info) override;
  std::unique_ptr<VideoCompressor> Open(std::uint32_t fccType, std::uint32_t fccHandler,
                                        unsigned mode) override;
  std::unique_ptr<FrameEncoder> NewEncoder(std::uint32_t fccHandler,
                                           const std::vector<std::uint8_t>& inputFormat,
                                           const EncoderSettings& settings) override;
  std::uint32_t Version() const override { return version; }

  std::uint32_t version = 0x010A0000;
  std::atomic<int> encoders{0};      // encoders made so far
  std::vector<std::string> dialogs;  // "about NAME" / "configure NAME", in order

 private:
  std::deque<FakeCompressorBehaviour>
      behaviours_;  // stable addresses: open compressors refer to them
};

}  // namespace orvenna
