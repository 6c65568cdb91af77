#pragma once

#include <memory>
#include <string>

#include "platform/Files.h"

namespace orvenna {

// The lock over the temporary recording files of one temporary folder, held by the recording
// that uses them, so that two recordings of one user never share them and no start-up takes a
// running recording's files for left-overs. The lock file ("recording.lock") also remembers
// the file the recording writes: for the message of a second recording, and for keeping a
// recording that a killed run left behind next to the file it was meant for; and the file
// being written under a hidden name, so that what a killed run left half written is removed.
// One thread at a time.
class RecordingLock {
 public:
  // Takes the lock of `folder` (ending with '/') without waiting. Null when another holds it
  // (or the lock file cannot be had); `holderTarget` then names the file the holder writes,
  // empty when that is not known.
  static std::unique_ptr<RecordingLock> Take(Files& files, const std::string& folder,
                                             std::string& holderTarget);

  // The file the last holder wrote (a recording that ended, or one that was killed); empty
  // when none was noted.
  const std::string& LastTarget() const { return lastTarget_; }
  // The file that the last holder was writing when it ended (a save or a kept recording under
  // a hidden name that a killed run left half written); empty when none was noted.
  const std::string& LastWriting() const { return lastWriting_; }
  // Notes `target` as the file the holder writes; false when the lock file refuses it.
  bool NoteTarget(const std::string& target);
  // Notes `path` as the file that the holder is writing now, created by it a moment ago (empty
  // once it is complete and in its place, or removed); false when the lock file refuses it.
  bool NoteWriting(const std::string& path);
  // Removes the lock file, for a folder that no other run shares; the lock holds until this
  // object goes.
  void Remove();

 private:
  RecordingLock(Files& files, std::string path, std::unique_ptr<File> file);
  bool Note(const std::string& target, const std::string& writing);

  Files& files_;
  const std::string path_;
  std::unique_ptr<File> file_;  // holds the lock while open
  std::string lastTarget_;
  std::string lastWriting_;
};

}  // namespace orvenna
