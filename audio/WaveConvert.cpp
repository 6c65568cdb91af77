// Conversion of PCM sound between rates, channel counts and sample sizes, by libswresample.

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <climits>
#include <memory>

#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

// Input frames handed to the resampler per call, so that counts stay within its int range.
constexpr std::size_t kFramesPerCall = 1 << 20;
// Silence fed after the sound, in rounds of this many frames, until the resampler has given out
// every frame of the sound (it holds back the last ones until it sees what follows them).
constexpr std::size_t kTailFrames = 1024;
constexpr int kTailRounds = 8;
constexpr std::uint8_t kSilence8Bit = 128;

struct ResamplerDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
using Resampler = std::unique_ptr<SwrContext, ResamplerDeleter>;

// The sample format of 8- or 16-bit PCM whose fields agree with each other; none otherwise.
AVSampleFormat SampleFormatOf(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 || format.nSamplesPerSec == 0 ||
      format.nSamplesPerSec > INT_MAX ||
      format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) {
    return AV_SAMPLE_FMT_NONE;
  }
  if (format.wBitsPerSample == 8) return AV_SAMPLE_FMT_U8;
  if (format.wBitsPerSample == 16) return AV_SAMPLE_FMT_S16;
  return AV_SAMPLE_FMT_NONE;
}

Resampler OpenResampler(const WAVEFORMATEX& from, const WAVEFORMATEX& to) {
  const AVSampleFormat fromSamples = SampleFormatOf(from);
  const AVSampleFormat toSamples = SampleFormatOf(to);
  if (fromSamples == AV_SAMPLE_FMT_NONE || toSamples == AV_SAMPLE_FMT_NONE) return nullptr;
  AVChannelLayout fromLayout;
  AVChannelLayout toLayout;
  av_channel_layout_default(&fromLayout, from.nChannels);
  av_channel_layout_default(&toLayout, to.nChannels);
  SwrContext* context = nullptr;
  const int made = swr_alloc_set_opts2(
      &context, &toLayout, toSamples, static_cast<int>(to.nSamplesPerSec), &fromLayout, fromSamples,
      static_cast<int>(from.nSamplesPerSec), 0, nullptr);
  av_channel_layout_uninit(&fromLayout);
  av_channel_layout_uninit(&toLayout);
  Resampler resampler(context);
  if (made < 0) return nullptr;
  // A single channel goes to every channel whole, as a copy.
  if (from.nChannels == 1) {
    const std::vector<double> copies(to.nChannels, 1.0);
    if (swr_set_matrix(resampler.get(), copies.data(), 1) < 0) return nullptr;
  }
  if (swr_init(resampler.get()) < 0) return nullptr;
  return resampler;
}

// Feeds `frames` frames at `input` and appends what comes out to `dest`, which holds
// `produced` frames of `frameBytes` so far.
bool ConvertPiece(SwrContext* resampler, const std::uint8_t* input, std::size_t frames,
                  std::vector<std::uint8_t>& dest, std::size_t& produced, std::size_t frameBytes) {
  const int room = swr_get_out_samples(resampler, static_cast<int>(frames));
  if (room < 0) return false;
  dest.resize((produced + static_cast<std::size_t>(room)) * frameBytes);
  std::uint8_t* output = dest.data() + produced * frameBytes;
  const int made = swr_convert(resampler, &output, room, &input, static_cast<int>(frames));
  if (made < 0) return false;
  produced += static_cast<std::size_t>(made);
  return true;
}

}  // namespace

bool ConvertWaveData(const WAVEFORMATEX& sourceFormat, std::span<const std::uint8_t> source,
                     std::vector<std::uint8_t>& dest, const WAVEFORMATEX& destFormat) {
  dest.clear();
  const Resampler resampler = OpenResampler(sourceFormat, destFormat);
  if (!resampler) return false;
  const std::size_t sourceFrameBytes = sourceFormat.nBlockAlign;
  const std::size_t frameBytes = destFormat.nBlockAlign;
  const std::size_t frames = source.size() / sourceFrameBytes;
  // Every frame whose time lies within the sound.
  const auto wanted = static_cast<std::size_t>(
      av_rescale_rnd(static_cast<std::int64_t>(frames), destFormat.nSamplesPerSec,
                     sourceFormat.nSamplesPerSec, AV_ROUND_UP));
  std::size_t produced = 0;
  bool converted = true;
  for (std::size_t done = 0; converted && done < frames;) {
    const std::size_t piece = std::min(frames - done, kFramesPerCall);
    converted = ConvertPiece(resampler.get(), source.data() + done * sourceFrameBytes, piece, dest,
                             produced, frameBytes);
    done += piece;
  }
  const std::vector<std::uint8_t> silence(kTailFrames * sourceFrameBytes,
                                          sourceFormat.wBitsPerSample == 8 ? kSilence8Bit : 0);
  for (int round = 0; converted && produced < wanted && round < kTailRounds; ++round) {
    converted =
        ConvertPiece(resampler.get(), silence.data(), kTailFrames, dest, produced, frameBytes);
  }
  converted = converted && produced >= wanted;
  dest.resize(converted ? wanted * frameBytes : 0);
  return converted;
}

}  // namespace orvenna
