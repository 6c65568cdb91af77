#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace orvenna {

class TVistrel;

// How the last recording was ended.
enum class TStopRequest : std::uint8_t { None = 0, Stop = 1, Cancel = 2 };

struct TElapsedTime {
  int Hours = 0;
  int Minutes = 0;
  int Seconds = 0;
  int Milliseconds = 0;
  friend bool operator==(const TElapsedTime&, const TElapsedTime&) = default;
};

// Whether a recording runs and how the last one was ended (or is to end), as one value: a
// thread that reads both never sees one of them changed without the other.
class StopState {
 public:
  bool Recording() const { return Load().recording; }
  TStopRequest Request() const { return Load().request; }
  // Starts a recording; the request stays as it was.
  void StartRecording() {
    Change([](Value& v) { v.recording = true; });
  }
  // Ends the recording; the request stays as it was.
  void EndRecording() {
    Change([](Value& v) { v.recording = false; });
  }
  // Ends the recording with `how`.
  void End(TStopRequest how) {
    Change([how](Value& v) {
      v.recording = false;
      v.request = how;
    });
  }
  // Sets the request; the recording goes on or not as it did.
  void SetRequest(TStopRequest how) {
    Change([how](Value& v) { v.request = how; });
  }
  // No recording, and no request.
  void Reset() { value_.store(Pack(Value{})); }

 private:
  struct Value {
    bool recording = false;
    TStopRequest request = TStopRequest::None;
  };
  static std::uint8_t Pack(Value v) {
    return static_cast<std::uint8_t>((v.recording ? 0x80 : 0) |
                                     static_cast<std::uint8_t>(v.request));
  }
  static Value Unpack(std::uint8_t bits) {
    return Value{(bits & 0x80) != 0, static_cast<TStopRequest>(bits & 0x7F)};
  }
  Value Load() const { return Unpack(value_.load()); }
  template <typename Edit>
  void Change(Edit edit) {
    std::uint8_t old = value_.load();
    for (;;) {
      Value v = Unpack(old);
      edit(v);
      if (value_.compare_exchange_weak(old, Pack(v))) return;
    }
  }

  std::atomic<std::uint8_t> value_{0};
};

// The stop request as a field of its own: read and written through the stop state, whose
// recording flag it leaves as it is.
class StopRequestField {
 public:
  explicit StopRequestField(StopState& state) : state_(state) {}
  StopRequestField(const StopRequestField&) = delete;
  operator TStopRequest() const { return state_.Request(); }
  StopRequestField& operator=(TStopRequest how) {
    state_.SetRequest(how);
    return *this;
  }

 private:
  StopState& state_;
};

// Items that exist once per process, whatever engine is current. The flags are shared
// between the UI thread and the recording thread and are atomic (the stop state one value of
// whether a recording runs and how it ends); the strings are written
// on the UI thread before a recording thread starts, and read by it afterwards.
struct ProcessState {
  std::atomic<TVistrel*> Instance{nullptr};  // the most recently constructed engine
  std::string VideoTempFile;
  std::string AudioTempFile;
  std::string TargetFileName;
  StopState Stop;
  StopRequestField StopRequest{Stop};
  std::atomic<bool> PendingStart{false};
  std::atomic<bool> SaveSucceeded{false};
  std::atomic<std::int64_t> ElapsedMilliseconds{0};
};

ProcessState& Process();

}  // namespace orvenna
