// The placing of recorded sound on the picture's time line: the lead, a drifting sound clock,
// a stall of the input, sound that comes early, and the cut at the picture's end. Sound is
// 16-bit mono at 8 kHz made of samples that are never 0, so silence shows as zeros.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/SoundPlacer.h"
#include "audio/WaveUtils.h"
#include "platform/resample/PcmResampler.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kOrigin = 5000;  // clock ms where the sound track begins
constexpr int kRate = 8000;

WAVEFORMATEX Mono16() {
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, TPCMFormat::Mono16bit8000Hz);
  return format;
}

class SoundPlacerTest : public ::testing::Test {
 protected:
  // Delivers `frames` frames of sound told as captured at `capturedMs` on the clock.
  void Deliver(double capturedMs, std::int64_t frames) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames), 1000);
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    placer_.Place(static_cast<std::int64_t>(capturedMs * 1000), bytes, out_);
  }
  std::int64_t Frames() const { return static_cast<std::int64_t>(out_.size() / 2); }
  std::int16_t Sample(std::int64_t frame) const {
    std::int16_t value;
    std::memcpy(&value, out_.data() + frame * 2, 2);
    return value;
  }
  // Frames of silence from `from` on.
  std::int64_t SilenceFrom(std::int64_t from) const {
    std::int64_t frame = from;
    while (frame < Frames() && Sample(frame) == 0) ++frame;
    return frame - from;
  }

  PcmResamplingConverter converter_;
  SoundPlacer placer_{Mono16(), converter_};
  std::vector<std::uint8_t> out_;
};

TEST_F(SoundPlacerTest, TheFirstSoundIsPlacedByItsCaptureTime) {
  struct Case {
    double capturedAfterOriginMs;
    std::int64_t silentFrames;  // before the sound
    std::int64_t soundFrames;   // of the 1600 delivered
  };
  for (const Case c :
       {Case{250, 2000, 1600}, Case{0, 0, 1600}, Case{-100, 0, 800}, Case{-300, 0, 0}}) {
    SoundPlacer placer(Mono16(), converter_);
    out_.clear();
    placer.SetOrigin(kOrigin);
    std::vector<std::uint8_t> sound(3200, 0x11);
    placer.Place((kOrigin + c.capturedAfterOriginMs) * 1000, sound, out_);
    placer.Finish(out_);
    ASSERT_EQ(Frames(), c.silentFrames + c.soundFrames) << c.capturedAfterOriginMs;
    EXPECT_EQ(SilenceFrom(0), c.silentFrames) << c.capturedAfterOriginMs;
  }
}

TEST_F(SoundPlacerTest, SoundBeforeTheOriginIsKnownIsHeldAndThenPlaced) {
  Deliver(kOrigin - 50, 800);  // 100 ms, half of it before the track's start
  EXPECT_EQ(Frames(), 0);
  placer_.SetOrigin(kOrigin);
  Deliver(kOrigin + 50, 800);
  placer_.Finish(out_);
  EXPECT_EQ(Frames(), 400 + 800);
  EXPECT_EQ(SilenceFrom(0), 0);
}

TEST_F(SoundPlacerTest, AStallLeavesSilenceOfItsLengthWhereItHappened) {
  placer_.SetOrigin(kOrigin);
  double at = kOrigin;
  for (int i = 0; i < 10; ++i, at += 100) Deliver(at, 800);
  at += 5000;  // the sound server was frozen for five seconds
  for (int i = 0; i < 10; ++i, at += 100) Deliver(at, 800);
  placer_.Finish(out_);
  EXPECT_EQ(Frames(), 8000 + 5 * kRate + 8000);
  EXPECT_EQ(SilenceFrom(8000), 5 * kRate);
  const SoundPlacer::Gap gap = placer_.LongestGap();
  EXPECT_EQ(gap.atMilliseconds, 1000);
  EXPECT_EQ(gap.milliseconds, 5000);
}

TEST_F(SoundPlacerTest, ABuffersTimeIsTakenFromTheNextWhenThatIsEarlier) {
  // The delivery of the third buffer was held up half a second: no stall, nothing left out.
  placer_.SetOrigin(kOrigin);
  for (const double at : {0, 100, 700, 300, 400}) Deliver(kOrigin + at, 800);
  placer_.Finish(out_);
  EXPECT_EQ(Frames(), 5 * 800);
  EXPECT_EQ(SilenceFrom(0), 0);
  EXPECT_EQ(placer_.LongestGap().milliseconds, 0);
}

TEST_F(SoundPlacerTest, SoundForTimeAlreadyFilledIsLeftOut) {
  // Two buffers held up alike look like a stall; the ones after them show it was none.
  placer_.SetOrigin(kOrigin);
  for (const double at : {0, 100, 700, 800, 400, 500, 600, 700, 800, 900}) {
    Deliver(kOrigin + at, 800);
  }
  placer_.Finish(out_);
  EXPECT_NEAR(static_cast<double>(Frames()), 1000 * 8, 50 * 8);
}

