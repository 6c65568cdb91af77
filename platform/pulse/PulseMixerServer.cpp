#include "platform/pulse/PulseMixerServer.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>

#include "platform/Log.h"

namespace orvenna {

namespace {

constexpr const char* kWhere = "pulse mixer";
// How often the keeper tries again while no server answers.
constexpr std::chrono::milliseconds kRetryInterval{500};

// Gives every source a line name: its description (its name when it has none), with " (2)",
// " (3)" ... after descriptions seen before, since lines are told apart by name.
void NameLines(std::vector<MixerSource>& sources) {
  std::set<std::string> used;
  for (MixerSource& source : sources) {
    const std::string& base = source.description.empty() ? source.name : source.description;
    std::string name = base;
    for (int repeat = 2; used.contains(name); ++repeat) {
      name = base + " (" + std::to_string(repeat) + ")";
    }
    used.insert(name);
    source.lineName = std::move(name);
  }
}

void Release(pa_operation* operation) {
  if (operation != nullptr) pa_operation_unref(operation);
}

}  // namespace

struct PulseMixerServer::Write {
  PulseMixerServer* server;
  std::function<void(MixerState&)> apply;
  bool succeeded = false;
};

PulseMixerServer::PulseMixerServer(Poster postToUiThread)
    : post_(std::move(postToUiThread)), keeper_([this] { Run(); }) {}

PulseMixerServer::~PulseMixerServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  keeper_.join();
  Disconnect();
}

void PulseMixerServer::AddListener(const std::shared_ptr<Listener>& listener) {
  std::lock_guard lock(mutex_);
  std::erase_if(listeners_, [](const std::weak_ptr<Listener>& old) { return old.expired(); });
  listeners_.push_back(listener);
}

std::string PulseMixerServer::WaitForFirstAttempt() {
  std::unique_lock lock(mutex_);
  attemptEnded_.wait(lock, [this] { return attempted_ || stopping_; });
  return state_.online ? "" : offlineReason_;
}

void PulseMixerServer::Run() {
  bool connected = false;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (!connected) {
      lock.unlock();
      connected = Connect();
      lock.lock();
      offlineReason_ = connected ? "" : lastFailure_;
      attempted_ = true;
      attemptEnded_.notify_all();
      if (!connected) wake_.wait_for(lock, kRetryInterval, [this] { return stopping_; });
    } else {
      wake_.wait(lock, [this] { return stopping_ || lost_; });
      if (lost_ && !stopping_) {
        lock.unlock();
        Disconnect();
        connected = false;
        lock.lock();
      }
    }
  }
}

bool PulseMixerServer::Connect() {
  const auto deadline = std::chrono::steady_clock::now() + kServerAnswerTimeout;
  std::string failure;
  std::unique_ptr<PulseConnection> connection =
      PulseConnection::Connect(kPulseClientName, deadline, failure);
  if (connection == nullptr) {
    if (failure != lastFailure_) Log(LogLevel::Info, kWhere, failure);
    lastFailure_ = failure;
    return false;
  }
  bool loaded = false;
  {
    PulseLock loopLock(connection->Loop());
    loop_ = connection->Loop();
    arrivingSources_.clear();
    arrivingSink_ = MixerSink{};
    connection->SetOnLost([this, address = connection->Address()] { OnLost(address); });
    pa_context* context = connection->Context();
    pa_context_set_subscribe_callback(context, &OnEvent, this);
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
    // Subscribed first, so that no change slips in between the reading and the events.
    loaded =
        connection->WaitFor(pa_context_subscribe(context, mask, &OnSubscribed, this), deadline) &&
        connection->WaitFor(RequestServerInfo(context), deadline) &&
        connection->WaitFor(RequestSink(context), deadline) &&
        connection->WaitFor(RequestSources(context), deadline);
  }
  if (!loaded) {
    failure = "the sound server at " + connection->Address() + " did not describe its devices " +
              WithinAnswerTimeoutText() + ": " + connection->Cause();
    if (failure != lastFailure_) Log(LogLevel::Info, kWhere, failure);
    lastFailure_ = failure;
    connection.reset();
    loop_ = nullptr;
    std::lock_guard lock(mutex_);
    lost_ = false;
    state_ = MixerState{};
    return false;
  }
  const std::string address = connection->Address();
  {
    std::lock_guard lock(connectionMutex_);
    connection_ = std::move(connection);
  }
  {
    std::lock_guard lock(mutex_);
    // A loss during the reading leaves the state offline; Run drops the connection.
    if (lost_) return true;
    state_.online = true;
  }
  lastFailure_.clear();
  Log(LogLevel::Info, kWhere, "connected to the sound server at " + address);
  Post({{MM_MIXM_LINE_CHANGE, kPlaybackLineId}, {MM_MIXM_LINE_CHANGE, kRecordingLineId}});
  return true;
}

