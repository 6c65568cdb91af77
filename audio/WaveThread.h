#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/WaveIn.h"

namespace orvenna {

class TWaveAudioIO;

// The thread on which a sound device's notifications are handled: the device posts each one
// into this thread's queue, and the thread hands them to the component in order until it is
// told to quit. Its priority is one step above normal.
class TWaveThread {
 public:
  // Starts the thread; it serves `component` until Quit.
  explicit TWaveThread(TWaveAudioIO& component);
  // Waits for the thread's end. Not on the thread itself.
  ~TWaveThread();
  TWaveThread(const TWaveThread&) = delete;
  TWaveThread& operator=(const TWaveThread&) = delete;

  // Queues a notification. Any thread.
  void Post(unsigned message, WAVEHDR* header);
  // Ends the loop after the notifications queued before it. Any thread.
  void Quit();
  // Waits until the loop has ended. Not on the thread itself.
  void WaitUntilEnded();
  bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  struct Message {
    unsigned message;
    WAVEHDR* header;
  };
  static constexpr unsigned kQuit = 0;

  void Execute();

  TWaveAudioIO& component_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Message> queue_;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace orvenna
