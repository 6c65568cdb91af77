#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/avi/StreamSource.h"
#include "platform/mux/AacEncoder.h"

namespace orvenna::mux {

struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPointer = std::unique_ptr<AVPacket, PacketFree>;

// Encodes a recording's sound to AAC on a thread of its own while the save copies the
// pictures, a few seconds ahead of them at most: the packets wait in a bounded queue. Encoding
// takes most of an MP4 save's time; beside the copy it costs almost none. The taking side is
// one thread, the save's.
class AacEncodingThread {
 public:
  // Starts encoding `sound` with `encoder`. `sound` outlives this object.
  AacEncodingThread(const avi::StreamSource& sound, std::unique_ptr<AacEncoder> encoder);
  // Stops the encoding where it is and waits for the thread.
  ~AacEncodingThread();
  AacEncodingThread(const AacEncodingThread&) = delete;
  AacEncodingThread& operator=(const AacEncodingThread&) = delete;

  // The time of the next packet in 1 / sample rate, once it is there; none at the end of the
  // sound, or after a failure.
  std::optional<std::int64_t> NextTime();
  // Takes the next packet, which NextTime has answered for.
  PacketPointer Take();
  // AVIERR_OK, or why the encoding ended before the end of the sound. Once NextTime answers
  // none.
  AviResult Result();

 private:
  void Run();
  // Queues a packet, waiting for room; AVIERR_USERABORT when the encoding is to stop.
  AviResult Queue(AVPacket& packet);

  const avi::StreamSource& sound_;
  const std::unique_ptr<AacEncoder> encoder_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<PacketPointer> packets_;
  bool finished_ = false;
  bool stopping_ = false;
  AviResult result_ = AVIERR_OK;
  std::thread thread_;  // last: it starts once everything above is in place
};

}  // namespace orvenna::mux
