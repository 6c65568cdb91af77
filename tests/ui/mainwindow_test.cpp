// The main window on a synthetic desktop: its controls at start, the settings it pushes into
// the engine, the number fields, the capture timer, the preview, the status bar, the save
// dialog and Play.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <future>

#include "tests/ui/mainwindow_rig.h"
#include "ui/PreviewImage.h"
#include "ui/UpDown.h"

namespace orvenna::test {
namespace {

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// Raises a progress event on a thread of its own, as the recording thread does, while the
// UI thread keeps serving; answers Continue.
bool RaiseSavingFromWorker(TVistrel& engine, int percent, const std::string& caption) {
  auto result = std::async(std::launch::async, [&] {
    bool continueWork = false;
    engine.OnSaving(engine, percent, caption, continueWork);
    return continueWork;
  });
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
  return result.get();
}

TEST_F(MainWindowTest, StartsWithEveryControlInItsInitialState) {
  TfrmMain& w = *window_;
  EXPECT_EQ(w.windowTitle(), "Orvenna");
  EXPECT_EQ(w.size(), QSize(529, 558));

  EXPECT_EQ(w.RecBut->text(), "Start Recording");
  EXPECT_TRUE(w.RecBut->isEnabled());
  EXPECT_EQ(w.StopBut->text(), "Stop (Shift + Esc)");
  EXPECT_FALSE(w.StopBut->isEnabled());
  EXPECT_EQ(w.Button4->text(), "Play");
  EXPECT_EQ(w.VidOptBut->text(), "Options");
  EXPECT_EQ(w.Label12->text(), "Save To File :");
  EXPECT_EQ(w.Edit8->text().toStdString(), OutputFile());
  EXPECT_TRUE(QDir(QString::fromStdString(home_.Path() + "/Documents")).exists());
  EXPECT_EQ(w.Button3->text(), "Browse...");
  EXPECT_EQ(w.Label9->text(), "--------------");
  EXPECT_EQ(w.Panel1Caption->text(), "Preview Part...");
  EXPECT_FALSE(w.Panel1Caption->isHidden());
  EXPECT_TRUE(w.Image1->Picture().isNull());
  EXPECT_EQ(w.GroupBox2->title(), "Information");
  EXPECT_EQ(w.VideoCodec->text(), "     Awaiting Capture...");
  for (QLabel* line :
       {w.ElapsedTime, w.AvrageCapture, w.AvrageCaptured, w.FramesCaptured, w.DropedFrames}) {
    EXPECT_EQ(line->text(), "     ");
  }
  EXPECT_EQ(w.Button1->text(), "About");
  EXPECT_EQ(w.ExitBut->text(), "Exit");
  EXPECT_EQ(w.LStatus->text(), "No Status");
  EXPECT_FALSE(w.LStatus->isEnabled());
  EXPECT_EQ(w.BCancel->text(), "Cancel");
  EXPECT_FALSE(w.BCancel->isEnabled());
  EXPECT_EQ(w.Progress->minimum(), 0);
  EXPECT_EQ(w.Progress->maximum(), 100);
  EXPECT_EQ(w.Progress->value(), 0);

  EXPECT_EQ(w.RadioGroup1->title(), "Select Region Type");
  const QStringList regionTypes{"Fixed Region (Region From Windows)",
                                "Fixed Region (Free Hand Mode)", "Fixed Region (Moving By Mouse)",
                                "Fixed Region (Stable)", "Full Screen"};
  for (int i = 0; i < regionTypes.size(); ++i) {
    EXPECT_EQ(w.RadioGroup1Items->button(i)->text(), regionTypes[i]);
  }
  EXPECT_EQ(w.RadioGroup1Items->checkedId(), 2);
  EXPECT_EQ(w.Label2->text(), "Top     :");
  EXPECT_EQ(w.Label3->text(), "Left     :");
  EXPECT_EQ(w.Label4->text(), "Width  :");
  EXPECT_EQ(w.Label5->text(), "Height :");
  EXPECT_EQ(w.Edit1->text(), "0");
  EXPECT_EQ(w.Edit2->text(), "0");
  EXPECT_EQ(w.Edit3->text(), "300");
  EXPECT_EQ(w.Edit4->text(), "300");
  EXPECT_FALSE(w.Edit1->isEnabled());
  EXPECT_FALSE(w.Edit2->isEnabled());
  EXPECT_TRUE(w.Edit3->isEnabled());
  EXPECT_TRUE(w.Edit4->isEnabled());
  EXPECT_FALSE(w.UpDownTop->isEnabled());
  EXPECT_FALSE(w.UpDownLeft->isEnabled());
  EXPECT_TRUE(w.UpDownWidth->isEnabled());
  EXPECT_TRUE(w.UpDownHeight->isEnabled());
  EXPECT_EQ(w.UpDownTop->Max(), 100);
  EXPECT_EQ(w.UpDownLeft->Max(), 100);
  EXPECT_EQ(w.UpDownWidth->Max(), 640);
  EXPECT_EQ(w.UpDownHeight->Max(), 480);

  EXPECT_EQ(w.Label11->text(), "Filter Color :");
  EXPECT_EQ(Items(w.ComboBox2), QStringList({"Original Colors", "Inverse Colors"}));
  EXPECT_EQ(w.ComboBox2->currentIndex(), 0);
  EXPECT_EQ(w.Label13->text(), "Color Mode :");
  EXPECT_EQ(Items(w.ComboBox3), QStringList({"8 bit", "16 bit", "24 bit", "32 bit"}));
  EXPECT_EQ(w.ComboBox3->currentIndex(), 2);
  EXPECT_EQ(w.Label10->text(), "Video Priority :");
  EXPECT_EQ(Items(w.ComboBox1), QStringList({"Idle", "Lowest", "Lower", "Normal", "Higher",
                                             "Highest", "TimeCritical"}));
  EXPECT_EQ(w.ComboBox1->currentIndex(), 3);
  for (const QComboBox* box : {w.ComboBox1, w.ComboBox2, w.ComboBox3})
    EXPECT_FALSE(box->isEditable());

  const struct {
    QCheckBox* box;
    const char* caption;
    bool checked;
  } checkBoxes[] = {{w.CheckBox1, "Record cursor in area capture", true},
                    {w.CheckBox3, "Draw rectangle around area capture", true},
                    {w.CheckBox4, "Draw cross rectangle line", false},
                    {w.CheckBox5, "Minimize application on start capture", true},
                    {w.CheckBox6, "Restore application after capture", true},
                    {w.CheckBox8, "Preview (on / off)", false},
                    {w.CheckBox9, "Capture Timer ON", false}};
  for (const auto& expected : checkBoxes) {
    EXPECT_EQ(expected.box->text(), expected.caption);
    EXPECT_EQ(expected.box->isChecked(), expected.checked) << expected.caption;
  }
  EXPECT_TRUE(w.GroupBox1->title().isEmpty());
  EXPECT_EQ(w.Label6->text(), "Hour");
  EXPECT_EQ(w.Label7->text(), "Min");
  EXPECT_EQ(w.Label8->text(), "Sec");
  for (QLineEdit* field : {w.Edit5, w.Edit6, w.Edit7}) {
    EXPECT_EQ(field->text(), "0");
    EXPECT_FALSE(field->isEnabled());
  }
  for (TUpDown* upDown : {w.UpDown1, w.UpDown2, w.UpDown3}) EXPECT_FALSE(upDown->isEnabled());
  EXPECT_EQ(w.UpDown1->Max(), 99);
  EXPECT_EQ(w.UpDown2->Max(), 59);
  EXPECT_EQ(w.UpDown3->Max(), 59);
}

TEST_F(MainWindowTest, CreationReplacesTheEngineDefaults) {
  EXPECT_EQ(engine_->Colors(), 2);
  EXPECT_EQ(engine_->SelectedCompressor(), 0);
  EXPECT_EQ(engine_->CompressionQuality(), 7500);
  EXPECT_EQ(engine_->KeyFramesEvery(), 100);
  EXPECT_EQ(engine_->MSPFRecord(), 33);
  EXPECT_EQ(engine_->FPSPlayBack(), 30);
  EXPECT_FALSE(engine_->OvelayDrawing());
  EXPECT_FALSE(engine_->OnOverlay);
  EXPECT_TRUE(engine_->OnError && engine_->OnUpdate && engine_->OnStart && engine_->OnStop &&
              engine_->OnPreview && engine_->OnSaving && engine_->OnDeleting);
}

TEST_F(MainWindowTest, EachRegionTypeSetsItsFieldsAndTheEngine) {
  TfrmMain& w = *window_;
  // With the preview on, no preview event copies the engine's region into the fields first.
  w.CheckBox8->setChecked(true);
  w.RadioGroup1Items->button(3)->setChecked(true);
  w.Edit1->setText("10");
  w.Edit2->setText("20");
  w.Edit3->setText("400");
  w.Edit4->setText("200");

  const struct {
    int item;
    bool topLeft, size, drawing;
    TScreenRegion region;
  } cases[] = {{0, false, false, true, TScreenRegion::SelObject},
               {1, false, false, true, TScreenRegion::FreeHand},
               {2, false, true, true, TScreenRegion::FixedMoving},
               {3, true, true, true, TScreenRegion::FixedStable},
               {4, false, false, false, TScreenRegion::FullScreen}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    // The engine's region is moved away first, so that the fields' numbers must be written.
    engine_->SetScreenTop(1);
    engine_->SetScreenLeft(2);
    w.RadioGroup1Items->button(c.item)->setChecked(true);
    EXPECT_EQ(engine_->ScreenRegion(), c.region);
    EXPECT_EQ(w.Edit1->isEnabled(), c.topLeft);
    EXPECT_EQ(w.Edit2->isEnabled(), c.topLeft);
    EXPECT_EQ(w.Edit3->isEnabled(), c.size);
    EXPECT_EQ(w.Edit4->isEnabled(), c.size);
    EXPECT_EQ(w.UpDownTop->isEnabled(), c.topLeft);
    EXPECT_EQ(w.UpDownLeft->isEnabled(), c.topLeft);
    EXPECT_EQ(w.UpDownWidth->isEnabled(), c.size);
    EXPECT_EQ(w.UpDownHeight->isEnabled(), c.size);
    EXPECT_EQ(w.CheckBox3->isEnabled(), c.drawing);
    EXPECT_EQ(w.CheckBox4->isEnabled(), c.drawing);
    if (c.item == 2 || c.item == 3) {
      EXPECT_EQ(engine_->ScreenTop(), 10);
      EXPECT_EQ(engine_->ScreenLeft(), 20);
      EXPECT_EQ(engine_->ScreenWidth(), 400);
      EXPECT_EQ(engine_->ScreenHeight(), 200);
    } else {
      EXPECT_EQ(engine_->ScreenTop(), 1);
      EXPECT_EQ(engine_->ScreenLeft(), 2);
    }
  }
}

TEST_F(MainWindowTest, RadioGroup1ClickPushesEverySetting) {
  TfrmMain& w = *window_;
  w.ComboBox1->setCurrentIndex(5);
  w.ComboBox2->setCurrentIndex(1);
  w.ComboBox3->setCurrentIndex(3);
  w.CheckBox4->setChecked(true);
  w.CheckBox6->setChecked(false);
  // Settings changed in the engine behind the window's back come back from the controls.
  engine_->SetPriority(0);
  engine_->SetFilterColor(0);
  engine_->SetColors(0);
  engine_->SetRecordCursor(false);
  engine_->SetDrawAreaCapture(false);
  engine_->SetLineRectClear(false);
  engine_->SetMinimizeAppOnStart(false);
  engine_->SetRestoreAppOnStop(true);
  engine_->SetOvelayDrawing(true);
  engine_->SetCaptureTimer(TCaptureTimer{true, 0, 0, 0});

  w.RadioGroup1Click();

  EXPECT_EQ(engine_->Priority(), 5);
  EXPECT_EQ(engine_->FilterColor(), 1);
  EXPECT_EQ(engine_->Colors(), 3);
  EXPECT_TRUE(engine_->RecordCursor());
  EXPECT_TRUE(engine_->DrawAreaCapture());
  EXPECT_TRUE(engine_->LineRectClear());
  EXPECT_TRUE(engine_->MinimizeAppOnStart());
  EXPECT_FALSE(engine_->RestoreAppOnStop());
  EXPECT_FALSE(engine_->OvelayDrawing());
  EXPECT_FALSE(engine_->CaptureTimer().Enabled);
  EXPECT_FALSE(engine_->ShowPreview());
  // With preview off, the engine reports its region back into the fields.
  EXPECT_EQ(w.Label9->text(), "Preview Off...");
}

TEST_F(MainWindowTest, StartRecordingWithoutAFileNameOnlyAppliesTheSettings) {
  MessageBoxAnswerer answerer;
  window_->Edit8->clear();
  window_->ComboBox2->setCurrentIndex(1);
  engine_->SetFilterColor(0);
  window_->RecButClick();
  EXPECT_EQ(engine_->FilterColor(), 1);
  EXPECT_FALSE(engine_->SessionThreadRunning());
  EXPECT_FALSE(engine_->Recording());
  QTest::qWait(100);
  EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(MainWindowTest, RegionFieldsTakeDigitsOnlyAndStayWithinTheScreen) {
  TfrmMain& w = *window_;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  EXPECT_EQ(w.UpDownWidth->Max(), 1920) << "activation sets the maxima to the screen";
  EXPECT_EQ(w.UpDownHeight->Max(), 1080);

  w.Edit3->setFocus();
  w.Edit3->selectAll();
  QTest::keyClicks(w.Edit3, "50");
  EXPECT_EQ(w.Edit3->text(), "50");
  QTest::keyClicks(w.Edit3, "0");
  EXPECT_EQ(w.Edit3->text(), "500");
  QTest::keyClicks(w.Edit3, "0");
  EXPECT_EQ(w.Edit3->text(), "1920") << "bounded as soon as the fourth digit is typed";
  EXPECT_EQ(engine_->ScreenWidth(), 1920);

  QTest::keyClick(w.Edit3, Qt::Key_Backspace);
  EXPECT_EQ(w.Edit3->text(), "192");
  EXPECT_EQ(engine_->ScreenWidth(), 192);
  QTest::keyClicks(w.Edit3, "a-b .x");
  EXPECT_EQ(w.Edit3->text(), "192") << "letters and signs never reach the field";

  // Up and Down step within 0 and the screen's width.
  w.Edit3->setText("1919");
  QTest::keyClick(w.Edit3, Qt::Key_Up);
  QTest::keyClick(w.Edit3, Qt::Key_Up);
  EXPECT_EQ(w.Edit3->text(), "1920");
  EXPECT_EQ(engine_->ScreenWidth(), 1920);
  w.UpDownWidth->Step(-1);
  EXPECT_EQ(w.Edit3->text(), "1919");

  // Deleting the last digit leaves "0".
  w.Edit4->setText("7");
  w.Edit4->setFocus();
  w.Edit4->end(false);
  QTest::keyClick(w.Edit4, Qt::Key_Backspace);
  EXPECT_EQ(w.Edit4->text(), "0");
  EXPECT_EQ(engine_->ScreenHeight(), 0);
  w.UpDownHeight->Step(-1);
  EXPECT_EQ(w.Edit4->text(), "0");

  // Top and Height are bounded by the screen's height, Left and Width by its width.
  w.RadioGroup1Items->button(3)->setChecked(true);
  w.Edit1->setText("5000");
  w.Edit2->setText("5000");
  w.Edit4->setText("5000");
  EXPECT_EQ(w.Edit1->text(), "1080");
  EXPECT_EQ(w.Edit2->text(), "1920");
  EXPECT_EQ(w.Edit4->text(), "1080");
  EXPECT_EQ(engine_->ScreenTop(), 1080);
  EXPECT_EQ(engine_->ScreenLeft(), 1920);
  EXPECT_EQ(engine_->ScreenHeight(), 1080);
}

TEST_F(MainWindowTest, AFieldThatHoldsNoNumberIsReportedAndChangesNothing) {
  MessageBoxAnswerer answerer;
  TfrmMain& w = *window_;
  w.CheckBox8->setChecked(true);  // no preview event puts the engine's numbers back
  w.Edit3->setText("640");
  w.Edit3->setText("12abc");  // as pasted
  ASSERT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(answerer.boxes[0].text, "'12abc' is not a valid integer value");
  EXPECT_EQ(w.Edit3->text(), "12abc");
  EXPECT_EQ(engine_->ScreenWidth(), 640);

  // A start stops at the same field: nothing is recorded.
  w.RecBut->click();
  ASSERT_EQ(answerer.boxes.size(), 2u);
  EXPECT_EQ(answerer.boxes[1].text, "'12abc' is not a valid integer value");
  EXPECT_FALSE(engine_->SessionThreadRunning());

  w.Edit3->setText("99999999999");
  ASSERT_EQ(answerer.boxes.size(), 3u);
  EXPECT_EQ(answerer.boxes[2].text, "'99999999999' is not a valid integer value");
  EXPECT_EQ(engine_->ScreenWidth(), 640);

  // With the preview off, a start first takes the engine's region back into the fields.
  w.CheckBox8->setChecked(false);
  EXPECT_EQ(w.Edit3->text(), "640");
}

TEST_F(MainWindowTest, CaptureTimerIsWrittenWholeFromItsFields) {
  MessageBoxAnswerer answerer;
  TfrmMain& w = *window_;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

  w.CheckBox9->setChecked(true);
  for (QWidget* control : std::initializer_list<QWidget*>{w.Edit5, w.UpDown1, w.Edit6, w.UpDown2,
                                                          w.Edit7, w.UpDown3}) {
    EXPECT_TRUE(control->isEnabled());
  }
  EXPECT_TRUE(engine_->CaptureTimer().Enabled);

  w.Edit5->setFocus();
  w.Edit5->selectAll();
  QTest::keyClicks(w.Edit5, "x1");
  EXPECT_EQ(w.Edit5->text(), "1");
  w.Edit6->setFocus();  // leaving Edit5 stores the timer
  EXPECT_EQ(engine_->CaptureTimer().Hours, 1);
  w.Edit6->selectAll();
  QTest::keyClicks(w.Edit6, "300");  // stored as its low eight bits
  w.Edit7->setFocus();
  w.Edit7->clear();
  w.Edit5->setFocus();  // leaving an empty field puts "0" into it
  EXPECT_EQ(w.Edit7->text(), "0");
  const TCaptureTimer stored = engine_->CaptureTimer();
  EXPECT_TRUE(stored.Enabled);
  EXPECT_EQ(stored.Hours, 1);
  EXPECT_EQ(stored.Minutes, 300 & 0xFF);
  EXPECT_EQ(stored.Seconds, 0);
  EXPECT_EQ(std::memcmp(&stored, &w.CaptureTimerRecord(), sizeof(TCaptureTimer)), 0);
  static_assert(sizeof(TCaptureTimer) == 4);

  w.UpDown3->Step(+1);
  w.UpDown1->Step(-1);
  w.RadioGroup1Click();
  EXPECT_EQ(engine_->CaptureTimer().Seconds, 1);
  EXPECT_EQ(engine_->CaptureTimer().Hours, 0);

  w.Edit7->setText("99999999999");
  w.Edit6->setFocus();
  w.Edit5->setFocus();
  w.Edit7->setFocus();
  w.Edit5->setFocus();
  ASSERT_FALSE(answerer.boxes.empty());
  EXPECT_EQ(answerer.boxes.back().text, "'99999999999' is not a valid integer value");
  EXPECT_EQ(engine_->CaptureTimer().Seconds, 1) << "the engine keeps the last good timer";

  w.Edit7->setText("0");
  w.CheckBox9->setChecked(false);
  EXPECT_FALSE(engine_->CaptureTimer().Enabled);
  for (QWidget* control : std::initializer_list<QWidget*>{w.Edit5, w.UpDown1, w.Edit6, w.UpDown2,
                                                          w.Edit7, w.UpDown3}) {
    EXPECT_FALSE(control->isEnabled());
  }
}

TEST_F(MainWindowTest, TheLiveControlsWriteTheEngineAtOnce) {
  TfrmMain& w = *window_;
  const struct {
    QCheckBox* box;
    bool (TVistrel::*read)() const;
  } boxes[] = {{w.CheckBox1, &TVistrel::RecordCursor},
               {w.CheckBox3, &TVistrel::DrawAreaCapture},
               {w.CheckBox4, &TVistrel::LineRectClear},
               {w.CheckBox5, &TVistrel::MinimizeAppOnStart},
               {w.CheckBox6, &TVistrel::RestoreAppOnStop}};
  for (const auto& c : boxes) {
    c.box->toggle();
    EXPECT_EQ((engine_->*c.read)(), c.box->isChecked()) << c.box->text().toStdString();
    c.box->toggle();
    EXPECT_EQ((engine_->*c.read)(), c.box->isChecked()) << c.box->text().toStdString();
  }
  w.ComboBox1->setCurrentIndex(1);
  EXPECT_EQ(engine_->Priority(), 1);
  w.ComboBox2->setCurrentIndex(1);
  EXPECT_EQ(engine_->FilterColor(), 1);
  w.ComboBox3->setCurrentIndex(0);
  EXPECT_EQ(engine_->Colors(), 0);
}

TEST_F(MainWindowTest, PreviewShowsTheRegionAndFollowsTheEngine) {
  TfrmMain& w = *window_;
  {
    std::lock_guard lock(cursor_.lock);
    cursor_.position = Point{500, 400};
  }
  w.CheckBox8->setChecked(true);
  EXPECT_TRUE(engine_->ShowPreview());
  ASSERT_NE(ui_.timer, nullptr);
  ui_.timer->Fire();  // the area timer follows the mouse and grabs the preview

  EXPECT_EQ(w.Label9->text(), "Preview... Cancel: Esc");
  EXPECT_EQ(w.Image1->Picture().size(), QSize(300, 300));
  EXPECT_TRUE(w.Panel1Caption->isHidden());
  EXPECT_EQ(w.Edit1->text(), "250");
  EXPECT_EQ(w.Edit2->text(), "350");
  EXPECT_EQ(w.Edit3->text(), "300");
  EXPECT_EQ(w.Edit4->text(), "300");

  // The engine switching the preview off clears the box, and the box's handler switches the
  // engine's preview off in turn.
  engine_->OnPreview(*engine_, nullptr, false, false);
  EXPECT_EQ(w.Label9->text(), "Preview Off...");
  EXPECT_FALSE(w.CheckBox8->isChecked());
  EXPECT_FALSE(engine_->ShowPreview());
  EXPECT_TRUE(w.Image1->Picture().isNull());
  EXPECT_FALSE(w.Panel1Caption->isHidden());

  // A preview event with a picture checks the box again.
  engine_->OnPreview(*engine_, &engine_->GetPreviewBitmap(), true, true);
  EXPECT_TRUE(w.CheckBox8->isChecked());
  EXPECT_EQ(w.Label9->text(), "Recording... Cancel: Esc -- Stop: Shift+Esc");
}

TEST_F(MainWindowTest, PreviewTicksLeaveTheFieldBeingEditedAlone) {
  TfrmMain& w = *window_;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.RadioGroup1Items->button(3)->setChecked(true);  // all four fields can be edited
  w.CheckBox8->setChecked(true);
  ASSERT_NE(ui_.timer, nullptr);
  w.Edit3->setFocus();
  w.Edit3->setSelection(0, 2);  // "30" of "300", about to be typed over
  engine_->SetScreenWidth(250);
  engine_->SetScreenHeight(200);
  for (int tick = 0; tick < 3; ++tick) ui_.timer->Fire();
  EXPECT_EQ(w.Edit3->text(), "300") << "the field being edited is never written";
  EXPECT_EQ(w.Edit3->selectedText(), "30");
  EXPECT_EQ(w.Edit4->text(), "200") << "a field not being edited follows the region";

  QTest::keyClicks(w.Edit3, "12");
  ui_.timer->Fire();
  EXPECT_EQ(w.Edit3->text(), "120");
  EXPECT_EQ(engine_->ScreenWidth(), 120);
  w.Edit3->setSelection(1, 1);
  ui_.timer->Fire();
  EXPECT_EQ(w.Edit3->selectedText(), "2") << "an unchanged number is not written again";

  w.Edit4->setFocus();  // Width is left: it follows the region again
  engine_->SetScreenWidth(260);
  ui_.timer->Fire();
  EXPECT_EQ(w.Edit3->text(), "260");
}

TEST_F(MainWindowTest, StatusBarShowsOneRunOfProgressAndResets) {
  TfrmMain& w = *window_;
  EXPECT_TRUE(RaiseSavingFromWorker(*engine_, 10, "Saving Video..."));
  EXPECT_EQ(w.LStatus->text(), "Saving Video...");
  EXPECT_TRUE(w.LStatus->isEnabled());
  EXPECT_TRUE(w.BCancel->isEnabled());
  EXPECT_EQ(w.Progress->value(), 10);

  EXPECT_TRUE(RaiseSavingFromWorker(*engine_, 60, "Delete Temp File"));
  EXPECT_EQ(w.LStatus->text(), "Saving Video...") << "only the run's first caption shows";
  EXPECT_EQ(w.Progress->value(), 60);

  EXPECT_TRUE(RaiseSavingFromWorker(*engine_, 100, "Saving Success..."));
  EXPECT_EQ(w.LStatus->text(), "No Status");
  EXPECT_FALSE(w.LStatus->isEnabled());
  EXPECT_FALSE(w.BCancel->isEnabled());
  EXPECT_EQ(w.Progress->value(), 0);
}

TEST_F(MainWindowTest, ARunThatStartsAtOneHundredEndsReset) {
  TfrmMain& w = *window_;
  bool continueWork = false;
  engine_->OnDeleting(*engine_, 100, "Delete Temp File", continueWork);  // on the UI thread
  EXPECT_TRUE(continueWork);
  EXPECT_EQ(w.LStatus->text(), "No Status");
  EXPECT_FALSE(w.BCancel->isEnabled());
  EXPECT_EQ(w.Progress->value(), 0);
}

TEST_F(MainWindowTest, CancelAnswersTheNextProgressEventOnly) {
  TfrmMain& w = *window_;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_TRUE(RaiseSavingFromWorker(*engine_, 20, "Saving Video..."));
  QTest::mouseClick(w.BCancel, Qt::LeftButton);
  EXPECT_TRUE(w.CancelRequested());

  EXPECT_FALSE(RaiseSavingFromWorker(*engine_, 30, "Saving Video..."));
  EXPECT_EQ(w.LStatus->text(), "No Status");
  EXPECT_FALSE(w.BCancel->isEnabled());
  EXPECT_EQ(w.Progress->value(), 0);
  EXPECT_FALSE(w.CancelRequested());

  EXPECT_TRUE(RaiseSavingFromWorker(*engine_, 5, "Delete Temp File"));
  EXPECT_EQ(w.LStatus->text(), "Delete Temp File");
  EXPECT_EQ(w.Progress->value(), 5);
}

TEST_F(MainWindowTest, PlayWithoutAFileSaysSo) {
  MessageBoxAnswerer answerer;
  window_->Edit8->setText(QString::fromStdString(home_.Path() + "/none.avi"));
  window_->Button4Click();
  ASSERT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(answerer.boxes[0].caption, "Error");
  EXPECT_EQ(answerer.boxes[0].text, "File Empty! Take a capture then play.");
}

// Answers the save dialog once it shows: keeps the type it shows, chooses the type at `type` in
// its list with the keyboard as a user does (-1: leaves it), types `name` and saves.
void AnswerSaveDialog(QFileDialog* dialog, int type, const QString& name, QString& shownType) {
  QTimer::singleShot(0, dialog, [=, &shownType] {
    shownType = dialog->selectedNameFilter();
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (types == nullptr || nameField == nullptr) {
      dialog->reject();
      return;
    }
    if (type >= 0) {
      QTest::keyClick(types, Qt::Key_Home);
      for (int i = 0; i < type; ++i) QTest::keyClick(types, Qt::Key_Down);
    }
    nameField->setText(name);
    static_cast<QDialog*>(dialog)->accept();  // as its Save button does
  });
}

// The save dialog offers AVI first, then Matroska and MP4. A name typed without an ending takes
// the ending of the type chosen, and the dialog opens again on the type of the name saved last.
TEST_F(MainWindowTest, TheSaveDialogGivesANameWithoutAnEndingTheChosenTypesEnding) {
  TfrmMain& w = *window_;
  w.SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
  const QString avi = "Avi File (*.avi)", mkv = "Matroska File (*.mkv)", mp4 = "MP4 File (*.mp4)";
  EXPECT_EQ(w.SaveDialog1->nameFilters(), QStringList({avi, mkv, mp4}));
  const struct {
    QString shownType;
    int chosenType;
    QString typed;
    QString saved;
  } cases[] = {
      {avi, -1, "talk", "talk.avi"},
      {avi, 2, "talk", "talk.mp4"},
      {mp4, -1, "clip", "clip.mp4"},
      {mp4, 1, "talk.avi", "talk.avi"},  // an ending typed is kept
  };
  const QString folder = QString::fromStdString(home_.Path() + "/Documents/");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString() + " -> " + c.saved.toStdString());
    QString shownType;
    AnswerSaveDialog(w.SaveDialog1, c.chosenType, c.typed, shownType);
    w.Button3Click();
    EXPECT_EQ(shownType.toStdString(), c.shownType.toStdString());
    EXPECT_EQ(w.Edit8->text().toStdString(), (folder + c.saved).toStdString());
  }
}

// When no program can open the file, Play says which kind of video player is missing, by the
// ending of the file's name: with no program on the search path at all, and with the desktop's
// opener there but finding no player (it says so by its exit status, after it started).
TEST_F(MainWindowTest, PlayWithoutAPlayerNamesTheKindOfFile) {
  const struct SearchPathKept {
    QByteArray value = qgetenv("PATH");
    ~SearchPathKept() { qputenv("PATH", value); }
  } searchPath;
  TempFolder noPrograms;
  TempFolder openerOnly;
  const std::string opener = openerOnly.Path() + "/xdg-open";
  std::ofstream(opener) << "#!/bin/sh\necho \"xdg-open: no method available for opening $1\" >&2\n"
                           "exit 3\n";
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  MessageBoxAnswerer answerer;
  const struct {
    std::string name;
    std::string kind;
  } cases[] = {{"talk.avi", "AVI"}, {"talk.MKV", "Matroska"}, {"talk.mp4", "MP4"}, {"talk", "AVI"}};
  for (const std::string& programs : {noPrograms.Path(), openerOnly.Path()}) {
    qputenv("PATH", QByteArray::fromStdString(programs));
    for (const auto& c : cases) {
      SCOPED_TRACE(programs + " " + c.name);
      const std::string path = home_.Path() + "/" + c.name;
      std::ofstream(path) << "a recording";
      window_->Edit8->setText(QString::fromStdString(path));
      const std::size_t before = answerer.boxes.size();
      window_->Button4Click();
      ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.boxes.size() > before; }, 10000));
      EXPECT_EQ(
          answerer.boxes.back().text,
          "No program could play " + path + ". Install a video player for " + c.kind + " files.");
    }
  }
}

