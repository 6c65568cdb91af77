#include "platform/codec/TestDrivers.h"

#include "platform/codec/DibDriver.h"
#include "platform/codec/DibFrameConverter.h"

namespace orvenna {
namespace {

// Passes frames through until the scripted frame, then fails every time.
class TestEncoder : public FrameEncoder {
 public:
  TestEncoder(std::unique_ptr<FrameEncoder> frames, int failFromFrame,
              std::shared_ptr<TestDriverLog> log)
      : frames_(std::move(frames)), failFromFrame_(failFromFrame), log_(std::move(log)) {}

  const std::vector<std::uint8_t>& OutputFormat() const override { return frames_->OutputFormat(); }
  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
    if (failFromFrame_ >= 0 && next_++ >= failFromFrame_)
      return Result::Failed("the test driver fails from frame " + std::to_string(failFromFrame_));
    Result encoded = frames_->Encode(pixels, size, out);
    if (encoded) ++log_->frames;
    return encoded;
  }
  FinishResult Finish(EncodedFrame& out) override { return frames_->Finish(out); }

 private:
  std::unique_ptr<FrameEncoder> frames_;
  const int failFromFrame_;
  int next_ = 0;
  std::shared_ptr<TestDriverLog> log_;
};

}  // namespace

TestDriver::TestDriver(TestDriverBehaviour behaviour) : behaviour_(std::move(behaviour)) {}

ICINFO TestDriver::Info() const {
  return MakeCompressorInfo(behaviour_.handler, 0, 1, behaviour_.shortName, behaviour_.description,
                            "orvenna test driver");
}

Result TestDriver::Accepts(const BitmapInfoHeader& input) {
  ++log_->queries;
  if (Result packed = PackedFrameFormat(input); !packed) return packed;
  if (behaviour_.accepts(input)) return Result::Ok();
  return Result::Failed("the test driver refuses this format");
}

void TestDriver::About(Shell&, WindowHandle parent) {
  ++log_->abouts;
  log_->lastParent = parent;
}

void TestDriver::Configure(Shell&, WindowHandle parent) {
  ++log_->configures;
  log_->lastParent = parent;
}

std::unique_ptr<FrameEncoder> TestDriver::NewEncoder(const BitmapInfoHeader& input,
                                                     std::span<const RgbQuad> colours,
                                                     const EncoderSettings& settings) {
  if (!Accepts(input)) return nullptr;
  auto frames = NewDibEncoder(input, colours);
  if (!frames) return nullptr;
  ++log_->encoders;
  log_->quality = settings.quality;
  log_->keyFrameEvery = settings.keyFrameEvery;
  return std::make_unique<TestEncoder>(std::move(frames), behaviour_.failFromFrame, log_);
}

std::unique_ptr<TestDriver> MakeEvenSizeDriver(std::uint32_t handler) {
  TestDriverBehaviour behaviour;
  behaviour.handler = handler;
  behaviour.shortName = "Even sizes";
  behaviour.description = "Even sizes - test compressor for even widths and heights";
  behaviour.accepts = [](const BitmapInfoHeader& input) {
    return input.width % 2 == 0 && input.height % 2 == 0;
  };
  return std::make_unique<TestDriver>(std::move(behaviour));
}

std::unique_ptr<TestDriver> MakeRefusingDriver(std::uint32_t handler) {
  TestDriverBehaviour behaviour;
  behaviour.handler = handler;
  behaviour.shortName = "Refuses all";
  behaviour.description = "Refuses all - test compressor that accepts nothing";
  behaviour.accepts = [](const BitmapInfoHeader&) { return false; };
  return std::make_unique<TestDriver>(std::move(behaviour));
}

std::unique_ptr<TestDriver> MakeFailingDriver(std::uint32_t handler, int failFromFrame) {
  TestDriverBehaviour behaviour;
  behaviour.handler = handler;
  behaviour.shortName = "Fails to write";
  behaviour.description = "Fails to write - test compressor whose encoding fails";
  behaviour.failFromFrame = failFromFrame;
  return std::make_unique<TestDriver>(std::move(behaviour));
}

}  // namespace orvenna