TEST_F(SoundPlacerTest, ABurstInWhichTheServerCatchesUpFillsTheStall) {
  // Six seconds of sound, the server frozen for five, then five seconds of sound rendered at
  // once when it goes on (all of it seeming a second old), then sound as usual.
  placer_.SetOrigin(kOrigin);
  double at = kOrigin;
  for (int i = 0; i < 6; ++i, at += 1000) Deliver(at, 8000);
  for (int i = 0; i < 5; ++i) Deliver(kOrigin + 10000, 8000);
  for (at = kOrigin + 11000; at < kOrigin + 20000; at += 1000) Deliver(at, 8000);
  placer_.Finish(out_);
  EXPECT_EQ(Frames(), 20 * kRate);
  EXPECT_EQ(placer_.LongestGap().milliseconds, 0);
  EXPECT_EQ(SilenceFrom(0), 0);
}

TEST_F(SoundPlacerTest, ASoundClockThatRunsFastOrSlowIsFollowed) {
  // A minute of one-second buffers from a clock 0.3 % off, told a little late now and then.
  for (const double speed : {0.997, 1.003}) {
    SoundPlacer placer(Mono16(), converter_);
    out_.clear();
    placer.SetOrigin(kOrigin);
    const auto frames = static_cast<std::int64_t>(kRate * speed);
    std::vector<std::uint8_t> sound(static_cast<std::size_t>(frames) * 2, 0x11);
    for (int second = 0; second < 60; ++second) {
      const double lateMs = (second % 3) * 4.0;
      placer.Place(static_cast<std::int64_t>((kOrigin + second * 1000 + lateMs) * 1000), sound,
                   out_);
    }
    placer.Finish(out_);
    // The sound of the minute lasts a minute, within 20 ms.
    EXPECT_NEAR(static_cast<double>(Frames()), 60.0 * kRate, 0.02 * kRate) << speed;
    EXPECT_EQ(placer.LongestGap().milliseconds, 0) << speed;
  }
}

TEST_F(SoundPlacerTest, TheLastBufferFollowsTheSoundBeforeIt) {
  // Its sound came in a burst when the recording stopped: nothing after it shows a stall.
  placer_.SetOrigin(kOrigin);
  Deliver(kOrigin, 8000);
  Deliver(kOrigin + 1900, 8000);
  placer_.Finish(out_);
  EXPECT_EQ(Frames(), 16000);
  EXPECT_EQ(SilenceFrom(0), 0);
}

TEST_F(SoundPlacerTest, TheTrackEndsWithThePicture) {
  for (const std::int64_t deliveredMs : {1500, 600}) {
    SoundPlacer placer(Mono16(), converter_);
    out_.clear();
    placer.SetOrigin(kOrigin);
    placer.SetEnd(1000);
    std::vector<std::uint8_t> sound(static_cast<std::size_t>(deliveredMs * 16), 0x11);
    placer.Place(std::int64_t{kOrigin} * 1000, sound, out_);
    placer.Finish(out_);
    EXPECT_EQ(Frames(), std::min<std::int64_t>(deliveredMs, 1000) * 8) << deliveredMs;
  }
}

// What waits for placing, after the placed sound, is the track as far as it was captured: its
// lead before the first sound, then every buffer, with the start the placing leaves out.
TEST_F(SoundPlacerTest, ThePendingSoundFollowsThePlacedSoundWithoutGaps) {
  struct Case {
    double firstAfterOriginMs;
    std::int64_t silentFrames;  // before the sound
    std::int64_t cutFrames;     // of the first sound, from before the track's start
  };
  for (const Case c : {Case{250, 2000, 0}, Case{-100, 0, 800}}) {
    SoundPlacer placer(Mono16(), converter_);
    out_.clear();
    placer.SetOrigin(kOrigin);
    std::vector<std::uint8_t> sound(1600, 0x11);  // 100 ms
    for (int i = 0; i < 30; ++i)
      placer.Place(static_cast<std::int64_t>((kOrigin + c.firstAfterOriginMs + i * 100) * 1000),
                   sound, out_);
    EXPECT_EQ(Frames(), 0) << "nothing placed yet, all of it pending";
    placer.Pending(out_);
    EXPECT_EQ(Frames(), c.silentFrames + 30 * 800 - c.cutFrames) << c.firstAfterOriginMs;
    EXPECT_EQ(SilenceFrom(0), c.silentFrames) << c.firstAfterOriginMs;

    // Once much more came in, the placed sound and what is pending make the same track.
    out_.clear();
    for (int i = 30; i < 120; ++i)
      placer.Place(static_cast<std::int64_t>((kOrigin + c.firstAfterOriginMs + i * 100) * 1000),
                   sound, out_);
    const std::int64_t placed = Frames();
    EXPECT_GT(placed, 0);
    placer.Pending(out_);
    EXPECT_EQ(Frames(), c.silentFrames + 120 * 800 - c.cutFrames) << c.firstAfterOriginMs;
    EXPECT_EQ(SilenceFrom(c.silentFrames), 0) << c.firstAfterOriginMs;
  }
}

}  // namespace
}  // namespace orvenna
