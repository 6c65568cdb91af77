#pragma once

#include <cstdint>
#include <vector>

#include "platform/avi/Avi.h"
#include "platform/avi/StreamSource.h"

namespace orvenna::avi {

// The percentage of a save, told to its callback whenever it grows. One thread.
class SaveProgress {
 public:
  SaveProgress(const AVISAVECALLBACK& callback, std::uint64_t totalWork)
      : callback_(callback), totalWork_(totalWork) {}

  // Counts `work` more done, and tells the percentage when it grew, never above `ceiling`.
  AviResult Advance(std::uint64_t work, int ceiling = 100);
  // Tells `percent` when it is more than told before; AVIERR_USERABORT when the callback asks
  // to stop.
  AviResult Report(int percent);

 private:
  const AVISAVECALLBACK& callback_;
  std::uint64_t totalWork_;
  std::uint64_t doneWork_ = 0;
  int reported_ = -1;
};

// Reads a stream's data in playing order across the extents it lies in (a sound stream's
// chunks). One thread.
class ExtentReader {
 public:
  explicit ExtentReader(const StreamSource& source);

  std::uint64_t Total() const { return total_; }
  std::uint64_t Position() const { return position_; }
  // Reads the next `size` bytes (no more than are left) into `buffer`, replacing what it held.
  AviResult Read(std::uint64_t size, std::vector<std::uint8_t>& buffer);

 private:
  const StreamSource& source_;
  std::uint64_t total_ = 0;
  std::uint64_t position_ = 0;
  std::size_t extent_ = 0;  // where the next byte lies
  std::uint64_t extentOffset_ = 0;
};

// The streams of a save by kind: a video stream first, then an optional audio stream; a null
// entry is left out. AVIERR_BADPARAM for any other set, or for streams not read from files.
AviResult SortSavedStreams(int count, PAVISTREAM* streams,
                           std::shared_ptr<const StreamSource>& video,
                           std::shared_ptr<const StreamSource>& audio);
// Flushes a save's output to the disk when the save wrote a complete file, and says why a
// failed write failed: AVIERR_DISKFULL when the disk ran out of room.
AviResult FinishSavedFile(File& output, AviResult result);

}  // namespace orvenna::avi
