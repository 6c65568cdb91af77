#include "platform/portal/ScreenCastSession.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

namespace orvenna {
namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr std::uint32_t kLeastVersion = 4;
constexpr std::uint32_t kMonitor = 1;
constexpr std::uint32_t kWindow = 2;
constexpr std::uint32_t kCursorHidden = 1;
constexpr std::uint32_t kCursorEmbedded = 2;
constexpr std::uint32_t kCursorMetadata = 4;
constexpr std::uint32_t kPersistUntilRevoked = 2;
// The calls that need no answer from the user.
constexpr auto kAnswerTimeout = std::chrono::seconds(10);

constexpr const char* kInstallHint =
    "install xdg-desktop-portal and the portal backend of your desktop "
    "(xdg-desktop-portal-gnome for GNOME, xdg-desktop-portal-kde for KDE Plasma, "
    "xdg-desktop-portal-wlr for sway and other wlroots desktops)";

PortalCall::Deadline After(std::chrono::seconds seconds) {
  return std::chrono::steady_clock::now() + seconds;
}

std::string TakeMessage(GError*& error) {
  std::string message = error != nullptr ? error->message : "unknown error";
  g_clear_error(&error);
  return message;
}

// The ScreenCast interface's properties; false with `failure` when there is no such portal.
bool ReadPortal(GDBusConnection* connection, std::uint32_t& version, std::uint32_t& sources,
                std::uint32_t& cursors, std::string& failure) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      connection, kPortalBusName, kPortalObject, "org.freedesktop.DBus.Properties", "GetAll",
      g_variant_new("(s)", kScreenCast), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE,
      static_cast<int>(std::chrono::milliseconds(kAnswerTimeout).count()), nullptr, &error);
  if (reply == nullptr) {
    failure =
        "the desktop offers no screen sharing portal (" + TakeMessage(error) + "): " + kInstallHint;
    return false;
  }
  GVariant* properties = g_variant_get_child_value(reply, 0);
  version = sources = cursors = 0;
  g_variant_lookup(properties, "version", "u", &version);
  g_variant_lookup(properties, "AvailableSourceTypes", "u", &sources);
  g_variant_lookup(properties, "AvailableCursorModes", "u", &cursors);
  g_variant_unref(properties);
  g_variant_unref(reply);
  if (version == 0) {
    failure = std::string("the desktop portal has no ScreenCast interface: ") + kInstallHint;
    return false;
  }
  if (version < kLeastVersion) {
    failure = "the desktop's ScreenCast portal is version " + std::to_string(version) +
              "; version " + std::to_string(kLeastVersion) +
              " or later is needed (update xdg-desktop-portal and its backend)";
    return false;
  }
  return true;
}

std::vector<ScreenCastStreamInfo> StreamsOf(GVariant* results) {
  std::vector<ScreenCastStreamInfo> streams;
  GVariant* list = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  if (list == nullptr) return streams;
  GVariantIter iter;
  g_variant_iter_init(&iter, list);
  std::uint32_t node = 0;
  GVariant* properties = nullptr;
  while (g_variant_iter_next(&iter, "(u@a{sv})", &node, &properties)) {
    ScreenCastStreamInfo stream;
    stream.node = node;
    g_variant_lookup(properties, "position", "(ii)", &stream.place.left, &stream.place.top);
    g_variant_lookup(properties, "size", "(ii)", &stream.place.width, &stream.place.height);
    g_variant_lookup(properties, "source_type", "u", &stream.sourceType);
    streams.push_back(stream);
    g_variant_unref(properties);
  }
  g_variant_unref(list);
  return streams;
}

}  // namespace

std::unique_ptr<ScreenCastSession> ScreenCastSession::Start(const ScreenCastRequest& request,
                                                            PortalAnswer& answer,
                                                            std::string& failure) {
  answer = PortalAnswer::CallFailed;
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (address == nullptr) {
    failure = "no session bus to reach the desktop portal: " + TakeMessage(error);
    return nullptr;
  }
  // A connection of the session's own: the desktop ends the session with it.
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  if (connection == nullptr) {
    failure = "cannot reach the session bus: " + TakeMessage(error);
    return nullptr;
  }
  std::unique_ptr<ScreenCastSession> session(new ScreenCastSession(connection));
  if (!session->Run(request, answer, failure)) return nullptr;
  return session;
}

