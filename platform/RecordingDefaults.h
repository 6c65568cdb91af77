#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/Geometry.h"

namespace orvenna {

// The recording settings' defaults, ranges and help texts, in one table: the engine, the
// compressors, orvenna-cli's parser and help, the main window and the options dialog all read
// them from here.

// The numeric settings a program starts with. A new engine holds the first column; the desktop
// application and orvenna-cli set the second at start-up, and the compressors probe and scale
// their quality around the same values.
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

// The capture region of a new engine, and what the main window's region fields first show.
inline constexpr Rect kDefaultRegion{0, 0, 300, 300};

// Bits per pixel of grabbed frames for a colour setting: 0 = 8, 1 = 16, 2 = 24, else 32.
constexpr int BitsPerPixelOfColors(int colors) {
  return colors == 0 ? 8 : colors == 1 ? 16 : colors == 2 ? 24 : 32;
}

// The colour setting of 8, 16, 24 or 32 bits per pixel.
constexpr int ColorsOfBitsPerPixel(int bitsPerPixel) {
  return bitsPerPixel / 8 - 1;
}

// Compression quality is shown in percent and kept on a 0..10000 scale.
inline constexpr int kQualityPerPercent = 100;

struct NumberRange {
  int low = 0;
  int high = 0;
  constexpr bool Holds(int value) const { return value >= low && value <= high; }
};

// A number the user sets, in the unit the user sees it in (percent, milliseconds, frames per
// second, bits per pixel...).
struct NumericSetting {
  std::string_view option;    // orvenna-cli's option
  std::string_view argument;  // the value's name in orvenna-cli's help
  // orvenna-cli's help; a line break continues under the help's column.
  std::string_view help;
  int defaultValue;  // a value outside `range` stands for "not given"
  bool helpShowsDefault;
  NumberRange range;  // what orvenna-cli accepts
  int step;           // accepted values are range.low, range.low + step, ...
  // The range of the options dialog's slider for it; none when the dialog has no slider.
  std::optional<NumberRange> sliderRange;
};

enum class NumericOption {
  Seconds,
  Quality,
  KeyFrames,
  Interval,
  Fps,
  Colors,
  AudioFormat,
  AudioInput,
  AudioVolume,
};

// The longest capture timer: 255 hours, 59 minutes and 59 seconds.
inline constexpr int kLongestTimedRecording = 255 * 3600 + 59 * 60 + 59;

inline constexpr std::array kNumericSettings{
    NumericSetting{"--seconds",
                   "N",
                   "stop and keep after N seconds; without it, record until\n"
                   "Ctrl+C, SIGTERM or SIGHUP (stop and keep)",
                   0,
                   false,
                   {1, kLongestTimedRecording},
                   1,
                   std::nullopt},
    NumericSetting{"--quality",
                   "Q",
                   "0..100",
                   kFrontEndDefaults.compressionQuality / kQualityPerPercent,
                   true,
                   {0, 100},
                   1,
                   NumberRange{0, 100}},
    NumericSetting{"--keyframes",
                   "N",
                   "key-frame interval",
                   kFrontEndDefaults.keyFramesEvery,
                   true,
                   {0, 100000},
                   1,
                   std::nullopt},
    NumericSetting{"--interval",
                   "MS",
                   "record interval in ms per frame slot",
                   kFrontEndDefaults.mspfRecord,
                   true,
                   {1, 100000},
                   1,
                   NumberRange{5, 1000}},
    NumericSetting{"--fps",
                   "N",
                   "playback frame rate",
                   kFrontEndDefaults.fpsPlayBack,
                   true,
                   {1, 1000},
                   1,
                   NumberRange{1, 200}},
    NumericSetting{"--colors",
                   "B",
                   "8, 16, 24 or 32 bits per pixel",
                   BitsPerPixelOfColors(kFrontEndDefaults.colors),
                   true,
                   {8, 32},
                   8,
                   std::nullopt},
    NumericSetting{"--audio-format",
                   "N",
                   "also record sound, in PCM format N (1..20, numbered as\n"
                   "--list-audio-formats prints them); default: no sound",
                   0,
                   false,
                   {1, 20},
                   1,
                   std::nullopt},
    NumericSetting{"--audio-input",
                   "N",
                   "select input N before recording (as the options dialog does)",
                   -1,
                   false,
                   {0, 1000},
                   1,
                   std::nullopt},
    NumericSetting{"--audio-volume",
                   "V",
                   "set the selected input's volume to V (0..100) before\nrecording",
                   -1,
                   false,
                   {0, 100},
                   1,
                   NumberRange{0, 100}},
};

constexpr const NumericSetting& SettingOf(NumericOption option) {
  return kNumericSettings[static_cast<std::size_t>(option)];
}

static_assert(kQualityPerPercent * SettingOf(NumericOption::Quality).range.high == 10000);

}  // namespace orvenna
