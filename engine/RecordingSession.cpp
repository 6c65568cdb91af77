#include "engine/RecordingSession.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "audio/WaveRecorders.h"
#include "engine/Assembly.h"
#include "engine/AudioTrack.h"
#include "engine/CompressorFit.h"
#include "engine/PassRates.h"
#include "engine/RecordingTrack.h"
#include "engine/Utf16.h"
#include "platform/Log.h"
#include "platform/ThreadRole.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kMinimumVideoLibraryVersion = 0x010A;
constexpr std::uint32_t kUpdateEveryMs = 200;
// A grab that fails for a moment (the server refused one read) is tried again within the
// slot; one that still fails after this long has lost the screen.
constexpr std::uint32_t kLongestGrabFailureMs = 1000;
constexpr auto kGrabRetryPause = std::chrono::milliseconds(2);
constexpr std::uint32_t kDefaultCompressorFcc = FourCC('M', 'S', 'V', 'C');
constexpr const char* kDefaultCodecName = "MS Video Codec";

const char* const kUseDefaultAfterFailure =
    "Error: Not recording AVI file using current compressor.\r\nUse default compressor? ";
const char* const kUseDefaultAfterSizes =
    "Error: This compressor cann`t work if the dimensions is adjusted slightly\r\n"
    "Use default compressor? ";
const char* const kUseDefaultWhenNoneSelected =
    "You no selected compressor, use default compressor?";
const char* const kUserAborted = "User aborted!";
const char* const kCaptureFailed = "Error capturing a frame from screen.";

// Rounds to the nearest integer, halves to even.
double RoundHalfEven(double value) {
  return std::nearbyint(value);
}

}  // namespace

RecordingSession::RecordingSession(const SessionContext& context, SessionSnapshot snapshot)
    : context_(context),
      platform_(context.platform),
      sink_(context.sink),
      snapshot_(std::move(snapshot)),
      settings_(snapshot_.settings),
      grab_(platform_.screen, platform_.cursor,
            [&sink = context.sink](const ImageView& surface, int width, int height) {
              return sink.Overlay(surface, width, height);
            }) {}

RecordingSession::~RecordingSession() = default;

// The recording thread: runs the session until a run does not ask to run again, reports a
// saved file and removes the temporary files. A run that answered "run again" has set the
// stop request to Cancel, so the rerun keeps its recording only when it is stopped to keep.
void RecordingSession::RunThread(const std::string& fileName) {
  ORVENNA_CHECK_THREAD(Recording, "RecordingSession::RunThread");
  ProcessState& process = Process();
  process.SaveSucceeded = false;
  while (Run(fileName) == SessionOutcome::RunAgainWithDefault) {
  }
  if (process.SaveSucceeded) sink_.Saving(100, "Saving Success...");
  sink_.DeleteTempFile(process.VideoTempFile);
  sink_.DeleteTempFile(process.AudioTempFile);
  grab_.Release();  // the display connection goes with the thread that used it
}

