#include "platform/codec/LibavCompressionManager.h"

#include "platform/codec/DibDriver.h"
#include "platform/codec/LibavDriver.h"

namespace orvenna {

LibavCompressionManager::LibavCompressionManager(Shell& shell) : CompressionManager(shell) {
  for (auto& description : StandardDriverDescriptions()) {
    if (auto driver = LibavDriver::Create(std::move(description))) {
      RegisterDriver(std::move(driver));
    }
  }
  RegisterDriver(std::make_unique<DibDriver>());
}

}  // namespace orvenna
