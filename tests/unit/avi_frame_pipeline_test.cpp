#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <vector>

#include "platform/avi/FramePipeline.h"

namespace orvenna::avi {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFrameBytes = 64;

std::vector<std::uint8_t> FrameOf(std::uint8_t value) {
  return std::vector<std::uint8_t>(kFrameBytes, value);
}

// What the work function saw, and a gate that holds it before each frame.
struct Recorder {
  std::mutex lock;
  std::vector<std::pair<std::int64_t, std::uint8_t>> seen;  // position, first byte
  std::atomic<int> started{0};
  std::promise<void> open;
  std::shared_future<void> gate = open.get_future().share();

  FramePipeline::Work Work(std::int64_t failAt = -1) {
    return [this, failAt](const std::uint8_t* pixels, std::int64_t position) {
      ++started;
      gate.wait();
      bool whole = true;
      for (std::size_t i = 1; i < kFrameBytes; ++i) whole &= pixels[i] == pixels[0];
      std::lock_guard guard(lock);
      seen.emplace_back(position, whole ? pixels[0] : 0xFF);
      return position == failAt ? AVIERR_COMPRESSOR : AVIERR_OK;
    };
  }
};

void WaitUntil(const std::atomic<int>& value, int wanted) {
  for (int i = 0; i < 2000 && value.load() < wanted; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_GE(value.load(), wanted);
}

// Frames reach the work function whole, in order, as they were when pushed; ending the
// pipeline works off every frame still waiting.
TEST(FramePipeline, KeepsOrderCopiesAndLosesNothingAtTheEnd) {
  Recorder recorder;
  {
    FramePipeline pipeline(kFrameBytes, recorder.Work());
    for (std::uint8_t i = 0; i < 3; ++i) {
      auto frame = FrameOf(i);
      pipeline.Push(frame.data(), 10 + i);
      frame.assign(kFrameBytes, 0xEE);  // the caller reuses its buffer at once
    }
    recorder.open.set_value();
    for (std::uint8_t i = 3; i < 20; ++i) pipeline.Push(FrameOf(i).data(), 10 + i);
  }
  ASSERT_EQ(recorder.seen.size(), 20u);
  for (std::uint8_t i = 0; i < 20; ++i) {
    EXPECT_EQ(recorder.seen[i], std::make_pair(std::int64_t{10 + i}, i));
  }
}

// While the worker is held, two frames may wait; the next push waits for room, and goes on
// as soon as the worker takes a frame.
TEST(FramePipeline, AtMostTwoFramesWaitAndAFullQueueMakesThePushWait) {
  Recorder recorder;
  FramePipeline pipeline(kFrameBytes, recorder.Work());
  pipeline.Push(FrameOf(0).data(), 0);
  WaitUntil(recorder.started, 1);  // frame 0 is in work, held at the gate
  pipeline.Push(FrameOf(1).data(), 1);
  pipeline.Push(FrameOf(2).data(), 2);
  std::atomic<bool> pushed{false};
  std::thread third([&] {
    pipeline.Push(FrameOf(3).data(), 3);
    pushed = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(pushed.load());
  recorder.open.set_value();
  third.join();
  EXPECT_TRUE(pushed.load());
  pipeline.Drain();
  EXPECT_EQ(recorder.seen.size(), 4u);
}

// The first failure is kept until it is collected, once; the frames after it are still
// worked on.
TEST(FramePipeline, FirstFailureIsKeptUntilCollected) {
  Recorder recorder;
  recorder.open.set_value();
  FramePipeline pipeline(kFrameBytes, recorder.Work(1));
  for (std::uint8_t i = 0; i < 4; ++i) pipeline.Push(FrameOf(i).data(), i);
  pipeline.Drain();
  EXPECT_EQ(recorder.seen.size(), 4u);
  EXPECT_EQ(pipeline.TakeError(), AVIERR_COMPRESSOR);
  EXPECT_EQ(pipeline.TakeError(), AVIERR_OK);
}

// A frame staged by the caller, carrying the value it was made for.
struct ValueFrame : StagedFrame {
  explicit ValueFrame(std::uint8_t value) : value(value) {}
  std::uint8_t value;
};

// Staged frames and copied ones take their turns in the order they were pushed, each to its
// own work; a stage that makes no frame queues nothing.
TEST(FramePipeline, StagedFramesKeepTheirTurnBesideCopiedOnes) {
  Recorder recorder;
  recorder.open.set_value();
  FramePipeline pipeline(kFrameBytes, recorder.Work(),
                         [&](std::unique_ptr<StagedFrame> frame, std::int64_t position) {
                           const auto* staged = dynamic_cast<const ValueFrame*>(frame.get());
                           std::lock_guard guard(recorder.lock);
                           recorder.seen.emplace_back(position, staged ? staged->value : 0xFF);
                           return AVIERR_OK;
                         });
  for (std::uint8_t i = 0; i < 6; ++i) {
    if (i % 2 == 0) {
      pipeline.Push(FrameOf(i).data(), i);
    } else {
      EXPECT_TRUE(pipeline.PushStaged([i] { return std::make_unique<ValueFrame>(i); }, i));
    }
  }
  EXPECT_FALSE(pipeline.PushStaged([] { return nullptr; }, 6));
  pipeline.Drain();
  ASSERT_EQ(recorder.seen.size(), 6u);
  for (std::uint8_t i = 0; i < 6; ++i) {
    EXPECT_EQ(recorder.seen[i], std::make_pair(std::int64_t{i}, i));
  }
}

}  // namespace
}  // namespace orvenna::avi
