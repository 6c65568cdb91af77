#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/WaveUtils.h"
#include "engine/RecordingLock.h"
#include "tests/FileText.h"
#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

namespace fs = std::filesystem;

// Makes `path` what a run killed while recording leaves: an uncompressed 8x8 recording of
// `frames` frames as the recording thread had written it (no index, no sizes), its last
// chunk torn. It is a copy taken while the writer is still open.
void WriteKilledRecording(Files& files, const std::string& path, int frames) {
  const std::string writing = path + ".writing";
  AVIFileInit();
  PAVIFILE file;
  ASSERT_EQ(AVIFileOpen(file, files, writing, OF_WRITE | OF_CREATE), AVIERR_OK);
  AVISTREAMINFOA info;
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 25;
  info.rcFrameRight = 8;
  info.rcFrameBottom = 8;
  PAVISTREAM stream;
  ASSERT_EQ(AVIFileCreateStream(file, stream, info), AVIERR_OK);
  BitmapInfoHeader format;
  format.width = 8;
  format.height = 8;
  format.bitCount = 24;
  format.sizeImage = 8 * 8 * 3;
  ASSERT_EQ(AVIStreamSetFormat(stream, 0, &format, sizeof format), AVIERR_OK);
  std::vector<std::uint8_t> pixels(format.sizeImage);
  for (int i = 0; i < frames; ++i) {
    std::fill(pixels.begin(), pixels.end(), static_cast<std::uint8_t>(i * 20));
    ASSERT_EQ(AVIStreamWrite(stream, i, 1, pixels.data(), static_cast<std::int32_t>(pixels.size()),
                             AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_OK);
  }
  fs::copy_file(writing, path);
  fs::resize_file(path, fs::file_size(path) - 100);
  AVIStreamRelease(stream);
  AVIFileRelease(file);
  AVIFileExit();
  fs::remove(writing);
}

std::uint32_t FramesIn(Files& files, const std::string& path) {
  PAVIFILE file;
  PAVISTREAM stream;
  AVISTREAMINFOA info;
  if (AVIFileOpen(file, files, path, OF_READ) != AVIERR_OK) return 0;
  const bool read =
      AVIFileGetStream(file, stream, 0, 0) == AVIERR_OK && AVIStreamInfo(stream, info) == AVIERR_OK;
  AVIFileRelease(file);
  return read ? info.dwLength : 0;
}

// What a run killed in the middle of a recording leaves in the temporary folder: the cut
// video file and the lock file naming the target.
class LeftRecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = rig_.TempFolder();
    target_ = rig_.base + "/Capture.avi";
    WriteKilledRecording(rig_.files, temp_ + "~vstream.avi", 10);
    std::string holder;
    ASSERT_TRUE(RecordingLock::Take(rig_.files, temp_, holder)->NoteTarget(target_));
  }

  std::string Shown() {
    std::string shown;
    for (const std::string& call : rig_.shell.Calls())
      if (call.starts_with("information")) shown += call + "\n";
    return shown;
  }

  EngineRig rig_;
  std::string temp_;
  std::string target_;
};

// The next start keeps the cut recording beside its target under a free name (a file of the
// user's with the first name stays as it was), says where once all is done (a run ended while
// the message shows keeps nothing twice), and clears the temporary file.
TEST_F(LeftRecordingTest, NextStartKeepsItBesideItsTargetUnderAFreeName) {
  std::ofstream(rig_.base + "/Capture.recovered.avi") << "the user's own";
  const std::string kept = rig_.base + "/Capture.recovered-2.avi";
  bool doneBeforeShown = false;
  rig_.shell.onInformation = [&](const std::string&) {
    doneBeforeShown = !fs::exists(temp_ + "~vstream.avi") && FramesIn(rig_.files, kept) == 9;
  };
  rig_.Make();
  EXPECT_TRUE(doneBeforeShown);
  EXPECT_NE(Shown().find("repaired and kept in " + kept + "."), std::string::npos) << Shown();
  const std::uint32_t frames = FramesIn(rig_.files, kept);
  EXPECT_EQ(frames, 9u) << "the frames before the torn one";
  EXPECT_EQ(test::ReadText(rig_.base + "/Capture.recovered.avi"), "the user's own");
  EXPECT_FALSE(fs::exists(temp_ + "~vstream.avi"));
}

// A killed run's sound file as the recorder leaves it: the header with both sizes 0, then
// `milliseconds` of 8 kHz 16-bit mono sound.
void WriteKilledSound(const std::string& path, int milliseconds) {
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, TPCMFormat::Mono16bit8000Hz);
  std::ofstream file(path, std::ios::binary);
  const std::uint32_t zero = 0;
  const std::uint32_t formatSize = 18;
  file.write("RIFF", 4).write(reinterpret_cast<const char*>(&zero), 4).write("WAVEfmt ", 8);
  file.write(reinterpret_cast<const char*>(&formatSize), 4);
  file.write(reinterpret_cast<const char*>(&format), 18);
  file.write("data", 4).write(reinterpret_cast<const char*>(&zero), 4);
  file << std::string(static_cast<std::size_t>(milliseconds) * 16, '\x11');
}

