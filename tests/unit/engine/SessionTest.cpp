#include <gtest/gtest.h>

#include <fstream>

#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

// Drives whole recordings on the fake desktop: the clock moves by a fixed step at every grab,
// so the frame loop's slot arithmetic is exact.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = &rig_.Make();
    engine_->SetScreenRegion(TScreenRegion::FixedStable);
    engine_->SetScreenWidth(64);
    engine_->SetScreenHeight(48);
    engine_->SetMSPFRecord(40);
    engine_->OnError = [this](TVistrel&, const std::string& text) { Log("error " + text); };
    engine_->OnStart = [this](TVistrel&) { Log("start"); };
    engine_->OnStop = [this](TVistrel&) { Log("stop"); };
    engine_->OnSaving = [this](TVistrel&, int percent, const std::string& caption, bool& go) {
      if (percent == 100 || percent == 0 || caption != "Saving Video...") {
        Log("saving " + std::to_string(percent) + " " + caption);
      }
      if (cancelSave_) go = false;
    };
    engine_->OnDeleting = [this](TVistrel&, int percent, const std::string& caption, bool&) {
      if (percent == 100) Log("deleting 100" + caption);
    };
    engine_->OnUpdate = [this](TVistrel& e) {
      std::lock_guard guard(lock_);
      updates_.push_back(TVistrel::ElapsedTime().Seconds * 1000 +
                         TVistrel::ElapsedTime().Milliseconds);
      (void)e;
    };
    output_ = rig_.base + "/out.avi";
  }

  // Installs a compressor after the default one, rebuilds the catalogue and selects it; the
  // answer lets the test change how it behaves.
  FakeCompressorBehaviour& Select(std::uint32_t fcc, const std::string& name) {
    FakeCompressorBehaviour behaviour;
    behaviour.fcc = fcc;
    behaviour.name = name;
    rig_.codecs.Add(behaviour);
    engine_->GetCompressorList();
    engine_->SetSelectedCompressor(engine_->CompressorCount() - 1);
    return *rig_.codecs.Find(fcc);
  }

  void Log(const std::string& line) {
    std::lock_guard guard(lock_);
    log_.push_back(line);
  }
  bool Logged(const std::string& line) {
    std::lock_guard guard(lock_);
    return std::find(log_.begin(), log_.end(), line) != log_.end();
  }

  // Each grab moves the clock by `step` ms; the recording stops (keeping it) after `grabs`
  // grabs (the sample frame's grab is the first), or runs until the capture timer ends it
  // when `grabs` is 0.
  void Record(std::uint32_t step, int grabs, TStopRequest how = TStopRequest::Stop) {
    int count = 0;
    RecordUntil(
        step, [&count, grabs] { return grabs > 0 && ++count == grabs; }, how);
  }

  // The same, stopping at the first grab after which `stopNow` answers true (it runs on the
  // recording thread).
  void RecordUntil(std::uint32_t step, std::function<bool()> stopNow,
                   TStopRequest how = TStopRequest::Stop) {
    rig_.screen.onGrab = [&, step, how](const Rect&) {
      rig_.clock.now += step;
      if (!stopNow()) return;
      if (how == TStopRequest::Stop) {
        engine_->StopRecording();
      } else {
        Process().StopRequest = how;
        rig_.shell.PostToUiThread([this] { rig_.hotKeys.Press(TVistrel::FHotKey2); });
      }
    };
    ASSERT_TRUE(engine_->StartRecording(output_));
    rig_.WaitForRecordingThread();
    rig_.screen.onGrab = nullptr;
  }

  // Records with a screen whose grabs fail with `kind` from a second into the recording on;
  // every grab, failed or not, moves the clock by 40 ms. Answers how many grabs failed.
  int RecordUntilTheScreenFails(FailureKind kind) {
    rig_.screen.failureKind = kind;
    int failed = 0;
    int grabs = 0;
    rig_.screen.onFailedGrab = [&] {
      rig_.clock.now += 40;
      ++failed;
    };
    rig_.screen.onGrab = [&](const Rect&) {
      rig_.clock.now += 40;
      if (++grabs == 26) rig_.screen.failGrabs = true;
    };
    EXPECT_TRUE(engine_->StartRecording(output_));
    rig_.WaitForRecordingThread();
    rig_.screen.onGrab = nullptr;
    rig_.screen.onFailedGrab = nullptr;
    rig_.screen.failGrabs = false;
    return failed;
  }

  std::string output_;
  std::mutex lock_;
  std::vector<std::string> log_;
  std::vector<int> updates_;
  bool cancelSave_ = false;
  EngineRig rig_;  // last: the engine reports to the members above until it is gone
  TVistrel* engine_ = nullptr;
};

