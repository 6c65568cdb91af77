#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/WaveIn.h"

namespace orvenna {

// The cause last seen for a result code ("no sound server at ...: Connection refused"),
// shared by a driver and the devices it opened, which may outlive it. Any thread.
class PulseErrorTexts {
 public:
  void Remember(MMRESULT code, std::string text) {
    std::lock_guard lock(mutex_);
    texts_[code] = std::move(text);
  }
  // Empty when no cause was seen for `code`.
  std::string Find(MMRESULT code) const {
    std::lock_guard lock(mutex_);
    auto found = texts_.find(code);
    return found != texts_.end() ? found->second : std::string();
  }

 private:
  mutable std::mutex mutex_;
  std::map<MMRESULT, std::string> texts_;
};

}  // namespace orvenna
