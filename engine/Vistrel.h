#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Assembly.h"
#include "engine/CompressorFit.h"
#include "engine/KeptRecording.h"
#include "engine/PackedFrame.h"
#include "engine/PreviewBitmap.h"
#include "engine/ProcessState.h"
#include "engine/RecordingLock.h"
#include "engine/RecordingSettings.h"
#include "engine/SessionContext.h"
#include "engine/SessionGrab.h"
#include "engine/SessionStatistics.h"
#include "engine/SharedRegion.h"
#include "engine/SharedValue.h"
#include "platform/Cursor.h"
#include "platform/Platform.h"
#include "platform/Result.h"
#include "platform/avi/Avi.h"

namespace orvenna {

class RecordingSession;
class TAudioMixer;
class TAudioMixerLine;
class TStockAudioRecorder;

// The descriptions of the 20 catalogue sound formats, in their order.
std::vector<std::string> AudioFormatNames();

// The audio inputs of the recording mixer: their names, the selected one, its volume (0..100,
// -1 when it has none) and whether it has a volume control.
struct AudioInputInfo {
  const std::vector<std::string>* Lines = nullptr;  // the engine's list
  int SelectedIndex = 0;
  int Volume = 0;
  bool HasVolume = false;
};

// Hours, minutes, seconds and milliseconds of `milliseconds` (not negative).
TElapsedTime SplitElapsedTime(std::int64_t milliseconds);

// The screen recorder engine: settings, events, statistics, the area timer that follows the
// region and feeds the preview, the frame window, the hot keys, the compressor catalogue and
// the recording thread. A recording itself is a RecordingSession (RecordingSession.cpp), which
// sees the engine only through the context it is given and raises the events through the
// engine's SessionSink.
//
// Threads: construction, destruction, the settings, StartRecording, the catalogue, the hot
// keys and the area timer belong to the UI thread. A recording works on a copy of the
// settings taken when it starts; the region and the stop state are read whole by both
// threads. The recording thread raises OnStart, OnUpdate, OnStop, OnSaving, OnDeleting and the
// session's OnError on itself. Statistics, Recording and StopRecording serve any thread.
class TVistrel : private SessionSink {
 public:
  // Events; an empty function is not raised.
  std::function<void(TVistrel& sender, const std::string& errorMessage)> OnError;
  std::function<void(TVistrel& sender)> OnUpdate;
  std::function<void(TVistrel& sender)> OnStart;
  std::function<void(TVistrel& sender)> OnStop;
  std::function<void(TVistrel& sender, const PreviewBitmap* bitmap, bool preview, bool recording)>
      OnPreview;
  std::function<void(TVistrel& sender, int percent, const std::string& statusCaption,
                     bool& continueWork)>
      OnSaving;
  std::function<void(TVistrel& sender, int percent, const std::string& statusCaption,
                     bool& continueWork)>
      OnDeleting;
  // Raised on the grabbing thread with the frame's pixels before they are packed; what the
  // handler draws into `surface` becomes part of the frame.
  std::function<void(TVistrel& sender, const ImageView& surface, int width, int height)> OnOverlay;

  // UI thread.
  explicit TVistrel(const Platform& platform);
  ~TVistrel() override;
  TVistrel(const TVistrel&) = delete;
  TVistrel& operator=(const TVistrel&) = delete;

