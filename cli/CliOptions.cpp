#include "cli/CliOptions.h"

#include <charconv>
#include <sstream>

namespace orvenna {

std::string CliUsage() {
  const CliOptions defaults;
  std::ostringstream text;
  text << "usage: orvenna-cli [options] OUTPUT.avi\n"
       << "  --seconds N          stop and keep after N seconds; without it, record until\n"
       << "                       Ctrl+C, SIGTERM or SIGHUP (stop and keep)\n"
       << "  --region L,T,W,H     fixed region (default: the full screen)\n"
       << "  --follow-mouse W,H   a W x H region centred on the mouse, following it\n"
       << "  --pick-region        draw the region with the mouse before recording (free hand)\n"
       << "  --pick-window        pick a window with the mouse before recording (on\n"
       << "                       Wayland: in the desktop's chooser)\n"
       << "  --screen S           x11: record the X display; portal: record what a Wayland\n"
       << "                       desktop shares through its ScreenCast portal (default: portal\n"
       << "                       in a Wayland session, else x11; or as ORVENNA_SCREEN says)\n"
       << "  --choose-screen      with portal: show the desktop's chooser again instead of\n"
       << "                       sharing the monitor chosen last time\n"
       << "  --compressor C       four-character code (e.g. ZMBV) or position as\n"
       << "                       --list-compressors numbers them; one that cannot take the\n"
       << "                       region is refused (default: the first that can)\n"
       << "  --quality Q          0..100 (default " << defaults.quality << ")\n"
       << "  --keyframes N        key-frame interval (default " << defaults.keyFrames << ")\n"
       << "  --interval MS        record interval in ms per frame slot (default "
       << defaults.intervalMs << ")\n"
       << "  --fps N              playback frame rate (default " << defaults.fps << ")\n"
       << "  --colors B           8, 16, 24 or 32 bits per pixel (default " << defaults.bitsPerPixel
       << ")\n"
       << "  --no-cursor          do not draw the mouse cursor\n"
       << "  --inverse            inverse colours\n"
       << "  --yes                replace an existing OUTPUT.avi, and answer Yes to the\n"
       << "                       engine's questions (default: No; an existing OUTPUT.avi is\n"
       << "                       refused before recording)\n"
       << "  --audio-format N     also record sound, in PCM format N (1..20, numbered as\n"
       << "                       --list-audio-formats prints them); default: no sound\n"
       << "  --list-compressors   print one line per installed compressor: position,\n"
       << "                       four-character code, description, and a note when it\n"
       << "                       cannot take the region; then exit\n"
       << "  --list-audio-formats print one line per format: number, description; then exit\n"
       << "  --list-audio-inputs  print one line per input: index, name, volume (or -),\n"
       << "                       and * on the selected one; then exit\n"
       << "  --audio-input N      select input N before recording (as the options dialog does)\n"
       << "  --audio-volume V     set the selected input's volume to V (0..100) before\n"
       << "                       recording\n"
       << "  --help               show this text\n"
       << "  --version            print the version and exit\n"
       << "exit status: 0 the recording was written as asked (or the listing printed);\n"
       << "  1 nothing was recorded or the recording was not written; 2 a wrong command line;\n"
       << "  3 the recording was written but cut short: the screen could no longer be read\n";
  return text.str();
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
    if (arg == "--help") {
      options.action = CliOptions::Action::Help;
    } else if (arg == "--version") {
      options.action = CliOptions::Action::Version;
    } else if (arg == "--list-compressors") {
      options.action = CliOptions::Action::ListCompressors;
    } else if (arg == "--list-audio-formats") {
      options.action = CliOptions::Action::ListAudioFormats;
    } else if (arg == "--list-audio-inputs") {
      options.action = CliOptions::Action::ListAudioInputs;
    } else if (arg == "--audio-input") {
      if (!number(0, 1000, options.audioInput)) return std::nullopt;
    } else if (arg == "--audio-volume") {
      if (!number(0, 100, options.audioVolume)) return std::nullopt;
    } else if (arg == "--audio-format") {
      if (!number(1, 20, options.audioFormat)) return std::nullopt;
    } else if (arg == "--seconds") {
      if (!number(1, 255 * 3600 + 59 * 60 + 59, options.seconds)) return std::nullopt;
    } else if (arg == "--quality") {
      if (!number(0, 100, options.quality)) return std::nullopt;
    } else if (arg == "--keyframes") {
      if (!number(0, 100000, options.keyFrames)) return std::nullopt;
    } else if (arg == "--interval") {
      if (!number(1, 100000, options.intervalMs)) return std::nullopt;
    } else if (arg == "--fps") {
      if (!number(1, 1000, options.fps)) return std::nullopt;
    } else if (arg == "--colors") {
      if (!number(8, 32, options.bitsPerPixel)) return std::nullopt;
      if (options.bitsPerPixel % 8 != 0) return fail("--colors takes 8, 16, 24 or 32");
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
      if (!hasValue || (args[i + 1] != "x11" && args[i + 1] != "portal"))
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
