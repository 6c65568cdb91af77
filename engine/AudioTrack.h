#pragma once

#include <condition_variable>
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

// The sound of a recording: the engine's recorder writing the temporary wave
// file. A sound input that cannot start, or stops during the recording, costs
// the sound, never the video: the track says why and when (a notice, or
// Finish's failure), and the recording goes on without it. Recording thread.
class AudioTrack final : public RecordingTrack {
 public:
  // `pcmFormat`: the catalogue format to record in. The temporary files are
  // removed through `sink`.
  AudioTrack(const Platform& platform, SessionSink& sink, TStockAudioRecorder& recorder,
             TPCMFormat pcmFormat);
  ~AudioTrack() override;
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // Fails only when the old temporary file cannot be removed; a sound input
  // that cannot start leaves a notice, and the recording goes on without sound.
  Result Start() override;
  void Stop() override;
  // Waits until the recorder has finished the file. Fails when the sound
  // stopped during the recording (or did not stop): the picture is whole all
  // the same, and the sound kept up to then. A stall of the input leaves a
  // notice.
  Result Finish() override;
  std::vector<std::string> TakeNotices() override;
  const std::string& TempFile() const override { return temp_.Path(); }
  // Whether Start opened the sound input, so that the recording has sound.
  bool Records() const { return records_; }
  // Lines the sound up with the picture, whose slot 0 begins at `videoStart`
  // (clock milliseconds) and whose every frame shows the screen half a slot
  // (`halfSlot` ms) before its place in the stream: the sound starts with the
  // silence (or without the sound) of the time between. Each buffer is placed
  // by the time it was captured as it arrives.
  void AlignTo(std::uint32_t videoStart, int halfSlot);
  // The picture lasts `milliseconds`: sound past its end is cut off as it
  // arrives.
  void EndWith(std::int64_t milliseconds);

 private:
  void ClearHandlers();
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
  SoundPlacer placer_;
  std::mutex lock_;
  std::condition_variable startedOrFailed_;  // signalled under lock_
  bool started_ = false;                     // guarded by lock_: the input records
  Failure failure_;  // the first failure of the sound input, reported at the end
  std::vector<std::string> notices_;
  bool records_ = false;
};

}  // namespace orvenna
