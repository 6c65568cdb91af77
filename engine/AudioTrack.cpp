#include "engine/AudioTrack.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "engine/Vistrel.h"
#include "platform/Log.h"

namespace orvenna {
namespace {

// How long the end of the sound may take: the last buffers come back at once when the input
// is reset, so only a sound layer that hangs needs this.
constexpr auto kLongestStop = std::chrono::seconds(10);
// How long the start of the sound may take to show before the picture starts without it.
constexpr auto kLongestStart = std::chrono::milliseconds(500);

std::string Seconds(std::int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

}  // namespace

AudioTrack::AudioTrack(TVistrel& engine, TStockAudioRecorder& recorder, TPCMFormat pcmFormat)
    : engine_(engine),
      recorder_(recorder),
      pcmFormat_(pcmFormat),
      tempFile_(Process().AudioTempFile) {}

AudioTrack::~AudioTrack() {
  recorder_.OnError = nullptr;
  recorder_.OnActivate = nullptr;
}

bool AudioTrack::Start() {
  recorder_.OnError = [this](TWaveAudioIO& sender) { NoteFailure(sender.LastErrorText()); };
  recorder_.OnActivate = [this](TWaveAudioIO&) {
    activatedAt_ = engine_.platform_.clock.Milliseconds();
    activated_ = true;
  };
  try {
    recorder_.SetPCMFormat(pcmFormat_);
    recorder_.SetAsync(true);
  } catch (const EWaveAudioError& error) {
    NoteFailure(error.what());
  }
  if (!engine_.DeleteTempFile(tempFile_)) {
    engine_.RaiseError("Can not delete audio temp file.");
    return false;
  }
  bool started = false;
  try {
    started = recorder_.RecordToFile(tempFile_);
  } catch (const std::exception& error) {
    NoteFailure(error.what());
  }
  if (!started) {
    // The video goes on alone; no half-started sound file goes into the recording.
    const std::string cause = TakeFailure().cause;
    engine_.RaiseError("The sound cannot be recorded: " + cause +
                       ". The recording goes on without sound.");
    engine_.DeleteTempFile(tempFile_);
  }
  return true;
}

void AudioTrack::AlignTo(std::uint32_t videoStart, int halfSlot) {
  const auto deadline = std::chrono::steady_clock::now() + kLongestStart;
  while (!activated_ && recorder_.Active() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!activated_) return;
  const WAVEFORMATEX format = recorder_.FormatRecord();
  const std::int64_t leadMs =
      static_cast<std::int32_t>(activatedAt_.load() - videoStart) + halfSlot;
  std::int64_t lead = leadMs * format.nAvgBytesPerSec / 1000;
  lead -= lead % std::max<std::int64_t>(format.nBlockAlign, 1);
  Log(LogLevel::Debug, "sound", "lined up with the picture by " + std::to_string(leadMs) + " ms");
  recorder_.SetLead(lead);
}

void AudioTrack::Stop() {
  if (!recorder_.Active()) return;
  try {
    recorder_.SetActive(false);
  } catch (const EWaveAudioError& error) {
    NoteFailure(error.what());
  }
}

Result AudioTrack::Finish() {
  const auto deadline = std::chrono::steady_clock::now() + kLongestStop;
  while (recorder_.Active() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (recorder_.Active()) NoteFailure("the sound input did not stop");
  const Failure failure = TakeFailure();
  if (!failure.cause.empty()) {
    engine_.RaiseError("The sound stopped " + Seconds(failure.atMilliseconds) +
                       " into the recording: " + failure.cause + ". The video was recorded whole.");
  }
  return Result::Ok();
}

// Keeps the first failure, with the time it came, to be reported on the recording thread.
void AudioTrack::NoteFailure(const std::string& cause) {
  Log(LogLevel::Warning, "sound", cause);
  std::lock_guard guard(lock_);
  if (failure_.cause.empty()) failure_ = Failure{cause, Process().ElapsedMilliseconds};
}

AudioTrack::Failure AudioTrack::TakeFailure() {
  std::lock_guard guard(lock_);
  return std::exchange(failure_, Failure{});
}

}  // namespace orvenna
