#include "audio/SoundPlacer.h"

#include <algorithm>
#include <cmath>

#include "audio/WaveUtils.h"
#include "platform/Log.h"

namespace orvenna {
namespace {

// Where a buffer belongs and where the sound has got to differ by the jitter of the buffers'
// times, which are late when a busy machine held up their delivery, never early: a buffer
// that belongs later by more than this is the first after a stall of the input (silence
// fills the stall)...
constexpr double kLongestLateMs = 200;
// ...and one that belongs earlier by more than this repeats time already filled (as much of
// it is left out).
constexpr double kLongestEarlyMs = 50;
// The rate follows a drifting clock by making up what the sound is behind over this time...
constexpr double kCatchUpMs = 4000;
// ...but by no more than this share (a clock further off is a failing input, not a clock),
constexpr double kMostStretch = 5e-3;
// ...and not at all while the sound is closer than this to its place.
constexpr double kDeadBandMs = 10;
// The weight of each buffer in the average of how far behind the sound is.
constexpr double kNewestWeight = 0.25;
// A buffer is placed once the buffers after it hold this much sound: enough to see past the
// burst in which a server catches up on a stall of several seconds.
constexpr double kLookAheadMs = 8000;
// Sound held before the origin is known, at most.
constexpr double kLongestHeldMs = 10000;
// Silence is fed to the conversion in pieces of this length.
constexpr double kSilencePieceMs = 1000;

// Milliseconds from `originMs` to `capturedAtUs`, both on the clock, whose milliseconds wrap.
double SinceOrigin(std::int64_t capturedAtUs, std::uint32_t originMs) {
  std::int64_t milliseconds = capturedAtUs / 1000;
  if (capturedAtUs % 1000 < 0) --milliseconds;  // rounded down, before the start too
  const double fraction = static_cast<double>(capturedAtUs - milliseconds * 1000) / 1000.0;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(milliseconds) - originMs) + fraction;
}

}  // namespace

SoundPlacer::SoundPlacer(const WAVEFORMATEX& format, AudioConverter& converter)
    : format_(format),
      frameBytes_(std::max<std::uint32_t>(format.nBlockAlign, 1)),
      conversion_(converter.Open(format, format)) {}

SoundPlacer::~SoundPlacer() = default;

void SoundPlacer::SetOrigin(std::uint32_t originMs) {
  std::lock_guard guard(lock_);
  originMs_ = originMs;
  originKnown_ = true;
}

void SoundPlacer::SetEnd(std::int64_t milliseconds) {
  std::lock_guard guard(lock_);
  endFrames_ = FramesOf(static_cast<double>(milliseconds));
}

SoundPlacer::Gap SoundPlacer::LongestGap() const {
  std::lock_guard guard(lock_);
  return longestGap_;
}

void SoundPlacer::Place(std::int64_t capturedAtUs, std::span<const std::uint8_t> data,
                        std::vector<std::uint8_t>& out) {
  bool originKnown = false;
  std::uint32_t origin = 0;
  {
    std::lock_guard guard(lock_);
    originKnown = originKnown_;
    origin = originMs_;
  }
  if (!originKnown) {
    held_.push_back(Held{capturedAtUs, {data.begin(), data.end()}});
    heldBytes_ += data.size();
    const auto mostBytes = static_cast<std::size_t>(FramesOf(kLongestHeldMs)) * frameBytes_;
    while (heldBytes_ > mostBytes && held_.size() > 1) {
      heldBytes_ -= held_.front().data.size();
      held_.pop_front();
    }
    return;
  }
  PlaceHeld(origin, out);
  Queue(SinceOrigin(capturedAtUs, origin), data, out);
}

// A buffer's time can only be late (its delivery was held up, or the server caught up on a
// stall in a burst), never early, and the buffers after it follow it unless the input lost
// sound between them: each later buffer's time, less the length of the sound before it, is
// also a time for this one, and the earliest of them is the best. So each buffer is placed
// once the ones after it cover kLookAheadMs.
void SoundPlacer::Queue(double capturedMs, std::span<const std::uint8_t> data,
                        std::vector<std::uint8_t>& out) {
  waiting_.push_back(Waiting{capturedMs, {data.begin(), data.end()}});
  waitingMs_ += LengthMs(waiting_.back());
  while (waitingMs_ - LengthMs(waiting_.front()) >= kLookAheadMs) PlaceFirstWaiting(out);
}

