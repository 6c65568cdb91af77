// A recording is never lost and no file of the user's is destroyed: full disks at either end,
// earlier rescued recordings, names too long, and a temporary file taken away meanwhile.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/FileText.h"
#include "tests/unit/engine/EngineRig.h"
#include "tests/unit/engine/FaultyFiles.h"

namespace orvenna {
namespace {

namespace fs = std::filesystem;

// The positions of the video stream of an AVI file, or -1 when it cannot be read.
std::int64_t FramesIn(Files& files, const std::string& path) {
  PAVIFILE file;
  PAVISTREAM stream;
  AVISTREAMINFOA info;
  if (AVIFileOpen(file, files, path, OF_READ) != AVIERR_OK) return -1;
  const bool read = AVIFileGetStream(file, stream, streamtypeVIDEO, 0) == AVIERR_OK &&
                    AVIStreamInfo(stream, info) == AVIERR_OK;
  AVIFileRelease(file);
  return read ? info.dwLength : -1;
}

bool HasSound(Files& files, const std::string& path) {
  PAVIFILE file;
  PAVISTREAM stream;
  if (AVIFileOpen(file, files, path, OF_READ) != AVIERR_OK) return false;
  const bool found = AVIFileGetStream(file, stream, streamtypeAUDIO, 0) == AVIERR_OK;
  AVIFileRelease(file);
  return found;
}

// The permissions a file saved for the user gets under the current umask.
fs::perms SavedFilePermissions() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<fs::perms>(0666 & ~mask);
}

class KeepRecordingTest : public ::testing::Test {
 protected:
  // The engine uses faulty_, which goes before the rig.
  ~KeepRecordingTest() override { rig_.Release(); }

  void SetUp() override {
    rig_.engine = std::make_unique<TVistrel>(platform_);
    engine_ = rig_.engine.get();
    engine_->SetScreenRegion(TScreenRegion::FixedStable);
    engine_->SetScreenWidth(64);
    engine_->SetScreenHeight(48);
    engine_->SetMSPFRecord(40);
    engine_->SetSelectedCompressor(0);
    engine_->OnError = [this](TVistrel&, const std::string& text) {
      std::lock_guard guard(lock_);
      errors_ += text + "\n";
    };
    output_ = rig_.base + "/out.avi";
  }

  // Records `grabs` grabs, 40 ms apart, then stops to keep; `duringGrab` runs at each grab on
  // the recording thread with the grab's number (the sample frame's is 1).
  void Record(int grabs, std::function<void(int)> duringGrab = nullptr) {
    int count = 0;
    rig_.screen.onGrab = [&](const Rect&) {
      rig_.clock.now += 40;
      ++count;
      if (duringGrab) duringGrab(count);
      if (count == grabs) engine_->StopRecording();
    };
    ASSERT_TRUE(engine_->StartRecording(output_));
    rig_.WaitForRecordingThread();
    rig_.screen.onGrab = nullptr;
  }

  bool Said(const std::string& text) {
    std::lock_guard guard(lock_);
    return errors_.find(text) != std::string::npos;
  }

