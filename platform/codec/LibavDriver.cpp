#include "platform/codec/LibavDriver.h"

#include "platform/RecordingDefaults.h"
#include "platform/codec/DibFrameConverter.h"
#include "platform/codec/EncoderContext.h"
#include "platform/codec/LibavEncoder.h"
#include "platform/codec/LibavLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvenna {
namespace {

// Settings of a probe: the front end's defaults.
constexpr EncoderSettings kProbeSettings{
    static_cast<std::uint32_t>(kFrontEndDefaults.compressionQuality), 0};

// Sizes and depths worth asking the encoder about; the limit on the cache only matters for
// a program that keeps asking about new sizes.
constexpr std::size_t kMaxCachedAnswers = 256;

std::string LibraryVersion() {
  const unsigned version = avcodec_version();
  return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
         std::to_string(version & 0xFF);
}

}  // namespace

std::unique_ptr<LibavDriver> LibavDriver::Create(LibavDriverDescription description) {
  const AVCodec* codec = avcodec_find_encoder_by_name(description.encoder.c_str());
  if (!codec) return nullptr;
  InstallLibavLog();
  return std::unique_ptr<LibavDriver>(new LibavDriver(std::move(description), *codec));
}

LibavDriver::LibavDriver(LibavDriverDescription description, const AVCodec& codec)
    : description_(std::move(description)), codec_(codec) {}

ICINFO LibavDriver::Info() const {
  std::uint32_t flags = description_.temporal ? VIDCF_TEMPORAL : 0;
  if (description_.quality != QualityControl::kNone) flags |= VIDCF_QUALITY;
  return MakeCompressorInfo(description_.handler, flags, avcodec_version(), description_.shortName,
                            description_.description, "libavcodec " + description_.encoder);
}

Result LibavDriver::Accepts(const BitmapInfoHeader& input) {
  if (Result packed = PackedFrameFormat(input); !packed) return packed;
  const AVPixelFormat format = TargetFormat(input.bitCount);
  const std::string refused = "the encoder " + std::string(codec_.name) + " does not open for " +
                              std::to_string(input.width) + " x " + std::to_string(input.height) +
                              " pixels at " + std::to_string(input.bitCount) + " bits per pixel";
  if (!DibFrameConverter::CanConvert(input.bitCount, format)) return Result::Failed(refused);

  const auto key = std::make_tuple(input.width, input.height, int{input.bitCount});
  {
    std::lock_guard lock(cacheMutex_);
    if (auto known = opens_.find(key); known != opens_.end()) {
      return known->second ? Result::Ok() : Result::Failed(refused);
    }
  }
  bool opens;
  {
    QuietLibavLog quiet;
    opens = OpenEncoderContext(codec_, description_, Choice(input.width, input.height), input.width,
                               input.height, format, kProbeSettings) != nullptr;
  }
  std::lock_guard lock(cacheMutex_);
  if (opens_.size() >= kMaxCachedAnswers) opens_.clear();
  opens_[key] = opens;
  return opens ? Result::Ok() : Result::Failed(refused);
}

void LibavDriver::About(Shell& shell, WindowHandle parent) {
  const char* longName = codec_.long_name ? codec_.long_name : codec_.name;
  shell.ShowInformation(parent, "About " + description_.shortName,
                        description_.description + "\n\nEncoder: " + longName +
                            "\nLibrary: libavcodec " + LibraryVersion());
}

void LibavDriver::Configure(Shell& shell, WindowHandle parent) {
  if (!HasConfigure()) return;
  std::vector<std::string> labels;
  for (const auto& choice : description_.choices) labels.push_back(choice.label);
  const int picked = choice_.load();
  std::atomic<int> choice(picked >= 0 ? picked : description_.defaultChoice);
  if (ChooseConfiguration(shell, parent, description_.shortName, description_.configurePrompt,
                          labels, choice)) {
    choice_.store(choice.load());
  }
}

std::unique_ptr<FrameEncoder> LibavDriver::NewEncoder(const BitmapInfoHeader& input,
                                                      std::span<const RgbQuad> colours,
                                                      const EncoderSettings& settings) {
  if (!IsPackedFrameFormat(input)) return nullptr;
  const AVPixelFormat format = TargetFormat(input.bitCount);
  if (!DibFrameConverter::CanConvert(input.bitCount, format)) return nullptr;
  auto context = OpenEncoderContext(codec_, description_, Choice(input.width, input.height),
                                    input.width, input.height, format, settings);
  if (!context) return nullptr;
  const int frameQuality = FrameQuality(*context, description_);
  return LibavEncoder::Create(std::move(context), description_.handler, input, colours,
                              description_.fullRangeYuv, frameQuality);
}

AVPixelFormat LibavDriver::TargetFormat(int bitsPerPixel) const {
  for (AVPixelFormat wanted :
       description_.formats[static_cast<std::size_t>(ColorsOfBitsPerPixel(bitsPerPixel))]) {
    if (!codec_.pix_fmts) return wanted;
    for (const AVPixelFormat* taken = codec_.pix_fmts; *taken != AV_PIX_FMT_NONE; ++taken) {
      if (*taken == wanted) return wanted;
    }
  }
  return AV_PIX_FMT_NONE;
}

const ConfigureChoice* LibavDriver::Choice(int width, int height) const {
  if (description_.choices.empty()) return nullptr;
  int choice = choice_.load();
  if (choice < 0) {
    choice = description_.defaultChoice;
    const long long pixels = static_cast<long long>(width) * height;
    for (const auto& large : description_.largeFrameChoices) {
      if (pixels > large.pixels) choice = large.choice;
    }
  }
  return &description_.choices[static_cast<std::size_t>(choice)];
}

}  // namespace orvenna

#if defined(__SANITIZE_ADDRESS__)
#define ORVENNA_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVENNA_LEAK_CHECKED 1
#endif
#endif

#ifdef ORVENNA_LEAK_CHECKED
// The leak checker's built-in suppressions: libavcodec's x264 wrapper does not release the
// encoder's parameter strings when x264 refuses to open (as it does for odd sizes), which a
// compress query provokes on purpose. Nothing of ours is hidden by this.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libx264.so\n";
}
#endif
