// The global keys of a Wayland desktop through its GlobalShortcuts portal, against a portal of
// the test's own on a private session bus (the test desktop's portal has no such interface):
// the engine's three keys are bound together with their triggers, an activation reaches
// OnHotKey on the UI thread, letting the keys go closes the session, and without the portal the
// keys say why they are missing.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/fake/FakeDesktop.h"
#include "platform/portal/PortalHotKeys.h"
#include "tests/integration/Command.h"

namespace orvenna {
namespace {

using namespace std::chrono_literals;

// Polls `done` for up to five seconds.
bool Eventually(const std::function<bool()>& done) {
  for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

constexpr const char* kInterfaces =
    "<node><interface name='org.freedesktop.portal.GlobalShortcuts'>"
    "<method name='CreateSession'><arg type='a{sv}' direction='in'/>"
    "<arg type='o' direction='out'/></method>"
    "<method name='BindShortcuts'><arg type='o' direction='in'/>"
    "<arg type='a(sa{sv})' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='a{sv}' direction='in'/><arg type='o' direction='out'/></method>"
    "<property name='version' type='u' access='read'/></interface>"
    "<interface name='org.freedesktop.portal.Session'><method name='Close'/></interface></node>";
constexpr const char* kSession = "/org/freedesktop/portal/desktop/session/test/orvenna";

// A session bus of the test's own, with a GlobalShortcuts portal on it when asked for, served on
// a thread of its own.
class PrivatePortal {
 public:
  explicit PrivatePortal(bool withShortcuts) {
    const test::CommandResult bus =
        test::RunCommand("dbus-daemon --session --fork --print-address=1 --print-pid=1");
    std::sscanf(bus.output.c_str(), "%255s %d", address_, &pid_);
    connection_ = g_dbus_connection_new_for_address_sync(
        address_,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (withShortcuts && connection_) {
      info_ = g_dbus_node_info_new_for_xml(kInterfaces, nullptr);
      static const GDBusInterfaceVTable vtable{
          &PrivatePortal::OnCall, &PrivatePortal::OnGet, nullptr, {}};
      g_main_context_push_thread_default(context_);
      g_dbus_connection_register_object(connection_, "/org/freedesktop/portal/desktop",
                                        info_->interfaces[0], &vtable, this, nullptr, nullptr);
      g_dbus_connection_register_object(connection_, kSession, info_->interfaces[1], &vtable, this,
                                        nullptr, nullptr);
      g_main_context_pop_thread_default(context_);
      g_variant_unref(g_dbus_connection_call_sync(
          connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "RequestName", g_variant_new("(su)", "org.freedesktop.portal.Desktop", 0u), nullptr,
          G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr));
    }
    thread_ = std::thread([this] {
      while (!stop_) g_main_context_iteration(context_, FALSE), std::this_thread::sleep_for(1ms);
    });
  }
  ~PrivatePortal() {
    stop_ = true;
    thread_.join();
    if (info_) g_dbus_node_info_unref(info_);
    if (connection_) g_object_unref(connection_);
    g_main_context_unref(context_);
    test::RunCommand("kill " + std::to_string(pid_));
  }

  const char* Address() const { return address_; }
  std::set<std::string> Triggers() {
    std::lock_guard lock(mutex_);
    return triggers_;
  }
  int Closed() const { return closed_; }
  void Activate(const std::string& shortcut) {
    g_dbus_connection_emit_signal(
        connection_, nullptr, "/org/freedesktop/portal/desktop",
        "org.freedesktop.portal.GlobalShortcuts", "Activated",
        g_variant_new("(osta{sv})", kSession, shortcut.c_str(), std::uint64_t{0}, nullptr),
        nullptr);
  }

 private:
  // Answers a request at once: the path it announced, then its Response with `results`.
  static void Answer(GDBusConnection* connection, const char* sender, GVariant* options,
                     GDBusMethodInvocation* invocation, GVariant* results) {
    const char* token = "none";
    g_variant_lookup(options, "handle_token", "&s", &token);
    std::string path = std::string("/org/freedesktop/portal/desktop/request/") + (sender + 1);
    for (char& c : path) c = c == '.' ? '_' : c;
    path += std::string("/") + token;
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", path.c_str()));
    g_dbus_connection_emit_signal(connection, sender, path.c_str(),
                                  "org.freedesktop.portal.Request", "Response",
                                  g_variant_new("(u@a{sv})", 0u, results), nullptr);
  }
  static void OnCall(GDBusConnection* connection, const char* sender, const char*, const char*,
                     const char* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer self) {
    auto* portal = static_cast<PrivatePortal*>(self);
    if (std::string(method) == "Close") {
      ++portal->closed_;
      g_dbus_method_invocation_return_value(invocation, nullptr);
      return;
    }
    GVariantDict results;
    g_variant_dict_init(&results, nullptr);
    GVariant* options = g_variant_get_child_value(parameters, g_variant_n_children(parameters) - 1);
    if (std::string(method) == "CreateSession") {
      g_variant_dict_insert(&results, "session_handle", "s", kSession);
    } else {
      GVariantIter* shortcuts = nullptr;
      g_variant_get_child(parameters, 1, "a(sa{sv})", &shortcuts);
      const char* id = nullptr;
      GVariant* properties = nullptr;
      std::lock_guard lock(portal->mutex_);
      while (g_variant_iter_next(shortcuts, "(&s@a{sv})", &id, &properties)) {
        const char* trigger = "";
        g_variant_lookup(properties, "preferred_trigger", "&s", &trigger);
        portal->triggers_.insert(std::string(id) + " " + trigger);
        g_variant_unref(properties);
      }
      g_variant_iter_free(shortcuts);
    }
    Answer(connection, sender, options, invocation, g_variant_dict_end(&results));
    g_variant_unref(options);
  }
  static GVariant* OnGet(GDBusConnection*, const char*, const char*, const char*, const char*,
                         GError**, gpointer) {
    return g_variant_new_uint32(1);
  }

  char address_[256] = "";
  int pid_ = 0;
  GMainContext* context_ = g_main_context_new();
  GDBusConnection* connection_ = nullptr;
  GDBusNodeInfo* info_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  std::set<std::string> triggers_;
  std::atomic<int> closed_ = 0;
};

TEST(PortalHotKeys, KeysAreBoundTogetherActivatedOnTheUiThreadAndLetGo) {
  PrivatePortal portal(true);
  setenv("DBUS_SESSION_BUS_ADDRESS", portal.Address(), 1);
  FakeShell shell;
  std::string problem;
  std::unique_ptr<PortalHotKeys> keys = PortalHotKeys::Open(shell, problem);
  ASSERT_NE(keys, nullptr) << problem;
  std::vector<int> pressed;
  keys->OnHotKey = [&](int id) {
    EXPECT_TRUE(shell.IsUiThread());
    pressed.push_back(id);
  };
  EXPECT_TRUE(keys->Register(1, ModShift, VkEscape));
  EXPECT_TRUE(keys->Register(2, 0, VkEscape));
  EXPECT_TRUE(keys->Register(3, ModControl, VkReturn));
  EXPECT_FALSE(keys->Register(4, 0, 'A'));  // a key the portal's triggers have no name for
  const std::set<std::string> wanted{"orvenna-key-1 SHIFT+Escape", "orvenna-key-2 Escape",
                                     "orvenna-key-3 CTRL+Return"};
  EXPECT_TRUE(Eventually([&] { return portal.Triggers() == wanted; }));

  portal.Activate("orvenna-key-1");
  EXPECT_TRUE(Eventually([&] { return shell.RunPosted() > 0; }));
  EXPECT_EQ(pressed, std::vector<int>{1});

  for (int id : {1, 2, 3}) keys->Unregister(id);
  EXPECT_TRUE(Eventually([&] { return portal.Closed() > 0; }));
}

TEST(PortalHotKeys, WithoutTheirPortalTheKeysSayWhyTheyAreMissing) {
  PrivatePortal bare(false);
  setenv("DBUS_SESSION_BUS_ADDRESS", bare.Address(), 1);
  FakeShell shell;
  std::string problem;
  EXPECT_EQ(PortalHotKeys::Open(shell, problem), nullptr);
  EXPECT_EQ(problem, "the desktop offers no global shortcuts portal");
}

}  // namespace
}  // namespace orvenna
