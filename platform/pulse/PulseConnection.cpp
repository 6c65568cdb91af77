#include "platform/pulse/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>

namespace orvenna {

namespace {

bool Settled(pa_context_state_t state) {
  return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
}

}  // namespace

std::string WithinAnswerTimeoutText() {
  return "within " + std::to_string(kServerAnswerTimeout.count() / 1000) + " s";
}

std::unique_ptr<PulseConnection> PulseConnection::Connect(const char* clientName, Deadline deadline,
                                                          std::string& failure) {
  std::unique_ptr<PulseConnection> connection(new PulseConnection());
  connection->loop_ = pa_threaded_mainloop_new();
  if (connection->loop_ != nullptr) {
    connection->context_ =
        pa_context_new(pa_threaded_mainloop_get_api(connection->loop_), clientName);
  }
  if (connection->context_ == nullptr || pa_threaded_mainloop_start(connection->loop_) < 0) {
    failure = "the sound library could not start its event loop";
    return nullptr;
  }
  PulseLock lock(connection->loop_);
  pa_context* context = connection->context_;
  pa_context_set_state_callback(context, &OnContextState, connection.get());
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    failure = "no sound server at " + connection->Address() + ": " + connection->Cause();
    return nullptr;
  }
  connection->WaitUntil([context] { return Settled(pa_context_get_state(context)); }, deadline);
  switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
      connection->connected_ = true;
      return connection;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      failure = "no sound server at " + connection->Address() + ": " + connection->Cause();
      return nullptr;
    default:
      failure = "the sound server at " + connection->Address() + " did not answer " +
                WithinAnswerTimeoutText();
      return nullptr;
  }
}

PulseConnection::~PulseConnection() {
  if (context_ != nullptr) {
    {
      PulseLock lock(loop_);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_stop(loop_);
    pa_context_unref(context_);
  }
  if (loop_ != nullptr) pa_threaded_mainloop_free(loop_);
}

std::string PulseConnection::Address() const {
  const char* server = pa_context_get_server(context_);
  return server != nullptr ? server : "the default address";
}

std::string PulseConnection::Cause() const {
  return pa_strerror(pa_context_errno(context_));
}

void PulseConnection::OnContextState(pa_context* context, void* self) {
  auto* connection = static_cast<PulseConnection*>(self);
  if (connection->connected_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
    connection->connected_ = false;
    if (connection->onLost_) connection->onLost_();
  }
  connection->Signal();
}

bool PulseConnection::WaitUntil(const std::function<bool()>& done, Deadline deadline) {
  struct Alarm {
    PulseConnection* connection;
    bool rang = false;
  } alarm{this};
  const auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(
      deadline - std::chrono::steady_clock::now());
  if (remaining.count() <= 0) return done();
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + static_cast<pa_usec_t>(remaining.count()),
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
        auto* alarm = static_cast<Alarm*>(userdata);
        alarm->rang = true;
        alarm->connection->Signal();
      },
      &alarm);
  if (timer == nullptr) return done();
  while (!done() && !alarm.rang) pa_threaded_mainloop_wait(loop_);
  pa_threaded_mainloop_get_api(loop_)->time_free(timer);
  return done();
}

bool PulseConnection::WaitFor(pa_operation* operation, Deadline deadline) {
  if (operation == nullptr) return false;
  WaitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
            deadline);
  const pa_operation_state_t state = pa_operation_get_state(operation);
  // A late answer must not reach a callback whose data is gone.
  if (state == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return state == PA_OPERATION_DONE;
}

}  // namespace orvenna
