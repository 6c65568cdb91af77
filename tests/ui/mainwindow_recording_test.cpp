// The main window through whole recordings on a synthetic desktop: the controls while
// recording, saving and after, and closing the window while the recording thread runs.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/ui/mainwindow_rig.h"
#include "ui/UpDown.h"

namespace orvenna::test {
namespace {

using SavingHandler = decltype(TVistrel::OnSaving);

class MainWindowRecordingTest : public MainWindowTest {
 protected:
  // Puts `before` in front of the window's progress handler; it runs on the recording thread.
  void BeforeEachSavingEvent(std::function<void()> before) {
    SavingHandler windowHandler = engine_->OnSaving;
    engine_->OnSaving = [before = std::move(before), windowHandler](TVistrel& sender, int percent,
                                                                    const std::string& caption,
                                                                    bool& continueWork) {
      before();
      windowHandler(sender, percent, caption, continueWork);
    };
  }

  bool TempFilesLeft() const {
    return std::filesystem::exists(Process().VideoTempFile) ||
           std::filesystem::exists(Process().AudioTempFile);
  }
};

TEST_F(MainWindowRecordingTest, ARecordingRunsFromStartToIdle) {
  TfrmMain& w = *window_;
  std::atomic<bool> saving{false};
  BeforeEachSavingEvent([&] {
    saving = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  });
  StartFixedRecording();

  for (QWidget* off : std::initializer_list<QWidget*>{
           w.ComboBox3, w.Edit8, w.RecBut, w.Button4, w.VidOptBut, w.RadioGroup1, w.Edit1, w.Edit2,
           w.Edit3, w.Edit4, w.UpDownTop, w.UpDownLeft, w.UpDownWidth, w.UpDownHeight}) {
    EXPECT_FALSE(off->isEnabled());
  }
  for (QWidget* on :
       std::initializer_list<QWidget*>{w.StopBut, w.CheckBox1, w.ComboBox1, w.ComboBox2,
                                       w.CheckBox9, w.Button3, w.Button1, w.ExitBut}) {
    EXPECT_TRUE(on->isEnabled());
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.FramesCaptured->text() != "     "; }, 5000));
  EXPECT_TRUE(w.VideoCodec->text().startsWith("Video Codec : "));
  EXPECT_TRUE(w.ElapsedTime->text().startsWith("Elapsed Time : "));
  const QRegularExpression twoDecimals(R"(^Average Captured? F/S : \d+\.\d\d$)");
  EXPECT_TRUE(twoDecimals.match(w.AvrageCapture->text()).hasMatch())
      << w.AvrageCapture->text().toStdString();
  EXPECT_TRUE(twoDecimals.match(w.AvrageCaptured->text()).hasMatch());
  EXPECT_TRUE(
      QRegularExpression(R"(^Frames Captured : \d+$)").match(w.FramesCaptured->text()).hasMatch());
  EXPECT_TRUE(
      QRegularExpression(R"(^Dropped Frames : \d+$)").match(w.DropedFrames->text()).hasMatch());

  // Settings pushed during a recording change nothing.
  engine_->SetRecordCursor(false);
  w.RadioGroup1Items->blockSignals(true);
  w.RadioGroup1Items->button(4)->setChecked(true);
  w.RadioGroup1Items->blockSignals(false);
  w.RadioGroup1Click();
  EXPECT_FALSE(engine_->RecordCursor());
  EXPECT_EQ(engine_->ScreenRegion(), TScreenRegion::FixedStable);
  EXPECT_FALSE(w.Edit3->isEnabled());
  EXPECT_TRUE(w.CheckBox3->isEnabled());
  w.RadioGroup1Items->button(3)->setChecked(true);

  // The engine switching the preview off while recording clears the box and its setting.
  w.CheckBox8->setChecked(true);
  engine_->OnPreview(*engine_, nullptr, false, true);
  EXPECT_EQ(w.Label9->text(), "Recording... Cancel: Esc -- Stop: Shift+Esc");
  EXPECT_FALSE(w.CheckBox8->isChecked());
  EXPECT_FALSE(engine_->ShowPreview());

