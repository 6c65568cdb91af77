#include "platform/pulse/PulseWaveIn.h"

#include <pulse/introspect.h>

#include <algorithm>
#include <array>

#include "platform/Log.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/pulse/PulseErrorTexts.h"
#include "platform/pulse/PulseWaveInDevice.h"

namespace orvenna {

namespace {

constexpr const char* kWhere = "pulse wave-in";
constexpr std::array<std::uint32_t, 5> kRates = {8000, 11025, 22050, 44100, 48000};
// WAVE_FORMAT_1M08 ... WAVE_FORMAT_4S16: every classic rate, channel count and sample size.
constexpr std::uint32_t kClassicFormats = 0xFFF;

bool IsDefaultDevice(int deviceId) {
  return deviceId == WAVE_MAPPER || deviceId == 0;
}

// The server's sample format for `format`, or false when the device does not record it. The
// derived fields must agree with the others, so that buffer sizes computed from them hold
// whole frames at the rate the server delivers.
bool SampleFormatOf(const WAVEFORMATEX& format, pa_sample_spec& sampleFormat) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (format.nChannels != 1 && format.nChannels != 2) return false;
  if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
  const std::uint32_t rate = format.nSamplesPerSec;  // a copy: the record is packed
  if (std::find(kRates.begin(), kRates.end(), rate) == kRates.end()) return false;
  const unsigned blockAlign = format.nChannels * format.wBitsPerSample / 8u;
  if (format.nBlockAlign != blockAlign) return false;
  if (format.nAvgBytesPerSec != rate * blockAlign) return false;
  sampleFormat.format = format.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  sampleFormat.rate = rate;
  sampleFormat.channels = static_cast<std::uint8_t>(format.nChannels);
  return true;
}

std::string PlainText(MMRESULT code) {
  switch (code) {
    case MMSYSERR_NOERROR:
      return "no error";
    case MMSYSERR_BADDEVICEID:
      return "there is no such sound input device";
    case MMSYSERR_NOTENABLED:
      return "the sound server refused to record or stopped";
    case MMSYSERR_ALLOCATED:
      return "the sound input device is in use";
    case MMSYSERR_INVALHANDLE:
      return "the sound input device is not open";
    case MMSYSERR_NODRIVER:
      return "no sound server answered";
    case MMSYSERR_NOMEM:
      return "not enough memory for sound input";
    case MMSYSERR_INVALPARAM:
      return "a sound input buffer or parameter is not valid";
    case WAVERR_BADFORMAT:
      return "the sound input device cannot record in this format";
    case WAVERR_STILLPLAYING:
      return "buffers are still queued at the sound input device";
    case WAVERR_UNPREPARED:
      return "the sound input buffer is not prepared";
    default:
      return "sound input error " + std::to_string(code);
  }
}

}  // namespace

PulseWaveInDriver::PulseWaveInDriver() : errors_(std::make_shared<PulseErrorTexts>()) {}

PulseWaveInDriver::~PulseWaveInDriver() = default;

unsigned PulseWaveInDriver::NumDevs() {
  std::string failure;
  auto connection = PulseConnection::Connect(
      kPulseClientName, std::chrono::steady_clock::now() + kServerAnswerTimeout, failure);
  if (connection == nullptr) {
    Log(LogLevel::Info, kWhere, failure);
    errors_->Remember(MMSYSERR_NODRIVER, failure);
    return 0;
  }
  return 1;
}

MMRESULT PulseWaveInDriver::GetDevCaps(int deviceId, WaveInCaps& caps) {
  if (!IsDefaultDevice(deviceId)) return MMSYSERR_BADDEVICEID;
  const auto deadline = std::chrono::steady_clock::now() + kServerAnswerTimeout;
  std::string failure;
  auto connection = PulseConnection::Connect(kPulseClientName, deadline, failure);
  if (connection == nullptr) {
    Log(LogLevel::Info, kWhere, failure);
    errors_->Remember(MMSYSERR_NODRIVER, failure);
    return MMSYSERR_NODRIVER;
  }
  struct Query {
    PulseConnection* connection;
    std::string defaultSource;
    std::string description;
  } query{connection.get(), {}, {}};
  {
    PulseLock lock(connection->Loop());
    pa_context* context = connection->Context();
    connection->WaitFor(pa_context_get_server_info(
                            context,
                            [](pa_context*, const pa_server_info* info, void* userdata) {
                              auto* query = static_cast<Query*>(userdata);
                              if (info != nullptr && info->default_source_name != nullptr) {
                                query->defaultSource = info->default_source_name;
                              }
                              query->connection->Signal();
                            },
                            &query),
                        deadline);
    if (!query.defaultSource.empty()) {
      connection->WaitFor(pa_context_get_source_info_by_name(
                              context, query.defaultSource.c_str(),
                              [](pa_context*, const pa_source_info* info, int, void* userdata) {
                                auto* query = static_cast<Query*>(userdata);
                                if (info != nullptr && info->description != nullptr) {
                                  query->description = info->description;
                                }
                                query->connection->Signal();
                              },
                              &query),
                          deadline);
    }
  }
  caps.productName = query.description.empty() ? "PulseAudio" : query.description;
  caps.formats = kClassicFormats;
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDriver::QueryFormat(int deviceId, const WAVEFORMATEX& format) {
  if (!IsDefaultDevice(deviceId)) return MMSYSERR_BADDEVICEID;
  pa_sample_spec sampleFormat;
  return SampleFormatOf(format, sampleFormat) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMRESULT PulseWaveInDriver::Open(int deviceId, const WAVEFORMATEX& format,
                                 std::uint32_t bufferBytes, WaveInCallback callback,
                                 std::unique_ptr<WaveInDevice>& device) {
  if (!IsDefaultDevice(deviceId)) return MMSYSERR_BADDEVICEID;
  pa_sample_spec sampleFormat;
  if (!SampleFormatOf(format, sampleFormat)) return WAVERR_BADFORMAT;
  if (!callback) return MMSYSERR_INVALPARAM;
  return PulseWaveInDevice::Open(sampleFormat, bufferBytes, std::move(callback), errors_, device);
}

std::string PulseWaveInDriver::ErrorText(MMRESULT code) {
  std::string cause = errors_->Find(code);
  return cause.empty() ? PlainText(code) : cause;
}

}  // namespace orvenna
