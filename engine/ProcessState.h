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

// Items that exist once per process, whatever engine is current. The flags are shared
// between the UI thread and the recording thread and are atomic; the strings are written
// on the UI thread before a recording thread starts, and read by it afterwards.
struct ProcessState {
  std::atomic<TVistrel*> Instance{nullptr};  // the most recently constructed engine
  std::string VideoTempFile;
  std::string AudioTempFile;
  std::string TargetFileName;
  std::atomic<TStopRequest> StopRequest{TStopRequest::None};
  std::atomic<bool> PendingStart{false};
  std::atomic<bool> SaveSucceeded{false};
  std::atomic<std::int64_t> ElapsedMilliseconds{0};
};

ProcessState& Process();

}  // namespace orvenna
