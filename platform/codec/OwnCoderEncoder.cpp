#include "platform/codec/OwnCoderEncoder.h"

#include <cstring>

namespace orvenna {
namespace {

constexpr std::uint32_t kDefaultKeyFrameEvery = 100;

}  // namespace

OwnCoderEncoder::OwnCoderEncoder(const BitmapInfoHeader& input, std::uint32_t handler,
                                 int codedBits, std::uint32_t keyFrameEvery)
    : inputBytes_(DibRowBytes(input.width, input.bitCount) *
                  static_cast<std::uint64_t>(input.height)),
      keyFrameEvery_(keyFrameEvery ? keyFrameEvery : kDefaultKeyFrameEvery) {
  BitmapInfoHeader header;
  header.width = input.width;
  header.height = input.height;
  header.bitCount = static_cast<std::uint16_t>(codedBits);
  header.compression = handler;
  header.sizeImage = static_cast<std::uint32_t>(DibRowBytes(input.width, codedBits) *
                                                static_cast<std::uint64_t>(input.height));
  format_.resize(sizeof header);
  std::memcpy(format_.data(), &header, sizeof header);
}

Result OwnCoderEncoder::Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) {
  if (Result checked = CheckFrame(pixels, size, inputBytes_); !checked) return checked;
  out.keyFrame = frames_++ % keyFrameEvery_ == 0;
  if (Code(pixels, out.keyFrame, out.data)) return Result::Ok();
  return Result::Failed("the frame could not be coded");
}

}  // namespace orvenna
