#pragma once

#include <cstdint>
#include <vector>

#include "platform/Containers.h"
#include "platform/avi/AviFormat.h"
#include "platform/avi/StreamSource.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace orvenna::mux {

// Fills `parameters` for the recording's pictures in `container`: the codec of the
// compressor's code, the picture's size and the decoder's setup (the bytes after the bitmap
// header: a colour table, or the compressor's own; for H.264 and MPEG-4 pictures without them,
// taken from the first picture). AVIERR_UNSUPPORTED for pictures the container cannot carry,
// AVIERR_FILEREAD when the first picture cannot be read.
AviResult SetUpVideo(Container container, const avi::StreamSource& video,
                     AVCodecParameters& parameters);
// Fills `parameters` for PCM sound as it is stored. AVIERR_UNSUPPORTED for anything but
// 8-, 16-, 24- or 32-bit integer PCM.
AviResult SetUpPcm(const avi::WaveFormat& wave, AVCodecParameters& parameters);

}  // namespace orvenna::mux
