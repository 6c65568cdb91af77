#include <gtest/gtest.h>

#include "engine/PassRates.h"

namespace orvenna {
namespace {

// Passes far quicker than a millisecond read as what they are, not as a thousand a second, and
// the frames written a second never outnumber the grabs, whatever the spacing of the passes.
TEST(PassRates, GrabsAndWritesAreCountedOverTheSameSecond) {
  PassRates rates;
  rates.Start(5000);
  rates.Pass(5000, true);
  EXPECT_EQ(rates.Grabs(), 0);  // one pass is no reading yet
  // 3000 grabs in the first second, every tenth written; each millisecond holds three passes.
  for (int i = 1; i < 3000; ++i) rates.Pass(5000 + i / 3, i % 10 == 0);
  rates.Pass(6000, false);
  EXPECT_EQ(rates.Grabs(), 3001);
  EXPECT_EQ(rates.Written(), 300);
  // An idle second: one slow pass every 50 ms, each written.
  for (std::uint32_t t = 6050; t <= 7000; t += 50) rates.Pass(t, true);
  EXPECT_EQ(rates.Grabs(), 20);
  EXPECT_EQ(rates.Written(), 20);
  EXPECT_LE(rates.Written(), rates.Grabs());
}

}  // namespace
}  // namespace orvenna
