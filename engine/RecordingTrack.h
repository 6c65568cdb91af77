#pragma once

#include <string>

#include "platform/Result.h"

namespace orvenna {

// One stream of a recording (the video now, the sound later), recorded into a temporary file
// of its own and handed to the final assembly when the recording ends. Recording thread.
class RecordingTrack {
 public:
  virtual ~RecordingTrack() = default;

  // Removes what an earlier recording left in the temporary file and starts recording into
  // it. False when the track could not start; the failure has been reported.
  virtual bool Start() = 0;
  // Asks the track to stop recording.
  virtual void Stop() = 0;
  // Waits until the temporary file is complete and closes it. A failure carries the message
  // for the user; it has not been reported yet.
  virtual Result Finish() = 0;

  // The temporary file the final assembly reads.
  virtual const std::string& TempFile() const = 0;
};

}  // namespace orvenna
