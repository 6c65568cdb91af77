#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "audio/WaveRecorders.h"
#include "engine/RecordingTrack.h"
#include "engine/TempFileWatch.h"

namespace orvenna {

class TVistrel;

// The sound of a recording: the engine's recorder writing the temporary wave file. A sound
// input that cannot start, or stops during the recording, costs the sound, never the video:
// the user is told why and when, and the recording goes on without it. Recording thread.
class AudioTrack final : public RecordingTrack {
 public:
  // `pcmFormat`: the catalogue format to record in.
  AudioTrack(TVistrel& engine, TStockAudioRecorder& recorder, TPCMFormat pcmFormat);
  ~AudioTrack() override;
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // False only when the old temporary file cannot be removed.
  bool Start() override;
  void Stop() override;
  // Waits until the recorder has finished the file; a sound failure is reported here.
  Result Finish() override;
  const std::string& TempFile() const override { return temp_.Path(); }
  // Lines the sound up with the picture, whose slot 0 begins at `videoStart` (clock
  // milliseconds) and whose every frame shows the screen half a slot (`halfSlot` ms) before
  // its place in the stream: the sound starts with the silence (or without the sound) of the
  // time between. Each buffer is placed by the time it was captured as it arrives.
  void AlignTo(std::uint32_t videoStart, int halfSlot);
  // The picture lasts `milliseconds`: sound past its end is cut off as it arrives.
  void EndWith(std::int64_t milliseconds);

 private:
  void ClearHandlers();
  struct Failure {
    std::string cause;
    std::int64_t atMilliseconds = 0;  // elapsed time of the recording when it came
  };
  void NoteFailure(const std::string& cause);
  Failure TakeFailure();

  TVistrel& engine_;
  TStockAudioRecorder& recorder_;
  const TPCMFormat pcmFormat_;
  TempFileWatch temp_;
  SoundPlacer placer_;
  std::mutex lock_;
  Failure failure_;  // the first failure of the sound input, reported at the end
};

}  // namespace orvenna
