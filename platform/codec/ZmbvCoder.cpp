#include "platform/codec/ZmbvCoder.h"

#include <algorithm>
#include <cstring>

namespace orvenna {
namespace {

constexpr int kBlockSide = 16;
constexpr std::uint8_t kKeyFrameFlag = 1;
// Key frame header after the flags: version 0.1, deflate, picture format, block size.
constexpr std::uint8_t kMajorVersion = 0;
constexpr std::uint8_t kMinorVersion = 1;
constexpr std::uint8_t kDeflated = 1;
constexpr std::size_t kKeyHeaderBytes = 7;
constexpr std::size_t kPaletteBytes = 256 * 3;

// The picture format codes of the header.
std::uint8_t FormatCode(int bitCount) {
  switch (bitCount) {
    case 8:
      return 4;
    case 16:
      return 5;  // 5-5-5
    default:
      return 8;  // 32 bits; 24-bit frames widen to it
  }
}

int CodedPixelBytes(int bitCount) {
  return bitCount == 8 ? 1 : bitCount == 16 ? 2 : 4;
}

int Blocks(int side) {
  return (side + kBlockSide - 1) / kBlockSide;
}

}  // namespace

ZmbvCoder::ZmbvCoder(int width, int height, int bitCount, std::span<const RgbQuad> colours,
                     int level)
    : width_(width),
      height_(height),
      bitCount_(bitCount),
      pixelBytes_(CodedPixelBytes(bitCount)),
      inputRowBytes_(DibRowBytes(width, bitCount)),
      colours_(256),
      current_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
               static_cast<std::size_t>(pixelBytes_)),
      previous_(current_.size()) {
  std::copy_n(colours.begin(), std::min<std::size_t>(colours.size(), colours_.size()),
              colours_.begin());
  data_.reserve(current_.size() + kPaletteBytes);
  ready_ = deflateInit(&stream_, std::clamp(level, 1, 9)) == Z_OK;
}

ZmbvCoder::~ZmbvCoder() {
  if (ready_) deflateEnd(&stream_);
}

bool ZmbvCoder::Code(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out) {
  if (!ready_) return false;
  Convert(pixels);
  out.clear();
  if (keyFrame) {
    if (deflateReset(&stream_) != Z_OK) return false;
    out = {kKeyFrameFlag,         kMajorVersion, kMinorVersion, kDeflated,
           FormatCode(bitCount_), kBlockSide,    kBlockSide};
    data_.clear();
    if (bitCount_ == 8) {
      for (const RgbQuad& colour : colours_)
        data_.insert(data_.end(), {colour.red, colour.green, colour.blue});
    }
    data_.insert(data_.end(), current_.begin(), current_.end());
  } else {
    out = {0};
    Differences();
  }
  std::swap(current_, previous_);
  return Deflate(out);
}

void ZmbvCoder::Convert(const std::uint8_t* pixels) {
  const std::size_t rowBytes =
      static_cast<std::size_t>(width_) * static_cast<std::size_t>(pixelBytes_);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* in = pixels + static_cast<std::size_t>(height_ - 1 - y) * inputRowBytes_;
    std::uint8_t* row = current_.data() + static_cast<std::size_t>(y) * rowBytes;
    if (bitCount_ != 24) {
      std::memcpy(row, in, rowBytes);
      continue;
    }
    for (int x = 0; x < width_; ++x, in += 3, row += 4) {
      row[0] = in[0], row[1] = in[1], row[2] = in[2], row[3] = 0;
    }
  }
}

void ZmbvCoder::Differences() {
  const int blocksAcross = Blocks(width_);
  const std::size_t vectorBytes =
      (static_cast<std::size_t>(blocksAcross) * static_cast<std::size_t>(Blocks(height_)) * 2 + 3) &
      ~std::size_t{3};
  // Every block keeps its place (no motion); the low bit of a block's first vector byte
  // says that its difference follows.
  data_.assign(vectorBytes, 0);
  const std::size_t rowBytes =
      static_cast<std::size_t>(width_) * static_cast<std::size_t>(pixelBytes_);
  std::size_t block = 0;
  for (int top = 0; top < height_; top += kBlockSide) {
    const int rows = std::min(kBlockSide, height_ - top);
    for (int left = 0; left < width_; left += kBlockSide, ++block) {
      const std::size_t bytes =
          static_cast<std::size_t>(std::min(kBlockSide, width_ - left) * pixelBytes_);
      const std::size_t start =
          static_cast<std::size_t>(top) * rowBytes + static_cast<std::size_t>(left * pixelBytes_);
      bool changed = false;
      for (int y = 0; y < rows && !changed; ++y) {
        const std::size_t at = start + static_cast<std::size_t>(y) * rowBytes;
        changed = std::memcmp(current_.data() + at, previous_.data() + at, bytes) != 0;
      }
      if (!changed) continue;
      data_[2 * block] = 1;
      for (int y = 0; y < rows; ++y) {
        const std::size_t at = start + static_cast<std::size_t>(y) * rowBytes;
        const std::size_t end = data_.size();
        data_.resize(end + bytes);
        for (std::size_t i = 0; i < bytes; ++i)
          data_[end + i] = current_[at + i] ^ previous_[at + i];
      }
    }
  }
}

bool ZmbvCoder::Deflate(std::vector<std::uint8_t>& out) {
  const std::size_t header = out.size();
  out.resize(header + deflateBound(&stream_, static_cast<uLong>(data_.size())) + 16);
  stream_.next_in = data_.data();
  stream_.avail_in = static_cast<uInt>(data_.size());
  stream_.next_out = out.data() + header;
  stream_.avail_out = static_cast<uInt>(out.size() - header);
  while (true) {
    if (deflate(&stream_, Z_SYNC_FLUSH) != Z_OK) return false;
    if (stream_.avail_out > 0) break;
    // Out of room (the bound is for a finished stream, not a flushed one): grow and go on.
    const std::size_t written = out.size();
    out.resize(written * 2);
    stream_.next_out = out.data() + written;
    stream_.avail_out = static_cast<uInt>(out.size() - written);
  }
  out.resize(out.size() - stream_.avail_out);
  return true;
}

}  // namespace orvenna
