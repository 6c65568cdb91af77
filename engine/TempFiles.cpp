// The temporary recording files between runs: the lock a recording holds over them, and the
// keeping of a recording that a killed run (a crash, SIGKILL, a power cut) left behind.

#include <filesystem>
#include <vector>

#include "engine/FreeName.h"
#include "engine/Vistrel.h"
#include "platform/Log.h"

namespace orvenna {
namespace {

constexpr char kKeptEnding[] = ".recovered.avi";
constexpr char kKeptSoundEnding[] = ".recovered.wav";
constexpr char kNameWhenUnknown[] = "Recording";

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The file name of `path` without its ".avi" ending (any case).
std::string StemPart(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);  // all of it without a slash
  if (name.size() > 4) {
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ending == ".avi") name.resize(name.size() - 4);
  }
  return name.empty() ? kNameWhenUnknown : name;
}

// `path` as seen from the working folder, so that a later run elsewhere finds the same file.
std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// The first stream of the temporary file at `path` when it holds anything: a file cut short
// reads up to its last whole chunk, whatever its index says.
PAVISTREAM OpenLeftStream(Files& files, const std::string& path) {
  if (!files.Exists(path)) return nullptr;
  PAVIFILE file;
  if (AVIFileOpen(file, files, path, OF_READ) != AVIERR_OK) return nullptr;
  PAVISTREAM stream;
  AVISTREAMINFOA info;
  if (AVIFileGetStream(file, stream, 0, 0) != AVIERR_OK ||
      AVIStreamInfo(stream, info) != AVIERR_OK || info.dwLength == 0) {
    stream.reset();
  }
  AVIFileRelease(file);
  return stream;
}

}  // namespace

void TVistrel::TidyTempFolder() {
  std::string holder;
  const auto lock = RecordingLock::Take(platform_.files, tempFolder_, holder);
  if (!lock) return;  // a recording runs: its files are not left-overs
  KeepLeftRecording(lock->LastTarget());
  platform_.files.DeletePendingFiles();
}

bool TVistrel::TakeRecordingLock(const std::string& target) {
  if (tempFolder_.empty()) {
    const std::string note = platform_.files.TempFolderNote();
    RaiseError(note.empty() ? "No temporary folder can be used, so nothing can be recorded."
                            : note);
    return false;
  }
  std::string holder;
  recordingLock_ = RecordingLock::Take(platform_.files, tempFolder_, holder);
  if (!recordingLock_) {
    RaiseError(holder.empty() ? "Another recording is running."
                              : "Another recording is running (writing " + holder + ").");
    return false;
  }
  KeepLeftRecording(recordingLock_->LastTarget());
  if (!recordingLock_->NoteTarget(AbsolutePath(target)))
    Log(LogLevel::Warning, "engine", "the recording lock file does not take the target's name");
  return true;
}

void TVistrel::KeepLeftRecording(const std::string& lastTarget) {
  Files& files = platform_.files;
  const ProcessState& process = Process();
  if (process.VideoTempFile.empty() ||
      (!files.Exists(process.VideoTempFile) && !files.Exists(process.AudioTempFile))) {
    return;
  }
  AVIFileInit();
  // The picture and the sound go into one file, as the assembly would have put them; a
  // stream that holds nothing is left out.
  PAVISTREAM streams[2] = {OpenLeftStream(files, process.VideoTempFile),
                           OpenLeftStream(files, process.AudioTempFile)};
  const int count = streams[1] ? 2 : (streams[0] ? 1 : 0);
  const std::string stem = lastTarget.empty() ? kNameWhenUnknown : StemPart(lastTarget);
  std::vector<std::string> folders;
  if (const std::string folder = FolderPart(lastTarget); !folder.empty()) folders.push_back(folder);
  folders.push_back(platform_.shell.DocumentsFolder() + "/");
  std::string kept;
  for (const std::string& folder : folders) {
    if (count == 0) break;
    // The name is taken first (never replacing a file); the save then puts the whole file in
    // the place of that empty one.
    const std::string name = ClaimFreeName(files, folder + stem, kKeptEnding, [&](const auto& to) {
      return files.Open(to, OpenMode::CreateNew) != nullptr;
    });
    if (name.empty()) continue;
    if (AVISaveV(files, name, {}, count, streams, nullptr) == AVIERR_OK) {
      kept = name;
      break;
    }
    files.Delete(name);
  }
  for (PAVISTREAM& stream : streams) {
    if (stream) AVIStreamRelease(stream);
  }
  AVIFileExit();

  std::string message;
  if (!kept.empty()) {
    message =
        "A recording left by a run that ended unexpectedly was repaired and kept in " + kept + ".";
  } else if (count > 0) {
    // It could not be written anywhere: it moves aside in the temporary folder, where no
    // recording reuses or removes it.
    std::vector<std::string> aside;
    for (const auto& [path, ending] : {std::pair{process.VideoTempFile, kKeptEnding},
                                       std::pair{process.AudioTempFile, kKeptSoundEnding}}) {
      if (!files.Exists(path)) continue;
      const std::string to = MoveToFreeName(files, path, tempFolder_ + stem, ending);
      if (!to.empty()) aside.push_back(to);
    }
    message = "A recording left by a run that ended unexpectedly could not be saved ";
    message += lastTarget.empty() ? "in the documents folder"
                                  : "next to " + lastTarget + " or in the documents folder";
    for (std::size_t i = 0; i < aside.size(); ++i)
      message += (i == 0 ? "; it was kept as it is in " : " and ") + aside[i];
    message += ".";
  } else {
    Log(LogLevel::Info, "engine", "the temporary files left by an earlier run hold nothing");
  }
  if (!message.empty()) {
    Log(LogLevel::Warning, "engine", message);
    platform_.shell.ShowInformation(nullptr, "Orvenna", message);
  }
  // What is left now is either kept elsewhere or holds nothing.
  DeleteTempFile(process.VideoTempFile);
  DeleteTempFile(process.AudioTempFile);
}

}  // namespace orvenna
