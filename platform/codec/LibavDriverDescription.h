#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/codec/QualityMapping.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace orvenna {

// How the quality setting reaches an encoder.
enum class QualityControl {
  kNone,            // lossless or fixed-rate: quality has no meaning
  kFixedQuantiser,  // a fixed quantiser per frame (MPEG-style "qscale")
  kRateFactor,      // the "crf" option
  kFrameWeight,     // a rate-distortion weight per frame
};

// How an encoder uses several cores.
enum class Threading {
  kNone,     // one thread
  kSlices,   // libavcodec's slice threads
  kEncoder,  // the encoder's own threads (told to run without delay by its options)
  kFrames,   // libavcodec's frame threads: each frame on a thread, packets come out late
};

// A private option of an encoder, set by name before it opens.
struct EncoderOption {
  std::string name;
  std::string value;
};

// One entry of a driver's configuration dialog.
struct ConfigureChoice {
  std::string label;
  std::vector<EncoderOption> options;
};

// Everything that makes one libavcodec encoder a compressor driver.
struct LibavDriverDescription {
  std::uint32_t handler = 0;
  std::string encoder;  // libavcodec's encoder name
  std::string shortName;
  std::string description;
  // Pixel formats fed to the encoder for input of 8, 16, 24 and 32 bits per pixel, most
  // wanted first; the first one the encoder takes is used.
  std::array<std::vector<AVPixelFormat>, 4> formats;
  bool fullRangeYuv = false;  // YUV in full range (JPEG) instead of studio range
  QualityControl quality = QualityControl::kNone;
  QuantiserScale scale{};  // for kFixedQuantiser, kRateFactor and kFrameWeight
  Threading threading = Threading::kNone;
  bool temporal = false;               // frames between key frames depend on earlier ones
  std::vector<EncoderOption> options;  // always set
  // The configuration dialog: none when there are no choices.
  std::string configurePrompt;
  std::vector<ConfigureChoice> choices;
  int defaultChoice = 0;
  // Until the user picks a choice, frames of more than `pixels` pixels use `choice` instead of
  // defaultChoice (the last entry whose size a frame passes wins).
  struct LargeFrameChoice {
    long long pixels;
    int choice;
  };
  std::vector<LargeFrameChoice> largeFrameChoices;
};

// The libavcodec compressors in their enumeration order, whether or not the linked library
// has their encoders.
std::vector<LibavDriverDescription> StandardDriverDescriptions();

}  // namespace orvenna
