// orvenna-screencast-run (bench/tools), which the Wayland benchmark runs GStreamer's pipeline
// under: it must hand the command the compositor's stream, pass the command's exit status on,
// and end the screen cast with the command, so that no cast outlives a benchmark's run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/integration/Command.h"

namespace orvenna {
namespace {

using test::RunCommand;

const std::string kRun = ORVENNA_SCREENCAST_RUN;

// The PipeWire nodes of the test desktop, as pw-cli lists them.
std::string DesktopNodes() {
  return RunCommand("env $(cat \"$ORVENNA_TEST_WAYLAND\") pw-cli ls Node 2>&1").output;
}

TEST(ScreenCastRun, WithoutACommandOrADesktopItRefusesAndSaysWhy) {
  const test::CommandResult bare = RunCommand("'" + kRun + "' 2>&1");
  EXPECT_EQ(bare.exitCode, 2);
  EXPECT_NE(bare.output.find("usage"), std::string::npos) << bare.output;

  const test::CommandResult noDesktop =
      RunCommand("env -u ORVENNA_TEST_WAYLAND '" + kRun + "' true 2>&1");
  EXPECT_EQ(noDesktop.exitCode, 2);
  EXPECT_NE(noDesktop.output.find("ORVENNA_TEST_WAYLAND"), std::string::npos) << noDesktop.output;
}

TEST(ScreenCastRun, TheCommandReadsTheCompositorsStreamAndTheCastEndsWithIt) {
  if (std::getenv("ORVENNA_TEST_WAYLAND") == nullptr)
    GTEST_SKIP() << "needs the test desktop (ORVENNA_TEST_WAYLAND)";

  // Every placeholder of an argument is replaced, and the node is the compositor's video
  // stream while the command runs; the command's exit status comes back.
  const test::CommandResult run = RunCommand(
      "'" + kRun +
      "' sh -c 'echo \"node $1\"; pw-cli info \"$0\"; exit 7' @NODE@ x@NODE@y@NODE@ 2>&1");
  EXPECT_EQ(run.exitCode, 7) << run.output;
  const auto announced = run.output.find("PipeWire node ");
  ASSERT_NE(announced, std::string::npos) << run.output;
  const std::string node =
      run.output.substr(announced + 14, run.output.find('\n', announced) - announced - 14);
  EXPECT_NE(run.output.find("node x" + node + "y" + node + "\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Stream/Output/Video"), std::string::npos) << run.output;
  EXPECT_EQ(DesktopNodes().find("Stream/Output/Video"), std::string::npos)
      << "the screen cast outlived the command";

  // A command ended by a signal, or one that cannot be started, fails the run the way a
  // shell reports it, and the cast ends all the same.
  EXPECT_EQ(RunCommand("'" + kRun + "' sh -c 'kill -TERM $$' 2>/dev/null").exitCode, 128 + 15);
  EXPECT_EQ(RunCommand("'" + kRun + "' /nonexistent/command 2>/dev/null").exitCode, 127);
  EXPECT_EQ(DesktopNodes().find("Stream/Output/Video"), std::string::npos)
      << "the screen cast outlived the command";
}

}  // namespace
}  // namespace orvenna
