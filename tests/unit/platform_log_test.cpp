#include <gtest/gtest.h>

#include "platform/Log.h"

namespace orvenna {
namespace {

TEST(DiagnosticLog, LevelsByNameAndOnlyLinesAtTheThresholdOrAbove) {
  EXPECT_EQ(LogLevelNamed("debug"), LogLevel::Debug);
  EXPECT_EQ(LogLevelNamed("warning"), LogLevel::Warning);
  EXPECT_EQ(LogLevelNamed(""), LogLevel::Off);
  EXPECT_EQ(LogLevelNamed("DEBUG"), LogLevel::Off);  // names are exact

  const LogLevel before = LogThreshold();
  SetLogThreshold(LogLevel::Warning);
  testing::internal::CaptureStderr();
  Log(LogLevel::Info, "grabber", "not shown");
  Log(LogLevel::Error, "grabber", "the connection to the X display was lost");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "orvenna error grabber: the connection to the X display was lost\n");

  SetLogThreshold(LogLevel::Off);
  testing::internal::CaptureStderr();
  Log(LogLevel::Error, "grabber", "not shown either");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  SetLogThreshold(before);
}

}  // namespace
}  // namespace orvenna
