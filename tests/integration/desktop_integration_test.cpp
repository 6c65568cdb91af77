// The programs as a desktop and a package see them: --version prints the version CMake's
// project() declares and exits 0 without any display; in a Wayland session orvenna-cli says
// once on standard error that only X11 windows can be recorded, and elsewhere says nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
