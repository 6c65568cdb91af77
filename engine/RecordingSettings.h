#pragma once

#include <cstdint>

#include "platform/RecordingDefaults.h"

namespace orvenna {

// How the capture region is chosen.
enum class TScreenRegion {
  SelObject = 0,
  FreeHand = 1,
  FixedMoving = 2,
  FixedStable = 3,
  FullScreen = 4
};

// Ends a recording automatically when the elapsed time reaches Hours:Minutes:Seconds.
struct TCaptureTimer {
  bool Enabled = false;
  std::uint8_t Hours = 0;
  std::uint8_t Minutes = 0;
  std::uint8_t Seconds = 0;

  // The time in milliseconds at which it stops a recording; 0 when it never does.
  std::int64_t StopAtMilliseconds() const {
    if (!Enabled) return 0;
    return (Hours * 3600LL + Minutes * 60LL + Seconds) * 1000;
  }
};

// The settings that change what each grab does; a running recording follows them.
struct GrabSwitches {
  int filterColor = 0;  // 1 = inverse colours
  bool recordCursor = true;
  bool ovelayDrawing = false;
};

// The engine's settings but the region, the grab switches and the preview switch. The engine
// keeps one set on the UI thread; each recording works on a copy taken when it starts.
struct RecordingSettings {
  int fpsPlayBack = kEngineDefaults.fpsPlayBack;
  int mspfRecord = kEngineDefaults.mspfRecord;
  int keyFramesEvery = kEngineDefaults.keyFramesEvery;
  int compressionQuality = kEngineDefaults.compressionQuality;
  int colors = kEngineDefaults.colors;
  int selectedCompressor = kEngineDefaults.selectedCompressor;
  bool useAudioRecord = false;
  int audioFormatsIndex = -1;
  bool drawAreaCapture = true;
  bool lineRectClear = true;
  bool minimizeAppOnStart = true;
  bool restoreAppOnStop = true;
  TScreenRegion screenRegion = TScreenRegion::FixedMoving;
  int priority = 3;
  TCaptureTimer captureTimer;

  int BitCount() const { return BitsPerPixelOfColors(colors); }
};

}  // namespace orvenna
