// orvenna-cli --pick-region and --pick-window, driven by xdotool: Esc or SIGTERM ends a pick
// with exit code 1, one line and no file; on a display of two monitors the free-hand window
// covers both, and a rectangle drawn across them is recorded.
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "tests/ui/QtTestApp.h"
#include "tests/ui/pickers_support.h"
// Last: Xlib's macros (None, Bool) would clash with the headers above.
#include "tests/integration/x11_test_support.h"

namespace orvenna {
namespace {

const QString kFreeHandTitle = QStringLiteral("Orvenna free-hand region");
const QString kPickerTitle = QStringLiteral("Orvenna window picker");

class PickersCliTest : public test::QtDisplayTest {
 protected:
  void SetUp() override {
    QtDisplayTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(folder_.isValid());
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("TMPDIR", folder_.path());  // the engine's temporary files
    // Under the leak checker the program's own output only, without the checker's summary.
    const QString leaks = environment_.value("LSAN_OPTIONS");
    environment_.insert("LSAN_OPTIONS",
                        leaks + (leaks.isEmpty() ? "" : ":") + "print_suppressions=0");
  }
  void TearDown() override {
    if (cli_.state() == QProcess::NotRunning) return;
    cli_.kill();
    cli_.waitForFinished();
  }

  // Starts orvenna-cli and waits until its picker (the window titled `title`) shows.
  void Start(const QStringList& arguments, const QString& title) {
    cli_.setProcessEnvironment(environment_);
    cli_.start(ORVENNA_CLI,
               arguments + QStringList{"--compressor", "ZMBV", "--no-cursor", output_});
    ASSERT_TRUE(cli_.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return !Xdo({"search", "--onlyvisible", "--name", "^" + title + "$"}).trimmed().isEmpty();
        },
        15000));
  }
  // The program's exit code once it has ended, -1 when it did not end normally.
  int Finish() {
    if (!QTest::qWaitFor([&] { return cli_.state() == QProcess::NotRunning; }, 120000)) return -1;
    said_ = QString::fromLocal8Bit(cli_.readAllStandardError());
    return cli_.exitStatus() == QProcess::NormalExit ? cli_.exitCode() : -1;
  }
  QByteArray Xdo(const QStringList& arguments) {
    return test::Tool("xdotool", arguments, environment_);
  }

  QTemporaryDir folder_;
  const QString output_ = folder_.path() + "/picked.avi";
  QProcessEnvironment environment_;
  QProcess cli_;
  QString said_;
};

TEST_F(PickersCliTest, EscOrSigtermEndsAPickWithOneLineAndNoFile) {
  const struct {
    const char* option;
    QString title;
    bool terminate;  // SIGTERM instead of Esc
  } picks[] = {{"--pick-window", kPickerTitle, false},
               {"--pick-region", kFreeHandTitle, false},
               {"--pick-region", kFreeHandTitle, true}};
  for (const auto& pick : picks) {
    SCOPED_TRACE(std::string(pick.option) + (pick.terminate ? " SIGTERM" : " Esc"));
    Start({pick.option}, pick.title);
    if (pick.terminate) {
      cli_.terminate();
    } else {
      Xdo({"key", "Escape"});
    }
    EXPECT_EQ(Finish(), 1);
    EXPECT_EQ(said_.toStdString(), "orvenna-cli: no region was picked, so nothing was recorded\n");
    EXPECT_FALSE(QFileInfo::exists(output_));
  }
}

TEST_F(PickersCliTest, OnTwoMonitorsTheFreeHandWindowCoversTheWholeScreen) {
  if (test::Tool("sh", {"-c", "command -v xrandr"}).isNull()) {
    GTEST_SKIP() << "needs xrandr (scripts/deps.sh installs it)";
  }
  // A display of its own, 1600 x 900, split into two monitors side by side.
  x11test::PrivateXServer server({"-screen", "0", "1600x900x24", "+extension", "MIT-SHM"});
  ASSERT_FALSE(server.name().empty());
  environment_.insert("DISPLAY", QString::fromStdString(server.name()));
  ASSERT_FALSE(
      test::Tool("xrandr", {"--setmonitor", "left", "800/211x900/238+0+0", "screen"}, environment_)
          .isNull());
  ASSERT_FALSE(
      test::Tool("xrandr", {"--setmonitor", "right", "800/211x900/238+800+0", "none"}, environment_)
          .isNull());

  Start({"--pick-region", "--seconds", "1"}, kFreeHandTitle);
  const QString geometry = test::Tool("xwininfo", {"-name", kFreeHandTitle}, environment_);
  for (const char* line :
       {"upper-left X:  0\n", "upper-left Y:  0\n", "Width: 1600\n", "Height: 900\n"}) {
    EXPECT_TRUE(geometry.contains(line)) << geometry.toStdString();
  }
  // A rectangle from the left monitor into the right one.
  Xdo({"mousemove", "700", "300", "mousedown", "1", "mousemove", "760", "350", "mousemove", "950",
       "420", "mouseup", "1", "keydown", "ctrl", "click", "1", "keyup", "ctrl"});
  ASSERT_EQ(Finish(), 0) << said_.toStdString();
  EXPECT_EQ(test::ProbeSize(output_), QSize(250, 120));
}

}  // namespace
}  // namespace orvenna