  hotKeys_.Press(TVistrel::FHotKey1);  // Shift+Esc
  ASSERT_TRUE(QTest::qWaitFor([&] { return saving.load(); }, 10000));
  // Stopped, but still saving: everything is back except Start Recording.
  EXPECT_FALSE(w.StopBut->isEnabled());
  for (QWidget* on : std::initializer_list<QWidget*>{w.ComboBox3, w.Edit8, w.Button4, w.VidOptBut,
                                                     w.RadioGroup1, w.Edit3}) {
    EXPECT_TRUE(on->isEnabled());
  }
  EXPECT_FALSE(w.RecBut->isEnabled());
  w.RecButClick();
  EXPECT_TRUE(engine_->SessionThreadRunning());

  WaitUntilIdle();
  EXPECT_TRUE(Process().SaveSucceeded);
  EXPECT_TRUE(std::filesystem::exists(OutputFile()));
  EXPECT_FALSE(TempFilesLeft());
  EXPECT_EQ(w.LStatus->text(), "No Status");
  EXPECT_FALSE(w.BCancel->isEnabled());
  EXPECT_EQ(w.Progress->value(), 0);
  EXPECT_TRUE(w.FramesCaptured->text().startsWith("Frames Captured : ")) << "kept after the end";
  EXPECT_TRUE(w.RecBut->isEnabled());
}

TEST_F(MainWindowRecordingTest, CancelDuringSavingAbandonsTheFile) {
  MessageBoxAnswerer answerer;
  TfrmMain& w = *window_;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  std::atomic<int> events{0};
  // The click lands between the first progress event, which enables Cancel, and the second.
  BeforeEachSavingEvent([&] {
    if (events++ == 1) {
      QMetaObject::invokeMethod(&w, [&w] { QTest::mouseClick(w.BCancel, Qt::LeftButton); });
    }
  });
  StartFixedRecording();
  w.StopButClick();
  WaitUntilIdle();
  EXPECT_FALSE(Process().SaveSucceeded);
  EXPECT_FALSE(TempFilesLeft());
  EXPECT_EQ(w.LStatus->text(), "No Status");
  EXPECT_FALSE(w.CancelRequested());
  ASSERT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(answerer.boxes[0].caption, "Error");
  EXPECT_EQ(answerer.boxes[0].text, "Error: user abort!");
}

TEST_F(MainWindowRecordingTest, ExitWhileRecordingSavesThenCloses) {
  bool closed = false;
  window_->OnClosed = [&] { closed = true; };
  StartFixedRecording();
  window_->ExitButClick();
  EXPECT_TRUE(closed);
  EXPECT_EQ(window_->Engine(), nullptr);
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);
  EXPECT_TRUE(std::filesystem::exists(OutputFile()));
  EXPECT_FALSE(TempFilesLeft());
}

TEST_F(MainWindowRecordingTest, ClosingWhileRecordingCancels) {
  bool closed = false;
  window_->OnClosed = [&] { closed = true; };
  StartFixedRecording();
  window_->close();
  EXPECT_TRUE(closed);
  EXPECT_EQ(window_->Engine(), nullptr);
  EXPECT_EQ(Process().StopRequest, TStopRequest::Cancel);
  EXPECT_FALSE(std::filesystem::exists(OutputFile()));
  EXPECT_FALSE(TempFilesLeft());
}

TEST_F(MainWindowRecordingTest, ACloseArrivingInsideAProgressHandlerWaitsForIt) {
  TfrmMain& w = *window_;
  bool closed = false;
  w.OnClosed = [&] { closed = true; };
  int events = 0;
  // On the UI thread, a close is queued just before the window's first progress handler runs,
  // as a click on the close button would arrive: the handler's own look at pending input
  // meets it while the recording thread waits for that handler.
  SavingHandler windowHandler = engine_->OnSaving;
  engine_->OnSaving = [&, windowHandler](TVistrel& sender, int percent, const std::string& caption,
                                         bool& continueWork) {
    QMetaObject::invokeMethod(
        &w,
        [&] {
          if (events++ == 0)
            QMetaObject::invokeMethod(
                &w, [&w] { w.close(); }, Qt::QueuedConnection);
          windowHandler(sender, percent, caption, continueWork);
        },
        Qt::BlockingQueuedConnection);
  };
  StartFixedRecording();
  w.StopButClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 20000));
  EXPECT_EQ(w.Engine(), nullptr);
  EXPECT_TRUE(std::filesystem::exists(OutputFile()));
  EXPECT_FALSE(TempFilesLeft());
}

}  // namespace
}  // namespace orvenna::test
