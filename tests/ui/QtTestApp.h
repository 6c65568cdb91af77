#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

namespace orvenna::test {

// Base of tests that need the QApplication on the X display; skips them when there is none.
// The QApplication lives from before the first test to after the last one.
class QtDisplayTest : public testing::Test {
 protected:
  void SetUp() override;
};

// Runs a helper program (xdotool, xwininfo, ...) to the end; its standard output, or an empty
// string when it failed.
QString RunTool(const QString& program, const QStringList& arguments);

// True when a window manager runs on the display.
bool WindowManagerRunning();

}  // namespace orvenna::test
