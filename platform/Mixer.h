#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WaveIn.h"

namespace orvenna {

// Control types a mixer line may have.
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;

constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;

// Change notifications of an open mixer device: the id of the line or control that changed.
constexpr unsigned MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr unsigned MM_MIXM_CONTROL_CHANGE = 0x3D1;

struct MIXERCAPS {
  std::string szPname;  // the device's name
  std::uint32_t cDestinations = 0;
};

// A destination line (source -1) or one of the source lines connected to it.
struct MIXERLINE {
  std::uint32_t dwDestination = 0;
  std::uint32_t dwSource = 0;
  std::uint32_t dwLineID = 0;
  std::uint32_t cConnections = 0;  // of a destination: its source lines
  std::string szName;
};

struct MIXERCONTROL {
  std::uint32_t dwControlID = 0;
  std::uint32_t dwControlType = 0;
  std::uint32_t cMultipleItems = 0;  // items of a select or mix control
  std::uint32_t dwMaximum = 0;       // the largest value (the smallest is 0)
};

// One open mixer device. UI thread.
class MixerDevice {
 public:
  virtual ~MixerDevice() = default;
  // The destination line (`source` -1) or a source line of destination `destination`.
  virtual MMRESULT GetLineInfo(std::uint32_t destination, std::int32_t source, MIXERLINE& line) = 0;
  // The line's first control of `controlType`.
  virtual MMRESULT GetLineControl(std::uint32_t lineId, std::uint32_t controlType,
                                  MIXERCONTROL& control) = 0;
  // The control's values, one per item (one for a control without items).
  virtual MMRESULT GetControlValues(std::uint32_t controlId,
                                    std::vector<std::uint32_t>& values) = 0;
  virtual MMRESULT SetControlValues(std::uint32_t controlId,
                                    const std::vector<std::uint32_t>& values) = 0;
  // The item texts of a select or mix control.
  virtual MMRESULT GetListText(std::uint32_t controlId, std::vector<std::string>& items) = 0;
};

// Receives an open device's change notifications (MM_MIXM_*, with the line or control id) on
// the UI thread.
using MixerCallback = std::function<void(unsigned message, std::uint32_t id)>;

// The sound mixers of the desktop. UI thread.
class MixerDriver {
 public:
  virtual ~MixerDriver() = default;
  virtual unsigned NumDevs() = 0;
  virtual MMRESULT GetDevCaps(std::uint32_t mixerId, MIXERCAPS& caps) = 0;
  virtual MMRESULT Open(std::uint32_t mixerId, MixerCallback callback,
                        std::unique_ptr<MixerDevice>& device) = 0;
};

}  // namespace orvenna