SessionOutcome RecordingSession::Run(const std::string& fileName) {
  ORVENNA_CHECK_THREAD(Recording, "RecordingSession::Run");
  // The video library must be recent enough.
  if ((platform_.codecs.Version() >> 16) < kMinimumVideoLibraryVersion) {
    sink_.Report("Failure: Video for windows version too old!");
    EndAsCancelled(/*raisePreview=*/false);
    RestoreAppIfAsked();
    return SessionOutcome::Abandoned;
  }

  // A sample frame of the region gives the stream its format.
  PackedFrame sample = GrabSample(context_.region.Get());
  if (!sample) return EndForUngrabbableSample();

  // The compressor, asking the user when the selected one cannot be used.
  if (const auto ending = DecideCompressor(sample)) return *ending;
  if (const auto ending = FitSampleToDefaultCompressor(sample)) return *ending;

  // The tracks: the video stream in its temporary file, then OnStart.
  const Rect region = context_.region.Get();
  Log(LogLevel::Debug, "session",
      "recording " + std::to_string(region.width) + "x" + std::to_string(region.height) + " at " +
          std::to_string(region.left) + "," + std::to_string(region.top) + ", " +
          std::to_string(settings_.BitCount()) + " bits, compressor " +
          FourCCText(context_.compressor.fcc.Get()));
  AVIFileInit();
  // The sound starts first: whether it records decides the rate the picture plays at.
  const bool soundFailed = !StartSound();
  auto video = std::make_unique<VideoTrack>(platform_, sink_, StreamSetup(), std::move(sample));
  VideoTrack& videoTrack = *video;
  tracks_.insert(tracks_.begin(), std::move(video));
  bool failed = soundFailed || !StartTrack(videoTrack);
  if (!failed) {
    sink_.Started();
    // The frame loop, until the recording is stopped or cancelled.
    failed = !RunFrameLoop(videoTrack);
  }
  if (sound_) sound_->EndWith(videoLength_);

  // Tear-down: the tracks end and close their files, then the assembly of a kept recording.
  sink_.Stopped();
  failed = !FinishTracks(failed);
  if (videoTrack.OutOfRoom()) ReportFullDisk(videoTrack);
  RestoreAppIfAsked();
  if (!failed && context_.stop.Request() == TStopRequest::Stop) {
    const AssemblyContext assembly{
        platform_.files,
        platform_.shell,
        context_.kept,
        context_.lock,
        context_.replaceOutput,
        sink_,
        [this](int percent) { return sink_.Saving(percent, "Saving Video...") ? 0 : -1; },
        platform_.containers};
    Process().SaveSucceeded = AssembleRecording(assembly, fileName, tracks_).Saved();
  }
  if (!lostScreenReport_.empty()) sink_.Report(lostScreenReport_);
  const bool fileNotMade = videoTrack.FileNotMade();
  tracks_.clear();
  sound_ = nullptr;
  AVIFileExit();

  Log(LogLevel::Debug, "session",
      std::string(failed ? "failed" : "ended") + " after " +
          std::to_string(statistics_.frameCount) + " frames, " +
          std::to_string(statistics_.droppedFrames) + " slots dropped");
  if (!failed) {
    context_.compressor.useDefault.Set(false);
    return SessionOutcome::Finished;
  }
  if (fileNotMade) {  // reported; another compressor would not make the file either
    context_.compressor.useDefault.Set(false);
    EndAsCancelled(/*raisePreview=*/true);
    return SessionOutcome::Abandoned;
  }
  return OutcomeOfFailure();
}

// Starts a track and says what the user is to hear of it.
Result RecordingSession::StartTrack(RecordingTrack& track) {
  const Result started = track.Start();
  if (!started) sink_.Report(started.Cause());
  ReportNotices(track);
  return started;
}

void RecordingSession::ReportNotices(RecordingTrack& track) {
  for (const std::string& notice : track.TakeNotices()) sink_.Report(notice);
}

// The depth stays the session's; colour filter, cursor and overlay follow the settings.
// The sound, when it is asked for, in the catalogue format after the chosen list entry.
Result RecordingSession::StartSound() {
  if (!settings_.useAudioRecord) return Result::Ok();
  const auto format =
      static_cast<TPCMFormat>(static_cast<std::uint8_t>(settings_.audioFormatsIndex) + 1);
  auto sound = std::make_unique<AudioTrack>(platform_, sink_, context_.recorder, format);
  sound_ = sound.get();
  tracks_.push_back(std::move(sound));
  return StartTrack(*sound_);
}

PackedFrame RecordingSession::GrabSample(const Rect& area) {
  return Checked(grab_.GrabPacked(area, GrabOptionsOfSession()));
}

PackedFrame RecordingSession::Pack(const ImageView& image) {
  return Checked(SessionGrab::Pack(image, settings_.BitCount()));
}

// The frame is handed on black; the recording ends as if Esc was pressed, and the user is told.
PackedFrame RecordingSession::Checked(PackedGrab packed) {
  if (packed.frame && !packed.read) {
    Log(LogLevel::Warning, "session", packed.read.Cause());
    sink_.PixelsUnreadable(settings_.restoreAppOnStop);
  }
  return std::move(packed.frame);
}

GrabOptions RecordingSession::GrabOptionsOfSession() const {
  return GrabOptions{context_.grabSwitches.Get(), settings_.BitCount()};
}

