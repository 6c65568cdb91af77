#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/PosixFiles.h"
#include "tests/FileText.h"

namespace orvenna {
namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

// A private base folder in place of $TMPDIR, removed afterwards.
class PosixFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "orvenna-files-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    files_ = std::make_unique<PosixFiles>(base_);
    ownFolder_ = base_ + "/orvenna-" + std::to_string(geteuid());
  }
  void TearDown() override {
    if (!base_.empty()) fs::remove_all(base_);
  }

  // The temporary folder, which must be usable.
  std::string Temp() {
    const std::string folder = files_->TempFolder();
    EXPECT_EQ(folder, ownFolder_ + "/");
    return folder;
  }

  std::string base_;
  std::string ownFolder_;
  std::unique_ptr<PosixFiles> files_;
};

TEST_F(PosixFilesTest, TempFolderIsCreatedPrivateAndLoosePermissionsAreRepaired) {
  Temp();
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(ownFolder_)));
  EXPECT_EQ(ModeOf(ownFolder_), 0700u);

  ASSERT_EQ(chmod(ownFolder_.c_str(), 0777), 0);
  Temp();
  EXPECT_EQ(ModeOf(ownFolder_), 0700u);
  EXPECT_EQ(files_->TempFolderNote(), "");
}

// Ways the usual folder can be spoiled (by another local user, or by accident), and the word
// its note must give for each.
struct SpoiledFolder {
  const char* name;
  const char* problem;
  void (*spoil)(const std::string& base, const std::string& own);
};

const SpoiledFolder kSpoiledFolders[] = {
    {"link", "is a link",
     [](const std::string& base, const std::string& own) {
       ASSERT_EQ(mkdir((base + "/elsewhere").c_str(), 0755), 0);
       ASSERT_EQ(symlink((base + "/elsewhere").c_str(), own.c_str()), 0);
     }},
    {"file", "not a folder",
     [](const std::string&, const std::string& own) { WriteText(own, "not a folder"); }},
    {"someone else's", "another user",
     [](const std::string&, const std::string& own) {
       ASSERT_EQ(mkdir(own.c_str(), 0777), 0);
       ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
     }},
};

// A spoiled folder is never used nor repaired, and the working folder is never used either: a
// fresh private folder beside it takes its place for the whole run, with a note that names
// both, and goes when the run ends (when empty). Files made there are the user's alone.
TEST_F(PosixFilesTest, SpoiledTempFolderGivesWayToAFreshPrivateOne) {
  for (const SpoiledFolder& spoiled : kSpoiledFolders) {
    SCOPED_TRACE(spoiled.name);
    if (std::string(spoiled.name) == "someone else's" && geteuid() != 0) continue;
    fs::remove_all(base_);
    ASSERT_EQ(mkdir(base_.c_str(), 0700), 0);
    spoiled.spoil(base_, ownFolder_);
    struct stat before {};
    ASSERT_EQ(lstat(ownFolder_.c_str(), &before), 0);

    std::string fresh;
    {
      PosixFiles files(base_);
      fresh = files.TempFolder();
      ASSERT_FALSE(fresh.empty());
      EXPECT_EQ(files.TempFolder(), fresh) << "one folder for the whole run";
      EXPECT_TRUE(fresh.starts_with(ownFolder_ + "-")) << fresh;
      EXPECT_TRUE(fs::is_directory(fs::symlink_status(fresh)));
      EXPECT_EQ(ModeOf(fresh), 0700u);
      const std::string note = files.TempFolderNote();
      EXPECT_NE(note.find(ownFolder_), std::string::npos) << note;
      EXPECT_NE(note.find(spoiled.problem), std::string::npos) << note;
      EXPECT_NE(note.find(fresh.substr(0, fresh.size() - 1)), std::string::npos) << note;

      ASSERT_NE(files.Open(fresh + "~vstream.avi", OpenMode::Create), nullptr);
      EXPECT_EQ(ModeOf(fresh + "~vstream.avi"), 0600u);
      ASSERT_TRUE(files.Delete(fresh + "~vstream.avi"));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(fresh))) << "the empty private folder goes";
    struct stat after {};
    ASSERT_EQ(lstat(ownFolder_.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode) << "the spoiled folder is left as it was";
    EXPECT_EQ(after.st_uid, before.st_uid);
    if (fs::exists(base_ + "/elsewhere")) {
      EXPECT_EQ(ModeOf(base_ + "/elsewhere"), 0755u) << "the link's target must not be repaired";
      EXPECT_TRUE(fs::is_empty(base_ + "/elsewhere"));
    }
  }
}

