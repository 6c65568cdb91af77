#pragma once

namespace orvenna {

// The recording settings a program starts with, in one table. A new engine holds the first
// column; the desktop application and orvenna-cli set the second at start-up, and the
// compressors probe and scale their quality around the same values.
struct RecordingDefaults {
  int fpsPlayBack;         // playback frames per second
  int mspfRecord;          // milliseconds of real time per frame slot
  int keyFramesEvery;      // key-frame interval
  int compressionQuality;  // 0..10000
  int colors;              // 0 = 8, 1 = 16, 2 = 24, 3 = 32 bits per pixel
  int selectedCompressor;  // catalogue position, -1 = none
};

inline constexpr RecordingDefaults kEngineDefaults{40, 25, 15, 8000, 3, -1};
inline constexpr RecordingDefaults kFrontEndDefaults{30, 33, 100, 7500, 2, 0};

}  // namespace orvenna