TEST_F(SessionTest, SlotsRoundHalfToEvenAndTheFirstPassWritesSlotZero) {
  engine_->SetSelectedCompressor(0);
  // Loop pass k (k = 0, 1, ...) sees an elapsed time of 20 k ms: slots 0 0 1 2 2 2 3.
  Record(20, 1 + 7);
  EXPECT_EQ(engine_->FrameIndex(), 3);
  EXPECT_EQ(engine_->FrameCount(), 4);  // slots 0, 1, 2, 3
  EXPECT_EQ(engine_->DroppedFrames(), 0);
  EXPECT_TRUE(Process().SaveSucceeded);
  EXPECT_TRUE(engine_->LastSaveSucceeded());
  EXPECT_TRUE(std::filesystem::exists(output_));
}

TEST_F(SessionTest, SkippedSlotsCountAsDropped) {
  engine_->SetSelectedCompressor(0);
  // Elapsed 0, 120, 240: slots 0, 3, 6.
  Record(120, 1 + 3);
  EXPECT_EQ(engine_->FrameCount(), 3);
  EXPECT_EQ(engine_->DroppedFrames(), 4);
  EXPECT_EQ(engine_->ElapsedTimeText(), "0 : 0 : 0 : 240");
}

TEST_F(SessionTest, UpdatesComeAfterMoreThan200Ms) {
  engine_->SetSelectedCompressor(0);
  Record(70, 1 + 12);  // elapsed 0, 70, ..., 770
  EXPECT_EQ(updates_, (std::vector<int>{210, 420, 630}));
}

TEST_F(SessionTest, CaptureTimerStopsAndKeepsWithoutWaiting) {
  engine_->SetSelectedCompressor(0);
  engine_->SetCaptureTimer(TCaptureTimer{true, 0, 0, 10});
  Record(1000, 0);
  EXPECT_EQ(TVistrel::ElapsedTime(), (TElapsedTime{0, 0, 10, 0}));
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);
  EXPECT_EQ(engine_->FrameCount(), 11);
  EXPECT_TRUE(Logged("saving 100 Saving Success..."));
  EXPECT_TRUE(std::filesystem::exists(output_));
  EXPECT_FALSE(std::filesystem::exists(Process().VideoTempFile));
}

TEST_F(SessionTest, CaptureTimerStopsWhenAPassJumpsOverItsSecond) {
  engine_->SetSelectedCompressor(0);
  engine_->SetCaptureTimer(TCaptureTimer{true, 0, 0, 10});
  // Passes of 2.3 s see 9.2 s and then 11.5 s: the tenth second never shows.
  int grabs = 0;
  RecordUntil(2300, [&grabs] { return ++grabs == 50; });  // a stop that never came, ended
  EXPECT_EQ(TVistrel::ElapsedTime(), (TElapsedTime{0, 0, 11, 500}));
  EXPECT_TRUE(Logged("saving 100 Saving Success..."));
}

