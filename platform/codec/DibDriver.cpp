#include "platform/codec/DibDriver.h"

#include <algorithm>
#include <cstring>

#include "platform/codec/DibFrameConverter.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kHandler = FourCC('D', 'I', 'B', ' ');
constexpr std::uint32_t kVersion = 0x00010000;
constexpr const char* kShortName = "Uncompressed";
constexpr const char* kDescription = "Uncompressed - Full Frames (no compression)";

class DibEncoder : public FrameEncoder {
 public:
  DibEncoder(const BitmapInfoHeader& input, std::span<const RgbQuad> colours)
      : imageBytes_(DibRowBytes(input.width, input.bitCount) *
                    static_cast<std::uint64_t>(input.height)) {
    BitmapInfoHeader header;
    header.width = input.width;
    header.height = input.height;
    header.bitCount = input.bitCount;
    header.sizeImage = static_cast<std::uint32_t>(imageBytes_);
    const std::size_t entries = DibTableBytes(input.bitCount) / sizeof(RgbQuad);
    header.clrUsed = static_cast<std::uint32_t>(entries);
    format_.resize(sizeof header + entries * sizeof(RgbQuad));
    std::memcpy(format_.data(), &header, sizeof header);
    std::memcpy(format_.data() + sizeof header, colours.data(),
                std::min(entries, colours.size()) * sizeof(RgbQuad));
  }

  const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }

  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
    if (Result checked = CheckFrame(pixels, size, imageBytes_); !checked) return checked;
    out.data.assign(pixels, pixels + imageBytes_);
    out.keyFrame = true;
    return Result::Ok();
  }

 private:
  std::size_t imageBytes_;
  std::vector<std::uint8_t> format_;
};

}  // namespace

std::unique_ptr<FrameEncoder> NewDibEncoder(const BitmapInfoHeader& input,
                                            std::span<const RgbQuad> colours) {
  if (!IsPackedFrameFormat(input)) return nullptr;
  return std::make_unique<DibEncoder>(input, colours);
}

ICINFO DibDriver::Info() const {
  return MakeCompressorInfo(kHandler, 0, kVersion, kShortName, kDescription, "orvenna dib");
}

Result DibDriver::Accepts(const BitmapInfoHeader& input) {
  return PackedFrameFormat(input);
}

void DibDriver::About(Shell& shell, WindowHandle parent) {
  shell.ShowInformation(
      parent, std::string("About ") + kShortName,
      std::string(kDescription) + "\n\nFrames are stored exactly as they are captured.");
}

std::unique_ptr<FrameEncoder> DibDriver::NewEncoder(const BitmapInfoHeader& input,
                                                    std::span<const RgbQuad> colours,
                                                    const EncoderSettings&) {
  return NewDibEncoder(input, colours);
}

}  // namespace orvenna
