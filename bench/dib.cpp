// Cost of turning one full-HD screen image into frame pixels at each depth.
#include "platform/Dib.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"

namespace orvenna {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

void ConvertFullHd(benchmark::State& state) {
  const int bitsPerPixel = static_cast<int>(state.range(0));
  std::vector<std::uint32_t> screen(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x)
      screen[static_cast<std::size_t>(y) * kWidth + x] =
          static_cast<std::uint32_t>((x * 7 + y) & 0xFF) | ((x ^ y) & 0xFF) << 8 |
          ((x + y * 5) & 0xFF) << 16;
  }
  const ImageView source{reinterpret_cast<std::uint8_t*>(screen.data()), kWidth, kHeight,
                         kWidth * 4};
  std::vector<std::uint8_t> pixels(DibRowBytes(kWidth, bitsPerPixel) * kHeight);
  DibConverter converter;
  for (auto _ : state) {
    if (!converter.Convert(source, bitsPerPixel, pixels.data()))
      state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(ConvertFullHd)
    ->ArgName("bpp")
    ->Arg(8)
    ->Arg(16)
    ->Arg(24)
    ->Arg(32)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace
}  // namespace orvenna
