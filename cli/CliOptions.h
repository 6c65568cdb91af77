#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/RecordingDefaults.h"

namespace orvenna {

// What the command line asks for.
struct CliOptions {
  enum class Action { Record, ListCompressors, ListAudioFormats, ListAudioInputs, Help, Version };
  enum class RegionKind { FullScreen, Fixed, FollowMouse, PickFreeHand, PickWindow };

  Action action = Action::Record;
  std::string output;
  int seconds = SettingOf(NumericOption::Seconds).defaultValue;  // 0: until interrupted
  RegionKind regionKind = RegionKind::FullScreen;
  Rect region;             // Fixed: all four; FollowMouse: width and height; picked: unused
  std::string compressor;  // four-character code or catalogue position; empty: position 0
  int quality = SettingOf(NumericOption::Quality).defaultValue;  // percent
  int keyFrames = SettingOf(NumericOption::KeyFrames).defaultValue;
  int intervalMs = SettingOf(NumericOption::Interval).defaultValue;
  int fps = SettingOf(NumericOption::Fps).defaultValue;
  int bitsPerPixel = SettingOf(NumericOption::Colors).defaultValue;
  bool cursor = true;
  bool inverse = false;
  // 1..20 as --list-audio-formats numbers them; 0: no sound
  int audioFormat = SettingOf(NumericOption::AudioFormat).defaultValue;
  // position as --list-audio-inputs prints it; -1: leave it
  int audioInput = SettingOf(NumericOption::AudioInput).defaultValue;
  // 0..100 for the selected input; -1: leave it
  int audioVolume = SettingOf(NumericOption::AudioVolume).defaultValue;
  bool yes = false;
  std::string screen;         // "x11", "portal" or empty: as the session is
  bool chooseScreen = false;  // ask the desktop's chooser again instead of the kept choice
};

// Reads the arguments (without the program name). On a bad argument returns nullopt and
// sets `error` to a one-line message.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// The help text.
std::string CliUsage();

// The field of `options` that holds the numeric setting.
int& ValueOf(CliOptions& options, NumericOption setting);

}  // namespace orvenna