void PulseMixerServer::Disconnect() {
  std::unique_ptr<PulseConnection> connection;
  {
    std::lock_guard lock(connectionMutex_);
    connection = std::move(connection_);
  }
  connection.reset();  // the loop thread ends here: no callback runs afterwards
  loop_ = nullptr;
  std::lock_guard lock(mutex_);
  lost_ = false;
  state_ = MixerState{};
}

void PulseMixerServer::OnLost(const std::string& address) {
  bool wasOnline = false;
  {
    std::lock_guard lock(mutex_);
    wasOnline = state_.online;
    state_ = MixerState{};
    lost_ = true;
  }
  wake_.notify_all();
  Log(LogLevel::Info, kWhere, "lost the sound server at " + address);
  if (wasOnline) {
    Post({{MM_MIXM_LINE_CHANGE, kPlaybackLineId}, {MM_MIXM_LINE_CHANGE, kRecordingLineId}});
  }
}

MMRESULT PulseMixerServer::SetVolume(std::uint32_t lineId, pa_volume_t value) {
  value = std::min<pa_volume_t>(value, PA_VOLUME_NORM);
  pa_cvolume volume;
  std::uint32_t index = PA_INVALID_INDEX;
  const bool sink = lineId == kPlaybackLineId;
  const MMRESULT found = WithState([&](const MixerState& state) {
    if (!state.online) return MMSYSERR_NODRIVER;
    if (sink) {
      if (!state.sink.known) return MIXERR_INVALLINE;
      volume = state.sink.volume;
      index = state.sink.index;
    } else {
      const MixerSource* source = state.SourceOfLine(lineId);
      if (source == nullptr) return MIXERR_INVALLINE;
      volume = source->volume;
      index = source->index;
    }
    return pa_cvolume_valid(&volume) ? MMSYSERR_NOERROR : MMSYSERR_NOTENABLED;
  });
  if (found != MMSYSERR_NOERROR) return found;
  pa_cvolume_scale(&volume, value);
  return Send(
      [&](pa_context* context, pa_context_success_cb_t done, void* write) {
        return sink ? pa_context_set_sink_volume_by_index(context, index, &volume, done, write)
                    : pa_context_set_source_volume_by_index(context, index, &volume, done, write);
      },
      [sink, index, volume](MixerState& state) {
        if (sink && state.sink.known && state.sink.index == index) state.sink.volume = volume;
        if (MixerSource* source = state.SourceOfIndex(index); !sink && source != nullptr) {
          source->volume = volume;
        }
      });
}

MMRESULT PulseMixerServer::SetMute(std::uint32_t lineId, bool muted) {
  std::uint32_t index = PA_INVALID_INDEX;
  const bool sink = lineId == kPlaybackLineId;
  const MMRESULT found = WithState([&](const MixerState& state) {
    if (!state.online) return MMSYSERR_NODRIVER;
    const MixerSource* source = state.SourceOfLine(lineId);
    if (sink ? !state.sink.known : source == nullptr) return MIXERR_INVALLINE;
    index = sink ? state.sink.index : source->index;
    return MMSYSERR_NOERROR;
  });
  if (found != MMSYSERR_NOERROR) return found;
  return Send(
      [&](pa_context* context, pa_context_success_cb_t done, void* write) {
        return sink ? pa_context_set_sink_mute_by_index(context, index, muted, done, write)
                    : pa_context_set_source_mute_by_index(context, index, muted, done, write);
      },
      [sink, index, muted](MixerState& state) {
        if (sink && state.sink.known && state.sink.index == index) state.sink.muted = muted;
        if (MixerSource* source = state.SourceOfIndex(index); !sink && source != nullptr) {
          source->muted = muted;
        }
      });
}

