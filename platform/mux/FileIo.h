#pragma once

#include <cstdint>

#include "platform/Files.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace orvenna::mux {

// libavformat's output into one of our files: the muxer writes, seeks back to fill in sizes
// and indexes, and reads the file back where it moves the index to the front. A failed write
// is kept, so that the save can say whether the disk was full. One thread.
class FileIo {
 public:
  explicit FileIo(File& file);
  ~FileIo();
  FileIo(const FileIo&) = delete;
  FileIo& operator=(const FileIo&) = delete;

  // Gives `format` this output, and the means to open the same file again for reading.
  void Attach(AVFormatContext& format);
  // Writes what the output still buffers.
  void Flush();
  bool WriteFailed() const { return cursor_.writeFailed; }
  bool RanOutOfRoom() const { return file_.RanOutOfRoom(); }

 private:
  // Where one context of the file reads or writes next.
  struct Cursor {
    File& file;
    std::int64_t position = 0;
    bool writeFailed = false;
  };

  static AVIOContext* OpenContext(Cursor& cursor, bool writing);
  static void CloseContext(AVIOContext* context);
  static int Write(void* opaque, std::uint8_t* data, int size);
  static int Read(void* opaque, std::uint8_t* data, int size);
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);
  static int OpenAgain(AVFormatContext* format, AVIOContext** context, const char* url, int flags,
                       AVDictionary** options);
  static int CloseAgain(AVFormatContext* format, AVIOContext* context);

  File& file_;
  Cursor cursor_;
  AVIOContext* context_;
};

}  // namespace orvenna::mux
