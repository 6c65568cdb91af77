#include "engine/AudioTrack.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "engine/ProcessState.h"
#include "engine/SessionContext.h"
#include "platform/Log.h"
#include "platform/ThreadRole.h"

namespace orvenna {
namespace {

// How long the end of the sound may take: the last buffers come back at once
// when the input is reset, so only a sound layer that hangs needs this.
constexpr auto kLongestStop = std::chrono::seconds(10);
// How long the start of the sound may take before the picture starts without it.
constexpr auto kLongestStart = std::chrono::milliseconds(500);
// The length of each buffer of sound from the input, and how many are queued: as much sound in
// all as a device may capture while the wave thread is held up.
constexpr std::uint16_t kSoundBufferMs = 250;
constexpr std::uint16_t kSoundBuffers = 8;
// A stall of the sound input longer than this is worth telling: shorter ones
// are the hiccups of a busy machine.
constexpr std::int64_t kLongestUntoldGapMs = 500;

std::string Seconds(std::int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

WAVEFORMATEX StandardFormat(TPCMFormat pcmFormat) {
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, pcmFormat);
  return format;
}

}  // namespace

AudioTrack::AudioTrack(const Platform& platform, SessionSink& sink, TStockAudioRecorder& recorder,
                       TPCMFormat pcmFormat)
    : platform_(platform),
      sink_(sink),
      recorder_(recorder),
      pcmFormat_(pcmFormat),
      temp_(platform.files, Process().AudioTempFile, "the sound recorded until then"),
      placer_(StandardFormat(pcmFormat), platform.audioConverter) {}

AudioTrack::~AudioTrack() {
  ClearHandlers();
  if (temp_.Rescued()) sink_.DeleteTempFile(temp_.Path());
}

// Safe while the wave thread runs: once it returns, neither the handlers nor
// the placer are used any more.
void AudioTrack::ClearHandlers() {
  recorder_.ClearEvents();
  recorder_.SetPlacer(nullptr);
}

Result AudioTrack::Start() {
  ORVENNA_CHECK_THREAD(Recording, "AudioTrack::Start");
  recorder_.OnError = [this](TWaveAudioIO&) { NoteFailure(recorder_.LastFailure().Cause()); };
  recorder_.OnActivate = [this](TWaveAudioIO&) {
    std::lock_guard guard(lock_);
    started_ = true;
    startedOrFailed_.notify_all();
  };
  // The sound is placed on the clock the picture is timed by.
  recorder_.SetCaptureClock(&platform_.clock);
  recorder_.SetPlacer(&placer_);
  try {
    recorder_.SetPCMFormat(pcmFormat_);
    recorder_.SetAsync(true);
    // Sound reaches the file a buffer after its capture: short buffers keep what a killed run
    // loses of it as short as the picture's loss.
    recorder_.SetBufferLength(kSoundBufferMs);
    recorder_.SetBufferCount(kSoundBuffers);
  } catch (const EWaveAudioError& error) {
    NoteFailure(error.what());
  }
  if (!sink_.DeleteTempFile(temp_.Path())) return Result::Failed("Can not delete audio temp file.");
  bool started = false;
  try {
    started = recorder_.RecordToFile(temp_.Path());
  } catch (const std::exception& error) {
    NoteFailure(error.what());
  }
  records_ = started;
  if (started) temp_.Start();
  if (!started) {
    // The video goes on alone; no half-started sound file goes into the
    // recording.
    const std::string cause = TakeFailure().cause;
    notices_.push_back("The sound cannot be recorded: " + cause +
                       ". The recording goes on without sound.");
    sink_.DeleteTempFile(temp_.Path());
  }
  return Result::Ok();
}

// The picture waits a moment for the sound to start, so that a sound input that is slow to
// start does not cost the beginning of the recording's sound.
void AudioTrack::AlignTo(std::uint32_t videoStart, int halfSlot) {
  placer_.SetOrigin(videoStart - static_cast<std::uint32_t>(halfSlot));
  if (!recorder_.Active()) return;  // no sound to wait for
  std::unique_lock guard(lock_);
  startedOrFailed_.wait_for(guard, kLongestStart,
                            [this] { return started_ || !failure_.cause.empty(); });
}

void AudioTrack::EndWith(std::int64_t milliseconds) {
  placer_.SetEnd(milliseconds);
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
  ORVENNA_CHECK_THREAD(Recording, "AudioTrack::Finish");
  if (!recorder_.WaitUntilInactive(kLongestStop)) {
    NoteFailure("the sound input did not stop");
    // The wave thread may still deliver: from now on nothing of this track is
    // called.
    ClearHandlers();
  } else {
    // The file is complete: what a lost name took away is copied out.
    if (const Result rescued = temp_.Rescue(); !rescued) {
      notices_.push_back(rescued.Cause());
    } else if (!temp_.Note().empty()) {
      notices_.push_back(temp_.Note());
    }
  }
  if (const SoundPlacer::Gap gap = placer_.LongestGap(); gap.milliseconds > kLongestUntoldGapMs) {
    notices_.push_back("The sound input stalled for " + Seconds(gap.milliseconds) + ", " +
                       Seconds(gap.atMilliseconds) +
                       " into the recording: that time is silent, and the sound after it is "
                       "in step with the picture.");
  }
  const Failure failure = TakeFailure();
  if (failure.cause.empty()) return Result::Ok();
  // A full disk may stop the video too: its own message tells how much of it is
  // kept.
  const bool outOfRoom = recorder_.RanOutOfRoom();
  return Result::Failed(
      "The sound stopped " + Seconds(failure.atMilliseconds) +
          " into the recording: " + failure.cause +
          (outOfRoom ? ". The video went on without it." : ". The video was recorded whole."),
      outOfRoom ? FailureKind::OutOfRoom : FailureKind::Permanent);
}

std::vector<std::string> AudioTrack::TakeNotices() {
  return std::exchange(notices_, {});
}

// Keeps the first failure, with the time it came, to be reported on the
// recording thread.
void AudioTrack::NoteFailure(const std::string& cause) {
  Log(LogLevel::Warning, "sound", cause);
  std::lock_guard guard(lock_);
  if (failure_.cause.empty()) failure_ = Failure{cause, Process().ElapsedMilliseconds};
  startedOrFailed_.notify_all();
}

AudioTrack::Failure AudioTrack::TakeFailure() {
  std::lock_guard guard(lock_);
  return std::exchange(failure_, Failure{});
}

}  // namespace orvenna
