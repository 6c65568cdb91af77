// The PulseAudio sound input against the private test server named by PULSE_SERVER, whose
// default source carries an 880 Hz tone at half of full scale: recordings in several formats
// come back in order, full, at the tone's pitch and level; stopping and resetting return what
// was recorded; formats the device does not record; no server at all; a server that goes away
// in the middle of a recording.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pulse/PulseWaveIn.h"
#include "tests/integration/pulse_test_support.h"

namespace orvenna {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PrivateSoundServer;
using test::ScopedEnvironment;
using test::TemporaryFolder;

WAVEFORMATEX Pcm(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate) {
  WAVEFORMATEX format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

// The notifications of one device, in the order they arrived.
class Receiver {
 public:
  struct Notification {
    unsigned message;
    WAVEHDR* header;
  };

  WaveInCallback Callback() {
    return [this](unsigned message, WAVEHDR* header) {
      std::lock_guard lock(mutex_);
      received_.push_back({message, header});
      arrived_.notify_all();
    };
  }
  bool WaitFor(std::size_t count, Clock::duration timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
  }
  std::vector<Notification> Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Notification> received_;
};

// Buffers of one size, each with its header.
struct Buffers {
  Buffers(std::size_t count, std::uint32_t bytes) : data(count), headers(count) {
    for (std::size_t i = 0; i < count; ++i) {
      data[i].resize(bytes);
      headers[i].lpData = data[i].data();
      headers[i].dwBufferLength = bytes;
    }
  }
  void QueueAll(WaveInDevice& device) {
    for (WAVEHDR& header : headers) {
      ASSERT_EQ(device.PrepareHeader(header), MMSYSERR_NOERROR);
      ASSERT_EQ(device.AddBuffer(header), MMSYSERR_NOERROR);
    }
  }
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<WAVEHDR> headers;
};

// One channel of recorded PCM as signed values, 8-bit samples scaled up to 16 bits.
std::vector<int> Channel(const std::vector<std::uint8_t>& bytes, const WAVEFORMATEX& format,
                         int channel) {
  std::vector<int> samples;
  const std::size_t sampleBytes = format.wBitsPerSample / 8;
  for (std::size_t at = channel * sampleBytes; at + sampleBytes <= bytes.size();
       at += format.nBlockAlign) {
    samples.push_back(format.wBitsPerSample == 8
                          ? (bytes[at] - 128) * 256
                          : static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8));
  }
  return samples;
}

double ZeroCrossingFrequency(const std::vector<int>& samples, std::uint32_t rate) {
  int upward = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) upward += samples[i - 1] < 0 && samples[i] >= 0;
  return upward * static_cast<double>(rate) / static_cast<double>(samples.size());
}

class PulseWaveInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("PULSE_SERVER") == nullptr) GTEST_SKIP() << "needs PULSE_SERVER";
  }

  // Opens the default device and waits for its open notification.
  std::unique_ptr<WaveInDevice> Open(const WAVEFORMATEX& format, std::uint32_t bufferBytes) {
    std::unique_ptr<WaveInDevice> device;
    const MMRESULT result =
        driver_.Open(WAVE_MAPPER, format, bufferBytes, receiver_.Callback(), device);
    EXPECT_EQ(result, MMSYSERR_NOERROR) << driver_.ErrorText(result);
    EXPECT_TRUE(receiver_.WaitFor(1, 1s));
    return device;
  }

  // Closes `device` and checks the whole sequence of notifications: open first, close last,
  // every queued buffer exactly once in between, in the order it was queued.
  void CloseAndCheckOrder(std::unique_ptr<WaveInDevice>& device, Buffers& buffers) {
    ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);
    const auto received = receiver_.Received();
    ASSERT_EQ(received.size(), buffers.headers.size() + 2);
    EXPECT_EQ(received.front().message, MM_WIM_OPEN);
    EXPECT_EQ(received.back().message, MM_WIM_CLOSE);
    for (std::size_t i = 0; i < buffers.headers.size(); ++i) {
      EXPECT_EQ(received[i + 1].message, MM_WIM_DATA);
      EXPECT_EQ(received[i + 1].header, &buffers.headers[i]);
      EXPECT_EQ(buffers.headers[i].dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
  }

  PulseWaveInDriver driver_;
  Receiver receiver_;
};

struct FormatCase {
  std::uint16_t channels, bits;
  std::uint32_t rate;
};

class PulseRecordingTest : public PulseWaveInTest,
                           public ::testing::WithParamInterface<FormatCase> {};

