// A compressing stream encodes on a thread of its own: writes return before their frames are
// encoded, a failure comes back from the next write or from the release, and releasing the
// stream stores every frame written.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <semaphore>
#include <set>
#include <thread>

#include "platform/avi/Handles.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna {
namespace {

using namespace std::chrono_literals;
using avi_test::MakeFormat;
using avi_test::MakeFrame;
using avi_test::MemoryFiles;

constexpr std::uint32_t kGated = FourCC('G', 'A', 'T', 'E');

// One compressor whose encoder takes one permit per frame, fails the frames it is told to,
// records the first pixel byte of every frame it encodes, and hands each packet out
// `holdBack` frames late (as an encoder on frame threads does).
class GatedCodecs final : public VideoCompressionManager {
 public:
  std::counting_semaphore<1024> permits{0};
  std::set<int> failing;  // frame numbers, counting from 0
  std::size_t holdBack = 0;
  std::mutex lock;
  std::vector<std::uint8_t> encoded;
  std::atomic<int> done{0};

  bool Info(std::uint32_t fccType, int index, ICINFO& info) override {
    if (index != 0) return false;
    info = ICINFO{};
    info.fccType = fccType;
    info.fccHandler = kGated;
    return true;
  }
  std::unique_ptr<VideoCompressor> Open(std::uint32_t, std::uint32_t, unsigned) override {
    return nullptr;
  }
  std::unique_ptr<FrameEncoder> NewEncoder(std::uint32_t, const std::vector<std::uint8_t>& format,
                                           const EncoderSettings&) override {
    return std::make_unique<Encoder>(*this, format);
  }
  std::uint32_t Version() const override { return 0x10000; }

  void WaitDone(int frames) {
    for (int i = 0; i < 2000 && done.load() < frames; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_GE(done.load(), frames);
  }

 private:
  class Encoder final : public FrameEncoder {
   public:
    Encoder(GatedCodecs& owner, std::vector<std::uint8_t> format)
        : owner_(owner), format_(std::move(format)) {}
    const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }
    Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override {
      owner_.permits.acquire();
      const bool fails = owner_.failing.count(frame_++) != 0;
      if (!fails) {
        held_.emplace_back(pixels, pixels + size);
        std::lock_guard guard(owner_.lock);
        owner_.encoded.push_back(pixels[0]);
      }
      ++owner_.done;
      out.data.clear();
      if (held_.size() > owner_.holdBack) TakeOldest(out);
      return fails ? Result::Failed("the test encoder fails this frame") : Result::Ok();
    }
    FinishResult Finish(EncodedFrame& out) override {
      if (held_.empty()) return FinishResult::kDone;
      TakeOldest(out);
      return FinishResult::kPacket;
    }

   private:
    void TakeOldest(EncodedFrame& out) {
      out.data = std::move(held_.front());
      out.keyFrame = true;
      held_.pop_front();
    }

    GatedCodecs& owner_;
    std::vector<std::uint8_t> format_;
    std::deque<std::vector<std::uint8_t>> held_;
    int frame_ = 0;
  };
};

// A file with one compressing stream of small 24-bit frames.
class QueuedWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AVIFileOpen(file_, files_, "v.avi", OF_WRITE | OF_CREATE), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStream(file_, raw_, avi_test::VideoInfo(kGated, 10, format_)),
              AVIERR_OK);
    AVICOMPRESSOPTIONS options;
    options.fccHandler = kGated;
    ASSERT_EQ(AVIMakeCompressedStream(compressed_, raw_, &options, codecs_), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(compressed_, 0, format_.data(), 40), AVIERR_OK);
    ASSERT_EQ(AVIStreamRelease(raw_), AVIERR_OK);
  }

  AviResult Write(int position) {
    const auto frame = MakeFrame(format_, position);
    return AVIStreamWrite(compressed_, position, 1, frame.data(), static_cast<int>(frame.size()),
                          AVIIF_KEYFRAME, nullptr, nullptr);
  }

  // Releases the handles: the stream's result, then the file's.
  std::pair<AviResult, AviResult> Release() {
    const AviResult stream = AVIStreamRelease(compressed_);
    return {stream, AVIFileRelease(file_)};
  }

  std::uint32_t StoredLength() {
    PAVIFILE file;
    PAVISTREAM stream;
    EXPECT_EQ(AVIFileOpen(file, files_, "v.avi", OF_READ), AVIERR_OK);
    EXPECT_EQ(AVIFileGetStream(file, stream, 0, 0), AVIERR_OK);
    AVISTREAMINFOA info;
    EXPECT_EQ(AVIStreamInfo(stream, info), AVIERR_OK);
    return info.dwLength;
  }

  // The first byte of the frame stored at each position; -1 for an empty position.
  std::vector<int> StoredFirstBytes() {
    PAVIFILE file;
    PAVISTREAM stream;
    EXPECT_EQ(AVIFileOpen(file, files_, "v.avi", OF_READ), AVIERR_OK);
    EXPECT_EQ(AVIFileGetStream(file, stream, 0, 0), AVIERR_OK);
    std::vector<int> bytes;
    const auto& contents = files_.Contents("v.avi");
    for (const auto& sample : stream->Source()->samples) {
      bytes.push_back(sample.size == 0 ? -1 : contents[sample.offset]);
    }
    return bytes;
  }

  std::uint8_t FirstByte(int position) { return MakeFrame(format_, position)[0]; }

  MemoryFiles files_;
  GatedCodecs codecs_;
  const std::vector<std::uint8_t> format_ = MakeFormat(16, 8, 24);
  PAVIFILE file_;
  PAVISTREAM raw_;
  PAVISTREAM compressed_;
};

