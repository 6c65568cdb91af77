#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/WaveRecorders.h"
#include "audio/WaveUtils.h"
#include "platform/PosixFiles.h"
#include "tests/unit/audio_device/DeviceRig.h"

namespace orvenna {
namespace {

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("orvenna-recorder-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    recorder_.SetAsync(true);
    recorder_.SetBufferLength(100);
    recorder_.OnData = [this](TWaveAudioIO&, const std::uint8_t*, std::uint32_t count) {
      bytes_ += count;
    };
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string PathOf(const std::string& name) { return (folder_ / name).string(); }
  void StopAndWait() {
    ASSERT_TRUE(recorder_.StopRecord());
    ASSERT_TRUE(Eventually([this] { return !recorder_.Active(); }));
  }
  // The file is a wave of `sound` bytes of the generator's ramp, with its sizes right.
  void ExpectWave(const std::string& path, std::uint32_t sound) {
    const std::vector<std::uint8_t> bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 46u + sound);
    EXPECT_EQ(U32At(bytes, 4), 38u + sound);  // RIFF size
    EXPECT_EQ(U32At(bytes, 42), sound);       // data size
    EXPECT_TRUE(IsUnbrokenRamp16(std::vector<std::uint8_t>(bytes.begin() + 46, bytes.end())));
  }

  std::filesystem::path folder_;
  DeviceRig rig_;
  std::atomic<std::uint32_t> bytes_{0};
  PosixFiles files_;
  TStockAudioRecorder recorder_{rig_.driver, rig_.shell, files_};
};

TEST_F(RecorderTest, TheFileIsCompleteOnceTheRecorderIsInactive) {
  const std::string path = PathOf("one.wav");
  std::ofstream(path) << std::string(100000, 'x');  // an older, longer file: emptied
  ASSERT_TRUE(recorder_.RecordToFile(path));
  ASSERT_TRUE(StartedRecording(recorder_));
  rig_.clock.now += 1000;
  ASSERT_TRUE(Eventually([this] { return bytes_ == 16000; }));
  StopAndWait();
  ExpectWave(path, 16000);
}

// Sound that waits to be placed is on the disk too, after the placed sound, a quarter second
// after it came in at the latest, so that a killed run keeps nearly all of it; the finished file
// holds the placed sound alone.
TEST_F(RecorderTest, SoundWaitingToBePlacedIsOnTheDiskSoon) {
  struct NoConversions final : AudioConverter {
    std::unique_ptr<AudioConversion> Open(const WAVEFORMATEX&, const WAVEFORMATEX&) override {
      return nullptr;
    }
  } converter;
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, TPCMFormat::Mono16bit8000Hz);
  SoundPlacer placer(format, converter);
  recorder_.SetPlacer(&placer);
  const std::string path = PathOf("placed.wav");
  ASSERT_TRUE(recorder_.RecordToFile(path));
  ASSERT_TRUE(StartedRecording(recorder_));
  ASSERT_EQ(recorder_.FormatRecord().nAvgBytesPerSec, 16000u);
  // Buffers tell their capture times on the machine's steady clock: the three seconds of sound
  // end after now, so the track's start is three seconds before.
  const auto nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
  placer.SetOrigin(static_cast<std::uint32_t>(nowMs - 3000));
  rig_.clock.now += 3000;
  const auto soundOnDisk = [&] {
    std::vector<std::uint8_t> sound = FileBytes(path);
    sound.erase(sound.begin(), sound.begin() + 46);
    // The lead: the few milliseconds the buffers took to come back.
    const auto lead = std::find_if(sound.begin(), sound.end(), [](auto byte) { return byte; });
    sound.erase(sound.begin(), lead - (lead - sound.begin()) % 2);
    return sound;
  };
  ASSERT_TRUE(Eventually([&] { return soundOnDisk().size() >= 48000u - 4000 - 1600; }));
  EXPECT_TRUE(IsUnbrokenRamp16(soundOnDisk()));
  StopAndWait();
  const std::vector<std::uint8_t> sound = soundOnDisk();
  EXPECT_EQ(sound.size(), 48000u);
  EXPECT_TRUE(IsUnbrokenRamp16(sound));
  const std::vector<std::uint8_t> bytes = FileBytes(path);
  EXPECT_EQ(U32At(bytes, 42), bytes.size() - 46) << "the data size";
  recorder_.SetPlacer(nullptr);
}

