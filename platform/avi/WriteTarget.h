#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Files.h"
#include "platform/avi/Avi.h"
#include "platform/avi/AviMuxer.h"

namespace orvenna::avi {

// A new AVI file with one video stream, written through the handles of that file and stream.
// Samples go to positions; positions skipped become empty chunks. The file is completed by
// Finish, or when the target is destroyed without it. One thread at a time.
class WriteTarget {
 public:
  explicit WriteTarget(std::unique_ptr<File> file);
  ~WriteTarget();
  WriteTarget(const WriteTarget&) = delete;
  WriteTarget& operator=(const WriteTarget&) = delete;

  // AVIERR_UNSUPPORTED for a second stream or one that is not video; AVIERR_BADPARAM for a
  // zero scale or rate.
  AviResult CreateStream(const AVISTREAMINFOA& info);
  bool HasStream() const { return info_.has_value(); }
  // The stream's header with the positions written so far as its length.
  AVISTREAMINFOA Info() const;
  const std::vector<std::uint8_t>& Format() const { return format_; }

  // The format can change until the first sample is written (then AVIERR_UNSUPPORTED).
  AviResult SetFormat(std::vector<std::uint8_t> format);
  // AVIERR_OK when a sample may go to `position`: not before the next free position and not
  // absurdly far after it; else AVIERR_BADPARAM.
  AviResult Accepts(std::int64_t position) const { return AcceptsAfter(position, next_); }
  // The same rule for a stream whose next free position is `next`.
  static AviResult AcceptsAfter(std::int64_t position, std::int64_t next);
  // The first position not written yet.
  std::int64_t NextPosition() const { return next_; }
  // Writes a sample of at most kMaxChunkSize bytes. AVIERR_BADFORMAT before a format is set,
  // AVIERR_FILEWRITE (AVIERR_DISKFULL for want of room) when the file refuses (then every
  // later write fails too).
  AviResult WriteSample(std::int64_t position, const void* data, std::uint32_t size, bool keyFrame);
  // Completes the file: AVIERR_FILEWRITE when any write failed. Call more often to get the
  // same answer. A target without a stream format leaves its file empty.
  AviResult Finish();

 private:
  AviMuxer& Muxer();
  // What a refused write of the file means.
  AviResult WriteFailure() const;

  std::unique_ptr<File> file_;
  std::optional<AVISTREAMINFOA> info_;
  std::vector<std::uint8_t> format_;
  std::unique_ptr<AviMuxer> muxer_;
  std::int64_t next_ = 0;  // the first position not written yet
  std::optional<AviResult> finished_;
};

}  // namespace orvenna::avi
