// Encoding throughput of every installed compressor on full-HD 32-bit frames at the front
// end's default quality (7500). bench/encode_vs_ffmpeg.sh runs it next to ffmpeg.
//
//   bench_encode [--frames=FILE] [Google Benchmark flags]
//
// FILE holds raw 1920x1080 frames, bgr0, rows top-down (as ffmpeg writes them with
// "-f rawvideo -pix_fmt bgr0"); the first ten are used in turn. Without it the frames are a
// synthetic moving picture.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/codec/LibavCompressionManager.h"
#include "platform/fake/FakeDesktop.h"

namespace orvenna {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::size_t kFrameBytes = 4ull * kWidth * kHeight;
constexpr std::size_t kMaxFrames = 10;
constexpr EncoderSettings kDefaultSettings{7500, 0};

std::vector<std::uint8_t> Format() {
  BitmapInfoHeader header;
  header.width = kWidth;
  header.height = kHeight;
  header.bitCount = 32;
  header.sizeImage = static_cast<std::uint32_t>(kFrameBytes);
  std::vector<std::uint8_t> format(sizeof header);
  std::memcpy(format.data(), &header, sizeof header);
  return format;
}

// Packed frames (rows bottom-up) from a raw file of top-down rows.
std::vector<std::vector<std::uint8_t>> ReadFrames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> topDown(kFrameBytes);
  std::vector<std::vector<std::uint8_t>> frames;
  const std::size_t row = 4 * kWidth;
  while (frames.size() < kMaxFrames && in.read(reinterpret_cast<char*>(topDown.data()),
                                               static_cast<std::streamsize>(kFrameBytes))) {
    std::vector<std::uint8_t> frame(kFrameBytes);
    for (int y = 0; y < kHeight; ++y) {
      std::memcpy(frame.data() + row * (kHeight - 1 - y), topDown.data() + row * y, row);
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

// A gradient with a grid, moving a few pixels per frame.
std::vector<std::vector<std::uint8_t>> SyntheticFrames() {
  std::vector<std::vector<std::uint8_t>> frames;
  for (std::size_t n = 0; n < kMaxFrames; ++n) {
    std::vector<std::uint8_t> frame(kFrameBytes);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const int shifted = x + static_cast<int>(n) * 4;
        std::uint8_t* pixel = frame.data() + 4 * (static_cast<std::size_t>(y) * kWidth + x);
        const bool line = shifted % 32 < 2 || y % 32 < 2;
        pixel[0] = line ? 40 : static_cast<std::uint8_t>(shifted * 255 / kWidth);
        pixel[1] = line ? 40 : static_cast<std::uint8_t>(y * 255 / kHeight);
        pixel[2] = line ? 40 : 160;
      }
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<std::vector<std::uint8_t>>& Frames() {
  static std::vector<std::vector<std::uint8_t>> frames;
  return frames;
}

void EncodeFullHd(benchmark::State& state, VideoCompressionManager* codecs, std::uint32_t handler) {
  auto encoder = codecs->NewEncoder(handler, Format(), kDefaultSettings);
  if (!encoder) {
    state.SkipWithError("the compressor refuses 1920x1080x32");
    return;
  }
  EncodedFrame out;
  std::size_t next = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto& frame = Frames()[next++ % Frames().size()];
    if (!encoder->Encode(frame.data(), frame.size(), out)) {
      state.SkipWithError("encoding failed");
      return;
    }
    bytes += out.data.size();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["kB_per_frame"] =
      static_cast<double>(bytes) / 1000.0 / static_cast<double>(state.iterations());
}

}  // namespace
}  // namespace orvenna

int main(int argc, char** argv) {
  using namespace orvenna;
  benchmark::Initialize(&argc, argv);
  std::string framesPath;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--frames=", 0) == 0) {
      framesPath = argument.substr(9);
    } else {
      std::cerr << "bench_encode: unknown argument " << argument << "\n";
      return 2;
    }
  }
  Frames() = framesPath.empty() ? SyntheticFrames() : ReadFrames(framesPath);
  if (Frames().empty()) {
    std::cerr << "bench_encode: no 1920x1080 bgr0 frame in " << framesPath << "\n";
    return 1;
  }

  FakeShell shell;
  LibavCompressionManager codecs(shell);
  ICINFO info;
  for (int i = 0; codecs.Info(ICTYPE_VIDEO, i, info); ++i) {
    const std::string name(reinterpret_cast<const char*>(&info.fccHandler), 4);
    benchmark::RegisterBenchmark(("Encode/" + name).c_str(), EncodeFullHd, &codecs, info.fccHandler)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
