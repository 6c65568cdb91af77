// The options dialog on the real desktop: the real compressors and the test sound server
// (PULSE_SERVER). Settings chosen in the dialog, opened from the main window, reach the file
// that the next recording writes.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "tests/ui/mainwindow_rig.h"
#include "ui/DesktopPlatform.h"
#include "ui/OptDlg.h"

namespace orvenna::test {
namespace {

class OptionsEndToEndTest : public QtDisplayTest {
 protected:
  void SetUp() override {
    QtDisplayTest::SetUp();
    if (!IsSkipped() && qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
      GTEST_SKIP() << "needs the test sound server (PULSE_SERVER)";
    }
  }
};

TEST_F(OptionsEndToEndTest, ChosenCompressorAndSoundFormatReachTheRecording) {
  TempFolder home;
  PrivateHome privateHome(home.Path());
  std::string error;
  std::unique_ptr<X11Screen> screen = X11Screen::Open("", error);
  ASSERT_TRUE(screen) << error;
  DesktopPlatform desktop(std::move(screen));
  TfrmMain window(desktop.Services());
  desktop.Shell().SetMainWindow(&window);
  TfrmOption options(window);
  window.SetOptionsDialog(&options);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  MessageBoxAnswerer answerer;

  QString format;
  bool worked = false;
  QTimer user;  // works the modal dialog once it shows
  user.setInterval(10);
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (!options.isVisible()) return;
    user.stop();
    worked = true;
    TfrmOption& d = options;
    const int mjpeg = d.VideoCompressor->findText("Motion JPEG", Qt::MatchStartsWith);
    EXPECT_GE(mjpeg, 0);
    d.VideoCompressor->setCurrentIndex(mjpeg);
    d.VideoCompressorClick();
    d.AudioRecord->setChecked(true);
    EXPECT_GE(d.AudioInput->currentIndex(), 0) << "the server's sources are listed";
    d.AudioFormat->setCurrentIndex(d.AudioFormat->findText("PCM: 22.050 kHz, 16 Bit, Stereo"));
    format = d.AudioFormat->currentText();
    d.Button2->click();
  });
  user.start();
  QTest::mouseClick(window.VidOptBut, Qt::LeftButton);
  ASSERT_TRUE(worked);
  ASSERT_EQ(format, "PCM: 22.050 kHz, 16 Bit, Stereo");

  window.CheckBox5->setChecked(false);  // the main window stays where it is
  window.RadioGroup1Items->button(3)->setChecked(true);
  window.Edit1->setText("100");
  window.Edit2->setText("100");
  window.Edit3->setText("160");
  window.Edit4->setText("120");
  QTest::mouseClick(window.RecBut, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.StopBut->isEnabled(); }, 15000));
  QTest::qWait(2000);
  QTest::mouseClick(window.StopBut, Qt::LeftButton);
  TVistrel& engine = *window.Engine();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !engine.SessionThreadRunning() && window.RecBut->isEnabled(); }, 60000));
  for (const auto& box : answerer.boxes) ADD_FAILURE() << box.caption << ": " << box.text;

  // One line per stream: its codec, and a sound stream's rate and channels.
  const QString streams =
      RunTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels",
                          "-of", "csv=p=0", window.Edit8->text()});
  EXPECT_EQ(streams.trimmed().split('\n'), QStringList({"mjpeg", "pcm_s16le,22050,2"}));
  window.close();
}

}  // namespace
}  // namespace orvenna::test
