#include "platform/codec/CompressionManager.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvenna {
namespace {

// Version 1.10: 0x010A in the high word, as callers compare it.
constexpr std::uint32_t kVersion = 0x010A0000;

std::uint32_t LowerCase(std::uint32_t code) {
  std::uint32_t lower = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    std::uint32_t c = (code >> shift) & 0xFF;
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    lower |= c << shift;
  }
  return lower;
}

// An open instance of a driver, in query or compress mode (both answer the same messages).
class DriverCompressor : public VideoCompressor {
 public:
  DriverCompressor(std::shared_ptr<CompressorDriver> driver, Shell& shell)
      : driver_(std::move(driver)), shell_(shell) {}

  long CompressQuery(const BitmapInfoHeader& input) override {
    return driver_->Accepts(input) ? ICERR_OK : ICERR_BADFORMAT;
  }
  long QueryAbout() override { return driver_->HasAbout() ? ICERR_OK : ICERR_UNSUPPORTED; }
  long QueryConfigure() override { return driver_->HasConfigure() ? ICERR_OK : ICERR_UNSUPPORTED; }
  long About(WindowHandle parent) override {
    if (!driver_->HasAbout()) return ICERR_UNSUPPORTED;
    driver_->About(shell_, parent);
    return ICERR_OK;
  }
  long Configure(WindowHandle parent) override {
    if (!driver_->HasConfigure()) return ICERR_UNSUPPORTED;
    driver_->Configure(shell_, parent);
    return ICERR_OK;
  }
  ICINFO GetInfo() override { return driver_->Info(); }

 private:
  std::shared_ptr<CompressorDriver> driver_;
  Shell& shell_;
};

// An encoder that keeps its driver alive for as long as it encodes.
class DriverEncoder : public FrameEncoder {
 public:
  DriverEncoder(std::shared_ptr<CompressorDriver> driver, std::unique_ptr<FrameEncoder> encoder)
      : driver_(std::move(driver)), encoder_(std::move(encoder)) {}

  const std::vector<std::uint8_t>& OutputFormat() const override {
    return encoder_->OutputFormat();
  }
  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
    return encoder_->Encode(pixels, size, out);
  }
  bool Stages() const override { return encoder_->Stages(); }
  std::unique_ptr<StagedFrame> Stage(const PictureRows& picture) override {
    return encoder_->Stage(picture);
  }
  Result EncodeStaged(std::unique_ptr<StagedFrame> frame, EncodedFrame& out) override {
    return encoder_->EncodeStaged(std::move(frame), out);
  }
  FinishResult Finish(EncodedFrame& out) override { return encoder_->Finish(out); }

 private:
  std::shared_ptr<CompressorDriver> driver_;
  std::unique_ptr<FrameEncoder> encoder_;
};

}  // namespace

CompressionManager::CompressionManager(Shell& shell) : shell_(shell) {}

bool CompressionManager::RegisterDriver(std::unique_ptr<CompressorDriver> driver) {
  const std::uint32_t handler = driver->Info().fccHandler;
  std::lock_guard lock(mutex_);
  for (const auto& known : drivers_) {
    if (LowerCase(known.handler) == LowerCase(handler)) return false;
  }
  drivers_.push_back({handler, std::move(driver)});
  return true;
}

bool CompressionManager::Info(std::uint32_t fccType, int index, ICINFO& info) {
  if (fccType != ICTYPE_VIDEO || index < 0) return false;
  std::lock_guard lock(mutex_);
  if (static_cast<std::size_t>(index) >= drivers_.size()) return false;
  info = ICINFO{};
  info.fccType = ICTYPE_VIDEO;
  info.fccHandler = drivers_[static_cast<std::size_t>(index)].handler;
  return true;
}

std::unique_ptr<VideoCompressor> CompressionManager::Open(std::uint32_t fccType,
                                                          std::uint32_t fccHandler, unsigned mode) {
  if (fccType != ICTYPE_VIDEO || (mode != ICMODE_COMPRESS && mode != ICMODE_QUERY)) {
    return nullptr;
  }
  auto driver = Find(fccHandler);
  if (!driver) return nullptr;
  return std::make_unique<DriverCompressor>(std::move(driver), shell_);
}

std::unique_ptr<FrameEncoder> CompressionManager::NewEncoder(
    std::uint32_t fccHandler, const std::vector<std::uint8_t>& inputFormat,
    const EncoderSettings& settings) {
  auto driver = Find(fccHandler);
  if (!driver || inputFormat.size() < sizeof(BitmapInfoHeader)) return nullptr;
  BitmapInfoHeader header;
  std::memcpy(&header, inputFormat.data(), sizeof header);

  // The colour table follows the header at 8 bits per pixel and below; entries it does not
  // hold stay black.
  std::array<RgbQuad, 256> colours{};
  if (header.bitCount <= 8) {
    if (header.size < sizeof header || header.size > inputFormat.size()) return nullptr;
    const std::size_t available = (inputFormat.size() - header.size) / sizeof(RgbQuad);
    const std::size_t count = std::min(available, colours.size());
    std::memcpy(colours.data(), inputFormat.data() + header.size, count * sizeof(RgbQuad));
  }
  auto encoder = driver->NewEncoder(header, colours, settings);
  if (!encoder) return nullptr;
  return std::make_unique<DriverEncoder>(std::move(driver), std::move(encoder));
}

std::uint32_t CompressionManager::Version() const {
  return kVersion;
}

std::shared_ptr<CompressorDriver> CompressionManager::Find(std::uint32_t handler) const {
  std::lock_guard lock(mutex_);
  for (const auto& entry : drivers_) {
    if (LowerCase(entry.handler) == LowerCase(handler)) return entry.driver;
  }
  return nullptr;
}

}  // namespace orvenna
