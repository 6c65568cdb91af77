#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace orvenna {
namespace {

std::optional<CliOptions> Parse(std::vector<std::string> args, std::string* errorOut = nullptr) {
  std::string error;
  auto options = ParseCliOptions(args, error);
  if (errorOut) *errorOut = error;
  return options;
}

TEST(CliOptions, DefaultsMatchTheMainWindow) {
  const auto options = Parse({"out.avi"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->output, "out.avi");
  EXPECT_EQ(options->regionKind, CliOptions::RegionKind::FullScreen);
  EXPECT_EQ(options->quality, 75);
  EXPECT_EQ(options->keyFrames, 100);
  EXPECT_EQ(options->intervalMs, 33);
  EXPECT_EQ(options->fps, 30);
  EXPECT_EQ(options->bitsPerPixel, 24);
  EXPECT_EQ(options->seconds, 0);
  EXPECT_TRUE(options->cursor);
  EXPECT_FALSE(options->yes);
}

TEST(CliOptions, ReadsEveryOption) {
  const auto options = Parse({"--seconds",    "5",         "--region",   "-10,20,300,200",
                              "--compressor", "ZMBV",      "--quality",  "0",
                              "--keyframes",  "1",         "--interval", "40",
                              "--fps",        "25",        "--colors",   "8",
                              "--no-cursor",  "--inverse", "--yes",      "x.avi"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->seconds, 5);
  EXPECT_EQ(options->regionKind, CliOptions::RegionKind::Fixed);
  EXPECT_EQ(options->region, (Rect{-10, 20, 300, 200}));
  EXPECT_EQ(options->compressor, "ZMBV");
  EXPECT_EQ(options->quality, 0);
  EXPECT_EQ(options->keyFrames, 1);
  EXPECT_EQ(options->intervalMs, 40);
  EXPECT_EQ(options->fps, 25);
  EXPECT_EQ(options->bitsPerPixel, 8);
  EXPECT_FALSE(options->cursor);
  EXPECT_TRUE(options->inverse);
  EXPECT_TRUE(options->yes);

  const auto follow = Parse({"--follow-mouse", "640,480", "y.avi"});
  ASSERT_TRUE(follow);
  EXPECT_EQ(follow->regionKind, CliOptions::RegionKind::FollowMouse);
  EXPECT_EQ(follow->region.width, 640);
  EXPECT_EQ(follow->region.height, 480);
  EXPECT_EQ(Parse({"--list-compressors"})->action, CliOptions::Action::ListCompressors);
  const auto inputs = Parse({"--audio-input", "2", "--audio-volume", "40", "--list-audio-inputs"});
  ASSERT_TRUE(inputs);
  EXPECT_EQ(inputs->action, CliOptions::Action::ListAudioInputs);
  EXPECT_EQ(inputs->audioInput, 2);
  EXPECT_EQ(inputs->audioVolume, 40);
  EXPECT_EQ(follow->audioInput, -1);
  EXPECT_EQ(follow->audioVolume, -1);
  EXPECT_EQ(Parse({"--help"})->action, CliOptions::Action::Help);
  // The last region option wins; a picked region needs no numbers.
  EXPECT_EQ(Parse({"--region", "1,2,3,4", "--pick-region", "z.avi"})->regionKind,
            CliOptions::RegionKind::PickFreeHand);
  EXPECT_EQ(Parse({"--pick-region", "--pick-window", "z.avi"})->regionKind,
            CliOptions::RegionKind::PickWindow);
}

TEST(CliOptions, RefusesBadArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"a.avi", "b.avi"},
      {"--seconds", "0", "a.avi"},
      {"--seconds", "5x", "a.avi"},
      {"--seconds"},
      {"--quality", "101", "a.avi"},
      {"--colors", "12", "a.avi"},
      {"--colors", "15", "a.avi"},
      {"--region", "1,2,3", "a.avi"},
      {"--region", "1,2,0,4", "a.avi"},
      {"--region", "1,2,3,4,5", "a.avi"},
      {"--follow-mouse", "10", "a.avi"},
      {"--interval", "0", "a.avi"},
      {"--fps", "-1", "a.avi"},
      {"--bogus", "a.avi"},
      {"--audio-input", "-1", "a.avi"},
      {"--audio-volume", "101", "a.avi"},
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace orvenna
