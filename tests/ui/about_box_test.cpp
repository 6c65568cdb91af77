// The about box: one window for the whole run, shown by the main window's About button,
// hidden by Ok and by its close button, with its picture and hyperlink label.
#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>

#include "tests/ui/mainwindow_rig.h"
#include "ui/About2.h"
#include "ui/sLabel.h"

namespace orvenna::test {
namespace {

class AboutBoxTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (IsSkipped()) return;
    about_ = std::make_unique<TForm2>();
    window_->SetAboutBox(about_.get());
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    about_.reset();
  }

  int AboutBoxesOpen() const {
    int open = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->windowTitle() == "About" && widget->isVisible()) ++open;
    }
    return open;
  }

  std::unique_ptr<TForm2> about_;
};

TEST_F(AboutBoxTest, ShowsItsContent) {
  TForm2& box = *about_;
  EXPECT_EQ(box.windowTitle(), "About");
  EXPECT_EQ(box.size(), QSize(339, 241));
  EXPECT_FALSE(box.isModal());
  EXPECT_EQ(box.ProductName->text(), "Orvenna 3.5");
  EXPECT_EQ(box.ThanksHeading->text(), "Thanks to:");
  EXPECT_TRUE(box.ThanksHeading->font().bold());
  EXPECT_EQ(box.Closing->text(), "And a whole bunch of other people we didn't have room to 7hank.");
  EXPECT_EQ(box.ButtonOk->text(), "Ok");
  const QPixmap picture = box.Image1->pixmap();
  ASSERT_FALSE(picture.isNull());
  EXPECT_LE(picture.width(), 89);
  EXPECT_LE(picture.height(), 82);
  EXPECT_TRUE(picture.width() == 89 || picture.height() == 82) << "scaled to fit";
}

TEST_F(AboutBoxTest, TheAboutButtonShowsTheOneBoxWhichOkHides) {
  window_->show();
  QTest::mouseClick(window_->Button1, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(about_.get()));
  QTest::mouseClick(window_->Button1, Qt::LeftButton);
  EXPECT_EQ(AboutBoxesOpen(), 1);
  EXPECT_TRUE(window_->isEnabled()) << "the main window stays usable";

  QTest::mouseClick(about_->ButtonOk, Qt::LeftButton);
  EXPECT_FALSE(about_->isVisible());
  window_->AboutButClick();
  EXPECT_TRUE(about_->isVisible());
  about_->close();  // the caption bar's close button only hides it
  EXPECT_FALSE(about_->isVisible());
  window_->AboutButClick();
  EXPECT_TRUE(about_->isVisible());
}

TEST_F(AboutBoxTest, TheWebLabelChangesOnlyItsLookUnderTheMouse) {
  about_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(about_.get()));
  TsWebLabel& link = *about_->WebAddress;
  EXPECT_TRUE(link.URL().isEmpty());
  EXPECT_EQ(link.ShowMode(), TsWindowShowMode::soDefault);
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(link.Font().face.underline());
  EXPECT_FALSE(link.HoverFont().face.underline());

  const QImage normal = link.grab().toImage();
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(&link, &enter);
  EXPECT_TRUE(link.Hovered());
  const QImage hovered = link.grab().toImage();
  EXPECT_NE(normal, hovered);
  QTest::mouseClick(&link, Qt::LeftButton);  // an empty URL opens nothing
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&link, &leave);
  EXPECT_FALSE(link.Hovered());
  EXPECT_EQ(link.grab().toImage(), normal);
  EXPECT_TRUE(about_->isVisible());
}

}  // namespace
}  // namespace orvenna::test
