#include "platform/codec/ZmbvDriver.h"

#include <array>

#include "platform/codec/DibFrameConverter.h"
#include "platform/codec/OwnCoderEncoder.h"
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

class ZmbvEncoder : public OwnCoderEncoder {
 public:
  // 24-bit frames are coded as 32-bit pictures.
  ZmbvEncoder(const BitmapInfoHeader& input, std::span<const RgbQuad> colours,
              const EncoderSettings& settings, int level)
      : OwnCoderEncoder(input, kHandler, input.bitCount == 24 ? 32 : input.bitCount,
                        settings.keyFrameEvery),
        coder_(input.width, input.height, input.bitCount, colours, level) {}

  bool Ready() const { return coder_.Ready(); }

 private:
  bool Code(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out) override {
    return coder_.Code(pixels, keyFrame, out);
  }

  ZmbvCoder coder_;
};

}  // namespace

ICINFO ZmbvDriver::Info() const {
  return MakeCompressorInfo(kHandler, VIDCF_TEMPORAL, kVersion, kShortName, kDescription,
                            "orvenna zmbv");
}

Result ZmbvDriver::Accepts(const BitmapInfoHeader& input) {
  return PackedFrameFormat(input);
}

void ZmbvDriver::About(Shell& shell, WindowHandle parent) {
  shell.ShowInformation(parent, std::string("About ") + kShortName,
                        std::string(kDescription) +
                            "\n\nLossless: blocks of 16 x 16 pixels that changed since the "
                            "previous frame, deflated with zlib " +
                            zlibVersion() + ".");
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
