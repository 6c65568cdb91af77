#pragma once

#include <memory>

#include "platform/avi/RiffReader.h"
#include "platform/avi/StreamSource.h"

namespace orvenna::avi {

// Reads the streams of a 'RIFF AVI ' file (`riff`: its first chunk), the OpenDML 'AVIX'
// extensions included. The samples come from the 'indx' super indexes, else 'idx1', else a
// walk through the movi lists.
AviResult ReadAviStreams(const std::shared_ptr<File>& file, RiffReader& reader,
                         const ChunkRef& riff, StreamSources& streams);

}  // namespace orvenna::avi
