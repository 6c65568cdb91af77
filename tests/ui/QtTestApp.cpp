#include "tests/ui/QtTestApp.h"

#include <QApplication>
#include <QProcess>
#include <memory>

namespace orvenna::test {
namespace {

// One QApplication per test program, on the X display named by DISPLAY.
class QtApplicationEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    qputenv("QT_QPA_PLATFORM", "xcb");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "orvenna-ui-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

void QtDisplayTest::SetUp() {
  if (QApplication::instance() == nullptr) GTEST_SKIP() << "needs an X display (DISPLAY unset)";
}

QString RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    return {};
  }
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool WindowManagerRunning() {
  return RunTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
}

}  // namespace orvenna::test
