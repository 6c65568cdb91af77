#pragma once

#include <memory>
#include <string>

#include "platform/Files.h"
#include "platform/Result.h"

namespace orvenna {

// A track's temporary file, held open for reading while the track writes it: the second
// descriptor keeps the data reachable if the name is deleted or replaced meanwhile (by a
// cleaner of temporary folders, or by hand), and the data is then copied out to a file of
// its own. Recording thread.
class TempFileWatch {
 public:
  // `what` names the data in the messages ("what was recorded", "the sound recorded").
  TempFileWatch(Files& files, std::string path, std::string what);

  // Opens the watch on the file, which exists now.
  void Start();
  // Once the file is complete: when its name no longer leads to it, copies the data out to
  // a new file beside it, which Path() names from then on. The failure carries the message for
  // the user; Note() has the message when a copy was made.
  Result Rescue();
  // The file that holds the data: the temporary file, or the copy.
  const std::string& Path() const { return path_; }
  // A copy was made: it is ours to remove once the recording is saved or kept.
  bool Rescued() const { return rescued_; }
  const std::string& Note() const { return note_; }

 private:
  Files& files_;
  std::string path_;
  const std::string what_;
  std::unique_ptr<File> watch_;
  bool rescued_ = false;
  std::string note_;
};

}  // namespace orvenna
