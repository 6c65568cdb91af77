// System-wide hot keys of the X11 backend on the real (virtual) display: keys typed by
// xdotool arrive on the UI thread with their identifiers, whatever the lock keys; keys held by
// another client cannot be had; a server that goes away.

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/FakeDesktop.h"
#include "platform/x11/X11HotKeys.h"
#include "tests/integration/x11_test_support.h"

namespace orvenna {
namespace {

using x11test::DisplayPtr;
using x11test::PrivateXServer;

constexpr unsigned kVkR = 'R';

class X11HotKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs DISPLAY";
    keys_ = NewHotKeys();
  }

  std::unique_ptr<X11HotKeys> NewHotKeys() {
    auto keys = std::make_unique<X11HotKeys>("", shell_);
    keys->OnHotKey = [this](int id) { received_.push_back(id); };
    return keys;
  }

  // Types `keys` with xdotool, runs the UI thread's work until a hot key arrives (or, when
  // none is expected, for a moment), and answers the identifiers that arrived.
  std::vector<int> Press(const std::string& keys, bool expectOne = true) {
    received_.clear();
    EXPECT_EQ(std::system(("xdotool key " + keys).c_str()), 0);
    x11test::WaitFor(
        [&] {
          shell_.RunPosted();
          return !received_.empty();
        },
        expectOne ? 5 : 0.3);
    // Whatever else the key brought.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    shell_.RunPosted();
    return received_;
  }

  FakeShell shell_;
  std::vector<int> received_;
  std::unique_ptr<X11HotKeys> keys_;
};

TEST_F(X11HotKeysTest, EachKeyArrivesOnTheUiThreadWithItsIdentifier) {
  ASSERT_TRUE(keys_->Register(1, ModShift, VkEscape));
  ASSERT_TRUE(keys_->Register(2, 0, VkEscape));
  ASSERT_TRUE(keys_->Register(3, ModControl, VkReturn));
  ASSERT_TRUE(keys_->Register(4, ModControl | ModAlt, kVkR));
  EXPECT_EQ(Press("shift+Escape"), std::vector<int>{1});
  EXPECT_EQ(Press("Escape"), std::vector<int>{2});
  EXPECT_EQ(Press("ctrl+Return"), std::vector<int>{3});
  EXPECT_EQ(Press("ctrl+alt+r"), std::vector<int>{4});
  EXPECT_EQ(Press("Return", false), std::vector<int>{});
}

TEST_F(X11HotKeysTest, KeysArriveWithCapsLockAndNumLockOn) {
  ASSERT_TRUE(keys_->Register(1, ModShift, VkEscape));
  for (const std::string lock : {"Caps_Lock", "Num_Lock", "Caps_Lock"}) {
    SCOPED_TRACE(lock + " toggled");
    ASSERT_EQ(std::system(("xdotool key " + lock).c_str()), 0);
    EXPECT_EQ(Press("shift+Escape"), std::vector<int>{1});
  }
  ASSERT_EQ(std::system("xdotool key Num_Lock"), 0);  // both off again
  EXPECT_EQ(Press("shift+Escape"), std::vector<int>{1});
}

TEST_F(X11HotKeysTest, AnUnregisteredKeyNoLongerArrivesAndIsFreeForOthers) {
  ASSERT_TRUE(keys_->Register(2, 0, VkEscape));
  auto other = NewHotKeys();
  EXPECT_FALSE(other->Register(7, 0, VkEscape)) << "held by the first";
  EXPECT_TRUE(other->Register(8, ModShift | ModAlt, VkEscape)) << "another combination";
  keys_->Unregister(2);
  EXPECT_EQ(Press("Escape", false), std::vector<int>{});
  EXPECT_TRUE(other->Register(7, 0, VkEscape));
  EXPECT_EQ(Press("Escape"), std::vector<int>{7});
}

TEST_F(X11HotKeysTest, AKeyPartlyHeldElsewhereIsNotHalfTaken) {
  // Another client holds Escape with CapsLock on only.
  DisplayPtr display(XOpenDisplay(nullptr));
  ASSERT_NE(display, nullptr);
  const int escape = XKeysymToKeycode(display.get(), XK_Escape);
  XGrabKey(display.get(), escape, LockMask, DefaultRootWindow(display.get()), False, GrabModeAsync,
           GrabModeAsync);
  XSync(display.get(), False);
  EXPECT_FALSE(keys_->Register(2, 0, VkEscape));
  XUngrabKey(display.get(), escape, LockMask, DefaultRootWindow(display.get()));
  XSync(display.get(), False);
  // The failed registration let go of the variants it did get.
  auto other = NewHotKeys();
  EXPECT_TRUE(other->Register(2, 0, VkEscape));
}

TEST_F(X11HotKeysTest, RegistrationsThatCannotBeHadAreRefused) {
  ASSERT_TRUE(keys_->Register(1, ModShift, VkEscape));
  EXPECT_FALSE(keys_->Register(1, 0, VkReturn)) << "identifier in use";
  EXPECT_FALSE(keys_->Register(5, ModShift, VkEscape)) << "combination in use";
  EXPECT_FALSE(keys_->Register(6, 8, VkEscape)) << "unknown modifier";
  EXPECT_FALSE(keys_->Register(6, 0, 0xFF)) << "unknown key";
  EXPECT_TRUE(keys_->Register(6, 0, VkReturn));
}

TEST(X11HotKeysServerTest, AMissingDisplayRefusesKeysWithAClearError) {
  FakeShell shell;
  X11HotKeys keys(":999", shell);
  EXPECT_FALSE(keys.Register(1, 0, VkEscape));
  EXPECT_NE(keys.Error().find("DISPLAY"), std::string::npos) << keys.Error();
}

TEST(X11HotKeysServerTest, ALostServerEndsTheReaderAndRefusesKeys) {
  PrivateXServer server({"-screen", "0", "320x240x24"});
  ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
  FakeShell shell;
  auto keys = std::make_unique<X11HotKeys>(server.name(), shell);
  ASSERT_TRUE(keys->Register(1, 0, VkEscape));
  server.Stop();
  EXPECT_FALSE(keys->Register(2, 0, VkReturn));
  keys.reset();  // joins the reader, which has noticed the loss
  shell.RunPosted();
}

}  // namespace
}  // namespace orvenna