// The message says when the kept sound ends clearly before the picture (here 3.96 s long),
// which is sound the killed run lost.
TEST_F(LeftRecordingTest, TheMessageSaysWhenTheSoundEndsBeforeThePicture) {
  struct Case {
    int soundMs;
    const char* said;  // "": nothing about the sound
  };
  for (const Case c : {Case{3800, ""}, Case{1000, " Its sound ends 3.0 seconds before its picture"},
                       Case{0, " The sound recorded with it was lost."}}) {
    fs::remove(temp_ + "~vstream.avi");
    WriteKilledRecording(rig_.files, temp_ + "~vstream.avi", 100);
    WriteKilledSound(temp_ + "~astream.wav", c.soundMs);
    bool shown = false;
    rig_.shell.onInformation = [&](const std::string& text) {
      shown = true;
      EXPECT_NE(text.find("repaired and kept in"), std::string::npos) << text;
      if (*c.said) {
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
      } else {
        EXPECT_TRUE(text.ends_with(".avi.")) << text;
      }
    };
    rig_.Make();
    rig_.engine.reset();
    EXPECT_TRUE(shown) << c.soundMs;
  }
}

// While a recording holds the lock (another program of the same user), a start takes
// nothing for left-overs, a recording is refused with the file the other one writes, and the
// end of this engine removes none of the other one's files.
TEST_F(LeftRecordingTest, RunningRecordingIsNeitherKeptNorTouchedNorJoined) {
  const std::string before = test::ReadText(temp_ + "~vstream.avi");
  std::string holder;
  auto running = RecordingLock::Take(rig_.files, temp_, holder);
  ASSERT_NE(running, nullptr);
  ASSERT_TRUE(running->NoteTarget(rig_.base + "/other.avi"));
  ASSERT_TRUE(rig_.files.DeleteAtNextStart(temp_ + "~vstream.avi"));

  TVistrel& engine = rig_.Make();
  std::vector<std::string> errors;
  engine.OnError = [&](TVistrel&, const std::string& text) { errors.push_back(text); };
  EXPECT_FALSE(engine.StartRecording(rig_.base + "/second.avi"));
  EXPECT_EQ(errors, std::vector<std::string>{"Another recording is running (writing " + rig_.base +
                                             "/other.avi)."});
  rig_.engine.reset();
  EXPECT_EQ(Shown(), "");
  EXPECT_EQ(test::ReadText(temp_ + "~vstream.avi"), before);

  // Once the other one has gone, the next start keeps it.
  running.reset();
  rig_.Make();
  EXPECT_NE(Shown().find("kept in " + rig_.base + "/other.recovered.avi."), std::string::npos)
      << Shown();
}

// Any target's name survives in the lock file, a newline included, and a note of the earlier
// one-line kind is still read: the kept file is named after the right target.
TEST_F(LeftRecordingTest, KeptFileIsNamedAfterAnyTarget) {
  struct Case {
    const char* name;
    std::string note;  // written as it is into the lock file; empty: noted by the lock
    std::string target;
  };
  const std::string lockFile = temp_ + "recording.lock";
  for (const Case& c :
       {Case{"newline", "", rig_.base + "/two\nlines.avi"},
        Case{"earlier kind", rig_.base + "/older.avi\n", rig_.base + "/older.avi"}}) {
    SCOPED_TRACE(c.name);
    fs::remove(temp_ + "~vstream.avi");
    WriteKilledRecording(rig_.files, temp_ + "~vstream.avi", 10);
    if (c.note.empty()) {
      std::string holder;
      ASSERT_TRUE(RecordingLock::Take(rig_.files, temp_, holder)->NoteTarget(c.target));
    } else {
      std::ofstream(lockFile, std::ios::trunc) << c.note;
    }
    rig_.Make();
    rig_.engine.reset();
    const std::string kept = c.target.substr(0, c.target.size() - 4) + ".recovered.avi";
    EXPECT_EQ(FramesIn(rig_.files, kept), 9u) << Shown();
  }
}

// What a run killed while writing under a hidden name (a save, a kept recording) left half
// written goes at the next start: only the file its lock file names, of the kind such files
// have, and that no one holds; nothing else of that kind.
TEST_F(LeftRecordingTest, HalfWrittenFilesOfOursGoAndNothingElse) {
  const std::string hidden = rig_.base + "/.orvenna-save-0123456789ab";
  const std::string unnoted = rig_.base + "/.orvenna-save-ba9876543210";
  const std::string precious = rig_.base + "/precious.avi";
  struct Case {
    const char* name;
    std::string noted;
    bool held;
    bool removed;
  };
  for (const Case& c :
       {Case{"noted", hidden, false, true}, Case{"held by a running program", hidden, true, false},
        Case{"not of that kind", precious, false, false}}) {
    SCOPED_TRACE(c.name);
    for (const std::string& path : {hidden, unnoted, precious}) std::ofstream(path) << "half";
    {
      std::string holder;
      ASSERT_TRUE(RecordingLock::Take(rig_.files, temp_, holder)->NoteWriting(c.noted));
    }
    const auto holder = c.held ? rig_.files.Open(c.noted, OpenMode::ReadWrite) : nullptr;
    rig_.Make();
    rig_.engine.reset();
    EXPECT_EQ(fs::exists(c.noted), !c.removed);
    EXPECT_TRUE(fs::exists(unnoted));
    EXPECT_TRUE(fs::exists(c.noted == hidden ? precious : hidden));
  }
}

}  // namespace
}  // namespace orvenna
