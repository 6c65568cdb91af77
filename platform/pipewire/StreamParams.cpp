#include "platform/pipewire/StreamParams.h"

#include <spa/buffer/buffer.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/format.h>
#include <spa/param/param.h>
#include <spa/param/video/raw.h>
#include <spa/pod/builder.h>

#include "platform/pipewire/CursorMeta.h"

namespace orvenna::pipewire {

namespace {

// The layout of plain rows, as DRM names it.
constexpr std::int64_t kLinearModifier = 0;

// Bytes of cursor metadata with a `side` x `side` bitmap of 32-bit pixels.
constexpr int CursorMetaSize(int side) {
  return static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}

// Metadata of `type`, of `size` bytes or any size from `smallest` to `largest` that the
// compositor prefers (compositors ask for sizes of their own).
const spa_pod* MetaParam(spa_pod_builder& builder, spa_meta_type type, int size, int smallest,
                         int largest) {
  spa_pod_frame frame;
  spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
  spa_pod_builder_add(&builder, SPA_PARAM_META_type, SPA_POD_Id(type), SPA_PARAM_META_size,
                      SPA_POD_CHOICE_RANGE_Int(size, smallest, largest), 0);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
}

// The raw video formats, in buffers of the modifier DRM_FORMAT_MOD_LINEAR (0) when `linear`:
// DMA-BUFs of that layout can be mapped and read row by row. Without a modifier, the stream
// gets shared memory.
const spa_pod* VideoFormat(spa_pod_builder& builder, bool linear) {
  const spa_rectangle size{1920, 1080}, smallest{1, 1}, largest{16384, 16384};
  const spa_fraction rate{0, 1}, slowest{0, 1}, fastest{360, 1};
  const spa_fraction maxRate{60, 1}, maxSlowest{1, 1};
  spa_pod_frame frame;
  spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_add(
      &builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
      SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest),
      SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&maxRate, &maxSlowest, &fastest),
      0);
  if (linear) {
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_modifier, SPA_POD_PROP_FLAG_MANDATORY);
    spa_pod_builder_long(&builder, kLinearModifier);
  }
  return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
}

}  // namespace

std::vector<const spa_pod*> FormatParams(spa_pod_builder& builder) {
  return {VideoFormat(builder, true), VideoFormat(builder, false)};
}

std::vector<const spa_pod*> BufferParams(spa_pod_builder& builder,
                                         const spa_video_info_raw& format) {
  const bool dmaBuf =
      (format.flags & SPA_VIDEO_FLAG_MODIFIER) && format.modifier == kLinearModifier;
  std::vector<const spa_pod*> params;
  spa_pod_frame frame;
  spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
  spa_pod_builder_add(
      &builder, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(8, 2, 32),
      SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_align, SPA_POD_Int(16),
      SPA_PARAM_BUFFERS_stride, SPA_POD_CHOICE_RANGE_Int(format.size.width * 4, 0, INT32_MAX),
      SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int(dmaBuf ? 1 << SPA_DATA_DmaBuf
                                      : (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)),
      0);
  params.push_back(static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame)));
  constexpr int header = sizeof(spa_meta_header), region = sizeof(spa_meta_region);
  params.push_back(MetaParam(builder, SPA_META_Header, header, header, header));
  params.push_back(MetaParam(builder, SPA_META_VideoCrop, region, region, region));
  params.push_back(MetaParam(builder, SPA_META_VideoDamage, region * 16, region, region * 64));
  params.push_back(MetaParam(builder, SPA_META_Cursor, CursorMetaSize(kCursorBitmapAsked),
                             CursorMetaSize(1), CursorMetaSize(kCursorBitmapMax)));
  return params;
}

}  // namespace orvenna::pipewire
