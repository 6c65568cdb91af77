#include "engine/AudioTrack.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "engine/Vistrel.h"
#include "platform/Log.h"

namespace orvenna {
namespace {

// How long the end of the sound may take: the last buffers come back at once when the input
// is reset, so only a sound layer that hangs needs this.
constexpr auto kLongestStop = std::chrono::seconds(10);
// A stall of the sound input longer than this is worth telling: shorter ones are the hiccups
// of a busy machine.
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

AudioTrack::AudioTrack(TVistrel& engine, TStockAudioRecorder& recorder, TPCMFormat pcmFormat)
    : engine_(engine),
      recorder_(recorder),
      pcmFormat_(pcmFormat),
      temp_(engine.platform_.files, Process().AudioTempFile, "the sound recorded until then"),
      placer_(StandardFormat(pcmFormat), engine.platform_.clock, engine.platform_.audioConverter) {}

AudioTrack::~AudioTrack() {
  ClearHandlers();
  if (temp_.Rescued()) engine_.DeleteTempFile(temp_.Path());
}

// Safe while the wave thread runs: once it returns, neither the handlers nor the placer are
// used any more.
void AudioTrack::ClearHandlers() {
  recorder_.ClearEvents();
  recorder_.SetPlacer(nullptr);
}

bool AudioTrack::Start() {
  recorder_.OnError = [this](TWaveAudioIO&) { NoteFailure(recorder_.LastFailure().Cause()); };
  recorder_.SetPlacer(&placer_);
  try {
    recorder_.SetPCMFormat(pcmFormat_);
    recorder_.SetAsync(true);
  } catch (const EWaveAudioError& error) {
    NoteFailure(error.what());
  }
  if (!engine_.DeleteTempFile(temp_.Path())) {
    engine_.RaiseError("Can not delete audio temp file.");
    return false;
  }
  bool started = false;
  try {
    started = recorder_.RecordToFile(temp_.Path());
  } catch (const std::exception& error) {
    NoteFailure(error.what());
  }
  if (started) temp_.Start();
  if (!started) {
    // The video goes on alone; no half-started sound file goes into the recording.
    const std::string cause = TakeFailure().cause;
    engine_.RaiseError("The sound cannot be recorded: " + cause +
                       ". The recording goes on without sound.");
    engine_.DeleteTempFile(temp_.Path());
  }
  return true;
}

void AudioTrack::AlignTo(std::uint32_t videoStart, int halfSlot) {
  placer_.SetOrigin(videoStart - static_cast<std::uint32_t>(halfSlot));
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
  if (!recorder_.WaitUntilInactive(kLongestStop)) {
    NoteFailure("the sound input did not stop");
    // The wave thread may still deliver: from now on nothing of this track is called.
    ClearHandlers();
  } else {
    // The file is complete: what a lost name took away is copied out.
    if (const Result rescued = temp_.Rescue(); !rescued) {
      engine_.RaiseError(rescued.Cause());
    } else if (!temp_.Note().empty()) {
      engine_.RaiseError(temp_.Note());
    }
  }
  if (const SoundPlacer::Gap gap = placer_.LongestGap(); gap.milliseconds > kLongestUntoldGapMs) {
    engine_.RaiseError("The sound input stalled for " + Seconds(gap.milliseconds) + ", " +
                       Seconds(gap.atMilliseconds) +
                       " into the recording: that time is silent, and the sound after it is "
                       "in step with the picture.");
  }
  const Failure failure = TakeFailure();
  if (!failure.cause.empty()) {
    // A full disk may stop the video too: its own message tells how much of it is kept.
    engine_.RaiseError("The sound stopped " + Seconds(failure.atMilliseconds) +
                       " into the recording: " + failure.cause +
                       (recorder_.RanOutOfRoom() ? ". The video went on without it."
                                                 : ". The video was recorded whole."));
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
