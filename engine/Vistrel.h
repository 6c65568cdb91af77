#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AviWriter.h"
#include "engine/PackedFrame.h"
#include "engine/PreviewBitmap.h"
#include "engine/ProcessState.h"
#include "platform/Dib.h"
#include "platform/Platform.h"

namespace orvenna {

// How the capture region is chosen.
enum class TScreenRegion {
  SelObject = 0,
  FreeHand = 1,
  FixedMoving = 2,
  FixedStable = 3,
  FullScreen = 4
};

// Ends a recording automatically when the elapsed time reaches Hours:Minutes:Seconds.
struct TCaptureTimer {
  bool Enabled = false;
  std::uint8_t Hours = 0;
  std::uint8_t Minutes = 0;
  std::uint8_t Seconds = 0;
};

// Hours, minutes, seconds and milliseconds of `milliseconds` (not negative).
TElapsedTime SplitElapsedTime(std::int64_t milliseconds);

// A value shared between the UI thread and the recording thread; relaxed order is enough,
// since each is read on its own.
template <typename T>
class Shared {
 public:
  explicit Shared(T value) : value_(value) {}
  T Get() const { return value_.load(std::memory_order_relaxed); }
  void Set(T value) { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
};

// The screen recorder engine: settings, events, statistics, the area timer that follows the
// region and feeds the preview, the frame window, the hot keys, the compressor catalogue and
// the recording thread.
//
// Threads: construction, destruction, setters, StartRecording, StopRecording, the hot keys
// and the area timer belong to the UI thread. The recording thread runs the session and
// raises OnStart, OnUpdate, OnStop, OnSaving, OnDeleting and the session's OnError on itself.
// Settings may be read from any thread.
class TVistrel {
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
  ~TVistrel();
  TVistrel(const TVistrel&) = delete;
  TVistrel& operator=(const TVistrel&) = delete;

  // Settings.
  int FPSPlayBack() const { return fpsPlayBack_.Get(); }
  void SetFPSPlayBack(int v) { fpsPlayBack_.Set(v); }
  int MSPFRecord() const { return mspfRecord_.Get(); }
  void SetMSPFRecord(int v) { mspfRecord_.Set(v); }
  int KeyFramesEvery() const { return keyFramesEvery_.Get(); }
  void SetKeyFramesEvery(int v) { keyFramesEvery_.Set(v); }
  int CompressionQuality() const { return compressionQuality_.Get(); }
  void SetCompressionQuality(int v) { compressionQuality_.Set(v); }
  int Colors() const { return colors_.Get(); }
  void SetColors(int value);
  int SelectedCompressor() const { return selectedCompressor_.Get(); }
  void SetSelectedCompressor(int v) { selectedCompressor_.Set(v); }
  int ScreenLeft() const { return screenLeft_.Get(); }
  void SetScreenLeft(int v) { screenLeft_.Set(v); }
  int ScreenTop() const { return screenTop_.Get(); }
  void SetScreenTop(int v) { screenTop_.Set(v); }
  int ScreenWidth() const { return screenWidth_.Get(); }
  void SetScreenWidth(int v) { screenWidth_.Set(v); }
  int ScreenHeight() const { return screenHeight_.Get(); }
  void SetScreenHeight(int v) { screenHeight_.Set(v); }
  bool UseAudioRecord() const { return useAudioRecord_.Get(); }
  void SetUseAudioRecord(bool v) { useAudioRecord_.Set(v); }
  int AudioFormatsIndex() const { return audioFormatsIndex_.Get(); }
  void SetAudioFormatsIndex(int v) { audioFormatsIndex_.Set(v); }
  bool RecordCursor() const { return recordCursor_.Get(); }
  void SetRecordCursor(bool v) { recordCursor_.Set(v); }
  bool DrawAreaCapture() const { return drawAreaCapture_.Get(); }
  void SetDrawAreaCapture(bool v) { drawAreaCapture_.Set(v); }
  bool LineRectClear() const { return lineRectClear_.Get(); }
  void SetLineRectClear(bool v) { lineRectClear_.Set(v); }
  bool MinimizeAppOnStart() const { return minimizeAppOnStart_.Get(); }
  void SetMinimizeAppOnStart(bool v) { minimizeAppOnStart_.Set(v); }
  bool RestoreAppOnStop() const { return restoreAppOnStop_.Get(); }
  void SetRestoreAppOnStop(bool v) { restoreAppOnStop_.Set(v); }
  TScreenRegion ScreenRegion() const { return screenRegion_.Get(); }
  void SetScreenRegion(TScreenRegion v) { screenRegion_.Set(v); }
  bool ShowPreview() const { return previewActive_.Get(); }
  void SetShowPreview(bool value);
  int Priority() const { return priority_.Get(); }
  void SetPriority(int value);
  int FilterColor() const { return filterColor_.Get(); }
  void SetFilterColor(int v) { filterColor_.Set(v); }
  bool OvelayDrawing() const { return ovelayDrawing_.Get(); }
  void SetOvelayDrawing(bool v) { ovelayDrawing_.Set(v); }

