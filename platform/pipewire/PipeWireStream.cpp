#include "platform/pipewire/PipeWireStream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/pipewire/MappedBuffer.h"
#include "platform/pipewire/StreamParams.h"

namespace orvenna::pipewire {

namespace {

// How long Connect waits for the daemon's answer and for the stream to link.
constexpr int kConnectSeconds = 5;

void InitPipeWireOnce() {
  static std::once_flag once;
  std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// Whether `buffer` carries a picture: buffers with only cursor news have no data.
bool HasPicture(const spa_buffer& buffer) {
  if (buffer.n_datas < 1 || !buffer.datas[0].chunk) return false;
  const spa_chunk& chunk = *buffer.datas[0].chunk;
  if (chunk.size == 0 || (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED)) return false;
  const auto* header = static_cast<const spa_meta_header*>(
      spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
  return !header || !(header->flags & SPA_META_HEADER_FLAG_CORRUPTED);
}

// The part of a `size` picture that the buffer's crop metadata keeps, clipped to the picture.
Rect CropOf(const spa_buffer& buffer, Size size) {
  const auto* crop = static_cast<const spa_meta_region*>(
      spa_buffer_find_meta_data(&buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
  if (!crop || !spa_meta_region_is_valid(crop)) return {0, 0, size.width, size.height};
  const std::int64_t left = std::clamp<std::int64_t>(crop->region.position.x, 0, size.width);
  const std::int64_t top = std::clamp<std::int64_t>(crop->region.position.y, 0, size.height);
  const std::int64_t width = std::min<std::int64_t>(crop->region.size.width, size.width - left);
  const std::int64_t height = std::min<std::int64_t>(crop->region.size.height, size.height - top);
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
          static_cast<int>(height)};
}

}  // namespace

struct PipeWireStream::Listeners {
  spa_hook core{};
  spa_hook stream{};
  spa_hook registry{};
  pw_core_events coreEvents{};
  pw_registry_events registryEvents{};
  pw_stream_events streamEvents{};

  Listeners() {
    coreEvents.version = PW_VERSION_CORE_EVENTS;
    coreEvents.done = [](void* data, std::uint32_t id, int seq) {
      auto* self = static_cast<PipeWireStream*>(data);
      if (id != PW_ID_CORE || seq != self->syncSeq_) return;
      self->synced_ = true;
      pw_thread_loop_signal(self->loop_, false);
    };
    coreEvents.error = [](void* data, std::uint32_t id, int, int res, const char* message) {
      if (id != PW_ID_CORE) return;  // errors of single objects come through their own events
      auto* self = static_cast<PipeWireStream*>(data);
      self->End(res == -EPIPE ? std::string("the connection to the PipeWire daemon was lost")
                              : "the PipeWire daemon reported an error: " + std::string(message) +
                                    " (" + std::strerror(-res) + ")");
    };
    // A stream whose node goes away only pauses: the end of the shared screen or window shows
    // as the node leaving the registry.
    registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    registryEvents.global_remove = [](void* data, std::uint32_t id) {
      auto* self = static_cast<PipeWireStream*>(data);
      if (id == self->node_)
        self->End("the shared screen or window is no longer available (its stream was removed)");
    };
    streamEvents.version = PW_VERSION_STREAM_EVENTS;
    streamEvents.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                                    const char* error) {
      auto* self = static_cast<PipeWireStream*>(data);
      switch (state) {
        case PW_STREAM_STATE_ERROR:
          self->End("the screen stream failed: " + std::string(error ? error : "no cause given"));
          return;
        case PW_STREAM_STATE_UNCONNECTED:
          self->End("the screen stream was disconnected (the shared screen or window is gone)");
          return;
        default: {
          std::lock_guard lock(self->mutex_);
          if (self->state_ == StreamState::Ended) return;
          self->state_ = state == PW_STREAM_STATE_STREAMING ? StreamState::Streaming
                         : state == PW_STREAM_STATE_PAUSED  ? StreamState::Paused
                                                            : StreamState::Connecting;
        }
      }
      pw_thread_loop_signal(self->loop_, false);
    };
    streamEvents.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
      if (id == SPA_PARAM_Format && param) static_cast<PipeWireStream*>(data)->TakeFormat(param);
    };
    streamEvents.process = [](void* data) { static_cast<PipeWireStream*>(data)->TakeBuffers(); };
  }
};

PipeWireStream::PipeWireStream() {
  InitPipeWireOnce();
  listeners_ = new Listeners;
  loop_ = pw_thread_loop_new("orvenna-pipewire", nullptr);
}

PipeWireStream::~PipeWireStream() {
  // Once the loop's thread has stopped, no callback runs any more: the rest goes down in order.
  if (loop_) pw_thread_loop_stop(loop_);
  frame_.Close();
  if (stream_) pw_stream_destroy(stream_);
  if (registry_) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
  if (core_) pw_core_disconnect(core_);
  if (context_) pw_context_destroy(context_);
  if (loop_) pw_thread_loop_destroy(loop_);
  delete listeners_;
}

Result PipeWireStream::Connect(int fd, std::uint32_t node) {
  if (context_) {
    if (fd >= 0) close(fd);
    return Result::Failed("the screen stream is connected already");
  }
  if (!loop_ || pw_thread_loop_start(loop_) != 0) {
    if (fd >= 0) close(fd);
    return Result::Failed("cannot start the thread that reads the screen stream");
  }
  pw_thread_loop_lock(loop_);
  Result result = ConnectLocked(fd, node);
  if (!result) End(result.Cause());
  pw_thread_loop_unlock(loop_);
  return result;
}

template <typename Done>
bool PipeWireStream::WaitLocked(Done done, int seconds) {
  timespec deadline{};
  pw_thread_loop_get_time(loop_, &deadline, static_cast<std::int64_t>(seconds) * SPA_NSEC_PER_SEC);
  while (!done() && State() != StreamState::Ended) {
    if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0) return done();
  }
  return done();
}

Result PipeWireStream::ConnectLocked(int fd, std::uint32_t node) {
  context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
  if (!context_) {
    if (fd >= 0) close(fd);
    return Result::Failed("cannot set up a PipeWire context: " + std::string(std::strerror(errno)));
  }
  core_ = fd >= 0 ? pw_context_connect_fd(context_, fd, nullptr, 0)
                  : pw_context_connect(context_, nullptr, 0);
  if (!core_)
    return Result::Failed("cannot connect to the PipeWire daemon: " +
                          std::string(std::strerror(errno)));
  pw_core_add_listener(core_, &listeners_->core, &listeners_->coreEvents, this);
  node_ = node;
  registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
  pw_registry_add_listener(registry_, &listeners_->registry, &listeners_->registryEvents, this);
  syncSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
  if (!WaitLocked([this] { return synced_; }, kConnectSeconds)) {
    const std::string cause = EndReason();
    return Result::Failed(cause.empty() ? "the PipeWire daemon did not answer within " +
                                              std::to_string(kConnectSeconds) + " seconds"
                                        : cause);
  }

  stream_ = pw_stream_new(core_, "Orvenna screen",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  if (!stream_)
    return Result::Failed("cannot create a PipeWire stream: " + std::string(std::strerror(errno)));
  pw_stream_add_listener(stream_, &listeners_->stream, &listeners_->streamEvents, this);
  std::uint8_t memory[4096];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
  std::vector<const spa_pod*> params = FormatParams(builder);
  const int linked = pw_stream_connect(
      stream_, PW_DIRECTION_INPUT, node,
      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
      params.data(), static_cast<std::uint32_t>(params.size()));
  if (linked < 0)
    return Result::Failed("cannot connect a stream to PipeWire node " + std::to_string(node) +
                          ": " + std::strerror(-linked));
  if (!WaitLocked([this] { return State() != StreamState::Connecting; }, kConnectSeconds)) {
    const std::string cause = EndReason();
    return Result::Failed(cause.empty() ? "the stream of PipeWire node " + std::to_string(node) +
                                              " did not link within " +
                                              std::to_string(kConnectSeconds) + " seconds"
                                        : cause);
  }
  return State() == StreamState::Ended ? Result::Failed(EndReason()) : Result::Ok();
}

void PipeWireStream::TakeFormat(const spa_pod* param) {
  std::uint32_t mediaType = 0, mediaSubtype = 0;
  spa_video_info_raw format{};
  if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
      mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &format) < 0) {
    End("the screen stream offered a format that is not raw video");
    return;
  }
  switch (format.format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
      order_ = PixelOrder::BlueFirst;
      break;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
      order_ = PixelOrder::RedFirst;
      break;
    default:
      End("the screen stream agreed on a pixel format that is not 32-bit RGB");
      return;
  }
  formatSize_ = {static_cast<int>(format.size.width), static_cast<int>(format.size.height)};
  std::uint8_t memory[4096];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
  std::vector<const spa_pod*> params = BufferParams(builder, format);
  pw_stream_update_params(stream_, params.data(), static_cast<std::uint32_t>(params.size()));
}