  // Settings. UI thread.
  int FPSPlayBack() const { return settings_.fpsPlayBack; }
  void SetFPSPlayBack(int v) { settings_.fpsPlayBack = v; }
  int MSPFRecord() const { return settings_.mspfRecord; }
  void SetMSPFRecord(int v) { settings_.mspfRecord = v; }
  int KeyFramesEvery() const { return settings_.keyFramesEvery; }
  void SetKeyFramesEvery(int v) { settings_.keyFramesEvery = v; }
  int CompressionQuality() const { return settings_.compressionQuality; }
  void SetCompressionQuality(int v) { settings_.compressionQuality = v; }
  int Colors() const { return settings_.colors; }
  void SetColors(int value);
  int SelectedCompressor() const { return settings_.selectedCompressor; }
  void SetSelectedCompressor(int v) { settings_.selectedCompressor = v; }
  bool UseAudioRecord() const { return settings_.useAudioRecord; }
  void SetUseAudioRecord(bool v) { settings_.useAudioRecord = v; }
  int AudioFormatsIndex() const { return settings_.audioFormatsIndex; }
  void SetAudioFormatsIndex(int v) { settings_.audioFormatsIndex = v; }
  bool RecordCursor() const { return grabSwitches_.Get().recordCursor; }
  void SetRecordCursor(bool v) {
    ChangeGrabSwitches([v](GrabSwitches& s) { s.recordCursor = v; });
  }
  bool DrawAreaCapture() const { return settings_.drawAreaCapture; }
  void SetDrawAreaCapture(bool v) { settings_.drawAreaCapture = v; }
  bool LineRectClear() const { return settings_.lineRectClear; }
  void SetLineRectClear(bool v) { settings_.lineRectClear = v; }
  bool MinimizeAppOnStart() const { return settings_.minimizeAppOnStart; }
  void SetMinimizeAppOnStart(bool v) { settings_.minimizeAppOnStart = v; }
  bool RestoreAppOnStop() const { return settings_.restoreAppOnStop; }
  void SetRestoreAppOnStop(bool v) { settings_.restoreAppOnStop = v; }
  // Whether the save may replace a file at the output name (true, the default). When not, a
  // file that appeared there during the recording stays, and the recording is kept whole
  // beside it under a free name. Set before StartRecording.
  bool ReplaceOutput() const { return replaceOutput_; }
  void SetReplaceOutput(bool v) { replaceOutput_ = v; }
  TScreenRegion ScreenRegion() const { return settings_.screenRegion; }
  void SetScreenRegion(TScreenRegion v) { settings_.screenRegion = v; }
  int Priority() const { return settings_.priority; }
  void SetPriority(int value);
  int FilterColor() const { return grabSwitches_.Get().filterColor; }
  void SetFilterColor(int v) {
    ChangeGrabSwitches([v](GrabSwitches& s) { s.filterColor = v; });
  }
  bool OvelayDrawing() const { return grabSwitches_.Get().ovelayDrawing; }
  void SetOvelayDrawing(bool v) {
    ChangeGrabSwitches([v](GrabSwitches& s) { s.ovelayDrawing = v; });
  }
  // The automatic stop; the front end writes the whole record before each start.
  TCaptureTimer CaptureTimer() const { return settings_.captureTimer; }
  void SetCaptureTimer(const TCaptureTimer& timer) { settings_.captureTimer = timer; }
  int BitCount() const { return settings_.BitCount(); }

  // The capture region, read and written whole. Any thread.
  Rect Region() const { return region_.Get(); }
  void SetRegion(const Rect& region) { region_.Set(region); }
  int ScreenLeft() const { return Region().left; }
  void SetScreenLeft(int v) {
    region_.Update([v](Rect& r) { r.left = v; });
  }
  int ScreenTop() const { return Region().top; }
  void SetScreenTop(int v) {
    region_.Update([v](Rect& r) { r.top = v; });
  }
  int ScreenWidth() const { return Region().width; }
  void SetScreenWidth(int v) {
    region_.Update([v](Rect& r) { r.width = v; });
  }
  int ScreenHeight() const { return Region().height; }
  void SetScreenHeight(int v) {
    region_.Update([v](Rect& r) { r.height = v; });
  }

  // The preview switch. Any thread.
  bool ShowPreview() const { return previewActive_.Get(); }
  void SetShowPreview(bool value);

  // Statistics of the current session. Any thread.
  std::string CodecName() const { return statistics_.Read().codecName; }
  std::string ElapsedTimeText() const;
  double CaptureRate() const { return statistics_.Read().captureRate; }
  double CapturedRate() const { return statistics_.Read().capturedRate; }
  int FrameCount() const { return statistics_.Read().frameCount; }
  int DroppedFrames() const { return statistics_.Read().droppedFrames; }
  int FrameIndex() const { return statistics_.Read().frameIndex; }
  SessionStatistics Statistics() const { return statistics_.Read(); }

