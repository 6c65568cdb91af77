#include "engine/Vistrel.h"

#include "audio/WaveMixer.h"
#include "audio/WaveRecorders.h"
#include "engine/RecordingSession.h"
#include "engine/Utf16.h"
#include "platform/Check.h"
#include "platform/Containers.h"
#include "platform/Log.h"
#include "platform/ThreadPriority.h"
#include "platform/ThreadRole.h"

namespace orvenna {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

TVistrel::TVistrel(const Platform& platform)
    : platform_(platform),
      uiThread_(std::this_thread::get_id()),
      alive_(std::make_shared<bool>(true)) {
  TakeThreadRole(ThreadRole::UI);
  ProcessState& process = Process();
  process.Instance = this;

  // Without a usable temporary folder there are no temporary names, and nothing records.
  tempFolder_ = platform_.files.TempFolder();
  if (!tempFolder_.empty() && tempFolder_.back() != '/') tempFolder_ += '/';
  kept_ = std::make_unique<KeptRecordings>(platform_.files, tempFolder_);
  process.VideoTempFile = tempFolder_.empty() ? "" : tempFolder_ + "~vstream.avi";
  process.AudioTempFile = tempFolder_.empty() ? "" : tempFolder_ + "~astream.wav";
  // The folder used in place of the usual one is told at once; no folder at all, when a
  // recording is asked for.
  if (const std::string note = platform_.files.TempFolderNote();
      !note.empty() && !tempFolder_.empty())
    platform_.shell.ShowInformation(nullptr, "Orvenna", note);
  TidyTempFolder();

  const Size desktop = platform_.screen.ScreenSize();
  desktopWidth_ = desktop.width;
  desktopHeight_ = desktop.height;

  compressorFcc_.Set(DefaultCompressorFcc);
  mixer_ = std::make_unique<TAudioMixer>(platform_.mixer);
  recorder_ =
      std::make_unique<TStockAudioRecorder>(platform_.waveIn, platform_.shell, platform_.files);
  settings_.audioFormatsIndex = -1;
  process.SaveSucceeded = false;
  process.PendingStart = false;

  areaTimer_ = platform_.ui.NewTimer();
  areaTimer_->SetInterval(10);
  areaTimer_->SetEnabled(false);
  areaTimer_->OnTimer = [this] { AreaTimerTick(); };

  process.Stop.Reset();

  // The preview bitmap starts at 8 bits so that the setter really changes it to 32.
  settings_.colors = 0;
  previewBitmap_.SetBitsPerPixel(8);
  SetColors(kEngineDefaults.colors);

  frameWindow_ = platform_.ui.NewFrameWindow();
  frameWindow_->Hide();

  GetAudioFormatList();
  AudioInputInfo inputs;
  GetAudioInputs(inputs);
  GetCompressorList();

  platform_.shell.OnApplicationMinimized = [this] {
    if (frameWindow_->IsShowing()) frameWindow_->Restore();
  };

  platform_.hotKeys.OnHotKey = [this](int id) { HotKeyPressed(id); };
}

TVistrel::~TVistrel() {
  ProcessState& process = Process();
  CheckUiThread("~TVistrel");
  if (Recording()) process.Stop.End(TStopRequest::Cancel);
  platform_.hotKeys.OnHotKey = nullptr;
  platform_.shell.OnApplicationMinimized = nullptr;

  // The recording thread may still be tearing down or saving; it uses the engine until it
  // ends, so wait for it here, letting the UI thread serve what it asks for meanwhile.
  *alive_ = false;
  WaitForRecordThread();

  SetShowPreview(false);
  UpdateHotKeys(true);
  areaTimer_.reset();
  frameWindow_.reset();
  // The temporary files are ours to remove only while no other recording uses them.
  std::string holder;
  if (const auto lock = RecordingLock::Take(platform_.files, tempFolder_, holder)) {
    DeleteTempFile(process.VideoTempFile);
    DeleteTempFile(process.AudioTempFile);
    // A folder made for this run alone goes when the run ends, and with it its lock file.
    if (!platform_.files.TempFolderNote().empty()) lock->Remove();
  }
  TVistrel* self = this;
  process.Instance.compare_exchange_strong(self, nullptr);
}

namespace {

constexpr int kPCMFormatCount = static_cast<int>(TPCMFormat::Stereo16bit48000Hz);

}  // namespace

std::vector<std::string> AudioFormatNames() {
  std::vector<std::string> names;
  for (int value = 1; value <= kPCMFormatCount; ++value) {
    WAVEFORMATEX format;
    FillStandardPCMFormat(format, static_cast<TPCMFormat>(value));
    names.push_back(WaveFormatDescription(format));
  }
  return names;
}

const std::vector<std::string>& TVistrel::GetAudioFormatList() {
  audioFormatNames_ = AudioFormatNames();
  if (settings_.audioFormatsIndex == -1) {
    settings_.audioFormatsIndex = static_cast<int>(recorder_->PCMFormat()) - 1;
  }
  return audioFormatNames_;
}

void TVistrel::CheckUiThread([[maybe_unused]] const char* operation) const {
  ORVENNA_CHECK_THREAD(UI, operation);
  ORVENNA_CHECK(std::this_thread::get_id() == uiThread_, operation);
}

void TVistrel::RaiseError(const std::string& message) {
  Log(LogLevel::Info, "engine", "error reported: " + message);
  if (OnError) OnError(*this, message);
}

void TVistrel::SetColors(int value) {
  CheckUiThread("SetColors");
  if (value == Colors()) return;
  settings_.colors = value;
  previewBitmap_.SetBitsPerPixel(BitCount());
}

void TVistrel::SetPriority(int value) {
  CheckUiThread("SetPriority");
  settings_.priority = value;
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
      UpdateHotKeys();
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
    UpdateHotKeys();
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

std::string TVistrel::ElapsedTimeText() const {
  const std::int64_t milliseconds = statistics_.Read().elapsedMilliseconds;
  if (milliseconds < 0) return "";
  const TElapsedTime t = SplitElapsedTime(milliseconds);
  return std::to_string(t.Hours) + " : " + std::to_string(t.Minutes) + " : " +
         std::to_string(t.Seconds) + " : " + std::to_string(t.Milliseconds);
}

TElapsedTime SplitElapsedTime(std::int64_t m) {
  TElapsedTime t;
  t.Hours = static_cast<int>(m / 3600000);
  t.Minutes = static_cast<int>((m - t.Hours * 3600000LL) / 60000);
  t.Seconds = static_cast<int>((m - t.Hours * 3600000LL - t.Minutes * 60000LL) / 1000);
  t.Milliseconds = static_cast<int>(m % 1000);
  return t;
}

TElapsedTime TVistrel::ElapsedTime() {
  return SplitElapsedTime(Process().ElapsedMilliseconds);
}

void TVistrel::DeriveModeFlags() {
  const TScreenRegion region = ScreenRegion();
  pickObjectMode_ = region == TScreenRegion::SelObject;
  pickFreeHandMode_ = region == TScreenRegion::FreeHand;
  followMouseMode_ = region == TScreenRegion::FixedMoving;
  fullScreenMode_ = region == TScreenRegion::FullScreen;
}

std::string TVistrel::TempFileProblem(const std::string& fileName) const {
  const ProcessState& process = Process();
  for (const std::string& temp : {process.VideoTempFile, process.AudioTempFile}) {
    // Saving over it would replace the recording with itself and then remove it as temporary.
    if (!temp.empty() && platform_.files.SameFile(fileName, temp)) {
      return fileName + " is a temporary file of the recorder, which it removes after every " +
             "recording; choose another name for the recording.";
    }
  }
  return "";
}

std::string TVistrel::OutputKindProblem(const std::string& fileName) const {
  const int selected = settings_.selectedCompressor;
  // Without a compressor of its own the recording asks to use the default one.
  if (selected < 0 || selected >= compressorCount_ || UseDefaultCompressor())
    return ContainerProblem(fileName, DefaultCompressorFcc, DefaultCodecName);
  const ICINFO& entry = compressorTable_[selected];
  return ContainerProblem(fileName, entry.fccHandler, Utf16FieldToUtf8(entry.szName, 16));
}

std::string TVistrel::OutputProblem(const std::string& fileName) const {
  if (!ContainerOfName(fileName)) return ContainerProblem(fileName, 0, "");
  if (std::string problem = TempFileProblem(fileName); !problem.empty()) return problem;
  const std::string cause = platform_.files.WriteProblem(fileName);
  if (cause.empty()) return "";
  return "The recording cannot be saved as " + fileName + ": " + cause +
         ". Choose another name or folder.";
}

bool TVistrel::StartRecording(const std::string& fileName) {
  CheckUiThread("StartRecording");
  if (Recording()) return false;
  // A recording that has ended may still be saving and removing its temporary files, which
  // the new one would reuse: refuse until that thread is done.
  if (sessionThread_.joinable()) return false;
  for (const std::string& problem : {OutputProblem(fileName), OutputKindProblem(fileName)}) {
    if (!problem.empty()) {
      RaiseError(problem);
      return false;
    }
  }
  if (!FitRegionForRecording()) return false;
  if (!TakeRecordingLock(fileName)) return false;
  ProcessState& process = Process();
  process.TargetFileName = fileName;
  if (MinimizeAppOnStart()) platform_.shell.MinimizeApplication();
  DeriveModeFlags();
  areaTimer_->SetEnabled(true);
  if (pickFreeHandMode_ || pickObjectMode_) {
    process.PendingStart = true;
    recordingLock_.reset();  // taken again when the picked region starts the recording
    UpdateHotKeys();
    return false;
  }
  process.PendingStart = false;
  if (fullScreenMode_) SetRegionToFullScreen();
  screenLost_.Set(false);
  cancelledByUser_.Set(false);
  process.Stop.StartRecording();
  SessionSnapshot snapshot{settings_, std::nullopt};
  const int selected = settings_.selectedCompressor;
  if (selected >= 0 && selected < compressorCount_)
    snapshot.selectedEntry = compressorTable_[selected];
  session_ = std::make_unique<RecordingSession>(ContextOfSession(), std::move(snapshot));
  workerDone_.Set(false);
  workerThreadId_.Set(0);
  // The whole recording, to the saved file, is the session's RunThread.
  sessionThread_ = std::thread([this, target = process.TargetFileName] {
    ThreadRoleScope role(ThreadRole::Recording);
    workerThreadId_.Set(CurrentThreadId());
    ApplyPriorityToWorker();
    session_->RunThread(target);
    workerDone_.Set(true);
    OnUiThread([this] { OnRecordThreadEnded(); });
  });
  UpdateHotKeys();
  return true;
}

SessionContext TVistrel::ContextOfSession() {
  return SessionContext{.platform = platform_,
                        .region = region_,
                        .desktop = Size{desktopWidth_, desktopHeight_},
                        .grabSwitches = grabSwitches_,
                        .compressor = {compressorFcc_, useDefaultCompressor_},
                        .statistics = statistics_,
                        .stop = Process().Stop,
                        .screenLost = screenLost_,
                        .recorder = *recorder_,
                        .kept = *kept_,
                        .lock = recordingLock_.get(),
                        .replaceOutput = replaceOutput_,
                        .sink = *this};
}

int TVistrel::RunSession(const std::string& fileName) {
  ORVENNA_CHECK(session_ != nullptr, "RunSession outside a recording");
  switch (session_->Run(fileName)) {
    case SessionOutcome::Finished:
      return 1;
    case SessionOutcome::RunAgainWithDefault:
      return -1;
    case SessionOutcome::Abandoned:
      break;
  }
  return 0;
}

void TVistrel::OnRecordThreadEnded() {
  Process().Stop.EndRecording();
  if (sessionThread_.joinable()) sessionThread_.join();
  session_.reset();
  recordingLock_.reset();
  UpdateHotKeys();
}

void TVistrel::SetRegionToFullScreen() {
  const Size screen = platform_.screen.ScreenSize();
  region_.Set(Rect{0, 0, screen.width, screen.height});
}

void TVistrel::StopRecording() {
  Process().Stop.End(TStopRequest::Stop);
  ApplyShowPreview();
}

void TVistrel::StopAndWaitForRecording() {
  if (Recording()) StopRecording();
  WaitForRecordThread();
}

void TVistrel::WaitForRecordThread() {
  if (sessionThread_.joinable()) {
    platform_.shell.ProcessEventsUntil([this] { return workerDone_.Get(); });
    // The thread's own end, served meanwhile, may have joined it already.
    if (sessionThread_.joinable()) sessionThread_.join();
  }
  session_.reset();
  recordingLock_.reset();
}

void TVistrel::EndRecordingFromOutside() {
  if (!Recording()) return;
  Process().Stop.EndRecording();
  ApplyShowPreview();
}

// What the recording session raises, as the engine's events.
void TVistrel::Started() {
  ORVENNA_CHECK_THREAD(Recording, "TVistrel::Started");
  if (OnStart) OnStart(*this);
}

void TVistrel::Updated() {
  ORVENNA_CHECK_THREAD(Recording, "TVistrel::Updated");
  if (OnUpdate) OnUpdate(*this);
}

void TVistrel::Stopped() {
  ORVENNA_CHECK_THREAD(Recording, "TVistrel::Stopped");
  if (OnStop) OnStop(*this);
}

bool TVistrel::Saving(int percent, const std::string& caption) {
  ORVENNA_CHECK_THREAD(Recording, "TVistrel::Saving");
  bool continueWork = true;
  if (OnSaving) OnSaving(*this, percent, caption, continueWork);
  return continueWork;
}

// No preview unless it was on; the preview's end is shown when asked.
void TVistrel::EndAsCancelled(bool showPreviewEnd) {
  ORVENNA_CHECK_THREAD(Recording, "TVistrel::EndAsCancelled");
  if (ShowPreview()) return;
  if (showPreviewEnd && OnPreview) OnPreview(*this, nullptr, false, false);
  StopAreaTimerAndHideFrame();
}

}  // namespace orvenna
