#include "engine/AudioTrack.h"

#include <algorithm>
#include <chrono>
#include <cmath>
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
// The drift of the sound clock that is corrected: less is inaudible and invisible over an
// hour's recording; more is not a clock but a failing input.
constexpr double kLeastCorrectedDrift = 20e-6;
constexpr double kMostCorrectedDrift = 5e-3;
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
      temp_(engine.platform_.files, Process().AudioTempFile, "the sound recorded until then") {}

AudioTrack::~AudioTrack() {
  ClearHandlers();
  if (temp_.Rescued()) engine_.DeleteTempFile(temp_.Path());
}

void AudioTrack::ClearHandlers() {
  recorder_.OnError = nullptr;
  recorder_.OnActivate = nullptr;
  recorder_.OnData = nullptr;
}

bool AudioTrack::Start() {
  recorder_.OnError = [this](TWaveAudioIO& sender) {
    NoteFailure(recorder_.RanOutOfRoom() ? "the disk holding " + temp_.Path() + " is full"
                                         : sender.LastErrorText());
  };
  recorder_.OnActivate = [this](TWaveAudioIO&) {
    activatedAt_ = engine_.platform_.clock.Milliseconds();
    activated_ = true;
  };
  recorder_.OnData = [this](TWaveAudioIO& sender, const std::uint8_t*, std::uint32_t count) {
    std::lock_guard guard(lock_);
    const std::uint32_t blockAlign = std::max<std::uint32_t>(sender.WaveFormat().nBlockAlign, 1);
    soundClock_.Add(engine_.platform_.clock.Milliseconds(), count / blockAlign);
  };
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

// The sound card's clock may run a little fast or slow against the one the picture is timed
// by (0.01 % is common: 60 ms in ten minutes). The buffers' arrival times tell its real rate;
// the sound is then stretched to last as long as the recording took.
void AudioTrack::FollowThePicturesClock() {
  SoundClock clock;
  {
    std::lock_guard guard(lock_);
    clock = soundClock_;
  }
  const WAVEFORMATEX format = recorder_.FormatRecord();
  const double measured = clock.FramesPerMillisecond();
  if (measured <= 0 || format.nSamplesPerSec == 0) return;
  const double ratio = format.nSamplesPerSec / 1000.0 / measured;
  const double off = std::abs(ratio - 1);
  if (off < kLeastCorrectedDrift || off > kMostCorrectedDrift) return;
  const auto delta = static_cast<std::int64_t>(std::llround(clock.frames * (ratio - 1)));
  Log(LogLevel::Info, "sound",
      "the sound clock ran " + std::to_string((1 / ratio - 1) * 1e6) + " ppm off; stretching by " +
          std::to_string(delta) + " frames");
  try {
    if (StretchWaveFile(engine_.platform_.files, temp_.Path(), delta)) return;
  } catch (const EWaveAudioError& error) {
    Log(LogLevel::Warning, "sound", error.what());
  }
  Log(LogLevel::Warning, "sound", "the sound could not be stretched; it is kept as recorded");
}

// The sound goes on a little after the last frame (the stop comes during the frame's slot,
// and the input is stopped after the picture's file is closed): what lies past the picture's
// end is cut off.
void AudioTrack::EndWithThePicture() {
  if (videoLength_ < 0) return;
  const WAVEFORMATEX format = recorder_.FormatRecord();
  const auto frames = static_cast<std::uint64_t>(videoLength_) * format.nSamplesPerSec / 1000;
  try {
    if (CutWaveFile(engine_.platform_.files, temp_.Path(), frames)) return;
  } catch (const EWaveAudioError& error) {
    Log(LogLevel::Warning, "sound", error.what());
  }
  Log(LogLevel::Warning, "sound", "the sound could not be cut to the picture's length");
}

Result AudioTrack::Finish() {
  const auto deadline = std::chrono::steady_clock::now() + kLongestStop;
  while (recorder_.Active() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (recorder_.Active()) NoteFailure("the sound input did not stop");
  if (!recorder_.Active()) {
    // The file is complete: what a lost name took away is copied out before it is worked on.
    if (const Result rescued = temp_.Rescue(); !rescued) {
      engine_.RaiseError(rescued.Cause());
    } else if (!temp_.Note().empty()) {
      engine_.RaiseError(temp_.Note());
    }
    FollowThePicturesClock();
    EndWithThePicture();
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
