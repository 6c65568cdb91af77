#pragma once

#include "platform/Containers.h"
#include "platform/Files.h"
#include "platform/avi/Avi.h"

namespace orvenna {

// Saves streams read from files by the AVI library (a video stream, then an optional audio
// stream) into any kind of file a recording is saved as. A program's start provides the
// writer; AVI files it leaves to the AVI library (AVISaveInto).
class ContainerWriter {
 public:
  virtual ~ContainerWriter() = default;

  // Writes a file of the kind `container` into `output` (a new, empty file) and flushes it to the
  // disk, with the contract of AVISaveInto: the pictures are copied as they are; video sample n
  // plays at n * dwScale / dwRate seconds, an empty sample leaves the picture before it on the
  // screen; the sound starts with the first sample. The callback hears 0, growing percentages and
  // 100; a non-zero answer stops the save with AVIERR_USERABORT, leaving a complete file of what
  // was copied. AVIERR_UNSUPPORTED for streams the container cannot carry, AVIERR_DISKFULL
  // when the disk ran out of room. Worker thread; one save at a time.
  virtual AviResult SaveInto(Container container, File& output, const AVISAVECALLBACK& callback,
                             int count, PAVISTREAM* streams) = 0;
};

}  // namespace orvenna
