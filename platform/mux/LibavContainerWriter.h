#pragma once

#include "platform/avi/ContainerWriter.h"

namespace orvenna {

// Matroska and MP4 files written with libavformat. The pictures are copied as they are; the
// sound is copied (Matroska) or encoded to AAC (MP4). An MP4 file has its index at the front,
// so that it plays while it downloads. Any thread; one save at a time per writer.
class LibavContainerWriter final : public ContainerWriter {
 public:
  AviResult SaveInto(Container container, File& output, const AVISAVECALLBACK& callback, int count,
                     PAVISTREAM* streams) override;
};

}  // namespace orvenna