TEST_F(PosixFilesTest, WithoutAnyFolderThereIsNoTempFolderAndTheNoteSaysSo) {
  PosixFiles files(base_ + "/missing");
  EXPECT_EQ(files.TempFolder(), "");
  const std::string note = files.TempFolderNote();
  EXPECT_NE(note.find(base_ + "/missing/orvenna-"), std::string::npos) << note;
  EXPECT_NE(note.find("nothing can be recorded"), std::string::npos) << note;
}

TEST_F(PosixFilesTest, TemporaryFilesArePrivateAndSavedFilesFollowTheUmask) {
  const mode_t umaskBefore = umask(022);
  const std::string temporary = Temp() + "~vstream.avi";
  const std::string saved = base_ + "/Capture.avi";
  EXPECT_NE(files_->Open(temporary, OpenMode::Create), nullptr);
  EXPECT_NE(files_->Open(saved, OpenMode::Create), nullptr);
  umask(umaskBefore);
  EXPECT_EQ(ModeOf(temporary), 0600u);
  EXPECT_EQ(ModeOf(saved), 0644u);

  // A temporary file kept for the user becomes one of the user's files.
  const mode_t umaskForKeeping = umask(027);
  EXPECT_TRUE(files_->MakeUserFile(temporary));
  umask(umaskForKeeping);
  EXPECT_EQ(ModeOf(temporary), 0640u);
}

// A move that must not replace: refused, changing nothing, wherever something stands at the
// name (a file, a folder, a dangling link); done where nothing does.
TEST_F(PosixFilesTest, RenameNoReplaceNeverReplaces) {
  const std::string from = base_ + "/from";
  const std::string to = base_ + "/to";
  struct Case {
    const char* name;
    std::function<void()> plant;
    bool moved;
  };
  for (const Case& c :
       {Case{"nothing there", [] {}, true},
        Case{"a file", [&] { std::ofstream(to) << "the user's"; }, false},
        Case{"a folder", [&] { std::filesystem::create_directory(to); }, false},
        Case{"a dangling link", [&] { std::filesystem::create_symlink(base_ + "/nowhere", to); },
             false}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(to);
    std::ofstream(from) << "recording";
    c.plant();
    EXPECT_EQ(files_->RenameNoReplace(from, to).ok(), c.moved);
    EXPECT_EQ(std::filesystem::exists(from), !c.moved);
    if (c.moved) {
      EXPECT_EQ(test::ReadText(to), "recording");
    }
  }
}

TEST_F(PosixFilesTest, ExclusiveOpensExcludeEachOtherAndNeverTruncateAHeldFile) {
  const std::string path = Temp() + "held.bin";
  auto holder = files_->Open(path, OpenMode::Create);
  ASSERT_NE(holder, nullptr);
  ASSERT_TRUE(holder->WriteAt(0, "data", 4));

  EXPECT_EQ(files_->Open(path, OpenMode::ReadWrite), nullptr);
  EXPECT_EQ(files_->Open(path, OpenMode::Create), nullptr);
  EXPECT_TRUE(files_->IsLocked(path));
  EXPECT_EQ(holder->Length(), 4) << "a refused Create must not truncate the holder's file";
  auto reader = files_->Open(path, OpenMode::Read);
  ASSERT_NE(reader, nullptr);
  char text[4] = {};
  ASSERT_TRUE(reader->ReadAt(0, text, 4));
  EXPECT_EQ(std::string(text, 4), "data");
  EXPECT_FALSE(reader->ReadAt(2, text, 4)) << "a short read is a failure";

  holder.reset();
  EXPECT_FALSE(files_->IsLocked(path));
  auto writer = files_->Open(path, OpenMode::Create);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->Length(), 0);
  ASSERT_TRUE(writer->WriteAt(10, "xy", 2));
  EXPECT_EQ(writer->Length(), 12);
  EXPECT_TRUE(writer->Flush());
}

