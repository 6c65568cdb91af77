#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/AudioConverter.h"
#include "platform/WaveFormat.h"

namespace orvenna {

// Puts recorded sound in its place on the picture's time line as it arrives, so that the
// sound file is finished when the input stops. Each buffer goes where the time it was
// captured says: the time before the first one is silence (or sound from before the picture
// is left out), a sound clock that runs fast or slow against the picture's clock is followed
// by a change of rate too small to hear, a stall of the input leaves silence of its length
// where it happened, and sound past the picture's end is cut off.
//
// Threads: SetOrigin, SetEnd and LongestGap from any thread; Place and Finish on the thread
// that delivers the sound (the wave thread), one at a time.
class SoundPlacer {
 public:
  // A stretch of silence put in for sound that did not come.
  struct Gap {
    std::int64_t atMilliseconds = 0;  // from the start of the sound track
    std::int64_t milliseconds = 0;    // 0: none
  };

  // `format` is the PCM format of the sound, in and out. Without a conversion for it from
  // `converter`, the sound is placed without following a drifting clock.
  SoundPlacer(const WAVEFORMATEX& format, AudioConverter& converter);
  ~SoundPlacer();
  SoundPlacer(const SoundPlacer&) = delete;
  SoundPlacer& operator=(const SoundPlacer&) = delete;

  // The sound track begins at `originMs` on the clock. Buffers that arrive before it is known
  // are held until it is.
  void SetOrigin(std::uint32_t originMs);
  // The sound track lasts `milliseconds`: sound past it is cut off.
  void SetEnd(std::int64_t milliseconds);
  // The longest silence put in so far for a stall of the input.
  Gap LongestGap() const;

  // Places `data`, whose first frame was captured at `capturedAtUs` (microseconds on the clock
  // the origin is told on: its milliseconds times 1000), appending what goes into the sound
  // file to `out`.
  void Place(std::int64_t capturedAtUs, std::span<const std::uint8_t> data,
             std::vector<std::uint8_t>& out);
  // The input has ended: appends what is still held back.
  void Finish(std::vector<std::uint8_t>& out);
  // Appends what the sound held back for placing becomes when no buffer after it moves it:
  // the placed sound so far followed by this is the track as far as it was captured, for a copy
  // on the disk that a crash leaves behind (the placed sound is then written over it).
  void Pending(std::vector<std::uint8_t>& out) const;

 private:
  struct Held {
    std::int64_t capturedAtUs;
    std::vector<std::uint8_t> data;
  };

  struct Waiting {
    double capturedMs;
    std::vector<std::uint8_t> data;
  };

  // Keeps a buffer captured `capturedMs` after the origin (or earlier) until the buffers after
  // it tell its time, placing those whose time is told.
  void Queue(double capturedMs, std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);
  void PlaceFirstWaiting(std::vector<std::uint8_t>& out);
  // The capture time of the first waiting buffer, as the buffers after it tell it.
  double FirstWaitingCapturedMs() const;
  double LengthMs(const Waiting& waiting) const;
  // Places a buffer captured `capturedMs` after the origin.
  void PlaceAt(double capturedMs, std::span<const std::uint8_t> data,
               std::vector<std::uint8_t>& out);
  void PlaceHeld(std::uint32_t originMs, std::vector<std::uint8_t>& out);
  // Nudges the rate so that the placed sound catches up with (or waits for) `behind` frames.
  void FollowTheClock(double behind);
  void FeedSilence(std::int64_t frames, std::vector<std::uint8_t>& out);
  void Feed(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);
  // Appends converted frames to `out`, up to the track's end.
  void Emit(std::span<const std::uint8_t> frames, std::vector<std::uint8_t>& out);
  std::int64_t FramesOf(double milliseconds) const;
  // Frames fed to the conversion that have not come out yet.
  std::int64_t HeldFrames() const;

  const WAVEFORMATEX format_;
  const std::uint32_t frameBytes_;
  const std::unique_ptr<AudioConversion> conversion_;

  mutable std::mutex lock_;
  bool originKnown_ = false;     // guarded by lock_
  std::uint32_t originMs_ = 0;   // guarded by lock_
  std::int64_t endFrames_ = -1;  // guarded by lock_; -1: not known
  Gap longestGap_;               // guarded by lock_

  std::deque<Held> held_;        // before the origin is known
  std::deque<Waiting> waiting_;  // the newest buffers, placed when later ones tell their time
  double waitingMs_ = 0;         // of sound in waiting_
  std::size_t heldBytes_ = 0;
  bool started_ = false;       // the first buffer has been placed
  std::int64_t produced_ = 0;  // frames that came out of the conversion
  std::int64_t written_ = 0;   // of those, the ones within the track
  double smoothedBehind_ = 0;  // frames, averaged over the last buffers
  bool stretching_ = false;    // a stretch has been set on the conversion
  std::vector<std::uint8_t> converted_;
};

}  // namespace orvenna