void SoundPlacer::PlaceFirstWaiting(std::vector<std::uint8_t>& out) {
  const double capturedMs = FirstWaitingCapturedMs();
  const Waiting first = std::move(waiting_.front());
  waiting_.pop_front();
  waitingMs_ -= LengthMs(first);
  PlaceAt(capturedMs, first.data, out);
}

double SoundPlacer::FirstWaitingCapturedMs() const {
  double capturedMs = waiting_.front().capturedMs;
  double before = 0;
  for (const Waiting& later : waiting_) {
    capturedMs = std::min(capturedMs, later.capturedMs - before);
    before += LengthMs(later);
  }
  return capturedMs;
}

// Before the first sound is placed, its lead is part of what is pending: silence before it, or
// its start left out where it came before the track's.
void SoundPlacer::Pending(std::vector<std::uint8_t>& out) const {
  if (waiting_.empty()) return;
  std::int64_t skip = 0;
  if (!started_) {
    const double belongsAt = FirstWaitingCapturedMs() * format_.nSamplesPerSec / 1000.0;
    std::vector<std::uint8_t> lead(
        static_cast<std::size_t>(std::llround(std::max(belongsAt, 0.0))) * frameBytes_);
    FillSilence(lead, format_);
    out.insert(out.end(), lead.begin(), lead.end());
    skip = std::llround(std::max(-belongsAt, 0.0)) * frameBytes_;
  }
  for (const Waiting& waiting : waiting_) {
    const std::size_t whole = waiting.data.size() / frameBytes_ * frameBytes_;
    const auto left = static_cast<std::size_t>(std::min<std::int64_t>(skip, whole));
    skip -= static_cast<std::int64_t>(left);
    out.insert(out.end(), waiting.data.begin() + static_cast<std::ptrdiff_t>(left),
               waiting.data.begin() + static_cast<std::ptrdiff_t>(whole));
  }
}

double SoundPlacer::LengthMs(const Waiting& waiting) const {
  return static_cast<double>(waiting.data.size() / frameBytes_) * 1000.0 / format_.nSamplesPerSec;
}

void SoundPlacer::Finish(std::vector<std::uint8_t>& out) {
  bool originKnown = false;
  std::uint32_t origin = 0;
  {
    std::lock_guard guard(lock_);
    originKnown = originKnown_;
    origin = originMs_;
  }
  if (!originKnown) return;  // no picture: no sound track either
  PlaceHeld(origin, out);
  while (waiting_.size() > 1) PlaceFirstWaiting(out);
  if (!waiting_.empty() && started_) {
    // The last buffer has none after it to confirm a stall before it: a server that catches
    // up when the recording stops looks like one. It follows the sound before it, unless it
    // came early.
    const double followsMs =
        static_cast<double>(produced_ + HeldFrames()) * 1000.0 / format_.nSamplesPerSec;
    waiting_.front().capturedMs = std::min(waiting_.front().capturedMs, followsMs);
  }
  if (!waiting_.empty()) PlaceFirstWaiting(out);
  if (conversion_) {
    converted_.clear();
    conversion_->Drain(converted_);
    Emit(converted_, out);
  }
}

void SoundPlacer::PlaceHeld(std::uint32_t originMs, std::vector<std::uint8_t>& out) {
  for (const Held& held : held_) {
    Queue(SinceOrigin(held.capturedAtUs, originMs), held.data, out);
  }
  held_.clear();
  heldBytes_ = 0;
}

