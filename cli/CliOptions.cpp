#include "cli/CliOptions.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <ostream>
#include <sstream>

namespace orvenna {

namespace {

// One option in the help, in the order the help lists them: a numeric setting, whose help
// is in the settings table, or an option of the command line's own.
struct UsageEntry {
  std::optional<NumericOption> setting;
  std::string_view option;
  std::string_view help;  // a line break continues under the help's column
};

constexpr UsageEntry kUsage[] = {
    {NumericOption::Seconds, {}, {}},
    {{}, "--region L,T,W,H", "fixed region (default: the full screen)"},
    {{}, "--follow-mouse W,H", "a W x H region centred on the mouse, following it"},
    {{}, "--pick-region", "draw the region with the mouse before recording (free hand)"},
    {{},
     "--pick-window",
     "pick a window with the mouse before recording (on\n"
     "Wayland: in the desktop's chooser)"},
    {{},
     "--screen S",
     "x11: record the X display; portal: record what a Wayland\n"
     "desktop shares through its ScreenCast portal (default: portal\n"
     "in a Wayland session, else x11; or as ORVENNA_SCREEN says)"},
    {{},
     "--choose-screen",
     "with portal: show the desktop's chooser again instead of\n"
     "sharing the monitor chosen last time"},
    {{},
     "--compressor C",
     "four-character code (e.g. ZMBV) or position as\n"
     "--list-compressors numbers them; one that cannot take the\n"
     "region is refused (default: the first that can); an .mp4\n"
     "OUTPUT takes H264 or FMP4 only"},
    {NumericOption::Quality, {}, {}},
    {NumericOption::KeyFrames, {}, {}},
    {NumericOption::Interval, {}, {}},
    {NumericOption::Fps, {}, {}},
    {NumericOption::Colors, {}, {}},
    {{}, "--no-cursor", "do not draw the mouse cursor"},
    {{}, "--inverse", "inverse colours"},
    {{},
     "--yes",
     "replace an existing OUTPUT, and answer Yes to the\n"
     "engine's questions (default: No; an existing OUTPUT is\n"
     "refused before recording)"},
    {NumericOption::AudioFormat, {}, {}},
    {{},
     "--list-compressors",
     "print one line per installed compressor: position,\n"
     "four-character code, description, and a note when it\n"
     "cannot take the region; then exit"},
    {{}, "--list-audio-formats", "print one line per format: number, description; then exit"},
    {{},
     "--list-audio-inputs",
     "print one line per input: index, name, volume (or -),\n"
     "and * on the selected one; then exit"},
    {NumericOption::AudioInput, {}, {}},
    {NumericOption::AudioVolume, {}, {}},
    {{}, "--help", "show this text"},
    {{}, "--version", "print the version and exit"},
};

// The field of each numeric setting, in the settings table's order.
constexpr std::array<int CliOptions::*, kNumericSettings.size()> kFieldOf{
    &CliOptions::seconds,     &CliOptions::quality,    &CliOptions::keyFrames,
    &CliOptions::intervalMs,  &CliOptions::fps,        &CliOptions::bitsPerPixel,
    &CliOptions::audioFormat, &CliOptions::audioInput, &CliOptions::audioVolume};

// The option and its value's name take this many columns; the help follows after a space.
constexpr std::size_t kOptionColumns = 20;

void WriteUsageLine(std::ostream& text, const std::string& option, std::string_view help) {
  const std::string indent(2 + kOptionColumns + 1, ' ');
  text << "  " << option
       << std::string(kOptionColumns + 1 - std::min(option.size(), kOptionColumns), ' ');
  for (const char c : help) {
    text << c;
    if (c == '\n') text << indent;
  }
}

}  // namespace

std::string CliUsage() {
  std::ostringstream text;
  text << "usage: orvenna-cli [options] OUTPUT\n"
       << "the ending of OUTPUT's name chooses the kind of file, and no picture is re-encoded:\n"
       << "  .avi  AVI, any compressor, sound as recorded (also a name without an ending)\n"
       << "  .mkv  Matroska, any compressor, sound as PCM\n"
       << "  .mp4  MP4, H.264 (H264) or MPEG-4 (FMP4) pictures only, sound encoded to AAC\n"
       << "options:\n";
  for (const UsageEntry& entry : kUsage) {
    if (!entry.setting) {
      WriteUsageLine(text, std::string(entry.option), entry.help);
    } else {
      const NumericSetting& setting = SettingOf(*entry.setting);
      WriteUsageLine(text, std::string(setting.option) + " " + std::string(setting.argument),
                     setting.help);
      if (setting.helpShowsDefault) text << " (default " << setting.defaultValue << ")";
    }
    text << "\n";
  }
  text << "exit status: 0 the recording was written as asked (or the listing printed);\n"
       << "  1 nothing was recorded or the recording was not written; 2 a wrong command line;\n"
       << "  3 the recording was written but cut short: the screen could no longer be read\n";
  return text.str();
}

int& ValueOf(CliOptions& options, NumericOption setting) {
  return options.*kFieldOf[static_cast<std::size_t>(setting)];
}

namespace {

bool ParseInt(const std::string& text, int low, int high, int& value) {
  const char* end = text.data() + text.size();
  const auto [stop, code] = std::from_chars(text.data(), end, value);
  return code == std::errc() && stop == end && value >= low && value <= high;
}

// "a,b,c" into exactly `count` integers within [low, high].
bool ParseList(const std::string& text, std::size_t count, int low, int high,
               std::vector<int>& out) {
  out.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    int value = 0;
    if (!ParseInt(text.substr(start, comma - start), low, high, value)) return false;
    out.push_back(value);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out.size() == count;
}

std::optional<NumericOption> NumericOptionNamed(const std::string& arg) {
  for (std::size_t i = 0; i < kNumericSettings.size(); ++i) {
    if (kNumericSettings[i].option == arg) return static_cast<NumericOption>(i);
  }
  return std::nullopt;
}

bool OnStep(const NumericSetting& setting, int value) {
  return (value - setting.range.low) % setting.step == 0;
}

// The values a setting with a step takes: "8, 16, 24 or 32".
std::string StepText(const NumericSetting& setting) {
  std::string text;
  for (int value = setting.range.low; value <= setting.range.high; value += setting.step) {
    if (!text.empty()) text += value + setting.step > setting.range.high ? " or " : ", ";
    text += std::to_string(value);
  }
  return text;
}

}  // namespace

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args,
                                          std::string& error) {
  CliOptions options;
  const auto fail = [&](const std::string& message) {
    error = message;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    const auto number = [&](int low, int high, int& target) {
      if (!hasValue || !ParseInt(args[i + 1], low, high, target)) {
        error = arg + " needs a whole number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
      }
      ++i;
      return true;
    };
    std::vector<int> list;
    if (const std::optional<NumericOption> numeric = NumericOptionNamed(arg)) {
      const NumericSetting& setting = SettingOf(*numeric);
      int& value = ValueOf(options, *numeric);
      if (!number(setting.range.low, setting.range.high, value)) return std::nullopt;
      if (!OnStep(setting, value)) return fail(arg + " takes " + StepText(setting));
    } else if (arg == "--help") {
      options.action = CliOptions::Action::Help;
    } else if (arg == "--version") {
      options.action = CliOptions::Action::Version;
    } else if (arg == "--list-compressors") {
      options.action = CliOptions::Action::ListCompressors;
    } else if (arg == "--list-audio-formats") {
      options.action = CliOptions::Action::ListAudioFormats;
    } else if (arg == "--list-audio-inputs") {
      options.action = CliOptions::Action::ListAudioInputs;
    } else if (arg == "--region") {
      if (!hasValue || !ParseList(args[++i], 4, -100000, 100000, list) || list[2] < 1 ||
          list[3] < 1) {
        return fail(
            "--region needs L,T,W,H (whole numbers from -100000 to 100000, width and "
            "height at least 1)");
      }
      options.regionKind = CliOptions::RegionKind::Fixed;
      options.region = Rect{list[0], list[1], list[2], list[3]};
    } else if (arg == "--follow-mouse") {
      if (!hasValue || !ParseList(args[++i], 2, 1, 100000, list)) {
        return fail("--follow-mouse needs W,H (whole numbers from 1 to 100000)");
      }
      options.regionKind = CliOptions::RegionKind::FollowMouse;
      options.region = Rect{0, 0, list[0], list[1]};
    } else if (arg == "--pick-region") {
      options.regionKind = CliOptions::RegionKind::PickFreeHand;
    } else if (arg == "--pick-window") {
      options.regionKind = CliOptions::RegionKind::PickWindow;
    } else if (arg == "--compressor") {
      if (!hasValue || args[i + 1].empty()) return fail("--compressor needs a code or a position");
      options.compressor = args[++i];
    } else if (arg == "--no-cursor") {
      options.cursor = false;
    } else if (arg == "--inverse") {
      options.inverse = true;
    } else if (arg == "--yes") {
      options.yes = true;
    } else if (arg == "--screen") {
      if (!hasValue || (strcasecmp(args[i + 1].c_str(), "x11") != 0 &&
                        strcasecmp(args[i + 1].c_str(), "portal") != 0))
        return fail("--screen takes x11 or portal");
      options.screen = args[++i];
    } else if (arg == "--choose-screen") {
      options.chooseScreen = true;
    } else if (arg.starts_with("-") && arg != "-") {
      return fail("unknown option " + arg + " (see --help)");
    } else if (!options.output.empty()) {
      return fail("only one output file may be given");
    } else {
      options.output = arg;
    }
  }
  if (options.action == CliOptions::Action::Record && options.output.empty()) {
    return fail("no output file given (see --help)");
  }
  return options;
}

}  // namespace orvenna
