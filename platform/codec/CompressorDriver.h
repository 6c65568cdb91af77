#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Shell.h"
#include "platform/VideoCompression.h"

namespace orvenna {

// Capability flags of a compressor's information record.
constexpr std::uint32_t VIDCF_QUALITY = 0x0001;   // honours the quality setting
constexpr std::uint32_t VIDCF_TEMPORAL = 0x0004;  // codes frames against earlier ones

// The version of the compression manager that information records report.
constexpr std::uint32_t kCompressionManagerVersion = 0x0104;

// One installed video compressor. A driver lives as long as the manager it is registered
// with and keeps its own settings (the configuration dialog's choice) for that long.
// Any thread: drivers guard their own state.
class CompressorDriver {
 public:
  virtual ~CompressorDriver() = default;

  // The full information record; its handler code names the driver.
  virtual ICINFO Info() const = 0;
  // Ok when the driver takes frames of this format, else a failure that says why not.
  virtual Result Accepts(const BitmapInfoHeader& input) = 0;

  virtual bool HasAbout() const = 0;
  virtual bool HasConfigure() const = 0;
  // Show the dialogs modally through `shell`, owned by `parent`.
  virtual void About(Shell& shell, WindowHandle parent) = 0;
  virtual void Configure(Shell& shell, WindowHandle parent) = 0;

  // An encoder for frames of `input` (with its colour table at 8 bits per pixel, 256
  // entries); null when the driver refuses that format.
  virtual std::unique_ptr<FrameEncoder> NewEncoder(const BitmapInfoHeader& input,
                                                   std::span<const RgbQuad> colours,
                                                   const EncoderSettings& settings) = 0;
};

// An information record of a video compressor; the names are ASCII, cut to the record's
// fields (short name 16 units, the others 128, each keeping a terminating zero).
ICINFO MakeCompressorInfo(std::uint32_t handler, std::uint32_t flags, std::uint32_t version,
                          const std::string& shortName, const std::string& description,
                          const std::string& driverName);

// Shows a driver's configuration choices with the one in `choice` marked; a picked entry
// replaces it (true), a cancelled dialog keeps it (false).
bool ChooseConfiguration(Shell& shell, WindowHandle parent, const std::string& shortName,
                         const std::string& prompt, const std::vector<std::string>& labels,
                         std::atomic<int>& choice);

}  // namespace orvenna
