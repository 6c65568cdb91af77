#include "platform/Log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace orvenna {
namespace {

constexpr const char* kLevelNames[] = {"debug", "info", "warning", "error"};

std::atomic<int>& Threshold() {
  static std::atomic<int> threshold{[] {
    const char* setting = std::getenv("ORVENNA_LOG");
    return static_cast<int>(LogLevelNamed(setting ? setting : ""));
  }()};
  return threshold;
}

}  // namespace

LogLevel LogLevelNamed(const std::string& name) {
  for (int level = 0; level < static_cast<int>(LogLevel::Off); ++level) {
    if (name == kLevelNames[level]) return static_cast<LogLevel>(level);
  }
  return LogLevel::Off;
}

LogLevel LogThreshold() {
  return static_cast<LogLevel>(Threshold().load(std::memory_order_relaxed));
}

void SetLogThreshold(LogLevel level) {
  Threshold().store(static_cast<int>(level), std::memory_order_relaxed);
}

void Log(LogLevel level, const char* where, const std::string& text) {
  if (level < LogThreshold() || level == LogLevel::Off) return;
  // One write per line, so that lines of several threads do not mix.
  const std::string line = std::string("orvenna ") + kLevelNames[static_cast<int>(level)] + " " +
                           where + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace orvenna
