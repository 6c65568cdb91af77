#include "ui/Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <utility>

#include "platform/Containers.h"
#include "ui/IntegerText.h"
#include "ui/PreviewImage.h"
#include "ui/UpDown.h"
#include "ui/WindowPlacement.h"

namespace orvenna {
namespace {

constexpr int kSessionWatchMilliseconds = 50;
constexpr int kCloseRetryMilliseconds = 50;

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

// The kind of video file `path` names, as users know it ("AVI", "Matroska", "MP4"); the ending
// of its name when it is none of those.
std::string KindOfVideo(const std::string& path) {
  const std::optional<Container> container = ContainerOfName(path);
  if (!container) return NameEnding(path);
  switch (*container) {
    case Container::Avi:
      return "AVI";
    case Container::Matroska:
      return "Matroska";
    case Container::Mp4:
      return "MP4";
  }
  return NameEnding(path);
}

}  // namespace

TfrmMain::TfrmMain(const Platform& platform, RecordedDesktop desktop, QWidget* parent)
    : QWidget(parent),
      screen_(platform.screen),
      shell_(platform.shell),
      desktop_(std::move(desktop)) {
  CreateControls();
  sessionWatch_ = new QTimer(this);
  sessionWatch_->setInterval(kSessionWatchMilliseconds);
  connect(sessionWatch_, &QTimer::timeout, this, [this] { EnableStartWhenSessionEnds(); });
  FormCreate(platform);
  ConnectHandlers();
  ConnectSettingsHandlers();
  ConnectSharing();
  // What this desktop does not allow is said before the user starts anything.
  SayLimitsOnce();
}

TfrmMain::~TfrmMain() {
  // Closing normally destroys the engine first; this covers a window that never closed.
  closing_ = true;
  const std::unique_ptr<TVistrel> engine = std::move(engine_);
}

void TfrmMain::FormCreate(const Platform& platform) {
  cancelRequested_ = false;
  engine_ = std::make_unique<TVistrel>(platform);
  TVistrel& engine = *engine_;
  engine.OnError = [this](TVistrel&, const std::string& message) {
    OnUiThread([this, &message] { EngineError(message); });
  };
  engine.SetColors(kFrontEndDefaults.colors);
  InstallEngineHandlers();
  engine.SetSelectedCompressor(kFrontEndDefaults.selectedCompressor);
  engine.SetCompressionQuality(kFrontEndDefaults.compressionQuality);
  engine.SetKeyFramesEvery(kFrontEndDefaults.keyFramesEvery);
  engine.SetMSPFRecord(kFrontEndDefaults.mspfRecord);
  engine.SetFPSPlayBack(kFrontEndDefaults.fpsPlayBack);
  engine.SetOvelayDrawing(false);

  const QString documents = FromStd(shell_.DocumentsFolder());
  // A fresh account may not have its documents folder yet; the default file goes there.
  if (!documents.isEmpty()) QDir().mkpath(documents);
  Edit8->setText(documents + QStringLiteral("/Capture.avi"));
  SaveDialog1->setDirectory(documents);
}

void TfrmMain::InstallEngineHandlers() {
  TVistrel& engine = *engine_;
  engine.OnUpdate = [this](TVistrel& sender) { OnUiThread([&] { EngineUpdate(sender); }); };
  engine.OnStart = [this](TVistrel&) { OnUiThread([this] { EngineStart(); }); };
  engine.OnStop = [this](TVistrel&) { OnUiThread([this] { EngineStop(); }); };
  engine.OnPreview = [this](TVistrel& sender, const PreviewBitmap* bitmap, bool preview,
                            bool recording) {
    OnUiThread([&] { EnginePreview(sender, bitmap, preview, recording); });
  };
  const auto saving = [this](TVistrel&, int percent, const std::string& caption,
                             bool& continueWork) {
    OnUiThread([&] { EngineSaving(percent, caption, continueWork); });
  };
  engine.OnSaving = saving;
  engine.OnDeleting = saving;
}

void TfrmMain::OnUiThread(const std::function<void()>& work) {
  const auto run = [this, &work] {
    if (displayLost_) return;
    ++handlersRunning_;
    Guarded(work);
    --handlersRunning_;
  };
  // The engine raises some events on the UI thread itself, where a blocking hand-over to the
  // same thread would wait for ever.
  if (QThread::currentThread() == thread()) {
    run();
  } else {
    QMetaObject::invokeMethod(this, run, Qt::BlockingQueuedConnection);
  }
}

bool TfrmMain::SaveRecordingBeforeExit(bool uiThreadServesAnotherThread) {
  displayLost_ = true;
  if (!engine_ || !engine_->SessionThreadRunning()) return true;
  if (handlersRunning_ > 0 || uiThreadServesAnotherThread) return false;
  engine_->StopAndWaitForRecording();
  return true;
}

void TfrmMain::StopAndClose() {
  // A handler of the engine on this stack, or a picker's modal loop, holds the engine: it is
  // ended first, and the window closes on a later turn.
  if (engine_ && (handlersRunning_ > 0 || engine_->WaitingForRegion() || SharingAsked())) {
    if (engine_->WaitingForRegion()) engine_->HotKeyPressed(TVistrel::FHotKey2);
    QTimer::singleShot(kCloseRetryMilliseconds, this, [this] { StopAndClose(); });
    return;
  }
  ExitButClick();
}

void TfrmMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const EConvertError& error) {
    ShowConversionError(QString::fromStdString(error.what()));
  }
}

