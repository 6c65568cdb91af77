#pragma once

#include <cstdint>
#include <memory>

#include "platform/Bitmap.h"
#include "platform/Image.h"

namespace orvenna {

// Converts 32-bit screen pixels into the pixel area of a packed frame: rows bottom-up, each
// padded to 4 bytes, at 8 bits (3-3-2 palette), 16 bits (5-5-5, top bit zero), 24 bits
// (blue, green, red) or 32 bits (blue, green, red, spare). Keeps its conversion state between
// calls of the same size and depth, so one converter should serve one thread.
class DibConverter {
 public:
  DibConverter();
  ~DibConverter();
  DibConverter(const DibConverter&) = delete;
  DibConverter& operator=(const DibConverter&) = delete;

  // Writes source.height rows of DibRowBytes(source.width, bitsPerPixel) bytes to `pixels`.
  // False for another depth or when the conversion cannot be set up.
  bool Convert(const ImageView& source, int bitsPerPixel, std::uint8_t* pixels);

  // The 256 colours that 8-bit pixels index.
  static void FillColourTable(RgbQuad (&table)[256]);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvenna
