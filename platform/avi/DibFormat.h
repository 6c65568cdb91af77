#pragma once

#include <cstdint>
#include <span>

#include "platform/VideoCompression.h"

namespace orvenna::avi {

// True when `format` starts with a bitmap information header of positive width and non-zero
// height: the least a video stream's format must be.
bool IsVideoFormat(std::span<const std::uint8_t> format);

// The bytes of one frame's pixel area when `format` is an uncompressed bitmap format that
// can be written as it is (1 to 32 bits per pixel, its colour table present); 0 otherwise.
std::uint64_t UncompressedImageSize(std::span<const std::uint8_t> format);

// The rows of the pixel area `pixels` of an uncompressed bitmap format: bottom-up, or top-down
// for a negative height.
PictureRows PackedFrameRows(std::span<const std::uint8_t> format, const std::uint8_t* pixels);

}  // namespace orvenna::avi