// Tries the region's size, then the sizes rounded to multiples of 2, 4 and 8, until the
// compressor accepts one, and grabs the sample again at that size (at the size rounded to 8
// when none was accepted). Answers the accepted divisor, 0 when none was accepted, or nothing
// when a sample could not be grabbed.
std::optional<int> RecordingSession::AdjustDimensions(VideoCompressor& compressor,
                                                      PackedFrame& sample) {
  const Size size{sample.Header().width, sample.Header().height};
  const CompressorFit fit =
      FitToCompressor(compressor, size, settings_.BitCount(), context_.desktop);
  if (fit.size != size) {
    const Rect region = context_.region.Get();
    sample = GrabSample(Rect{region.left, region.top, fit.size.width, fit.size.height});
    if (!sample) return std::nullopt;
  }
  return fit.divisor;
}

SessionOutcome RecordingSession::EndForUngrabbableSample() {
  sink_.Report(kCaptureFailed);
  RestoreAppIfAsked();
  return SessionOutcome::Abandoned;
}

// Decides the compressor, asking the user when the selected one cannot be used. Answers how
// the session ends when it must end here (already reported).
std::optional<SessionOutcome> RecordingSession::DecideCompressor(PackedFrame& sample) {
  const bool useDefault = context_.compressor.useDefault.Get();
  if (settings_.selectedCompressor == -1 || useDefault) {
    if (useDefault) return std::nullopt;
    if (!Ask(kUseDefaultWhenNoneSelected)) return Abandon(kUserAborted);
    UseDefaultCompressorNow();
    return std::nullopt;
  }

  const std::optional<ICINFO>& entry = snapshot_.selectedEntry;
  const auto compressor =
      entry ? platform_.codecs.Open(entry->fccType, entry->fccHandler, ICMODE_QUERY) : nullptr;
  if (!compressor) {
    Log(LogLevel::Warning, "session", "the selected compressor does not open");
    if (!Ask(kUseDefaultAfterFailure)) return Abandon(kUserAborted);
    UseDefaultCompressorNow();
    return std::nullopt;
  }
  const std::optional<int> divisor = AdjustDimensions(*compressor, sample);
  if (!divisor) return EndForUngrabbableSample();
  if (*divisor == 0) {
    if (!Ask(kUseDefaultAfterSizes)) return Abandon(kUserAborted);
    // The sample was grabbed at the size rounded to a multiple of 8; the region takes that
    // size too, so that the stream format and every written frame agree.
    AdoptSampleSize(sample);
    UseDefaultCompressorNow();
    return std::nullopt;
  }
  context_.compressor.fcc.Set(entry->fccHandler);
  context_.statistics.SetCodecName(Utf16FieldToUtf8(entry->szName, 16));
  if (*divisor > 1) AdoptSampleSize(sample);
  return std::nullopt;
}

// The default compressor codes whole 4 x 4 blocks, and decoders show only whole blocks: every
// way to it (none selected, the selected one failed, a run again) takes the size the default
// accepts, as a selected compressor's way does, so that no pixel of the region is lost.
std::optional<SessionOutcome> RecordingSession::FitSampleToDefaultCompressor(PackedFrame& sample) {
  if (!context_.compressor.useDefault.Get()) return std::nullopt;
  const auto compressor = platform_.codecs.Open(ICTYPE_VIDEO, kDefaultCompressorFcc, ICMODE_QUERY);
  if (!compressor) return std::nullopt;  // the stream's creation reports it
  const std::optional<int> divisor = AdjustDimensions(*compressor, sample);
  if (!divisor) return EndForUngrabbableSample();
  // At 0 the sample is of the largest size tried: the region follows it, so the stream and
  // its frames agree even though the stream then fails to be made (and says so).
  if (*divisor != 1) AdoptSampleSize(sample);
  return std::nullopt;
}

void RecordingSession::UseDefaultCompressorNow() {
  context_.compressor.fcc.Set(kDefaultCompressorFcc);
  context_.statistics.SetCodecName(kDefaultCodecName);
  context_.compressor.useDefault.Set(true);
}

void RecordingSession::AdoptSampleSize(const PackedFrame& sample) {
  const int width = sample.Header().width;
  const int height = sample.Header().height;
  context_.region.Update([width, height](Rect& region) {
    region.width = width;
    region.height = height;
  });
}

