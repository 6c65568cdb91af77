#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace orvenna {

// What the front end shows of a recording: the compressor's name and the figures of the
// frame loop.
struct SessionStatistics {
  std::string codecName;
  std::int64_t elapsedMilliseconds = -1;  // -1 before the first recording
  double captureRate = 0;
  double capturedRate = 0;
  int frameCount = 0;
  int droppedFrames = 0;
  int frameIndex = 0;
  // The file plays one frame per record interval, whatever the playback rate: it has sound.
  bool playsInRealTime = false;
};

// Where a recording publishes its statistics, one consistent record at a time, and the front
// end reads them. Any thread.
class StatisticsBoard {
 public:
  explicit StatisticsBoard(std::string codecName) { current_.codecName = std::move(codecName); }

  SessionStatistics Read() const {
    std::lock_guard lock(lock_);
    return current_;
  }
  // Replaces the figures of the frame loop; the codec name stays.
  void PublishLoop(const SessionStatistics& loop) {
    std::lock_guard lock(lock_);
    std::string name = std::move(current_.codecName);
    current_ = loop;
    current_.codecName = std::move(name);
  }
  void SetCodecName(const std::string& name) {
    std::lock_guard lock(lock_);
    current_.codecName = name;
  }

 private:
  mutable std::mutex lock_;
  SessionStatistics current_;
};

}  // namespace orvenna
