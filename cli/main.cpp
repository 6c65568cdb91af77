// orvenna-cli: records the screen into an AVI, Matroska or MP4 file from the command line,
// through the same engine as the desktop application.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "cli/CliLoop.h"
#include "cli/CliOptions.h"
#include "cli/CliPickers.h"
#include "cli/CompressorChoice.h"
#include "cli/OutputCheck.h"
#include "engine/RegionFit.h"
#include "engine/Utf16.h"
#include "engine/Vistrel.h"
#include "generated/Version.h"
#include "platform/Containers.h"
#include "platform/ScreenSharing.h"
#include "platform/StandardStreams.h"
#include "platform/desktop/DesktopServices.h"
#include "platform/desktop/WaylandSession.h"

namespace {

// The exit status of a recording that was saved but ended before it was asked to: the screen
// could no longer be read (the X server went away).
constexpr int kCutShort = 3;

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void OnStopSignal(int) {
  stopSignal = 1;
}

// While the desktop is asked for its screen the program waits in the portal's call, which no
// flag reaches: a stop signal ends the program there, with a line. The desktop closes its
// chooser when the program's connection goes.
extern "C" void OnStopSignalWhileSharing(int) {
  static const char kLine[] =
      "orvenna-cli: stopped while the desktop was asked to share the screen, so nothing was "
      "recorded\n";
  const ssize_t written = write(STDERR_FILENO, kLine, sizeof kLine - 1);
  static_cast<void>(written);
  _exit(1);
}

// "a W x H region at B bits per pixel", for the messages about compressors.
std::string RegionAndDepthText(const orvenna::TVistrel& engine, int bitsPerPixel) {
  const orvenna::Rect region = engine.Region();
  return "a " + std::to_string(region.width) + " x " + std::to_string(region.height) +
         " region at " + std::to_string(bitsPerPixel) + " bits per pixel";
}

void Configure(orvenna::TVistrel& engine, const orvenna::CliOptions& options) {
  using orvenna::TScreenRegion;
  engine.SetMinimizeAppOnStart(false);
  engine.SetRestoreAppOnStop(false);
  engine.SetReplaceOutput(options.yes);  // without --yes, no file is replaced at the save either
  engine.SetDrawAreaCapture(false);
  engine.SetColors(orvenna::ColorsOfBitsPerPixel(options.bitsPerPixel));
  engine.SetCompressionQuality(options.quality * orvenna::kQualityPerPercent);
  engine.SetKeyFramesEvery(options.keyFrames);
  engine.SetMSPFRecord(options.intervalMs);
  engine.SetFPSPlayBack(options.fps);
  engine.SetRecordCursor(options.cursor);
  engine.SetFilterColor(options.inverse ? 1 : 0);
  engine.SetUseAudioRecord(options.audioFormat > 0);
  if (options.audioFormat > 0) engine.SetAudioFormatsIndex(options.audioFormat - 1);
  switch (options.regionKind) {
    case orvenna::CliOptions::RegionKind::FullScreen:
      engine.SetScreenRegion(TScreenRegion::FullScreen);
      engine.SetScreenWidth(engine.DesktopWidth());
      engine.SetScreenHeight(engine.DesktopHeight());
      break;
    case orvenna::CliOptions::RegionKind::Fixed:
      engine.SetScreenRegion(TScreenRegion::FixedStable);
      engine.SetScreenLeft(options.region.left);
      engine.SetScreenTop(options.region.top);
      break;
    case orvenna::CliOptions::RegionKind::FollowMouse:
      engine.SetScreenRegion(TScreenRegion::FixedMoving);
      break;
    case orvenna::CliOptions::RegionKind::PickFreeHand:
      engine.SetScreenRegion(TScreenRegion::FreeHand);
      break;
    case orvenna::CliOptions::RegionKind::PickWindow:
      engine.SetScreenRegion(TScreenRegion::SelObject);
      break;
  }
  if (options.regionKind == orvenna::CliOptions::RegionKind::Fixed ||
      options.regionKind == orvenna::CliOptions::RegionKind::FollowMouse) {
    engine.SetScreenWidth(options.region.width);
    engine.SetScreenHeight(options.region.height);
  }
  if (options.seconds > 0) {
    engine.SetCaptureTimer(
        orvenna::TCaptureTimer{true, static_cast<std::uint8_t>(options.seconds / 3600),
                               static_cast<std::uint8_t>(options.seconds / 60 % 60),
                               static_cast<std::uint8_t>(options.seconds % 60)});
  }
}

// Keeps a --region or --follow-mouse region within the screen before anything is made for
// it: a note when only a part is recorded, false with a message when nothing could be.
bool FitRegion(orvenna::TVistrel& engine, const orvenna::CliOptions& options) {
  using Kind = orvenna::CliOptions::RegionKind;
  if (options.regionKind != Kind::Fixed && options.regionKind != Kind::FollowMouse) return true;
  const orvenna::Size screen{engine.DesktopWidth(), engine.DesktopHeight()};
  const orvenna::RegionFit fit =
      orvenna::FitRegionToScreen(engine.Region(), screen, options.regionKind == Kind::FollowMouse);
  if (!fit.problem.empty()) {
    std::cerr << "orvenna-cli: " << fit.problem << "\n";
    return false;
  }
  if (fit.changed) {
    std::cerr << "orvenna-cli: the region reaches beyond the screen (" << screen.width << " x "
              << screen.height << "); recording " << orvenna::RegionText(fit.region) << "\n";
    engine.SetRegion(fit.region);
  }
  return true;
}

// Why the audio input or volume the options ask for cannot be had, or "": checked before
// anything is changed, so that a refused command leaves the desktop's sound settings alone.
// `noInput` says that there is no input, and why.
std::string AudioInputProblem(orvenna::TVistrel& engine, const orvenna::CliOptions& options,
                              const std::string& noInput) {
  if (options.audioInput < 0 && options.audioVolume < 0) return "";
  orvenna::AudioInputInfo inputs;
  engine.GetAudioInputs(inputs);
  const int count = static_cast<int>(inputs.Lines->size());
  if (options.audioInput >= count) {
    return "there is no audio input " + std::to_string(options.audioInput) + " (" +
           (count == 0 ? noInput : "inputs are 0 to " + std::to_string(count - 1)) +
           "; see --list-audio-inputs)";
  }
  if (options.audioVolume < 0) return "";
  if (count == 0) return noInput + ", so --audio-volume cannot be applied";
  const int selected = options.audioInput >= 0 ? options.audioInput : inputs.SelectedIndex;
  if (engine.AudioInputVolume(selected) < 0) {
    return "the selected audio input has no volume control, so --audio-volume cannot be applied";
  }
  return "";
}

// Selects the audio input and sets its volume as the options ask (checked before).
void ApplyAudioInput(orvenna::TVistrel& engine, const orvenna::CliOptions& options) {
  if (options.audioInput >= 0) engine.SetAudioInput(options.audioInput);
  if (options.audioVolume < 0) return;
  int selected = options.audioInput;
  if (selected < 0) {
    orvenna::AudioInputInfo inputs;
    engine.GetAudioInputs(inputs);
    selected = inputs.SelectedIndex;
  }
  engine.SetAudioInputVolume(selected, options.audioVolume);
}

void ListAudioInputs(orvenna::TVistrel& engine, const std::string& noInput) {
  orvenna::AudioInputInfo inputs;
  engine.GetAudioInputs(inputs);
  if (inputs.Lines->empty()) std::cerr << "orvenna-cli: " << noInput << "\n";
  for (std::size_t i = 0; i < inputs.Lines->size(); ++i) {
    const int volume = engine.AudioInputVolume(static_cast<int>(i));
    std::cout << i << "\t" << (*inputs.Lines)[i] << "\t"
              << (volume < 0 ? std::string("-") : std::to_string(volume))
              << (static_cast<int>(i) == inputs.SelectedIndex ? "\t*" : "") << "\n";
  }
}

// Asks the desktop to share what the options record: the window picked in its chooser, else a
// monitor (the one shared last time, unless --choose-screen asks again). A shared window is
// recorded whole, as a region of its own size. Answers the exit status when nothing can be
// recorded, else 0.
int ShareScreen(orvenna::ScreenSharing& sharing, orvenna::CliOptions& options) {
  using orvenna::SharedSource;
  using Kind = orvenna::CliOptions::RegionKind;
  if (options.chooseScreen) sharing.ChooseAgain();
  const SharedSource source =
      options.regionKind == Kind::PickWindow ? SharedSource::Window : SharedSource::Monitor;
  std::string problem;
  for (const int stop : {SIGINT, SIGTERM, SIGHUP}) std::signal(stop, OnStopSignalWhileSharing);
  const orvenna::ShareOutcome outcome = sharing.Share(source, problem);
  for (const int stop : {SIGINT, SIGTERM, SIGHUP}) std::signal(stop, SIG_DFL);
  switch (outcome) {
    case orvenna::ShareOutcome::Shared:
      if (!problem.empty()) std::cerr << "orvenna-cli: " << problem << "\n";
      break;
    case orvenna::ShareOutcome::Cancelled:
      std::cerr << "orvenna-cli: " << problem << ", so nothing was recorded\n";
      return 1;
    case orvenna::ShareOutcome::Failed:
      std::cerr << "orvenna-cli: cannot record the screen: " << problem << "\n";
      return 1;
  }
  // The shared window is the whole screen there is.
  if (source == SharedSource::Window) options.regionKind = Kind::FullScreen;
  if (!options.cursor && sharing.PointerInPicture()) {
    std::cerr << "orvenna-cli: this desktop draws the pointer into the shared picture, so "
                 "--no-cursor cannot leave it out\n";
  }
  return 0;
}

std::string Statistics(const orvenna::TVistrel& engine) {
  std::ostringstream line;
  line << std::fixed << std::setprecision(0) << engine.CodecName() << "  "
       << engine.ElapsedTimeText() << "  grabs/s " << engine.CaptureRate() << "  written/s "
       << engine.CapturedRate() << "  frames " << engine.FrameCount() << "  dropped "
       << engine.DroppedFrames();
  return line.str();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orvenna;
  OpenStandardStreams();
  // A reader of the messages that goes away (`| head`) must not cost the recording: writes to
  // it then fail, the stream stops printing, and the recording goes on to be saved.
  std::signal(SIGPIPE, SIG_IGN);
  std::string error;
  const auto options = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::cerr << "orvenna-cli: " << error << "\n";
    return 2;
  }
  if (options->action == CliOptions::Action::Help) {
    std::cout << CliUsage();
    return 0;
  }
  if (options->action == CliOptions::Action::Version) {
    std::cout << "orvenna-cli " << kVersion << "\n";
    return 0;
  }

