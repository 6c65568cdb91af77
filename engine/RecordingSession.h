#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/PackedFrame.h"
#include "engine/RecordingSettings.h"
#include "engine/RecordingTrack.h"
#include "engine/SessionContext.h"
#include "engine/SessionGrab.h"
#include "engine/SessionStatistics.h"
#include "engine/VideoTrack.h"
#include "platform/avi/Avi.h"

namespace orvenna {

class AudioTrack;

// How one run of a recording session ended.
enum class SessionOutcome {
  Finished,             // the recording ended as asked (kept or discarded)
  Abandoned,            // aborted or failed for good
  RunAgainWithDefault,  // failed; the user chose to record again with the default compressor
};

// What a recording needs of the engine's state when it starts: the settings, and the
// catalogue entry of the selected compressor.
struct SessionSnapshot {
  RecordingSettings settings;
  std::optional<ICINFO> selectedEntry;  // none when the selection is outside the catalogue
};

// One recording, from the start to the end of its thread: set-up, frame loop, tear-down and
// final assembly, run again with the default compressor when the user asks for it. Owns its
// grab and its tracks; sees the program only through its context, and tells the user and the
// engine's events through the context's sink. Created on the UI thread by StartRecording; runs
// on the recording thread.
class RecordingSession {
 public:
  RecordingSession(const SessionContext& context, SessionSnapshot snapshot);
  ~RecordingSession();
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // The whole life of the recording thread: runs until a run does not ask to run again,
  // saving into `fileName`, reports the saved file and removes the temporary files.
  void RunThread(const std::string& fileName);
  // One run of the session, saving into `fileName` when the recording is stopped to be kept.
  SessionOutcome Run(const std::string& fileName);

 private:
  // Set-up.
  PackedFrame GrabSample(const Rect& area);
  std::optional<int> AdjustDimensions(VideoCompressor& compressor, PackedFrame& sample);
  // A sample frame could not be grabbed: said, and the session ends.
  SessionOutcome EndForUngrabbableSample();
  std::optional<SessionOutcome> DecideCompressor(PackedFrame& sample);
  std::optional<SessionOutcome> FitSampleToDefaultCompressor(PackedFrame& sample);
  void UseDefaultCompressorNow();
  void AdoptSampleSize(const PackedFrame& sample);
  Result StartTrack(RecordingTrack& track);
  Result StartSound();
  VideoStreamSetup StreamSetup() const;
  // The loop; false when a write failed.
  bool RunFrameLoop(VideoTrack& video);
  // Writes the grabbed image as sample `slot`; a failure ends the loop.
  Result WriteFrame(VideoTrack& video, const ImageView& image, int slot);
  // The grabbed image as a frame to write; null when no memory could be had for it.
  PackedFrame Pack(const ImageView& image);
  // A packed frame whose pixels could not be read ends the recording as Esc does.
  PackedFrame Checked(PackedGrab packed);
  GrabOptions GrabOptionsOfSession() const;
  // Tear-down.
  bool FinishTracks(bool failed);
  void ReportNotices(RecordingTrack& track);
  void Publish();
  void ReportFullDisk(VideoTrack& video);
  void NoteLostScreen(const std::string& cause, std::uint32_t elapsed);
  SessionOutcome OutcomeOfFailure();
  // Endings.
  SessionOutcome Abandon(const std::string& message);
  void EndAsCancelled(bool raisePreview);
  void RestoreAppIfAsked();
  bool Ask(const std::string& question);

  const SessionContext context_;
  const Platform& platform_;
  SessionSink& sink_;
  const SessionSnapshot snapshot_;
  const RecordingSettings& settings_;
  SessionGrab grab_;
  RecordingTracks tracks_;        // the video first
  AudioTrack* sound_ = nullptr;   // among the tracks when sound is recorded
  std::int64_t videoLength_ = 0;  // milliseconds of picture written by the frame loop
  SessionStatistics statistics_;
  std::string lostScreenReport_;  // why the screen could not be read, once it could not
};

}  // namespace orvenna