void TfrmMain::ShowConversionError(const QString& message) {
  QMessageBox::critical(this, QApplication::applicationName(), message);
}

void TfrmMain::ConnectHandlers() {
  const auto onClick = [this](QPushButton* button, void (TfrmMain::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  onClick(RecBut, &TfrmMain::RecButClick);
  onClick(StopBut, &TfrmMain::StopButClick);
  onClick(Button4, &TfrmMain::Button4Click);
  onClick(VidOptBut, &TfrmMain::VidOptButClick);
  onClick(Button3, &TfrmMain::Button3Click);
  onClick(Button1, &TfrmMain::AboutButClick);
  onClick(ExitBut, &TfrmMain::ExitButClick);
  onClick(BCancel, &TfrmMain::BCancelClick);
}

void TfrmMain::RecButClick() {
  if (!engine_) return;
  RadioGroup1Click();
  if (Edit8->text().isEmpty()) return;
  if (!ShareScreenForRegion()) return;
  SayLimitsOnce();
  engine_->StartRecording(Edit8->text().toStdString());
  ReleaseScreenWhenIdle();  // nothing started: the screen is not read
}

void TfrmMain::StopButClick() {
  if (engine_) engine_->StopRecording();
}

void TfrmMain::ExitButClick() {
  if (engine_ && engine_->Recording()) engine_->StopRecording();
  close();
}

void TfrmMain::VidOptButClick() {
  if (optionsDialog_) optionsDialog_->exec();
  SayRecordedSize();  // the compressor chosen there may round the region
}

void TfrmMain::AboutButClick() {
  if (!aboutBox_) return;
  aboutBox_->show();
  aboutBox_->raise();
  aboutBox_->activateWindow();
}

void TfrmMain::Button3Click() {
  const QString name = lastSaveName_.isEmpty() ? QStringLiteral("Capture.avi") : lastSaveName_;
  // The type first: choosing one changes the ending of the name the dialog shows.
  SelectSaveType(QFileInfo(name).suffix());
  SaveDialog1->selectFile(name);
  if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty()) return;
  lastSaveName_ = SaveDialog1->selectedFiles().first();
  Edit8->setText(lastSaveName_);
}

void TfrmMain::Button4Click() {
  const QString path = Edit8->text();
  if (!QFileInfo(path).isFile()) {
    EngineError("File Empty! Take a capture then play.");
    return;
  }
  const std::string file = path.toStdString();
  // The answer may come after the window has gone.
  shell_.OpenWithDefaultProgram(file, [window = QPointer<TfrmMain>(this), file] {
    if (window) {
      window->EngineError("No program could play " + file + ". Install a video player for " +
                          KindOfVideo(file) + " files.");
    }
  });
}

void TfrmMain::BCancelClick() {
  cancelRequested_ = true;
}

void TfrmMain::ShowError(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), text, QMessageBox::Ok, this);
  box.exec();
}

void TfrmMain::EngineError(const std::string& errorMessage) {
  ShowError(FromStd(errorMessage));
}

void TfrmMain::EngineUpdate(TVistrel& sender) {
  VideoCodec->setText(QStringLiteral("Video Codec : %1").arg(FromStd(sender.CodecName())));
  ElapsedTime->setText(QStringLiteral("Elapsed Time : %1").arg(FromStd(sender.ElapsedTimeText())));
  AvrageCapture->setText(QString::asprintf("Average Capture F/S : %.2f", sender.CaptureRate()));
  AvrageCaptured->setText(QString::asprintf("Average Captured F/S : %.2f", sender.CapturedRate()));
  FramesCaptured->setText(QString::asprintf("Frames Captured : %d", sender.FrameCount()));
  DropedFrames->setText(QString::asprintf("Dropped Frames : %d", sender.DroppedFrames()));
}