  if (options->action == CliOptions::Action::ListAudioFormats) {
    const std::vector<std::string> formats = AudioFormatNames();
    for (std::size_t i = 0; i < formats.size(); ++i)
      std::cout << i + 1 << "\t" << formats[i] << "\n";
    return 0;
  }

  const std::optional<ScreenKind> kind = ScreenKindOfEnvironment(options->screen, error);
  if (!kind) {
    std::cerr << "orvenna-cli: " << error << "\n";
    return 2;
  }
  if (options->chooseScreen && *kind != ScreenKind::Portal) {
    std::cerr << "orvenna-cli: --choose-screen is for the screen a Wayland desktop shares "
                 "(--screen portal)\n";
    return 2;
  }
  const bool recording = options->action == CliOptions::Action::Record;
  // On a Wayland desktop the window is chosen in the desktop's own chooser, before recording.
  const bool pickWindowHere = *kind == ScreenKind::X11;
  CliLoop loop(options->yes);
  const bool picking =
      recording && (options->regionKind == CliOptions::RegionKind::PickFreeHand ||
                    (options->regionKind == CliOptions::RegionKind::PickWindow && pickWindowHere));
  CliPickers pickers(loop);  // outlives the engine
  UiFactory& ui = picking ? static_cast<UiFactory&>(pickers) : loop;
  const auto desktop = DesktopServices::Open(*kind, loop, ui, error);
  if (!desktop) {
    std::cerr << "orvenna-cli: " << error << "\n";
    return 1;
  }
  if (const std::string note = WaylandSessionNote(*kind); !note.empty() && recording)
    std::cerr << "orvenna-cli: " << note << "\n";
  CliOptions effective = *options;
  if (ScreenSharing* sharing = desktop->Sharing(); sharing != nullptr && recording) {
    if (const int status = ShareScreen(*sharing, effective); status != 0) return status;
    if (const std::string keys = desktop->HotKeysProblem(); !keys.empty())
      std::cerr << "orvenna-cli: " << keys
                << "; stop with Ctrl+C (or SIGTERM), which keeps the "
                   "recording\n";
  }
  if (picking) pickers.Attach(*desktop, *kind);
  Clock& clock = desktop->Services().clock;
  TVistrel engine(desktop->Services());
  Configure(engine, effective);
  if (!FitRegion(engine, effective)) return 2;
  const std::string server = desktop->SoundServerProblem();
  const std::string noInput =
      "no sound input was found" + (server.empty() ? "" : " (" + server + ")");
  if (const std::string problem = AudioInputProblem(engine, *options, noInput); !problem.empty()) {
    std::cerr << "orvenna-cli: " << problem << "\n";
    return 2;
  }
  if (options->action == CliOptions::Action::ListAudioInputs) {
    ApplyAudioInput(engine, *options);
    ListAudioInputs(engine, noInput);
    return 0;
  }
  engine.GetCompressorList();  // for the region and depth asked for
  const std::vector<InstalledCompressor> installed =
      InstalledCompressors(desktop->Services().codecs, engine);
  const std::string regionText = RegionAndDepthText(engine, options->bitsPerPixel);

