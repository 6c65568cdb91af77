#pragma once

#include <cstdint>
#include <memory>

#include "platform/Bitmap.h"
#include "platform/Image.h"

namespace orvenna {

// Converts 32-bit screen pixels into the pixel area of a packed frame: rows bottom-up, each
// padded to 4 bytes, at 8 bits (3-3-2 palette), 16 bits (5-5-5, top bit zero), 24 bits
// (blue, green, red) or 32 bits (blue, green, red, spare). Plain C++ with no state.
class DibConverter {
 public:
  // Writes source.height rows of DibRowBytes(source.width, bitsPerPixel) bytes to `pixels`.
  // False for another depth.
  static bool Convert(const ImageView& source, int bitsPerPixel, std::uint8_t* pixels);

  // The 256 colours that 8-bit pixels index.
  static void FillColourTable(RgbQuad (&table)[256]);
};

}  // namespace orvenna