void PipeWireStream::TakeBuffers() {
  pw_buffer* picture = nullptr;
  while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream_)) {
    spa_buffer& data = *buffer->buffer;
    if (auto* meta = spa_buffer_find_meta(&data, SPA_META_Cursor);
        meta && meta->size >= sizeof(spa_meta_cursor)) {
      std::lock_guard lock(mutex_);
      TakeCursorMeta(*static_cast<const spa_meta_cursor*>(meta->data), meta->size, cursor_);
    }
    if (!HasPicture(data)) {
      pw_stream_queue_buffer(stream_, buffer);
      continue;
    }
    if (picture) pw_stream_queue_buffer(stream_, picture);
    picture = buffer;
  }
  if (!picture) return;
  TakePicture(*picture->buffer);
  pw_stream_queue_buffer(stream_, picture);
}

void PipeWireStream::TakePicture(const spa_buffer& buffer) {
  const spa_data& data = buffer.datas[0];
  MappedBuffer mapped(data);
  if (!mapped.Bytes()) return;  // memory that cannot be read here: the frame is skipped
  const spa_chunk& chunk = *data.chunk;
  const std::int64_t stride = chunk.stride > 0 ? chunk.stride : std::int64_t{formatSize_.width} * 4;
  const Rect crop = CropOf(buffer, formatSize_);
  if (crop.width <= 0 || crop.height <= 0 || stride < std::int64_t{crop.width} * 4) return;
  // The picture must lie within the mapped memory, whatever the chunk claims.
  const std::uint64_t start = chunk.offset + crop.top * stride + crop.left * 4;
  const std::uint64_t end = start + (crop.height - 1) * stride + std::int64_t{crop.width} * 4;
  if (end > mapped.Size()) return;
  frame_.Store(mapped.Bytes() + start, static_cast<std::ptrdiff_t>(stride),
               {crop.width, crop.height}, order_);
}

