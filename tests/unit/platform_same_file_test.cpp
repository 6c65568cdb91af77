// PosixFiles::SameFile, which keeps a recording from being saved over the recorder's own
// temporary file under another spelling of its name.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/PosixFiles.h"

namespace orvenna {
namespace {

namespace fs = std::filesystem;

TEST(PosixFilesSameFile, ComparesFilesByIdentityAndNamesByResolvedFolder) {
  const fs::path root = fs::temp_directory_path() / ("same-file-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "temp");
  fs::create_directories(root / "other");
  std::ofstream(root / "temp" / "file") << "x";
  std::ofstream(root / "temp" / "copy") << "x";
  fs::create_hard_link(root / "temp" / "file", root / "other" / "hard");
  fs::create_symlink(root / "temp" / "file", root / "other" / "soft");
  fs::create_directory_symlink(root / "temp", root / "linked");
  const std::string temp = (root / "temp").string();
  const std::string file = temp + "/file";
  const std::string absent = temp + "/absent";

  struct Case {
    std::string other;
    bool same;
  };
  const Case cases[] = {
      {file, true},
      {(root / "other" / "hard").string(), true},  // another name of the same inode
      {(root / "other" / "soft").string(), true},  // a link to it
      {(root / "linked" / "file").string(), true},
      {temp + "/../temp/./file", true},
      {temp + "/copy", false},  // same content, another file
      {absent, false},          // one exists, the other does not
  };
  PosixFiles files(root.string());
  for (const Case& c : cases) {
    EXPECT_EQ(files.SameFile(c.other, file), c.same) << c.other;
    EXPECT_EQ(files.SameFile(file, c.other), c.same) << c.other;
  }
  // Names of files that do not exist (yet) match once their folders are resolved.
  const Case absentCases[] = {
      {absent, true},
      {(root / "linked" / "absent").string(), true},
      {temp + "/../temp/absent", true},
      {temp + "/absent2", false},
      {(root / "missing" / "absent").string(), false},  // a folder that is not there
  };
  for (const Case& c : absentCases) EXPECT_EQ(files.SameFile(c.other, absent), c.same) << c.other;

  // A name without a folder is in the working folder.
  const fs::path before = fs::current_path();
  fs::current_path(root / "temp");
  EXPECT_TRUE(files.SameFile("absent", absent));
  EXPECT_TRUE(files.SameFile("file", file));
  fs::current_path(before);
  fs::remove_all(root);
}

}  // namespace
}  // namespace orvenna
