#include "audio/WaveUtils.h"

#include <clocale>
#include <limits>

namespace orvenna {
namespace {

constexpr std::array<std::uint32_t, 5> kPCMRates{8000, 11025, 22050, 44100, 48000};
constexpr int kCatalogueSize = 20;

struct TagName {
  std::uint16_t tag;
  std::string_view name;
};
constexpr std::array<TagName, 13> kTagNames{{
    {1, "PCM"},
    {2, "Microsoft ADPCM"},
    {3, "PCM IEEE"},
    {4, "VSELP"},
    {5, "CSVD"},
    {6, "A-Law"},
    {7, "u-Law"},
    {8, "DTS"},
    {17, "IMA ADPCM"},
    {49, "GSM 6.10"},
    {67, "Microsoft G.723.1"},
    {80, "MPEG"},
    {85, "MPEG Layer-3"},
}};

std::uint32_t Saturate32(std::int64_t value) {
  constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(value < 0 ? 0 : (value > kMax ? kMax : value));
}

std::uint64_t Magnitude(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  return value < 0 ? 0 - bits : bits;
}

// The largest byte, or the largest signed 16-bit sample starting from 0.
int PeakOf8Bit(std::span<const std::uint8_t> data) {
  int peak = 0;
  for (const std::uint8_t sample : data) peak = sample > peak ? sample : peak;
  return peak;
}

int PeakOf16Bit(std::span<const std::uint8_t> data) {
  int peak = 0;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(data[i] | data[i + 1] << 8);
    peak = sample > peak ? sample : peak;
  }
  return peak;
}

}  // namespace

bool FillPCMFormat(WAVEFORMATEX& format, bool stereo, int rateIndex, bool sixteenBit) {
  if (rateIndex < 0 || rateIndex >= static_cast<int>(kPCMRates.size())) return false;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = stereo ? 2 : 1;
  format.nSamplesPerSec = kPCMRates[static_cast<std::size_t>(rateIndex)];
  format.wBitsPerSample = sixteenBit ? 16 : 8;
  format.nBlockAlign =
      static_cast<std::uint16_t>(MulDiv(format.nChannels, format.wBitsPerSample, 8));
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;
  return true;
}

bool FillStandardPCMFormat(WAVEFORMATEX& format, TPCMFormat pcmFormat) {
  const int value = static_cast<int>(pcmFormat);
  if (value < 1 || value > kCatalogueSize) return false;
  const int k = value - 1;
  return FillPCMFormat(format, k % 2 == 1, k / 4, (k / 2) % 2 == 1);
}

std::string WaveFormatDescription(const WAVEFORMATEX& format) {
  const std::lconv* locale = std::localeconv();
  const char* point = locale && *locale->decimal_point ? locale->decimal_point : ".";
  // The rate in kHz with three decimals is exactly the whole kHz and the remaining Hz.
  const std::uint32_t hz = format.nSamplesPerSec % 1000;
  std::string text = std::to_string(format.nSamplesPerSec / 1000) + point;
  for (const std::uint32_t digit : {hz / 100, hz / 10 % 10, hz % 10}) text += char('0' + digit);
  text += " kHz";
  if (format.wBitsPerSample != 0) text += ", " + std::to_string(format.wBitsPerSample) + " Bit";
  if (format.nChannels == 1 || format.nChannels == 2) {
    text += ", " + std::string(ChannelNames[format.nChannels]);
  } else {
    text += ", " + std::to_string(format.nChannels) + " Ch";
  }
  const std::string_view name = FormatTagName(format.wFormatTag);
  return name.empty() ? text : std::string(name) + ": " + text;
}

std::string_view FormatTagName(std::uint16_t tag) {
  for (const TagName& entry : kTagNames) {
    if (entry.tag == tag) return entry.name;
  }
  return {};
}

std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0) return -1;
  const std::uint64_t product = Magnitude(a) * Magnitude(b);
  const std::uint64_t divisor = Magnitude(c);
  std::uint64_t quotient = product / divisor;
  const std::uint64_t remainder = product % divisor;
  if (remainder >= divisor - remainder) ++quotient;  // half or more rounds away from zero
  const bool negative = ((a < 0) != (b < 0)) != (c < 0);
  const auto result = static_cast<std::int64_t>(quotient);
  return negative ? -result : result;
}

std::uint32_t MsToBufferBytes(const WAVEFORMATEX& format, std::uint32_t milliseconds) {
  std::int64_t bytes = MulDiv(milliseconds, format.nAvgBytesPerSec, 1000);
  const std::int64_t block = format.nBlockAlign;
  if (block > 1 && bytes % block != 0) bytes += block - bytes % block;
  return Saturate32(bytes);
}

std::uint32_t MsToBytes(const WAVEFORMATEX& format, std::uint32_t milliseconds) {
  std::uint32_t bytes = Saturate32(MulDiv(format.nAvgBytesPerSec, milliseconds, 1000));
  if (format.nBlockAlign >= 2) bytes -= bytes % format.nBlockAlign;
  return bytes;
}

std::uint32_t BytesToMs(const WAVEFORMATEX& format, std::uint32_t bytes) {
  if (format.nAvgBytesPerSec == 0) return 0;
  return Saturate32(MulDiv(1000, bytes, format.nAvgBytesPerSec));
}

int WaveAudioLevel(std::span<const std::uint8_t> data, const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return -1;
  if (format.wBitsPerSample == 8) {
    const int peak = PeakOf8Bit(data);
    return peak >= 128 ? (peak - 128) * 100 / 127 : 0;
  }
  if (format.wBitsPerSample == 16) return PeakOf16Bit(data) * 100 / 32767;
  return -1;
}

}  // namespace orvenna