  // The files of the rig's folder other than the temporary folder.
  std::vector<std::string> FilesBesideTheOutput() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(rig_.base)) {
      if (!entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  EngineRig rig_;
  FaultyFiles faulty_{rig_.files};
  Platform platform_{.screen = rig_.screen,
                     .cursor = rig_.cursor,
                     .hotKeys = rig_.hotKeys,
                     .files = faulty_,
                     .clock = rig_.clock,
                     .shell = rig_.shell,
                     .ui = rig_.ui,
                     .codecs = rig_.codecs,
                     .waveIn = rig_.waveIn,
                     .mixer = rig_.mixer,
                     .audioConverter = rig_.audioConverter,
                     .containers = rig_.containers};
  TVistrel* engine_ = nullptr;
  std::string output_;
  std::mutex lock_;
  std::string errors_;
};

TEST_F(KeepRecordingTest, FullTemporaryDiskEndsAsAStopAndSavesWhatWasWritten) {
  faulty_.full = [](const std::string& path) { return path.ends_with("~vstream.avi"); };
  faulty_.room = 64 * 48 * 4 * 5;  // about four frames after the headers
  Record(100);
  EXPECT_TRUE(rig_.shell.questions.empty()) << "no question about the default compressor";
  EXPECT_TRUE(Said("The disk holding the temporary folder " + rig_.TempFolder() +
                   " is full: the recording was stopped there, and the 0.1 s"))
      << errors_;
  EXPECT_FALSE(Said("Error on write data to AVI stream."));
  EXPECT_TRUE(Process().SaveSucceeded);
  const std::int64_t frames = FramesIn(rig_.files, output_);
  EXPECT_GE(frames, 2);
  EXPECT_LE(frames, 4);
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);
}

TEST_F(KeepRecordingTest, FullTargetDiskLeavesTheOldFileAndKeepsTheRecording) {
  std::ofstream(output_) << "older recording";
  faulty_.full = [this](const std::string& path) { return path.starts_with(rig_.base + "/."); };
  faulty_.room = 20000;
  Record(12);
  EXPECT_FALSE(Process().SaveSucceeded);
  EXPECT_EQ(test::ReadText(output_), "older recording");
  EXPECT_TRUE(Said("The disk holding " + rig_.base + "/ is full: " + output_)) << errors_;
  EXPECT_TRUE(Said("The recording was kept in " + rig_.base + "/out.recovered.avi."));
  // No partial file is left behind.
  EXPECT_EQ(FilesBesideTheOutput(), (std::vector<std::string>{"out.avi", "out.recovered.avi"}));
  EXPECT_EQ(FramesIn(rig_.files, rig_.base + "/out.recovered.avi"), 11);
}

TEST_F(KeepRecordingTest, KeptRecordingsNeverReplaceAFile) {
  // The target's folder refuses the save (the output is a folder); each rescued recording
  // takes the next free name, and a file of the user's with such a name stays.
  fs::create_directory(output_);
  std::ofstream(rig_.base + "/out.recovered-2.avi") << "the user's";
  const std::vector<std::string> expected = {"out.recovered.avi", "out.recovered-3.avi",
                                             "out.recovered-4.avi"};
  for (const std::string& name : expected) {
    Record(4);
    EXPECT_TRUE(Said("The recording was kept in " + rig_.base + "/" + name + ".")) << errors_;
    EXPECT_EQ(FramesIn(rig_.files, rig_.base + "/" + name), 3) << name;
  }
  EXPECT_EQ(test::ReadText(rig_.base + "/out.recovered-2.avi"), "the user's");
}

TEST_F(KeepRecordingTest, NameTooLongIsSaidAndTheRecordingKeptUnderAShorterName) {
  const std::string longName(300, 'n');
  output_ = rig_.base + "/" + longName + ".avi";
  Record(4);
  EXPECT_FALSE(Process().SaveSucceeded);
  EXPECT_TRUE(Said("The file name is too long for the file system: " + output_)) << errors_;
  const std::vector<std::string> names = FilesBesideTheOutput();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(names[0].ends_with(".recovered.avi"));
  EXPECT_LE(names[0].size(), 255u);
  EXPECT_TRUE(Said("The recording was kept in " + rig_.base + "/" + names[0] + "."));
  EXPECT_EQ(FramesIn(rig_.files, rig_.base + "/" + names[0]), 3);
}

TEST_F(KeepRecordingTest, TemporaryFileTakenAwayMeanwhileIsCopiedOut) {
  struct Case {
    const char* name;
    bool putAnotherInItsPlace;
  };
  for (const Case& c : {Case{"deleted", false}, Case{"replaced", true}}) {
    SCOPED_TRACE(c.name);
    errors_.clear();
    Record(8, [&](int grab) {
      if (grab != 4) return;
      fs::remove(Process().VideoTempFile);
      if (c.putAnotherInItsPlace) std::ofstream(Process().VideoTempFile) << "not a recording";
    });
    EXPECT_TRUE(Said("The temporary file " + Process().VideoTempFile +
                     " was deleted or replaced during the recording; what was recorded was "
                     "copied out of it and is saved from the copy."))
        << errors_;
    EXPECT_TRUE(Process().SaveSucceeded);
    EXPECT_EQ(FramesIn(rig_.files, output_), 7);
    EXPECT_FALSE(fs::exists(Process().VideoTempFile + ".rescued"));
  }
}

// Without leave to replace, a file that appears at the output name during the recording stays
// as it was and the recording is kept whole beside it, which is said; with leave it is
// replaced. No hidden file is left either way.
TEST_F(KeepRecordingTest, AFileThatAppearsMeanwhileIsReplacedOnlyWithLeave) {
  struct Case {
    const char* name;
    bool replace;
    bool appears;
    const char* savedAs;
  };
  for (const Case& c :
       {Case{"with leave", true, true, "out.avi"}, Case{"without leave", false, true, "out-2.avi"},
        Case{"without leave, nothing there", false, false, "out.avi"}}) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : fs::directory_iterator(rig_.base))
      if (!entry.is_directory()) fs::remove(entry.path());
    errors_.clear();
    engine_->SetReplaceOutput(c.replace);
    Record(4, [&](int grab) {
      if (c.appears && grab == 2) std::ofstream(output_) << "copied in";
    });
    const bool kept = std::string(c.savedAs) != "out.avi";
    EXPECT_EQ(Process().SaveSucceeded, !kept);
    EXPECT_EQ(FramesIn(rig_.files, rig_.base + "/" + c.savedAs), 3);
    if (kept) {
      EXPECT_EQ(test::ReadText(output_), "copied in");
      EXPECT_TRUE(Said(output_ +
                       " was created by another program during the recording and was left as it "
                       "was; the recording was kept in " +
                       rig_.base + "/out-2.avi."))
          << errors_;
    }
    EXPECT_EQ(FilesBesideTheOutput().size(), kept ? 2u : 1u);
  }
}

