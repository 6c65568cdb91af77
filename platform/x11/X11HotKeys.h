#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/HotKeys.h"
#include "platform/Shell.h"

namespace orvenna {

class X11Connection;

// System-wide hot keys as passive key grabs on the root window, over a connection of its own.
// A reader thread waits for key presses and hands each to the UI thread through the shell,
// where OnHotKey runs. Construction, Register, Unregister and destruction: UI thread only.
class X11HotKeys : public HotKeys {
 public:
  // `displayName` empty: $DISPLAY. When the display cannot be opened, every Register returns
  // false and Error() says why.
  X11HotKeys(const std::string& displayName, Shell& shell);
  ~X11HotKeys() override;
  X11HotKeys(const X11HotKeys&) = delete;
  X11HotKeys& operator=(const X11HotKeys&) = delete;

  // False also for an identifier or a key combination already registered here, a modifier
  // other than ModAlt, ModControl, ModShift, and a key the keyboard does not have.
  bool Register(int id, unsigned modifiers, unsigned virtualKey) override;
  void Unregister(int id) override;

  const std::string& Error() const { return error_; }

 private:
  struct Key {
    unsigned keyCode = 0;
    unsigned modifiers = 0;  // X modifier mask
    friend bool operator==(const Key&, const Key&) = default;
  };

  void GrabAllVariants(const Key& key);
  void UngrabAllVariants(const Key& key);
  void ReadKeys();                                     // reader thread
  void Deliver(unsigned keyCode, unsigned modifiers);  // UI thread
  void WakeReader();

  Shell& shell_;
  std::string error_;  // before the connection, whose opening fills it
  std::unique_ptr<X11Connection> connection_;
  unsigned numLockMask_ = 0;
  std::map<int, Key> keys_;  // UI thread
  // Held by whichever thread talks to the connection, so that the errors of a registration
  // are read by the thread that waits for them.
  std::mutex connectionMutex_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::atomic<bool> stopping_{false};
  std::shared_ptr<int> alive_ = std::make_shared<int>();  // work posted by the reader checks it
  std::thread reader_;
};

}  // namespace orvenna
