#pragma once

#include <mutex>
#include <string>

#include "platform/Files.h"

namespace orvenna {

// Files on a POSIX file system. Any thread.
//
// The temporary folder is "orvenna-<uid>" inside a base folder, created with mode 0700 and
// used only while it is a real folder of ours that nobody else may enter. Exclusive opens hold
// a flock, which every other exclusive open (in this process or another) respects. Files to
// remove at the next start are listed in "pending-deletes" inside the temporary folder.
class PosixFiles final : public Files {
 public:
  // The base folder is $TMPDIR, or /tmp when that is unset or empty.
  PosixFiles();
  // The base folder is `baseFolder` (tests use a private one).
  explicit PosixFiles(std::string baseFolder);

  ~PosixFiles() override;

  // "orvenna-<uid>" in the base folder. When that cannot be used (a link, not a folder,
  // someone else's), a new private folder "orvenna-<uid>-XXXXXX" beside it, made once and kept
  // for the life of this object; empty when neither can be had.
  std::string TempFolder() override;
  std::string TempFolderNote() override;
  // Also true when the answer cannot be had (a folder on the way that we may not search), so
  // that such a path is never taken for free or already removed.
  bool Exists(const std::string& path) override;
  bool IsLocked(const std::string& path) override;
  Opened OpenFile(const std::string& path, OpenMode mode) override;
  Result Delete(const std::string& path) override;
  Result Rename(const std::string& from, const std::string& to) override;
  Result RenameNoReplace(const std::string& from, const std::string& to) override;
  Result MakeUserFile(const std::string& path) override;
  // Names between slashes are measured against the limit of the folder of the last one.
  bool NameTooLong(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  std::string WriteProblem(const std::string& path) override;
  // Only files directly inside the temporary folder can be listed; a failure for any other
  // path.
  Result DeleteAtNextStart(const std::string& path) override;
  // Removes the listed files that lie directly inside the temporary folder. A file that another
  // process still holds exclusively stays listed for a later start.
  void DeletePendingFiles() override;

 private:
  std::string baseFolder_;
  std::mutex fallbackLock_;
  bool fallbackTried_ = false;  // guarded by fallbackLock_, as are the two below
  std::string fallback_;        // the private folder used in place of ours, ending with '/'
  std::string folderNote_;
};

}  // namespace orvenna
