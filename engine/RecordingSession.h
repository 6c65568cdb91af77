#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/PackedFrame.h"
#include "engine/RecordingSettings.h"
#include "engine/SessionStatistics.h"
#include "engine/VideoTrack.h"
#include "engine/Vistrel.h"

namespace orvenna {

class AudioTrack;
class RecordingTrack;

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
// grab context and its tracks, and publishes its statistics through the engine.
// Created on the UI thread by StartRecording; runs on the recording thread.
class RecordingSession {
 public:
  RecordingSession(TVistrel& engine, SessionSnapshot snapshot);
  ~RecordingSession();
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // The whole life of the recording thread: runs until a run does not ask to run again,
  // reports the saved file and removes the temporary files.
  void RunThread();
  // One run of the session, saving into `fileName` when the recording is stopped to be kept.
  SessionOutcome Run(const std::string& fileName);

 private:
  // Set-up.
  PackedFrame Grab(const Rect& area);
  int AdjustDimensions(VideoCompressor& compressor, PackedFrame& sample);
  std::optional<SessionOutcome> DecideCompressor(PackedFrame& sample);
  std::optional<SessionOutcome> FitSampleToDefaultCompressor(PackedFrame& sample);
  void UseDefaultCompressorNow();
  void AdoptSampleSize(const PackedFrame& sample);
  bool StartSound();
  VideoStreamSetup StreamSetup() const;
  // The loop; false when a write failed.
  bool RunFrameLoop(VideoTrack& video);
  // A grab of the loop into `image`; fails when the screen can no longer be read.
  Result GrabRecorded(const Rect& area, ImageView& image);
  // The grabbed image as a frame to write; null when no memory could be had for it.
  PackedFrame PackRecorded(const ImageView& image);
  GrabOptions GrabOptionsOfSession() const;
  // Tear-down.
  bool FinishTracks(bool failed);
  void Publish();
  void ReportFullDisk(VideoTrack& video);
  void NoteLostScreen(const std::string& cause, std::uint32_t elapsed);
  SessionOutcome OutcomeOfFailure();
  // Endings.
  SessionOutcome Abandon(const std::string& message);
  void EndAsCancelled(bool raisePreview);
  void RestoreAppIfAsked();
  bool Ask(const std::string& question);

  TVistrel& engine_;
  const SessionSnapshot snapshot_;
  const RecordingSettings& settings_;
  GrabContext grab_;
  RecordingTracks tracks_;        // the video first
  AudioTrack* sound_ = nullptr;   // among the tracks when sound is recorded
  std::int64_t videoLength_ = 0;  // milliseconds of picture written by the frame loop
  SessionStatistics statistics_;
  std::string lostScreenReport_;  // why the screen could not be read, once it could not
};

}  // namespace orvenna
