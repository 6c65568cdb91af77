#include "audio/ByteStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <limits>

#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

constexpr std::size_t kCopyPiece = 64 * 1024;

int WhenceOf(SeekOrigin origin) {
  return origin == SeekOrigin::Begin ? SEEK_SET
                                     : (origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END);
}

[[noreturn]] void ThrowFileError(const char* action, const std::string& path, const char* why) {
  throw EWaveAudioError(std::string("Cannot ") + action + " file \"" + path + "\": " + why);
}

// Opens `path` with `flags` when it is a regular file and takes the flock `lock` without
// waiting. Opening without blocking keeps a planted FIFO or device from stalling the caller.
int OpenLocked(const std::string& path, int flags, int lock, const char* action) {
  const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) ThrowFileError(action, path, std::strerror(errno));
  struct stat status {};
  const char* why = nullptr;
  if (fstat(fd, &status) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(status.st_mode)) {
    why = "not a regular file";
  } else if (flock(fd, lock | LOCK_NB) != 0) {
    why = errno == EWOULDBLOCK ? "the file is in use by another program" : std::strerror(errno);
  }
  if (why) {
    close(fd);
    ThrowFileError(action, path, why);
  }
  return fd;
}

// Repeats `transfer` (read or write) until `count` bytes are moved, the end is reached or an
// error stops it: the bytes moved, or -1 when an error came before any byte.
template <typename Byte, typename Transfer>
std::int64_t TransferAll(Byte* data, std::size_t count, Transfer transfer) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t moved = transfer(data + done, count - done);
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0 && done == 0) return -1;
    if (moved <= 0) break;
    done += static_cast<std::size_t>(moved);
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  std::vector<std::uint8_t> buffer(kCopyPiece);
  std::int64_t copied = 0;
  while (copied < count) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - copied, kCopyPiece));
    const std::int64_t got = source.Read(buffer.data(), want);
    if (got <= 0) break;
    const std::int64_t written = Write(buffer.data(), static_cast<std::size_t>(got));
    if (written > 0) copied += written;
    if (written != got) break;
  }
  return copied;
}

std::int64_t TMemoryStream::Read(void* data, std::size_t count) {
  const std::int64_t size = Size();
  if (position_ >= size) return 0;
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - position_, count));
  std::memcpy(data, bytes_.data() + position_, n);
  position_ += static_cast<std::int64_t>(n);
  return static_cast<std::int64_t>(n);
}

std::int64_t TMemoryStream::Write(const void* data, std::size_t count) {
  if (count == 0) return 0;
  if (count > std::numeric_limits<std::size_t>::max() - static_cast<std::size_t>(position_)) {
    return -1;
  }
  const auto end = static_cast<std::size_t>(position_) + count;
  try {
    if (end > bytes_.size()) bytes_.resize(end);
  } catch (const std::exception&) {
    return -1;
  }
  std::memcpy(bytes_.data() + position_, data, count);
  position_ = static_cast<std::int64_t>(end);
  return static_cast<std::int64_t>(count);
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t base =
      origin == SeekOrigin::Begin ? 0 : (origin == SeekOrigin::Current ? position_ : Size());
  if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base) return -1;
  position_ = base + offset;
  return position_;
}

bool TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) return false;
  try {
    bytes_.resize(static_cast<std::size_t>(size));
  } catch (const std::exception&) {
    return false;
  }
  position_ = std::min(position_, size);
  return true;
}

std::unique_ptr<TFileStream> TFileStream::Create(const std::string& path) {
  const int fd = OpenLocked(path, O_RDWR | O_CREAT, LOCK_EX, "create");
  std::unique_ptr<TFileStream> stream(new TFileStream(fd));
  if (ftruncate(fd, 0) != 0) ThrowFileError("create", path, std::strerror(errno));
  return stream;
}

std::unique_ptr<TFileStream> TFileStream::OpenReadWrite(const std::string& path) {
  return std::unique_ptr<TFileStream>(new TFileStream(OpenLocked(path, O_RDWR, LOCK_EX, "open")));
}

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& path) {
  return std::unique_ptr<TFileStream>(new TFileStream(OpenLocked(path, O_RDONLY, LOCK_SH, "open")));
}

TFileStream::~TFileStream() {
  close(fd_);
}

std::int64_t TFileStream::Read(void* data, std::size_t count) {
  return TransferAll(static_cast<std::uint8_t*>(data), count,
                     [this](std::uint8_t* at, std::size_t n) { return read(fd_, at, n); });
}

std::int64_t TFileStream::Write(const void* data, std::size_t count) {
  return TransferAll(static_cast<const std::uint8_t*>(data), count,
                     [this](const std::uint8_t* at, std::size_t n) {
                       const ssize_t written = write(fd_, at, n);
                       if (written < 0 && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
                         ranOutOfRoom_ = true;
                       return written;
                     });
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  return lseek(fd_, offset, WhenceOf(origin));
}

std::int64_t TFileStream::Size() {
  struct stat status {};
  return fstat(fd_, &status) == 0 ? status.st_size : -1;
}

bool TFileStream::SetSize(std::int64_t size) {
  if (size < 0 || ftruncate(fd_, size) != 0) return false;
  if (Position() > size) Seek(size, SeekOrigin::Begin);
  return true;
}

}  // namespace orvenna
