#include "platform/mux/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace orvenna::mux {
namespace {

constexpr int kBufferSize = 1 << 16;

}  // namespace

FileIo::FileIo(File& file) : file_(file), cursor_{file}, context_(OpenContext(cursor_, true)) {}

FileIo::~FileIo() {
  CloseContext(context_);
}

void FileIo::Attach(AVFormatContext& format) {
  format.pb = context_;
  format.flags |= AVFMT_FLAG_CUSTOM_IO;
  format.opaque = this;
  format.io_open = OpenAgain;
  format.io_close2 = CloseAgain;
}

void FileIo::Flush() {
  if (context_) avio_flush(context_);
}

AVIOContext* FileIo::OpenContext(Cursor& cursor, bool writing) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) return nullptr;
  AVIOContext* context = avio_alloc_context(buffer, kBufferSize, writing ? 1 : 0, &cursor, Read,
                                            writing ? Write : nullptr, Seek);
  if (!context) av_free(buffer);
  return context;
}

void FileIo::CloseContext(AVIOContext* context) {
  if (!context) return;
  av_freep(&context->buffer);
  avio_context_free(&context);
}

int FileIo::Write(void* opaque, std::uint8_t* data, int size) {
  Cursor& cursor = *static_cast<Cursor*>(opaque);
  if (!cursor.file.WriteAt(static_cast<std::uint64_t>(cursor.position), data,
                           static_cast<std::size_t>(size))) {
    cursor.writeFailed = true;
    return AVERROR(cursor.file.RanOutOfRoom() ? ENOSPC : EIO);
  }
  cursor.position += size;
  return size;
}

int FileIo::Read(void* opaque, std::uint8_t* data, int size) {
  Cursor& cursor = *static_cast<Cursor*>(opaque);
  const std::int64_t left = cursor.file.Length() - cursor.position;
  if (left <= 0) return AVERROR_EOF;
  const int piece = static_cast<int>(std::min<std::int64_t>(size, left));
  if (!cursor.file.ReadAt(static_cast<std::uint64_t>(cursor.position), data,
                          static_cast<std::size_t>(piece))) {
    return AVERROR(EIO);
  }
  cursor.position += piece;
  return piece;
}

std::int64_t FileIo::Seek(void* opaque, std::int64_t offset, int whence) {
  Cursor& cursor = *static_cast<Cursor*>(opaque);
  if (whence & AVSEEK_SIZE) return cursor.file.Length();
  std::int64_t position = offset;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
      break;
    case SEEK_CUR:
      position += cursor.position;
      break;
    case SEEK_END:
      position += cursor.file.Length();
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (position < 0) return AVERROR(EINVAL);
  cursor.position = position;
  return position;
}

// The muxer opens its output a second time to read back what it wrote; every name it asks
// for is the one file.
int FileIo::OpenAgain(AVFormatContext* format, AVIOContext** context, const char* /*url*/,
                      int flags, AVDictionary** /*options*/) {
  auto& io = *static_cast<FileIo*>(format->opaque);
  auto* cursor = new Cursor{io.file_};
  *context = OpenContext(*cursor, (flags & AVIO_FLAG_WRITE) != 0);
  if (!*context) {
    delete cursor;
    return AVERROR(ENOMEM);
  }
  return 0;
}

int FileIo::CloseAgain(AVFormatContext* /*format*/, AVIOContext* context) {
  if (!context) return 0;
  avio_flush(context);
  const bool failed = static_cast<Cursor*>(context->opaque)->writeFailed;
  delete static_cast<Cursor*>(context->opaque);
  CloseContext(context);
  return failed ? AVERROR(EIO) : 0;
}

}  // namespace orvenna::mux
