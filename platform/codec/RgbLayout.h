#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "platform/VideoCompression.h"

struct AVFrame;

namespace orvenna {

// Whether RearrangeRgb makes `target`: packed red, green, blue (RGB24), blue, green, red and a
// spare byte (BGR0), or planes of green, blue and red (GBRP).
bool IsRgbLayout(AVPixelFormat target);

// Copies a `width` x `height` picture into `frame` (of one of those formats, its buffers
// writable), every channel as it is. The spare byte of 32-bit pixels is copied along into
// BGR0 frames, and 0 there for 24-bit pixels. Any thread.
void RearrangeRgb(const PictureRows& picture, int width, int height, AVFrame& frame);

}  // namespace orvenna
