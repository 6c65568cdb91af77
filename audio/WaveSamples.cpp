// Routines over blocks of 8- and 16-bit PCM samples: reverse, scale, silence and mix. Samples
// are little-endian; 8-bit samples are unsigned around 128, 16-bit samples signed around 0.

#include <algorithm>

#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

constexpr int kMidpoint8Bit = 128;
constexpr std::uint8_t kSilence8Bit = 127;
constexpr std::int64_t kLimit16Bit = 32767;

// Bytes of one sample for the formats these routines handle; 0 for any other.
std::size_t SampleBytes(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return 0;
  if (format.wBitsPerSample == 8) return 1;
  if (format.wBitsPerSample == 16) return 2;
  return 0;
}

std::int64_t Load16(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
}

void Store16(std::uint8_t* bytes, std::int64_t sample) {
  bytes[0] = static_cast<std::uint8_t>(sample & 0xFF);
  bytes[1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
}

std::int64_t Scaled(std::int64_t sample, int percent) {
  return sample + sample * percent / 100;
}

}  // namespace

bool ReverseSamples(std::span<std::uint8_t> data, const WAVEFORMATEX& format) {
  const std::size_t sampleBytes = SampleBytes(format);
  if (sampleBytes == 0) return false;
  const std::size_t frameBytes = sampleBytes * std::max<std::size_t>(format.nChannels, 1);
  const std::size_t frames = data.size() / frameBytes;
  for (std::size_t front = 0, back = frames; front + 1 < back; ++front) {
    --back;
    std::swap_ranges(data.begin() + front * frameBytes, data.begin() + (front + 1) * frameBytes,
                     data.begin() + back * frameBytes);
  }
  return true;
}

bool ScaleVolume(std::span<std::uint8_t> data, const WAVEFORMATEX& format, int percent) {
  const std::size_t sampleBytes = SampleBytes(format);
  if (sampleBytes == 1) {
    for (std::uint8_t& sample : data) {
      const std::int64_t scaled = Scaled(sample - kMidpoint8Bit, percent) + kMidpoint8Bit;
      sample = static_cast<std::uint8_t>(std::clamp<std::int64_t>(scaled, 0, 255));
    }
  } else if (sampleBytes == 2) {
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
      const std::int64_t scaled = Scaled(Load16(&data[i]), percent);
      Store16(&data[i], std::clamp(scaled, -kLimit16Bit, kLimit16Bit));
    }
  }
  return sampleBytes != 0;
}

bool FillSilence(std::span<std::uint8_t> data, const WAVEFORMATEX& format) {
  const std::size_t sampleBytes = SampleBytes(format);
  if (sampleBytes == 0) return false;
  std::fill(data.begin(), data.end(), sampleBytes == 1 ? kSilence8Bit : std::uint8_t{0});
  return true;
}

bool MixSamples(std::span<const std::span<const std::uint8_t>> inputs, const WAVEFORMATEX& format,
                std::span<std::uint8_t> out) {
  const std::size_t sampleBytes = SampleBytes(format);
  if (sampleBytes == 0 || inputs.empty()) return false;
  const auto count = static_cast<std::int64_t>(inputs.size());
  for (std::size_t at = 0; at + sampleBytes <= out.size(); at += sampleBytes) {
    std::int64_t sum = 0;
    for (const std::span<const std::uint8_t> input : inputs) {
      const bool present = at + sampleBytes <= input.size();
      if (sampleBytes == 1) {
        sum += present ? input[at] : kMidpoint8Bit;
      } else {
        sum += present ? Load16(&input[at]) : 0;
      }
    }
    if (sampleBytes == 1) {
      out[at] = static_cast<std::uint8_t>(sum / count);
    } else {
      Store16(&out[at], sum / count);
    }
  }
  return true;
}

}  // namespace orvenna
