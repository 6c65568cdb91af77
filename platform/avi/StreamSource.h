#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Files.h"
#include "platform/avi/Avi.h"

namespace orvenna::avi {

// Where the data of one sample chunk lies in a file.
struct SampleExtent {
  std::uint64_t offset = 0;  // of the data, after the chunk header
  std::uint32_t size = 0;
  bool keyFrame = false;
};

// A stream read from a file: its header (the length counted from the data actually found),
// its format and where its data lies: for video one extent per position, empty ones included;
// for audio the data in playing order. Built once, then only read; it keeps the file open.
// One thread at a time (reads share the file's offset-free ReadAt).
struct StreamSource {
  AVISTREAMINFOA info;
  std::vector<std::uint8_t> format;
  std::vector<SampleExtent> samples;
  std::shared_ptr<File> file;
};

using StreamSources = std::vector<std::shared_ptr<const StreamSource>>;

// Reads every stream of an AVI file, or the audio stream of a RIFF WAVE file. AVIERR_FILEREAD
// when the file refuses a read, AVIERR_BADFORMAT for anything that is not such a file.
AviResult ReadStreams(const std::shared_ptr<File>& file, StreamSources& streams);

}  // namespace orvenna::avi
