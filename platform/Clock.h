#pragma once

#include <cstdint>

namespace orvenna {

// A millisecond clock that wraps around after 2^32 ms; differences of two readings taken
// less than 49 days apart are exact in unsigned arithmetic. Any thread.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t Milliseconds() = 0;
};

// The monotonic clock of the machine.
class SteadyClock final : public Clock {
 public:
  std::uint32_t Milliseconds() override;
};

}  // namespace orvenna
