#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WaveFormat.h"

namespace orvenna {

// Converts 8- or 16-bit PCM between rates, channel counts and sample sizes (libswresample),
// and can spread a number of frames more or fewer evenly over the sound. One thread at a time.
class PcmResampler {
 public:
  // Null when either format is not plain 8- or 16-bit PCM with fields that agree.
  static std::unique_ptr<PcmResampler> Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to);
  ~PcmResampler();
  PcmResampler(const PcmResampler&) = delete;
  PcmResampler& operator=(const PcmResampler&) = delete;

  // Makes the output `frameDelta` frames longer (negative: shorter) over the next
  // `overFrames` frames, by a change of rate too small to hear.
  bool Stretch(std::int64_t frameDelta, std::int64_t overFrames);
  // Feeds `frames` frames at `input` and appends the frames that come out to `output`.
  bool Feed(const std::uint8_t* input, std::size_t frames, std::vector<std::uint8_t>& output);
  // Appends the frames the resampler still holds once the input has ended.
  bool Drain(std::vector<std::uint8_t>& output);

 private:
  struct State;
  explicit PcmResampler(std::unique_ptr<State> state);
  bool Convert(const std::uint8_t* const* input, std::size_t frames,
               std::vector<std::uint8_t>& output);

  std::unique_ptr<State> state_;
};

}  // namespace orvenna