MMRESULT PulseMixerServer::SetDefaultSource(std::uint32_t lineId) {
  std::string name;
  const MMRESULT found = WithState([&](const MixerState& state) {
    if (!state.online) return MMSYSERR_NODRIVER;
    const MixerSource* source = state.SourceOfLine(lineId);
    if (source == nullptr) return MIXERR_INVALLINE;
    name = source->name;
    return MMSYSERR_NOERROR;
  });
  if (found != MMSYSERR_NOERROR) return found;
  return Send(
      [&](pa_context* context, pa_context_success_cb_t done, void* write) {
        return pa_context_set_default_source(context, name.c_str(), done, write);
      },
      [name](MixerState& state) { state.defaultSource = name; });
}

MMRESULT PulseMixerServer::Send(
    const std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>& start,
    std::function<void(MixerState&)> apply) {
  const auto deadline = std::chrono::steady_clock::now() + kServerAnswerTimeout;
  std::lock_guard connectionLock(connectionMutex_);
  if (connection_ == nullptr) return MMSYSERR_NODRIVER;
  Write write{this, std::move(apply)};
  PulseLock loopLock(connection_->Loop());
  const bool answered =
      connection_->WaitFor(start(connection_->Context(), &OnWritten, &write), deadline);
  if (answered && write.succeeded) return MMSYSERR_NOERROR;
  Log(LogLevel::Warning, kWhere,
      answered ? "the sound server refused a change: " + connection_->Cause()
               : "the sound server did not take a change " + WithinAnswerTimeoutText());
  return MMSYSERR_NOTENABLED;
}

void PulseMixerServer::OnWritten(pa_context*, int success, void* userdata) {
  auto* write = static_cast<Write*>(userdata);
  write->succeeded = success != 0;
  if (write->succeeded) {
    std::lock_guard lock(write->server->mutex_);
    write->apply(write->server->state_);
  }
  write->server->Signal();
}

void PulseMixerServer::Signal() {
  if (loop_ != nullptr) pa_threaded_mainloop_signal(loop_, 0);
}

pa_operation* PulseMixerServer::RequestServerInfo(pa_context* context) {
  return pa_context_get_server_info(context, &OnServerInfo, this);
}

pa_operation* PulseMixerServer::RequestSink(pa_context* context) {
  // The server resolves the name at the time of the query, so a change of the default sink
  // needs no second round trip.
  return pa_context_get_sink_info_by_name(context, "@DEFAULT_SINK@", &OnSinkInfo, this);
}

pa_operation* PulseMixerServer::RequestSources(pa_context* context) {
  return pa_context_get_source_info_list(context, &OnSourceInfo, this);
}

void PulseMixerServer::OnEvent(pa_context* context, pa_subscription_event_type_t type,
                               std::uint32_t, void* self) {
  auto* server = static_cast<PulseMixerServer*>(self);
  switch (type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) {
    case PA_SUBSCRIPTION_EVENT_SOURCE:
      Release(server->RequestSources(context));
      break;
    case PA_SUBSCRIPTION_EVENT_SINK:
      Release(server->RequestSink(context));
      break;
    case PA_SUBSCRIPTION_EVENT_SERVER:  // the default source or sink may have changed
      Release(server->RequestServerInfo(context));
      Release(server->RequestSink(context));
      break;
    default:
      break;
  }
}

void PulseMixerServer::OnSubscribed(pa_context*, int, void* self) {
  static_cast<PulseMixerServer*>(self)->Signal();
}

void PulseMixerServer::OnServerInfo(pa_context*, const pa_server_info* info, void* self) {
  auto* server = static_cast<PulseMixerServer*>(self);
  if (info != nullptr) {
    Notifications due;
    {
      std::lock_guard lock(server->mutex_);
      due = server->CommitDefaultSource(
          info->default_source_name != nullptr ? info->default_source_name : "");
    }
    server->Post(due);
  }
  server->Signal();
}

void PulseMixerServer::OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self) {
  auto* server = static_cast<PulseMixerServer*>(self);
  if (eol == 0 && info != nullptr) {
    MixerSink& sink = server->arrivingSink_;
    sink.known = true;
    sink.index = info->index;
    sink.name = info->name != nullptr ? info->name : "";
    sink.volume = info->volume;
    sink.muted = info->mute != 0;
    return;
  }
  // The end of the answer; an error (eol < 0) means the server has no default sink.
  Notifications due;
  {
    std::lock_guard lock(server->mutex_);
    due = server->CommitSink(eol > 0 ? server->arrivingSink_ : MixerSink{});
  }
  server->arrivingSink_ = MixerSink{};
  server->Post(due);
  server->Signal();
}