TEST_F(SessionTest, EscCancelsWithoutAssembly) {
  engine_->SetSelectedCompressor(0);
  std::ofstream(output_) << "older recording";
  Record(20, 3, TStopRequest::Cancel);
  EXPECT_TRUE(Logged("start"));
  EXPECT_TRUE(Logged("stop"));
  EXPECT_FALSE(Logged("saving 100 Saving Success..."));
  EXPECT_FALSE(Process().SaveSucceeded);
  EXPECT_FALSE(engine_->LastSaveSucceeded());
  std::ifstream older(output_);
  std::string text;
  std::getline(older, text);
  EXPECT_EQ(text, "older recording");  // untouched
  EXPECT_FALSE(std::filesystem::exists(Process().VideoTempFile));
}

TEST_F(SessionTest, NoSelectionAskedAndDeclinedAborts) {
  Record(20, 3);
  ASSERT_EQ(rig_.shell.questions.size(), 1u);
  EXPECT_EQ(rig_.shell.questions[0], "Notice|You no selected compressor, use default compressor?");
  EXPECT_TRUE(Logged("error User aborted!"));
  EXPECT_FALSE(Logged("start"));
  EXPECT_FALSE(Logged("stop"));
  EXPECT_EQ(Process().StopRequest, TStopRequest::Cancel);
}

TEST_F(SessionTest, AcceptedDefaultIsUsedUntilASessionSucceeds) {
  rig_.shell.answers = {true};
  engine_->OnStart = [this](TVistrel& e) {
    Log("start");
    EXPECT_TRUE(e.UseDefaultCompressor());
    EXPECT_EQ(e.CodecName(), "MS Video Codec");
  };
  Record(20, 3);
  EXPECT_TRUE(Logged("start"));
  EXPECT_FALSE(engine_->UseDefaultCompressor());
  EXPECT_TRUE(Process().SaveSucceeded);
}

TEST_F(SessionTest, UnopenableSelectionAsksForTheDefault) {
  Select(FourCC('B', 'R', 'K', 'N'), "Broken");
  ASSERT_EQ(engine_->CompressorCount(), 2);
  engine_->SetSelectedCompressor(7);  // outside the catalogue: cannot be opened
  Record(20, 3);
  ASSERT_EQ(rig_.shell.questions.size(), 1u);
  EXPECT_EQ(rig_.shell.questions[0],
            "Notice|Error: Not recording AVI file using current compressor.\r\n"
            "Use default compressor? ");
  EXPECT_TRUE(Logged("error User aborted!"));
}

TEST_F(SessionTest, RefusedSizesAreRoundedToTwoFourAndEight) {
  std::vector<std::pair<int, int>> tried;
  FakeCompressorBehaviour eights;
  eights.fcc = FourCC('E', 'I', 'G', 'T');
  eights.name = "Eights";
  eights.accepts = [&tried](const BitmapInfoHeader& h) {
    tried.emplace_back(h.width, h.height);
    return h.width % 8 == 0 && h.height % 8 == 0;
  };
  rig_.codecs.Add(eights);
  engine_->SetScreenWidth(301);
  engine_->SetScreenHeight(300);
  engine_->GetCompressorList();
  ASSERT_EQ(engine_->CompressorCount(), 2);  // both take 301 x 300 rounded
  engine_->SetSelectedCompressor(1);
  tried.clear();
  Record(20, 6);
  const std::vector<std::pair<int, int>> expected = {
      {301, 300}, {302, 300}, {304, 300}, {304, 304}};
  ASSERT_GE(tried.size(), expected.size());
  EXPECT_EQ(std::vector(tried.begin(), tried.begin() + 4), expected);
  EXPECT_EQ(engine_->ScreenWidth(), 304);
  EXPECT_EQ(engine_->ScreenHeight(), 304);
  EXPECT_EQ(engine_->CodecName(), "Eights");
  EXPECT_TRUE(Process().SaveSucceeded);
}

