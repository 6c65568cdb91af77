#pragma once

#include "platform/AudioConverter.h"
#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "platform/Files.h"
#include "platform/HotKeys.h"
#include "platform/Mixer.h"
#include "platform/Screen.h"
#include "platform/Shell.h"
#include "platform/VideoCompression.h"
#include "platform/WaveIn.h"
#include "platform/Windows.h"

namespace orvenna {

class ContainerWriter;  // platform/avi/ContainerWriter.h

// Every platform service the engine uses, built once by a program's main() (or by a test)
// and handed to the engine, which keeps the references for its whole life.
struct Platform {
  Screen& screen;
  Cursor& cursor;
  HotKeys& hotKeys;
  Files& files;
  Clock& clock;
  Shell& shell;
  UiFactory& ui;
  VideoCompressionManager& codecs;
  WaveInDriver& waveIn;
  MixerDriver& mixer;
  AudioConverter& audioConverter;
  ContainerWriter& containers;
};

}  // namespace orvenna
