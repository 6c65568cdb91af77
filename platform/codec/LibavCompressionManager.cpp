#include "platform/codec/LibavCompressionManager.h"

#include "platform/codec/DibDriver.h"
#include "platform/codec/LibavDriver.h"
#include "platform/codec/MsVideo1Driver.h"

namespace orvenna {

LibavCompressionManager::LibavCompressionManager(Shell& shell) : CompressionManager(shell) {
  auto descriptions = StandardDriverDescriptions();
  for (std::size_t i = 0; i < descriptions.size(); ++i) {
    // MS Video 1, the compressor every system has, comes right after the first one.
    if (i == 1) RegisterDriver(std::make_unique<MsVideo1Driver>());
    if (auto driver = LibavDriver::Create(std::move(descriptions[i]))) {
      RegisterDriver(std::move(driver));
    }
  }
  RegisterDriver(std::make_unique<DibDriver>());
}

}  // namespace orvenna
