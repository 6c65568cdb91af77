// Recordings kept for the user when they cannot go where they were meant to: written whole
// under a hidden name and given a free name only when complete, so that no name is ever
// claimed by an empty or half-written file.

#include "engine/KeptRecording.h"

#include <algorithm>
#include <filesystem>

#include "engine/FreeName.h"
#include "engine/ProcessState.h"
#include "engine/RecordingLock.h"
#include "platform/Containers.h"

namespace orvenna {
namespace {

constexpr char kKeptEnding[] = ".recovered.avi";
constexpr char kKeptSoundEnding[] = ".wav";
constexpr char kNameWhenUnknown[] = "Recording";

// The first stream of the temporary file at `path` when it holds anything: a file cut short
// reads up to its last whole chunk, whatever its index says.
PAVISTREAM OpenLeftStream(Files& files, const std::string& path) {
  if (path.empty() || !files.Exists(path)) return nullptr;
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

// Seconds that `stream` plays for.
double SecondsOf(PAVISTREAM stream) {
  AVISTREAMINFOA info;
  if (AVIStreamInfo(stream, info) != AVIERR_OK || info.dwRate == 0) return 0;
  return static_cast<double>(info.dwLength) * info.dwScale / info.dwRate;
}

// "x.recovered-2.avi" -> "x.recovered-2.wav".
std::string SoundNameBeside(const std::string& videoName) {
  return videoName.substr(0, videoName.size() - 4) + kKeptSoundEnding;
}

}  // namespace

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string StemPart(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);  // all of it without a slash
  if (ContainerOfName(name) && !NameEnding(name).empty()) {
    name.resize(name.size() - NameEnding(name).size());
  }
  return name.empty() ? kNameWhenUnknown : name;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

AviResult KeptRecordings::SaveHidden(RecordingLock* lock, const std::string& folder,
                                     const std::function<AviResult(File& output)>& write,
                                     std::string& hidden) {
  Files& files = files_;
  std::unique_ptr<File> output = AVICreateSaveFile(files, folder, hidden);
  if (!output) return AVIERR_FILEOPEN;
  if (lock) lock->NoteWriting(AbsolutePath(hidden));
  const AviResult result = write(*output);
  output.reset();
  // A save the user stopped is a complete file of what was copied.
  if (result != AVIERR_OK && result != AVIERR_USERABORT) PutHiddenAway(lock, hidden, {});
  return result;
}

bool KeptRecordings::PutHiddenAway(RecordingLock* lock, const std::string& hidden,
                                   const std::function<bool()>& place) {
  const bool placed = place && place();
  if (!placed) static_cast<void>(files_.Delete(hidden));
  if (lock) lock->NoteWriting({});
  return placed;
}

void KeptRecordings::RemoveHalfWrittenFile(RecordingLock& lock) {
  // Only the file that our own lock file names, which a run of ours created under a hidden name
  // of the save's kind a moment before noting it, and that no one holds open now.
  const std::string& left = lock.LastWriting();
  Files& files = files_;
  const std::string name = left.substr(left.rfind('/') + 1);
  if (!name.starts_with(kAviSaveFilePrefix) || !files.Exists(left) || files.IsLocked(left)) return;
  static_cast<void>(files.Delete(left));
  lock.NoteWriting({});
}

void KeptRecordings::SpoilTempFiles() {
  // The RIFF header goes: what is left reads as nothing, however much of it the wipe reached.
  constexpr std::uint8_t kNoHeader[12] = {};
  for (const std::string* path : {&Process().VideoTempFile, &Process().AudioTempFile}) {
    if (const auto file = files_.Open(*path, OpenMode::ReadWrite))
      static_cast<void>(file->WriteAt(0, kNoHeader, sizeof kNoHeader));
  }
}

bool KeptRecordings::KeepAsOneFile(RecordingLock* lock, const std::string& folder,
                                   const std::string& stem, int count, PAVISTREAM* streams,
                                   std::string& kept) {
  std::string hidden;
  const auto write = [&](File& output) { return AVISaveInto(output, {}, count, streams); };
  if (SaveHidden(lock, folder, write, hidden) != AVIERR_OK) return false;
  return PutHiddenAway(lock, hidden, [&] {
    kept = MoveToFreeName(files_, hidden, folder + stem, kKeptEnding);
    return !kept.empty();
  });
}

std::vector<std::string> KeptRecordings::MoveUnderOneName(const std::string& folder,
                                                          const std::string& stem,
                                                          const std::string& videoFile,
                                                          const std::string& soundFile) {
  Files& files = files_;
  const bool hasVideo = files.Exists(videoFile);
  const bool hasSound = !soundFile.empty() && files.Exists(soundFile);
  if (!hasVideo && !hasSound) return {};
  const std::string video = ClaimFreeName(
      files, folder + stem, kKeptEnding,
      [&](const std::string& to) {
        if (hasSound && !files.RenameNoReplace(soundFile, SoundNameBeside(to))) return false;
        if (!hasVideo || files.RenameNoReplace(videoFile, to)) return true;
        if (hasSound) static_cast<void>(files.Rename(SoundNameBeside(to), soundFile));
        return false;
      },
      [&](const std::string& to) {
        return files.Exists(to) || (hasSound && files.Exists(SoundNameBeside(to)));
      });
  if (video.empty()) return {};
  std::vector<std::string> moved;
  if (hasVideo) moved.push_back(video);
  if (hasSound) moved.push_back(SoundNameBeside(video));
  return moved;
}

KeptFiles KeptRecordings::KeepTemporaryFiles(RecordingLock* lock,
                                             const std::vector<std::string>& folders,
                                             const std::string& stem, const std::string& videoFile,
                                             const std::string& soundFile) {
  Files& files = files_;
  std::vector<std::string> places = folders;
  if (std::find(places.begin(), places.end(), tempFolder_) == places.end())
    places.push_back(tempFolder_);
  KeptFiles kept;
  AVIFileInit();
  // The picture and the sound go into one file, as the assembly would have put them (which
  // also repairs a file cut short); a stream that holds nothing is left out. Where no such
  // file can be written, the files move there as they are, under one free base name.
  PAVISTREAM streams[2] = {OpenLeftStream(files, videoFile), OpenLeftStream(files, soundFile)};
  if (streams[0]) kept.pictureSeconds = SecondsOf(streams[0]);
  if (!soundFile.empty() && files.Exists(soundFile))
    kept.soundSeconds = streams[1] ? SecondsOf(streams[1]) : 0;
  // Sound alone, when the run ended before its first picture.
  if (!streams[0]) std::swap(streams[0], streams[1]);
  const int count = streams[1] ? 2 : (streams[0] ? 1 : 0);
  kept.anything = count > 0;
  for (const std::string& folder : places) {
    if (count == 0) break;
    std::string name;
    if (KeepAsOneFile(lock, folder, stem, count, streams, name)) {
      kept.names = {name};
      kept.asOneFile = true;
      break;
    }
    kept.names = MoveUnderOneName(folder, stem, videoFile, soundFile);
    if (!kept.names.empty()) break;
  }
  for (PAVISTREAM& stream : streams) {
    if (stream) AVIStreamRelease(stream);
  }
  AVIFileExit();
  for (const std::string& name : kept.names) static_cast<void>(files.MakeUserFile(name));
  return kept;
}

}  // namespace orvenna
