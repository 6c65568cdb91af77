// The options dialog over the main window's engine on a synthetic desktop with fake
// compressors and a fake mixer: what a showing reads, the coupled sliders, the input line and
// volume that act on the mixer at once, and what OK, Cancel, Enter and Esc write.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <map>

#include "platform/RecordingDefaults.h"
#include "tests/ui/mainwindow_rig.h"
#include "ui/OptDlg.h"

namespace orvenna::test {
namespace {

using Values = std::vector<std::uint32_t>;

// A sound card whose recording destination selects among "Mic" (60 %), "Line" (no volume
// control) and "Monitor" (50 %), with "Mic" chosen.
FakeMixerDevice SoundCard() {
  const auto volume = [](std::uint32_t value) {
    return FakeMixerControl{MIXERCONTROL_CONTROLTYPE_VOLUME, 65535, {}, {value}};
  };
  FakeMixerControl select{MIXERCONTROL_CONTROLTYPE_MUX, 0, {"Mic", "Line", "Monitor"}, {1, 0, 0}};
  return {"Card",
          {{{"Playback", {volume(65535)}}, {}},
           {{"Recording Control", {select}},
            {{"Mic", {volume(39321)}},
             {"Line", {{MIXERCONTROL_CONTROLTYPE_MUTE, 1, {}, {0}}}},
             {"Monitor", {volume(32768)}}}}}};
}

class OptionsDialogTest : public MainWindowTest {
 protected:
  void SetUp() override {
    mixer_.devices = {SoundCard()};  // the open device refers to it: replace no element later
    MainWindowTest::SetUp();
    if (IsSkipped()) return;
    // The catalogue is read anew at every showing; "Test Video 1" comes first.
    codecs_.Add({.fcc = FourCC('Z', 'M', 'B', 'V'),
                 .name = "ZMBV",
                 .description = "Second",
                 .hasConfigure = true});
    codecs_.Add({.fcc = FourCC('P', 'L', 'N', '1'),
                 .name = "PLN1",
                 .description = "Plain",
                 .hasAbout = false});
    dialog_ = std::make_unique<TfrmOption>(*window_);
    window_->SetOptionsDialog(dialog_.get());
  }
  void TearDown() override {
    dialog_.reset();
    MainWindowTest::TearDown();
  }

  Values& MicVolume() { return mixer_.devices[0].destinations[1].sources[0].controls[0].values; }
  Values& Selection() { return mixer_.devices[0].destinations[1].line.controls[0].values; }
  // The user picks an item of a list with the keyboard.
  static void Pick(QComboBox* list, Qt::Key key) { QTest::keyClick(list, key); }
  // Clicks the main window's Options button; once the dialog shows, `user` works it and must
  // close it. Answers the dialog's result.
  int OpenFromMainWindow(const std::function<void(TfrmOption&)>& user) {
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!dialog_->isVisible()) return;
      poll.stop();
      shown = true;
      EXPECT_EQ(QApplication::activeModalWidget(), dialog_.get());
      user(*dialog_);
      if (dialog_->isVisible()) {
        ADD_FAILURE() << "the dialog was left open";
        dialog_->reject();
      }
    });
    poll.start(10);
    QTest::mouseClick(window_->VidOptBut, Qt::LeftButton);
    EXPECT_TRUE(shown) << "the Options button showed no dialog";
    return dialog_->result();
  }

  std::unique_ptr<TfrmOption> dialog_;
};

TEST_F(OptionsDialogTest, FirstShowingReadsTheStartUpSettings) {
  TfrmOption& d = *dialog_;
  d.show();
  EXPECT_EQ(d.size(), QSize(439, 433));
  EXPECT_FALSE(d.windowFlags().testAnyFlags(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
  EXPECT_EQ(d.AutoMode->text(), "Full Auto Mode ON (Synchronize  f/s)");
  EXPECT_EQ(d.VideoCompressor->currentText(), "Test Video 1");
  EXPECT_TRUE(d.AboutB->isEnabled());
  EXPECT_FALSE(d.ConfigB->isEnabled());
  EXPECT_EQ(d.LabelQuality->text(), "75");
  EXPECT_EQ(d.EditKeyFrames->text(), "100");
  EXPECT_EQ(d.labelmspFrecord->text(), "33 Millisecond");
  EXPECT_EQ(d.labelFPSPlayback->text(), "30 fps");
  EXPECT_TRUE(d.AutoMode->isChecked());
  EXPECT_FALSE(d.AudioRecord->isChecked());
  for (QWidget* audio :
       std::initializer_list<QWidget*>{d.Label9, d.AudioFormat, d.Label11, d.AudioInput, d.Label10,
                                       d.AudioVolume, d.LabelVolume}) {
    EXPECT_FALSE(audio->isEnabled()) << audio->objectName().toStdString();
  }
  EXPECT_EQ(d.AudioFormat->count(), 20);
  EXPECT_EQ(d.AudioFormat->currentIndex(), engine_->AudioFormatsIndex());
  EXPECT_EQ(d.AudioInput->currentText(), "Mic");
  EXPECT_EQ(d.AudioVolume->value(), 60);

  // With the widest values no caption is cut off, and every control lies inside its parent.
  d.AutoMode->setChecked(false);
  d.TrackBarRecord->setValue(1000);
  d.TrackBarPlayback->setValue(200);
  for (QWidget* parent : std::initializer_list<QWidget*>{&d, d.Compressor, d.GroupBox1}) {
    for (QWidget* control : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      SCOPED_TRACE(control->objectName().toStdString());
      EXPECT_TRUE(parent->rect().contains(control->geometry()));
      if (qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control)) {
        EXPECT_LE(control->sizeHint().width(), control->width());
      } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width());
      }
    }
  }
}

