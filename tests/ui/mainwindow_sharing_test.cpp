// The main window on a desktop that shares its screen only on request, with a scripted sharing:
// what each answer of the desktop does to a start and to the preview, that the sharing ends once
// nothing reads the screen, the notes said once, the window picker that asks for a window, and
// the options dialog's Choose Screen Again.
#include <QLabel>

#include "selection/SelectionWindows.h"
#include "tests/ui/mainwindow_rig.h"
#include "ui/OptDlg.h"

namespace orvenna::test {
namespace {

// A desktop's screen sharing that answers as the test says, at once.
class ScriptedSharing final : public ScreenSharing {
 public:
  ShareOutcome Share(SharedSource source, std::string& problem) override {
    asked.push_back(source);
    problem = answer == ShareOutcome::Shared ? "" : "the desktop said no";
    sharing = answer == ShareOutcome::Shared;
    return answer;
  }
  void StopSharing() override {
    sharing = false;
    ++stops;
  }
  bool Sharing() const override { return sharing; }
  void ChooseAgain() override { ++choseAgain; }
  bool PointerInPicture() const override { return true; }

  ShareOutcome answer = ShareOutcome::Shared;
  std::vector<SharedSource> asked;
  bool sharing = false;
  int stops = 0;
  int choseAgain = 0;
};

class MainWindowSharingTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (!IsSkipped()) MakeWindow();
  }

  // A fresh main window on the sharing desktop.
  void MakeWindow() {
    if (window_) window_->close();
    window_.reset();
    window_ = std::make_unique<TfrmMain>(
        platform_, RecordedDesktop{.kind = ScreenKind::Portal,
                                   .sharing = &requests_,
                                   .hotKeysProblem = "the global keys are not available"});
    engine_ = window_->Engine();
  }

  ScriptedSharing sharing_;
  ScreenRequests requests_{sharing_, shell_};
};

TEST_F(MainWindowSharingTest, AStartAsksForTheMonitorAndWhatTheDesktopAnswersDecides) {
  const struct {
    const char* name;
    ShareOutcome answer;
    bool records;
    const char* said;  // in the status bar, or in an error box when Failed
  } cases[] = {
      {"cancelled", ShareOutcome::Cancelled, false, "The screen was not shared"},
      {"failed", ShareOutcome::Failed, false, "the desktop said no"},
      {"shared", ShareOutcome::Shared, true, "No global keys here"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeWindow();
    sharing_ = ScriptedSharing{};
    sharing_.answer = c.answer;
    MessageBoxAnswerer boxes;
    window_->RadioGroup1Items->button(4)->setChecked(true);
    window_->CheckBox5->setChecked(false);
    window_->RecButClick();
    ASSERT_EQ(sharing_.asked, std::vector<SharedSource>{SharedSource::Monitor});
    EXPECT_EQ(engine_->Recording(), c.records);
    if (c.answer == ShareOutcome::Failed) {
      ASSERT_EQ(boxes.boxes.size(), 1u);
      EXPECT_NE(boxes.boxes[0].text.find(c.said), std::string::npos) << boxes.boxes[0].text;
    } else {
      EXPECT_FALSE(window_->SessionNote->isHidden());
      EXPECT_TRUE(window_->SessionNote->text().contains(c.said))
          << window_->SessionNote->text().toStdString();
    }
    if (c.records) {
      EXPECT_EQ(sharing_.stops, 0);
      WaitForFirstPicture();
      window_->StopButClick();
      WaitUntilIdle();
      ASSERT_TRUE(QTest::qWaitFor([&] { return !sharing_.sharing; }, 5000))
          << "the sharing ends with the recording";
    }
    EXPECT_EQ(std::filesystem::exists(OutputFile()), c.records);
  }
}

// What the desktop does not allow of the settings is said as the window opens, before anything
// starts; what it shares (its pointer in the picture) once it has shared.
TEST_F(MainWindowSharingTest, TheMonitorIsKeptWhileThePreviewRunsAndEachNoteIsSaidOnce) {
  const QString atOpening = window_->SessionNote->text();
  EXPECT_FALSE(window_->SessionNote->isHidden());
  for (const char* said : {"No global keys", "red frame"})
    EXPECT_TRUE(atOpening.contains(said)) << atOpening.toStdString();
  window_->RadioGroup1Items->button(3)->setChecked(true);
  window_->CheckBox1->setChecked(false);  // the desktop draws the pointer all the same
  window_->CheckBox8->setChecked(true);
  EXPECT_EQ(sharing_.asked.size(), 1u);
  EXPECT_TRUE(engine_->ShowPreview());
  const QString first = window_->SessionNote->text();
  EXPECT_EQ(first.toStdString(), "The cursor is recorded all the same here.");

  window_->CheckBox5->setChecked(false);
  window_->Edit3->setText("64");
  window_->Edit4->setText("48");
  window_->RecButClick();  // the monitor is still shared: not asked again
  EXPECT_EQ(sharing_.asked.size(), 1u);
  EXPECT_EQ(window_->SessionNote->text(), first) << "nothing new to say";
  WaitForFirstPicture();
  window_->StopButClick();
  WaitUntilIdle();
  EXPECT_TRUE(sharing_.sharing) << "the preview still reads the screen";
  window_->CheckBox8->setChecked(false);
  EXPECT_FALSE(sharing_.sharing);
}

TEST_F(MainWindowSharingTest, RegionFromWindowsLeavesTheAskingToTheWindowPicker) {
  window_->RadioGroup1Items->button(0)->setChecked(true);
  window_->CheckBox5->setChecked(false);
  window_->RecButClick();
  EXPECT_TRUE(sharing_.asked.empty());
  EXPECT_TRUE(Process().PendingStart);
  engine_->HotKeyPressed(TVistrel::FHotKey2);
}

TEST_F(MainWindowSharingTest, TheQtWindowPickerAsksTheDesktopForAWindow) {
  NoWindowFinder windows;
  QtUiFactory factory;
  factory.UsePickerDesktop(PickerDesktop{.shell = shell_,
                                         .screen = screen_,
                                         .cursor = cursor_,
                                         .windows = windows,
                                         .sharing = &requests_});
  EXPECT_FALSE(factory.NewFrameWindow()->IsShowing());
  for (const ShareOutcome answer : {ShareOutcome::Shared, ShareOutcome::Cancelled}) {
    sharing_.answer = answer;
    const std::unique_ptr<RegionPicker> picker = factory.NewObjectPicker();
    EXPECT_EQ(picker->ShowModal(),
              answer == ShareOutcome::Shared ? ModalResult::Ok : ModalResult::Cancel);
    EXPECT_EQ(sharing_.asked.back(), SharedSource::Window);
    EXPECT_EQ(picker->Selection(), (Rect{0, 0, 1920, 1080}));
  }
}

TEST_F(MainWindowSharingTest, ChooseScreenAgainForgetsTheChoiceAndShowsOnlyWhereItMatters) {
  TfrmOption options(*window_);
  options.show();
  EXPECT_TRUE(options.ChooseScreenB->isVisible());
  QTest::mouseClick(options.ChooseScreenB, Qt::LeftButton);
  EXPECT_EQ(sharing_.choseAgain, 1);
  options.hide();

  TfrmMain onX11(platform_);
  TfrmOption x11Options(onX11);
  x11Options.show();
  EXPECT_FALSE(x11Options.ChooseScreenB->isVisible());
  x11Options.hide();
  onX11.close();
}

}  // namespace
}  // namespace orvenna::test
