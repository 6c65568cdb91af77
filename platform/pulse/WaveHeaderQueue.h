#pragma once

#include "platform/WaveIn.h"

namespace orvenna {

// The buffers a device has yet to fill, oldest first, chained through their lpNext field so
// that queuing a buffer allocates nothing. The queue does not own the headers.
class WaveHeaderQueue {
 public:
  bool Empty() const { return head_ == nullptr; }
  WAVEHDR* Front() const { return head_; }

  void Push(WAVEHDR& header) {
    header.lpNext = nullptr;
    if (tail_ != nullptr) {
      tail_->lpNext = &header;
    } else {
      head_ = &header;
    }
    tail_ = &header;
  }

  // The queue must not be empty.
  WAVEHDR& Pop() {
    WAVEHDR& header = *head_;
    head_ = header.lpNext;
    if (head_ == nullptr) tail_ = nullptr;
    header.lpNext = nullptr;
    return header;
  }

 private:
  WAVEHDR* head_ = nullptr;
  WAVEHDR* tail_ = nullptr;
};

}  // namespace orvenna
