#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveRecorders.h"
#include "engine/RecordingTrack.h"
#include "engine/TempFileWatch.h"
#include "platform/Platform.h"

namespace orvenna {

class SessionSink;

// The sound of a recording: the engine's recorder writing the temporary wave file. A sound
// input that cannot start, or stops during the recording, costs the sound, never the video:
// the track says why and when (a notice, or Finish's failure), and the recording goes on
// without it. Recording thread.
class AudioTrack final : public RecordingTrack {
 public:
  // `pcmFormat`: the catalogue format to record in. The temporary files are removed through
  // `sink`.
  AudioTrack(const Platform& platform, SessionSink& sink, TStockAudioRecorder& recorder,
             TPCMFormat pcmFormat);
  ~AudioTrack() override;
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // Fails only when the old temporary file cannot be removed; a sound input that cannot start
  // leaves a notice, and the recording goes on without sound.
  Result Start() override;
  void Stop() override;
  // Waits until the recorder has finished the file. Fails when the sound stopped during the
  // recording (or did not stop): the picture is whole all the same, and the sound kept up to
  // then.
  Result Finish() override;
  std::vector<std::string> TakeNotices() override;
  const std::string& TempFile() const override { return temp_.Path(); }
  // Lines the sound up with the picture, whose slot 0 begins at `videoStart` (clock
  // milliseconds) and whose every frame shows the screen half a slot (`halfSlot` ms) before
  // its place in the stream: the sound starts with the silence (or without the sound) of the
  // time between.
  void AlignTo(std::uint32_t videoStart, int halfSlot);
  // The picture lasts `milliseconds`: sound past its end is cut off when the track finishes.
  void EndWith(std::int64_t milliseconds) { videoLength_ = milliseconds; }

 private:
  // The regression line of the frames recorded against the clock at each buffer's arrival.
  struct SoundClock {
    double n = 0, sumT = 0, sumF = 0, sumTT = 0, sumTF = 0;
    double frames = 0;
    std::uint32_t firstAt = 0;
    void Add(std::uint32_t at, std::uint32_t count) {
      if (n == 0) firstAt = at;
      frames += count;
      const double t = static_cast<std::int32_t>(at - firstAt);
      n += 1;
      sumT += t;
      sumF += frames;
      sumTT += t * t;
      sumTF += t * frames;
    }
    // 0 until ten seconds of at least five buffers are there.
    double FramesPerMillisecond() const {
      const double spread = n * sumTT - sumT * sumT;
      if (n < 5 || spread <= 0 || sumT / n < 5000) return 0;
      return (n * sumTF - sumT * sumF) / spread;
    }
  };
  void ClearHandlers();
  void FollowThePicturesClock();
  void EndWithThePicture();
  struct Failure {
    std::string cause;
    std::int64_t atMilliseconds = 0;  // elapsed time of the recording when it came
  };
  void NoteFailure(const std::string& cause);
  Failure TakeFailure();

  const Platform& platform_;
  SessionSink& sink_;
  TStockAudioRecorder& recorder_;
  const TPCMFormat pcmFormat_;
  TempFileWatch temp_;
  std::mutex lock_;
  Failure failure_;        // the first failure of the sound input, reported at the end
  SoundClock soundClock_;  // guarded by lock_
  std::vector<std::string> notices_;
  std::int64_t videoLength_ = -1;  // milliseconds; -1: not known
  std::atomic<bool> activated_{false};
  std::atomic<std::uint32_t> activatedAt_{0};  // clock milliseconds when recording began
};

}  // namespace orvenna
