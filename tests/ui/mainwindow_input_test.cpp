// The main window against hostile or unlucky input: no pasted number crashes it or leaves a
// field out of range, a click on the selected region type sets the fields again, and the
// about box leaves the screen with the minimised window.
#include <QClipboard>
#include <QGuiApplication>

#include "tests/ui/mainwindow_rig.h"
#include "ui/About2.h"
#include "ui/PreviewImage.h"
#include "ui/UpDown.h"

namespace orvenna::test {
namespace {

using InputTest = MainWindowTest;

void Paste(QLineEdit* field, const QString& text) {
  QGuiApplication::clipboard()->setText(text);
  field->selectAll();
  field->paste();
}

TEST_F(InputTest, PastedNumbersStayInRangeWithThePreviewOn) {
  TfrmMain& w = *window_;
  w.RadioGroup1Items->button(3)->setChecked(true);  // fixed region: every field is editable
  w.CheckBox8->setChecked(true);
  ASSERT_TRUE(engine_->ShowPreview());
  ASSERT_NE(ui_.timer, nullptr);
  struct Case {
    QLineEdit* field;
    QString pasted;
    QString shown;
    int Rect::*inEngine;
  };
  const Case cases[] = {
      {w.Edit3, "-250", "0", &Rect::width},      {w.Edit4, "-1", "0", &Rect::height},
      {w.Edit1, "-2147483648", "0", &Rect::top}, {w.Edit2, "-7", "0", &Rect::left},
      {w.Edit3, "99999", "1920", &Rect::width},  {w.Edit4, "5000", "1080", &Rect::height},
      {w.Edit3, "301", "301", &Rect::width},     {w.Edit4, "299", "299", &Rect::height},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pasted.toStdString());
    Paste(c.field, c.pasted);
    EXPECT_EQ(c.field->text(), c.shown);
    EXPECT_EQ(engine_->Region().*c.inEngine, c.shown.toInt());
    ui_.timer->Fire();  // the preview grabs the region the fields give
  }
  EXPECT_EQ(w.Image1->Picture().size(), QSize(301, 299));
}

TEST_F(InputTest, ThePreviewOfAnEngineRegionNoImageFitsShowsNothing) {
  window_->CheckBox8->setChecked(true);
  window_->RadioGroup1Items->button(3)->setChecked(true);
  for (const Rect region : {Rect{0, 0, -250, 300}, Rect{0, 0, 300, -1}, Rect{0, 0, 99999, 99999}}) {
    engine_->SetRegion(region);
    ui_.timer->Fire();
    EXPECT_TRUE(window_->Image1->Picture().isNull());
  }
}

TEST_F(InputTest, ClickOnTheSelectedRegionTypeSetsTheFieldsAgain) {
  TfrmMain& w = *window_;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QAbstractButton* fixed = w.RadioGroup1Items->button(3);
  QTest::mouseClick(fixed, Qt::LeftButton);
  ASSERT_TRUE(w.Edit3->isEnabled());
  // As a recording that ended on an error leaves them.
  for (QWidget* field : std::initializer_list<QWidget*>{w.Edit1, w.Edit2, w.Edit3, w.Edit4}) {
    field->setEnabled(false);
  }
  QTest::mouseClick(fixed, Qt::LeftButton);
  EXPECT_TRUE(fixed->isChecked());
  EXPECT_TRUE(w.Edit1->isEnabled());
  EXPECT_TRUE(w.Edit3->isEnabled());
  EXPECT_TRUE(w.Edit4->isEnabled());
  EXPECT_TRUE(w.UpDownWidth->isEnabled());
}

TEST_F(InputTest, TheAboutBoxGoesAndComesBackWithTheMinimisedWindow) {
  TForm2 about;
  window_->SetAboutBox(&about);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  window_->AboutButClick();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  window_->showMinimized();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !about.isVisible(); }, 5000));
  window_->showNormal();
  EXPECT_TRUE(QTest::qWaitFor([&] { return about.isVisible(); }, 5000));
  // A box the user had closed stays closed.
  about.hide();
  window_->showMinimized();
  window_->showNormal();
  QTest::qWait(50);
  EXPECT_FALSE(about.isVisible());
  window_->SetAboutBox(nullptr);
}

}  // namespace
}  // namespace orvenna::test
