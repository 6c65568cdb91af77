// Cost of rearranging one 4K frame of grabbed 32-bit pixels (top-down) into the RGB layouts
// that HuffYUV and PNG (packed RGB), Ut Video (planes) and FFV1 (32-bit) encode.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/codec/RgbLayout.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace orvenna {
namespace {

void RearrangeFrame(benchmark::State& state) {
  constexpr int kWidth = 3840;
  constexpr int kHeight = 2160;
  std::vector<std::uint8_t> pixels(4 * std::size_t{kWidth} * kHeight);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
  AVFrame* frame = av_frame_alloc();
  frame->format = static_cast<int>(state.range(0));
  frame->width = kWidth;
  frame->height = kHeight;
  if (av_frame_get_buffer(frame, 0) < 0) state.SkipWithError("no frame buffer");
  for (auto _ : state) {
    RearrangeRgb(PictureRows{pixels.data(), 4 * kWidth, 4}, kWidth, kHeight, *frame);
    benchmark::DoNotOptimize(frame->data[0]);
    benchmark::ClobberMemory();
  }
  av_frame_free(&frame);
}
BENCHMARK(RearrangeFrame)
    ->ArgNames({"format"})
    ->Arg(AV_PIX_FMT_RGB24)
    ->Arg(AV_PIX_FMT_GBRP)
    ->Arg(AV_PIX_FMT_BGR0)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace
}  // namespace orvenna
