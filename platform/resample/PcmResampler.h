#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/AudioConverter.h"

namespace orvenna {

// The conversion of 8- or 16-bit PCM on libswresample. Between equal rates it only copies
// until the first stretch, which turns resampling on (nothing is held back until then).
class PcmResampler final : public AudioConversion {
 public:
  // Null when either format is not plain 8- or 16-bit PCM with fields that agree.
  static std::unique_ptr<PcmResampler> Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to);
  ~PcmResampler() override;
  PcmResampler(const PcmResampler&) = delete;
  PcmResampler& operator=(const PcmResampler&) = delete;

  bool Stretch(std::int64_t frameDelta, std::int64_t overFrames) override;
  bool Feed(const std::uint8_t* input, std::size_t frames,
            std::vector<std::uint8_t>& output) override;
  bool Drain(std::vector<std::uint8_t>& output) override;
  std::int64_t HeldFrames() const override;

 private:
  struct State;
  explicit PcmResampler(std::unique_ptr<State> state);
  bool Convert(const std::uint8_t* const* input, std::size_t frames,
               std::vector<std::uint8_t>& output);

  std::unique_ptr<State> state_;
};

// The desktop's sound converter: every conversion is a PcmResampler.
class PcmResamplingConverter final : public AudioConverter {
 public:
  std::unique_ptr<AudioConversion> Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) override {
    return PcmResampler::Open(from, to);
  }
};

}  // namespace orvenna