// Each slider spans the range the settings table gives it in the dialog, and the captions over
// the record and playback sliders name those ranges' ends; the table's other settings have no
// slider here.
TEST_F(OptionsDialogTest, SlidersSpanTheSettingsTablesRanges) {
  TfrmOption& d = *dialog_;
  const std::map<NumericOption, QSlider*> sliders = {{NumericOption::Quality, d.VideoQuality},
                                                     {NumericOption::Interval, d.TrackBarRecord},
                                                     {NumericOption::Fps, d.TrackBarPlayback},
                                                     {NumericOption::AudioVolume, d.AudioVolume}};
  for (std::size_t i = 0; i < kNumericSettings.size(); ++i) {
    const NumericSetting& setting = kNumericSettings[i];
    SCOPED_TRACE(std::string(setting.option));
    const auto slider = sliders.find(static_cast<NumericOption>(i));
    ASSERT_EQ(setting.sliderRange.has_value(), slider != sliders.end());
    if (slider == sliders.end()) continue;
    EXPECT_EQ(slider->second->minimum(), setting.sliderRange->low);
    EXPECT_EQ(slider->second->maximum(), setting.sliderRange->high);
  }
  EXPECT_EQ(d.Label6->text(), "5 Millisecond");
  EXPECT_EQ(d.Label4->text(), "1 Second");
  EXPECT_EQ(d.Label5->text(), "1 fps");
  EXPECT_EQ(d.Label7->text(), "200 fps");
}

TEST_F(OptionsDialogTest, OptionsButtonShowsItModallyAndEnterOrEscCloseIt) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  EXPECT_EQ(OpenFromMainWindow([&](TfrmOption& d) {
              // Qt learns the final place of a newly mapped window from the window manager.
              const auto offset = [&] {
                return (d.geometry().center() - window_->geometry().center()).manhattanLength();
              };
              EXPECT_TRUE(QTest::qWaitFor([&] { return offset() <= 40; }, 5000))
                  << "not centred over the main window: " << offset() << " pixels off";
              d.VideoQuality->setValue(40);
              QTest::keyClick(&d, Qt::Key_Escape);
            }),
            QDialog::Rejected);
  EXPECT_EQ(engine_->CompressionQuality(), 7500);

  EXPECT_EQ(OpenFromMainWindow([&](TfrmOption& d) {
              EXPECT_EQ(d.VideoQuality->value(), 75) << "each showing reads the engine again";
              d.VideoQuality->setValue(40);
              d.EditKeyFrames->setFocus();
              d.EditKeyFrames->selectAll();
              QTest::keyClicks(d.EditKeyFrames, "250");
              QTest::keyClick(d.EditKeyFrames, Qt::Key_Return);
            }),
            QDialog::Accepted);
  EXPECT_EQ(engine_->CompressionQuality(), 4000);
  EXPECT_EQ(engine_->KeyFramesEvery(), 250);
}