TEST_F(SessionTest, EveryRefusedSizeThenDefaultKeepsFormatAndFramesAlike) {
  Select(FourCC('N', 'O', 'N', 'E'), "Nothing").accepts = [](const BitmapInfoHeader&) {
    return false;
  };
  engine_->SetScreenWidth(301);
  engine_->SetScreenHeight(299);
  rig_.shell.answers = {true};
  Record(20, 5);
  ASSERT_EQ(rig_.shell.questions.size(), 1u);
  EXPECT_EQ(rig_.shell.questions[0],
            "Notice|Error: This compressor cann`t work if the dimensions is adjusted slightly\r\n"
            "Use default compressor? ");
  // The copying encoder refuses frames of another size than the format's, so a saved
  // recording proves that every frame matched it.
  EXPECT_EQ(engine_->ScreenWidth(), 304);
  EXPECT_EQ(engine_->ScreenHeight(), 304);
  EXPECT_TRUE(Process().SaveSucceeded);
  EXPECT_FALSE(Logged("error Error on write data to AVI stream."));
}

TEST_F(SessionTest, FailedWriteOffersTheDefaultAndRunsAgain) {
  Select(FourCC('F', 'L', 'K', 'Y'), "Flaky").failEncodeAt = 1;
  rig_.shell.answers = {true};
  std::atomic<int> starts{0};
  engine_->OnStart = [&](TVistrel&) { ++starts; };
  int grabsOfTheRerun = 0;
  RecordUntil(20, [&] { return starts == 2 && ++grabsOfTheRerun == 4; });
  EXPECT_TRUE(Logged("error Error on write data to AVI stream."));
  ASSERT_EQ(rig_.shell.questions.size(), 1u);
  EXPECT_EQ(starts, 2);
  // The rerun with the default compressor was stopped with the stop button: it is kept.
  EXPECT_TRUE(Process().SaveSucceeded);
  EXPECT_EQ(engine_->CodecName(), "MS Video Codec");
  EXPECT_FALSE(engine_->UseDefaultCompressor());
}

TEST_F(SessionTest, FailedWriteDeclinedEndsForGood) {
  Select(FourCC('F', 'L', 'K', 'Y'), "Flaky").failEncodeAt = 0;
  Record(20, 8);
  EXPECT_TRUE(Logged("error User aborted!"));
  EXPECT_EQ(Process().StopRequest, TStopRequest::Cancel);
  EXPECT_FALSE(engine_->Recording());
}

TEST_F(SessionTest, FailureWithTheDefaultCompressorStopsTheThread) {
  rig_.codecs.Find(TVistrel::DefaultCompressorFcc)->failEncodeAt = 0;
  engine_->SetSelectedCompressor(0);
  Record(20, 8);
  EXPECT_TRUE(Logged("error Error creating AVI file with \"MS Video Codec\"."));
  EXPECT_TRUE(rig_.shell.questions.empty());
}

TEST_F(SessionTest, OldVideoLibraryIsRefused) {
  rig_.codecs.version = 0x01090000;
  engine_->SetSelectedCompressor(0);
  Record(20, 3);
  EXPECT_TRUE(Logged("error Failure: Video for windows version too old!"));
  EXPECT_FALSE(Logged("start"));
}

TEST_F(SessionTest, ExistingOutputIsReplaced) {
  engine_->SetSelectedCompressor(0);
  std::ofstream(output_) << "older recording";
  Record(20, 4);
  EXPECT_TRUE(Process().SaveSucceeded);
  std::ifstream file(output_, std::ios::binary);
  char riff[4];
  file.read(riff, 4);
  EXPECT_EQ(std::string(riff, 4), "RIFF");
}

