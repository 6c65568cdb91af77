#include "platform/codec/MsVideo1Driver.h"

#include <cmath>

#include "platform/codec/DibFrameConverter.h"
#include "platform/codec/MsVideo1Coder.h"
#include "platform/codec/OwnCoderEncoder.h"
#include "platform/codec/QualityMapping.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kHandler = FourCC('M', 'S', 'V', 'C');
constexpr std::uint32_t kVersion = 0x00010000;
constexpr const char* kShortName = "MS Video 1";
constexpr const char* kDescription = "MS Video 1 - Microsoft Video 1 (15-bit colour)";
constexpr int kCodedBits = 16;

bool Storable(const BitmapInfoHeader& input) {
  return IsPackedFrameFormat(input) && MsVideo1Coder::Accepts(input.width, input.height);
}

class MsVideo1Encoder : public OwnCoderEncoder {
 public:
  MsVideo1Encoder(const BitmapInfoHeader& input, std::span<const RgbQuad> colours,
                  const EncoderSettings& settings)
      : OwnCoderEncoder(input, kHandler, kCodedBits, settings.keyFrameEvery),
        coder_(input.width, input.height, input.bitCount, colours,
               static_cast<int>(
                   std::lround(QuantiserForQuality(settings.quality, kMsVideo1BytePenalty)))) {}

 private:
  bool Code(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out) override {
    coder_.Code(pixels, keyFrame, out);
    return true;
  }

  MsVideo1Coder coder_;
};

}  // namespace

ICINFO MsVideo1Driver::Info() const {
  return MakeCompressorInfo(kHandler, VIDCF_QUALITY | VIDCF_TEMPORAL, kVersion, kShortName,
                            kDescription, "orvenna msvideo1");
}

Result MsVideo1Driver::Accepts(const BitmapInfoHeader& input) {
  if (Result packed = PackedFrameFormat(input); !packed) return packed;
  if (Storable(input)) return Result::Ok();
  return Result::Failed("MS Video 1 does not code pictures of " + std::to_string(input.width) +
                        " x " + std::to_string(input.height) + " pixels");
}

void MsVideo1Driver::About(Shell& shell, WindowHandle parent) {
  shell.ShowInformation(parent, std::string("About ") + kShortName,
                        std::string(kDescription) +
                            "\n\nPictures of 4 x 4 blocks in 15-bit colour; frames between key "
                            "frames keep the blocks that did not change.");
}

std::unique_ptr<FrameEncoder> MsVideo1Driver::NewEncoder(const BitmapInfoHeader& input,
                                                         std::span<const RgbQuad> colours,
                                                         const EncoderSettings& settings) {
  if (!Storable(input)) return nullptr;
  return std::make_unique<MsVideo1Encoder>(input, colours, settings);
}

}  // namespace orvenna