TEST_F(OptionsDialogTest, CompressorSelectionAndItsButtons) {
  TfrmOption& d = *dialog_;
  const struct {
    int engineIndex, shown;
    bool about, configure;
  } cases[] = {{-1, 0, true, false}, {3, 0, true, false}, {1, 1, true, true}, {2, 2, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.engineIndex);
    engine_->SetSelectedCompressor(c.engineIndex);
    d.show();
    EXPECT_EQ(d.VideoCompressor->currentIndex(), c.shown);
    EXPECT_EQ(d.AboutB->isEnabled(), c.about);
    EXPECT_EQ(d.ConfigB->isEnabled(), c.configure);
    d.hide();
  }
  // A selection by the user updates the buttons, which open the selected compressor's dialogs.
  d.show();
  Pick(d.VideoCompressor, Qt::Key_Up);
  EXPECT_TRUE(d.ConfigB->isEnabled());
  d.AboutB->click();
  d.ConfigB->click();
  EXPECT_EQ(codecs_.dialogs, (std::vector<std::string>{"about ZMBV", "configure ZMBV"}));

  // No compressor takes the desktop's frames: nothing to select, nothing to open.
  for (auto fcc :
       {TVistrel::DefaultCompressorFcc, FourCC('Z', 'M', 'B', 'V'), FourCC('P', 'L', 'N', '1')})
    codecs_.Find(fcc)->accepts = [](const BitmapInfoHeader&) { return false; };
  d.hide();
  d.show();
  EXPECT_EQ(d.VideoCompressor->currentIndex(), -1);
  for (QWidget* off : std::initializer_list<QWidget*>{d.AboutB, d.ConfigB, d.VideoQuality, d.Label1,
                                                      d.LabelQuality})
    EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
  d.AboutBClick();
  EXPECT_EQ(codecs_.dialogs.size(), 2u);
  d.Button2->click();
  EXPECT_EQ(engine_->SelectedCompressor(), -1);
}

TEST_F(OptionsDialogTest, AutoModeCouplesTheSliders) {
  TfrmOption& d = *dialog_;
  d.show();
  const struct {
    bool autoMode;
    QSlider* moved;
    int to, record, playback;
  } cases[] = {{true, d.TrackBarPlayback, 150, 6, 166}, {true, d.TrackBarPlayback, 40, 25, 40},
               {true, d.TrackBarRecord, 5, 5, 200},     {true, d.TrackBarRecord, 1000, 1000, 1},
               {true, d.TrackBarRecord, 999, 1000, 1},  {true, d.TrackBarRecord, 2, 5, 200},
               {false, d.TrackBarRecord, 500, 500, 30}, {false, d.TrackBarPlayback, 100, 33, 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moved->objectName().toStdString() + " to " + std::to_string(c.to));
    d.AutoMode->setChecked(false);
    d.TrackBarRecord->setValue(33);
    d.TrackBarPlayback->setValue(30);
    d.AutoMode->setChecked(c.autoMode);
    c.moved->setValue(c.to);
    EXPECT_EQ(d.labelmspFrecord->text(), QString("%1 Millisecond").arg(c.record));
    EXPECT_EQ(d.labelFPSPlayback->text(), QString("%1 fps").arg(c.playback));
  }
  // Switching auto mode on derives the record interval from the playback rate.
  d.AutoMode->setChecked(false);
  d.TrackBarPlayback->setValue(8);
  d.AutoMode->setChecked(true);
  EXPECT_EQ(d.TrackBarRecord->value(), 125);
}

TEST_F(OptionsDialogTest, InputLineAndVolumeActAtOnceAndStayAfterCancel) {
  TfrmOption& d = *dialog_;
  d.show();
  for (QSlider* slider : {d.VideoQuality, d.TrackBarRecord, d.TrackBarPlayback}) {
    SCOPED_TRACE(slider->objectName().toStdString());
    MicVolume() = {0};  // changed behind the dialog's back
    slider->setValue(slider->value() + 1);
    EXPECT_EQ(MicVolume(), Values{0}) << "only the volume slider writes the volume";
  }
  d.AudioVolume->setValue(25);
  EXPECT_EQ(MicVolume(), Values{16384});

  d.AudioRecord->setChecked(true);
  for (QWidget* on : {d.Label9, d.Label11, d.Label10}) EXPECT_TRUE(on->isEnabled());
  const struct {
    Qt::Key key;
    Values selection;
    int volume;
  } picks[] = {{Qt::Key_End, {0, 0, 1}, 50}, {Qt::Key_Up, {0, 1, 0}, 0}};
  for (const auto& pick : picks) {
    Pick(d.AudioInput, pick.key);
    EXPECT_EQ(Selection(), pick.selection);
    EXPECT_EQ(d.AudioVolume->value(), pick.volume);
    EXPECT_EQ(d.AudioVolume->isEnabled(), pick.volume > 0) << "\"Line\" has no volume control";
    EXPECT_EQ(d.LabelVolume->isEnabled(), pick.volume > 0);
  }
  EXPECT_EQ(MicVolume(), Values{16384}) << "no other line's volume moved";

  d.VideoQuality->setValue(20);
  d.Button3->click();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_EQ(Selection(), (Values{0, 1, 0}));
  EXPECT_FALSE(engine_->UseAudioRecord());
  EXPECT_EQ(engine_->CompressionQuality(), 7500);

  d.show();
  EXPECT_TRUE(d.AudioRecord->isChecked()) << "kept although the engine's switch is off";
  EXPECT_TRUE(d.AudioInput->isEnabled());
  EXPECT_EQ(d.AudioInput->currentText(), "Line");
  EXPECT_FALSE(d.AudioVolume->isEnabled());
}

