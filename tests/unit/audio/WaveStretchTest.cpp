#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "audio/ByteStream.h"
#include "audio/WaveStorage.h"
#include "audio/WaveUtils.h"
#include "platform/PosixFiles.h"

namespace orvenna {
namespace {

PosixFiles files;

// A wave file of a 440 Hz tone, 16-bit mono at 48 kHz.
void WriteTone(const std::string& path, int frames) {
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, TPCMFormat::Mono16bit48000Hz);
  TWaveStreamAdapter wave(TFileStream::Create(files, path));
  ASSERT_TRUE(wave.BeginRewrite(format));
  std::vector<std::int16_t> samples(frames);
  for (int i = 0; i < frames; ++i) {
    samples[i] =
        static_cast<std::int16_t>(16000 * std::sin(2 * std::numbers::pi * 440 * i / 48000));
  }
  ASSERT_EQ(wave.Write(samples.data(), samples.size() * 2), frames * 2);
  ASSERT_TRUE(wave.EndRewrite());
}

std::vector<std::int16_t> ReadSamples(const std::string& path) {
  TWaveStreamAdapter wave(TFileStream::OpenRead(files, path));
  std::vector<std::int16_t> samples(wave.DataSize() / 2);
  EXPECT_TRUE(wave.BeginRead());
  EXPECT_EQ(wave.Read(samples.data(), samples.size() * 2),
            static_cast<std::int64_t>(samples.size() * 2));
  return samples;
}

TEST(StretchWaveFile, SpreadsTheFramesEvenlyAndKeepsTheToneWhole) {
  const std::string path = std::filesystem::temp_directory_path() /
                           ("orvenna-stretch-" + std::to_string(getpid()) + ".wav");
  for (const int delta : {48, -48}) {
    WriteTone(path, 480000);  // ten seconds
    ASSERT_TRUE(StretchWaveFile(files, path, delta));
    const std::vector<std::int16_t> samples = ReadSamples(path);
    EXPECT_NEAR(static_cast<double>(samples.size()), 480000 + delta, 2) << delta;
    // The tone goes on without a break: each sample follows from the two before it.
    const double factor = 2 * std::cos(2 * std::numbers::pi * 440 / 48000);
    int breaks = 0;
    for (std::size_t n = 100; n + 100 < samples.size(); ++n) {
      if (std::abs(samples[n] - (factor * samples[n - 1] - samples[n - 2])) > 800) ++breaks;
    }
    EXPECT_EQ(breaks, 0) << delta;
  }
  std::filesystem::remove(path);
}

TEST(StretchWaveFile, LeavesAFileItCannotReadAsItWas) {
  const std::string path = std::filesystem::temp_directory_path() /
                           ("orvenna-stretch-bad-" + std::to_string(getpid()) + ".wav");
  { TFileStream::Create(files, path)->Write("not a wave", 10); }
  EXPECT_FALSE(StretchWaveFile(files, path, 10));
  EXPECT_EQ(std::filesystem::file_size(path), 10u);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace orvenna