  // State.
  bool Recording() const { return Process().Stop.Recording(); }
  // Whether the last recording was cut short because the screen could no longer be read
  // (what was recorded until then is kept). Any thread.
  bool ScreenLost() const { return screenLost_.Get(); }
  // Whether the user cancelled the last recording with Esc. Any thread.
  bool CancelledByUser() const { return cancelledByUser_.Get(); }
  // Whether a StartRecording waits for the user to pick the region: the engine's next tick
  // opens the picker, a confirmed pick starts the recording, a cancelled one ends the wait.
  // Any thread.
  bool WaitingForRegion() const { return Process().PendingStart; }
  // Whether the last recording was saved as asked; false from construction and while a
  // recording thread runs, until its final assembly succeeds. Any thread.
  bool LastSaveSucceeded() const { return Process().SaveSucceeded; }
  int DesktopWidth() const { return desktopWidth_; }
  int DesktopHeight() const { return desktopHeight_; }
  bool PickObjectMode() const { return pickObjectMode_; }
  bool PickFreeHandMode() const { return pickFreeHandMode_; }
  bool FollowMouseMode() const { return followMouseMode_; }
  bool FullScreenMode() const { return fullScreenMode_; }
  bool UseDefaultCompressor() const { return useDefaultCompressor_.Get(); }
  std::uint32_t CompressorFcc() const { return compressorFcc_.Get(); }
  static constexpr std::uint32_t DefaultCompressorFcc = FourCC('M', 'S', 'V', 'C');
  static constexpr const char* DefaultCodecName = "MS Video Codec";
  const Timer& AreaTimer() const { return *areaTimer_; }
  const FrameWindow& GetFrameWindow() const { return *frameWindow_; }
  const PreviewBitmap& GetPreviewBitmap() const { return previewBitmap_; }

  // Starting and stopping. StartRecording: UI thread; StopRecording: any thread.
  bool StartRecording(const std::string& fileName);
  // Empty when a recording may be saved as `fileName`; else why not, in a sentence for the
  // user: it is one of the temporary files the recording writes and then removes. Any thread.
  std::string TempFileProblem(const std::string& fileName) const;
  // Why a recording could not be saved as `fileName` (a temporary file of the recorder, a
  // folder that does not exist or cannot be written, a name too long, a folder or a device at
  // that name), as a sentence for the user; empty when it can be. Checked before recording, so
  // that nothing is recorded that cannot be saved. Any thread.
  std::string OutputProblem(const std::string& fileName) const;
  // Why the pictures of the compressor a recording would start with now cannot be saved into
  // the kind of file `fileName` names (MP4 carries H.264 and MPEG-4 pictures), or an ending of
  // no known kind, as one line saying what works; empty when they can. UI thread.
  std::string OutputKindProblem(const std::string& fileName) const;
  // True from a successful start until the recording thread has ended (after saving and
  // removing the temporary files); no new recording starts meanwhile.
  bool SessionThreadRunning() const { return sessionThread_.joinable(); }
  void StopRecording();
  // Stops a recording in progress as StopRecording does and waits until the recording thread
  // has saved it and ended, serving the UI thread meanwhile. UI thread.
  void StopAndWaitForRecording();

  // Compressor catalogue. UI thread.
  static constexpr int CatalogueSize = 51;
  const std::vector<std::string>& GetCompressorList();
  void QueryCompressorDialogs(std::uint8_t index, bool& hasAbout, bool& hasConfigure);
  void CompressorAbout(std::uint8_t index, WindowHandle parentWindow);
  void CompressorConfigure(std::uint8_t index, WindowHandle parentWindow);
  // The size the catalogue entry at `index` records the current region at, now: the region's
  // own or one rounded for the compressor. Divisor 0 outside the catalogue.
  CompressorFit CompressorFitOf(int index);
  // The size of the part of the region a recording would grab now.
  Size RecordedRegionSize() const;
  int CompressorCount() const { return compressorCount_; }
  const std::array<ICINFO, CatalogueSize>& CompressorTable() const { return compressorTable_; }

  // The names of the 20 recordable sound formats; AudioFormatsIndex n stands for the n-th.
  // UI thread.
  const std::vector<std::string>& GetAudioFormatList();
  const TStockAudioRecorder& Recorder() const { return *recorder_; }

  // The inputs of the recording mixer device (the last one with a "Recording Control"
  // destination), the selected one and its volume; values of the last call when no line
  // qualifies. UI thread.
  void GetAudioInputs(AudioInputInfo& info);
  // Makes input `index` the one recorded from, at once. UI thread.
  void SetAudioInput(int index);
  // Sets the volume (0..100) of input `index`, at once. UI thread.
  void SetAudioInputVolume(int index, int volume);
  // The volume of input `index` (0..100), -1 when it has none. UI thread.
  int AudioInputVolume(int index);
  TAudioMixer& Mixer() const { return *mixer_; }

