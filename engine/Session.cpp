#include <cmath>

#include "engine/Utf16.h"
#include "engine/Vistrel.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kMinimumVideoLibraryVersion = 0x010A;
constexpr std::uint32_t kUpdateEveryMs = 200;

const char* const kUseDefaultAfterFailure =
    "Error: Not recording AVI file using current compressor.\r\nUse default compressor? ";
const char* const kUseDefaultAfterSizes =
    "Error: This compressor cann`t work if the dimensions is adjusted slightly\r\n"
    "Use default compressor? ";
const char* const kUseDefaultWhenNoneSelected = "You no selected compressor, use default compressor?";
const char* const kUserAborted = "User aborted!";
const char* const kCaptureFailed = "Error capturing a frame from screen.";

// Rounds to the nearest integer, halves to even.
double RoundHalfEven(double value) { return std::nearbyint(value); }

double RatePerSecond(std::uint32_t milliseconds) {
  return milliseconds == 0 ? 1000.0 : RoundHalfEven(1000.0 / milliseconds);
}

// A size rounded to a multiple of `divisor`: up, unless that passes the desktop's size.
int RoundedSize(int size, int divisor, int desktop) {
  const int remainder = size % divisor;
  if (remainder <= 0) return size;
  return size + divisor - remainder > desktop ? size - remainder : size + divisor - remainder;
}

}  // namespace

TElapsedTime SplitElapsedTime(std::int64_t m) {
  TElapsedTime t;
  t.Hours = static_cast<int>(m / 3600000);
  t.Minutes = static_cast<int>((m - t.Hours * 3600000LL) / 60000);
  t.Seconds = static_cast<int>((m - t.Hours * 3600000LL - t.Minutes * 60000LL) / 1000);
  t.Milliseconds = static_cast<int>(m % 1000);
  return t;
}

void TVistrel::RaiseError(const std::string& message) {
  if (OnError) OnError(*this, message);
}

bool TVistrel::Ask(const std::string& question) {
  return platform_.shell.AskYesNo("Notice", question);
}

void TVistrel::RestoreAppIfAsked() {
  if (RestoreAppOnStop()) platform_.shell.RestoreApplication();
}

// Ends the session as cancelled: no recording, no preview unless it was on.
void TVistrel::EndAsCancelled() {
  recording_.Set(false);
  Process().StopRequest = TStopRequest::Cancel;
  if (!ShowPreview()) {
    if (OnPreview) OnPreview(*this, nullptr, false, false);
    StopAreaTimerAndHideFrame();
  }
}

int TVistrel::AbortSession(const std::string& message, PackedFrame& frame) {
  RaiseError(message);
  EndAsCancelled();
  FreeDIB(frame);
  RestoreAppIfAsked();
  return 0;
}

void TVistrel::UseDefaultCompressorNow() {
  compressorFcc_.Set(DefaultCompressorFcc);
  SetCodecName(DefaultCodecName);
  useDefaultCompressor_.Set(true);
}

void TVistrel::SetCodecName(const std::string& name) {
  std::lock_guard lock(statisticsTextLock_);
  codecName_ = name;
}

// Tries the region's size, then the sizes rounded to multiples of 2, 4 and 8, until the
// compressor accepts the sample frame. Answers the accepted divisor, 0 when none was
// accepted, or -1 when a grab failed (already reported).
int TVistrel::AdjustDimensions(VideoCompressor& compressor, PackedFrame& sample) {
  int divisor = 1;
  while (compressor.CompressQuery(sample.Header()) != ICERR_OK) {
    divisor *= 2;
    if (divisor > 8) return 0;
    const int width = RoundedSize(ScreenWidth(), divisor, DesktopWidth());
    const int height = RoundedSize(ScreenHeight(), divisor, DesktopHeight());
    FreeDIB(sample);
    sample = GrabFrameDIB(ScreenLeft(), ScreenTop(), width, height, FilterColor());
    if (!sample) {
      RaiseError(kCaptureFailed);
      return -1;
    }
  }
  return divisor;
}

// Decides the compressor, asking the user when the selected one cannot be used. Answers
// false when the session must end (already reported; `result` holds its result).
bool TVistrel::DecideCompressor(PackedFrame& sample, int& result) {
  bool useDefault = false;
  if (SelectedCompressor() != -1 && !UseDefaultCompressor()) {
    const auto compressor = OpenCatalogueEntry(SelectedCompressor());
    if (!compressor) {
      if (!Ask(kUseDefaultAfterFailure)) {
        result = AbortSession(kUserAborted, sample);
        return false;
      }
      useDefault = true;
    } else {
      const int divisor = AdjustDimensions(*compressor, sample);
      if (divisor < 0) {
        result = 0;
        RestoreAppIfAsked();
        return false;
      }
      if (divisor == 0) {
        if (!Ask(kUseDefaultAfterSizes)) {
          result = AbortSession(kUserAborted, sample);
          return false;
        }
        // The sample was grabbed at the size rounded to a multiple of 8; the region takes
        // that size too, so that the stream format and every written frame agree.
        SetScreenWidth(sample.Header().width);
        SetScreenHeight(sample.Header().height);
        useDefault = true;
      } else {
        const ICINFO& entry = compressorTable_[SelectedCompressor()];
        compressorFcc_.Set(entry.fccHandler);
        SetCodecName(Utf16FieldToUtf8(entry.szName, 16));
        if (divisor > 1) {
          SetScreenWidth(sample.Header().width);
          SetScreenHeight(sample.Header().height);
        }
      }
    }
  } else if (!UseDefaultCompressor()) {
    if (!Ask(kUseDefaultWhenNoneSelected)) {
      result = AbortSession(kUserAborted, sample);
      return false;
    }
    useDefault = true;
  }
  if (useDefault) UseDefaultCompressorNow();
  return true;
}