// A volume above what the slider shows stays as it is until the user moves the slider.
TEST_F(OptionsDialogTest, AVolumeAboveTheSlidersRangeIsKept) {
  TfrmOption& d = *dialog_;
  MicVolume() = {85196};  // 130 %
  d.show();
  EXPECT_EQ(d.AudioVolume->value(), 100);
  d.VideoQuality->setValue(d.VideoQuality->value() + 1);
  d.AudioRecord->setChecked(true);
  d.Button2->click();
  EXPECT_EQ(MicVolume(), Values{85196});
  d.show();
  d.AudioVolume->setValue(99);
  EXPECT_EQ(MicVolume(), Values{64880});
  d.Button3->click();
}

TEST_F(OptionsDialogTest, AnInputVolumeThatCannotBeReadIsNeitherShownNorWritten) {
  TfrmOption& d = *dialog_;
  d.AudioRecord->setChecked(true);
  MicVolume().clear();  // the volume control answers no value
  d.show();
  EXPECT_EQ(d.AudioVolume->value(), 0);
  EXPECT_FALSE(d.AudioVolume->isEnabled());
  d.VideoQuality->setValue(10);
  d.Button2->click();
  EXPECT_TRUE(MicVolume().empty()) << "nothing written to the line";

  // The sound server goes away after the engine has read "Mic" at 60 %, which it keeps.
  MicVolume() = {39321};
  d.show();
  d.hide();
  mixer_.devices[0].destinations.clear();
  d.show();
  EXPECT_EQ(d.AudioInput->count(), 0);
  EXPECT_EQ(d.AudioInput->placeholderText(), "No sound input found");
  EXPECT_EQ(d.AudioVolume->value(), 0);
  EXPECT_FALSE(d.AudioVolume->isEnabled());
  d.Button2->click();
  EXPECT_TRUE(engine_->UseAudioRecord()) << "the audio settings are still taken";
  EXPECT_EQ(engine_->AudioFormatsIndex(), d.AudioFormat->currentIndex());
}

TEST_F(OptionsDialogTest, OkWritesEveryValueOrStopsAtAKeyFrameFieldWithoutANumber) {
  MessageBoxAnswerer answerer;
  TfrmOption& d = *dialog_;
  const int format = (engine_->AudioFormatsIndex() + 1) % 20;
  for (const QString text : {"12abc", "", "99999999999", " 48"}) {
    SCOPED_TRACE(text.toStdString());
    const bool number = text == " 48";
    answerer.boxes.clear();
    d.show();
    d.AutoMode->setChecked(false);
    Pick(d.VideoCompressor, Qt::Key_End);
    d.VideoQuality->setValue(40);
    d.EditKeyFrames->setText(text);
    d.TrackBarRecord->setValue(100);
    d.TrackBarPlayback->setValue(20);
    d.AudioRecord->setChecked(true);
    d.AudioFormat->setCurrentIndex(format);
    d.Button2->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(engine_->SelectedCompressor(), 2);
    EXPECT_EQ(engine_->CompressionQuality(), 4000);
    EXPECT_EQ(engine_->KeyFramesEvery(), number ? 48 : 100);
    EXPECT_EQ(engine_->MSPFRecord(), number ? 100 : 33);
    EXPECT_EQ(engine_->FPSPlayBack(), number ? 20 : 30);
    EXPECT_EQ(engine_->UseAudioRecord(), number);
    EXPECT_EQ(engine_->AudioFormatsIndex() == format, number);
    ASSERT_EQ(answerer.boxes.size(), number ? 0u : 1u);
    if (!number) {
      EXPECT_EQ(answerer.boxes[0].text,
                "'" + text.toStdString() + "' is not a valid integer value");
    }
    d.AudioRecord->setChecked(false);
    engine_->SetSelectedCompressor(0);
    engine_->SetCompressionQuality(7500);
  }

  // Once the main window has let go of its engine the dialog still opens and closes.
  window_->close();
  d.show();
  d.Button2->click();
  EXPECT_FALSE(d.isVisible());
}

}  // namespace
}  // namespace orvenna::test