  // Statistics of the current session.
  std::string CodecName() const;
  std::string ElapsedTimeText() const;
  double CaptureRate() const { return captureRate_.Get(); }
  double CapturedRate() const { return capturedRate_.Get(); }
  int FrameCount() const { return frameCount_.Get(); }
  int DroppedFrames() const { return droppedFrames_.Get(); }
  int FrameIndex() const { return frameIndex_.Get(); }

  // The automatic stop; the front end writes the whole record before each start.
  TCaptureTimer CaptureTimer() const { return captureTimer_.Get(); }
  void SetCaptureTimer(const TCaptureTimer& timer) { captureTimer_.Set(timer); }

  // State.
  bool Recording() const { return recording_.Get(); }
  int BitCount() const { return bitCount_.Get(); }
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

  // Starting and stopping. UI thread.
  bool StartRecording(const std::string& fileName);
  // True from a successful start until the recording thread has ended (after saving and
  // removing the temporary files); no new recording starts meanwhile.
  bool SessionThreadRunning() const { return sessionThread_.joinable(); }
  void StopRecording();

  // Compressor catalogue. UI thread.
  static constexpr int CatalogueSize = 51;
  const std::vector<std::string>& GetCompressorList();
  void QueryCompressorDialogs(std::uint8_t index, bool& hasAbout, bool& hasConfigure);
  void CompressorAbout(std::uint8_t index, WindowHandle parentWindow);
  void CompressorConfigure(std::uint8_t index, WindowHandle parentWindow);
  int CompressorCount() const { return compressorCount_; }
  const std::array<ICINFO, CatalogueSize>& CompressorTable() const { return compressorTable_; }

  // Overwrites a temporary file and removes it, with progress through the current engine's
  // OnDeleting. Any thread.
  bool DeleteTempFile(const std::string& fileName);

  // The frame grabber. GrabFrameDIB and BitmapToDIB run on the UI thread and on the recording
  // thread; GrabFrameBitmap and AreaTimerTick on the UI thread only.
  PackedFrame GrabFrameDIB(int left, int top, int width, int height, int filterColor);
  PackedFrame BitmapToDIB(const ImageView* bitmap, int bitsPerPixel);
  static void FreeDIB(PackedFrame& frame) { frame.Reset(); }
  const PreviewBitmap& GrabFrameBitmap(int left, int top, int width, int height, int filterColor);
  void AreaTimerTick();
  bool SelectFreeHandArea();
  bool SelectObjectArea();

  // The recording session; recording thread. Answers 1 (finished), 0 (aborted or failed for
  // good) or -1 (run again with the default compressor).
  int RunSession(const std::string& fileName);
  // Elapsed time of the running session (process-wide). Any thread.
  static TElapsedTime ElapsedTime();

  // Final assembly; recording thread.
  void OpenAVIStream(const std::string& path, PAVISTREAM& slot);
  bool SaveAVIFile(const std::string& fileName, int count, PAVISTREAM* streams);
  static std::int32_t SaveProgressCallback(int percent);

  // Hot-key identifiers.
  static constexpr int FHotKey1 = 1;  // Shift+Esc: stop and keep
  static constexpr int FHotKey2 = 2;  // Esc: cancel
  static constexpr int FHotKey3 = 3;  // Ctrl+Enter: confirm the window picker
  // Handles a hot key as if it had been pressed. UI thread.
  void HotKeyPressed(int id);

