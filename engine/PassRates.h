#pragma once

#include <cmath>
#include <cstdint>

namespace orvenna {

// The grab and write rates of a frame loop as the user reads them: grabs and written frames a
// second, both counted over the same span (the last whole second; the time since the start
// during the first one), so that a pass quicker than a millisecond does not read as a thousand
// a second, and the frames written never outnumber the grabs they came from. One thread.
class PassRates {
 public:
  void Start(std::uint32_t now) {
    *this = PassRates{};
    spanStart_ = now;
  }
  // One pass of the loop at `now`, which wrote a frame or not.
  void Pass(std::uint32_t now, bool wrote) {
    ++grabs_;
    writes_ += wrote ? 1 : 0;
    const std::uint32_t span = now - spanStart_;
    if (span < kFirstReadingMs || (span < kSpanMs && !firstSpan_)) return;
    grabRate_ = PerSecond(grabs_, span);
    writeRate_ = PerSecond(writes_, span);
    if (span < kSpanMs) return;
    firstSpan_ = false;
    spanStart_ = now;
    grabs_ = 0;
    writes_ = 0;
  }
  double Grabs() const { return grabRate_; }
  double Written() const { return writeRate_; }

 private:
  static constexpr std::uint32_t kSpanMs = 1000;
  // The first reading waits for a few passes' worth of time, so that the first pass alone does
  // not make it.
  static constexpr std::uint32_t kFirstReadingMs = 200;
  // Rounded to the nearest integer, halves to even.
  static double PerSecond(int count, std::uint32_t milliseconds) {
    return std::nearbyint(count * 1000.0 / milliseconds);
  }

  std::uint32_t spanStart_ = 0;
  bool firstSpan_ = true;
  int grabs_ = 0;
  int writes_ = 0;
  double grabRate_ = 0;
  double writeRate_ = 0;
};

}  // namespace orvenna
