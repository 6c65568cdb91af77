#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Result.h"

namespace orvenna {

// An open file. Reads and writes at explicit offsets; not shared between threads.
class File {
 public:
  virtual ~File() = default;
  // Reads exactly `size` bytes at `offset`; a failure on a short read or an error.
  virtual Result ReadAt(std::uint64_t offset, void* data, std::size_t size) = 0;
  // Writes all `size` bytes at `offset`; a failure on any error, of kind OutOfRoom for a full
  // disk, the user's disk quota or the largest file the process may write.
  virtual Result WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  // Current length in bytes, or -1 when it cannot be read.
  virtual std::int64_t Length() = 0;
  // Lengthens the file with zeros, or shortens it, to `length` bytes.
  virtual Result Resize(std::uint64_t length) = 0;
  // Pushes written data to the disk.
  virtual Result Flush() = 0;
  // True once a write has failed for want of room: a full disk, the user's disk quota, or the
  // largest file the process may write.
  virtual bool RanOutOfRoom() const = 0;
  // True while `path` names this open file, not another one put in its place (or nothing).
  virtual bool IsAt(const std::string& path) = 0;
};

enum class OpenMode {
  Read,       // an existing file, shared reading
  ReadHeld,   // an existing file, shared reading that keeps exclusive opens out meanwhile;
              // fails while another holds it exclusively
  ReadWrite,  // an existing file, exclusively (no other process holds it)
  Create,     // a new or truncated file, exclusively, for reading and writing
  CreateNew,  // a file that does not exist yet, exclusively; fails when anything stands there
};

// The file system as the engine sees it. Any thread. Paths never follow a symbolic link at
// their last component, so nothing planted in the temporary folder can redirect a write.
class Files {
 public:
  virtual ~Files() = default;

  // The user's private temporary folder, ending with '/'; empty when none can be had.
  virtual std::string TempFolder() = 0;
  // Empty while the usual temporary folder is in use; else a sentence for the user that names
  // that folder, why it cannot be used, and what is used instead (or that nothing can be).
  virtual std::string TempFolderNote() { return {}; }
  // True when anything (a file, a link, a folder) stands at `path`.
  virtual bool Exists(const std::string& path) = 0;
  // True when something stands at `path` and it cannot be opened exclusively for writing.
  virtual bool IsLocked(const std::string& path) = 0;
  // The file open in that mode; null, with why in words ("No such file or directory", without
  // the path), when it cannot be opened.
  struct Opened {
    std::unique_ptr<File> file;
    Result result;
  };
  virtual Opened OpenFile(const std::string& path, OpenMode mode) = 0;
  // Null when the file cannot be opened in that mode.
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) {
    return OpenFile(path, mode).file;
  }
  virtual Result Delete(const std::string& path) = 0;
  // Moves a file; a failure when it cannot be moved.
  virtual Result Rename(const std::string& from, const std::string& to) = 0;
  // Moves a file to a name where nothing stands, in one step: a failure, and nothing moved,
  // when something stands at `to` or the file cannot be moved.
  virtual Result RenameNoReplace(const std::string& from, const std::string& to) = 0;
  // Gives the regular file at `path` the permissions of a file saved for the user (as far as
  // the umask allows), for a temporary file that is kept for the user; a failure when it
  // cannot.
  virtual Result MakeUserFile(const std::string& /*path*/) { return Result::Ok(); }
  // True when `path`, or one of its names between slashes, is longer than the file system
  // allows.
  virtual bool NameTooLong(const std::string& path) = 0;
  // Why a recording could not be saved as `path`, in words ("its folder /x does not exist"),
  // found by trying to create a file beside it; empty when it can be. A regular file that
  // stands there does not count: the save replaces it.
  virtual std::string WriteProblem(const std::string& /*path*/) { return {}; }
  // True when `a` and `b` name one file: by device and inode when both exist (through links
  // and other names), else by the same name in the same folder once the folders are resolved.
  virtual bool SameFile(const std::string& a, const std::string& b) { return a == b; }
  // Arranges for `path` to be removed when the next engine starts.
  virtual Result DeleteAtNextStart(const std::string& path) = 0;
  // Removes what earlier runs arranged to remove.
  virtual void DeletePendingFiles() = 0;
};

}  // namespace orvenna