void PulseMixerServer::OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
  auto* server = static_cast<PulseMixerServer*>(self);
  if (eol == 0 && info != nullptr) {
    MixerSource source;
    source.index = info->index;
    source.name = info->name != nullptr ? info->name : "";
    source.description = info->description != nullptr ? info->description : "";
    source.volume = info->volume;
    source.muted = info->mute != 0;
    server->arrivingSources_.push_back(std::move(source));
    return;
  }
  // The end of the list. Answers arrive whole and in order, so the list is complete; after
  // an error the copy stays as it was.
  std::vector<MixerSource> sources = std::move(server->arrivingSources_);
  server->arrivingSources_.clear();
  if (eol > 0) {
    Notifications due;
    {
      std::lock_guard lock(server->mutex_);
      due = server->CommitSources(std::move(sources));
    }
    server->Post(due);
  }
  server->Signal();
}

PulseMixerServer::Notifications PulseMixerServer::CommitDefaultSource(const std::string& name) {
  if (name == state_.defaultSource) return {};
  state_.defaultSource = name;
  if (!state_.online) return {};
  return {{MM_MIXM_CONTROL_CHANGE, ControlIdOf(kRecordingLineId, MixerControlKind::Select)}};
}

PulseMixerServer::Notifications PulseMixerServer::CommitSink(const MixerSink& sink) {
  const MixerSink old = std::exchange(state_.sink, sink);
  if (!state_.online) return {};
  if (old.known != sink.known || old.index != sink.index || old.name != sink.name) {
    return {{MM_MIXM_LINE_CHANGE, kPlaybackLineId}};
  }
  Notifications due;
  if (VolumeValue(old.volume) != VolumeValue(sink.volume)) {
    due.push_back({MM_MIXM_CONTROL_CHANGE, ControlIdOf(kPlaybackLineId, MixerControlKind::Volume)});
  }
  if (old.muted != sink.muted) {
    due.push_back({MM_MIXM_CONTROL_CHANGE, ControlIdOf(kPlaybackLineId, MixerControlKind::Mute)});
  }
  return due;
}

PulseMixerServer::Notifications PulseMixerServer::CommitSources(std::vector<MixerSource> sources) {
  const std::vector<MixerSource> old = std::exchange(state_.sources, std::move(sources));
  std::vector<MixerSource>& now = state_.sources;
  for (MixerSource& source : now) {
    const auto same = std::find_if(old.begin(), old.end(), [&](const MixerSource& before) {
      return before.index == source.index;
    });
    source.lineId = same != old.end() ? same->lineId : nextLineId_++;
  }
  NameLines(now);
  if (!state_.online) return {};

  Notifications due;
  const bool linesChanged =
      !std::equal(old.begin(), old.end(), now.begin(), now.end(),
                  [](const MixerSource& before, const MixerSource& after) {
                    return before.lineId == after.lineId && before.lineName == after.lineName;
                  });
  if (linesChanged) due.push_back({MM_MIXM_LINE_CHANGE, kRecordingLineId});
  for (const MixerSource& source : now) {
    const auto before = std::find_if(old.begin(), old.end(), [&](const MixerSource& candidate) {
      return candidate.lineId == source.lineId;
    });
    if (before == old.end()) continue;
    if (VolumeValue(before->volume) != VolumeValue(source.volume)) {
      due.push_back({MM_MIXM_CONTROL_CHANGE, ControlIdOf(source.lineId, MixerControlKind::Volume)});
    }
    if (before->muted != source.muted) {
      due.push_back({MM_MIXM_CONTROL_CHANGE, ControlIdOf(source.lineId, MixerControlKind::Mute)});
    }
  }
  return due;
}

void PulseMixerServer::Post(const Notifications& notifications) {
  if (notifications.empty() || !post_) return;
  std::vector<std::weak_ptr<Listener>> listeners;
  {
    std::lock_guard lock(mutex_);
    listeners = listeners_;
  }
  for (const std::weak_ptr<Listener>& listener : listeners) {
    post_([listener, notifications] {
      for (const Notification& notification : notifications) {
        // Looked up for each one: the callback may close the device.
        const std::shared_ptr<Listener> alive = listener.lock();
        if (alive == nullptr) return;
        if (alive->callback) alive->callback(notification.message, notification.id);
      }
    });
  }
}

}  // namespace orvenna
