#pragma once

#include <gio/gio.h>

#include <chrono>
#include <string>

namespace orvenna {

// How a portal request ended: its Response signal's code (0 granted, 1 cancelled by the
// user, 2 refused or failed), or no answer in time, or a call the portal rejected at once.
enum class PortalAnswer { Granted, Cancelled, Refused, TimedOut, CallFailed };

// One call of a desktop portal method that answers through a Request object: the Response
// signal of the request is subscribed before the call is made (the answer may come before the
// call returns), and waited for on a main context of the caller's own, at most until
// `deadline`. The thread that makes the calls of one connection. Not shared between threads.
class PortalCall {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  // `connection` must outlive the call.
  explicit PortalCall(GDBusConnection* connection);
  ~PortalCall();
  PortalCall(const PortalCall&) = delete;
  PortalCall& operator=(const PortalCall&) = delete;

  // Calls `method` of `interface` on the desktop portal with `arguments` (floating or owned:
  // consumed), whose last member must be the options dictionary built by WithToken. The
  // results dictionary of a granted request stays in Results(); Failure() says what went wrong
  // otherwise.
  PortalAnswer Call(const char* interface, const char* method, GVariant* arguments,
                    Deadline deadline);

  // CreateSession of `interface` (one of the portal's session interfaces): the new session's
  // object path in `handle` when granted.
  PortalAnswer CreateSession(const char* interface, Deadline deadline, std::string& handle);

  // A fresh handle token for the options of the next call.
  std::string NextToken();
  GVariant* Results() const { return results_; }
  const std::string& Failure() const { return failure_; }

 private:
  static void OnResponse(GDBusConnection*, const char*, const char*, const char*, const char*,
                         GVariant* parameters, gpointer self);
  std::string RequestPath(const std::string& token) const;

  GDBusConnection* connection_;
  GMainContext* context_;
  std::string token_;
  bool answered_ = false;
  std::uint32_t code_ = 2;
  GVariant* results_ = nullptr;
  std::string failure_;
  unsigned counter_ = 0;
};

// Runs `context` until `done` (set by what it dispatches) is true or `milliseconds` have passed;
// answers `done`.
bool RunContextUntil(GMainContext* context, const bool& done, unsigned milliseconds);

// The desktop portal's bus name and object.
inline constexpr const char* kPortalBusName = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObject = "/org/freedesktop/portal/desktop";

}  // namespace orvenna
