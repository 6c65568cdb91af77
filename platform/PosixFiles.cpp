#include "platform/PosixFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/Log.h"

namespace orvenna {
namespace {

constexpr char kPendingList[] = "pending-deletes";
constexpr std::uint64_t kMaxOffset = std::numeric_limits<off_t>::max();
// Temporary files are readable by the user alone, wherever their folder is; files saved for
// the user get the permissions the umask allows, like any file the user saves.
constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kUserFile = 0666;

// Owns a file descriptor and closes it.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  explicit operator bool() const { return fd_ >= 0; }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// The process's umask, read without changing it (which would race with other threads
// creating files); the usual 022 when the kernel does not say.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("Umask:"))
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

// Opens `path` only when it is a regular file, never following a link at its last component.
// Opening without blocking first keeps a planted FIFO or device from stalling the caller.
// A new file gets `permissions` as far as the user's umask allows them. When it cannot be
// opened, `why` (if given) says why in words.
UniqueFd OpenRegular(const std::string& path, int flags, mode_t permissions = kPrivateFile,
                     std::string* why = nullptr) {
  UniqueFd fd(
      open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, permissions));
  struct stat status {};
  if (!fd || fstat(fd.get(), &status) != 0 ||
      fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
    if (why) *why = std::strerror(errno);
    return {};
  }
  if (!S_ISREG(status.st_mode)) {
    if (why) *why = "not a regular file";
    return {};
  }
  return fd;
}

// Takes the flock `kind` (LOCK_EX or LOCK_SH), waiting for it or not.
bool Lock(int fd, int kind, bool wait) {
  while (flock(fd, kind | (wait ? 0 : LOCK_NB)) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool LockExclusively(int fd, bool wait) {
  return Lock(fd, LOCK_EX, wait);
}

// True when something stands at `path`, or when that cannot be ruled out (a folder on the way
// that we may not search): callers then treat the path as occupied rather than free.
bool Occupied(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

// Errors of a write that say the file system (or the process's file size limit) has no room.
bool IsLackOfRoom(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// Errors that another try a moment later may not meet: a resource was busy.
bool IsPassing(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EBUSY;
}

// The failure of `what` ("writing /tmp/x") for the C library's `error`, with its kind.
Result Failure(const std::string& what, int error) {
  const FailureKind kind = IsLackOfRoom(error) ? FailureKind::OutOfRoom
                           : IsPassing(error)  ? FailureKind::Temporary
                                               : FailureKind::Permanent;
  return Result::Failed(what + " failed: " + std::strerror(error), kind);
}

// Ok when the call answered 0, else the failure of `what` for errno.
Result Checked(int answer, const std::string& what) {
  return answer == 0 ? Result::Ok() : Failure(what, errno);
}

// Repeats `transfer` (pread or pwrite) until all `size` bytes are moved; false on an error, or
// on the end of the file (errno 0 then).
template <typename Byte, typename Transfer>
bool TransferFully(Byte* data, std::uint64_t offset, std::size_t size, Transfer transfer) {
  if (offset > kMaxOffset - size) {
    errno = EFBIG;
    return false;
  }
  while (size > 0) {
    const ssize_t done = transfer(data, size, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done == 0) errno = 0;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
  return true;
}

bool ReadFully(int fd, std::uint64_t offset, std::uint8_t* data, std::size_t size) {
  return TransferFully(data, offset, size, [fd](std::uint8_t* at, std::size_t n, off_t where) {
    return pread(fd, at, n, where);
  });
}

bool WriteFully(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  return TransferFully(data, offset, size,
                       [fd](const std::uint8_t* at, std::size_t n, off_t where) {
                         return pwrite(fd, at, n, where);
                       });
}

// True when `path` (not followed if it is a link) is the file open on `fd`.
bool SameFile(int fd, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

class PosixFile final : public File {
 public:
  PosixFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  Result ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
    if (ReadFully(fd_.get(), offset, static_cast<std::uint8_t*>(data), size)) return Result::Ok();
    if (errno == 0) {
      return Result::Failed(path_ + " ends before byte " + std::to_string(offset + size) +
                            " that was to be read");
    }
    return Failure("reading " + path_, errno);
  }
  Result WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    if (WriteFully(fd_.get(), offset, static_cast<const std::uint8_t*>(data), size))
      return Result::Ok();
    // A write that moves nothing leaves no error of its own; it is the disk that took no more.
    return Noted(Failure("writing " + path_, errno == 0 ? ENOSPC : errno));
  }
  std::int64_t Length() override {
    struct stat status {};
    return fstat(fd_.get(), &status) == 0 ? status.st_size : -1;
  }
  Result Resize(std::uint64_t length) override {
    if (length > kMaxOffset) return Failure("resizing " + path_, EFBIG);
    return Noted(Checked(ftruncate(fd_.get(), static_cast<off_t>(length)), "resizing " + path_));
  }
  Result Flush() override {
    return Noted(Checked(fdatasync(fd_.get()), "writing " + path_ + " to the disk"));
  }
  bool RanOutOfRoom() const override { return ranOutOfRoom_; }
  bool IsAt(const std::string& path) override { return SameFile(fd_.get(), path); }

 private:
  // Remembers a failure for want of room, and passes it on.
  Result Noted(Result result) {
    if (result.Is(FailureKind::OutOfRoom)) ranOutOfRoom_ = true;
    return result;
  }

  UniqueFd fd_;  // closing it releases the lock
  std::string path_;
  bool ranOutOfRoom_ = false;
};

// True when `path` names an entry directly inside `folder` (which ends with '/') other than the
// pending list itself.
bool DirectlyInside(const std::string& folder, std::string_view path) {
  if (folder.empty() || path.size() <= folder.size() || !path.starts_with(folder)) return false;
  const std::string_view name = path.substr(folder.size());
  return name != "." && name != ".." && name != kPendingList &&
         name.find_first_of("/\n") == std::string_view::npos;
}

// True when another open file holds the exclusive lock of the regular file at `path`.
bool HeldByAnother(const std::string& path) {
  const UniqueFd fd = OpenRegular(path, O_RDONLY);
  return fd && flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// The pending list of `folder`, open for reading and writing and locked against its other
// users (threads or processes). A list that its previous holder removed while we waited for
// the lock is opened afresh.
UniqueFd LockPendingList(const std::string& folder, bool create) {
  const std::string path = folder + kPendingList;
  for (;;) {
    UniqueFd list = OpenRegular(path, O_RDWR | (create ? O_CREAT : 0));
    struct stat status {};
    if (!list || !LockExclusively(list.get(), true) || fstat(list.get(), &status) != 0) return {};
    if (status.st_nlink > 0) return list;
  }
}

bool ReadWhole(int fd, std::string& contents) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return false;
  contents.resize(static_cast<std::size_t>(status.st_size));
  return ReadFully(fd, 0, reinterpret_cast<std::uint8_t*>(contents.data()), contents.size());
}

// Calls `visit` with each complete line of `contents`; an unfinished last line, left by a
// write that failed half way, names no file and is left out.
template <typename Visit>
void ForEachLine(std::string_view contents, Visit visit) {
  for (std::size_t end; (end = contents.find('\n')) != std::string_view::npos;
       contents.remove_prefix(end + 1))
    visit(contents.substr(0, end));
}

bool WriteText(int fd, std::uint64_t offset, std::string_view text) {
  return WriteFully(fd, offset, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Makes `folder` the private temporary folder when it can be: created with mode 0700, or
// repaired to it. Answers what keeps it from being used, empty when nothing does. Checked
// through a descriptor, so that what is checked is what gets repaired.
std::string UsePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return std::string("it cannot be made: ") + std::strerror(errno);
  struct stat named {};
  if (lstat(folder.c_str(), &named) == 0 && S_ISLNK(named.st_mode)) return "it is a link";
  const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (!fd && errno == ENOTDIR) return "it is not a folder";
  if (!fd || fstat(fd.get(), &status) != 0)
    return std::string("it cannot be opened: ") + std::strerror(errno);
  if (!S_ISDIR(status.st_mode)) return "it is not a folder";
  if (status.st_uid != geteuid()) return "it belongs to another user";
  if ((status.st_mode & 07777) != 0700 && fchmod(fd.get(), 0700) != 0)
    return std::string("it cannot be made private: ") + std::strerror(errno);
  return {};
}

// A new folder of mode 0700 named after `pattern` (ending in XXXXXX), with '/' at its end;
// empty when none can be made.
std::string MakeFreshPrivateFolder(std::string pattern) {
  if (!mkdtemp(pattern.data())) return {};
  return pattern + "/";
}

std::string DefaultBaseFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  return tmpdir && *tmpdir ? tmpdir : "/tmp";
}

}  // namespace

PosixFiles::PosixFiles() : PosixFiles(DefaultBaseFolder()) {}

PosixFiles::PosixFiles(std::string baseFolder) : baseFolder_(std::move(baseFolder)) {
  while (baseFolder_.size() > 1 && baseFolder_.back() == '/') baseFolder_.pop_back();
}

// A private folder made for this run goes with it when it is empty.
PosixFiles::~PosixFiles() {
  if (!fallback_.empty()) rmdir(fallback_.c_str());
}

std::string PosixFiles::TempFolder() {
  std::lock_guard guard(fallbackLock_);
  if (!fallback_.empty()) return fallback_;
  const std::string folder = baseFolder_ + "/orvenna-" + std::to_string(geteuid());
  const std::string problem = UsePrivateFolder(folder);
  if (problem.empty()) return folder + "/";
  if (!fallbackTried_) {
    fallbackTried_ = true;
    fallback_ = MakeFreshPrivateFolder(folder + "-XXXXXX");
    folderNote_ = "The temporary folder " + folder + " cannot be used (" + problem + ")";
    folderNote_ += fallback_.empty() ? ", and no private folder could be made in " + baseFolder_ +
                                           " either: nothing can be recorded."
                                     : ": this run uses the new private folder " +
                                           fallback_.substr(0, fallback_.size() - 1) + " instead.";
    Log(LogLevel::Warning, "files", folderNote_);
  }
  return fallback_;
}

std::string PosixFiles::TempFolderNote() {
  TempFolder();
  std::lock_guard guard(fallbackLock_);
  return folderNote_;
}

bool PosixFiles::Exists(const std::string& path) {
  return Occupied(path);
}

bool PosixFiles::IsLocked(const std::string& path) {
  return Occupied(path) && Open(path, OpenMode::ReadWrite) == nullptr;
}

Files::Opened PosixFiles::OpenFile(const std::string& path, OpenMode mode) {
  const bool reading = mode == OpenMode::Read || mode == OpenMode::ReadHeld;
  const int flags = reading                       ? O_RDONLY
                    : mode == OpenMode::Create    ? O_RDWR | O_CREAT
                    : mode == OpenMode::CreateNew ? O_RDWR | O_CREAT | O_EXCL
                                                  : O_RDWR;
  const bool temporary = DirectlyInside(TempFolder(), path);
  std::string why;
  UniqueFd fd = OpenRegular(path, flags, temporary ? kPrivateFile : kUserFile, &why);
  if (!fd) return {nullptr, Result::Failed(why)};
  if (mode != OpenMode::Read &&
      !Lock(fd.get(), mode == OpenMode::ReadHeld ? LOCK_SH : LOCK_EX, false)) {
    if (errno == EWOULDBLOCK)
      return {nullptr, Result::Failed("the file is in use by another program")};
    return {nullptr, Result::Failed(std::strerror(errno))};
  }
  // Truncated only once the lock is ours, so a file that another holder uses stays whole.
  if (mode == OpenMode::Create && ftruncate(fd.get(), 0) != 0)
    return {nullptr, Result::Failed(std::strerror(errno))};
  return {std::make_unique<PosixFile>(std::move(fd), path), Result::Ok()};
}

Result PosixFiles::Delete(const std::string& path) {
  return Checked(unlink(path.c_str()), "removing " + path);
}

Result PosixFiles::Rename(const std::string& from, const std::string& to) {
  return Checked(rename(from.c_str(), to.c_str()), "renaming " + from + " to " + to);
}

// Without a rename that refuses to replace in the file system, a hard link gives the same
// answer: it fails when the name is taken. A file system without links either gets the name
// claimed by an exclusive create, which only this rename then replaces.
Result PosixFiles::RenameNoReplace(const std::string& from, const std::string& to) {
  const std::string what = "moving " + from + " to the free name " + to;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return Result::Ok();
  if (errno != EINVAL && errno != ENOSYS) return Failure(what, errno);
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return Result::Ok();
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return Failure(what, errno);
  struct stat status {};
  if (lstat(from.c_str(), &status) != 0) return Failure(what, errno);
  if (!S_ISREG(status.st_mode)) return Result::Failed(what + " failed: it is not a regular file");
  if (!OpenRegular(to, O_WRONLY | O_CREAT | O_EXCL)) return Failure(what, errno);
  if (rename(from.c_str(), to.c_str()) == 0) return Result::Ok();
  const int error = errno;
  unlink(to.c_str());
  return Failure(what, error);
}

Result PosixFiles::MakeUserFile(const std::string& path) {
  const std::string what = "giving " + path + " the permissions of a saved file";
  const UniqueFd fd = OpenRegular(path, O_RDONLY);
  if (!fd) return Result::Failed(what + " failed: it cannot be opened as a regular file");
  return Checked(fchmod(fd.get(), kUserFile & ~CurrentUmask()), what);
}

bool PosixFiles::NameTooLong(const std::string& path) {
  if (path.size() >= PATH_MAX) return true;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;  // the folder is not there (or says nothing)
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (static_cast<long>(end - start) > longest) return true;
    start = end + 1;
  }
  return false;
}

namespace {

// `path` with its folder resolved (links, "." and "..", from the working folder); empty when
// the folder cannot be resolved.
std::string WithFolderResolved(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  char* resolved = realpath(folder.c_str(), nullptr);
  if (!resolved) return "";
  std::string name = resolved;
  std::free(resolved);
  if (name.back() != '/') name += '/';
  return name + path.substr(slash + 1);  // the whole path when it has no slash
}

}  // namespace

bool PosixFiles::SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0)
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  const std::string resolved = WithFolderResolved(a);
  return !resolved.empty() && resolved == WithFolderResolved(b);
}

Result PosixFiles::DeleteAtNextStart(const std::string& path) {
  const std::string folder = TempFolder();
  if (!DirectlyInside(folder, path)) {
    return Result::Failed(
        "only files directly inside the temporary folder can be removed at "
        "the next start, not " +
        path);
  }
  const std::string what = "listing " + path + " in " + folder + kPendingList;
  const UniqueFd list = LockPendingList(folder, true);
  std::string contents;
  if (!list || !ReadWhole(list.get(), contents)) return Failure(what, errno == 0 ? EIO : errno);
  bool listed = false;
  ForEachLine(contents, [&](std::string_view line) { listed = listed || line == path; });
  if (listed) return Result::Ok();
  // A list cut short by an earlier failure gets its line ended first.
  const std::string text = (contents.empty() || contents.back() == '\n' ? "" : "\n") + path + '\n';
  if (WriteText(list.get(), contents.size(), text)) return Result::Ok();
  return Failure(what, errno == 0 ? ENOSPC : errno);
}

void PosixFiles::DeletePendingFiles() {
  const std::string folder = TempFolder();
  if (folder.empty()) return;
  const UniqueFd list = LockPendingList(folder, false);
  std::string contents;
  if (!list || !ReadWhole(list.get(), contents)) return;
  std::string kept;
  ForEachLine(contents, [&](std::string_view line) {
    // Nothing outside our own folder is ever removed, whatever the list says.
    if (!DirectlyInside(folder, line)) return;
    const std::string path(line);
    if (HeldByAnother(path)) {
      kept += path + '\n';
    } else {
      unlink(path.c_str());
    }
  });
  if (kept.empty()) {
    unlink((folder + kPendingList).c_str());
  } else if (ftruncate(list.get(), 0) == 0) {
    WriteText(list.get(), 0, kept);
  }
}

std::string PosixFiles::WriteProblem(const std::string& path) {
  if (NameTooLong(path)) return "the name is too long for the file system";
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    return S_ISDIR(status.st_mode)   ? "a folder stands at that name"
           : S_ISLNK(status.st_mode) ? "a symbolic link stands at that name"
                                     : "something other than a file (a device, a pipe or a "
                                       "socket) stands at that name";
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  if (stat(folder.c_str(), &status) != 0) {
    return "its folder " + folder +
           (errno == ENOENT ? " does not exist"
                            : std::string(" cannot be reached: ") + std::strerror(errno));
  }
  if (!S_ISDIR(status.st_mode)) return folder + " is not a folder";
  std::string probe = folder + "/.orvenna-write-check-XXXXXX";
  const int fd = mkstemp(probe.data());
  if (fd < 0) return "no file can be made in its folder " + folder + ": " + std::strerror(errno);
  close(fd);
  unlink(probe.c_str());
  return {};
}

}  // namespace orvenna