// What can be seen before recording is refused then, with the file and the cause, and nothing
// is recorded.
TEST_F(SessionTest, AnOutputThatCannotBeWrittenIsRefusedBeforeRecording) {
  engine_->SetSelectedCompressor(0);
  std::filesystem::create_directory(rig_.base + "/folder.avi");
  const struct {
    std::string output;
    std::string cause;
  } cases[] = {
      {rig_.base + "/missing-folder/out.avi", "its folder " + rig_.base + "/missing-folder"},
      {rig_.base + "/folder.avi", "a folder stands at that name"},
      {rig_.base + "/" + std::string(300, 'x') + ".avi", "the name is too long"},
      {"/proc/out.avi", "no file can be made in its folder /proc"},
  };
  for (const auto& c : cases) {
    log_.clear();
    EXPECT_FALSE(engine_->StartRecording(c.output)) << c.output;
    ASSERT_EQ(log_.size(), 1u) << c.output;
    EXPECT_EQ(
        log_[0].rfind("error The recording cannot be saved as " + c.output + ": " + c.cause, 0), 0u)
        << log_[0];
    EXPECT_FALSE(engine_->SessionThreadRunning());
  }
}

// A name of no known kind, or an MP4 file with pictures MP4 cannot carry, is refused before
// recording; a recording that went on with the default compressor when the chosen one failed is
// kept as an AVI file beside the MP4 name.
TEST_F(SessionTest, PicturesTheKindOfFileCannotCarryAreRefusedOrKept) {
  engine_->SetSelectedCompressor(0);
  const std::string mp4 = rig_.base + "/out.mp4";
  for (const std::string& output : {mp4, rig_.base + "/out.webm"}) {
    log_.clear();
    EXPECT_FALSE(engine_->StartRecording(output));
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].rfind("error " + output + ": ", 0), 0u) << log_[0];
  }
  EXPECT_NE(log_[0].find(".avi (AVI), .mkv (Matroska) or .mp4 (MP4)"), std::string::npos);

  Select(FourCC('H', '2', '6', '4'), "H.264").opens = false;
  rig_.shell.answers = {true};  // use the default compressor
  output_ = mp4;
  Record(20, 4);
  EXPECT_TRUE(Logged("error " + mp4 +
                     ": MP4 files carry H.264 or MPEG-4 pictures, not MSVC; "
                     "choose one of those compressors, or name the file .mkv or .avi to keep "
                     "MSVC."))
      << testing::PrintToString(log_);
  EXPECT_TRUE(Logged("error The recording was kept in " + rig_.base + "/out.recovered.avi."));
  EXPECT_FALSE(std::filesystem::exists(mp4));
}

TEST_F(SessionTest, FailedSaveKeepsTheRecording) {
  engine_->SetSelectedCompressor(0);
  const std::string folder = rig_.base + "/going";
  std::filesystem::create_directory(folder);
  output_ = folder + "/out.avi";
  int grabs = 0;
  RecordUntil(20, [&] { return ++grabs == 4 && std::filesystem::remove_all(folder) > 0; });
  EXPECT_FALSE(Process().SaveSucceeded);
  const std::string kept = rig_.TempFolder() + "out.recovered.avi";
  EXPECT_TRUE(Logged("error The recording was kept in " + kept + "."))
      << testing::PrintToString(log_);
  EXPECT_TRUE(std::filesystem::exists(kept));
  EXPECT_FALSE(Logged("saving 100 Saving Success..."));
}

TEST_F(SessionTest, CancelledSaveKeepsNothing) {
  engine_->SetSelectedCompressor(0);
  cancelSave_ = true;
  Record(20, 4);
  EXPECT_TRUE(Logged("error Error: user abort!"));
  EXPECT_FALSE(std::filesystem::exists(rig_.TempFolder() + "out.recovered.avi"));
  EXPECT_FALSE(std::filesystem::exists(Process().VideoTempFile));
}