// A reader that holds the file keeps exclusive opens out, and is kept out by one; readers share.
TEST_F(PosixFilesTest, HeldReadingAndExclusiveOpensExcludeEachOther) {
  const std::string path = Temp() + "shared.bin";
  auto writer = files_->Open(path, OpenMode::Create);
  ASSERT_NE(writer, nullptr);
  const Files::Opened refused = files_->OpenFile(path, OpenMode::ReadHeld);
  EXPECT_EQ(refused.file, nullptr);
  EXPECT_EQ(refused.result.Cause(), "the file is in use by another program");
  writer.reset();
  const auto reader = files_->Open(path, OpenMode::ReadHeld);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(files_->Open(path, OpenMode::ReadWrite), nullptr);
  EXPECT_NE(files_->Open(path, OpenMode::ReadHeld), nullptr);
}

TEST_F(PosixFilesTest, FailuresSayWhatFailedAndWhy) {
  const std::string missing = Temp() + "missing.bin";
  const Result deleted = files_->Delete(missing);
  EXPECT_TRUE(deleted.Is(FailureKind::Permanent));
  EXPECT_EQ(deleted.Cause(), "removing " + missing + " failed: No such file or directory");
  EXPECT_EQ(files_->OpenFile(missing, OpenMode::Read).result.Cause(), "No such file or directory");
  const auto file = files_->Open(Temp() + "short.bin", OpenMode::Create);
  ASSERT_NE(file, nullptr);
  char byte;
  EXPECT_EQ(file->ReadAt(0, &byte, 1).Cause(),
            Temp() + "short.bin ends before byte 1 that was to be read");
}

// The important safety property: nothing planted in the temporary folder redirects a write.
TEST_F(PosixFilesTest, PlantedLinksAreNeverFollowed) {
  const std::string folder = Temp();
  const std::string precious = base_ + "/precious.txt";
  WriteText(precious, "precious");
  const std::string link = folder + "~vstream.avi";
  ASSERT_EQ(symlink(precious.c_str(), link.c_str()), 0);
  const std::string dangling = folder + "~astream.wav";
  const std::string wouldBeCreated = base_ + "/created-through-link";
  ASSERT_EQ(symlink(wouldBeCreated.c_str(), dangling.c_str()), 0);

  for (OpenMode mode : {OpenMode::Create, OpenMode::ReadWrite, OpenMode::Read}) {
    EXPECT_EQ(files_->Open(link, mode), nullptr);
    EXPECT_EQ(files_->Open(dangling, mode), nullptr);
  }
  EXPECT_TRUE(files_->Exists(link));
  EXPECT_TRUE(files_->IsLocked(link));
  EXPECT_TRUE(files_->IsLocked(dangling));
  EXPECT_TRUE(files_->Delete(link));
  EXPECT_FALSE(files_->Exists(link));

  EXPECT_EQ(test::ReadText(precious), "precious");
  EXPECT_FALSE(fs::exists(fs::symlink_status(wouldBeCreated)));
}

