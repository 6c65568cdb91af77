// The desktop's ScreenCast portal on the private headless GNOME desktop of the tests
// (scripts/lib/wayland.sh): a session started with a restore token that the desktop knows
// shares the virtual monitor without asking, gives the stream's PipeWire node and connection,
// and a token for the next time; without a token the desktop's chooser asks, and its answer
// (given by orvenna-answer-chooser) decides; without a bus or a portal the failure says what is
// missing.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "platform/portal/ScreenCastSession.h"
#include "tests/integration/Command.h"
#include "tests/integration/wayland_test_support.h"

namespace orvenna {
namespace {

using test::RunCommand;

TEST(ScreenCastPortal, AKnownTokenSharesTheMonitorWithoutAskingAndGivesTheNextOne) {
  if (!wltest::UseDesktopEnvironment())
    GTEST_SKIP() << "needs the test desktop (ORVENNA_TEST_WAYLAND)";
  std::string error;
  std::string token = wltest::SeededRestoreToken(error);
  ASSERT_FALSE(token.empty()) << error;
  for (int run = 0; run < 2; ++run) {  // the second time with the token the first one gave
    ScreenCastRequest request;
    request.restoreToken = token;
    request.chooserTimeout = std::chrono::seconds(10);  // no chooser is expected
    PortalAnswer answer;
    std::string failure;
    const auto session = ScreenCastSession::Start(request, answer, failure);
    ASSERT_NE(session, nullptr) << run << ": " << failure;
    EXPECT_EQ(answer, PortalAnswer::Granted);
    ASSERT_EQ(session->Streams().size(), 1u);
    const ScreenCastStreamInfo& stream = session->Streams()[0];
    EXPECT_NE(stream.node, 0u);
    EXPECT_EQ(stream.sourceType, 1u);
    EXPECT_EQ(stream.place.width, 1280);
    EXPECT_EQ(stream.place.height, 720);
    EXPECT_TRUE(session->CursorAsMetadata());
    const int fd = session->TakePipeWireFd();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(session->TakePipeWireFd(), -1);
    if (fd >= 0) close(fd);
    EXPECT_FALSE(session->RestoreToken().empty());
    token = session->RestoreToken();
  }
}

// A session started without a restore token while orvenna-answer-chooser answers the chooser
// that the desktop shows; the tool's exit status in `toolStatus`.
struct ChooserOutcome {
  std::unique_ptr<ScreenCastSession> session;
  PortalAnswer answer = PortalAnswer::CallFailed;
  std::string failure;
  int toolStatus = -1;
};

ChooserOutcome StartAnswered(bool window, const char* action) {
  wltest::DesktopProgram tool({ORVENNA_ANSWER_CHOOSER, action, "--timeout", "20"});
  EXPECT_TRUE(tool.Started());
  ScreenCastRequest request;
  request.window = window;
  request.chooserTimeout = std::chrono::seconds(30);
  ChooserOutcome outcome;
  outcome.session = ScreenCastSession::Start(request, outcome.answer, outcome.failure);
  outcome.toolStatus = tool.Wait();
  return outcome;
}

// The user's answer in the chooser decides: the monitor shared (with a token that spares the
// chooser next time), or nothing when cancelled.
TEST(ScreenCastPortal, TheChoosersAnswerDecidesAndASharedChoiceIsRemembered) {
  if (!wltest::UseDesktopEnvironment()) GTEST_SKIP() << "needs the test desktop";
  const struct {
    const char* action;
    PortalAnswer answer;
  } cases[] = {{"share", PortalAnswer::Granted}, {"cancel", PortalAnswer::Cancelled}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    const ChooserOutcome outcome = StartAnswered(false, c.action);
    EXPECT_EQ(outcome.toolStatus, 0);
    EXPECT_EQ(outcome.answer, c.answer) << outcome.failure;
    if (c.answer != PortalAnswer::Granted) {
      EXPECT_EQ(outcome.session, nullptr);
      EXPECT_NE(outcome.failure.find("cancelled"), std::string::npos) << outcome.failure;
      continue;
    }
    ASSERT_NE(outcome.session, nullptr) << outcome.failure;
    ASSERT_EQ(outcome.session->Streams().size(), 1u);
    EXPECT_NE(outcome.session->Streams()[0].node, 0u);
    EXPECT_EQ(outcome.session->Streams()[0].sourceType, 1u);
    ASSERT_FALSE(outcome.session->RestoreToken().empty());

    // The token of that answer: no chooser this time, and nobody to answer one.
    ScreenCastRequest again;
    again.restoreToken = outcome.session->RestoreToken();
    again.chooserTimeout = std::chrono::seconds(10);
    PortalAnswer answer;
    std::string failure;
    const auto session = ScreenCastSession::Start(again, answer, failure);
    EXPECT_EQ(answer, PortalAnswer::Granted) << failure;
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->Streams().size(), 1u);
  }
}

// A window picked in the chooser comes as a window stream. GNOME's portal lists the windows
// that GNOME Shell tells it of; a bare compositor tells of none, and the test is skipped there.
TEST(ScreenCastPortal, AWindowPickedInTheChooserComesAsAWindowStream) {
  if (!wltest::UseDesktopEnvironment()) GTEST_SKIP() << "needs the test desktop";
  // The window is on the screen before the chooser opens, so that the chooser comes above it.
  const std::string ready = "/tmp/orvenna-blocks-ready-" + std::to_string(getpid());
  std::remove(ready.c_str());
  wltest::DesktopProgram blocks({ORVENNA_COLOUR_BLOCKS, ready});
  ASSERT_TRUE(blocks.Started());
  for (int i = 0; i < 100 && access(ready.c_str(), F_OK) != 0; ++i) usleep(100000);
  ASSERT_EQ(std::remove(ready.c_str()), 0) << "the window was not drawn within 10 seconds";
  const ChooserOutcome outcome = StartAnswered(true, "share");
  if (outcome.toolStatus == 3) {
    EXPECT_EQ(outcome.answer, PortalAnswer::Cancelled) << outcome.failure;
    GTEST_SKIP() << "the window chooser lists no windows (the compositor runs without a shell)";
  }
  EXPECT_EQ(outcome.toolStatus, 0);
  ASSERT_EQ(outcome.answer, PortalAnswer::Granted) << outcome.failure;
  ASSERT_NE(outcome.session, nullptr);
  ASSERT_EQ(outcome.session->Streams().size(), 1u);
  EXPECT_EQ(outcome.session->Streams()[0].sourceType, 2u);
}

// A bus of the test's own that starts no service: no portal answers there.
class BareBus {
 public:
  BareBus() {
    char folder[] = "/tmp/orvenna-bare-bus-XXXXXX";
    folder_ = mkdtemp(folder);
    std::ofstream(folder_ + "/bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:path="
        << folder_
        << "/bus</listen><auth>EXTERNAL</auth><policy context=\"default\">"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
           "<allow own=\"*\"/></policy></busconfig>\n";
    pid_ = RunCommand("dbus-daemon --config-file=" + folder_ +
                      "/bus.conf --nofork </dev/null >/dev/null 2>&1 & echo $!")
               .output;
    for (int i = 0; i < 100 && access((folder_ + "/bus").c_str(), F_OK) != 0; ++i) usleep(20000);
  }
  ~BareBus() {
    RunCommand("kill " + pid_);
    RunCommand("rm -rf '" + folder_ + "'");
  }
  std::string Address() const { return "unix:path=" + folder_ + "/bus"; }

 private:
  std::string folder_;
  std::string pid_;
};

// Where the portal cannot be reached, the failure says why and what to install.
TEST(ScreenCastPortal, WithoutAPortalTheFailureSaysWhatIsMissing) {
  BareBus bare;
  const struct {
    std::string bus;
    std::string said;
  } cases[] = {
      {"unix:path=/nonexistent/orvenna-no-bus", "cannot reach the session bus"},
      {bare.Address(), "install xdg-desktop-portal and the portal backend of your desktop"},
  };
  for (const auto& c : cases) {
    setenv("DBUS_SESSION_BUS_ADDRESS", c.bus.c_str(), 1);
    PortalAnswer answer;
    std::string failure;
    EXPECT_EQ(ScreenCastSession::Start(ScreenCastRequest{}, answer, failure), nullptr) << c.bus;
    EXPECT_EQ(answer, PortalAnswer::CallFailed) << c.bus;
    EXPECT_NE(failure.find(c.said), std::string::npos) << failure;
  }
}

}  // namespace
}  // namespace orvenna
