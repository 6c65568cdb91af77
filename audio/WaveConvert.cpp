// Conversion of PCM sound between rates, channel counts and sample sizes, through the
// platform's sound converter.

#include <algorithm>
#include <climits>
#include <memory>

#include "audio/WaveUtils.h"
#include "platform/AudioConverter.h"

namespace orvenna {
namespace {

// Input frames handed to the resampler per call, so that counts stay within its int range.
constexpr std::size_t kFramesPerCall = 1 << 20;
// Silence fed after the sound, in rounds of this many frames, until the resampler has given out
// every frame of the sound (it holds back the last ones until it sees what follows them).
constexpr std::size_t kTailFrames = 1024;
constexpr int kTailRounds = 8;
constexpr std::uint8_t kSilence8Bit = 128;

}  // namespace

bool ConvertWaveData(AudioConverter& converter, const WAVEFORMATEX& sourceFormat,
                     std::span<const std::uint8_t> source, std::vector<std::uint8_t>& dest,
                     const WAVEFORMATEX& destFormat) {
  dest.clear();
  const auto resampler = converter.Open(sourceFormat, destFormat);
  if (!resampler) return false;
  const std::size_t sourceFrameBytes = sourceFormat.nBlockAlign;
  const std::size_t frameBytes = destFormat.nBlockAlign;
  const std::size_t frames = source.size() / sourceFrameBytes;
  // Every frame whose time lies within the sound (rounded up).
  const std::uint64_t wanted =
      (std::uint64_t{frames} * destFormat.nSamplesPerSec + sourceFormat.nSamplesPerSec - 1) /
      sourceFormat.nSamplesPerSec;
  bool converted = true;
  for (std::size_t done = 0; converted && done < frames;) {
    const std::size_t piece = std::min(frames - done, kFramesPerCall);
    converted = resampler->Feed(source.data() + done * sourceFrameBytes, piece, dest);
    done += piece;
  }
  const std::vector<std::uint8_t> silence(kTailFrames * sourceFrameBytes,
                                          sourceFormat.wBitsPerSample == 8 ? kSilence8Bit : 0);
  for (int round = 0; converted && dest.size() / frameBytes < wanted && round < kTailRounds;
       ++round) {
    converted = resampler->Feed(silence.data(), kTailFrames, dest);
  }
  converted = converted && dest.size() / frameBytes >= wanted;
  dest.resize(converted ? wanted * frameBytes : 0);
  return converted;
}

}  // namespace orvenna
