#pragma once

#include <cstddef>
#include <cstdint>

namespace orvenna {

// A view of 32-bit pixels, rows top-down, bytes blue, green, red, spare per pixel.
// The view does not own the pixels; whoever hands it out says how long they stay valid.
struct ImageView {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // bytes from one row to the next

  std::uint8_t* Row(int y) const { return pixels + stride * y; }
  std::uint32_t& Pixel(int x, int y) const { return reinterpret_cast<std::uint32_t*>(Row(y))[x]; }
};

}  // namespace orvenna
