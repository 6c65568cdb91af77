#pragma once

#include <cstdint>
#include <vector>

struct spa_pod;
struct spa_pod_builder;
struct spa_video_info_raw;

namespace orvenna::pipewire {

// The formats the stream accepts: 32-bit BGRx, BGRA, RGBx and RGBA of any size, at any frame
// rate up to 360 per second (variable rate: the compositor sends a frame when the screen
// changes); first in DMA-BUFs of plain rows, else in shared memory. A DMA-BUF of another
// layout (tiled) would read as garbage, so none is accepted. Built into `builder`, whose
// memory must outlive the pods.
std::vector<const spa_pod*> FormatParams(spa_pod_builder& builder);

// The buffers and metadata asked for once `format` is agreed: shared memory, or DMA-BUFs
// (mapped read-only) when the format has plain rows; the header, crop, damage and cursor
// (with a bitmap of up to 256 x 256) metadata.
std::vector<const spa_pod*> BufferParams(spa_pod_builder& builder,
                                         const spa_video_info_raw& format);

}  // namespace orvenna::pipewire