VideoStreamSetup RecordingSession::StreamSetup() const {
  VideoStreamSetup setup;
  setup.compressorFcc = context_.compressor.fcc.Get();
  if (sound_ && sound_->Records()) {
    // Sound plays in real time, so the picture must too: one frame per record interval. At
    // a playback rate even 1 % off (33 ms slots at 30 frames/s) the two would drift apart by
    // 36 ms a minute.
    setup.rate = 1000;
    setup.scale = settings_.mspfRecord;
  } else {
    setup.rate = settings_.fpsPlayBack;
  }
  setup.keyFramesEvery = settings_.keyFramesEvery;
  setup.compressionQuality = settings_.compressionQuality;
  if (const auto& entry = snapshot_.selectedEntry) {
    for (int i = 0; i < 16; ++i) setup.shortName[i] = static_cast<char>(entry->szName[i] & 0xFF);
  }
  return setup;
}

// Grabs as fast as it can while recording, writing a frame whenever a new slot of
// MSPFRecord milliseconds has begun. Answers false when a write failed.
bool RecordingSession::RunFrameLoop(VideoTrack& video) {
  Clock& clock = platform_.clock;
  // FrameIndex keeps its value until the first pass sets it.
  statistics_ = context_.statistics.Read();
  statistics_.elapsedMilliseconds = 0;
  statistics_.frameCount = 0;
  statistics_.captureRate = 0;
  statistics_.capturedRate = 0;
  statistics_.droppedFrames = 0;
  statistics_.playsInRealTime = sound_ && sound_->Records();
  Publish();
  const std::int64_t stopAt = settings_.captureTimer.StopAtMilliseconds();
  videoLength_ = 0;
  std::uint32_t lastUpdate = 0;
  int lastSlot = 0;
  const std::uint32_t start = clock.Milliseconds();
  if (sound_) sound_->AlignTo(start, settings_.mspfRecord / 2);
  PassRates rates;
  rates.Start(start);
  bool firstPass = true;
  std::optional<std::uint32_t> failingSince;  // elapsed time of the first of failing grabs

  while (context_.stop.Recording()) {
    const std::uint32_t elapsed = clock.Milliseconds() - start;
    // The slot is known before the grab: every pass grabs, but only a pass that writes its
    // frame converts the pixels (at 4K the conversion costs as much as the grab). A compressor
    // that converts pictures itself takes the grabbed image as it is, in its own format.
    const int slot =
        static_cast<int>(RoundHalfEven(static_cast<double>(elapsed) / settings_.mspfRecord));
    const bool writes = firstPass || slot > lastSlot;
    ImageView image;
    if (const Result grabbed = grab_.GrabInto(context_.region.Get(), GrabOptionsOfSession(), image);
        !grabbed) {
      if (!failingSince) failingSince = elapsed;
      if (grabbed.Is(FailureKind::Temporary) &&
          clock.Milliseconds() - start - *failingSince < kLongestGrabFailureMs) {
        std::this_thread::sleep_for(kGrabRetryPause);
        continue;
      }
      // The display went away (or its connection broke): what was recorded until the grabs
      // began to fail is kept, and the user told so once it is saved (a desktop application
      // may not outlive its display).
      NoteLostScreen(grabbed.Cause(), *failingSince);
      sink_.StopToKeep();
      return true;
    }
    failingSince.reset();
    statistics_.frameIndex = slot;
    if (slot - lastSlot - 1 > 0) statistics_.droppedFrames += slot - lastSlot - 1;
    if (writes) {
      firstPass = false;
      if (const Result written = WriteFrame(video, image, slot); !written) {
        // A frame that could not be packed ends the loop as it is (already reported); a full
        // disk is no fault of the compressor: the recording ends as if stopped.
        return !written.Is(FailureKind::Permanent);
      }
      ++statistics_.frameCount;
      lastSlot = slot;
      videoLength_ = static_cast<std::int64_t>(slot + 1) * settings_.mspfRecord;
    }

    statistics_.elapsedMilliseconds = elapsed;
    rates.Pass(clock.Milliseconds(), writes);
    statistics_.captureRate = rates.Grabs();
    statistics_.capturedRate = rates.Written();
    Publish();
    if (elapsed > lastUpdate + kUpdateEveryMs) {
      lastUpdate = elapsed;
      sink_.Updated();
    }
    // A pass may take longer than a second (a slow compressor on a large region), so the
    // timer's second can pass between two passes: stop once it has been reached.
    if (stopAt > 0 && elapsed >= stopAt) sink_.StopToKeep();
  }
  return true;
}

