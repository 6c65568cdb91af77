// The catalogue of PCM formats, their descriptions, millisecond/byte arithmetic, peak levels,
// the sample routines and the conversion between formats.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "audio/WaveUtils.h"
#include "platform/resample/PcmResampler.h"

namespace orvenna {
namespace {

using Bytes = std::vector<std::uint8_t>;

WAVEFORMATEX Pcm(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate) {
  WAVEFORMATEX format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.wBitsPerSample = bits;
  format.nSamplesPerSec = rate;
  format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  return format;
}

WAVEFORMATEX Standard(TPCMFormat value) {
  WAVEFORMATEX format;
  EXPECT_TRUE(FillStandardPCMFormat(format, value));
  return format;
}

Bytes Samples16(std::initializer_list<int> samples) {
  Bytes bytes;
  for (const int sample : samples) {
    bytes.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  return bytes;
}

std::vector<int> Values16(const Bytes& bytes) {
  std::vector<int> values;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    values.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
  }
  return values;
}

TEST(PCMCatalogue, EveryEntryFillsItsRecordAndDescription) {
  struct Entry {
    TPCMFormat value;
    std::uint16_t channels, bits;
    std::uint32_t rate;
    std::uint16_t blockAlign;
    std::uint32_t bytesPerSecond;
    const char* description;
  };
  using enum TPCMFormat;
  const Entry entries[] = {
      {Mono8Bit8000Hz, 1, 8, 8000, 1, 8000, "PCM: 8.000 kHz, 8 Bit, Mono"},
      {Stereo8bit8000Hz, 2, 8, 8000, 2, 16000, "PCM: 8.000 kHz, 8 Bit, Stereo"},
      {Mono16bit8000Hz, 1, 16, 8000, 2, 16000, "PCM: 8.000 kHz, 16 Bit, Mono"},
      {Stereo16bit8000Hz, 2, 16, 8000, 4, 32000, "PCM: 8.000 kHz, 16 Bit, Stereo"},
      {Mono8bit11025Hz, 1, 8, 11025, 1, 11025, "PCM: 11.025 kHz, 8 Bit, Mono"},
      {Stereo8bit11025Hz, 2, 8, 11025, 2, 22050, "PCM: 11.025 kHz, 8 Bit, Stereo"},
      {Mono16bit11025Hz, 1, 16, 11025, 2, 22050, "PCM: 11.025 kHz, 16 Bit, Mono"},
      {Stereo16bit11025Hz, 2, 16, 11025, 4, 44100, "PCM: 11.025 kHz, 16 Bit, Stereo"},
      {Mono8bit22050Hz, 1, 8, 22050, 1, 22050, "PCM: 22.050 kHz, 8 Bit, Mono"},
      {Stereo8bit22050Hz, 2, 8, 22050, 2, 44100, "PCM: 22.050 kHz, 8 Bit, Stereo"},
      {Mono16bit22050Hz, 1, 16, 22050, 2, 44100, "PCM: 22.050 kHz, 16 Bit, Mono"},
      {Stereo16bit22050Hz, 2, 16, 22050, 4, 88200, "PCM: 22.050 kHz, 16 Bit, Stereo"},
      {Mono8bit44100Hz, 1, 8, 44100, 1, 44100, "PCM: 44.100 kHz, 8 Bit, Mono"},
      {Stereo8bit44100Hz, 2, 8, 44100, 2, 88200, "PCM: 44.100 kHz, 8 Bit, Stereo"},
      {Mono16bit44100Hz, 1, 16, 44100, 2, 88200, "PCM: 44.100 kHz, 16 Bit, Mono"},
      {Stereo16bit44100Hz, 2, 16, 44100, 4, 176400, "PCM: 44.100 kHz, 16 Bit, Stereo"},
      {Mono8bit48000Hz, 1, 8, 48000, 1, 48000, "PCM: 48.000 kHz, 8 Bit, Mono"},
      {Stereo8bit48000Hz, 2, 8, 48000, 2, 96000, "PCM: 48.000 kHz, 8 Bit, Stereo"},
      {Mono16bit48000Hz, 1, 16, 48000, 2, 96000, "PCM: 48.000 kHz, 16 Bit, Mono"},
      {Stereo16bit48000Hz, 2, 16, 48000, 4, 192000, "PCM: 48.000 kHz, 16 Bit, Stereo"},
  };
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    const Entry& entry = entries[i];
    SCOPED_TRACE(entry.description);
    EXPECT_EQ(static_cast<std::size_t>(entry.value), i + 1);
    WAVEFORMATEX format;
    format.cbSize = 77;
    ASSERT_TRUE(FillStandardPCMFormat(format, entry.value));
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, entry.channels);
    EXPECT_EQ(format.wBitsPerSample, entry.bits);
    EXPECT_EQ(format.nSamplesPerSec, entry.rate);
    EXPECT_EQ(format.nBlockAlign, entry.blockAlign);
    EXPECT_EQ(format.nAvgBytesPerSec, entry.bytesPerSecond);
    EXPECT_EQ(format.cbSize, 0);
    EXPECT_EQ(WaveFormatDescription(format), entry.description);
  }
}