  if (options->action == CliOptions::Action::ListCompressors) {
    // Before a desktop that shares its screen on request has shared it once, the screen's size
    // is not known, nor what a compressor can take of it.
    const Size size = engine.RecordedRegionSize();
    const bool sizeKnown = size.width > 0 && size.height > 0;
    for (std::size_t i = 0; i < installed.size(); ++i) {
      std::cout << i << "\t" << installed[i].code << "\t" << installed[i].description
                << (sizeKnown && installed[i].catalogue < 0 ? "\t(cannot take " + regionText + ")"
                                                            : "")
                << "\n";
    }
    return 0;
  }

  const int position = ChooseCompressor(installed, options->compressor,
                                        ContainerOfName(options->output), regionText, error);
  if (!error.empty()) {
    std::cerr << "orvenna-cli: " << error << "\n";
    return 2;
  }
  engine.SetSelectedCompressor(position);
  // Refused before anything is changed or recorded: the recorder's own temporary file (the save
  // would end with no file at all), an ending that is no kind of file or a kind that cannot carry
  // the chosen compressor's pictures (without a catalogue entry the recording uses the default
  // compressor), an existing file the user did not let go, and a name that cannot be written.
  const std::uint32_t handler = position >= 0 ? engine.CompressorTable()[position].fccHandler
                                              : TVistrel::DefaultCompressorFcc;
  // The compressor as --compressor names it: its code ("DIB " without the space).
  std::string code = FourCCText(handler);
  code.erase(code.find_last_not_of(' ') + 1);
  std::string problem = engine.TempFileProblem(options->output);
  if (problem.empty()) problem = ContainerProblem(options->output, handler, code);
  if (problem.empty()) problem = ExistingOutputProblem(options->output, options->yes);
  if (problem.empty()) problem = engine.OutputProblem(options->output);
  if (!problem.empty()) {
    std::cerr << "orvenna-cli: " << problem << "\n";
    return 2;
  }
  // Every argument is good: the desktop's sound settings change now.
  if (position >= 0) {
    const std::string note =
        RoundedSizeNote(engine.CompressorFitOf(position), engine.RecordedRegionSize(),
                        CompressorText(installed, engine.CompressorTable()[position].fccHandler));
    if (!note.empty()) std::cerr << "orvenna-cli: " << note << "\n";
  }
  if ((options->audioInput >= 0 || options->audioVolume >= 0) && options->audioFormat <= 0) {
    std::cerr << "orvenna-cli: --audio-input and --audio-volume change the desktop's sound input; "
                 "no sound is recorded without --audio-format\n";
  }
  ApplyAudioInput(engine, *options);

