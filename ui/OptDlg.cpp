#include "ui/OptDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/Vistrel.h"
#include "platform/RecordingDefaults.h"
#include "ui/IntegerText.h"
#include "ui/Unit1.h"

namespace orvenna {
namespace {

constexpr int kClientWidth = 439;
constexpr int kClientHeight = 433;
constexpr int kGroupWidth = 423;
constexpr int kLabelHeight = 16;
constexpr int kFieldHeight = 22;
constexpr int kButtonHeight = 25;
constexpr int kSliderHeight = 22;
// Left edge of the controls that follow a caption in the first group.
constexpr int kControlLeft = 150;
// The record interval and the playback rate of one frame are reciprocal: 1000 ms / rate.
constexpr int kMillisecondsPerSecond = 1000;

QLabel* NewLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                 int width) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(left, top, width, kLabelHeight);
  return label;
}

QComboBox* NewList(QWidget* parent, const char* name, int left, int top, int width) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setGeometry(left, top, width, kFieldHeight);
  return list;
}

// A slider over the range the settings table gives `setting` in the dialog.
QSlider* NewSlider(QWidget* parent, const char* name, NumericOption setting, int position, int left,
                   int top, int width) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setTickPosition(QSlider::NoTicks);
  const NumberRange range = *SettingOf(setting).sliderRange;
  slider->setRange(range.low, range.high);
  slider->setValue(position);
  slider->setGeometry(left, top, width, kSliderHeight);
  return slider;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                       int width) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, top, width, kButtonHeight);
  return button;
}

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& caption, bool checked,
                       int left, int top, int width) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(checked);
  box->setGeometry(left, top, width, 20);
  return box;
}

void FillList(QComboBox* list, const std::vector<std::string>& items) {
  list->clear();
  for (const std::string& item : items) list->addItem(QString::fromStdString(item));
}

void SetEnabled(std::initializer_list<QWidget*> controls, bool enabled) {
  for (QWidget* control : controls) control->setEnabled(enabled);
}

}  // namespace

TfrmOption::TfrmOption(TfrmMain& owner)
    : QDialog(&owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), owner_(owner) {
  CreateControls();
  ConnectHandlers();
}

