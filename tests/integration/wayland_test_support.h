#pragma once

// Helpers of the tests that read the private headless GNOME desktop of scripts/lib/wayland.sh:
// its environment, a screen stream made through the compositor's own D-Bus API (no dialog),
// with the pointer moved and clicked through its remote-desktop API, and programs run on the
// desktop.

#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/portal/PortalCall.h"

extern char** environ;

namespace orvenna::wltest {

// Takes the variables of the desktop's environment file (ORVENNA_TEST_WAYLAND) into this
// process; false when the variable is not set, that is when no desktop runs for the tests.
inline bool UseDesktopEnvironment() {
  const char* file = std::getenv("ORVENNA_TEST_WAYLAND");
  if (!file || !*file) return false;
  std::ifstream lines(file);
  std::string line;
  while (std::getline(lines, line)) {
    const auto equals = line.find('=');
    if (equals != std::string::npos)
      setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
  }
  return true;
}

// A restore token that the desktop's permission store grants the virtual monitor for a program
// that is not sandboxed, as if the user had chosen it once; empty with `error` when the store
// refused it.
inline std::string SeededRestoreToken(std::string& error) {
  std::ifstream random("/proc/sys/kernel/random/uuid");
  std::string uuid;
  std::getline(random, uuid);
  const long long now = g_get_real_time();
  const std::string text = "('screencast', true, '" + uuid +
                           "', {'': ['yes']}, <('GNOME', uint32 1, <(int64 " + std::to_string(now) +
                           ", int64 " + std::to_string(now) +
                           ", [(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:0x00'>)])>)>)";
  GError* failure = nullptr;
  GVariant* arguments = g_variant_parse(nullptr, text.c_str(), nullptr, nullptr, &failure);
  // A connection of its own: the shared one would end the process should the bus go away.
  GDBusConnection* bus =
      arguments
          ? g_dbus_connection_new_for_address_sync(
                std::getenv("DBUS_SESSION_BUS_ADDRESS"),
                static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, &failure)
          : nullptr;
  GVariant* reply = bus ? g_dbus_connection_call_sync(
                              bus, "org.freedesktop.impl.portal.PermissionStore",
                              "/org/freedesktop/impl/portal/PermissionStore",
                              "org.freedesktop.impl.portal.PermissionStore", "Set", arguments,
                              nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &failure)
                        : nullptr;
  if (arguments) g_variant_unref(arguments);  // parsed, not floating: the call took its own
  if (bus) {
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
  }
  if (!reply) {
    error = failure ? failure->message : "the permission store did not answer";
    if (failure) g_error_free(failure);
    return "";
  }
  g_variant_unref(reply);
  return uuid;
}

// A recording of the primary monitor by the compositor (mutter's ScreenCast API, the cursor
// as metadata), tied to a remote-desktop session that moves the pointer. Both live as long as
// this object's bus connection. Every call waits at most a few seconds.
class MutterScreenCast {
 public:
  MutterScreenCast() : context_(g_main_context_new()) {}
  ~MutterScreenCast() {
    if (bus_) {
      g_dbus_connection_close_sync(bus_, nullptr, nullptr);
      g_object_unref(bus_);
    }
    g_main_context_unref(context_);
  }
  MutterScreenCast(const MutterScreenCast&) = delete;
  MutterScreenCast& operator=(const MutterScreenCast&) = delete;

  // Starts the recording; its PipeWire node is then Node(). The cause in `error` on failure.
  bool Start(std::string& error) {
    GError* failure = nullptr;
    bus_ = g_dbus_connection_new_for_address_sync(
        std::getenv("DBUS_SESSION_BUS_ADDRESS"),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &failure);
    if (!bus_) return Failed(failure, error);
    GVariant* reply = Call(kRemoteDesktop, "/org/gnome/Mutter/RemoteDesktop", kRemoteDesktop,
                           "CreateSession", nullptr, "(o)", error);
    if (!reply) return false;
    remoteSession_ = Path(reply);
    reply = Call(kRemoteDesktop, remoteSession_, "org.freedesktop.DBus.Properties", "Get",
                 g_variant_new("(ss)", kRemoteSession, "SessionId"), "(v)", error);
    if (!reply) return false;
    GVariant* id = nullptr;
    g_variant_get(reply, "(v)", &id);
    g_variant_unref(reply);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "remote-desktop-session-id", id);
    reply = Call(kScreenCast, "/org/gnome/Mutter/ScreenCast", kScreenCast, "CreateSession",
                 g_variant_new("(a{sv})", &options), "(o)", error);
    if (!reply) return false;
    const std::string castSession = Path(reply);
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "cursor-mode", g_variant_new_uint32(2));
    reply = Call(kScreenCast, castSession, "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
                 g_variant_new("(sa{sv})", "", &options), "(o)", error);
    if (!reply) return false;
    stream_ = Path(reply);

