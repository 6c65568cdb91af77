#include "platform/portal/PortalCall.h"

#include <algorithm>

namespace orvenna {
namespace {

constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

int MillisecondsUntil(PortalCall::Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 1, 1 << 30));
}

}  // namespace

bool RunContextUntil(GMainContext* context, const bool& done, unsigned milliseconds) {
  // A timer source of the same context ends the wait at the deadline.
  bool late = false;
  GSource* timer = g_timeout_source_new(milliseconds);
  g_source_set_callback(
      timer,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &late, nullptr);
  g_source_attach(timer, context);
  while (!done && !late) g_main_context_iteration(context, TRUE);
  g_source_destroy(timer);
  g_source_unref(timer);
  return done;
}

PortalCall::PortalCall(GDBusConnection* connection)
    : connection_(connection), context_(g_main_context_new()) {}

PortalCall::~PortalCall() {
  if (results_ != nullptr) g_variant_unref(results_);
  g_main_context_unref(context_);
}

PortalAnswer PortalCall::CreateSession(const char* interface, Deadline deadline,
                                       std::string& handle) {
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token",
                        g_variant_new_string(NextToken().c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string("orvenna"));
  PortalAnswer answer =
      Call(interface, "CreateSession", g_variant_new("(a{sv})", &options), deadline);
  const char* path = nullptr;
  if (answer == PortalAnswer::Granted &&
      !g_variant_lookup(results_, "session_handle", "&s", &path)) {
    failure_ = "the answer named no session";
    answer = PortalAnswer::Refused;
  }
  if (answer == PortalAnswer::Granted) handle = path;
  return answer;
}

std::string PortalCall::NextToken() {
  token_ = "orvenna" + std::to_string(++counter_);
  return token_;
}

// The object a request of this connection with that token appears at: the unique name without
// its colon, dots as underscores.
std::string PortalCall::RequestPath(const std::string& token) const {
  std::string sender = g_dbus_connection_get_unique_name(connection_);
  sender.erase(0, 1);
  std::replace(sender.begin(), sender.end(), '.', '_');
  return std::string(kPortalObject) + "/request/" + sender + "/" + token;
}

void PortalCall::OnResponse(GDBusConnection*, const char*, const char*, const char*, const char*,
                            GVariant* parameters, gpointer self) {
  auto* call = static_cast<PortalCall*>(self);
  std::uint32_t code = 2;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &code, &results);
  call->code_ = code;
  call->results_ = results;
  call->answered_ = true;
}

PortalAnswer PortalCall::Call(const char* interface, const char* method, GVariant* arguments,
                              Deadline deadline) {
  if (results_ != nullptr) g_variant_unref(results_);
  results_ = nullptr;
  answered_ = false;
  failure_.clear();
  g_main_context_push_thread_default(context_);
  const std::string path = RequestPath(token_);
  const guint subscription = g_dbus_connection_signal_subscribe(
      connection_, kPortalBusName, kRequestInterface, "Response", path.c_str(), nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &PortalCall::OnResponse, this, nullptr);
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kPortalBusName, kPortalObject, interface, method, arguments,
      G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, MillisecondsUntil(deadline), nullptr, &error);
  PortalAnswer answer = PortalAnswer::CallFailed;
  if (reply == nullptr) {
    failure_ = std::string(method) + ": " + (error != nullptr ? error->message : "no answer");
    g_clear_error(&error);
  } else {
    g_variant_unref(reply);
    // The answer comes as a signal.
    if (!RunContextUntil(context_, answered_, static_cast<unsigned>(MillisecondsUntil(deadline)))) {
      failure_ = std::string(method) + ": the desktop gave no answer in time";
      answer = PortalAnswer::TimedOut;
    } else {
      answer = code_ == 0   ? PortalAnswer::Granted
               : code_ == 1 ? PortalAnswer::Cancelled
                            : PortalAnswer::Refused;
      if (answer == PortalAnswer::Refused) failure_ = std::string(method) + ": the desktop refused";
    }
  }
  g_dbus_connection_signal_unsubscribe(connection_, subscription);
  g_main_context_pop_thread_default(context_);
  return answer;
}

}  // namespace orvenna
