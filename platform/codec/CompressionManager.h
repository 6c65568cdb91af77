#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/Shell.h"
#include "platform/VideoCompression.h"
#include "platform/codec/CompressorDriver.h"

namespace orvenna {

// The installed video compressors: drivers enumerated in the order they were registered.
// Handler codes match without regard to letter case, as in AVI files written elsewhere.
// Any thread. Compressors and encoders it hands out keep their driver alive.
class CompressionManager : public VideoCompressionManager {
 public:
  // Dialogs of the drivers are shown through `shell`, which must outlive the manager.
  explicit CompressionManager(Shell& shell);

  // Adds `driver` at the end of the enumeration. False, and the driver is dropped, when a
  // driver with the same handler code is registered already.
  bool RegisterDriver(std::unique_ptr<CompressorDriver> driver);

  bool Info(std::uint32_t fccType, int index, ICINFO& info) override;
  std::unique_ptr<VideoCompressor> Open(std::uint32_t fccType, std::uint32_t fccHandler,
                                        unsigned mode) override;
  std::unique_ptr<FrameEncoder> NewEncoder(std::uint32_t fccHandler,
                                           const std::vector<std::uint8_t>& inputFormat,
                                           const EncoderSettings& settings) override;
  std::uint32_t Version() const override;

 private:
  std::shared_ptr<CompressorDriver> Find(std::uint32_t handler) const;

  struct Entry {
    std::uint32_t handler;
    std::shared_ptr<CompressorDriver> driver;
  };

  Shell& shell_;
  mutable std::mutex mutex_;
  std::vector<Entry> drivers_;
};

}  // namespace orvenna
