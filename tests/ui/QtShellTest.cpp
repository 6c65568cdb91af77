// The Qt shell and timer on the real display: calls from worker threads are carried out on
// the UI thread and wait for the user's answer; minimise and restore go through the window
// manager.
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "platform/qt/QtShell.h"
#include "platform/qt/QtTimer.h"
#include "tests/ui/QtTestApp.h"

namespace orvenna {
namespace {

bool OnUiThread() {
  return QThread::currentThread() == QApplication::instance()->thread();
}

// Runs `work` on a new thread while the UI thread keeps its event loop going; its result.

// Answers the next dialog of type T that shows up: `answer` gets it as soon as it is visible.
// A timer does it, because the dialog runs its own modal event loop on the UI thread.
template <typename T>
class DialogAnswerer {
 public:
  explicit DialogAnswerer(std::function<void(T*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<T*>(widget); dialog != nullptr && dialog->isVisible()) {
          poll_.stop();
          answered_ = true;
          answer_(dialog);
          return;
        }
      }
    });
    poll_.start(10);
  }
  bool Answered() const { return answered_; }

 private:
  std::function<void(T*)> answer_;
  QTimer poll_;
  bool answered_ = false;
};

template <typename Result>
bool WaitForResult(const std::future<Result>& result) {
  return QTest::qWaitFor(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000);
}

template <typename Work>
auto OnWorker(Work work) -> decltype(work()) {
  auto result = std::async(std::launch::async, std::move(work));
  EXPECT_TRUE(WaitForResult(result));
  return result.get();
}

class QtShellTest : public test::QtDisplayTest {
 protected:
  void SetUp() override {
    QtDisplayTest::SetUp();
    if (IsSkipped()) return;
    shell_ = std::make_unique<QtShell>();
    main_ = std::make_unique<QWidget>();
    main_->setWindowTitle("Orvenna test main window");
    main_->resize(400, 300);
    main_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    shell_->SetMainWindow(main_.get());
  }

  // "Viewable" while the window is on the screen, "Unmapped" while it is minimised.
  QString MapState() const {
    const QString info = test::RunTool("xwininfo", {"-id", QString::number(main_->winId())});
    return info.section("Map State: Is", 1).section('\n', 0, 0).trimmed();
  }

  std::unique_ptr<QtShell> shell_;
  std::unique_ptr<QWidget> main_;
};

TEST_F(QtShellTest, PostedWorkRunsOnTheUiThread) {
  std::atomic<bool> ran_on_ui{false}, done{false};
  const bool worker_is_ui = OnWorker([&] {
    shell_->PostToUiThread([&] {
      ran_on_ui = OnUiThread();
      done = true;
    });
    return shell_->IsUiThread();
  });
  EXPECT_FALSE(worker_is_ui);
  EXPECT_TRUE(shell_->IsUiThread());
  ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
  EXPECT_TRUE(ran_on_ui);
}

TEST_F(QtShellTest, WaitingOnTheUiThreadServesAWorkerThatCallsIn) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    shell_->PushBusyCursor();  // each call waits for the UI thread
    shell_->PopCursor();
    done = true;
  });
  shell_->ProcessEventsUntil([&] { return done.load(); });
  EXPECT_TRUE(done);
  worker.join();
}

TEST_F(QtShellTest, QuestionFromAWorkerWaitsForTheAnswer) {
  const QString text = "You no selected compressor, use default compressor?";
  for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
    std::future<bool> asked;
    DialogAnswerer<QMessageBox> user([&](QMessageBox* box) {
      EXPECT_EQ(asked.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
          << "returned before the user answered";
      EXPECT_EQ(box->windowTitle(), "Notice");
      EXPECT_EQ(box->text(), text);
      EXPECT_EQ(box->icon(), QMessageBox::Warning);
      EXPECT_EQ(box->parentWidget(), main_.get());
      EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
      box->button(answer)->click();
    });
    asked = std::async(std::launch::async,
                       [&] { return shell_->AskYesNo("Notice", text.toStdString()); });
    ASSERT_TRUE(WaitForResult(asked));
    EXPECT_TRUE(user.Answered());
    EXPECT_EQ(asked.get(), answer == QMessageBox::Yes);
  }
}

TEST_F(QtShellTest, QuestionShowsWhileTheApplicationIsMinimized) {
  if (!test::WindowManagerRunning()) GTEST_SKIP() << "needs a window manager";
  shell_->MinimizeApplication();
  ASSERT_TRUE(QTest::qWaitFor([&] { return MapState() == "UnMapped"; }, 5000));
  bool on_screen = false;
  DialogAnswerer<QMessageBox> user([&](QMessageBox* box) {
    on_screen = QTest::qWaitFor(
        [&] {
          return test::RunTool("xwininfo", {"-id", QString::number(box->winId())})
              .contains("IsViewable");
        },
        3000);
    box->button(QMessageBox::No)->click();
  });
  auto asked = std::async(std::launch::async, [&] { return shell_->AskYesNo("Notice", "Go on?"); });
  ASSERT_TRUE(WaitForResult(asked));
  EXPECT_TRUE(on_screen);
  EXPECT_FALSE(asked.get());
}

