#include "audio/WaveThread.h"

#include "audio/WaveIO.h"
#include "platform/ThreadPriority.h"
#include "platform/ThreadRole.h"

namespace orvenna {
namespace {

constexpr int kAboveNormal = 4;

}  // namespace

TWaveThread::TWaveThread(TWaveAudioIO& component)
    : component_(component), thread_([this] { Execute(); }) {}

TWaveThread::~TWaveThread() {
  Quit();
  if (thread_.joinable()) thread_.join();
}

void TWaveThread::Post(unsigned message, WAVEHDR* header) {
  std::lock_guard guard(lock_);
  queue_.push_back(Message{message, header});
  changed_.notify_all();
}

void TWaveThread::Quit() {
  Post(kQuit, nullptr);
}

void TWaveThread::WaitUntilEnded() {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return ended_; });
}

void TWaveThread::Execute() {
  SetThreadPriorityLevel(CurrentThreadId(), kAboveNormal);
  ThreadRoleScope wave(ThreadRole::Wave);
  for (;;) {
    Message next;
    {
      std::unique_lock guard(lock_);
      changed_.wait(guard, [this] { return !queue_.empty(); });
      next = queue_.front();
      queue_.pop_front();
    }
    if (next.message == kQuit) break;
    component_.HandleMessage(next.message, next.header);
  }
  std::lock_guard guard(lock_);
  ended_ = true;
  changed_.notify_all();
}

}  // namespace orvenna