TEST_F(SessionTest, StreamHeaderCarriesTheRecordingSettings) {
  Select(FourCC('N', 'A', 'M', 'E'), "Named codec");
  engine_->SetFPSPlayBack(30);
  engine_->SetColors(0);
  engine_->SetScreenWidth(100);
  engine_->SetScreenHeight(50);
  Record(40, 1 + 4);  // slots 0, 1, 2, 3
  ASSERT_TRUE(Process().SaveSucceeded);

  PAVIFILE file;
  ASSERT_EQ(AVIFileOpen(file, rig_.files, output_, OF_READ), AVIERR_OK);
  PAVISTREAM stream;
  ASSERT_EQ(AVIFileGetStream(file, stream, 0, 0), AVIERR_OK);
  AVIFileRelease(file);
  AVISTREAMINFOA info;
  ASSERT_EQ(AVIStreamInfo(stream, info), AVIERR_OK);
  EXPECT_EQ(info.fccType, streamtypeVIDEO);
  EXPECT_EQ(info.fccHandler, FourCC('N', 'A', 'M', 'E'));
  EXPECT_EQ(info.dwScale, 1u);
  EXPECT_EQ(info.dwRate, 30u);
  EXPECT_EQ(info.dwLength, 4u);
  EXPECT_EQ(info.dwSuggestedBufferSize, 100u * 50u);  // 8 bits: rows of 100 bytes
  EXPECT_EQ(info.rcFrameRight, 100);
  EXPECT_EQ(info.rcFrameBottom, 50);
  EXPECT_STREQ(info.szName, "Named codec");
  std::int32_t formatSize = 0;
  ASSERT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &formatSize), AVIERR_OK);
  EXPECT_EQ(formatSize, 40 + 1024);  // header and colour table
  AVIStreamRelease(stream);
}

TEST_F(SessionTest, FrontEndSeesTheEventsOfAStoppedRecordingInOrder) {
  engine_->SetSelectedCompressor(0);
  std::ofstream(output_) << "older recording";
  std::vector<std::string> events;
  const auto note = [&](const std::string& event) {
    std::lock_guard guard(lock_);
    if (events.empty() || events.back() != event) events.push_back(event);
  };
  engine_->OnStop = [&](TVistrel&) { note("stop"); };
  engine_->OnSaving = [&](TVistrel&, int percent, const std::string& caption, bool&) {
    note(caption == "Saving Video..." ? "saving" : caption + " " + std::to_string(percent));
  };
  engine_->OnDeleting = [&](TVistrel&, int percent, const std::string& caption, bool&) {
    note(percent == 100 ? "deleted" : "deleting " + caption);
  };
  Record(20, 1 + 4);
  EXPECT_EQ(events, (std::vector<std::string>{
                        "deleted",  // a left-over temporary video, before the recording
                        // the older output file stays until the new one replaces it whole
                        "stop", "saving", "Saving Success... 100", "deleting Delete Temp File",
                        "deleted",  // the temporary files
                    }));
  EXPECT_FALSE(engine_->Recording());
  EXPECT_FALSE(engine_->SessionThreadRunning());
}

// The streams of the saved file: their types, and the audio format when there is one.
struct SavedStreams {
  std::vector<std::uint32_t> types;
  WAVEFORMATEX audio;
  std::uint32_t audioBlocks = 0;
  std::uint32_t videoFrames = 0;
};

SavedStreams ReadStreams(Files& files, const std::string& path) {
  SavedStreams saved;
  PAVIFILE file;
  if (AVIFileOpen(file, files, path, OF_READ) != AVIERR_OK) return saved;
  for (int index = 0;; ++index) {
    PAVISTREAM stream;
    if (AVIFileGetStream(file, stream, 0, index) != AVIERR_OK) break;
    AVISTREAMINFOA info;
    AVIStreamInfo(stream, info);
    saved.types.push_back(info.fccType);
    if (info.fccType == streamtypeVIDEO) saved.videoFrames = info.dwLength;
    if (info.fccType == streamtypeAUDIO) {
      std::int32_t size = sizeof saved.audio;
      AVIStreamReadFormat(stream, 0, &saved.audio, &size);
      saved.audioBlocks = info.dwLength;
    }
    AVIStreamRelease(stream);
  }
  AVIFileRelease(file);
  return saved;
}