// A compressor that takes only sizes in multiples of 4 records a region of another size rounded,
// and the status bar says so as soon as the region is set, as orvenna-cli does.
TEST_F(MainWindowTest, ARegionTheCompressorRoundsIsSaidWhenItIsSet) {
  codecs_.Find(TVistrel::DefaultCompressorFcc)->accepts = [](const BitmapInfoHeader& h) {
    return h.width % 4 == 0 && h.height % 4 == 0;
  };
  TfrmMain& w = *window_;
  w.RadioGroup1Items->button(3)->setChecked(true);
  w.Edit3->setText("301");
  w.Edit4->setText("299");
  EXPECT_FALSE(w.SessionNote->isHidden());
  EXPECT_EQ(w.SessionNote->text().toStdString(),
            "MSVC takes only sizes in multiples of 4: the 301 x 299 region is recorded at 304 x "
            "300.");
}

TEST_F(MainWindowTest, EngineErrorsAreShownFromAnyThread) {
  MessageBoxAnswerer answerer;
  auto raised = std::async(std::launch::async, [&] { engine_->OnError(*engine_, "disk full"); });
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return raised.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
  ASSERT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(answerer.boxes[0].caption, "Error");
  EXPECT_EQ(answerer.boxes[0].text, "disk full");
}

}  // namespace
}  // namespace orvenna::test
