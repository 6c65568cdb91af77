// The programs as a desktop and a package see them: --version prints the version CMake's
// project() declares and exits 0 without any display, as --help prints a usage line; in a Wayland
// session orvenna-cli says once on standard error that only X11 windows can be recorded, and
// elsewhere says nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/Needs.h"
#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(DesktopIntegration, VersionNeedsNoDisplayAndPrintsTheProjectVersion) {
  struct Case {
    const char* program;
    const char* name;
  };
  for (const Case& c : {Case{ORVENNA_CLI, "orvenna-cli"}, Case{ORVENNA_PROGRAM, "orvenna"}}) {
    SCOPED_TRACE(c.name);
    // From another folder, with no X or Wayland display: nothing is opened or read.
    const CommandResult result =
        RunCommand(std::string("cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY ") +
                   c.program + " --version 2>&1");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, std::string(c.name) + " " + ORVENNA_PROJECT_VERSION + "\n");
  }
}

// --help answers with a usage line, without a display, as --version does; a screen forced through
// ORVENNA_SCREEN is taken in any case, and a value neither program knows is refused naming the
// variable, which the user may have set long ago.
TEST(DesktopIntegration, HelpAndTheScreenVariableAreAnsweredPlainly) {
  const std::string noDisplay = "cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY ";
  const CommandResult help = RunCommand(noDisplay + ORVENNA_PROGRAM + " --help 2>&1");
  EXPECT_EQ(help.exitCode, 0) << help.output;
  EXPECT_TRUE(help.output.starts_with("usage: orvenna ")) << help.output;

  const struct {
    std::string command;
    int exitCode;
  } refusals[] = {
      {noDisplay + "ORVENNA_SCREEN=wayland " + ORVENNA_CLI + " --seconds 1 x.avi", 2},
      {noDisplay + "ORVENNA_SCREEN=wayland " + ORVENNA_PROGRAM, 1},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.command);
    const CommandResult run = RunCommand(r.command + " 2>&1");
    EXPECT_EQ(run.exitCode, r.exitCode) << run.output;
    EXPECT_NE(run.output.find("the environment variable ORVENNA_SCREEN: unknown screen "
                              "\"wayland\": use x11"),
              std::string::npos)
        << run.output;
  }
  ORVENNA_NEEDS(std::getenv("DISPLAY") != nullptr, "the X display (DISPLAY)");
  const CommandResult listed =
      RunCommand(std::string("ORVENNA_SCREEN=X11 ") + ORVENNA_CLI + " --list-compressors 2>&1");
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_NE(listed.output.find("ZMBV"), std::string::npos) << listed.output;
}

// Recording the X display in a Wayland session (asked for with --screen x11) is told once.
TEST(DesktopIntegration, CliTellsAWaylandSessionOnceWhatItCannotRecord) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs the X display (DISPLAY)";
  const std::string folder = ::testing::TempDir() + "orvenna-wayland-note";
  std::filesystem::create_directories(folder);
  struct Case {
    const char* environment;
    bool noted;
  };
  const Case cases[] = {
      {"env -u WAYLAND_DISPLAY XDG_SESSION_TYPE=x11", false},
      {"env -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE", false},
      {"env WAYLAND_DISPLAY= XDG_SESSION_TYPE=tty", false},
      {"env -u XDG_SESSION_TYPE WAYLAND_DISPLAY=wayland-0", true},
      {"env -u WAYLAND_DISPLAY XDG_SESSION_TYPE=wayland", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment);
    const std::string output = folder + "/note.avi";
    std::filesystem::remove(output);
    const CommandResult result = RunCommand(
        std::string(c.environment) + " " + ORVENNA_CLI +
        " --screen x11 --seconds 1 --region 0,0,64,48 --compressor ZMBV " + output + " 2>&1");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(std::filesystem::exists(output));
    EXPECT_EQ(Count(result.output, "Wayland session"), c.noted ? 1u : 0u) << result.output;
    if (c.noted) {
      EXPECT_NE(result.output.find("native Wayland windows come out black"), std::string::npos);
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvenna::test