// A recording stopped before its first picture (here at the sample's grab) writes no file of
// any kind, with sound or without, and says why.
TEST_F(SessionTest, AStopBeforeTheFirstPictureWritesNothingAndSaysSo) {
  engine_->SetSelectedCompressor(0);
  engine_->SetAudioFormatsIndex(2);
  for (const char* name : {"first.avi", "first.mkv"}) {
    for (const bool sound : {false, true}) {
      engine_->SetUseAudioRecord(sound);
      output_ = rig_.base + "/" + name;
      Record(40, 1);
      EXPECT_FALSE(Process().SaveSucceeded) << name;
      EXPECT_FALSE(std::filesystem::exists(output_)) << name;
      EXPECT_TRUE(
          Logged("error Nothing was recorded: the recording ended before its first picture."))
          << name;
      EXPECT_FALSE(std::filesystem::exists(Process().VideoTempFile)) << name;
    }
  }
}

TEST_F(SessionTest, SoundIsSavedAsTheSecondStream) {
  engine_->SetSelectedCompressor(0);
  engine_->SetUseAudioRecord(true);
  engine_->SetAudioFormatsIndex(2);  // 16-bit mono at 8 kHz
  Record(40, 1 + 50);                // two seconds
  ASSERT_TRUE(Process().SaveSucceeded);
  const SavedStreams saved = ReadStreams(rig_.files, output_);
  ASSERT_EQ(saved.types, (std::vector<std::uint32_t>{streamtypeVIDEO, streamtypeAUDIO}));
  EXPECT_EQ(saved.audio.nSamplesPerSec, 8000u);
  EXPECT_EQ(saved.audio.wBitsPerSample, 16);
  // As long as the picture: 50 slots of 40 ms.
  EXPECT_EQ(saved.audioBlocks, 16000u);
  EXPECT_FALSE(std::filesystem::exists(Process().AudioTempFile));
}

TEST_F(SessionTest, SoundFromASlowClockIsStretchedToTheRecordingsLength) {
  rig_.waveIn.clockSkew = -0.004;  // 4 ms of sound short every second
  engine_->SetSelectedCompressor(0);
  engine_->SetUseAudioRecord(true);
  engine_->SetAudioFormatsIndex(2);  // 16-bit mono at 8 kHz
  int grabs = 0;
  RecordUntil(10, [&] {
    // Real time for the generator to hand each buffer over as it fills, so that the clock
    // read at its arrival is near the clock at which it filled.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return ++grabs == 1 + 2000;  // twenty seconds
  });
  ASSERT_TRUE(Process().SaveSucceeded);
  // 160000 frames of the twenty seconds and 40 of the half-slot lead; the 640 that the slow
  // clock left out are made up, as well as the arrival times can tell.
  EXPECT_NEAR(ReadStreams(rig_.files, output_).audioBlocks, 160000 + 40, 320);
}

TEST_F(SessionTest, SoundThatCannotStartCostsOnlyTheSound) {
  rig_.waveIn.openResult = MMSYSERR_NODRIVER;
  engine_->SetSelectedCompressor(0);
  engine_->SetUseAudioRecord(true);
  Record(40, 1 + 10);
  EXPECT_TRUE(
      Logged("error The sound cannot be recorded: " + rig_.waveIn.ErrorText(MMSYSERR_NODRIVER) +
             ". The recording goes on without sound."));
  ASSERT_TRUE(Process().SaveSucceeded);
  EXPECT_EQ(ReadStreams(rig_.files, output_).types, (std::vector<std::uint32_t>{streamtypeVIDEO}));
}

