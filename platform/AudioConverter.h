#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WaveFormat.h"

namespace orvenna {

// One running conversion of a stream of PCM sound: frames go in, converted frames come out,
// and the rate can be nudged to make the output a few frames longer or shorter. One thread at
// a time.
class AudioConversion {
 public:
  virtual ~AudioConversion() = default;

  // Makes the output `frameDelta` frames longer (negative: shorter) over the next
  // `overFrames` output frames, by a change of rate too small to hear; a new call replaces
  // the running one.
  virtual bool Stretch(std::int64_t frameDelta, std::int64_t overFrames) = 0;
  // Feeds `frames` frames at `input` and appends the frames that come out to `output`.
  virtual bool Feed(const std::uint8_t* input, std::size_t frames,
                    std::vector<std::uint8_t>& output) = 0;
  // Appends the frames the conversion still holds once the input has ended.
  virtual bool Drain(std::vector<std::uint8_t>& output) = 0;
  // Input frames fed that have not come out yet, in output frames.
  virtual std::int64_t HeldFrames() const = 0;
};

// Converts 8- or 16-bit PCM between rates, channel counts and sample sizes. Any thread.
class AudioConverter {
 public:
  virtual ~AudioConverter() = default;

  // Null when either format is not plain 8- or 16-bit PCM with fields that agree.
  virtual std::unique_ptr<AudioConversion> Open(const WAVEFORMATEX& from,
                                                const WAVEFORMATEX& to) = 0;
};

}  // namespace orvenna