  // Overwrites a temporary file and removes it, with progress through the current engine's
  // OnDeleting. Any thread.
  bool DeleteTempFile(const std::string& fileName) override;

  // The frame grabber, UI thread (the recording grabs through a SessionGrab of its own).
  PackedFrame GrabFrameDIB(int left, int top, int width, int height, int filterColor);
  PackedFrame BitmapToDIB(const ImageView* bitmap, int bitsPerPixel);
  static void FreeDIB(PackedFrame& frame) { frame.Reset(); }
  const PreviewBitmap& GrabFrameBitmap(int left, int top, int width, int height, int filterColor);
  void AreaTimerTick();
  bool SelectFreeHandArea();
  bool SelectObjectArea();

  // One run of the current recording session; recording thread. Answers 1 (finished), 0
  // (abandoned) or -1 (run again with the default compressor). A recording's thread runs its
  // session whole (RecordingSession::RunThread).
  int RunSession(const std::string& fileName);
  // Elapsed time of the running session (process-wide). Any thread.
  static TElapsedTime ElapsedTime();

  // Final assembly (Assembly.cpp); recording thread.
  void OpenAVIStream(const std::string& path, PAVISTREAM& slot);
  bool SaveAVIFile(const std::string& fileName, int count, PAVISTREAM* streams);
  static std::int32_t SaveProgressCallback(int percent);

  // Hot-key identifiers.
  static constexpr int FHotKey1 = 1;  // Shift+Esc: stop and keep
  static constexpr int FHotKey2 = 2;  // Esc: cancel
  static constexpr int FHotKey3 = 3;  // Ctrl+Enter: confirm the window picker
  // Handles a hot key as if it had been pressed. UI thread.
  void HotKeyPressed(int id);
  // Whether Shift+Esc and Esc are taken from the desktop now (Ctrl+Enter is, too, while the
  // window picker is open). UI thread.
  bool HoldsHotKeys() const { return hotKeysHeld_; }

 private:
  // What the recording session raises (SessionSink); recording thread.
  void Report(const std::string& message) override { RaiseError(message); }
  void Started() override;
  void Updated() override;
  void Stopped() override;
  bool Saving(int percent, const std::string& caption) override;
  bool Overlay(const ImageView& surface, int width, int height) override;
  void StopToKeep() override { StopRecording(); }
  void EndAsCancelled(bool showPreviewEnd) override;
  void PixelsUnreadable(bool restoreAppOnStop) override;
  SessionContext ContextOfSession();
  // The assembly's context outside a recording: reports go to OnError, progress to
  // SaveProgressCallback.
  AssemblyContext ContextOfAssembly();

