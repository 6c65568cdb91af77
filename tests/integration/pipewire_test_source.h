#pragma once

// A video source of the test's own on the desktop's PipeWire daemon, for what the compositor
// cannot be made to do on demand: frames in a red-first pixel order, a crop, and a change of
// size while streaming. Its pixel (x, y) of frame `mark` has the bytes x, y, mark, 0xFF in the
// agreed order (x and y modulo 256).

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstdint>
#include <string>

#include "platform/Geometry.h"

namespace orvenna::wltest {

class TestVideoSource {
 public:
  TestVideoSource() {
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("test-video-source", nullptr);
    events_.version = PW_VERSION_STREAM_EVENTS;
    events_.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
      auto* self = static_cast<TestVideoSource*>(data);
      if (id == SPA_PARAM_Format && param) self->TakeFormat(param);
    };
    events_.state_changed = [](void* data, pw_stream_state, pw_stream_state, const char*) {
      pw_thread_loop_signal(static_cast<TestVideoSource*>(data)->loop_, false);
    };
  }
  ~TestVideoSource() {
    pw_thread_loop_stop(loop_);
    if (stream_) pw_stream_destroy(stream_);
    if (core_) pw_core_disconnect(core_);
    if (context_) pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
  }
  TestVideoSource(const TestVideoSource&) = delete;
  TestVideoSource& operator=(const TestVideoSource&) = delete;

  // Offers frames of `format` and `size`; false when the daemon does not take the source
  // within 5 seconds.
  bool Start(spa_video_format format, Size size) {
    format_ = format;
    pw_thread_loop_start(loop_);
    pw_thread_loop_lock(loop_);
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_) {
      stream_ = pw_stream_new(core_, "Orvenna test source",
                              pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
      pw_stream_add_listener(stream_, &listener_, &events_, this);
      std::uint8_t memory[512];
      spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
      const spa_pod* params[] = {Format(builder, size)};
      pw_stream_connect(
          stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
          static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
          1);
      Wait([this] { return pw_stream_get_node_id(stream_) != SPA_ID_INVALID; });
    }
    const bool started = stream_ && pw_stream_get_node_id(stream_) != SPA_ID_INVALID;
    pw_thread_loop_unlock(loop_);
    return started;
  }
  std::uint32_t Node() {
    pw_thread_loop_lock(loop_);
    const std::uint32_t node = pw_stream_get_node_id(stream_);
    pw_thread_loop_unlock(loop_);
    return node;
  }

  // Waits (5 seconds at most) until the reader has linked and the stream runs.
  bool WaitStreaming() {
    pw_thread_loop_lock(loop_);
    const bool streaming = Wait([this] {
      return pw_stream_get_state(stream_, nullptr) == PW_STREAM_STATE_STREAMING && size_.width > 0;
    });
    pw_thread_loop_unlock(loop_);
    return streaming;
  }

  // Offers `size` from now on: the format is agreed anew while streaming.
  void Resize(Size size) {
    pw_thread_loop_lock(loop_);
    std::uint8_t memory[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
    const spa_pod* params[] = {Format(builder, size)};
    pw_stream_update_params(stream_, params, 1);
    pw_thread_loop_unlock(loop_);
  }
  // The size the reader agreed to.
  Size AgreedSize() {
    pw_thread_loop_lock(loop_);
    const Size size = size_;
    pw_thread_loop_unlock(loop_);
    return size;
  }

  // Sends frame `mark`, cropped to `crop` (whole frame when empty): the frame is queued first,
  // then the graph runs, so the reader gets it in this very cycle.
  void Send(std::uint8_t mark, Rect crop) {
    pw_thread_loop_lock(loop_);
    Fill(mark, crop);
    pw_stream_trigger_process(stream_);
    pw_thread_loop_unlock(loop_);
  }

 private:
  template <typename Done>
  bool Wait(Done done) {
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, 5 * SPA_NSEC_PER_SEC);
    while (!done())
      if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0) return done();
    return true;
  }

  const spa_pod* Format(spa_pod_builder& builder, Size size) {
    const spa_rectangle rectangle{static_cast<std::uint32_t>(size.width),
                                  static_cast<std::uint32_t>(size.height)};
    const spa_fraction rate{0, 1};
    spa_pod_frame frame;
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(&builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
                        SPA_FORMAT_VIDEO_format, SPA_POD_Id(format_), SPA_FORMAT_VIDEO_size,
                        SPA_POD_Rectangle(&rectangle), SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_Fraction(&rate), 0);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
  }

  // Loop thread: the agreed format; asks for buffers of its size with crop metadata.
  void TakeFormat(const spa_pod* param) {
    spa_video_info_raw info{};
    spa_format_video_raw_parse(param, &info);
    size_ = {static_cast<int>(info.size.width), static_cast<int>(info.size.height)};
    const int stride = size_.width * 4;
    std::uint8_t memory[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
    spa_pod_frame frame;
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_add(&builder, SPA_PARAM_BUFFERS_buffers, SPA_POD_Int(4),
                        SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
                        SPA_POD_Int(stride * size_.height), SPA_PARAM_BUFFERS_stride,
                        SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
                        SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd), 0);
    const spa_pod* buffers = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_add(&builder, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop),
                        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region)), 0);
    const spa_pod* crop = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    const spa_pod* params[] = {buffers, crop};
    pw_stream_update_params(stream_, params, 2);
  }

  // Under the loop's lock: writes frame `mark` into a free buffer and queues it.
  void Fill(std::uint8_t mark, Rect crop) {
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream_);
    if (!buffer) return;
    spa_data& data = buffer->buffer->datas[0];
    const int stride = size_.width * 4;
    if (!data.data || data.maxsize < static_cast<std::uint32_t>(stride * size_.height)) {
      pw_stream_queue_buffer(stream_, buffer);
      return;
    }
    const bool redFirst = format_ == SPA_VIDEO_FORMAT_RGBx || format_ == SPA_VIDEO_FORMAT_RGBA;
    for (int y = 0; y < size_.height; ++y) {
      auto* pixel = static_cast<std::uint8_t*>(data.data) + y * stride;
      for (int x = 0; x < size_.width; ++x, pixel += 4) {
        // Blue carries x, green y, red the mark.
        pixel[redFirst ? 2 : 0] = static_cast<std::uint8_t>(x);
        pixel[1] = static_cast<std::uint8_t>(y);
        pixel[redFirst ? 0 : 2] = mark;
        pixel[3] = 0xFF;
      }
    }
    data.chunk->offset = 0;
    data.chunk->stride = stride;
    data.chunk->size = static_cast<std::uint32_t>(stride * size_.height);
    if (auto* meta = static_cast<spa_meta_region*>(spa_buffer_find_meta_data(
            buffer->buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)))) {
      meta->region.position = {crop.left, crop.top};
      meta->region.size = {static_cast<std::uint32_t>(crop.width),
                           static_cast<std::uint32_t>(crop.height)};
    }
    pw_stream_queue_buffer(stream_, buffer);
  }

  pw_thread_loop* loop_;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  spa_hook listener_{};
  pw_stream_events events_{};
  spa_video_format format_ = SPA_VIDEO_FORMAT_BGRx;
  Size size_;  // agreed; loop thread, or under the loop's lock
};

}  // namespace orvenna::wltest
