#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/PosixFiles.h"
#include "platform/fake/FakeCompressors.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeMixer.h"
#include "platform/fake/FakeScreen.h"
#include "platform/fake/GeneratorWaveIn.h"
#include "platform/mux/LibavContainerWriter.h"
#include "platform/qt/QtShell.h"
#include "platform/resample/PcmResampler.h"
#include "tests/ui/QtTestApp.h"
#include "ui/Unit1.h"

namespace orvenna::test {

// A folder of the test's own, removed with it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvenna-ui-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Makes `folder` the home folder (and so the documents folder's parent) while it lives.
class PrivateHome {
 public:
  explicit PrivateHome(const std::string& folder) : old_(qgetenv("HOME")) {
    qputenv("HOME", QByteArray::fromStdString(folder));
  }
  ~PrivateHome() { qputenv("HOME", old_); }
  PrivateHome(const PrivateHome&) = delete;
  PrivateHome& operator=(const PrivateHome&) = delete;

 private:
  QByteArray old_;
};

// Answers every message box that opens with OK and keeps its caption and text.
class MessageBoxAnswerer {
 public:
  struct Box {
    std::string caption;
    std::string text;
  };
  MessageBoxAnswerer() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString()});
        box->done(QMessageBox::Ok);
      }
    });
    timer_.start();
  }
  std::vector<Box> boxes;

 private:
  QTimer timer_;
};

// The main window on a synthetic 1920 x 1080 desktop with the real Qt shell, fake timers and
// frame window, a copying test compressor, and real files in a private folder that is also
// the home folder.
class MainWindowTest : public QtDisplayTest {
 protected:
  void SetUp() override {
    QtDisplayTest::SetUp();
    if (IsSkipped()) return;
    FakeCompressorBehaviour msvc;
    msvc.fcc = TVistrel::DefaultCompressorFcc;
    msvc.name = "MSVC";
    msvc.description = "Test Video 1";
    codecs_.Add(msvc);
    window_ = std::make_unique<TfrmMain>(platform_);
    engine_ = window_->Engine();
  }

  void TearDown() override {
    if (window_) {
      window_->close();
      window_.reset();
    }
  }

  // Starts a recording of a fixed 64 x 48 region and waits until the window shows it.
  void StartFixedRecording() {
    window_->RadioGroup1Items->button(3)->setChecked(true);
    window_->Edit3->setText("64");
    window_->Edit4->setText("48");
    window_->CheckBox5->setChecked(false);
    window_->RecButClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->StopBut->isEnabled(); }, 10000));
    WaitForFirstPicture();
  }

  // A recording stopped before its first picture leaves no file.
  void WaitForFirstPicture() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine_->FrameCount() > 0; }, 10000));
  }

  // Waits until the recording thread has ended and the window is idle again.
  void WaitUntilIdle() {
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !engine_->SessionThreadRunning() && window_->RecBut->isEnabled(); }, 20000));
  }

  std::string OutputFile() const { return home_.Path() + "/Documents/Capture.avi"; }

  TempFolder home_;
  PrivateHome privateHome_{home_.Path()};
  TempFolder temp_;
  FakeScreen screen_{Size{1920, 1080}};
  FakeCursor cursor_;
  FakeHotKeys hotKeys_;
  PosixFiles files_{temp_.Path()};
  SteadyClock clock_;
  QtShell shell_;
  FakeUiFactory ui_;
  FakeCompressionManager codecs_;
  GeneratorWaveInDriver waveIn_{clock_};
  FakeMixerDriver mixer_;
  PcmResamplingConverter audioConverter_;
  LibavContainerWriter containers_;
  Platform platform_{.screen = screen_,
                     .cursor = cursor_,
                     .hotKeys = hotKeys_,
                     .files = files_,
                     .clock = clock_,
                     .shell = shell_,
                     .ui = ui_,
                     .codecs = codecs_,
                     .waveIn = waveIn_,
                     .mixer = mixer_,
                     .audioConverter = audioConverter_,
                     .containers = containers_};
  std::unique_ptr<TfrmMain> window_;
  TVistrel* engine_ = nullptr;
};

}  // namespace orvenna::test