 private:
  // What one thread needs to grab: its own screen grabber and converter.
  struct GrabContext {
    std::unique_ptr<ScreenGrabber> grabber;
    DibConverter converter;
    CursorImage cursor;
  };
  GrabContext& ContextOfThisThread();
  // The catalogue entry at `index` opened in query mode; null outside the catalogue.
  std::unique_ptr<VideoCompressor> OpenCatalogueEntry(int index);
  bool GrabInto(GrabContext& context, const Rect& area, int filterColor, ImageView& image);
  void CancelLikeEsc();
  // Runs `work` on the UI thread: at once when called there, else queued (and dropped if the
  // engine is gone by then). Timers, windows and pickers are touched only this way.
  void OnUiThread(std::function<void()> work);
  void StopAreaTimerAndHideFrame();
  void DeriveModeFlags();
  void SetRegionToFullScreen();
  bool RunPicker(std::unique_ptr<RegionPicker> picker, RegionPicker*& openSlot, bool topmost);
  void StartPendingRecording();
  void ApplyShowPreview() { SetShowPreview(ShowPreview()); }
  void RunRecordThread();
  void RaiseError(const std::string& message);
  bool Ask(const std::string& question);
  void RestoreAppIfAsked();
  void EndAsCancelled();
  int AbortSession(const std::string& message, PackedFrame& frame);
  void UseDefaultCompressorNow();
  void SetCodecName(const std::string& name);
  int AdjustDimensions(VideoCompressor& compressor, PackedFrame& sample);
  bool DecideCompressor(PackedFrame& sample, int& result);
  bool RunFrameLoop(SessionVideoFile& video);
  void SetElapsed(std::int64_t milliseconds);
  bool CreateVideoFile(SessionVideoFile& video, PackedFrame& sample);
  bool WriteVideoFrame(SessionVideoFile& video, const PackedFrame& frame, int position);
  bool ReleaseVideoFile(SessionVideoFile& video);
  void AssembleRecording(const std::string& fileName);
  void KeepRecording(const std::string& fileName);
  void OnRecordThreadEnded();
  void ApplyPriorityToWorker();

  Platform platform_;
  std::thread::id uiThread_;
  std::shared_ptr<bool> alive_;  // posted work checks it, so nothing runs on a destroyed engine

  Shared<int> fpsPlayBack_{40};
  Shared<int> mspfRecord_{25};
  Shared<int> keyFramesEvery_{15};
  Shared<int> compressionQuality_{8000};
  Shared<int> colors_{3};
  Shared<int> selectedCompressor_{-1};
  Shared<int> screenLeft_{0};
  Shared<int> screenTop_{0};
  Shared<int> screenWidth_{300};
  Shared<int> screenHeight_{300};
  Shared<bool> useAudioRecord_{false};
  Shared<int> audioFormatsIndex_{-1};
  Shared<bool> recordCursor_{true};
  Shared<bool> drawAreaCapture_{true};
  Shared<bool> lineRectClear_{true};
  Shared<bool> minimizeAppOnStart_{true};
  Shared<bool> restoreAppOnStop_{true};
  Shared<TScreenRegion> screenRegion_{TScreenRegion::FixedMoving};
  Shared<bool> previewActive_{false};
  Shared<int> priority_{3};
  Shared<int> filterColor_{0};
  Shared<bool> ovelayDrawing_{false};
  Shared<TCaptureTimer> captureTimer_{TCaptureTimer{}};  // four bytes, read and written whole

  mutable std::mutex statisticsTextLock_;  // guards the two strings below
  std::string codecName_;
  std::string elapsedTimeText_;
  Shared<double> captureRate_{0};
  Shared<double> capturedRate_{0};
  Shared<int> frameCount_{0};
  Shared<int> droppedFrames_{0};
  Shared<int> frameIndex_{0};

  Shared<bool> recording_{false};
  Shared<int> bitCount_{32};
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

  std::unique_ptr<Timer> areaTimer_;
  std::unique_ptr<FrameWindow> frameWindow_;
  RegionPicker* freeHandWindow_ = nullptr;  // open pickers, for the hot keys
  RegionPicker* objectPicker_ = nullptr;
  PreviewBitmap previewBitmap_;

  std::unique_ptr<GrabContext> uiGrab_;
  std::unique_ptr<GrabContext> sessionGrab_;  // created and used by the recording thread

  std::thread sessionThread_;
  AviResult lastSaveResult_ = AVIERR_OK;  // of the last SaveAVIFile
  Shared<int> workerThreadId_{0};         // kernel id of the recording thread, 0 before it runs
  Shared<bool> workerDone_{true};         // the recording thread no longer touches the engine
};

}  // namespace orvenna
