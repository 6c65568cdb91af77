#include "platform/portal/PortalHotKeys.h"

#include <chrono>

#include "platform/Log.h"
#include "platform/portal/PortalCall.h"

namespace orvenna {
namespace {

constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr auto kAnswerTimeout = std::chrono::seconds(10);
// The desktop may show a dialog where the user confirms or changes the keys.
constexpr auto kBindTimeout = std::chrono::seconds(30);

std::string ShortcutId(int id) {
  return "orvenna-key-" + std::to_string(id);
}

}  // namespace

std::string ShortcutTrigger(unsigned modifiers, unsigned virtualKey) {
  const char* key = virtualKey == VkEscape ? "Escape" : virtualKey == VkReturn ? "Return" : nullptr;
  if (key == nullptr || (modifiers & ~(ModAlt | ModControl | ModShift)) != 0) return "";
  std::string trigger;
  if (modifiers & ModControl) trigger += "CTRL+";
  if (modifiers & ModAlt) trigger += "ALT+";
  if (modifiers & ModShift) trigger += "SHIFT+";
  return trigger + key;
}

std::unique_ptr<PortalHotKeys> PortalHotKeys::Open(Shell& shell, std::string& problem) {
  GError* error = nullptr;
  // A connection of its own: the desktop ends the keys' session with it, and the program does not
  // end with it should the bus go away.
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  GDBusConnection* connection =
      address == nullptr
          ? nullptr
          : g_dbus_connection_new_for_address_sync(
                address,
                static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, &error);
  g_free(address);
  GVariant* reply =
      connection == nullptr
          ? nullptr
          : g_dbus_connection_call_sync(
                connection, kPortalBusName, kPortalObject, "org.freedesktop.DBus.Properties", "Get",
                g_variant_new("(ss)", kGlobalShortcuts, "version"), G_VARIANT_TYPE("(v)"),
                G_DBUS_CALL_FLAGS_NONE,
                static_cast<int>(std::chrono::milliseconds(kAnswerTimeout).count()), nullptr,
                &error);
  if (reply == nullptr) {
    problem = "the desktop offers no global shortcuts portal";
    Log(LogLevel::Info, "portal",
        problem + ": " + (error != nullptr ? error->message : "no session bus"));
    g_clear_error(&error);
    if (connection != nullptr) g_object_unref(connection);
    return nullptr;
  }
  g_variant_unref(reply);
  return std::unique_ptr<PortalHotKeys>(new PortalHotKeys(shell, connection));
}

PortalHotKeys::PortalHotKeys(Shell& shell, GDBusConnection* connection)
    : shell_(shell),
      connection_(connection),
      context_(g_main_context_new()),
      loop_(g_main_loop_new(context_, FALSE)) {
  thread_ = std::thread([this] {
    g_main_context_push_thread_default(context_);
    activated_ = g_dbus_connection_signal_subscribe(
        connection_, kPortalBusName, kGlobalShortcuts, "Activated", kPortalObject, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, &PortalHotKeys::OnActivated, this, nullptr);
    g_main_loop_run(loop_);
    g_dbus_connection_signal_unsubscribe(connection_, activated_);
    {
      std::lock_guard lock(mutex_);
      wanted_.clear();
    }
    Rebind();  // closes the session
    g_main_context_pop_thread_default(context_);
  });
}

PortalHotKeys::~PortalHotKeys() {
  g_main_context_invoke(
      context_,
      [](gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_);
  thread_.join();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
  g_object_unref(connection_);
}

bool PortalHotKeys::Register(int id, unsigned modifiers, unsigned virtualKey) {
  const std::string trigger = ShortcutTrigger(modifiers, virtualKey);
  if (trigger.empty()) return false;
  {
    std::lock_guard lock(mutex_);
    if (wanted_.count(id) != 0) return false;
    wanted_[id] = trigger;
  }
  ScheduleRebind();
  return true;
}

void PortalHotKeys::Unregister(int id) {
  {
    std::lock_guard lock(mutex_);
    if (wanted_.erase(id) == 0) return;
  }
  ScheduleRebind();
}

void PortalHotKeys::ScheduleRebind() {
  g_main_context_invoke(
      context_,
      [](gpointer self) {
        static_cast<PortalHotKeys*>(self)->Rebind();
        return G_SOURCE_REMOVE;
      },
      this);
}

// A session binds its keys once: a changed set of keys is bound in a new session. Keys wanted
// at once (the engine registers its three in a row) are bound together.
void PortalHotKeys::Rebind() {
  std::map<int, std::string> wanted;
  {
    std::lock_guard lock(mutex_);
    wanted = wanted_;
  }
  if (wanted == bound_) return;
  if (!session_.empty()) {
    g_dbus_connection_call(connection_, kPortalBusName, session_.c_str(),
                           "org.freedesktop.portal.Session", "Close", nullptr, nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    session_.clear();
  }
  bound_ = wanted;
  if (wanted.empty()) return;

  PortalCall call(connection_);
  if (call.CreateSession(kGlobalShortcuts, std::chrono::steady_clock::now() + kAnswerTimeout,
                         session_) != PortalAnswer::Granted) {
    Log(LogLevel::Error, "portal", "no global shortcuts session: " + call.Failure());
    return;
  }

  GVariantBuilder shortcuts;
  g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
  for (const auto& [id, trigger] : wanted) {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
    const std::string description = "Orvenna: " + trigger;
    g_variant_builder_add(&properties, "{sv}", "description",
                          g_variant_new_string(description.c_str()));
    g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                          g_variant_new_string(trigger.c_str()));
    g_variant_builder_add(&shortcuts, "(s@a{sv})", ShortcutId(id).c_str(),
                          g_variant_builder_end(&properties));
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(call.NextToken().c_str()));
  if (call.Call(kGlobalShortcuts, "BindShortcuts",
                g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &shortcuts, "", &options),
                std::chrono::steady_clock::now() + kBindTimeout) != PortalAnswer::Granted) {
    Log(LogLevel::Error, "portal", "the global keys were not bound: " + call.Failure());
  }
}

void PortalHotKeys::OnActivated(GDBusConnection*, const char*, const char*, const char*,
                                const char*, GVariant* parameters, gpointer self) {
  auto* keys = static_cast<PortalHotKeys*>(self);
  const char* session = nullptr;
  const char* shortcut = nullptr;
  g_variant_get(parameters, "(&o&sta{sv})", &session, &shortcut, nullptr, nullptr);
  if (keys->session_ != session) return;
  for (const auto& [id, trigger] : keys->bound_) {
    if (ShortcutId(id) != shortcut) continue;
    keys->shell_.PostToUiThread([keys, id = id, alive = std::weak_ptr<int>(keys->alive_)] {
      if (alive.lock() != nullptr && keys->OnHotKey) keys->OnHotKey(id);
    });
  }
}

}  // namespace orvenna
