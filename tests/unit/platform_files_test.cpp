#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/PosixFiles.h"

namespace orvenna {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

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

  EXPECT_EQ(PosixFiles(base_ + "/missing").TempFolder(), "");
}

TEST_F(PosixFilesTest, TempFolderIsRefusedWhenItIsALinkOrAFile) {
  const std::string elsewhere = base_ + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), ownFolder_.c_str()), 0);
  EXPECT_EQ(files_->TempFolder(), "");
  EXPECT_EQ(ModeOf(elsewhere), 0755u) << "the link's target must not be repaired";

  ASSERT_EQ(unlink(ownFolder_.c_str()), 0);
  WriteText(ownFolder_, "not a folder");
  EXPECT_EQ(files_->TempFolder(), "");
}

TEST_F(PosixFilesTest, TempFolderOfSomeoneElseIsRefusedAndLeftAlone) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "handing a folder to another user needs root";
  }
  ASSERT_EQ(mkdir(ownFolder_.c_str(), 0700), 0);
  ASSERT_EQ(chmod(ownFolder_.c_str(), 0777), 0);
  ASSERT_EQ(chown(ownFolder_.c_str(), 65534, 65534), 0);
  EXPECT_EQ(files_->TempFolder(), "");
  EXPECT_EQ(ModeOf(ownFolder_), 0777u);
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

  EXPECT_EQ(ReadText(precious), "precious");
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
  EXPECT_EQ(ReadText(list), freeFile + "\n" + heldFile + "\n" + link + "\n");
  // Whatever else the list may say, nothing outside the folder is touched.
  std::ofstream(list, std::ios::app) << outside << "\n" << folder << "../outside.txt\n";

  PosixFiles(base_).DeletePendingFiles();
  EXPECT_FALSE(files_->Exists(freeFile));
  EXPECT_FALSE(files_->Exists(link));
  EXPECT_TRUE(files_->Exists(heldFile)) << "another holder still uses it";
  EXPECT_EQ(ReadText(outside), "keep");
  EXPECT_EQ(ReadText(outsideTarget), "keep");
  EXPECT_EQ(ReadText(list), heldFile + "\n");

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
  EXPECT_FALSE(file->WriteAt(0, data.data(), data.size()));
}

}  // namespace
}  // namespace orvenna
