#include "engine/CompressorFit.h"

#include "engine/PackedFrame.h"

namespace orvenna {
namespace {

// A size rounded to a multiple of `divisor`: up, unless that passes the desktop's size.
int RoundedSize(int size, int divisor, int desktop) {
  const int remainder = size % divisor;
  if (remainder <= 0) return size;
  return size + divisor - remainder > desktop ? size - remainder : size + divisor - remainder;
}

}  // namespace

FrameFormat::FrameFormat(Size size, int bitsPerPixel)
    : bytes_(sizeof(BitmapInfoHeader) + (bitsPerPixel == 8 ? 256 * sizeof(RgbQuad) : 0)) {
  PackedFrame::WriteFormat(bytes_.data(), size.width, size.height, bitsPerPixel);
}

CompressorFit FitToCompressor(VideoCompressor& compressor, Size size, int bitsPerPixel,
                              Size desktop) {
  CompressorFit fit{1, size};
  while (compressor.CompressQuery(FrameFormat(fit.size, bitsPerPixel).Header()) != ICERR_OK) {
    if (fit.divisor == 8) {
      fit.divisor = 0;
      break;
    }
    fit.divisor *= 2;
    fit.size = Size{RoundedSize(size.width, fit.divisor, desktop.width),
                    RoundedSize(size.height, fit.divisor, desktop.height)};
  }
  return fit;
}

std::string RoundedSizeNote(const CompressorFit& fit, Size region, const std::string& compressor) {
  if (fit.divisor < 2 || fit.size == region) return "";
  return compressor + " takes only sizes in multiples of " + std::to_string(fit.divisor) +
         ": the " + std::to_string(region.width) + " x " + std::to_string(region.height) +
         " region is recorded at " + std::to_string(fit.size.width) + " x " +
         std::to_string(fit.size.height) + ".";
}

}  // namespace orvenna