void PipeWireStream::End(std::string reason) {
  {
    std::lock_guard lock(mutex_);
    if (state_ == StreamState::Ended) return;
    state_ = StreamState::Ended;
    endReason_ = std::move(reason);
  }
  frame_.Close();
  if (loop_) pw_thread_loop_signal(loop_, false);
}

bool PipeWireStream::WaitForFirstFrame(std::chrono::milliseconds timeout) const {
  return frame_.WaitForFrameAfter(0, timeout);
}

bool PipeWireStream::WaitForFrameAfter(std::uint64_t count,
                                       std::chrono::milliseconds timeout) const {
  return frame_.WaitForFrameAfter(count, timeout);
}

std::uint64_t PipeWireStream::FrameCount() const {
  return frame_.Count();
}

Result PipeWireStream::Read(const Rect& area, const ImageView& image) const {
  return frame_.Read(area, image);
}

Size PipeWireStream::FrameSize() const {
  return frame_.FrameSize();
}

bool PipeWireStream::Cursor(CursorImage& cursor) const {
  std::lock_guard lock(mutex_);
  cursor = cursor_.image;
  return cursor_.known;
}

StreamState PipeWireStream::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::string PipeWireStream::EndReason() const {
  std::lock_guard lock(mutex_);
  return endReason_;
}

}  // namespace orvenna::pipewire
