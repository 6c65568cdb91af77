#include "platform/codec/LibavCompressionManager.h"

#include "platform/codec/DibDriver.h"
#include "platform/codec/LibavDriver.h"
#include "platform/codec/MsVideo1Driver.h"
#include "platform/codec/ZmbvDriver.h"

namespace orvenna {

LibavCompressionManager::LibavCompressionManager(Shell& shell) : CompressionManager(shell) {
  auto descriptions = StandardDriverDescriptions();
  for (std::size_t i = 0; i < descriptions.size(); ++i) {
    // Our own coders come right after the first one: MS Video 1, the compressor every
    // system has, and ZMBV.
    if (i == 1) {
      RegisterDriver(std::make_unique<MsVideo1Driver>());
      RegisterDriver(std::make_unique<ZmbvDriver>());
    }
    if (auto driver = LibavDriver::Create(std::move(descriptions[i]))) {
      RegisterDriver(std::move(driver));
    }
  }
  RegisterDriver(std::make_unique<DibDriver>());
}

}  // namespace orvenna
