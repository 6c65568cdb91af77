#include "platform/avi/FramePipeline.h"

#include <pthread.h>

#include <cstring>

#include "platform/ThreadRole.h"

namespace orvenna::avi {

FramePipeline::FramePipeline(std::size_t frameBytes, Work work, StagedWork stagedWork)
    : frameBytes_(frameBytes),
      work_(std::move(work)),
      stagedWork_(std::move(stagedWork)),
      thread_([this] { Run(); }) {}

FramePipeline::~FramePipeline() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

FramePipeline::Frame& FramePipeline::NextFree() {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return waiting_ < kMaxWaiting; });
  // The worker moves head_ and busy_ together, so the buffer after the queued ones stays
  // the same while it is filled outside the lock; the worker does not look at it yet.
  return frames_[(head_ + (busy_ ? 1 : 0) + waiting_) % kBuffers];
}

void FramePipeline::Queue() {
  {
    std::lock_guard guard(lock_);
    ++waiting_;
  }
  changed_.notify_all();
}

void FramePipeline::Push(const std::uint8_t* pixels, std::int64_t position) {
  Frame& frame = NextFree();
  if (frame.pixels.size() != frameBytes_) frame.pixels.resize(frameBytes_);
  std::memcpy(frame.pixels.data(), pixels, frameBytes_);
  frame.position = position;
  Queue();
}

bool FramePipeline::PushStaged(const Stage& stage, std::int64_t position) {
  Frame& frame = NextFree();
  frame.staged = stage();
  if (!frame.staged) return false;
  frame.position = position;
  Queue();
  return true;
}

void FramePipeline::Drain() {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return waiting_ == 0 && !busy_; });
}

AviResult FramePipeline::TakeError() {
  std::lock_guard guard(lock_);
  const AviResult error = error_;
  error_ = AVIERR_OK;
  return error;
}

void FramePipeline::Run() {
  pthread_setname_np(pthread_self(), "orvenna-encode");
  const ThreadRoleScope role(ThreadRole::Encode);
  std::unique_lock guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return waiting_ > 0 || stopping_; });
    if (waiting_ == 0) return;  // stopping, and every frame is done
    --waiting_;
    busy_ = true;
    Frame& frame = frames_[head_];
    guard.unlock();
    changed_.notify_all();  // room for one more
    const AviResult result = frame.staged ? stagedWork_(std::move(frame.staged), frame.position)
                                          : work_(frame.pixels.data(), frame.position);
    guard.lock();
    if (result != AVIERR_OK && error_ == AVIERR_OK) error_ = result;
    busy_ = false;
    head_ = (head_ + 1) % kBuffers;
    changed_.notify_all();
  }
}

}  // namespace orvenna::avi
