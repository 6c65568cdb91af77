#pragma once

#include <memory>

#include "platform/avi/AviFormat.h"
#include "platform/avi/RiffReader.h"
#include "platform/avi/StreamSource.h"

namespace orvenna::avi {

// True when the format describes audio that can be cut into blocks: channels, rate, block
// size and byte rate set, and for PCM and float samples consistent with each other.
bool IsUsableWaveFormat(const WaveFormat& format);

// Reads the audio stream of a 'RIFF WAVE' file (`riff`: its first chunk): its 'fmt ' and
// 'data' chunks.
AviResult ReadWaveStream(const std::shared_ptr<File>& file, RiffReader& reader,
                         const ChunkRef& riff, StreamSources& streams);

}  // namespace orvenna::avi
