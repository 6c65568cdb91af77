// The desktop application on the real display with the real compressors: a recording of a
// moving window started with the Start Recording button and stopped with Shift+Esc through
// the system-wide hot key, checked with ffprobe and ffmpeg; and the orvenna program itself.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <filesystem>

#include "tests/ui/mainwindow_rig.h"
#include "ui/DesktopPlatform.h"

namespace orvenna::test {
namespace {

// A window whose picture changes 30 times a second: a bar sweeping over a changing colour.
class MovingContent final : public QWidget {
 public:
  MovingContent() {
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    connect(&timer_, &QTimer::timeout, this, [this] {
      ++step_;
      update();
    });
    timer_.start(33);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromHsv((step_ * 7) % 360, 200, 220));
    painter.fillRect((step_ * 9) % width(), 0, 40, height(), Qt::black);
  }

 private:
  QTimer timer_;
  int step_ = 0;
};

struct ToolRun {
  int exitCode = -1;
  QByteArray output;
};

ToolRun RunToEnd(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  ToolRun run;
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.exitCode = process.exitCode();
  run.output = process.readAllStandardOutput();
  return run;
}

class MainWindowEndToEndTest : public QtDisplayTest {};

TEST_F(MainWindowEndToEndTest, RecordsAMovingWindowUntilShiftEscape) {
  TempFolder home;
  PrivateHome privateHome(home.Path());
  std::string error;
  std::unique_ptr<X11Screen> screen = X11Screen::Open("", error);
  ASSERT_TRUE(screen) << error;
  DesktopPlatform desktop(std::move(screen));
  TfrmMain window(desktop.Services());
  desktop.Shell().SetMainWindow(&window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  MovingContent content;
  content.setGeometry(200, 150, 320, 240);
  content.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));

  window.RadioGroup1Items->button(3)->setChecked(true);
  window.Edit1->setText("150");
  window.Edit2->setText("200");
  window.Edit3->setText("320");
  window.Edit4->setText("240");
  QTest::mouseClick(window.RecBut, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.StopBut->isEnabled(); }, 15000));
  QTest::qWait(3000);
  ASSERT_EQ(RunToEnd("xdotool", {"key", "shift+Escape"}).exitCode, 0);

  TVistrel& engine = *window.Engine();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !engine.SessionThreadRunning() && window.RecBut->isEnabled(); }, 60000));
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);
  EXPECT_TRUE(Process().SaveSucceeded);

  const QString output = window.Edit8->text();
  EXPECT_EQ(output.toStdString(), home.Path() + "/Documents/Capture.avi");
  ASSERT_TRUE(std::filesystem::exists(output.toStdString()));
  const ToolRun probe = RunToEnd(
      "ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                  "stream=width,height,nb_read_frames", "-of", "csv=p=0", output});
  ASSERT_EQ(probe.exitCode, 0);
  const QStringList fields = QString::fromUtf8(probe.output).trimmed().split(',');
  ASSERT_EQ(fields.size(), 3) << probe.output.toStdString();
  EXPECT_EQ(fields[0], "320");
  EXPECT_EQ(fields[1], "240");
  EXPECT_GE(fields[2].toInt(), 30) << "about three seconds at 30 frames a second";

  const ToolRun decoded = RunToEnd("ffmpeg", {"-v", "error", "-i", output, "-f", "framemd5", "-"});
  ASSERT_EQ(decoded.exitCode, 0);
  QSet<QByteArray> pictures;
  for (const QByteArray& line : decoded.output.split('\n')) {
    if (!line.startsWith('#') && !line.isEmpty()) pictures.insert(line.split(',').last().trimmed());
  }
  EXPECT_GE(pictures.size(), 10) << "the moving window gives many different frames";

  // Back to idle.
  for (QWidget* on : std::initializer_list<QWidget*>{
           window.RecBut, window.Button4, window.VidOptBut, window.RadioGroup1, window.ComboBox3,
           window.Edit8, window.Edit3}) {
    EXPECT_TRUE(on->isEnabled());
  }
  EXPECT_FALSE(window.StopBut->isEnabled());
  EXPECT_EQ(window.LStatus->text(), "No Status");
  EXPECT_FALSE(window.LStatus->isEnabled());
  EXPECT_FALSE(window.BCancel->isEnabled());
  EXPECT_EQ(window.Progress->value(), 0);
  EXPECT_TRUE(window.VideoCodec->text().startsWith("Video Codec : "));
  window.close();
}

// The installed program, started as a user would.
class OrvennaProgramTest : public QtDisplayTest {
 protected:
  void Start(const QProcessEnvironment& environment) {
    program_.setProcessEnvironment(environment);
    program_.start(ORVENNA_PROGRAM, {});
    ASSERT_TRUE(program_.waitForStarted());
  }
  ~OrvennaProgramTest() override {
    if (program_.state() != QProcess::NotRunning) {
      program_.kill();
      program_.waitForFinished();
    }
  }
  QProcess program_;
};

TEST_F(OrvennaProgramTest, OpensItsWindowAndEndsWithExit) {
  TempFolder home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", QString::fromStdString(home.Path()));
  Start(environment);
  QString windowId;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        windowId = RunTool("xdotool", {"search", "--onlyvisible", "--name", "^Orvenna$"}).trimmed();
        return !windowId.isEmpty();
      },
      20000));
  // The Exit button, in the window's own coordinates. A window that has just been mapped may
  // still be placed by the window manager, which a click then misses: it is clicked again
  // until the program ends.
  bool finished = false;
  for (int attempt = 0; attempt < 10 && !finished; ++attempt) {
    RunTool("xdotool",
            {"mousemove", "--window", windowId.split('\n').first(), "483", "486", "click", "1"});
    finished = program_.waitForFinished(2000);
  }
  ASSERT_TRUE(finished);
  EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program_.exitCode(), 0);
  EXPECT_TRUE(std::filesystem::exists(home.Path() + "/Documents"));
}

TEST_F(OrvennaProgramTest, WithoutADisplayItSaysHowToRecordAnyway) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", ":4242");
  Start(environment);
  ASSERT_TRUE(program_.waitForFinished(20000));
  EXPECT_EQ(program_.exitCode(), 1);
  const QString said = QString::fromLocal8Bit(program_.readAllStandardError());
  EXPECT_TRUE(said.contains("orvenna-cli")) << said.toStdString();
}

}  // namespace
}  // namespace orvenna::test