  engine.OnError = [](TVistrel&, const std::string& message) {
    std::cerr << "orvenna-cli: " << message << "\n";
  };
  std::uint32_t lastReport = 0;
  bool started = false;
  engine.OnUpdate = [&](TVistrel& sender) {
    if (!started) {
      // By the first frame the recording has settled its compressor (the default one, when
      // the chosen one failed and the user let it) and its size.
      started = true;
      std::cerr << "orvenna-cli: recording " << RegionAndDepthText(sender, options->bitsPerPixel)
                << " with " << CompressorText(installed, sender.CompressorFcc()) << "\n";
      if (sender.Statistics().playsInRealTime && options->fps * options->intervalMs != 1000) {
        std::cerr << "orvenna-cli: with sound the picture plays in real time, one frame per "
                  << options->intervalMs << " ms, not at --fps " << options->fps << "\n";
      }
    }
    const std::uint32_t now = clock.Milliseconds();
    if (now - lastReport < 1000) return;
    lastReport = now;
    std::cerr << Statistics(sender) << "\n";
  };
  int lastPercent = -100;
  engine.OnSaving = [&](TVistrel&, int percent, const std::string& caption, bool&) {
    if (percent / 10 == lastPercent / 10 && percent != 100) return;
    lastPercent = percent;
    std::cerr << caption << " " << percent << "%\n";
  };

  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGHUP, OnStopSignal);  // the terminal closed: stop and keep, as SIGTERM does
  if (picking) {
    // Ctrl+C, SIGTERM or SIGHUP while the user picks cancels the pick, as Esc does.
    loop.SetEventPump([&engine] {
      CliPickers::ServeWindowEvents();
      if (stopSignal && engine.WaitingForRegion()) engine.HotKeyPressed(TVistrel::FHotKey2);
    });
  }
  if (!engine.StartRecording(options->output)) {
    if (!engine.WaitingForRegion()) {
      std::cerr << "orvenna-cli: the recording could not start\n";
      return 1;
    }
    // The region is picked first: the engine's next tick opens the picker, and a confirmed
    // pick starts the recording.
    loop.RunUntil([&engine] { return !engine.WaitingForRegion(); });
    if (!engine.SessionThreadRunning()) {
      std::cerr << "orvenna-cli: no region was picked, so nothing was recorded\n";
      return 1;
    }
  }
  bool stopAsked = false;
  loop.RunUntil([&] {
    if (stopSignal && !stopAsked) {
      stopAsked = true;
      if (engine.Recording()) engine.StopRecording();
    }
    return !engine.SessionThreadRunning();
  });
  std::cerr << Statistics(engine) << "\n";
  if (!engine.LastSaveSucceeded()) {
    if (engine.CancelledByUser()) {
      std::cerr << "orvenna-cli: the recording was cancelled (Esc), so " << options->output
                << " was not written\n";
    } else {
      std::cerr << "orvenna-cli: " << options->output << " was not written\n";
    }
    return 1;
  }
  if (engine.ScreenLost()) {
    std::cerr << "orvenna-cli: wrote " << options->output
              << ", cut short when the screen could no longer be read\n";
    return kCutShort;
  }
  std::cerr << "orvenna-cli: wrote " << options->output << "\n";
  return 0;
}