TEST_F(RecorderTest, ALeadAddsSilenceOrLeavesOutTheFirstBytes) {
  for (const std::int64_t lead : {800, -800}) {
    const std::string path = PathOf("lead.wav");
    bytes_ = 0;
    ASSERT_TRUE(recorder_.RecordToFile(path));
    recorder_.SetLead(lead);
    ASSERT_TRUE(StartedRecording(recorder_));
    rig_.clock.now += 1000;
    ASSERT_TRUE(Eventually([this] { return bytes_ == 16000; }));
    StopAndWait();
    const std::vector<std::uint8_t> bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(46 + 16000 + lead)) << lead;
    const std::vector<std::uint8_t> sound(bytes.begin() + 46 + std::max<std::int64_t>(lead, 0),
                                          bytes.end());
    if (lead > 0) {
      EXPECT_EQ(bytes[46], 0) << lead;  // 16-bit silence
    }
    // The ramp goes on from where the left-out bytes end.
    std::vector<std::uint8_t> expected(16000);
    for (std::size_t i = 0; i < expected.size(); i += 2) {
      const auto value = static_cast<std::uint16_t>(i / 2 - 32768);
      expected[i] = static_cast<std::uint8_t>(value);
      expected[i + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    const auto from = expected.begin() + (lead < 0 ? -lead : 0);
    EXPECT_TRUE(std::equal(from, expected.end(), sound.begin())) << lead;
  }
}

TEST_F(RecorderTest, AStopBeforeAnyBufferLeavesAnEmptyWave) {
  const std::string path = PathOf("empty.wav");
  ASSERT_TRUE(recorder_.RecordToFile(path));
  StopAndWait();
  ExpectWave(path, 0);
}

TEST_F(RecorderTest, ANewRecordingFinishesTheRunningOneFirst) {
  const std::string first = PathOf("first.wav");
  ASSERT_TRUE(recorder_.RecordToFile(first));
  ASSERT_TRUE(StartedRecording(recorder_));
  rig_.clock.now += 200;
  ASSERT_TRUE(Eventually([this] { return bytes_ == 3200; }));
  ASSERT_TRUE(recorder_.RecordToFile(PathOf("second.wav")));
  ExpectWave(first, 3200);
  StopAndWait();
}

// Hands out one memory stream.
class OneWaveStorage final : public TCustomWaveStorage {
 public:
  TStream* GetWaveStream(int index) override { return index == 0 ? &stream : nullptr; }
  TMemoryStream stream;
};

TEST_F(RecorderTest, RecordsIntoTheStockUntilTheStockIsGone) {
  {
    OneWaveStorage storage;
    recorder_.SetStock(&storage);
    recorder_.SetActive(true);  // records into wave 0 of the stock
    ASSERT_TRUE(StartedRecording(recorder_));
    rig_.clock.now += 100;
    ASSERT_TRUE(Eventually([this] { return bytes_ == 1600; }));
    StopAndWait();
    EXPECT_EQ(storage.stream.Size(), 46 + 1600);
  }
  EXPECT_EQ(recorder_.Stock(), nullptr);
}

TEST_F(RecorderTest, MisuseAndFailuresToStart) {
  EXPECT_THROW(
      {
        try {
          recorder_.SetActive(true);
        } catch (const EWaveAudioInvalidOperation& error) {
          EXPECT_STREQ(error.what(), "Stock property is not assigned");
          throw;
        }
      },
      EWaveAudioInvalidOperation);
  EXPECT_THROW(recorder_.RecordToFile(PathOf("missing-folder/x.wav")), EWaveAudioError);
  EXPECT_FALSE(recorder_.Active());

  // A refused format or device finishes the file it had started: a header and no sound. The
  // refused format is raised to the caller; the refused device is an answer of false.
  recorder_.SetPCMFormat(TPCMFormat::nonePCM);
  recorder_.OnFormat = [](TWaveAudioIn&, std::vector<std::uint8_t>& format) {
    WAVEFORMATEX record;
    FillStandardPCMFormat(record, TPCMFormat::Mono16bit8000Hz);
    record.nChannels = 6;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    format.assign(bytes, bytes + sizeof record);
  };
  EXPECT_THROW(recorder_.RecordToFile(PathOf("format.wav")), EWaveAudioSysError);
  EXPECT_EQ(FileBytes(PathOf("format.wav")).size(), 46u);
  recorder_.SetPCMFormat(TPCMFormat::Mono16bit8000Hz);
  rig_.driver.openResult = MMSYSERR_NODRIVER;
  EXPECT_FALSE(recorder_.RecordToFile(PathOf("device.wav")));
  EXPECT_FALSE(recorder_.Active());
  ExpectWave(PathOf("device.wav"), 0);
}

// A format of the caller's own is written with the extra bytes it counts, as supplied.
TEST_F(RecorderTest, TheFileHoldsTheSuppliedFormatWithItsExtraBytes) {
  recorder_.SetPCMFormat(TPCMFormat::nonePCM);
  recorder_.OnFormat = [](TWaveAudioIn&, std::vector<std::uint8_t>& format) {
    WAVEFORMATEX record;
    FillStandardPCMFormat(record, TPCMFormat::Mono16bit8000Hz);
    record.cbSize = 4;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    format.assign(bytes, bytes + sizeof record);
    format.insert(format.end(), {0xA1, 0xB2, 0xC3, 0xD4});
  };
  try {
    recorder_.RecordToFile(PathOf("extra.wav"));
  } catch (const EWaveAudioSysError&) {  // whether the device takes it does not matter here
  }
  StopAndWait();
  const std::vector<std::uint8_t> bytes = FileBytes(PathOf("extra.wav"));
  ASSERT_GE(bytes.size(), 42u);
  EXPECT_EQ(U32At(bytes, 16), 22u);  // the "fmt " chunk's size
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 38, bytes.begin() + 42),
            (std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3, 0xD4}));
}

}  // namespace
}  // namespace orvenna
