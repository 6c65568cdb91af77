#include "platform/mux/AacEncodingThread.h"

#include <vector>

#include "platform/avi/RiffReader.h"
#include "platform/avi/SaveSteps.h"

namespace orvenna::mux {
namespace {

// Frames of sound read and encoded at a time.
constexpr std::uint64_t kPieceFrames = 4096;
// Packets waiting at most: about six seconds of sound.
constexpr std::size_t kMostWaiting = 256;

}  // namespace

AacEncodingThread::AacEncodingThread(const avi::StreamSource& sound,
                                     std::unique_ptr<AacEncoder> encoder)
    : sound_(sound), encoder_(std::move(encoder)), thread_([this] { Run(); }) {}

AacEncodingThread::~AacEncodingThread() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::optional<std::int64_t> AacEncodingThread::NextTime() {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return !packets_.empty() || finished_; });
  if (packets_.empty()) return std::nullopt;
  return packets_.front()->pts;
}

PacketPointer AacEncodingThread::Take() {
  PacketPointer packet;
  {
    std::lock_guard guard(lock_);
    packet = std::move(packets_.front());
    packets_.pop_front();
  }
  changed_.notify_all();
  return packet;
}

AviResult AacEncodingThread::Result() {
  std::lock_guard guard(lock_);
  return result_;
}

void AacEncodingThread::Run() {
  const auto wave = avi::LoadPrefix<avi::WaveFormat>(sound_.format);
  avi::ExtentReader reader(sound_);
  std::vector<std::uint8_t> piece;
  const auto queue = [this](AVPacket& packet) { return Queue(packet); };
  AviResult result = AVIERR_OK;
  while (result == AVIERR_OK && reader.Position() < reader.Total()) {
    result = reader.Read(kPieceFrames * wave.blockAlign, piece);
    if (result == AVIERR_OK)
      result = encoder_->Encode(piece.data(), piece.size() / wave.blockAlign, queue);
  }
  if (result == AVIERR_OK) result = encoder_->Finish(queue);
  {
    std::lock_guard guard(lock_);
    result_ = result;
    finished_ = true;
  }
  changed_.notify_all();
}

AviResult AacEncodingThread::Queue(AVPacket& packet) {
  PacketPointer waiting(av_packet_alloc());
  if (!waiting) return AVIERR_MEMORY;
  av_packet_move_ref(waiting.get(), &packet);
  {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return packets_.size() < kMostWaiting || stopping_; });
    if (stopping_) return AVIERR_USERABORT;
    packets_.push_back(std::move(waiting));
  }
  changed_.notify_all();
  return AVIERR_OK;
}

}  // namespace orvenna::mux