void TfrmMain::EngineStart() {
  for (QWidget* control : std::initializer_list<QWidget*>{
           ComboBox3, Edit8, RecBut, Button4, VidOptBut, RadioGroup1, Edit1, Edit2, Edit3, Edit4}) {
    control->setEnabled(false);
  }
  StopBut->setEnabled(true);
  MatchUpDownsToFields();
}

void TfrmMain::EngineStop() {
  for (QWidget* control :
       std::initializer_list<QWidget*>{ComboBox3, Edit8, Button4, VidOptBut, RadioGroup1}) {
    control->setEnabled(true);
  }
  StopBut->setEnabled(false);
  // The recording thread still saves and removes its temporary files, which a new recording
  // would use again.
  EnableStartWhenSessionEnds();
  RadioGroup1Click();
}

void TfrmMain::EnableStartWhenSessionEnds() {
  const bool ended = !engine_ || !engine_->SessionThreadRunning();
  RecBut->setEnabled(ended && !closing_);
  if (ended) {
    // A recording that ended on an error may have left the region's fields disabled: the
    // region type's handler sets them as the selected type wants, now that none is running.
    if (sessionWatch_->isActive()) Guarded([this] { RadioGroup1Click(); });
    sessionWatch_->stop();
  } else if (!sessionWatch_->isActive()) {
    sessionWatch_->start();
  }
}

void TfrmMain::EnginePreview(TVistrel& sender, const PreviewBitmap* bitmap, bool preview,
                             bool recording) {
  const bool keys = desktop_.hotKeysProblem.empty();
  const QString recordingText = keys ? QStringLiteral("Recording... Cancel: Esc -- Stop: Shift+Esc")
                                     : QStringLiteral("Recording...");
  if (preview) {
    CheckBox8->setChecked(true);
    Label9->setText(recording ? recordingText
                    : keys    ? QStringLiteral("Preview... Cancel: Esc")
                              : QStringLiteral("Preview..."));
  } else {
    Label9->setText(recording ? recordingText : QStringLiteral("Preview Off..."));
    CheckBox8->setChecked(false);
  }
  Image1->SetPicture(bitmap != nullptr ? PreviewToImage(*bitmap) : QImage());
  Panel1Caption->setVisible(Image1->Picture().isNull());
  ShowRegion(sender);
}

void TfrmMain::EngineSaving(int percent, const std::string& statusCaption, bool& continueWork) {
  QCoreApplication::processEvents();  // a click on Cancel that waits is seen now
  if (cancelRequested_) {
    ResetStatusBar();
    continueWork = false;
    return;
  }
  if (!BCancel->isEnabled()) {
    SessionNote->hide();  // the progress bar it covers is needed now
    BCancel->setEnabled(true);
    LStatus->setEnabled(true);
    LStatus->setText(FromStd(statusCaption));
  }
  Progress->setValue(percent);
  if (percent == 100) ResetStatusBar();
  continueWork = true;
}

void TfrmMain::ResetStatusBar() {
  cancelRequested_ = false;
  LStatus->setEnabled(false);
  BCancel->setEnabled(false);
  LStatus->setText(QStringLiteral("No Status"));
  Progress->setValue(0);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->ignore();  // the first close is still waiting for the recording thread
    return;
  }
  if (handlersRunning_ > 0 || SharingAsked()) {
    // An engine handler below on this stack keeps the recording thread waiting, or a request
    // to the desktop for its screen waits for the user: the engine can only be destroyed once
    // that has returned.
    event->ignore();
    QTimer::singleShot(kCloseRetryMilliseconds, this, [this] { close(); });
    return;
  }
  closing_ = true;
  // Only Cancel stays usable while a recording is cancelled or a stopped one is saved.
  body_->setEnabled(false);
  { const std::unique_ptr<TVistrel> engine = std::move(engine_); }
  event->accept();
  if (OnClosed) OnClosed();
}

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
  if (event->type() == QEvent::WindowStateChange) FollowMinimisedState();
}

void TfrmMain::FollowMinimisedState() {
  if (!aboutBox_) return;
  if (isMinimized()) {
    aboutHiddenByMinimise_ = aboutHiddenByMinimise_ || aboutBox_->isVisible();
    aboutBox_->hide();
  } else if (std::exchange(aboutHiddenByMinimise_, false)) {
    aboutBox_->show();
  }
}

void TfrmMain::setVisible(bool visible) {
  // Placed before it shows, when a move places the window manager's frame: once shown, a move
  // places the window's inside, and the frame's title bar could end up above the screen.
  if (visible && !placed_) {
    placed_ = true;
    CentreOnPrimaryScreen(*this);
  }
  QWidget::setVisible(visible);
}

}  // namespace orvenna