  void CheckUiThread(const char* operation) const;
  template <typename Change>
  void ChangeGrabSwitches(Change change) {
    GrabSwitches switches = grabSwitches_.Get();
    change(switches);
    grabSwitches_.Set(switches);
  }
  GrabOptions GrabOptionsOfSettings(int filterColor) const;
  // A frame packed on the UI thread; one whose pixels could not be read ends the recording or
  // preview as Esc does.
  PackedFrame Checked(PackedGrab packed, bool restoreAppOnStop);
  // The catalogue entry at `index` opened in query mode; null outside the catalogue.
  std::unique_ptr<VideoCompressor> OpenCatalogueEntry(int index);
  void CancelLikeEsc(bool restoreAppOnStop);
  // Takes the three keys from the desktop while one of them can act (a preview, a recording,
  // an open picker or a start that waits for its region) and gives them back as soon as none
  // can; `release` gives them back in any case. UI thread.
  void UpdateHotKeys(bool release = false);
  // Clears Recording and applies the preview switch again, as every way of ending a
  // recording from outside the session does.
  void EndRecordingFromOutside();
  // Runs `work` on the UI thread: at once when called there, else queued (and dropped if the
  // engine is gone by then). Timers, windows and pickers are touched only this way.
  void OnUiThread(std::function<void()> work);
  void StopAreaTimerAndHideFrame();
  void DeriveModeFlags();
  void SetRegionToFullScreen();
  // Keeps a fixed or mouse-following region within the screen; false (reported) when nothing
  // of it could be recorded.
  bool FitRegionForRecording();
  void FollowMouse();
  bool RunPicker(std::unique_ptr<RegionPicker> picker, RegionPicker*& openSlot, bool topmost);
  void StartPendingRecording();
  void ApplyShowPreview() { SetShowPreview(ShowPreview()); }
  void OnRecordThreadEnded();
  // Waits for a recording thread to end, serving the UI thread meanwhile, and lets it go.
  void WaitForRecordThread();
  void ApplyPriorityToWorker();
  void RaiseError(const std::string& message);
  // Selects the recording mixer device on the mixer, finding it first.
  void SelectRecordingMixer();
  // Runs `use` on every line whose volume is the volume of audio input `index`.
  void ForEachInputLevel(int index, const std::function<void(TAudioMixerLine&)>& use);
  // The temporary folder at start-up (TempFiles.cpp): a recording that a killed run left is
  // kept, then what earlier runs left to remove goes; neither while a recording runs.
  void TidyTempFolder();
  // Takes the temporary files for a recording into `target`; false (reported) when there are
  // none to take or another recording uses them. UI thread.
  bool TakeRecordingLock(const std::string& target);
  // Removes what a killed run left half written, then repairs and keeps the temporary
  // recording of a run that ended without removing it, next to the last target the lock noted
  // (the file it was meant for) or in the documents folder, and tells the user once all that
  // is done. Only while `lock` is held.
  void KeepLeftRecording(RecordingLock& lock);

  Platform platform_;
  std::thread::id uiThread_;
  std::shared_ptr<bool> alive_;  // posted work checks it, so nothing runs on a destroyed engine

  RecordingSettings settings_;
  SharedRegion region_{kDefaultRegion};
  Shared<GrabSwitches> grabSwitches_{GrabSwitches{}};  // eight bytes, read and written whole
  Shared<bool> previewActive_{false};
  StatisticsBoard statistics_{DefaultCodecName};

  Shared<bool> screenLost_{false};
  Shared<bool> cancelledByUser_{false};
  int desktopWidth_ = 0;
  int desktopHeight_ = 0;
  bool pickObjectMode_ = false;
  bool pickFreeHandMode_ = false;
  bool followMouseMode_ = false;
  bool fullScreenMode_ = false;
  Shared<bool> useDefaultCompressor_{false};
  Shared<std::uint32_t> compressorFcc_{0};

  std::array<ICINFO, CatalogueSize> compressorTable_{};
  int compressorCount_ = 0;
  std::vector<std::string> compressorNames_;

  std::vector<std::string> audioFormatNames_;
  std::unique_ptr<TAudioMixer> mixer_;
  std::vector<std::string> audioInputNames_;
  int audioInputIndex_ = 0;
  int audioInputVolume_ = 0;
  bool audioInputHasVolume_ = false;
  int recordingMixerId_ = 0;
  std::unique_ptr<TStockAudioRecorder> recorder_;  // used by one recording at a time

  std::unique_ptr<Timer> areaTimer_;
  std::unique_ptr<FrameWindow> frameWindow_;
  RegionPicker* freeHandWindow_ = nullptr;  // open pickers, for the hot keys
  RegionPicker* objectPicker_ = nullptr;
  bool hotKeysHeld_ = false;     // Shift+Esc and Esc
  bool confirmKeyHeld_ = false;  // Ctrl+Enter
  PreviewBitmap previewBitmap_;
  SessionGrab uiGrab_{platform_.screen, platform_.cursor,
                      [this](const ImageView& surface, int width, int height) {
                        return Overlay(surface, width, height);
                      }};

  // The recording: created by StartRecording, run on sessionThread_, ended on the UI thread.
  std::unique_ptr<RecordingSession> session_;
  std::string tempFolder_;  // ending with '/'; empty when none is usable
  std::unique_ptr<KeptRecordings> kept_;
  std::unique_ptr<RecordingLock> recordingLock_;  // held from the start to the thread's end
  bool replaceOutput_ = true;
  std::thread sessionThread_;
  Shared<int> workerThreadId_{0};  // kernel id of the recording thread, 0 before it runs
  Shared<bool> workerDone_{true};  // the recording thread no longer touches the engine
};

}  // namespace orvenna
