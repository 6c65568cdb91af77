#pragma once

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace orvenna {

// How long the driver waits for the sound server to answer (a connection, a stream that gets
// ready, a query) before it gives up, so that no call hangs on a server that does not answer.
constexpr std::chrono::milliseconds kServerAnswerTimeout{3000};
// The name the server shows for our connections.
constexpr const char* kPulseClientName = "Orvenna";

// "within 3 s", for messages about a server that did not answer in time.
std::string WithinAnswerTimeoutText();

// Holds the lock of a libpulse event loop for its scope. The lock is recursive.
class PulseLock {
 public:
  explicit PulseLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~PulseLock() { pa_threaded_mainloop_unlock(loop_); }
  PulseLock(const PulseLock&) = delete;
  PulseLock& operator=(const PulseLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

// One connection to the sound server: an event loop thread of its own and one context on it.
// libpulse runs its callbacks on that thread with the loop locked; every other call into the
// context, and every member below except Connect and destruction, needs the loop locked
// (PulseLock on Loop()) by the calling thread.
class PulseConnection {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  // Connects to the server the environment names (PULSE_SERVER, else libpulse's default
  // addresses), never starting one. Null when no server answered by `deadline`, with
  // `failure` saying where it looked and why it failed. Any thread; the loop is not locked.
  static std::unique_ptr<PulseConnection> Connect(const char* clientName, Deadline deadline,
                                                  std::string& failure);
  // Disconnects and stops the loop thread: no callback runs afterwards. Any thread except the
  // loop thread, with the loop not locked.
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  pa_threaded_mainloop* Loop() const { return loop_; }
  pa_context* Context() const { return context_; }
  // The server address last tried, for messages.
  std::string Address() const;
  // libpulse's text for the context's last error.
  std::string Cause() const;

  // Runs `onLost` on the loop thread when the connection fails after Connect succeeded.
  void SetOnLost(std::function<void()> onLost) { onLost_ = std::move(onLost); }

  // Waits, the loop unlocked meanwhile, until `done` holds or the deadline passes; returns
  // `done()`. The callbacks that change what `done` looks at call Signal().
  bool WaitUntil(const std::function<bool()>& done, Deadline deadline);
  // Waits for `operation` to finish and releases it; true when it completed by the deadline.
  // A null operation (libpulse refused to start it) is false.
  bool WaitFor(pa_operation* operation, Deadline deadline);
  // Wakes the threads in WaitUntil. Loop thread (from callbacks).
  void Signal() { pa_threaded_mainloop_signal(loop_, 0); }

 private:
  PulseConnection() = default;
  static void OnContextState(pa_context* context, void* self);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool connected_ = false;
  std::function<void()> onLost_;
};

}  // namespace orvenna