bool ScreenCastSession::Run(const ScreenCastRequest& request, PortalAnswer& answer,
                            std::string& failure) {
  std::uint32_t version = 0;
  std::uint32_t sources = 0;
  std::uint32_t cursors = 0;
  if (!ReadPortal(connection_, version, sources, cursors, failure)) return false;
  const std::uint32_t type = request.window ? kWindow : kMonitor;
  if ((sources & type) == 0) {
    failure =
        std::string("the desktop cannot share ") + (request.window ? "a window" : "a monitor");
    return false;
  }
  cursorMode_ = request.cursorAsMetadata && (cursors & kCursorMetadata) ? kCursorMetadata
                : (cursors & kCursorEmbedded)                           ? kCursorEmbedded
                                                                        : kCursorHidden;
  PortalCall call(connection_);
  answer = call.CreateSession(kScreenCast, After(kAnswerTimeout), sessionHandle_);
  if (answer != PortalAnswer::Granted) {
    failure = "the desktop did not open a screen sharing session: " + call.Failure();
    return false;
  }

  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(call.NextToken().c_str()));
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(type));
  g_variant_builder_add(&options, "{sv}", "multiple", g_variant_new_boolean(FALSE));
  g_variant_builder_add(&options, "{sv}", "cursor_mode", g_variant_new_uint32(cursorMode_));
  g_variant_builder_add(&options, "{sv}", "persist_mode",
                        g_variant_new_uint32(kPersistUntilRevoked));
  if (!request.restoreToken.empty()) {
    g_variant_builder_add(&options, "{sv}", "restore_token",
                          g_variant_new_string(request.restoreToken.c_str()));
  }
  answer =
      call.Call(kScreenCast, "SelectSources",
                g_variant_new("(oa{sv})", sessionHandle_.c_str(), &options), After(kAnswerTimeout));
  if (answer != PortalAnswer::Granted) {
    failure = "the desktop did not take the choice of what to share: " + call.Failure();
    return false;
  }

  // Here the desktop may show its chooser, unless the restore token answers for the user.
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(call.NextToken().c_str()));
  answer = call.Call(kScreenCast, "Start",
                     g_variant_new("(osa{sv})", sessionHandle_.c_str(), "", &options),
                     After(request.chooserTimeout));
  if (answer == PortalAnswer::Cancelled) {
    failure = "the screen was not shared: the choice was cancelled";
    return false;
  }
  if (answer != PortalAnswer::Granted) {
    failure = "the desktop did not share the screen: " + call.Failure();
    return false;
  }
  streams_ = StreamsOf(call.Results());
  const char* token = nullptr;
  if (g_variant_lookup(call.Results(), "restore_token", "&s", &token)) restoreToken_ = token;
  if (streams_.empty()) {
    failure = "the desktop shared no stream";
    answer = PortalAnswer::Refused;
    return false;
  }

  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  GUnixFDList* fds = nullptr;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      connection_, kPortalBusName, kPortalObject, kScreenCast, "OpenPipeWireRemote",
      g_variant_new("(oa{sv})", sessionHandle_.c_str(), &options), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, static_cast<int>(std::chrono::milliseconds(kAnswerTimeout).count()),
      nullptr, &fds, nullptr, &error);
  if (reply == nullptr) {
    failure = "the desktop did not open the stream's connection: " + TakeMessage(error);
    answer = PortalAnswer::CallFailed;
    return false;
  }
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  g_variant_unref(reply);
  pipewireFd_ = fds != nullptr ? g_unix_fd_list_get(fds, index, &error) : -1;
  if (fds != nullptr) g_object_unref(fds);
  if (pipewireFd_ < 0) {
    failure = "the desktop gave no stream connection: " + TakeMessage(error);
    answer = PortalAnswer::CallFailed;
    return false;
  }
  return true;
}

int ScreenCastSession::TakePipeWireFd() {
  const int fd = pipewireFd_;
  pipewireFd_ = -1;
  return fd;
}

ScreenCastSession::~ScreenCastSession() {
  if (pipewireFd_ >= 0) close(pipewireFd_);
  if (!sessionHandle_.empty()) {
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, kPortalBusName, sessionHandle_.c_str(), "org.freedesktop.portal.Session",
        "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE,
        static_cast<int>(std::chrono::milliseconds(kAnswerTimeout).count()), nullptr, nullptr);
    if (reply != nullptr) g_variant_unref(reply);
  }
  g_dbus_connection_close_sync(connection_, nullptr, nullptr);
  g_object_unref(connection_);
}

}  // namespace orvenna
