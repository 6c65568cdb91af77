#include "platform/x11/X11HotKeys.h"

#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11KeySyms.h"

namespace orvenna {
namespace {

// The modifier bit that NumLock sets on this keyboard; 0 when it sets none.
unsigned NumLockMask(Display* display) {
  const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
  XModifierKeymap* map = XGetModifierMapping(display);
  if (map == nullptr) return 0;
  unsigned mask = 0;
  for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier) {
    for (int i = 0; i < map->max_keypermod; ++i) {
      if (map->modifiermap[modifier * map->max_keypermod + i] == numLock) mask = 1u << modifier;
    }
  }
  XFreeModifiermap(map);
  return mask;
}

// The X modifier mask of HotKeyModifier bits.
unsigned XModifiers(unsigned modifiers) {
  return (modifiers & ModShift ? ShiftMask : 0u) | (modifiers & ModControl ? ControlMask : 0u) |
         (modifiers & ModAlt ? Mod1Mask : 0u);
}

}  // namespace

X11HotKeys::X11HotKeys(const std::string& displayName, Shell& shell)
    : shell_(shell), connection_(X11Connection::Open(displayName, error_)) {
  if (connection_ == nullptr) return;
  numLockMask_ = NumLockMask(connection_->display());
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    error_ = "X11 hot keys: cannot create the reader's wake-up pipe";
    connection_.reset();
    return;
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  reader_ = std::thread(&X11HotKeys::ReadKeys, this);
}

X11HotKeys::~X11HotKeys() {
  if (reader_.joinable()) {
    stopping_.store(true, std::memory_order_relaxed);
    WakeReader();
    reader_.join();
  }
  if (wakeRead_ >= 0) close(wakeRead_);
  if (wakeWrite_ >= 0) close(wakeWrite_);
  // Closing the connection releases its grabs.
}

bool X11HotKeys::Register(int id, unsigned modifiers, unsigned virtualKey) {
  if (connection_ == nullptr || keys_.contains(id)) return false;
  if ((modifiers & ~unsigned{ModAlt | ModControl | ModShift}) != 0) return false;
  const KeySym symbol = KeySymOfVirtualKey(virtualKey);
  if (symbol == NoSymbol) return false;
  const KeyCode keyCode = XKeysymToKeycode(connection_->display(), symbol);
  if (keyCode == 0) return false;
  const Key key{keyCode, XModifiers(modifiers)};
  for (const auto& [otherId, other] : keys_) {
    if (other == key) return false;
  }
  bool grabbed = false;
  {
    std::lock_guard lock(connectionMutex_);
    GrabAllVariants(key);
    // Another client holding the key answers BadAccess, recorded by the connection.
    grabbed = connection_->Sync();
    if (!grabbed) {
      UngrabAllVariants(key);
      connection_->Sync();
    }
  }
  // Sync may have queued key events that the reader has not seen.
  WakeReader();
  if (grabbed) keys_[id] = key;
  return grabbed;
}

void X11HotKeys::Unregister(int id) {
  const auto it = keys_.find(id);
  if (it == keys_.end()) return;
  {
    std::lock_guard lock(connectionMutex_);
    UngrabAllVariants(it->second);
    connection_->Sync();
  }
  WakeReader();
  keys_.erase(it);
}

void X11HotKeys::GrabAllVariants(const Key& key) {
  // The server matches modifiers exactly, so the key is grabbed with CapsLock and NumLock
  // in every state.
  for (const unsigned locks : {0u, unsigned{LockMask}, numLockMask_, LockMask | numLockMask_}) {
    XGrabKey(connection_->display(), static_cast<int>(key.keyCode), key.modifiers | locks,
             connection_->root(), False, GrabModeAsync, GrabModeAsync);
  }
}

void X11HotKeys::UngrabAllVariants(const Key& key) {
  for (const unsigned locks : {0u, unsigned{LockMask}, numLockMask_, LockMask | numLockMask_}) {
    XUngrabKey(connection_->display(), static_cast<int>(key.keyCode), key.modifiers | locks,
               connection_->root());
  }
}

void X11HotKeys::ReadKeys() {
  Display* display = connection_->display();
  pollfd waits[2] = {{ConnectionNumber(display), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  while (!stopping_.load(std::memory_order_relaxed)) {
    {
      std::lock_guard lock(connectionMutex_);
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != KeyPress) continue;
        const unsigned keyCode = event.xkey.keycode;
        const unsigned state = event.xkey.state;
        shell_.PostToUiThread([this, alive = std::weak_ptr<int>(alive_), keyCode, state] {
          if (alive.lock() != nullptr) Deliver(keyCode, state);
        });
      }
    }
    if (connection_->Broken()) return;  // the server is gone: no key will come any more
    if (poll(waits, 2, -1) < 0 && errno != EINTR) return;
    char drained[64];
    while (read(wakeRead_, drained, sizeof drained) > 0) {
    }
  }
}

void X11HotKeys::Deliver(unsigned keyCode, unsigned state) {
  // Only the modifier keys count; the lock keys and the pointer buttons do not.
  const unsigned modifiers = state & 0xFFu & ~(LockMask | numLockMask_);
  for (const auto& [id, key] : keys_) {
    if (key.keyCode == keyCode && key.modifiers == modifiers) {
      if (OnHotKey) OnHotKey(id);
      return;
    }
  }
}

void X11HotKeys::WakeReader() {
  if (wakeWrite_ < 0) return;
  const char byte = 1;
  // A full pipe already wakes the reader.
  [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
}

}  // namespace orvenna
