#include "engine/RecordingLock.h"

#include <algorithm>
#include <vector>

namespace orvenna {
namespace {

constexpr char kLockFile[] = "recording.lock";
// A noted path is one line; what follows it is the rest of a longer earlier note.
constexpr std::int64_t kLongestNote = 64 * 1024;

std::string ReadNote(File& file) {
  const std::int64_t length = std::min(file.Length(), kLongestNote);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  if (!file.ReadAt(0, text.data(), text.size())) return {};
  const std::size_t end = text.find('\n');
  return end == std::string::npos ? std::string() : text.substr(0, end);
}

}  // namespace

RecordingLock::RecordingLock(Files& files, std::string path, std::unique_ptr<File> file)
    : files_(files), path_(std::move(path)), file_(std::move(file)) {
  lastTarget_ = ReadNote(*file_);
}

std::unique_ptr<RecordingLock> RecordingLock::Take(Files& files, const std::string& folder,
                                                   std::string& holderTarget) {
  holderTarget.clear();
  if (folder.empty()) return nullptr;
  const std::string path = folder + kLockFile;
  // The lock file stays between recordings: only its lock says whether one runs.
  std::unique_ptr<File> file = files.Open(path, OpenMode::ReadWrite);
  if (!file && !files.Exists(path)) file = files.Open(path, OpenMode::CreateNew);
  if (file) return std::unique_ptr<RecordingLock>(new RecordingLock(files, path, std::move(file)));
  if (const auto held = files.Open(path, OpenMode::Read)) holderTarget = ReadNote(*held);
  return nullptr;
}

bool RecordingLock::NoteTarget(const std::string& target) {
  if (target.find('\n') != std::string::npos) return false;
  const std::string line = target + '\n';
  if (!file_->WriteAt(0, line.data(), line.size())) return false;
  lastTarget_ = target;
  return true;
}

void RecordingLock::Remove() {
  files_.Delete(path_);
}

}  // namespace orvenna
