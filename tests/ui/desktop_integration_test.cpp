// The desktop application as the desktop shows it: the main window and the about box carry
// the menu's icon in every size it is drawn in; in a Wayland session the status bar says once
// what cannot be recorded, until a recording is saved, and elsewhere says nothing.
#include <QLabel>
#include <QProgressBar>
#include <QSize>

#include "tests/ui/mainwindow_rig.h"
#include "ui/About2.h"

namespace orvenna::test {
namespace {

using DesktopIntegrationTest = MainWindowTest;

// Sets or unsets (null) an environment variable while it lives.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    value ? qputenv(name, value) : qunsetenv(name);
  }
  ~ScopedVariable() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

TEST_F(DesktopIntegrationTest, MainWindowAndAboutBoxCarryTheMenuIconInEverySize) {
  TForm2 about;
  const QIcon windows[] = {window_->windowIcon(), about.windowIcon()};
  for (const QIcon& icon : windows) {
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
      EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
  }
  const QImage main = windows[0].pixmap(QSize(32, 32)).toImage();
  ASSERT_FALSE(main.isNull());
  EXPECT_EQ(main, windows[1].pixmap(QSize(32, 32)).toImage());
  // The icon's middle is the red recording mark, not an empty or placeholder picture.
  const QColor middle = main.pixelColor(16, 16);
  EXPECT_GT(middle.red(), 180);
  EXPECT_LT(middle.green(), 100);
}

// The X display recorded in a Wayland session (ORVENNA_SCREEN=x11) is noted.
TEST_F(DesktopIntegrationTest, StatusBarNotesAWaylandSessionUntilTheFirstSave) {
  window_->close();
  window_.reset();
  ScopedVariable screen("ORVENNA_SCREEN", "x11");
  struct Case {
    const char* waylandDisplay;
    const char* sessionType;
    bool noted;
  };
  const Case cases[] = {
      {nullptr, nullptr, false},    {nullptr, "x11", false},    {"", "tty", false},
      {"wayland-0", nullptr, true}, {nullptr, "wayland", true}, {"wayland-1", "x11", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.waylandDisplay ? c.waylandDisplay : "(unset)") + " / " +
                 (c.sessionType ? c.sessionType : "(unset)"));
    ScopedVariable display("WAYLAND_DISPLAY", c.waylandDisplay);
    ScopedVariable session("XDG_SESSION_TYPE", c.sessionType);
    TfrmMain window(platform_);
    window.show();
    EXPECT_EQ(window.SessionNote->isVisible(), c.noted);
    if (!c.noted) continue;
    EXPECT_TRUE(window.SessionNote->text().contains("only X11 windows"));
    EXPECT_TRUE(window.SessionNote->toolTip().contains("native Wayland windows come out black"));
    // The note covers the progress bar; the first save needs the bar and ends the note.
    bool continueWork = false;
    window.EngineSaving(10, "Saving Video...", continueWork);
    EXPECT_TRUE(continueWork);
    EXPECT_FALSE(window.SessionNote->isVisible());
    EXPECT_TRUE(window.Progress->isVisible());
    window.EngineSaving(100, "Saving Success...", continueWork);
    EXPECT_FALSE(window.SessionNote->isVisible());
    window.close();
  }
}

}  // namespace
}  // namespace orvenna::test