TEST_F(SessionTest, SoundThatStopsMidwayIsReportedWithItsTimeAndKept) {
  engine_->SetSelectedCompressor(0);
  engine_->SetUseAudioRecord(true);
  int grabs = 0;
  RecordUntil(40, [&] {
    if (++grabs == 26) rig_.waveIn.vanish = true;  // a second into the recording
    if (grabs > 26) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return grabs == 40;
  });
  const auto stopped = std::find_if(log_.begin(), log_.end(), [](const std::string& line) {
    return line.starts_with("error The sound stopped ");
  });
  ASSERT_NE(stopped, log_.end());
  EXPECT_TRUE(stopped->ends_with(rig_.waveIn.ErrorText(MMSYSERR_NOTENABLED) +
                                 ". The video was recorded whole."));
  ASSERT_TRUE(Process().SaveSucceeded);
  EXPECT_EQ(ReadStreams(rig_.files, output_).types.size(), 2u);
}

TEST_F(SessionTest, AScreenThatCanNoLongerBeReadEndsTheRecordingAsAStop) {
  engine_->SetSelectedCompressor(0);
  // The display goes away: no grab is tried again.
  EXPECT_EQ(RecordUntilTheScreenFails(FailureKind::Permanent), 1);
  const auto lost = std::find_if(log_.begin(), log_.end(), [](const std::string& line) {
    return line.starts_with("error The screen can no longer be read (");
  });
  ASSERT_NE(lost, log_.end());
  EXPECT_TRUE(
      lost->ends_with("): the recording was stopped 1.0 s into it, and what was recorded "
                      "until then is kept."))
      << *lost;
  EXPECT_FALSE(Logged("error Error retrieving bitmap bits"));
  ASSERT_TRUE(Process().SaveSucceeded);
  EXPECT_EQ(ReadStreams(rig_.files, output_).videoFrames, 25u);  // slots 0 to 24
}

// Grabs that fail for a moment (the server refused one read) are tried again within the slot;
// failures that go on for a second have lost the screen.
TEST_F(SessionTest, ATemporaryGrabFailureIsTriedAgainAndTheRecordingGoesOn) {
  engine_->SetSelectedCompressor(0);
  rig_.screen.failureKind = FailureKind::Temporary;
  int failed = 0;
  rig_.screen.onFailedGrab = [&] {
    rig_.clock.now += 5;
    ++failed;
    rig_.screen.failGrabs = false;  // the next try reads
  };
  int grabs = 0;
  RecordUntil(40, [&] {
    if (++grabs == 11) rig_.screen.failGrabs = true;
    return grabs == 1 + 20;
  });
  rig_.screen.onFailedGrab = nullptr;
  EXPECT_EQ(failed, 1);
  EXPECT_FALSE(engine_->ScreenLost());
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                          [](const std::string& line) { return line.starts_with("error "); }),
            0);
  ASSERT_TRUE(Process().SaveSucceeded);
  EXPECT_EQ(ReadStreams(rig_.files, output_).videoFrames, 20u);  // slots 0 to 19
}

TEST_F(SessionTest, TemporaryGrabFailuresThatLastASecondEndTheRecordingAsAStop) {
  engine_->SetSelectedCompressor(0);
  // Tried again until the failures had lasted a second (25 tries, 40 ms apart), then given up.
  EXPECT_EQ(RecordUntilTheScreenFails(FailureKind::Temporary), 25);
  EXPECT_TRUE(engine_->ScreenLost());
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);
  EXPECT_TRUE(Logged(
      "error The screen can no longer be read (the fake screen fails its grabs): the recording "
      "was stopped 1.0 s into it, and what was recorded until then is kept."));
  ASSERT_TRUE(Process().SaveSucceeded);
  EXPECT_EQ(ReadStreams(rig_.files, output_).videoFrames, 25u);  // slots 0 to 24
}

TEST(ElapsedTime, SplitsAndFormats) {
  EXPECT_EQ(SplitElapsedTime(3723050), (TElapsedTime{1, 2, 3, 50}));
  EXPECT_EQ(SplitElapsedTime(65250), (TElapsedTime{0, 1, 5, 250}));
}

}  // namespace
}  // namespace orvenna
