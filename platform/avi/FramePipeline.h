#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/VideoCompression.h"
#include "platform/avi/Avi.h"

namespace orvenna::avi {

// Hands frames of one size to a thread of its own, which passes each to `work` in the order
// they were pushed. At most kMaxWaiting frames wait besides the one being worked on: a push
// into a full queue waits until one is taken, so the queue never drops frames and never grows.
// The frames are copied into buffers that are kept and reused, or made by the pusher in an
// encoder's own format (staged) and handed to `stagedWork`. The first failure of the work is
// kept until TakeError collects it; later frames are still worked on. Destroying the
// pipeline finishes every frame pushed before it ends the thread.
// Push, Drain and TakeError are for one thread at a time (the writer); the work runs on the
// pipeline's thread.
class FramePipeline {
 public:
  static constexpr std::size_t kMaxWaiting = 2;

  // `work` gets the pixels and position of one frame and answers AVIERR_OK or its failure.
  using Work = std::function<AviResult(const std::uint8_t* pixels, std::int64_t position)>;
  using StagedWork =
      std::function<AviResult(std::unique_ptr<StagedFrame> frame, std::int64_t position)>;
  // Makes a staged frame; null when it cannot.
  using Stage = std::function<std::unique_ptr<StagedFrame>()>;

  FramePipeline(std::size_t frameBytes, Work work, StagedWork stagedWork = nullptr);
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // Queues a copy of `pixels` (frameBytes of them) for `position`, first waiting while
  // kMaxWaiting frames wait.
  void Push(const std::uint8_t* pixels, std::int64_t position);
  // Queues the frame `stage` makes once there is room; false (nothing queued) when it made
  // none.
  bool PushStaged(const Stage& stage, std::int64_t position);
  // Waits until every frame pushed so far is worked on.
  void Drain();
  // The first failure not collected yet, or AVIERR_OK; collecting clears it.
  AviResult TakeError();

 private:
  struct Frame {
    std::vector<std::uint8_t> pixels;  // sized on first use, then reused
    std::unique_ptr<StagedFrame> staged;
    std::int64_t position = 0;
  };
  static constexpr std::size_t kBuffers = kMaxWaiting + 1;  // the waiting ones and one in work

  // Waits for room; the frame to fill, which the worker does not look at until Queue.
  Frame& NextFree();
  void Queue();
  void Run();

  const std::size_t frameBytes_;
  const Work work_;
  const StagedWork stagedWork_;
  std::array<Frame, kBuffers> frames_;
  std::mutex lock_;
  std::condition_variable changed_;
  // A ring of buffers: the one in work (when busy_) at head_, then the waiting ones.
  std::size_t head_ = 0;
  std::size_t waiting_ = 0;
  bool busy_ = false;
  bool stopping_ = false;
  AviResult error_ = AVIERR_OK;
  std::thread thread_;  // last: starts when everything above is ready
};

}  // namespace orvenna::avi