TEST_F(PosixFilesTest, OnlyRegularFilesOpenAndAFifoDoesNotBlock) {
  const std::string folder = Temp();
  const std::string fifo = folder + "fifo";
  const std::string subfolder = folder + "sub";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mkdir(subfolder.c_str(), 0700), 0);
  for (const std::string& path : {fifo, subfolder}) {
    EXPECT_EQ(files_->Open(path, OpenMode::Read), nullptr) << path;
    EXPECT_EQ(files_->Open(path, OpenMode::Create), nullptr) << path;
    EXPECT_TRUE(files_->IsLocked(path)) << path;
  }
}

TEST_F(PosixFilesTest, PendingDeletesRemoveOnlyFreeFilesInsideTheFolder) {
  const std::string folder = Temp();
  const std::string list = folder + "pending-deletes";
  const std::string freeFile = folder + "free.avi";
  const std::string heldFile = folder + "held.avi";
  const std::string outside = base_ + "/outside.txt";
  const std::string outsideTarget = base_ + "/target.txt";
  const std::string link = folder + "link";
  WriteText(freeFile, "a");
  WriteText(outside, "keep");
  WriteText(outsideTarget, "keep");
  ASSERT_EQ(symlink(outsideTarget.c_str(), link.c_str()), 0);
  auto holder = files_->Open(heldFile, OpenMode::Create);
  ASSERT_NE(holder, nullptr);

  EXPECT_TRUE(files_->DeleteAtNextStart(freeFile));
  EXPECT_TRUE(files_->DeleteAtNextStart(freeFile));
  EXPECT_TRUE(files_->DeleteAtNextStart(heldFile));
  EXPECT_TRUE(files_->DeleteAtNextStart(link));
  EXPECT_FALSE(files_->DeleteAtNextStart(outside));
  EXPECT_FALSE(files_->DeleteAtNextStart(folder + "../outside.txt"));
  EXPECT_FALSE(files_->DeleteAtNextStart(list));
  EXPECT_EQ(test::ReadText(list), freeFile + "\n" + heldFile + "\n" + link + "\n");
  // Whatever else the list may say, nothing outside the folder is touched.
  std::ofstream(list, std::ios::app) << outside << "\n" << folder << "../outside.txt\n";

  PosixFiles(base_).DeletePendingFiles();
  EXPECT_FALSE(files_->Exists(freeFile));
  EXPECT_FALSE(files_->Exists(link));
  EXPECT_TRUE(files_->Exists(heldFile)) << "another holder still uses it";
  EXPECT_EQ(test::ReadText(outside), "keep");
  EXPECT_EQ(test::ReadText(outsideTarget), "keep");
  EXPECT_EQ(test::ReadText(list), heldFile + "\n");

  holder.reset();
  files_->DeletePendingFiles();
  EXPECT_FALSE(files_->Exists(heldFile));
  EXPECT_FALSE(files_->Exists(list));
}

// Mounts a 64 KiB file system for the test's life.
class FullFileSystemTest : public PosixFilesTest {
 protected:
  void SetUp() override {
    PosixFilesTest::SetUp();
    mountPoint_ = base_ + "/tiny";
    ASSERT_EQ(mkdir(mountPoint_.c_str(), 0700), 0);
    if (mount("tmpfs", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) {
      EXPECT_EQ(umount2(mountPoint_.c_str(), MNT_DETACH), 0);
    }
    PosixFilesTest::TearDown();
  }

  std::string mountPoint_;
  bool mounted_ = false;
};

TEST_F(FullFileSystemTest, WritingToAFullFileSystemFails) {
  PosixFiles tiny(mountPoint_);
  const std::string folder = tiny.TempFolder();
  ASSERT_FALSE(folder.empty());
  auto file = tiny.Open(folder + "big.bin", OpenMode::Create);
  ASSERT_NE(file, nullptr);
  const std::vector<char> data(1 << 20, 'x');
  const Result written = file->WriteAt(0, data.data(), data.size());
  EXPECT_FALSE(written);
  EXPECT_TRUE(written.Is(FailureKind::OutOfRoom)) << written.Cause();
  EXPECT_TRUE(file->RanOutOfRoom());
}

}  // namespace
}  // namespace orvenna
