#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Result.h"
#include "platform/pipewire/CursorMeta.h"
#include "platform/pipewire/NewestFrame.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_registry;
struct spa_pod;
struct spa_buffer;

namespace orvenna::pipewire {

// Where a stream stands.
enum class StreamState {
  Connecting,  // linking to the node and agreeing on a format
  Paused,      // linked; the compositor sends nothing for now
  Streaming,   // frames come when the screen changes
  Ended,       // will send nothing any more; EndReason says why
};

// How long a stream that lives may take to send its first frame. Linking, agreeing on a format
// and the compositor's first paint take many seconds on a loaded machine; a stream that ends
// meanwhile ends the wait at once, so only a stream that lives and never sends meets this limit.
inline constexpr std::chrono::seconds kFirstFrameLimit{60};

// One video stream of a PipeWire node (a screen or a window the compositor shares), read on a
// thread of its own. Every frame that comes is copied out of PipeWire's buffer at once, so the
// newest picture can be read at any time; the cursor comes as metadata beside it.
//
// Threads: Connect and the destructor on one owning thread, never on the stream's own thread;
// everything else on any thread. No call waits longer than the timeout it is given or, for
// Connect, a few seconds.
class PipeWireStream {
 public:
  PipeWireStream();
  ~PipeWireStream();
  PipeWireStream(const PipeWireStream&) = delete;
  PipeWireStream& operator=(const PipeWireStream&) = delete;

  // Connects to the PipeWire daemon through `fd` (a remote handed out by the desktop; the
  // stream owns it from now on, also on failure) or, when `fd` is negative, to the user's own
  // daemon, and links a stream to `node`. Fails, with what failed in words, when the daemon
  // does not answer or the stream does not link within a few seconds. Once only.
  Result Connect(int fd, std::uint32_t node);

  // Waits until the first frame has come, the stream ended or `timeout` passed; whether a frame
  // is there.
  bool WaitForFirstFrame(std::chrono::milliseconds timeout) const;
  // Waits until a frame newer than the `count`-th has come (see FrameCount), the stream ended
  // or `timeout` passed; whether one came.
  bool WaitForFrameAfter(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // Frames received so far.
  std::uint64_t FrameCount() const;

  // Copies `area` (in frame pixels) of the newest frame into `image`, which has the area's
  // size, as 32-bit BGRx rows top-down; parts outside the frame are black. Fails when no frame
  // has come yet.
  Result Read(const Rect& area, const ImageView& image) const;
  // The size of the newest frame (the monitor's or window's pixels); 0 x 0 before the first.
  Size FrameSize() const;
  // The cursor: whether the metadata has told where it is; its position in frame pixels, its
  // hot spot and last bitmap (0 x 0 when none came or it is hidden).
  bool Cursor(CursorImage& cursor) const;

  StreamState State() const;
  // Why the stream ended, in words; empty while it has not.
  std::string EndReason() const;

 private:
  // The callbacks of the core and the stream, on the loop thread.
  struct Listeners;

  // Under the loop's lock: the connection and the stream, each bounded in time.
  Result ConnectLocked(int fd, std::uint32_t node);
  // Under the loop's lock: waits until `done` answers true or the stream ends, for at most
  // `seconds`; whether `done` answered true.
  template <typename Done>
  bool WaitLocked(Done done, int seconds);
  // Loop thread: takes the agreed format and asks for the buffers and metadata that suit it.
  void TakeFormat(const spa_pod* param);
  // Loop thread: takes the cursor metadata of every buffer that is ready, copies the picture
  // of the newest one, and hands all of them back.
  void TakeBuffers();
  // Loop thread: copies the picture of `buffer` (honouring its crop) into the newest frame.
  void TakePicture(const spa_buffer& buffer);
  // Any thread: the stream will send nothing more, for `reason`. The first reason stays.
  void End(std::string reason);

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  pw_registry* registry_ = nullptr;
  std::uint32_t node_ = 0;  // the node the stream reads; set before the loop calls back
  Listeners* listeners_ = nullptr;

  // The answer to the first round trip to the daemon; under the loop's lock.
  int syncSeq_ = -1;
  bool synced_ = false;
  // The agreed format, on the loop thread only.
  Size formatSize_;
  PixelOrder order_ = PixelOrder::BlueFirst;

  NewestFrame frame_;
  mutable std::mutex mutex_;  // guards what follows
  StreamCursor cursor_;
  StreamState state_ = StreamState::Connecting;
  std::string endReason_;
};

}  // namespace orvenna::pipewire