// A save with sound that fails keeps picture and sound in one AVI file where one can be
// written, else both files as they are under one free base name; kept files get the
// permissions of a saved file, not the temporary files' private ones.
TEST_F(KeepRecordingTest, AFailedSaveWithSoundKeepsOneFileElseAPairUnderOneName) {
  fs::create_directory(output_);  // the save fails
  std::ofstream(rig_.base + "/out.recovered.wav") << "the user's";
  engine_->SetUseAudioRecord(true);
  engine_->SetAudioFormatsIndex(2);  // 16-bit mono at 8 kHz
  struct Case {
    const char* name;
    bool targetDiskFull;
    std::vector<std::string> kept;
  };
  for (const Case& c :
       {Case{"room beside the target", false, {"out.recovered.avi"}},
        Case{"no room there", true, {"out.recovered-2.avi", "out.recovered-2.wav"}}}) {
    SCOPED_TRACE(c.name);
    errors_.clear();
    faulty_.full = [this, full = c.targetDiskFull](const std::string& path) {
      return full && path.starts_with(rig_.base + "/.");
    };
    faulty_.room = 1000;
    Record(25);
    std::string said = "The recording was kept in ";
    for (std::size_t i = 0; i < c.kept.size(); ++i)
      said += (i ? " and " : "") + rig_.base + "/" + c.kept[i];
    EXPECT_TRUE(Said(said + ".")) << errors_;
    EXPECT_EQ(FramesIn(rig_.files, rig_.base + "/" + c.kept[0]), 24);
    EXPECT_EQ(HasSound(rig_.files, rig_.base + "/" + c.kept[0]), c.kept.size() == 1);
    for (const std::string& name : c.kept) {
      EXPECT_EQ(fs::status(rig_.base + "/" + name).permissions(), SavedFilePermissions()) << name;
    }
  }
  EXPECT_EQ(test::ReadText(rig_.base + "/out.recovered.wav"), "the user's");
}

// The sound file is written through the engine's files, so a full disk under it is the
// sound's own failure: the video goes on and the user hears what stopped the sound.
TEST_F(KeepRecordingTest, FullDiskUnderTheSoundFileStopsTheSoundAndSaysSo) {
  engine_->SetUseAudioRecord(true);
  engine_->SetAudioFormatsIndex(2);  // 16-bit mono at 8 kHz: 16000 bytes a second
  faulty_.full = [](const std::string& path) { return path == Process().AudioTempFile; };
  faulty_.room = 8000;  // half a second of sound after the header
  Record(50);
  EXPECT_TRUE(Said("The sound stopped ")) << errors_;
  EXPECT_TRUE(Said("into the recording: the disk holding " + Process().AudioTempFile +
                   " is full. The video went on without it."))
      << errors_;
  EXPECT_TRUE(Process().SaveSucceeded);
}

// Once the recording is in its place, the temporary files stop being a recording before their
// wipe begins: a run killed while they are wiped leaves nothing to keep a second time.
TEST_F(KeepRecordingTest, TemporaryFilesAreNoRecordingOnceTheRecordingIsInItsPlace) {
  engine_->SetUseAudioRecord(true);
  engine_->SetAudioFormatsIndex(2);  // 16-bit mono at 8 kHz
  for (const bool saved : {true, false}) {
    SCOPED_TRACE(saved ? "saved" : "kept");
    fs::remove(output_);
    if (!saved) fs::create_directory(output_);  // the save fails
    std::vector<std::string> readable;
    engine_->OnDeleting = [&](TVistrel&, int, const std::string& caption, bool&) {
      for (const std::string& path : {Process().VideoTempFile, Process().AudioTempFile}) {
        PAVIFILE file;
        if (!caption.empty() && AVIFileOpen(file, rig_.files, path, OF_READ) == AVIERR_OK)
          readable.push_back(path);
      }
    };
    Record(25);
    EXPECT_EQ(Process().SaveSucceeded, saved);
    EXPECT_EQ(readable, std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace orvenna
