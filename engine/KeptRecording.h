#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/avi/Avi.h"

namespace orvenna {

class RecordingLock;

// What became of a recording's temporary files that were kept for the user.
struct KeptFiles {
  bool anything = false;           // the files held something to keep
  bool asOneFile = false;          // picture and sound were written into one new AVI file
  std::vector<std::string> names;  // the kept files: the AVI file, or the files as they were
  double pictureSeconds = 0;       // of the kept picture
  double soundSeconds = -1;        // of the kept sound; -1: the run recorded none
};

// `path` as seen from the working folder, so that a later run elsewhere finds the same file.
std::string AbsolutePath(const std::string& path);
// The folder part of `path` with its '/' ("" without one).
std::string FolderPart(const std::string& path);
// The file name of `path` without its ".avi", ".mkv" or ".mp4" ending (any case); "Recording"
// when nothing is left.
std::string StemPart(const std::string& path);

// Writes recordings that cannot go where they were meant to under names of their own, and the
// temporary files' end once a recording is in its place. Recording thread, and the UI thread
// at start-up.
class KeptRecordings {
 public:
  // `tempFolder` ends with '/'.
  KeptRecordings(Files& files, std::string tempFolder)
      : files_(files), tempFolder_(std::move(tempFolder)) {}

  // Runs `write` on a new file under a hidden name in `folder`, noted in `lock` (when given)
  // while it is written; a failed one (but for the user's stop) is removed.
  AviResult SaveHidden(RecordingLock* lock, const std::string& folder,
                       const std::function<AviResult(File& output)>& write, std::string& hidden);
  // Runs `place` and removes the hidden file unless it answers true; the note ends either way.
  bool PutHiddenAway(RecordingLock* lock, const std::string& hidden,
                     const std::function<bool()>& place);
  // Removes the hidden file that the last holder of `lock` noted as being written, when it is
  // still there and no one holds it: a killed run left it half written.
  void RemoveHalfWrittenFile(RecordingLock& lock);
  // Keeps the temporary video and sound files for the user in the first of `folders` (then the
  // temporary folder) that takes them, named after `stem`: as one new AVI file of both streams
  // where it can be written, else as they are under one free base name. Kept files get the
  // permissions of a saved file.
  KeptFiles KeepTemporaryFiles(RecordingLock* lock, const std::vector<std::string>& folders,
                               const std::string& stem, const std::string& videoFile,
                               const std::string& soundFile);
  // Once the recording is in its place (saved, or kept as a new file), the temporary files
  // stop being readable as a recording at once, before their slow wipe: a run killed meanwhile
  // leaves nothing that the next start would keep a second time.
  void SpoilTempFiles();

 private:
  bool KeepAsOneFile(RecordingLock* lock, const std::string& folder, const std::string& stem,
                     int count, PAVISTREAM* streams, std::string& kept);
  std::vector<std::string> MoveUnderOneName(const std::string& folder, const std::string& stem,
                                            const std::string& videoFile,
                                            const std::string& soundFile);

  Files& files_;
  const std::string tempFolder_;
};

}  // namespace orvenna
