#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"

namespace orvenna {

// What the command line asks for.
struct CliOptions {
  enum class Action { Record, ListCompressors, Help };
  enum class RegionKind { FullScreen, Fixed, FollowMouse };

  Action action = Action::Record;
  std::string output;
  int seconds = 0;  // 0: until interrupted
  RegionKind regionKind = RegionKind::FullScreen;
  Rect region;  // Fixed: all four; FollowMouse: width and height
  std::string compressor;  // four-character code or catalogue position; empty: position 0
  int quality = 75;
  int keyFrames = 100;
  int intervalMs = 33;
  int fps = 30;
  int bitsPerPixel = 24;
  bool cursor = true;
  bool inverse = false;
  bool yes = false;
};

// Reads the arguments (without the program name). On a bad argument returns nullopt and
// sets `error` to a one-line message.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kCliUsage;

}  // namespace orvenna