TEST_F(QtShellTest, ChoosingAnItemGivesItsIndexOrMinusOne) {
  const std::vector<std::string> items = {"MS Video Codec", "ZMBV", "FFV1"};
  for (const bool accept : {true, false}) {
    DialogAnswerer<QInputDialog> user([&](QInputDialog* dialog) {
      EXPECT_EQ(dialog->textValue(), "ZMBV");  // starts at `current`
      dialog->setTextValue("FFV1");
      if (accept) {
        dialog->accept();
      } else {
        dialog->reject();
      }
    });
    auto chosen = std::async(std::launch::async, [&] {
      return shell_->ChooseItem(nullptr, "Compressor", "Choose one", items, 1);
    });
    ASSERT_TRUE(WaitForResult(chosen));
    EXPECT_TRUE(user.Answered());
    EXPECT_EQ(chosen.get(), accept ? 2 : -1);
  }
}

TEST_F(QtShellTest, BusyCursorsNestFromAnyThread) {
  OnWorker([&] {
    shell_->PushBusyCursor();
    shell_->PushBusyCursor();
    shell_->PopCursor();
    return 0;
  });
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  shell_->PopCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  shell_->PopCursor();  // one too many does no harm
}

TEST_F(QtShellTest, MinimizeAndRestoreThroughTheWindowManager) {
  if (!test::WindowManagerRunning()) GTEST_SKIP() << "needs a window manager";
  int minimized = 0;
  shell_->OnApplicationMinimized = [&] {
    EXPECT_TRUE(OnUiThread());
    ++minimized;
  };

  OnWorker([&] {
    shell_->MinimizeApplication();
    return 0;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return MapState() == "UnMapped"; }, 5000));
  EXPECT_TRUE(main_->isMinimized());
  EXPECT_EQ(minimized, 1);

  OnWorker([&] {
    shell_->RestoreApplication();
    return 0;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return MapState() == "Viewable"; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !main_->isMinimized(); }, 5000));
  // Restoring activates the window; Qt may hand that request to the window manager only after
  // the window is exposed again, and it would undo a minimise that came in between.
  EXPECT_TRUE(QTest::qWaitFor([&] { return main_->isActiveWindow(); }, 5000));

  // Minimised by the user through the window manager: the shell notices as well.
  // (Openbox may drop a request that arrives while it still finishes the restore: ask again.)
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        test::RunTool("xdotool", {"windowminimize", QString::number(main_->winId())});
        return QTest::qWaitFor([&] { return minimized == 2; }, 1000);
      },
      5000));
  EXPECT_EQ(MapState().toStdString(), "UnMapped");
}

TEST_F(QtShellTest, RestoringKeepsAMaximisedWindowMaximised) {
  if (!test::WindowManagerRunning()) GTEST_SKIP() << "needs a window manager";
  const int screenWidth = QGuiApplication::primaryScreen()->availableGeometry().width();
  main_->showMaximized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return main_->geometry().width() == screenWidth; }, 5000));
  // The window manager may set the width and the height in separate steps: the maximised
  // geometry is the one that no longer changes.
  QRect maximised;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        maximised = main_->geometry();
        QTest::qWait(200);
        return main_->isMaximized() && main_->geometry() == maximised;
      },
      5000));
  shell_->MinimizeApplication();
  ASSERT_TRUE(QTest::qWaitFor([&] { return MapState() == "UnMapped"; }, 5000));
  shell_->RestoreApplication();
  EXPECT_TRUE(QTest::qWaitFor([&] { return MapState() == "Viewable"; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return main_->geometry() == maximised; }, 5000));
  EXPECT_TRUE(main_->isMaximized());
}

TEST_F(QtShellTest, WithoutAMainWindowMinimizeDoesNothing) {
  shell_->SetMainWindow(nullptr);
  shell_->MinimizeApplication();
  shell_->RestoreApplication();
  QTest::qWait(100);
  EXPECT_FALSE(main_->isMinimized());
}

using QtTimerTest = test::QtDisplayTest;

TEST_F(QtTimerTest, FiresOnTheUiThreadWhileEnabled) {
  QtTimer timer;
  int fired = 0;
  bool all_on_ui = true;
  timer.OnTimer = [&] {
    all_on_ui = all_on_ui && OnUiThread();
    ++fired;
  };
  timer.SetInterval(10);
  EXPECT_FALSE(timer.Enabled());
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_TRUE(QTest::qWaitFor([&] { return fired >= 3; }, 5000));
  EXPECT_TRUE(all_on_ui);

  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Enabled());
  const int stopped_at = fired;
  QTest::qWait(60);
  EXPECT_EQ(fired, stopped_at);
}

}  // namespace
}  // namespace orvenna