int TVistrel::RunSession(const std::string& fileName) {
  ProcessState& process = Process();

  if ((platform_.codecs.Version() >> 16) < kMinimumVideoLibraryVersion) {
    RaiseError("Failure: Video for windows version too old!");
    recording_.Set(false);
    process.StopRequest = TStopRequest::Cancel;
    if (!ShowPreview()) StopAreaTimerAndHideFrame();
    RestoreAppIfAsked();
    return 0;
  }

  PackedFrame sample =
      GrabFrameDIB(ScreenLeft(), ScreenTop(), ScreenWidth(), ScreenHeight(), FilterColor());
  if (!sample) {
    RaiseError(kCaptureFailed);
    RestoreAppIfAsked();
    return 0;
  }

  int result = 0;
  if (!DecideCompressor(sample, result)) return result;

  AVIFileInit();
  SessionVideoFile video;
  bool failed = false;
  if (!DeleteTempFile(process.VideoTempFile)) {
    RaiseError("Can not delete video temp file.");
    FreeDIB(sample);
    failed = true;
  } else if (!CreateVideoFile(video, sample)) {
    failed = true;
  } else {
    if (OnStart) OnStart(*this);
    failed = !RunFrameLoop(video);
  }

  // Tear-down.
  if (OnStop) OnStop(*this);
  if (!ReleaseVideoFile(video) && !failed) {
    // Finishing the file failed (the disk refused the last data or the index).
    RaiseError("Error on write data to AVI stream.");
    failed = true;
  }
  RestoreAppIfAsked();
  if (!failed && process.StopRequest == TStopRequest::Stop) AssembleRecording(fileName);
  AVIFileExit();

  if (!failed) {
    useDefaultCompressor_.Set(false);
    return 1;
  }
  if (CompressorFcc() == DefaultCompressorFcc) {
    RaiseError(std::string("Error creating AVI file with \"") + DefaultCodecName + "\".");
    EndAsCancelled();
    useDefaultCompressor_.Set(false);
    RestoreAppIfAsked();
    return 0;
  }
  if (Ask(kUseDefaultAfterFailure)) {
    compressorFcc_.Set(DefaultCompressorFcc);
    SetCodecName(DefaultCodecName);
    process.StopRequest = TStopRequest::Cancel;
    useDefaultCompressor_.Set(true);
    return -1;
  }
  RaiseError(kUserAborted);
  EndAsCancelled();
  useDefaultCompressor_.Set(false);
  RestoreAppIfAsked();
  return 0;
}

// Grabs as fast as it can while recording, writing a frame whenever a new slot of
// MSPFRecord milliseconds has begun. Answers false when a write failed.
bool TVistrel::RunFrameLoop(SessionVideoFile& video) {
  Clock& clock = platform_.clock;
  SetElapsed(0);
  std::uint32_t lastUpdate = 0;
  int lastSlot = 0;
  frameCount_.Set(0);
  captureRate_.Set(0);
  droppedFrames_.Set(0);
  const std::uint32_t start = clock.Milliseconds();
  std::uint32_t lastWritten = start;
  std::uint32_t lastPass = start;
  bool firstPass = true;

  while (Recording()) {
    const std::uint32_t elapsed = clock.Milliseconds() - start;
    PackedFrame frame =
        GrabFrameDIB(ScreenLeft(), ScreenTop(), ScreenWidth(), ScreenHeight(), FilterColor());
    if (!frame) {
      RaiseError(kCaptureFailed);
      return true;
    }
    const int slot = static_cast<int>(RoundHalfEven(static_cast<double>(elapsed) / MSPFRecord()));
    frameIndex_.Set(slot);
    if (slot - lastSlot - 1 > 0) droppedFrames_.Set(DroppedFrames() + slot - lastSlot - 1);
    if (firstPass || slot > lastSlot) {
      firstPass = false;
      const bool written = WriteVideoFrame(video, frame, slot);
      FreeDIB(frame);
      if (!written) {
        RaiseError("Error on write data to AVI stream.");
        return false;
      }
      const std::uint32_t now = clock.Milliseconds();
      capturedRate_.Set(RatePerSecond(now - lastWritten));
      lastWritten = now;
      frameCount_.Set(FrameCount() + 1);
      lastSlot = slot;
    }
    FreeDIB(frame);

    SetElapsed(elapsed);
    const std::uint32_t now = clock.Milliseconds();
    captureRate_.Set(RatePerSecond(now - lastPass));
    lastPass = now;
    if (elapsed > lastUpdate + kUpdateEveryMs) {
      lastUpdate = elapsed;
      if (OnUpdate) OnUpdate(*this);
    }
    const TElapsedTime time = SplitElapsedTime(elapsed);
    const TCaptureTimer timer = CaptureTimer();
    if (timer.Enabled && (timer.Hours || timer.Minutes || timer.Seconds) &&
        timer.Hours == time.Hours && timer.Minutes == time.Minutes &&
        timer.Seconds == time.Seconds) {
      StopRecording();
    }
  }
  return true;
}

void TVistrel::SetElapsed(std::int64_t milliseconds) {
  Process().ElapsedMilliseconds = milliseconds;
  const TElapsedTime t = SplitElapsedTime(milliseconds);
  std::lock_guard lock(statisticsTextLock_);
  elapsedTimeText_ = std::to_string(t.Hours) + " : " + std::to_string(t.Minutes) + " : " +
                     std::to_string(t.Seconds) + " : " + std::to_string(t.Milliseconds);
}

TElapsedTime TVistrel::ElapsedTime() { return SplitElapsedTime(Process().ElapsedMilliseconds); }

}  // namespace orvenna
