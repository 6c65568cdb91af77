// Conversion of PCM sound between rates, channel counts and sample sizes, by libswresample.

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>

#include "audio/ByteStream.h"
#include "audio/WaveStorage.h"
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
// Frames read, stretched and written at a time when a wave file is stretched.
constexpr std::size_t kStretchFrames = 65536;

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

// Appends to `dest` the frames the resampler still holds once the input has ended.
bool Drain(SwrContext* resampler, std::vector<std::uint8_t>& dest, std::size_t& produced,
           std::size_t frameBytes) {
  const int room = swr_get_out_samples(resampler, 0);
  if (room < 0) return false;
  dest.resize((produced + static_cast<std::size_t>(room)) * frameBytes);
  std::uint8_t* output = dest.data() + produced * frameBytes;
  const int made = swr_convert(resampler, &output, room, nullptr, 0);
  if (made < 0) return false;
  produced += static_cast<std::size_t>(made);
  dest.resize(produced * frameBytes);
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

// Writes the sound of the wave file `path`, lengthened by `frameDelta` frames, into a new wave
// file `stretched`.
static bool StretchInto(const std::string& path, const std::string& stretched,
                        std::int64_t frameDelta) {
  TWaveStreamAdapter source(TFileStream::OpenRead(path));
  const WAVEFORMATEX* format = source.WaveFormat();
  if (!format || format->nBlockAlign == 0) return false;
  const std::size_t frameBytes = format->nBlockAlign;
  const std::int64_t frames = source.DataSize() / frameBytes;
  if (frames <= 0 || frames > INT_MAX || frames + frameDelta <= 0) return false;
  const Resampler resampler = OpenResampler(*format, *format);
  if (!resampler || swr_set_compensation(resampler.get(), static_cast<int>(frameDelta),
                                         static_cast<int>(frames)) < 0) {
    return false;
  }
  TWaveStreamAdapter target(TFileStream::Create(stretched));
  if (!source.BeginRead() || !target.BeginRewrite(*format)) return false;
  std::vector<std::uint8_t> input(kStretchFrames * frameBytes);
  std::vector<std::uint8_t> output;
  bool written = true;
  for (;;) {
    const std::int64_t read = source.Read(input.data(), input.size());
    if (read < 0) return false;
    const std::size_t got = static_cast<std::size_t>(read) / frameBytes;
    std::size_t produced = 0;
    output.clear();
    const bool converted =
        got > 0 ? ConvertPiece(resampler.get(), input.data(), got, output, produced, frameBytes)
                : Drain(resampler.get(), output, produced, frameBytes);
    if (!converted) return false;
    const std::size_t bytes = produced * frameBytes;
    written = written && target.Write(output.data(), bytes) == static_cast<std::int64_t>(bytes);
    if (got == 0 || !written) break;
  }
  return written && target.EndRewrite();
}

bool StretchWaveFile(const std::string& path, std::int64_t frameDelta) {
  const std::string stretched = path + ".stretching";
  if (StretchInto(path, stretched, frameDelta)) {
    return std::rename(stretched.c_str(), path.c_str()) == 0;
  }
  std::remove(stretched.c_str());
  return false;
}

}  // namespace orvenna
