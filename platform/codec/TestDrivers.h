#pragma once

// Compressor drivers with scripted behaviour, for tests of whatever uses a compression
// manager. Register them with CompressionManager::RegisterDriver.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/codec/CompressorDriver.h"

namespace orvenna {

// What a test driver was asked to do. Shared between the driver (owned by a manager) and
// the test. Any thread.
struct TestDriverLog {
  std::atomic<int> queries{0};                    // compress queries answered
  std::atomic<int> encoders{0};                   // encoders handed out
  std::atomic<int> frames{0};                     // frames encoded successfully
  std::atomic<int> abouts{0};                     // about boxes shown
  std::atomic<int> configures{0};                 // configuration dialogs shown
  std::atomic<WindowHandle> lastParent{nullptr};  // owner of the latest dialog
  // Settings of the latest encoder.
  std::atomic<std::uint32_t> quality{0};
  std::atomic<std::uint32_t> keyFrameEvery{0};
};

// How a test driver behaves.
struct TestDriverBehaviour {
  std::uint32_t handler = FourCC('T', 'E', 'S', 'T');
  std::string shortName = "Test";
  std::string description = "Test - scripted test compressor";
  // Packed frame formats the driver accepts (others it always refuses).
  std::function<bool(const BitmapInfoHeader&)> accepts = [](const BitmapInfoHeader&) {
    return true;
  };
  int failFromFrame = -1;  // each encoder fails from this frame (0: the first) on; -1: never
  bool hasAbout = true;
  bool hasConfigure = true;
};

// A driver that behaves as scripted. Its encoders store frames uncompressed (the stream
// format has compression 0), so files written with them play anywhere. Dialogs only count
// calls. Any thread.
class TestDriver : public CompressorDriver {
 public:
  explicit TestDriver(TestDriverBehaviour behaviour);

  // The log of this driver; stays valid after the driver is gone.
  std::shared_ptr<TestDriverLog> Log() const { return log_; }

  ICINFO Info() const override;
  Result Accepts(const BitmapInfoHeader& input) override;
  bool HasAbout() const override { return behaviour_.hasAbout; }
  bool HasConfigure() const override { return behaviour_.hasConfigure; }
  void About(Shell& shell, WindowHandle parent) override;
  void Configure(Shell& shell, WindowHandle parent) override;
  std::unique_ptr<FrameEncoder> NewEncoder(const BitmapInfoHeader& input,
                                           std::span<const RgbQuad> colours,
                                           const EncoderSettings& settings) override;

 private:
  const TestDriverBehaviour behaviour_;
  std::shared_ptr<TestDriverLog> log_ = std::make_shared<TestDriverLog>();
};

// Accepts only even widths and heights.
std::unique_ptr<TestDriver> MakeEvenSizeDriver(std::uint32_t handler = FourCC('E', 'V', 'E', 'N'));
// Refuses every format.
std::unique_ptr<TestDriver> MakeRefusingDriver(std::uint32_t handler = FourCC('N', 'O', 'N', 'E'));
// Accepts every format; its encoders fail from frame `failFromFrame` on.
std::unique_ptr<TestDriver> MakeFailingDriver(std::uint32_t handler = FourCC('F', 'A', 'I', 'L'),
                                              int failFromFrame = 0);

}  // namespace orvenna