TEST_P(PulseRecordingTest, BuffersComeBackInOrderFullAndHoldTheTone) {
  const WAVEFORMATEX format = Pcm(GetParam().channels, GetParam().bits, GetParam().rate);
  const std::uint32_t bytes = format.nAvgBytesPerSec / 20;  // 50 ms
  Buffers buffers(8, bytes);
  auto device = Open(format, bytes);
  ASSERT_NE(device, nullptr);
  buffers.QueueAll(*device);
  ASSERT_EQ(device->Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(receiver_.WaitFor(1 + 6, 5s)) << "six buffers of 50 ms did not fill";
  ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);

  // Full buffers, then at most one partly filled one, then the empty rest.
  const std::vector<WAVEHDR>& headers = buffers.headers;
  std::vector<std::uint8_t> sound;
  std::size_t full = 0;
  for (; full < headers.size() && headers[full].dwBytesRecorded == bytes; ++full) {
    sound.insert(sound.end(), headers[full].lpData, headers[full].lpData + bytes);
  }
  EXPECT_GE(full, 6u);
  for (std::size_t i = full + 1; i < headers.size(); ++i) {
    EXPECT_EQ(headers[i].dwBytesRecorded, 0u) << "buffer " << i;
  }
  const std::uint64_t recorded =
      sound.size() + (full < headers.size() ? headers[full].dwBytesRecorded : 0);
  std::uint32_t milliseconds = 0;
  ASSERT_EQ(device->PositionMs(milliseconds), MMSYSERR_NOERROR);
  EXPECT_EQ(milliseconds, recorded * 1000 / format.nAvgBytesPerSec);

  for (int channel = 0; channel < format.nChannels; ++channel) {
    SCOPED_TRACE("channel " + std::to_string(channel));
    const std::vector<int> samples = Channel(sound, format, channel);
    EXPECT_NEAR(ZeroCrossingFrequency(samples, format.nSamplesPerSec), 880.0, 880.0 * 0.03);
    const int peak = *std::max_element(samples.begin(), samples.end());
    EXPECT_GT(peak, 32768 * 0.3);
    EXPECT_LT(peak, 32768 * 0.7);
  }
  CloseAndCheckOrder(device, buffers);
}

INSTANTIATE_TEST_SUITE_P(Formats, PulseRecordingTest,
                         ::testing::Values(FormatCase{2, 16, 48000}, FormatCase{1, 8, 8000},
                                           FormatCase{1, 16, 22050}, FormatCase{2, 8, 44100}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                           const FormatCase& format = info.param;
                           return (format.channels == 1 ? "Mono" : "Stereo") +
                                  std::to_string(format.bits) + "bit" +
                                  std::to_string(format.rate) + "Hz";
                         });