// Fails Permanent when the stream refused the frame (reported), OutOfRoom when the disk is full
// (the recording is stopped to keep it), and Cancelled when no memory could be had for the
// frame (reported).
Result RecordingSession::WriteFrame(VideoTrack& video, const ImageView& image, int slot) {
  Result written = Result::Ok();
  if (video.TakesPicture(image)) {
    written = video.WritePicture(image, slot);
  } else {
    const PackedFrame frame = Pack(image);
    if (!frame) {
      sink_.Report(kCaptureFailed);
      return Result::Failed(kCaptureFailed, FailureKind::Cancelled);
    }
    written = video.Write(frame, slot);
  }
  if (written) return written;
  Publish();
  if (written.Is(FailureKind::OutOfRoom)) {
    sink_.StopToKeep();
  } else {
    sink_.Report(written.Cause());
  }
  return written;
}

// Says where the room ran out and how much of the recording the cut-short file keeps.
void RecordingSession::ReportFullDisk(VideoTrack& video) {
  const std::string& file = Process().VideoTempFile;
  const std::string folder = file.substr(0, file.rfind('/') + 1);
  char kept[32];
  std::snprintf(kept, sizeof kept, "%.1f s", static_cast<double>(video.KeptMilliseconds()) / 1000);
  sink_.Report("The disk holding the temporary folder " + folder +
               " is full: the recording was stopped there, and the " + kept +
               " recorded until then are kept.");
}

void RecordingSession::NoteLostScreen(const std::string& cause, std::uint32_t elapsed) {
  context_.screenLost.Set(true);
  char when[32];
  std::snprintf(when, sizeof when, "%.1f s", static_cast<double>(elapsed) / 1000);
  lostScreenReport_ = "The screen can no longer be read (" + cause +
                      "): the recording was stopped " + when +
                      " into it, and what was recorded until then is kept.";
}

void RecordingSession::Publish() {
  Process().ElapsedMilliseconds = statistics_.elapsedMilliseconds;
  context_.statistics.PublishLoop(statistics_);
}

// Stops each track and waits for its file; answers false when the session has failed. The
// sound's failure costs the sound only: the user hears of it, and the picture is kept.
bool RecordingSession::FinishTracks(bool failed) {
  for (const auto& track : tracks_) {
    track->Stop();
    const Result finished = track->Finish();
    ReportNotices(*track);
    if (finished) continue;
    if (track.get() == sound_) {
      sink_.Report(finished.Cause());
    } else if (!failed) {
      sink_.Report(finished.Cause());
      failed = true;
    }
  }
  return !failed;
}

// A failed run: with the default compressor it ends for good; with another, the user may
// record again with the default.
SessionOutcome RecordingSession::OutcomeOfFailure() {
  if (context_.compressor.fcc.Get() == kDefaultCompressorFcc) {
    context_.compressor.useDefault.Set(false);
    return Abandon(std::string("Error creating AVI file with \"") + kDefaultCodecName + "\".");
  }
  if (Ask(kUseDefaultAfterFailure)) {
    UseDefaultCompressorNow();
    context_.stop.SetRequest(TStopRequest::Cancel);
    return SessionOutcome::RunAgainWithDefault;
  }
  context_.compressor.useDefault.Set(false);
  return Abandon(kUserAborted);
}

// Reports why the session ends, cancels the recording and gives the application back.
SessionOutcome RecordingSession::Abandon(const std::string& message) {
  sink_.Report(message);
  EndAsCancelled(/*raisePreview=*/true);
  RestoreAppIfAsked();
  return SessionOutcome::Abandoned;
}

// No recording any more, and no preview unless it was on.
void RecordingSession::EndAsCancelled(bool raisePreview) {
  context_.stop.End(TStopRequest::Cancel);
  sink_.EndAsCancelled(raisePreview);
}

void RecordingSession::RestoreAppIfAsked() {
  if (settings_.restoreAppOnStop) platform_.shell.RestoreApplication();
}

bool RecordingSession::Ask(const std::string& question) {
  return platform_.shell.AskYesNo("Notice", question);
}

}  // namespace orvenna
