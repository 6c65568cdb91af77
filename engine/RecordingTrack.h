#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace orvenna {

// One stream of a recording (the video, the sound), recorded into a temporary file of its own
// and handed to the final assembly when the recording ends. A track reports nothing itself:
// its failures and notices carry the message for the user, and the session decides what the
// user hears. Recording thread.
class RecordingTrack {
 public:
  virtual ~RecordingTrack() = default;

  // Removes what an earlier recording left in the temporary file and starts recording into
  // it. A failure means the track could not start.
  virtual Result Start() = 0;
  // Asks the track to stop recording.
  virtual void Stop() = 0;
  // Waits until the temporary file is complete and closes it.
  virtual Result Finish() = 0;
  // What the user is to be told though the track went on (a sound that could not start, a
  // temporary file copied out), in the order it came; each once.
  virtual std::vector<std::string> TakeNotices() = 0;

  // The temporary file the final assembly reads.
  virtual const std::string& TempFile() const = 0;
};

// A recording's tracks, the video first.
using RecordingTracks = std::vector<std::unique_ptr<RecordingTrack>>;

}  // namespace orvenna
