// Conversion of PCM sound between rates, channel counts and sample sizes, and the stretching
// of a wave file, through the platform's PCM resampler.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>

#include "audio/ByteStream.h"
#include "audio/WaveStorage.h"
#include "audio/WaveUtils.h"
#include "platform/resample/PcmResampler.h"

namespace orvenna {
namespace {

// Input frames handed to the resampler per call, so that counts stay within its int range.
constexpr std::size_t kFramesPerCall = 1 << 20;
// Silence fed after the sound, in rounds of this many frames, until the resampler has given out
// every frame of the sound (it holds back the last ones until it sees what follows them).
constexpr std::size_t kTailFrames = 1024;
constexpr int kTailRounds = 8;
constexpr std::uint8_t kSilence8Bit = 128;
// Frames read, stretched and written at a time when a wave file is stretched.
constexpr std::size_t kStretchFrames = 65536;

// Writes the sound of the wave file `path`, lengthened by `frameDelta` frames, into a new wave
// file `stretched`.
bool StretchInto(Files& files, const std::string& path, const std::string& stretched,
                 std::int64_t frameDelta) {
  TWaveStreamAdapter source(TFileStream::OpenRead(files, path));
  const WAVEFORMATEX* format = source.WaveFormat();
  if (!format || format->nBlockAlign == 0) return false;
  const std::size_t frameBytes = format->nBlockAlign;
  const std::int64_t frames = source.DataSize() / frameBytes;
  if (frames <= 0 || frames + frameDelta <= 0) return false;
  const auto resampler = PcmResampler::Open(*format, *format);
  if (!resampler || !resampler->Stretch(frameDelta, frames)) return false;
  TWaveStreamAdapter target(TFileStream::Create(files, stretched));
  if (!source.BeginRead() || !target.BeginRewrite(*format)) return false;
  std::vector<std::uint8_t> input(kStretchFrames * frameBytes);
  std::vector<std::uint8_t> output;
  for (;;) {
    const std::int64_t read = source.Read(input.data(), input.size());
    if (read < 0) return false;
    const std::size_t got = static_cast<std::size_t>(read) / frameBytes;
    output.clear();
    // At the end of the input, what the resampler still holds comes out.
    const bool converted =
        got > 0 ? resampler->Feed(input.data(), got, output) : resampler->Drain(output);
    if (!converted ||
        target.Write(output.data(), output.size()) != static_cast<std::int64_t>(output.size())) {
      return false;
    }
    if (got == 0) break;
  }
  return target.EndRewrite();
}

}  // namespace

bool ConvertWaveData(const WAVEFORMATEX& sourceFormat, std::span<const std::uint8_t> source,
                     std::vector<std::uint8_t>& dest, const WAVEFORMATEX& destFormat) {
  dest.clear();
  const auto resampler = PcmResampler::Open(sourceFormat, destFormat);
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

bool StretchWaveFile(Files& files, const std::string& path, std::int64_t frameDelta) {
  const std::string stretched = path + ".stretching";
  if (StretchInto(files, path, stretched, frameDelta)) return files.Rename(stretched, path).ok();
  static_cast<void>(files.Delete(stretched));  // a half-written copy is of no use
  return false;
}

}  // namespace orvenna
