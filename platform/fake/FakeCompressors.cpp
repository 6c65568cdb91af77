#include "platform/fake/FakeCompressors.h"

#include <cstring>

namespace orvenna {
namespace {

void CopyName(const std::string& text, char16_t* field, std::size_t capacity) {
  for (std::size_t i = 0; i < capacity && i < text.size(); ++i)
    field[i] = static_cast<char16_t>(text[i]);
}

class FakeCompressor final : public VideoCompressor {
 public:
  FakeCompressor(FakeCompressionManager& manager, const FakeCompressorBehaviour& behaviour)
      : manager_(manager), behaviour_(behaviour) {}

  long CompressQuery(const BitmapInfoHeader& input) override {
    return behaviour_.accepts(input) ? ICERR_OK : ICERR_BADFORMAT;
  }
  long QueryAbout() override { return behaviour_.hasAbout ? ICERR_OK : ICERR_UNSUPPORTED; }
  long QueryConfigure() override { return behaviour_.hasConfigure ? ICERR_OK : ICERR_UNSUPPORTED; }
  long About(WindowHandle) override {
    if (!behaviour_.hasAbout) return ICERR_UNSUPPORTED;
    manager_.dialogs.push_back("about " + behaviour_.name);
    return ICERR_OK;
  }
  long Configure(WindowHandle) override {
    if (!behaviour_.hasConfigure) return ICERR_UNSUPPORTED;
    manager_.dialogs.push_back("configure " + behaviour_.name);
    return ICERR_OK;
  }
  ICINFO GetInfo() override {
    ICINFO info;
    info.fccType = ICTYPE_VIDEO;
    info.fccHandler = behaviour_.fcc;
    CopyName(behaviour_.name, info.szName, 16);
    CopyName(behaviour_.description, info.szDescription, 128);
    CopyName("fake", info.szDriver, 128);
    return info;
  }

 private:
  FakeCompressionManager& manager_;
  const FakeCompressorBehaviour& behaviour_;
};

class CopyingEncoder final : public FrameEncoder {
 public:
  CopyingEncoder(const std::vector<std::uint8_t>& inputFormat,
                 const FakeCompressorBehaviour& behaviour)
      : format_(inputFormat), failAt_(behaviour.failEncodeAt) {
    BitmapInfoHeader header;
    std::memcpy(&header, format_.data(), sizeof header);
    frameSize_ = header.sizeImage;
  }
  const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }
  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
    if (calls_++ == failAt_) return Result::Failed("the fake compressor fails at this frame");
    if (size != frameSize_) return Result::Failed("a frame of the wrong size");
    out.data.assign(pixels, pixels + size);
    out.keyFrame = true;
    return Result::Ok();
  }

 private:
  std::vector<std::uint8_t> format_;
  int failAt_;
  int calls_ = 0;
  std::size_t frameSize_ = 0;
};

}  // namespace

FakeCompressorBehaviour* FakeCompressionManager::Find(std::uint32_t fcc) {
  for (auto& behaviour : behaviours_) {
    if (behaviour.fcc == fcc) return &behaviour;
  }
  return nullptr;
}

bool FakeCompressionManager::Info(std::uint32_t fccType, int index, ICINFO& info) {
  if (fccType != ICTYPE_VIDEO || index < 0 || index >= static_cast<int>(behaviours_.size()))
    return false;
  info = ICINFO{};
  info.fccType = ICTYPE_VIDEO;
  info.fccHandler = behaviours_[static_cast<std::size_t>(index)].fcc;
  return true;
}

std::unique_ptr<VideoCompressor> FakeCompressionManager::Open(std::uint32_t fccType,
                                                              std::uint32_t fccHandler, unsigned) {
  const FakeCompressorBehaviour* behaviour = Find(fccHandler);
  if (fccType != ICTYPE_VIDEO || !behaviour || !behaviour->opens) return nullptr;
  return std::make_unique<FakeCompressor>(*this, *behaviour);
}

std::unique_ptr<FrameEncoder> FakeCompressionManager::NewEncoder(
    std::uint32_t fccHandler, const std::vector<std::uint8_t>& inputFormat,
    const EncoderSettings&) {
  const FakeCompressorBehaviour* behaviour = Find(fccHandler);
  if (!behaviour || inputFormat.size() < sizeof(BitmapInfoHeader)) return nullptr;
  BitmapInfoHeader header;
  std::memcpy(&header, inputFormat.data(), sizeof header);
  if (!behaviour->accepts(header)) return nullptr;
  ++encoders;
  return std::make_unique<CopyingEncoder>(inputFormat, *behaviour);
}

}  // namespace orvenna
