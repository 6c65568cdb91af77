// The temporary recording files between runs: the lock a recording holds over them, and the
// keeping of a recording that a killed run (a crash, SIGKILL, a power cut) left behind.

#include <cstdio>
#include <string>
#include <vector>

#include "engine/Vistrel.h"
#include "platform/Log.h"

namespace orvenna {
namespace {

// The sound of a killed run reaches the disk a quarter second after its picture at most: sound
// shorter by more than this lost some, and the user is told.
constexpr double kToldSoundShortfall = 0.5;

std::string SoundShortNote(const KeptFiles& kept) {
  const double shortBy = kept.pictureSeconds - kept.soundSeconds;
  if (kept.soundSeconds < 0 || shortBy < kToldSoundShortfall) return "";
  if (kept.soundSeconds == 0) return " The sound recorded with it was lost.";
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", shortBy);
  return std::string(" Its sound ends ") + seconds +
         " seconds before its picture; the sound of that time was lost.";
}

}  // namespace

void TVistrel::TidyTempFolder() {
  std::string holder;
  const auto lock = RecordingLock::Take(platform_.files, tempFolder_, holder);
  if (!lock) return;  // a recording runs: its files are not left-overs
  KeepLeftRecording(*lock);
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
  KeepLeftRecording(*recordingLock_);
  if (!recordingLock_->NoteTarget(AbsolutePath(target)))
    Log(LogLevel::Warning, "engine", "the recording lock file does not take the target's name");
  return true;
}

void TVistrel::KeepLeftRecording(RecordingLock& lock) {
  kept_->RemoveHalfWrittenFile(lock);
  Files& files = platform_.files;
  const ProcessState& process = Process();
  if (process.VideoTempFile.empty() ||
      (!files.Exists(process.VideoTempFile) && !files.Exists(process.AudioTempFile))) {
    return;
  }
  const std::string& lastTarget = lock.LastTarget();
  std::vector<std::string> folders;
  if (const std::string folder = FolderPart(lastTarget); !folder.empty()) folders.push_back(folder);
  folders.push_back(platform_.shell.DocumentsFolder() + "/");
  const KeptFiles kept = kept_->KeepTemporaryFiles(&lock, folders, StemPart(lastTarget),
                                                   process.VideoTempFile, process.AudioTempFile);
  // What is left now is either kept elsewhere or holds nothing; it goes before the user is
  // told, so that a run ended while the message is shown does not keep it a second time.
  if (!kept.names.empty()) kept_->SpoilTempFiles();
  DeleteTempFile(process.VideoTempFile);
  DeleteTempFile(process.AudioTempFile);

  std::string message;
  if (kept.asOneFile) {
    message = "A recording left by a run that ended unexpectedly was repaired and kept in " +
              kept.names.front() + ".";
  } else if (kept.anything) {
    message = "A recording left by a run that ended unexpectedly could not be written as one file ";
    message += lastTarget.empty() ? "in the documents folder"
                                  : "next to " + lastTarget + " or in the documents folder";
    for (std::size_t i = 0; i < kept.names.size(); ++i)
      message += (i == 0 ? "; it was kept as it is in " : " and ") + kept.names[i];
    message += ".";
  } else {
    Log(LogLevel::Info, "engine", "the temporary files left by an earlier run hold nothing");
  }
  if (!message.empty()) message += SoundShortNote(kept);
  if (!message.empty()) {
    Log(LogLevel::Warning, "engine", message);
    platform_.shell.ShowInformation(nullptr, "Orvenna", message);
  }
}

}  // namespace orvenna
