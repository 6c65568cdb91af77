#pragma once

#include <gio/gio.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/HotKeys.h"
#include "platform/Shell.h"

namespace orvenna {

// System-wide keys on a Wayland desktop that offers the GlobalShortcuts portal: the keys
// registered are bound in a portal session (the desktop may ask the user to confirm them, or
// let them choose other keys), and the portal's Activated signal reaches OnHotKey on the UI
// thread. A thread of its own serves the session's D-Bus traffic; every wait there is bounded.
// Construction, Register, Unregister and destruction: UI thread only.
class PortalHotKeys final : public HotKeys {
 public:
  // Null, with `problem` saying why, when the desktop offers no GlobalShortcuts portal.
  static std::unique_ptr<PortalHotKeys> Open(Shell& shell, std::string& problem);
  ~PortalHotKeys() override;
  PortalHotKeys(const PortalHotKeys&) = delete;
  PortalHotKeys& operator=(const PortalHotKeys&) = delete;

  // True for the keys of the engine (Shift+Esc, Esc, Ctrl+Enter; any key with a name the
  // portal's trigger syntax has): the binding itself follows on the portal's thread.
  bool Register(int id, unsigned modifiers, unsigned virtualKey) override;
  void Unregister(int id) override;

 private:
  PortalHotKeys(Shell& shell, GDBusConnection* connection);
  // Has the portal thread bind what is wanted once it is free.
  void ScheduleRebind();
  // Portal thread: binds what is wanted now in a new session, closing the old one.
  void Rebind();
  static void OnActivated(GDBusConnection*, const char*, const char*, const char*, const char*,
                          GVariant* parameters, gpointer self);

  Shell& shell_;
  GDBusConnection* connection_;
  GMainContext* context_;
  GMainLoop* loop_;
  std::thread thread_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  std::mutex mutex_;                   // guards `wanted_`
  std::map<int, std::string> wanted_;  // identifier → preferred trigger
  std::map<int, std::string> bound_;   // portal thread only
  std::string session_;                // portal thread only
  guint activated_ = 0;                // portal thread only
};

// The portal's trigger text of a key ("SHIFT+Escape", "CTRL+Return"); empty for a key that
// has no name there.
std::string ShortcutTrigger(unsigned modifiers, unsigned virtualKey);

}  // namespace orvenna
