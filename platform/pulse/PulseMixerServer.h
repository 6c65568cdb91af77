#pragma once

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mixer.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/pulse/PulseMixerState.h"

namespace orvenna {

// The sound server as the mixer sees it: a connection kept up by a thread of its own, and a
// copy of the server's sources, default source and default sink that follows the server's
// change events.
//
// Threads and locks:
// - The keeper thread connects, reads the whole state, and after a loss drops the connection
//   and tries again every half second until a server answers.
// - The connection's loop thread receives the change events and the answers to queries and
//   updates the copy (loop lock, then `mutex_`).
// - Callers (the UI thread) read the copy under `mutex_` only, without a round trip; writes
//   hold `connectionMutex_`, send the request and wait for the answer with a deadline.
// Lock order: connectionMutex_, then the loop lock, then mutex_.
//
// Changes the server reports reach every listener as MM_MIXM_* notifications, through the
// poster; changes made by the writes below are already in the copy when they return, and are
// not reported back.
class PulseMixerServer {
 public:
  using Poster = std::function<void(std::function<void()>)>;

  // One open device's callback. The device owns it; the server and the posted work hold it
  // weakly, so that nothing reaches a device that is gone.
  struct Listener {
    MixerCallback callback;
  };

  // Starts the keeper thread; returns at once.
  explicit PulseMixerServer(Poster postToUiThread);
  // Stops the keeper thread and disconnects; at most the answer timeout when a connection
  // attempt is under way. Not on the connection's loop thread.
  ~PulseMixerServer();
  PulseMixerServer(const PulseMixerServer&) = delete;
  PulseMixerServer& operator=(const PulseMixerServer&) = delete;

  void AddListener(const std::shared_ptr<Listener>& listener);

  // Waits until the keeper's first attempt to connect and read the server has ended (at most
  // the connection's and the reading's answer timeouts), so that a first reading of the copy
  // is the server's and not the empty copy of a connection still under way. Answers why no
  // server is online, or "" when one is.
  std::string WaitForFirstAttempt();

  // Runs `read` on the copy of the server's state, under its lock; `read` must not call back
  // into the server.
  template <typename Read>
  auto WithState(Read read) const {
    std::lock_guard lock(mutex_);
    return read(state_);
  }

  // Writes that wait for the server's answer: MMSYSERR_NOERROR once it is done (and in the
  // copy), MMSYSERR_NODRIVER without a connection, MIXERR_INVALLINE for a line that is gone,
  // MMSYSERR_NOTENABLED when the server refused or did not answer in time.
  // The loudest channel of the default sink (kPlaybackLineId) or of a source line becomes
  // `value` (at most PA_VOLUME_NORM), the others keeping their proportion to it.
  MMRESULT SetVolume(std::uint32_t lineId, pa_volume_t value);
  MMRESULT SetMute(std::uint32_t lineId, bool muted);
  // Makes the source of that line the server's default source.
  MMRESULT SetDefaultSource(std::uint32_t lineId);

 private:
  struct Notification {
    unsigned message;
    std::uint32_t id;
  };
  using Notifications = std::vector<Notification>;
  struct Write;

  void Run();  // the keeper thread
  // Connects and reads the whole state; false when no server answered or the reading failed.
  bool Connect();
  // Drops the connection (the loop thread ends) and empties the copy.
  void Disconnect();

  // Sends a request started by `start` and waits for its answer; on success `apply` updates
  // the copy (on the loop thread, before the answer returns to the caller).
  MMRESULT Send(
      const std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>& start,
      std::function<void(MixerState&)> apply);
  static void OnWritten(pa_context* context, int success, void* write);

  // Queries whose answers update the copy. Loop locked.
  pa_operation* RequestServerInfo(pa_context* context);
  pa_operation* RequestSink(pa_context* context);
  pa_operation* RequestSources(pa_context* context);
  static void OnEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                      void* self);
  static void OnSubscribed(pa_context* context, int success, void* self);
  static void OnServerInfo(pa_context* context, const pa_server_info* info, void* self);
  static void OnSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* self);
  static void OnSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
  void OnLost(const std::string& address);  // loop thread

  // Replace parts of the copy and return the notifications due. mutex_ held.
  Notifications CommitDefaultSource(const std::string& name);
  Notifications CommitSink(const MixerSink& sink);
  Notifications CommitSources(std::vector<MixerSource> sources);
  // Hands the notifications to every listener still there. Not under mutex_.
  void Post(const Notifications& notifications);
  void Signal();  // wakes a thread waiting for an answer; loop locked

  const Poster post_;

  mutable std::mutex mutex_;  // guards what follows up to connectionMutex_
  MixerState state_;
  std::uint32_t nextLineId_ = kFirstSourceLineId;
  std::vector<std::weak_ptr<Listener>> listeners_;
  bool stopping_ = false;
  bool lost_ = false;             // the loop thread saw the connection fail; the keeper drops it
  std::condition_variable wake_;  // the keeper's: stopping_ or lost_ changed
  bool attempted_ = false;        // the keeper's first attempt has ended
  std::string offlineReason_;     // of the keeper's last attempt; "" once online
  std::condition_variable attemptEnded_;

  std::mutex connectionMutex_;
  std::unique_ptr<PulseConnection> connection_;  // the one that is online, else null

  // The loop thread's, under the loop lock of the one connection that exists at a time.
  pa_threaded_mainloop* loop_ = nullptr;
  std::vector<MixerSource> arrivingSources_;  // of the list being answered
  MixerSink arrivingSink_;

  std::string lastFailure_;  // the keeper's: logged once, not at every attempt
  std::thread keeper_;       // last: starts once everything above exists
};

}  // namespace orvenna