    // The node is announced by a signal of the stream, delivered to this object's context.
    g_main_context_push_thread_default(context_);
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus_, nullptr, "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded", stream_.c_str(),
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &MutterScreenCast::OnStreamAdded, this, nullptr);
    g_main_context_pop_thread_default(context_);
    reply = Call(kRemoteDesktop, remoteSession_, kRemoteSession, "Start", nullptr, nullptr, error);
    if (reply) {
      g_variant_unref(reply);
      if (!RunContextUntil(context_, nodeKnown_, 5000))
        error = "the compositor announced no PipeWire stream within 5 seconds";
    }
    g_dbus_connection_signal_unsubscribe(bus_, subscription);
    return nodeKnown_;
  }

  std::uint32_t Node() const { return node_; }

  // Moves the pointer to `x`, `y` of the recorded monitor.
  bool MovePointer(double x, double y, std::string& error) {
    return Notify("NotifyPointerMotionAbsolute", g_variant_new("(sdd)", stream_.c_str(), x, y),
                  error);
  }

  // Moves the pointer to `x`, `y` and presses and releases the left button there.
  bool Click(double x, double y, std::string& error) {
    constexpr std::int32_t kLeftButton = 272;  // the kernel's BTN_LEFT
    return MovePointer(x, y, error) &&
           Notify("NotifyPointerButton", g_variant_new("(ib)", kLeftButton, TRUE), error) &&
           Notify("NotifyPointerButton", g_variant_new("(ib)", kLeftButton, FALSE), error);
  }

  // Ends the recording (the remote-desktop session, and with it the screen cast).
  bool Stop(std::string& error) {
    GVariant* reply =
        Call(kRemoteDesktop, remoteSession_, kRemoteSession, "Stop", nullptr, nullptr, error);
    if (reply) g_variant_unref(reply);
    return reply != nullptr;
  }

 private:
  static constexpr const char* kScreenCast = "org.gnome.Mutter.ScreenCast";
  static constexpr const char* kRemoteDesktop = "org.gnome.Mutter.RemoteDesktop";
  static constexpr const char* kRemoteSession = "org.gnome.Mutter.RemoteDesktop.Session";

  static void OnStreamAdded(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                            const gchar*, GVariant* parameters, gpointer self) {
    auto* cast = static_cast<MutterScreenCast*>(self);
    guint32 node = 0;
    g_variant_get(parameters, "(u)", &node);
    cast->node_ = node;
    cast->nodeKnown_ = true;
  }

  static bool Failed(GError* failure, std::string& error) {
    error = failure ? failure->message : "unknown failure";
    if (failure) g_error_free(failure);
    return false;
  }

  static std::string Path(GVariant* reply) {
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    std::string result = path;
    g_variant_unref(reply);
    return result;
  }

  // One input event of the remote-desktop session.
  bool Notify(const char* method, GVariant* arguments, std::string& error) {
    GVariant* reply =
        Call(kRemoteDesktop, remoteSession_, kRemoteSession, method, arguments, nullptr, error);
    if (reply) g_variant_unref(reply);
    return reply != nullptr;
  }

  // One method call, answered within 5 seconds; the reply, or nullptr with the cause in `error`.
  GVariant* Call(const char* service, const std::string& path, const char* interface,
                 const char* method, GVariant* arguments, const char* replyType,
                 std::string& error) {
    GError* failure = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(bus_, service, path.c_str(), interface, method, arguments,
                                    replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &failure);
    if (!reply) {
      Failed(failure, error);
      error = std::string(method) + ": " + error;
    }
    return reply;
  }

  GMainContext* context_;
  GDBusConnection* bus_ = nullptr;
  std::string remoteSession_;
  std::string stream_;
  std::uint32_t node_ = 0;
  bool nodeKnown_ = false;
};

// A program running on the desktop until it ends or this object does.
class DesktopProgram {
 public:
  explicit DesktopProgram(const std::vector<std::string>& command) {
    std::vector<char*> arguments;
    for (const std::string& argument : command)
      arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    if (posix_spawn(&pid_, arguments[0], nullptr, nullptr, arguments.data(), environ) != 0)
      pid_ = -1;
  }
  ~DesktopProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  bool Started() const { return pid_ > 0; }

  // Waits until the program ends; its exit status, or -1 when it did not start or was ended
  // by a signal.
  int Wait() {
    int status = 0;
    const bool ended = pid_ > 0 && waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace orvenna::wltest
