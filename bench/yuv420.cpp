// Cost of turning one 4K and one full-HD frame of 24-bit bottom-up pixels (what the recorder
// hands a compressor) into the 4:2:0 YUV that H.264, MPEG-4 and Motion JPEG encode.
#include "platform/codec/Yuv420.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace orvenna {
namespace {

void ConvertFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int bytes = static_cast<int>(state.range(2));
  const std::ptrdiff_t rowBytes = (bytes * width + 3) / 4 * 4;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(rowBytes) * height);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> y(static_cast<std::size_t>(width) * height);
  std::vector<std::uint8_t> u(y.size() / 4 + width), v(y.size() / 4 + width);
  const Yuv420Planes planes{y.data(), u.data(), v.data(), width, (width + 1) / 2, (width + 1) / 2};
  for (auto _ : state) {
    ConvertToYuv420(pixels.data() + rowBytes * (height - 1), -rowBytes, bytes, width, height, false,
                    planes);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(ConvertFrame)
    ->ArgNames({"width", "height", "bytes"})
    ->Args({3840, 2160, 3})
    ->Args({3840, 2160, 4})
    ->Args({1920, 1080, 3})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace
}  // namespace orvenna