void SoundPlacer::PlaceAt(double capturedMs, std::span<const std::uint8_t> data,
                          std::vector<std::uint8_t>& out) {
  data = data.first(data.size() / frameBytes_ * frameBytes_);
  const auto frames = static_cast<std::int64_t>(data.size() / frameBytes_);
  const double belongsAt = capturedMs * format_.nSamplesPerSec / 1000.0;
  if (!started_) {
    // The first sound: the time before it is silence; sound from before the track's start
    // is left out.
    const std::int64_t early =
        std::min<std::int64_t>(frames, std::llround(std::max(-belongsAt, 0.0)));
    data = data.subspan(static_cast<std::size_t>(early) * frameBytes_);
    if (data.empty()) return;
    started_ = true;
    FeedSilence(std::llround(std::max(belongsAt, 0.0)), out);
    Feed(data, out);
    return;
  }
  const std::int64_t held = HeldFrames();
  const double behind = belongsAt - static_cast<double>(produced_ + held);
  if (behind > static_cast<double>(FramesOf(kLongestLateMs))) {
    const std::int64_t missing = std::llround(behind);
    {
      std::lock_guard guard(lock_);
      const std::int64_t milliseconds = missing * 1000 / format_.nSamplesPerSec;
      if (milliseconds > longestGap_.milliseconds) {
        longestGap_ = Gap{(produced_ + held) * 1000 / format_.nSamplesPerSec, milliseconds};
      }
    }
    Log(LogLevel::Debug, "sound",
        "a stall of " + std::to_string(missing * 1000 / format_.nSamplesPerSec) + " ms");
    FeedSilence(missing, out);
  } else if (behind < -static_cast<double>(FramesOf(kLongestEarlyMs))) {
    const std::int64_t early = std::min<std::int64_t>(frames, std::llround(-behind));
    Log(LogLevel::Debug, "sound",
        std::to_string(early * 1000 / format_.nSamplesPerSec) + " ms of sound came too early");
    data = data.subspan(static_cast<std::size_t>(early) * frameBytes_);
  } else {
    FollowTheClock(behind);
  }
  Feed(data, out);
}

void SoundPlacer::FollowTheClock(double behind) {
  if (!conversion_) return;
  smoothedBehind_ += kNewestWeight * (behind - smoothedBehind_);
  const double over = static_cast<double>(FramesOf(kCatchUpMs));
  const double most = kMostStretch * over;
  const double delta = std::abs(smoothedBehind_) < static_cast<double>(FramesOf(kDeadBandMs))
                           ? 0
                           : std::clamp(smoothedBehind_, -most, most);
  // The conversion only copies until its first stretch: it is not begun without need.
  if (delta == 0 && !stretching_) return;
  stretching_ = conversion_->Stretch(std::llround(delta), static_cast<std::int64_t>(over));
}

void SoundPlacer::FeedSilence(std::int64_t frames, std::vector<std::uint8_t>& out) {
  const std::int64_t piece = std::max<std::int64_t>(FramesOf(kSilencePieceMs), 1);
  std::vector<std::uint8_t> silence(static_cast<std::size_t>(std::min(frames, piece)) *
                                    frameBytes_);
  FillSilence(silence, format_);
  while (frames > 0) {
    const std::int64_t now = std::min(frames, piece);
    Feed(std::span(silence).first(static_cast<std::size_t>(now) * frameBytes_), out);
    frames -= now;
  }
}

void SoundPlacer::Feed(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
  if (data.empty()) return;
  if (!conversion_) {
    Emit(data, out);
    return;
  }
  converted_.clear();
  conversion_->Feed(data.data(), data.size() / frameBytes_, converted_);
  Emit(converted_, out);
}

void SoundPlacer::Emit(std::span<const std::uint8_t> frames, std::vector<std::uint8_t>& out) {
  std::int64_t end = -1;
  {
    std::lock_guard guard(lock_);
    end = endFrames_;
  }
  const auto count = static_cast<std::int64_t>(frames.size() / frameBytes_);
  produced_ += count;
  const std::int64_t kept = end < 0 ? count : std::clamp<std::int64_t>(end - written_, 0, count);
  out.insert(out.end(), frames.begin(),
             frames.begin() + static_cast<std::ptrdiff_t>(kept * frameBytes_));
  written_ += kept;
}

std::int64_t SoundPlacer::HeldFrames() const {
  return conversion_ ? conversion_->HeldFrames() : 0;
}

std::int64_t SoundPlacer::FramesOf(double milliseconds) const {
  return std::llround(milliseconds * format_.nSamplesPerSec / 1000.0);
}

}  // namespace orvenna