TEST(PCMCatalogue, ValuesOutsideItAndUnknownRatesLeaveTheRecordAlone) {
  WAVEFORMATEX format = Pcm(2, 16, 12345);
  const WAVEFORMATEX before = format;
  EXPECT_FALSE(FillStandardPCMFormat(format, TPCMFormat::nonePCM));
  EXPECT_FALSE(FillStandardPCMFormat(format, static_cast<TPCMFormat>(21)));
  EXPECT_FALSE(FillPCMFormat(format, true, 5, true));
  EXPECT_FALSE(FillPCMFormat(format, true, -1, true));
  EXPECT_EQ(std::memcmp(&format, &before, sizeof format), 0);
}

TEST(FormatDescription, TagNamesBitsAndChannelCounts) {
  struct Case {
    std::uint16_t tag, channels, bits;
    std::uint32_t rate;
    const char* text;
  };
  const Case cases[] = {
      {1, 2, 8, 22050, "PCM: 22.050 kHz, 8 Bit, Stereo"},
      {0x9999, 6, 16, 44100, "44.100 kHz, 16 Bit, 6 Ch"},
      {1, 1, 0, 8000, "PCM: 8.000 kHz, Mono"},
      {17, 3, 0, 11025, "IMA ADPCM: 11.025 kHz, 3 Ch"},
      {0, 0, 24, 96000, "96.000 kHz, 24 Bit, 0 Ch"},
      {3, 2, 32, 192001, "PCM IEEE: 192.001 kHz, 32 Bit, Stereo"},
  };
  for (const Case& c : cases) {
    WAVEFORMATEX format;
    format.wFormatTag = c.tag;
    format.nChannels = c.channels;
    format.wBitsPerSample = c.bits;
    format.nSamplesPerSec = c.rate;
    EXPECT_EQ(WaveFormatDescription(format), c.text);
  }
  EXPECT_EQ(FormatTagName(67), "Microsoft G.723.1");
  EXPECT_EQ(FormatTagName(9), "");
}

TEST(Arithmetic, MulDivRoundsHalvesAwayFromZeroWithoutOverflow) {
  constexpr std::int64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  struct Case {
    std::int64_t a, b, c, result;
  };
  const Case cases[] = {{7, 1, 2, 4},
                        {-7, 1, 2, -4},
                        {5, -1, -3, 2},
                        {10, 441, 1000, 4},
                        {kMax32, 1000, 7, 613566756429},
                        {3, 4, 0, -1}};
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result) << c.a << c.b << c.c;
}

TEST(Arithmetic, MillisecondsAndBytes) {
  using enum TPCMFormat;
  const WAVEFORMATEX stereo11 = Standard(Stereo16bit11025Hz);
  const WAVEFORMATEX mono8k = Standard(Mono16bit8000Hz);
  EXPECT_EQ(MsToBufferBytes(stereo11, 10), 444u);  // 441 up to a whole frame
  EXPECT_EQ(MsToBytes(stereo11, 10), 440u);        // and down
  EXPECT_EQ(MsToBufferBytes(mono8k, 1000), 16000u);
  EXPECT_EQ(MsToBytes(mono8k, 1000), 16000u);
  EXPECT_EQ(MsToBytes(Standard(Mono8Bit8000Hz), 3), 24u);
  EXPECT_EQ(BytesToMs(Standard(Stereo16bit44100Hz), 176400), 1000u);
  EXPECT_EQ(BytesToMs(Standard(Mono8Bit8000Hz), 3), 0u);  // 0.375 ms
  EXPECT_EQ(BytesToMs(Standard(Mono8Bit8000Hz), 4), 1u);  // 0.5 ms rounds up
  EXPECT_EQ(BytesToMs(WAVEFORMATEX{}, 1000), 0u);
  // Beyond what 32 bits hold the results saturate, still in whole frames.
  const std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(MsToBytes(Standard(Stereo16bit48000Hz), kMax), kMax - 3);
  WAVEFORMATEX slow = mono8k;
  slow.nAvgBytesPerSec = 1;
  EXPECT_EQ(BytesToMs(slow, kMax), kMax);
}

