#pragma once

// What the handles of the AVI file library stand for. A handle is shared: a stream keeps what
// it needs (the file it reads, or the file it writes) after the file handle is released.
// Handles of one file are used by one thread at a time.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avi/Avi.h"
#include "platform/avi/StreamSource.h"
#include "platform/avi/WriteTarget.h"

namespace orvenna {

class AviFile {
 public:
  // A file opened for reading, with its streams.
  explicit AviFile(avi::StreamSources streams) : streams_(std::move(streams)) {}
  // A file opened for writing.
  explicit AviFile(std::shared_ptr<avi::WriteTarget> target) : target_(std::move(target)) {}

  const avi::StreamSources& Streams() const { return streams_; }
  // Null for a file opened for reading.
  const std::shared_ptr<avi::WriteTarget>& Target() const { return target_; }

 private:
  avi::StreamSources streams_;
  std::shared_ptr<avi::WriteTarget> target_;
};

class AviStream {
 public:
  virtual ~AviStream() = default;

  virtual AVISTREAMINFOA Info() const = 0;
  virtual std::vector<std::uint8_t> Format() const = 0;
  // The stream's data when it was read from a file; null for a stream being written.
  virtual std::shared_ptr<const avi::StreamSource> Source() const { return nullptr; }
  // The file the stream writes to; null for a stream read from a file.
  virtual std::shared_ptr<avi::WriteTarget> Target() const { return nullptr; }

  virtual AviResult SetFormat(std::int32_t pos, const void* format, std::int32_t formatSize) = 0;
  virtual AviResult Write(std::int32_t start, std::int32_t samples, const void* buffer,
                          std::int32_t bufferSize, std::uint32_t flags,
                          std::int32_t* samplesWritten, std::int32_t* bytesWritten) = 0;
  // Whether WritePicture takes frames; see AVIStreamWritePicture.
  virtual bool TakesPictures() const { return false; }
  virtual AviResult WritePicture(std::int32_t, const PictureRows&) { return AVIERR_UNSUPPORTED; }
  // Called when the stream's last handle is released: completes the writes still in
  // progress and answers a failure among them not yet reported.
  virtual AviResult Finish() { return AVIERR_OK; }
};

namespace avi {

// A stream read from a file: its data can be saved, not changed.
class ReadStream final : public AviStream {
 public:
  explicit ReadStream(std::shared_ptr<const StreamSource> source) : source_(std::move(source)) {}

  AVISTREAMINFOA Info() const override { return source_->info; }
  std::vector<std::uint8_t> Format() const override { return source_->format; }
  std::shared_ptr<const StreamSource> Source() const override { return source_; }
  AviResult SetFormat(std::int32_t, const void*, std::int32_t) override { return AVIERR_READONLY; }
  AviResult Write(std::int32_t, std::int32_t, const void*, std::int32_t, std::uint32_t,
                  std::int32_t*, std::int32_t*) override {
    return AVIERR_READONLY;
  }

 private:
  std::shared_ptr<const StreamSource> source_;
};

// The video stream of a file being written: samples are stored as they are given, one per
// position, with the caller's key-frame flag. Uncompressed frames must have the size of the
// format's image.
class RawWriteStream final : public AviStream {
 public:
  explicit RawWriteStream(std::shared_ptr<WriteTarget> target) : target_(std::move(target)) {}

  AVISTREAMINFOA Info() const override { return target_->Info(); }
  std::vector<std::uint8_t> Format() const override { return target_->Format(); }
  std::shared_ptr<WriteTarget> Target() const override { return target_; }
  AviResult SetFormat(std::int32_t pos, const void* format, std::int32_t formatSize) override;
  AviResult Write(std::int32_t start, std::int32_t samples, const void* buffer,
                  std::int32_t bufferSize, std::uint32_t flags, std::int32_t* samplesWritten,
                  std::int32_t* bytesWritten) override;

 private:
  std::shared_ptr<WriteTarget> target_;
};

// Checks the arguments shared by every write: one sample, a buffer for the bytes, a size that
// is not negative. AVIERR_BADPARAM otherwise.
AviResult CheckWriteArguments(std::int32_t samples, const void* buffer, std::int32_t bufferSize);

}  // namespace avi
}  // namespace orvenna