void TfrmOption::CreateControls() {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(QStringLiteral("Options"));
  setFixedSize(kClientWidth, kClientHeight);
  setModal(true);
  QFont base = font();
  base.setPointSize(8);
  setFont(base);

  Compressor = new QGroupBox(QStringLiteral("Video / Audio Settings"), this);
  Compressor->setObjectName(QStringLiteral("Compressor"));
  Compressor->setGeometry(8, 6, kGroupWidth, 184);
  Label8 = NewLabel(Compressor, "Label8", QStringLiteral("Video Codecs :"), 10, 24, 84);
  VideoCompressor = NewList(Compressor, "VideoCompressor", 96, 21, 178);
  AboutB = NewButton(Compressor, "AboutB", QStringLiteral("About"), 278, 19, 62);
  ConfigB = NewButton(Compressor, "ConfigB", QStringLiteral("Configure"), 344, 19, 69);

  Label1 = NewLabel(Compressor, "Label1", QStringLiteral("Video Output Quality :"), 10, 55, 138);
  VideoQuality = NewSlider(Compressor, "VideoQuality", NumericOption::Quality,
                           SettingOf(NumericOption::Quality).defaultValue, kControlLeft, 52, 222);
  LabelQuality = NewLabel(Compressor, "LabelQuality", QString(), 378, 55, 35);

  AudioRecord =
      NewCheckBox(Compressor, "AudioRecord", QStringLiteral("Audio Record"), false, 10, 80, 200);
  Label9 = NewLabel(Compressor, "Label9", QStringLiteral("Audio Format :"), 10, 107, 138);
  AudioFormat = NewList(Compressor, "AudioFormat", kControlLeft, 104, 263);
  Label11 = NewLabel(Compressor, "Label11", QStringLiteral("Audio Input :"), 10, 133, 138);
  AudioInput = NewList(Compressor, "AudioInput", kControlLeft, 130, 263);
  Label10 = NewLabel(Compressor, "Label10", QStringLiteral("Audio Input Volume :"), 10, 159, 138);
  AudioVolume =
      NewSlider(Compressor, "AudioVolume", NumericOption::AudioVolume, 0, kControlLeft, 156, 222);
  LabelVolume = NewLabel(Compressor, "LabelVolume", QString(), 378, 159, 35);
  SetEnabled({Label9, AudioFormat, Label11, AudioInput, Label10, AudioVolume, LabelVolume}, false);

  GroupBox1 = new QGroupBox(QStringLiteral("Video Frame Parameters :"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 194, kGroupWidth, 200);
  AutoMode = NewCheckBox(GroupBox1, "AutoMode",
                         QStringLiteral("Full Auto Mode ON (Synchronize  f/s)"), true, 10, 20, 400);

  // Each slider has its range's two ends written above its ends and its position between.
  const NumberRange interval = *SettingOf(NumericOption::Interval).sliderRange;
  const NumberRange fps = *SettingOf(NumericOption::Fps).sliderRange;
  const int rangeWidth = 130;
  const int middleLeft = 10 + rangeWidth;
  const int middleWidth = kGroupWidth - 20 - 2 * rangeWidth;
  const int rightLeft = middleLeft + middleWidth;
  Label12 = NewLabel(GroupBox1, "Label12", QStringLiteral("Delay Every Frames :"), 10, 44, 200);
  Label6 = NewLabel(GroupBox1, "Label6", QString::asprintf("%d Millisecond", interval.low), 10, 62,
                    rangeWidth);
  labelmspFrecord = NewLabel(GroupBox1, "labelmspFrecord", QString(), middleLeft, 62, middleWidth);
  labelmspFrecord->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  Label4 = NewLabel(GroupBox1, "Label4", QStringLiteral("1 Second"), rightLeft, 62, rangeWidth);
  Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  TrackBarRecord = NewSlider(GroupBox1, "TrackBarRecord", NumericOption::Interval, 100, 10, 78,
                             kGroupWidth - 20);

  Label2 = NewLabel(GroupBox1, "Label2", QStringLiteral("Set key frames every"), 10, 111, 128);
  EditKeyFrames = new QLineEdit(GroupBox1);
  EditKeyFrames->setObjectName(QStringLiteral("EditKeyFrames"));
  EditKeyFrames->setGeometry(140, 108, 60, kFieldHeight);
  Label3 = NewLabel(GroupBox1, "Label3", QStringLiteral("frames"), 206, 111, 60);

  Label13 =
      NewLabel(GroupBox1, "Label13", QStringLiteral("Playback Frame Rate : (FPS)"), 10, 138, 250);
  Label5 = NewLabel(GroupBox1, "Label5", QString::asprintf("%d fps", fps.low), 10, 156, rangeWidth);
  labelFPSPlayback =
      NewLabel(GroupBox1, "labelFPSPlayback", QString(), middleLeft, 156, middleWidth);
  labelFPSPlayback->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  Label7 = NewLabel(GroupBox1, "Label7", QString::asprintf("%d fps", fps.high), rightLeft, 156,
                    rangeWidth);
  Label7->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  TrackBarPlayback =
      NewSlider(GroupBox1, "TrackBarPlayback", NumericOption::Fps, 10, 10, 172, kGroupWidth - 20);

  // Where the desktop shares its screen on request, the monitor it shares can be chosen again.
  ChooseScreenB =
      NewButton(this, "ChooseScreenB", QStringLiteral("Choose Screen Again"), 8, 400, 130);
  ChooseScreenB->setVisible(owner_.Sharing() != nullptr);
  Button2 = NewButton(this, "Button2", QStringLiteral("OK"), kClientWidth - 166, 400, 75);
  Button2->setDefault(true);
  Button3 = NewButton(this, "Button3", QStringLiteral("Cancel"), kClientWidth - 83, 400, 75);
}

void TfrmOption::ConnectHandlers() {
  const auto onChange = [this](QSlider* slider, void (TfrmOption::*handler)()) {
    connect(slider, &QSlider::valueChanged, this, [this, handler] { (this->*handler)(); });
  };
  onChange(VideoQuality, &TfrmOption::VideoQualityChange);
  onChange(AudioVolume, &TfrmOption::AudioVolumeChange);
  onChange(TrackBarRecord, &TfrmOption::TrackBarRecordChange);
  onChange(TrackBarPlayback, &TfrmOption::TrackBarPlaybackChange);
  // activated: a selection by the user only, not one the dialog makes itself.
  connect(VideoCompressor, &QComboBox::activated, this, [this] { VideoCompressorClick(); });
  connect(AudioInput, &QComboBox::activated, this, [this] { AudioInputClick(); });
  connect(AutoMode, &QCheckBox::toggled, this, [this] { AutoModeClick(); });
  connect(AudioRecord, &QCheckBox::toggled, this, [this] { AudioRecordClick(); });
  connect(AboutB, &QPushButton::clicked, this, [this] { AboutBClick(); });
  connect(ConfigB, &QPushButton::clicked, this, [this] { ConfigBClick(); });
  connect(ChooseScreenB, &QPushButton::clicked, this, [this] { ChooseScreenBClick(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

TVistrel* TfrmOption::Engine() const {
  return owner_.Engine();
}

WindowHandle TfrmOption::WindowForCompressor() {
  return static_cast<WindowHandle>(static_cast<QWidget*>(this));
}

void TfrmOption::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window shown again after being minimised is not a new showing.
  if (event->spontaneous()) return;
  CentreOverOwner();
  FormShow();
}

void TfrmOption::CentreOverOwner() {
  // Before its first showing the dialog has no frame yet; the owner's frame stands in for it.
  const QSize frameExtra = owner_.frameGeometry().size() - owner_.size();
  QRect frame(QPoint(0, 0), size() + frameExtra);
  frame.moveCenter(owner_.frameGeometry().center());
  if (const QScreen* screen = owner_.screen()) {
    const QRect area = screen->availableGeometry();
    frame.moveLeft(std::clamp(frame.left(), area.left(),
                              std::max(area.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(frame.top(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - frame.height())));
  }
  move(frame.topLeft());
}

void TfrmOption::ChooseScreenBClick() {
  if (ScreenRequests* sharing = owner_.Sharing()) sharing->ChooseAgain();
  ChooseScreenB->setEnabled(false);
  ChooseScreenB->setToolTip(
      QStringLiteral("The desktop asks which screen to share at the next "
                     "recording or preview."));
}

void TfrmOption::FormShow() {
  ChooseScreenB->setEnabled(true);
  ChooseScreenB->setToolTip(
      QStringLiteral("Has the desktop ask again which screen to share; the screen chosen "
                     "before is kept until another is chosen."));
  TVistrel* engine = Engine();
  if (engine == nullptr) return;
  FillList(VideoCompressor, engine->GetCompressorList());
  FillList(AudioFormat, engine->GetAudioFormatList());
  AudioInputInfo inputs;
  engine->GetAudioInputs(inputs);
  static const std::vector<std::string> kNoLines;
  const std::vector<std::string>& lines = inputs.Lines != nullptr ? *inputs.Lines : kNoLines;
  FillList(AudioInput, lines);
  // Shown in place of a selection while the list is empty: no sound server or no input.
  AudioInput->setPlaceholderText(lines.empty() ? QStringLiteral("No sound input found")
                                               : QString());

  VideoCompressor->setCurrentIndex(engine->SelectedCompressor());
  if (VideoCompressor->currentIndex() < 0) {
    VideoCompressor->setCurrentIndex(0);
    RefreshCompressorButtons();
  }
  AudioFormat->setCurrentIndex(engine->AudioFormatsIndex());
  AudioInput->setCurrentIndex(inputs.SelectedIndex);
  ShowInputVolume(inputs, AudioRecord->isChecked());

  TrackBarRecord->setValue(engine->MSPFRecord());
  TrackBarPlayback->setValue(engine->FPSPlayBack());
  EditKeyFrames->setText(QString::number(engine->KeyFramesEvery()));
  VideoQuality->setValue(engine->CompressionQuality() / kQualityPerPercent);
  RefreshCompressorButtons();
}

void TfrmOption::ShowInputVolume(const AudioInputInfo& inputs, bool enable) {
  // A volume that could not be read (-1) is not shown as 0: every slider change writes the
  // slider's position to the line, which would silence it.
  inputVolumeKnown_ = inputs.HasVolume && inputs.Volume >= 0 && AudioInput->currentIndex() >= 0;
  if (inputVolumeKnown_) {
    if (enable) SetEnabled({AudioVolume, LabelVolume}, true);
    volumeOnLine_ = std::clamp(inputs.Volume, AudioVolume->minimum(), AudioVolume->maximum());
    AudioVolume->setValue(inputs.Volume);
  } else {
    AudioVolume->setValue(0);
    SetEnabled({AudioVolume, LabelVolume}, false);
  }
}

void TfrmOption::RefreshCompressorButtons() {
  const int selected = VideoCompressor->currentIndex();
  bool hasAbout = false;
  bool hasConfigure = false;
  TVistrel* engine = Engine();
  if (engine != nullptr && selected >= 0) {
    engine->QueryCompressorDialogs(static_cast<std::uint8_t>(selected), hasAbout, hasConfigure);
  }
  AboutB->setEnabled(hasAbout);
  ConfigB->setEnabled(hasConfigure);
  SetEnabled({VideoQuality, Label1, LabelQuality}, selected >= 0);
}

void TfrmOption::RefreshLabels() {
  labelmspFrecord->setText(QString::asprintf("%d Millisecond", TrackBarRecord->value()));
  labelFPSPlayback->setText(QString::asprintf("%d fps", TrackBarPlayback->value()));
  LabelQuality->setText(QString::number(VideoQuality->value()));
  LabelVolume->setText(QString::number(AudioVolume->value()));
  TVistrel* engine = Engine();
  if (engine != nullptr && inputVolumeKnown_ && AudioVolume->value() != volumeOnLine_) {
    engine->SetAudioInputVolume(AudioInput->currentIndex(), AudioVolume->value());
    volumeOnLine_ = AudioVolume->value();
  }
}

void TfrmOption::VideoCompressorClick() {
  RefreshCompressorButtons();
}

void TfrmOption::AboutBClick() {
  const int selected = VideoCompressor->currentIndex();
  TVistrel* engine = Engine();
  if (engine == nullptr || selected < 0) return;
  engine->CompressorAbout(static_cast<std::uint8_t>(selected), WindowForCompressor());
}

void TfrmOption::ConfigBClick() {
  const int selected = VideoCompressor->currentIndex();
  TVistrel* engine = Engine();
  if (engine == nullptr || selected < 0) return;
  engine->CompressorConfigure(static_cast<std::uint8_t>(selected), WindowForCompressor());
}

void TfrmOption::VideoQualityChange() {
  RefreshLabels();
}

void TfrmOption::AudioVolumeChange() {
  RefreshLabels();
}

void TfrmOption::TrackBarRecordChange() {
  if (AutoMode->isChecked()) {
    TrackBarPlayback->setValue(kMillisecondsPerSecond / TrackBarRecord->value());
  }
  RefreshLabels();
}

void TfrmOption::TrackBarPlaybackChange() {
  if (AutoMode->isChecked()) {
    TrackBarRecord->setValue(kMillisecondsPerSecond / TrackBarPlayback->value());
  }
  RefreshLabels();
}

void TfrmOption::AutoModeClick() {
  if (AutoMode->isChecked()) {
    TrackBarRecord->setValue(kMillisecondsPerSecond / TrackBarPlayback->value());
  }
}

void TfrmOption::AudioRecordClick() {
  const bool on = AudioRecord->isChecked();
  SetEnabled({Label9, AudioFormat, Label11, AudioInput, Label10}, on);
  if (!on) {
    SetEnabled({AudioVolume, LabelVolume}, false);
    return;
  }
  TVistrel* engine = Engine();
  if (engine == nullptr) return;
  AudioInputInfo inputs;
  engine->GetAudioInputs(inputs);
  ShowInputVolume(inputs, true);
}

void TfrmOption::AudioInputClick() {
  TVistrel* engine = Engine();
  if (engine == nullptr) return;
  engine->SetAudioInput(AudioInput->currentIndex());
  AudioInputInfo inputs;
  engine->GetAudioInputs(inputs);
  ShowInputVolume(inputs, true);
}

void TfrmOption::Button2Click() {
  TVistrel* engine = Engine();
  if (engine != nullptr) {
    RefreshLabels();
    engine->SetSelectedCompressor(VideoCompressor->currentIndex());
    engine->SetCompressionQuality(VideoQuality->value() * kQualityPerPercent);
    try {
      engine->SetKeyFramesEvery(StrToInt(EditKeyFrames->text()));
      engine->SetMSPFRecord(TrackBarRecord->value());
      engine->SetFPSPlayBack(TrackBarPlayback->value());
      engine->SetUseAudioRecord(AudioRecord->isChecked());
      engine->SetAudioFormatsIndex(AudioFormat->currentIndex());
    } catch (const EConvertError& error) {
      // The standard error box, as the main window shows a field that holds no number.
      QMessageBox::critical(this, QApplication::applicationName(),
                            QString::fromStdString(error.what()));
    }
  }
  accept();
}

void TfrmOption::Button3Click() {
  reject();
}

}  // namespace orvenna
