#include "platform/fake/FakeMixer.h"

namespace orvenna {
namespace {

class FakeOpenMixer final : public MixerDevice {
 public:
  explicit FakeOpenMixer(FakeMixerDevice& device) : device_(device) {}

  MMRESULT GetLineInfo(std::uint32_t destination, std::int32_t source, MIXERLINE& line) override {
    if (destination >= device_.destinations.size()) return MIXERR_INVALLINE;
    const FakeMixerDestination& target = device_.destinations[destination];
    if (source >= static_cast<std::int32_t>(target.sources.size())) return MIXERR_INVALLINE;
    const FakeMixerLine& found = source < 0 ? target.line : target.sources[source];
    line.dwDestination = destination;
    line.dwSource = source < 0 ? 0 : static_cast<std::uint32_t>(source);
    line.dwLineID = (destination + 1) * 1000 + static_cast<std::uint32_t>(source + 1);
    line.cConnections = source < 0 ? static_cast<std::uint32_t>(target.sources.size()) : 0;
    line.szName = found.name;
    return MMSYSERR_NOERROR;
  }

  MMRESULT GetLineControl(std::uint32_t lineId, std::uint32_t controlType,
                          MIXERCONTROL& control) override {
    FakeMixerLine* line = LineOf(lineId);
    if (!line) return MIXERR_INVALLINE;
    for (std::size_t i = 0; i < line->controls.size(); ++i) {
      const FakeMixerControl& found = line->controls[i];
      if (found.type != controlType) continue;
      control.dwControlID = lineId * 10 + static_cast<std::uint32_t>(i);
      control.dwControlType = found.type;
      control.cMultipleItems = static_cast<std::uint32_t>(found.items.size());
      control.dwMaximum = found.maximum;
      return MMSYSERR_NOERROR;
    }
    return MIXERR_INVALCONTROL;
  }

  MMRESULT GetControlValues(std::uint32_t controlId, std::vector<std::uint32_t>& values) override {
    return WithControl(controlId, [&](FakeMixerControl& control) { values = control.values; });
  }

  MMRESULT SetControlValues(std::uint32_t controlId,
                            const std::vector<std::uint32_t>& values) override {
    return WithControl(controlId, [&](FakeMixerControl& control) { control.values = values; });
  }

  MMRESULT GetListText(std::uint32_t controlId, std::vector<std::string>& items) override {
    return WithControl(controlId, [&](FakeMixerControl& control) { items = control.items; });
  }

 private:
  FakeMixerLine* LineOf(std::uint32_t lineId) {
    const std::uint32_t destination = lineId / 1000 - 1;
    const std::uint32_t source = lineId % 1000;
    if (destination >= device_.destinations.size()) return nullptr;
    FakeMixerDestination& target = device_.destinations[destination];
    if (source == 0) return &target.line;
    return source <= target.sources.size() ? &target.sources[source - 1] : nullptr;
  }
  // Runs `use` on the control of that id; MIXERR_INVALCONTROL when there is none.
  template <typename Use>
  MMRESULT WithControl(std::uint32_t controlId, Use use) {
    FakeMixerLine* line = LineOf(controlId / 10);
    const std::uint32_t position = controlId % 10;
    if (!line || position >= line->controls.size()) return MIXERR_INVALCONTROL;
    use(line->controls[position]);
    return MMSYSERR_NOERROR;
  }

  FakeMixerDevice& device_;
};

}  // namespace

MMRESULT FakeMixerDriver::GetDevCaps(std::uint32_t mixerId, MIXERCAPS& caps) {
  if (mixerId >= devices.size()) return MMSYSERR_BADDEVICEID;
  caps.szPname = devices[mixerId].name;
  caps.cDestinations = static_cast<std::uint32_t>(devices[mixerId].destinations.size());
  return MMSYSERR_NOERROR;
}

MMRESULT FakeMixerDriver::Open(std::uint32_t mixerId, MixerCallback callback,
                               std::unique_ptr<MixerDevice>& device) {
  if (mixerId >= devices.size()) return MMSYSERR_BADDEVICEID;
  device = std::make_unique<FakeOpenMixer>(devices[mixerId]);
  callbacks.push_back(std::move(callback));
  return MMSYSERR_NOERROR;
}

void FakeMixerDriver::Notify(unsigned message, std::uint32_t id) const {
  if (!callbacks.empty()) callbacks.back()(message, id);
}

}  // namespace orvenna