TEST_F(PulseWaveInTest, StopReturnsThePartlyFilledBufferAtOnceAndStartGoesOn) {
  const WAVEFORMATEX format = Pcm(1, 16, 44100);
  Buffers buffers(2, format.nAvgBytesPerSec);  // 1 s each
  auto device = Open(format, format.nAvgBytesPerSec);
  ASSERT_NE(device, nullptr);
  buffers.QueueAll(*device);
  ASSERT_EQ(device->Start(), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(device->Stop(), MMSYSERR_NOERROR);
  ASSERT_EQ(receiver_.Received().size(), 2u) << "the partly filled buffer did not come back";
  EXPECT_GT(buffers.headers[0].dwBytesRecorded, 0u);
  EXPECT_LT(buffers.headers[0].dwBytesRecorded, format.nAvgBytesPerSec);

  ASSERT_EQ(device->Start(), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(200ms);
  ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
  EXPECT_GT(buffers.headers[1].dwBytesRecorded, 0u);
  CloseAndCheckOrder(device, buffers);
}

TEST_F(PulseWaveInTest, QueuedBuffersKeepTheDeviceOpenUntilReset) {
  const WAVEFORMATEX format = Pcm(1, 16, 8000);
  Buffers buffers(1, 1600);
  auto device = Open(format, 1600);
  ASSERT_NE(device, nullptr);
  WAVEHDR& header = buffers.headers[0];
  EXPECT_EQ(device->AddBuffer(header), WAVERR_UNPREPARED);
  buffers.QueueAll(*device);
  EXPECT_EQ(device->AddBuffer(header), WAVERR_STILLPLAYING);
  EXPECT_EQ(device->UnprepareHeader(header), WAVERR_STILLPLAYING);
  EXPECT_EQ(device->Close(), WAVERR_STILLPLAYING);
  ASSERT_EQ(device->Reset(), MMSYSERR_NOERROR);
  EXPECT_EQ(device->UnprepareHeader(header), MMSYSERR_NOERROR);
  CloseAndCheckOrder(device, buffers);
  EXPECT_EQ(device->Start(), MMSYSERR_INVALHANDLE);
}

TEST_F(PulseWaveInTest, OffersTheDefaultSourceInTheClassicFormatsOnly) {
  EXPECT_EQ(driver_.NumDevs(), 1u);
  WaveInCaps caps;
  ASSERT_EQ(driver_.GetDevCaps(WAVE_MAPPER, caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.productName, "Monitor of Null Output");
  EXPECT_EQ(caps.formats, 0xFFFu);
  EXPECT_EQ(driver_.GetDevCaps(1, caps), MMSYSERR_BADDEVICEID);

  EXPECT_EQ(driver_.QueryFormat(0, Pcm(2, 8, 11025)), MMSYSERR_NOERROR);
  WAVEFORMATEX badBlockAlign = Pcm(2, 16, 44100);
  badBlockAlign.nBlockAlign = 2;
  WAVEFORMATEX notPcm = Pcm(1, 16, 8000);
  notPcm.wFormatTag = 3;
  for (const WAVEFORMATEX& format :
       {Pcm(2, 24, 48000), Pcm(2, 16, 96000), Pcm(3, 16, 44100), badBlockAlign, notPcm}) {
    EXPECT_EQ(driver_.QueryFormat(WAVE_MAPPER, format), WAVERR_BADFORMAT);
    std::unique_ptr<WaveInDevice> device;
    EXPECT_EQ(driver_.Open(WAVE_MAPPER, format, 4096, receiver_.Callback(), device),
              WAVERR_BADFORMAT);
  }
  EXPECT_TRUE(receiver_.Received().empty());
}

// A unix socket that accepts connections and never answers.
struct SilentServer {
  explicit SilentServer(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd, 4), 0);
  }
  ~SilentServer() { close(fd); }
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
};

TEST_F(PulseWaveInTest, WithoutAServerOpenFailsInBoundedTimeNamingTheAddress) {
  TemporaryFolder folder;
  SilentServer silent(folder.path / "silent");
  for (const char* name : {"missing", "silent"}) {
    SCOPED_TRACE(name);
    const std::string address = "unix:" + (folder.path / name).string();
    ScopedEnvironment server("PULSE_SERVER", address);
    const auto start = Clock::now();
    std::unique_ptr<WaveInDevice> device;
    const MMRESULT result =
        driver_.Open(WAVE_MAPPER, Pcm(1, 16, 8000), 1600, receiver_.Callback(), device);
    EXPECT_LT(Clock::now() - start, 4s);
    EXPECT_EQ(result, MMSYSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
    EXPECT_NE(driver_.ErrorText(result).find(address), std::string::npos)
        << driver_.ErrorText(result);
  }
  EXPECT_TRUE(receiver_.Received().empty());
  ScopedEnvironment server("PULSE_SERVER", "unix:" + (folder.path / "missing").string());
  EXPECT_EQ(driver_.NumDevs(), 0u);
  WaveInCaps caps;
  EXPECT_EQ(driver_.GetDevCaps(WAVE_MAPPER, caps), MMSYSERR_NODRIVER);
}

class PulseVanishingServerTest : public PulseWaveInTest,
                                 public ::testing::WithParamInterface<int> {};

TEST_P(PulseVanishingServerTest, QueuedBuffersComeBackAndTheDeviceStillCloses) {
  PrivateSoundServer sound;
  ScopedEnvironment server("PULSE_SERVER", sound.Address());
  const auto ready = Clock::now() + 5s;
  while (driver_.NumDevs() == 0 && Clock::now() < ready) std::this_thread::sleep_for(20ms);
  const WAVEFORMATEX format = Pcm(2, 16, 44100);
  const std::uint32_t bytes = format.nAvgBytesPerSec / 10;
  Buffers buffers(4, bytes);
  auto device = Open(format, bytes);
  ASSERT_NE(device, nullptr);
  buffers.QueueAll(*device);
  ASSERT_EQ(device->Start(), MMSYSERR_NOERROR);
  ASSERT_TRUE(receiver_.WaitFor(2, 5s)) << "nothing recorded";

  const auto start = Clock::now();
  sound.Kill(GetParam());
  EXPECT_TRUE(receiver_.WaitFor(1 + 4, 3s)) << "the queued buffers did not come back";
  EXPECT_EQ(device->AddBuffer(buffers.headers[0]), MMSYSERR_NOTENABLED);
  EXPECT_EQ(device->Start(), MMSYSERR_NOTENABLED);
  EXPECT_EQ(device->Stop(), MMSYSERR_NOTENABLED);
  const std::string why = driver_.ErrorText(MMSYSERR_NOTENABLED);
  EXPECT_NE(why.find("stopped"), std::string::npos) << why;
  EXPECT_NE(why.find(sound.Address()), std::string::npos) << why;
  EXPECT_EQ(device->Reset(), MMSYSERR_NOERROR);
  CloseAndCheckOrder(device, buffers);
  EXPECT_LT(Clock::now() - start, 3s);
}

INSTANTIATE_TEST_SUITE_P(Signals, PulseVanishingServerTest, ::testing::Values(SIGTERM, SIGKILL),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

}  // namespace
}  // namespace orvenna
