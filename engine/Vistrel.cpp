#include "engine/Vistrel.h"

#include "platform/ThreadPriority.h"

namespace orvenna {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

TVistrel::TVistrel(const Platform& platform)
    : platform_(platform), uiThread_(std::this_thread::get_id()), alive_(std::make_shared<bool>(true)) {
  ProcessState& process = Process();
  process.Instance = this;

  std::string folder = platform_.files.TempFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  process.VideoTempFile = folder + "~vstream.avi";
  process.AudioTempFile = folder + "~astream.wav";
  platform_.files.DeletePendingFiles();

  recording_.Set(false);
  const Size desktop = platform_.screen.ScreenSize();
  desktopWidth_ = desktop.width;
  desktopHeight_ = desktop.height;

  compressorFcc_.Set(DefaultCompressorFcc);
  codecName_ = DefaultCodecName;
  useDefaultCompressor_.Set(false);
  process.SaveSucceeded = false;
  process.PendingStart = false;

  areaTimer_ = platform_.ui.NewTimer();
  areaTimer_->SetInterval(10);
  areaTimer_->SetEnabled(false);
  areaTimer_->OnTimer = [this] { AreaTimerTick(); };

  process.StopRequest = TStopRequest::None;

  // The preview bitmap starts at 8 bits so that the setter really changes it to 32.
  colors_.Set(0);
  previewBitmap_.SetBitsPerPixel(8);
  SetColors(3);

  frameWindow_ = platform_.ui.NewFrameWindow();
  frameWindow_->Hide();

  GetCompressorList();

  platform_.shell.OnApplicationMinimized = [this] {
    if (frameWindow_->IsShowing()) frameWindow_->Restore();
  };

  platform_.hotKeys.OnHotKey = [this](int id) { HotKeyPressed(id); };
  platform_.hotKeys.Register(FHotKey1, ModShift, VkEscape);
  platform_.hotKeys.Register(FHotKey2, 0, VkEscape);
  platform_.hotKeys.Register(FHotKey3, ModControl, VkReturn);
}

TVistrel::~TVistrel() {
  ProcessState& process = Process();
  if (Recording()) {
    recording_.Set(false);
    process.StopRequest = TStopRequest::Cancel;
  }
  platform_.hotKeys.Unregister(FHotKey1);
  platform_.hotKeys.Unregister(FHotKey2);
  platform_.hotKeys.Unregister(FHotKey3);
  platform_.hotKeys.OnHotKey = nullptr;
  platform_.shell.OnApplicationMinimized = nullptr;

  // The recording thread may still be tearing down or saving; it uses the engine until it
  // ends, so wait for it here, letting the UI thread serve what it asks for meanwhile.
  *alive_ = false;
  if (sessionThread_.joinable()) {
    platform_.shell.ProcessEventsUntil([this] { return workerDone_.Get(); });
    sessionThread_.join();
  }

  SetShowPreview(false);
  areaTimer_.reset();
  frameWindow_.reset();
  DeleteTempFile(process.VideoTempFile);
  DeleteTempFile(process.AudioTempFile);
  TVistrel* self = this;
  process.Instance.compare_exchange_strong(self, nullptr);
}

void TVistrel::SetColors(int value) {
  if (value == Colors()) return;
  colors_.Set(value);
  const int bits = value == 0 ? 8 : value == 1 ? 16 : value == 2 ? 24 : 32;
  bitCount_.Set(bits);
  previewBitmap_.SetBitsPerPixel(bits);
}

void TVistrel::SetPriority(int value) {
  priority_.Set(value);
  if (sessionThread_.joinable() && value >= 0 && value <= 6) ApplyPriorityToWorker();
}

void TVistrel::ApplyPriorityToWorker() {
  SetThreadPriorityLevel(workerThreadId_.Get(), Priority());
}

void TVistrel::SetShowPreview(bool value) {
  if (value) {
    previewActive_.Set(true);
    OnUiThread([this] {
      areaTimer_->SetEnabled(false);
      frameWindow_->Hide();
      areaTimer_->SetEnabled(true);  // the next tick shows the frame and the preview
    });
    return;
  }
  previewActive_.Set(false);
  if (!Recording()) {
    StopAreaTimerAndHideFrame();
    if (OnPreview) OnPreview(*this, nullptr, false, false);
  }
}

void TVistrel::StopAreaTimerAndHideFrame() {
  OnUiThread([this] {
    areaTimer_->SetEnabled(false);
    frameWindow_->Hide();
  });
}

void TVistrel::OnUiThread(std::function<void()> work) {
  if (std::this_thread::get_id() == uiThread_) {
    work();
    return;
  }
  platform_.shell.PostToUiThread([alive = std::weak_ptr<bool>(alive_), work = std::move(work)] {
    const auto engineAlive = alive.lock();
    if (engineAlive && *engineAlive) work();
  });
}

std::string TVistrel::CodecName() const {
  std::lock_guard lock(statisticsTextLock_);
  return codecName_;
}

std::string TVistrel::ElapsedTimeText() const {
  std::lock_guard lock(statisticsTextLock_);
  return elapsedTimeText_;
}

void TVistrel::DeriveModeFlags() {
  const TScreenRegion region = ScreenRegion();
  pickObjectMode_ = region == TScreenRegion::SelObject;
  pickFreeHandMode_ = region == TScreenRegion::FreeHand;
  followMouseMode_ = region == TScreenRegion::FixedMoving;
  fullScreenMode_ = region == TScreenRegion::FullScreen;
}

bool TVistrel::StartRecording(const std::string& fileName) {
  if (Recording()) return false;
  // A recording that has ended may still be saving and removing its temporary files, which
  // the new one would reuse: refuse until that thread is done.
  if (sessionThread_.joinable()) return false;
  ProcessState& process = Process();
  process.TargetFileName = fileName;
  if (MinimizeAppOnStart()) platform_.shell.MinimizeApplication();
  DeriveModeFlags();
  areaTimer_->SetEnabled(true);
  if (pickFreeHandMode_ || pickObjectMode_) {
    process.PendingStart = true;
    return false;
  }
  process.PendingStart = false;
  if (fullScreenMode_) SetRegionToFullScreen();
  recording_.Set(true);
  workerDone_.Set(false);
  workerThreadId_.Set(0);
  sessionThread_ = std::thread([this] { RunRecordThread(); });
  return true;
}

void TVistrel::SetRegionToFullScreen() {
  const Size screen = platform_.screen.ScreenSize();
  SetScreenLeft(0);
  SetScreenTop(0);
  SetScreenWidth(screen.width);
  SetScreenHeight(screen.height);
}

void TVistrel::StopRecording() {
  Process().StopRequest = TStopRequest::Stop;
  recording_.Set(false);
  ApplyShowPreview();
}

}  // namespace orvenna
