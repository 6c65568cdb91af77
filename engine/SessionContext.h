#pragma once

#include <cstdint>
#include <string>

#include "engine/ProcessState.h"
#include "engine/RecordingSettings.h"
#include "engine/SessionStatistics.h"
#include "engine/SharedRegion.h"
#include "engine/SharedValue.h"
#include "platform/Image.h"
#include "platform/Platform.h"

namespace orvenna {

class KeptRecordings;
class RecordingLock;
class TStockAudioRecorder;

// Where a recording's reports and events go: the engine's events (OnError, OnStart, ...)
// behind one port. Called on the recording thread.
class SessionSink {
 public:
  virtual ~SessionSink() = default;
  // A message for the user.
  virtual void Report(const std::string& message) = 0;
  virtual void Started() = 0;
  virtual void Updated() = 0;
  virtual void Stopped() = 0;
  // Progress of the save, 0..100; false when the user asks it to stop.
  virtual bool Saving(int percent, const std::string& caption) = 0;
  // Draws over a grabbed image before it is packed; false when nothing draws there.
  virtual bool Overlay(const ImageView& surface, int width, int height) = 0;
  // Overwrites a temporary file and removes it, with progress; false when it stays.
  virtual bool DeleteTempFile(const std::string& path) = 0;
  // Ends the recording to keep it, as the user's stop does.
  virtual void StopToKeep() = 0;
  // Ends the recording as a cancel does; the preview's end is shown unless it stays on or
  // `showPreviewEnd` is false.
  virtual void EndAsCancelled(bool showPreviewEnd) = 0;
  // A grabbed frame's pixels could not be read: the recording ends as Esc ends it.
  virtual void PixelsUnreadable(bool restoreAppOnStop) = 0;
};

// The compressor a recording uses, shared with the engine's properties.
struct CompressorChoice {
  Shared<std::uint32_t>& fcc;
  Shared<bool>& useDefault;
};

// What a recording needs of the program while it runs: the services, the region, the stop
// state, the shared state it publishes into, the temporary files and one sink for reports and
// events.
struct SessionContext {
  const Platform& platform;
  SharedRegion& region;
  Size desktop;
  const Shared<GrabSwitches>& grabSwitches;
  CompressorChoice compressor;
  StatisticsBoard& statistics;  // the statistics and the compressor's name, as published
  StopState& stop;
  Shared<bool>& screenLost;
  TStockAudioRecorder& recorder;
  KeptRecordings& kept;
  RecordingLock* lock;  // held from the start to the thread's end
  bool replaceOutput;
  SessionSink& sink;
};

}  // namespace orvenna