// Writes return while the encoder is held, until two frames wait besides the one in work;
// the next write waits for room.
TEST_F(QueuedWriter, WritesQueueUpToTwoFramesThenWait) {
  EXPECT_EQ(Write(0), AVIERR_OK);
  EXPECT_EQ(Write(1), AVIERR_OK);
  EXPECT_EQ(Write(2), AVIERR_OK);
  auto fourth = std::async(std::launch::async, [&] { return Write(3); });
  EXPECT_EQ(fourth.wait_for(100ms), std::future_status::timeout);
  codecs_.permits.release(1);  // frame 0 done: frame 1 goes into work, frame 3 into the queue
  EXPECT_EQ(fourth.get(), AVIERR_OK);
  codecs_.permits.release(3);
  EXPECT_EQ(Release(), std::make_pair(AVIERR_OK, AVIERR_OK));
  EXPECT_EQ(StoredLength(), 4u);
}

// Releasing the stream encodes and stores every frame still queued, in order, with the
// skipped positions kept.
TEST_F(QueuedWriter, ReleaseStoresEveryQueuedFrameInOrder) {
  for (int position : {0, 1, 3}) ASSERT_EQ(Write(position), AVIERR_OK);
  auto released = std::async(std::launch::async, [&] { return Release(); });
  EXPECT_EQ(released.wait_for(50ms), std::future_status::timeout);
  codecs_.permits.release(3);
  EXPECT_EQ(released.get(), std::make_pair(AVIERR_OK, AVIERR_OK));
  EXPECT_EQ(StoredLength(), 4u);
  EXPECT_EQ(codecs_.encoded, (std::vector<std::uint8_t>{FirstByte(0), FirstByte(1), FirstByte(3)}));
}

// Packets that the encoder hands out late go to the positions of their frames, and the
// stream's release collects the ones still held back.
TEST_F(QueuedWriter, LatePacketsGoToTheirPositions) {
  codecs_.holdBack = 2;
  codecs_.permits.release(100);
  for (int position : {0, 1, 3, 4}) ASSERT_EQ(Write(position), AVIERR_OK);
  EXPECT_EQ(Release(), std::make_pair(AVIERR_OK, AVIERR_OK));
  EXPECT_EQ(StoredFirstBytes(),
            (std::vector<int>{FirstByte(0), FirstByte(1), -1, FirstByte(3), FirstByte(4)}));
}

// A frame that fails to encode after its write returned is reported by the next write, which
// stores nothing; writing then goes on after the frames the file holds.
TEST_F(QueuedWriter, FailureIsReportedByTheNextWrite) {
  codecs_.failing = {1};
  codecs_.permits.release(2);
  ASSERT_EQ(Write(0), AVIERR_OK);
  ASSERT_EQ(Write(1), AVIERR_OK);
  codecs_.WaitDone(2);
  EXPECT_EQ(Write(2), AVIERR_COMPRESSOR);
  codecs_.permits.release(1);
  EXPECT_EQ(Write(1), AVIERR_OK);  // the failed position is free again
  EXPECT_EQ(Release(), std::make_pair(AVIERR_OK, AVIERR_OK));
  EXPECT_EQ(StoredLength(), 2u);
  EXPECT_EQ(codecs_.encoded, (std::vector<std::uint8_t>{FirstByte(0), FirstByte(1)}));
}

// A failure among the frames still queued at the end is reported by the stream's release;
// the frames before it stay in the file.
TEST_F(QueuedWriter, FailureOfTheLastFramesIsReportedByTheRelease) {
  codecs_.failing = {2};
  ASSERT_EQ(Write(0), AVIERR_OK);
  ASSERT_EQ(Write(1), AVIERR_OK);
  ASSERT_EQ(Write(2), AVIERR_OK);
  codecs_.permits.release(3);
  EXPECT_EQ(Release(), std::make_pair(AVIERR_COMPRESSOR, AVIERR_OK));
  EXPECT_EQ(StoredLength(), 2u);
}

// A disk that fills up while frames are queued: the failure comes back once, from a later
// write or the release, and the file handle's release reports it too.
TEST_F(QueuedWriter, FullDiskIsReportedByAWriteOrTheRelease) {
  files_.writeLimit = files_.Contents("v.avi").size() + 1000;
  codecs_.permits.release(100);
  AviResult failure = AVIERR_OK;
  for (int position = 0; position < 20 && failure == AVIERR_OK; ++position) {
    failure = Write(position);
  }
  const auto [stream, file] = Release();
  EXPECT_EQ(failure == AVIERR_OK ? stream : failure, AVIERR_FILEWRITE);
  EXPECT_EQ(file, AVIERR_FILEWRITE);
}

}  // namespace
}  // namespace orvenna
