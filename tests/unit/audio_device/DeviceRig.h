#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/WaveIn.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/GeneratorWaveIn.h"

namespace orvenna {

// Waits up to two seconds of real time for `condition`.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits until `device` has queued its buffers and started: its open notification has been
// handled once the lock it holds meanwhile is free again.
inline bool StartedRecording(TWaveAudioIO& device) {
  if (!Eventually([&] { return device.BufferCountInUse() == int{device.BufferCount()}; }))
    return false;
  device.Lock();
  device.Unlock();
  return true;
}

// A recording device whose sink keeps what it is given, over the generator on a hand-moved
// clock, with every event written into one log.
class RecordingDevice : public TWaveAudioIn {
 public:
  RecordingDevice(WaveInDriver& driver, Shell& shell) : TWaveAudioIn(driver, shell) {
    OnActivate = [this](TWaveAudioIO&) { Note("activate"); };
    OnDeactivate = [this](TWaveAudioIO&) { Note("deactivate"); };
    OnPause = [this](TWaveAudioIO&) { Note("pause"); };
    OnResume = [this](TWaveAudioIO&) { Note("resume"); };
    OnLevel = [this](TWaveAudioIO&, int level) { Note("level " + std::to_string(level)); };
  }
  ~RecordingDevice() override { CloseAndWait(); }

  void Note(const std::string& event) {
    std::lock_guard guard(lock);
    events.push_back(event);
  }
  std::vector<std::string> Events() {
    std::lock_guard guard(lock);
    return events;
  }
  std::vector<std::uint8_t> Recorded() {
    std::lock_guard guard(lock);
    return recorded;
  }

  std::mutex lock;
  std::vector<std::string> events;
  std::vector<std::uint8_t> recorded;
  int sinkCalls = 0;

 protected:
  void ProcessData(std::uint8_t* data, std::uint32_t count, bool&) override {
    std::lock_guard guard(lock);
    recorded.insert(recorded.end(), data, data + count);
    ++sinkCalls;
    if (events.empty() || events.back() != "data") events.push_back("data");
  }
};

struct DeviceRig {
  ManualClock clock;
  FakeShell shell;
  GeneratorWaveInDriver driver{clock};
};

// Whether 16-bit mono `bytes` continue the generator's ramp from its first sample on.
inline bool IsUnbrokenRamp16(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto expected = static_cast<std::uint16_t>(i / 2 - 32768);
    if ((bytes[i] | bytes[i + 1] << 8) != expected) return false;
  }
  return true;
}

}  // namespace orvenna
