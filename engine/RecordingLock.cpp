#include "engine/RecordingLock.h"

#include <algorithm>
#include <vector>

namespace orvenna {
namespace {

constexpr char kLockFile[] = "recording.lock";
// The note is read up to this length; a longer one is taken for no note.
constexpr std::int64_t kLongestNote = 64 * 1024;

// The note is the target's path, then the path of the file being written for it (empty when
// none), each ended by a NUL byte, which no path holds: any name survives, newlines included.
// What follows them is the rest of a longer earlier note. A note without a NUL byte was written
// by an earlier version as one line naming the target.
void ReadNote(File& file, std::string& target, std::string& writing) {
  target.clear();
  writing.clear();
  const std::int64_t length = std::min(file.Length(), kLongestNote);
  if (length <= 0) return;
  std::string text(static_cast<std::size_t>(length), '\0');
  if (!file.ReadAt(0, text.data(), text.size())) return;
  const std::size_t first = text.find('\0');
  if (first == std::string::npos) {
    const std::size_t end = text.find('\n');
    if (end != std::string::npos) target = text.substr(0, end);
    return;
  }
  const std::size_t second = text.find('\0', first + 1);
  if (second == std::string::npos) return;
  target = text.substr(0, first);
  writing = text.substr(first + 1, second - first - 1);
}

}  // namespace

RecordingLock::RecordingLock(Files& files, std::string path, std::unique_ptr<File> file)
    : files_(files), path_(std::move(path)), file_(std::move(file)) {
  ReadNote(*file_, lastTarget_, lastWriting_);
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
  if (const auto held = files.Open(path, OpenMode::Read)) {
    std::string writing;
    ReadNote(*held, holderTarget, writing);
  }
  return nullptr;
}

bool RecordingLock::Note(const std::string& target, const std::string& writing) {
  if (target.find('\0') != std::string::npos || writing.find('\0') != std::string::npos)
    return false;
  const std::string note = target + '\0' + writing + '\0';
  if (!file_->WriteAt(0, note.data(), note.size()) || !file_->Flush()) return false;
  lastTarget_ = target;
  lastWriting_ = writing;
  return true;
}

bool RecordingLock::NoteTarget(const std::string& target) {
  return Note(target, {});
}

bool RecordingLock::NoteWriting(const std::string& path) {
  return Note(lastTarget_, path);
}

void RecordingLock::Remove() {
  static_cast<void>(files_.Delete(path_));
}

}  // namespace orvenna
