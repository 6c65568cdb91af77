#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/Vistrel.h"
#include "platform/PosixFiles.h"
#include "platform/fake/FakeCompressors.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeMixer.h"
#include "platform/fake/FakeScreen.h"
#include "platform/fake/GeneratorWaveIn.h"
#include "platform/mux/LibavContainerWriter.h"
#include "platform/resample/PcmResampler.h"

namespace orvenna {

// An engine on fakes: a synthetic 1024x768 screen, a hand-moved clock, scripted answers, and
// real files in a private folder that goes away with the rig.
struct EngineRig {
  EngineRig() : base(MakeBase()), files(base) {
    FakeCompressorBehaviour msvc;
    msvc.fcc = TVistrel::DefaultCompressorFcc;
    msvc.name = "MSVC";
    msvc.description = "Microsoft Video 1";
    codecs.Add(msvc);
  }
  ~EngineRig() {
    Release();
    std::filesystem::remove_all(base);
  }

  // Destroys the engine; for tests whose engine uses services that go before the rig.
  void Release() {
    // The handlers may point at the test's locals, which are gone by now.
    if (engine) {
      engine->OnError = nullptr;
      engine->OnPreview = nullptr;
      engine->OnDeleting = nullptr;
      engine->OnSaving = nullptr;
      engine->OnUpdate = nullptr;
    }
    engine.reset();
  }

  TVistrel& Make() {
    engine = std::make_unique<TVistrel>(platform);
    return *engine;
  }

  // Runs what the engine posted to the UI thread until the recording thread has ended.
  void WaitForRecordingThread() {
    shell.ProcessEventsUntil([this] { return !engine->SessionThreadRunning(); });
  }

  std::string TempFolder() { return files.TempFolder(); }

  static std::string MakeBase() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/orvenna-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data());
  }

  std::string base;
  FakeScreen screen{Size{1024, 768}};
  FakeCursor cursor;
  FakeHotKeys hotKeys;
  PosixFiles files;
  ManualClock clock;
  FakeShell shell;
  FakeUiFactory ui;
  FakeCompressionManager codecs;
  GeneratorWaveInDriver waveIn{clock};
  FakeMixerDriver mixer;
  PcmResamplingConverter audioConverter;
  LibavContainerWriter containers;
  Platform platform{.screen = screen,
                    .cursor = cursor,
                    .hotKeys = hotKeys,
                    .files = files,
                    .clock = clock,
                    .shell = shell,
                    .ui = ui,
                    .codecs = codecs,
                    .waveIn = waveIn,
                    .mixer = mixer,
                    .audioConverter = audioConverter,
                    .containers = containers};
  std::unique_ptr<TVistrel> engine;
};

}  // namespace orvenna