TEST(Levels, PeakOfThePositiveHalf) {
  const WAVEFORMATEX bits8 = Pcm(1, 8, 8000);
  const WAVEFORMATEX bits16 = Pcm(2, 16, 8000);
  struct Case {
    const WAVEFORMATEX& format;
    Bytes data;
    int level;
  };
  const Case cases[] = {
      {bits8, {0, 127, 3}, 0},
      {bits8, {128}, 0},
      {bits8, {10, 255, 128}, 100},
      {bits8, {192, 0}, 50},
      {bits8, {}, 0},
      {bits16, Samples16({-5, -32768, -1}), 0},
      {bits16, Samples16({32767, -32768}), 100},
      {bits16, Samples16({-20000, 16384, 5}), 50},
      {bits16, {}, 0},
      {bits16, {0x00, 0x40, 0xFF}, 50},  // the trailing half sample is not a sample
      {Pcm(1, 24, 8000), {0xFF, 0xFF, 0x7F}, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(WaveAudioLevel(c.data, c.format), c.level);
  WAVEFORMATEX floats = bits16;
  floats.wFormatTag = 3;
  EXPECT_EQ(WaveAudioLevel(Samples16({1000}), floats), -1);
}

TEST(SampleRoutines, ReverseKeepsTheChannelsOfEachFrame) {
  Bytes mono8 = {1, 2, 3, 4, 5};
  EXPECT_TRUE(ReverseSamples(mono8, Pcm(1, 8, 8000)));
  EXPECT_EQ(mono8, (Bytes{5, 4, 3, 2, 1}));

  Bytes stereo16 = Samples16({1, -1, 2, -2, 3, -3});
  stereo16.push_back(0x77);  // a partial frame at the end stays where it is
  EXPECT_TRUE(ReverseSamples(stereo16, Pcm(2, 16, 8000)));
  EXPECT_EQ(Values16(stereo16), (std::vector<int>{3, -3, 2, -2, 1, -1}));
  EXPECT_EQ(stereo16.back(), 0x77);
}

TEST(SampleRoutines, ScaleVolumeFromSilenceAndClamp) {
  Bytes words = Samples16({1000, -1000, 30000, -30000, 3, -3});
  EXPECT_TRUE(ScaleVolume(words, Pcm(1, 16, 8000), 50));
  EXPECT_EQ(Values16(words), (std::vector<int>{1500, -1500, 32767, -32767, 4, -4}));
  EXPECT_TRUE(ScaleVolume(words, Pcm(1, 16, 8000), -50));
  EXPECT_EQ(Values16(words), (std::vector<int>{750, -750, 16384, -16384, 2, -2}));

  Bytes bytes = {128, 192, 64, 160, 255};
  EXPECT_TRUE(ScaleVolume(bytes, Pcm(2, 8, 8000), 100));
  EXPECT_EQ(bytes, (Bytes{128, 255, 0, 192, 255}));
  bytes = {128, 192, 64};
  EXPECT_TRUE(ScaleVolume(bytes, Pcm(2, 8, 8000), -50));
  EXPECT_EQ(bytes, (Bytes{128, 160, 96}));
}

TEST(SampleRoutines, SilenceAndFormatsNotHandled) {
  Bytes bytes(5, 9);
  EXPECT_TRUE(FillSilence(bytes, Pcm(1, 8, 8000)));
  EXPECT_EQ(bytes, Bytes(5, 127));
  EXPECT_TRUE(FillSilence(bytes, Pcm(2, 16, 8000)));
  EXPECT_EQ(bytes, Bytes(5, 0));
  const WAVEFORMATEX bits24 = Pcm(1, 24, 8000);
  const Bytes input = bytes;
  const std::span<const std::uint8_t> inputs[] = {input};
  EXPECT_FALSE(ReverseSamples(bytes, bits24) || ScaleVolume(bytes, bits24, 50) ||
               FillSilence(bytes, bits24) || MixSamples(inputs, bits24, bytes));
  EXPECT_EQ(bytes, Bytes(5, 0));
}

TEST(SampleRoutines, MixDividesByTheNumberOfInputs) {
  const Bytes a = Samples16({100, 200, 300});
  const Bytes b = Samples16({50});
  Bytes out(7, 0xEE);
  const std::span<const std::uint8_t> both[] = {a, b};
  EXPECT_TRUE(MixSamples(both, Pcm(1, 16, 8000), out));
  EXPECT_EQ(Values16(out), (std::vector<int>{75, 100, 150}));
  EXPECT_EQ(out.back(), 0xEE);

  // An 8-bit input that has run out counts as silence, not as the lowest value.
  const Bytes c = {200, 100};
  const Bytes d = {100};
  Bytes out8(2);
  const std::span<const std::uint8_t> bytes[] = {c, d};
  EXPECT_TRUE(MixSamples(bytes, Pcm(1, 8, 8000), out8));
  EXPECT_EQ(out8, (Bytes{150, 114}));

  EXPECT_FALSE(MixSamples({}, Pcm(1, 8, 8000), out8));
}

// Zero crossings per second of one channel of 16-bit frames.
double CrossingsPerSecond(const Bytes& sound, int channels, int channel, double rate) {
  const std::vector<int> all = Values16(sound);
  int crossings = 0;
  std::size_t frames = all.size() / static_cast<std::size_t>(channels);
  for (std::size_t i = 1; i < frames; ++i) {
    const int before = all[(i - 1) * channels + channel];
    const int now = all[i * channels + channel];
    crossings += (before < 0) != (now < 0) ? 1 : 0;
  }
  return crossings * rate / static_cast<double>(frames);
}

Bytes Tone(int frames, int rate) {
  Bytes tone;
  for (int i = 0; i < frames; ++i) {
    const double value = 16000 * std::sin(2 * std::numbers::pi * 440 * i / rate);
    const auto sample = static_cast<std::int16_t>(std::lround(value));
    tone.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    tone.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  return tone;
}

TEST(Conversion, ResamplesAndUpmixesAToneKeepingItsPitchAndLevel) {
  PcmResamplingConverter converter;
  const WAVEFORMATEX from = Pcm(1, 16, 8000);
  const WAVEFORMATEX to = Pcm(2, 16, 44100);
  Bytes converted;
  ASSERT_TRUE(ConvertWaveData(converter, from, Tone(8000, 8000), converted, to));
  EXPECT_EQ(converted.size(), 44100u * 4);
  EXPECT_EQ(CrossingsPerSecond(converted, 2, 0, 44100), CrossingsPerSecond(converted, 2, 1, 44100));
  EXPECT_NEAR(CrossingsPerSecond(converted, 2, 0, 44100), 880, 5);
  EXPECT_NEAR(WaveAudioLevel(converted, to), WaveAudioLevel(Tone(8000, 8000), from), 2);

  // The last frames come out too, even of a sound shorter than the resampler's filter.
  ASSERT_TRUE(ConvertWaveData(converter, from, Tone(7, 8000), converted, to));
  EXPECT_EQ(converted.size(), 39u * 4);  // 38.6 frames
  EXPECT_GT(WaveAudioLevel(converted, to), 40);
}

TEST(Conversion, FormatsItCannotConvertLeaveAnEmptyDestination) {
  PcmResamplingConverter converter;
  WAVEFORMATEX inconsistent = Pcm(2, 16, 8000);
  inconsistent.nBlockAlign = 3;
  WAVEFORMATEX adpcm = Pcm(1, 4, 8000);
  adpcm.wFormatTag = 17;
  for (const WAVEFORMATEX& format : {Pcm(1, 24, 8000), inconsistent, adpcm, Pcm(1, 16, 0)}) {
    Bytes converted(10, 1);
    EXPECT_FALSE(ConvertWaveData(converter, format, Bytes(60, 3), converted, Pcm(1, 16, 8000)) ||
                 ConvertWaveData(converter, Pcm(1, 16, 8000), Bytes(60, 3), converted, format));
    EXPECT_TRUE(converted.empty());
  }
}

}  // namespace
}  // namespace orvenna
