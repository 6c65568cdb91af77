#include "platform/codec/ZmbvDriver.h"

#include <array>
#include <cstring>

#include "platform/codec/DibFrameConverter.h"
#include "platform/codec/ZmbvCoder.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kHandler = FourCC('Z', 'M', 'B', 'V');
constexpr std::uint32_t kVersion = 0x00010000;
constexpr const char* kShortName = "ZMBV";
constexpr const char* kDescription = "ZMBV - Zip Motion Blocks Video";

struct LevelChoice {
  const char* label;
  int level;
};
// The first keeps up with full-HD screens on two cores.
constexpr std::array<LevelChoice, 3> kLevels{{
    {"Fastest (light deflate)", 1},
    {"Balanced", 6},
    {"Smallest (strongest deflate)", 9},
}};

class ZmbvEncoder : public FrameEncoder {
 public:
  ZmbvEncoder(const BitmapInfoHeader& input, std::span<const RgbQuad> colours,
              const EncoderSettings& settings, int level)
      : coder_(input.width, input.height, input.bitCount, colours, level),
        inputBytes_(DibRowBytes(input.width, input.bitCount) *
                    static_cast<std::uint64_t>(input.height)),
        keyFrames_(settings.keyFrameEvery) {
    BitmapInfoHeader header;
    header.width = input.width;
    header.height = input.height;
    header.bitCount = static_cast<std::uint16_t>(input.bitCount == 24 ? 32 : input.bitCount);
    header.compression = kHandler;
    header.sizeImage = static_cast<std::uint32_t>(DibRowBytes(input.width, header.bitCount) *
                                                  static_cast<std::uint64_t>(input.height));
    format_.resize(sizeof header);
    std::memcpy(format_.data(), &header, sizeof header);
  }

  bool Ready() const { return coder_.Ready(); }
  const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }

  bool Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
    if (!pixels || size < inputBytes_) return false;
    out.keyFrame = keyFrames_.Next();
    return coder_.Code(pixels, out.keyFrame, out.data);
  }

 private:
  ZmbvCoder coder_;
  std::size_t inputBytes_;
  KeyFrameCounter keyFrames_;
  std::vector<std::uint8_t> format_;
};

}  // namespace

ICINFO ZmbvDriver::Info() const {
  return MakeCompressorInfo(kHandler, VIDCF_TEMPORAL, kVersion, kShortName, kDescription,
                            "orvenna zmbv");
}

long ZmbvDriver::CompressQuery(const BitmapInfoHeader& input) {
  return IsPackedFrameFormat(input) ? ICERR_OK : ICERR_BADFORMAT;
}

void ZmbvDriver::About(Shell& shell, WindowHandle parent) {
  shell.ShowInformation(parent, std::string("About ") + kShortName,
                        std::string(kDescription) +
                            "\n\nLossless: blocks of 16 x 16 pixels that changed since the "
                            "previous frame, deflated with zlib " + zlibVersion() + ".");
}

void ZmbvDriver::Configure(Shell& shell, WindowHandle parent) {
  std::vector<std::string> labels;
  for (const LevelChoice& choice : kLevels) labels.push_back(choice.label);
  ChooseConfiguration(shell, parent, kShortName, "Compression:", labels, choice_);
}

std::unique_ptr<FrameEncoder> ZmbvDriver::NewEncoder(const BitmapInfoHeader& input,
                                                     std::span<const RgbQuad> colours,
                                                     const EncoderSettings& settings) {
  if (!IsPackedFrameFormat(input)) return nullptr;
  auto encoder = std::make_unique<ZmbvEncoder>(
      input, colours, settings, kLevels[static_cast<std::size_t>(choice_.load())].level);
  if (!encoder->Ready()) return nullptr;
  return encoder;
}

}  // namespace orvenna
