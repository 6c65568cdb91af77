#include "platform/resample/PcmResampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <climits>

namespace orvenna {
namespace {

// The sample format of 8- or 16-bit PCM whose fields agree with each other; none otherwise.
AVSampleFormat SampleFormatOf(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 || format.nSamplesPerSec == 0 ||
      format.nSamplesPerSec > INT_MAX ||
      format.nBlockAlign != std::uint32_t{format.nChannels} * format.wBitsPerSample / 8) {
    return AV_SAMPLE_FMT_NONE;
  }
  if (format.wBitsPerSample == 8) return AV_SAMPLE_FMT_U8;
  if (format.wBitsPerSample == 16) return AV_SAMPLE_FMT_S16;
  return AV_SAMPLE_FMT_NONE;
}

}  // namespace

struct PcmResampler::State {
  SwrContext* context = nullptr;
  std::size_t frameBytes = 0;  // of the output
  std::int64_t rate = 0;       // of the output

  ~State() { swr_free(&context); }
};

std::unique_ptr<PcmResampler> PcmResampler::Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) {
  const AVSampleFormat fromSamples = SampleFormatOf(from);
  const AVSampleFormat toSamples = SampleFormatOf(to);
  if (fromSamples == AV_SAMPLE_FMT_NONE || toSamples == AV_SAMPLE_FMT_NONE) return nullptr;
  AVChannelLayout fromLayout;
  AVChannelLayout toLayout;
  av_channel_layout_default(&fromLayout, from.nChannels);
  av_channel_layout_default(&toLayout, to.nChannels);
  auto state = std::make_unique<State>();
  state->frameBytes = to.nBlockAlign;
  const int made = swr_alloc_set_opts2(
      &state->context, &toLayout, toSamples, static_cast<int>(to.nSamplesPerSec), &fromLayout,
      fromSamples, static_cast<int>(from.nSamplesPerSec), 0, nullptr);
  av_channel_layout_uninit(&fromLayout);
  av_channel_layout_uninit(&toLayout);
  if (made < 0) return nullptr;
  // A single channel goes to every channel whole, as a copy.
  if (from.nChannels == 1) {
    const std::vector<double> copies(to.nChannels, 1.0);
    if (swr_set_matrix(state->context, copies.data(), 1) < 0) return nullptr;
  }
  if (swr_init(state->context) < 0) return nullptr;
  state->rate = to.nSamplesPerSec;
  return std::unique_ptr<PcmResampler>(new PcmResampler(std::move(state)));
}

PcmResampler::PcmResampler(std::unique_ptr<State> state) : state_(std::move(state)) {}
PcmResampler::~PcmResampler() = default;

bool PcmResampler::Stretch(std::int64_t frameDelta, std::int64_t overFrames) {
  if (frameDelta < INT_MIN || frameDelta > INT_MAX || overFrames <= 0 || overFrames > INT_MAX) {
    return false;
  }
  return swr_set_compensation(state_->context, static_cast<int>(frameDelta),
                              static_cast<int>(overFrames)) >= 0;
}

bool PcmResampler::Feed(const std::uint8_t* input, std::size_t frames,
                        std::vector<std::uint8_t>& output) {
  return frames <= INT_MAX && Convert(&input, frames, output);
}

bool PcmResampler::Drain(std::vector<std::uint8_t>& output) {
  return Convert(nullptr, 0, output);
}

std::int64_t PcmResampler::HeldFrames() const {
  return swr_get_delay(state_->context, state_->rate);
}

bool PcmResampler::Convert(const std::uint8_t* const* input, std::size_t frames,
                           std::vector<std::uint8_t>& output) {
  const int room = swr_get_out_samples(state_->context, static_cast<int>(frames));
  if (room < 0) return false;
  const std::size_t before = output.size();
  output.resize(before + static_cast<std::size_t>(room) * state_->frameBytes);
  std::uint8_t* target = output.data() + before;
  const int made = swr_convert(state_->context, &target, room,
                               const_cast<const std::uint8_t**>(input), static_cast<int>(frames));
  if (made < 0) {
    output.resize(before);
    return false;
  }
  output.resize(before + static_cast<std::size_t>(made) * state_->frameBytes);
  return true;
}

}  // namespace orvenna
