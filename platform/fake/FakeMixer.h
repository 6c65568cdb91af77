#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Mixer.h"

namespace orvenna {

// A mixer topology for unit tests: devices, their destinations, the source lines of each, and
// the controls of every line with their values, which the tests read and change. Line ids are
// (destination + 1) * 1000 + (source + 1); control ids are line id * 10 + position on the line.
struct FakeMixerControl {
  std::uint32_t type = MIXERCONTROL_CONTROLTYPE_VOLUME;
  std::uint32_t maximum = 65535;
  std::vector<std::string> items;     // of a select or mix control
  std::vector<std::uint32_t> values;  // one per item, or one
};

struct FakeMixerLine {
  std::string name;
  std::vector<FakeMixerControl> controls;
};

struct FakeMixerDestination {
  FakeMixerLine line;
  std::vector<FakeMixerLine> sources;
};

struct FakeMixerDevice {
  std::string name;
  std::vector<FakeMixerDestination> destinations;
};

class FakeMixerDriver final : public MixerDriver {
 public:
  unsigned NumDevs() override { return static_cast<unsigned>(devices.size()); }
  MMRESULT GetDevCaps(std::uint32_t mixerId, MIXERCAPS& caps) override;
  MMRESULT Open(std::uint32_t mixerId, MixerCallback callback,
                std::unique_ptr<MixerDevice>& device) override;

  // Reports a change as the device opened last would.
  void Notify(unsigned message, std::uint32_t id) const;

  std::vector<FakeMixerDevice> devices;
  std::vector<MixerCallback> callbacks;  // of every open, in order
};

}  // namespace orvenna
